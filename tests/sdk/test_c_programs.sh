#!/bin/sh
# The C examples and a hello world built with sdk/qcc and run headless with quillane-run: the
# monitor boots, "g 8000" is typed, and the screen is read back as text.
. "$(dirname "$0")/lib.sh"
RUN=$QUILLANE_BUILD_DIR/quillane-run
ROM=$QUILLANE_BUILD_DIR/tessik.hex
[ -x "$RUN" ] || { echo "SKIP: $RUN is not built (no headless runner in this build)"; exit 77; }
[ -f "$ROM" ] || fail "$ROM not built"
cd "$WORK" || fail "no work directory"

for name in guess life; do
    "$QCC" "$QUILLANE_SOURCE_DIR/examples/$name.c" -o "$name.ihx" >"$name-qcc.log" 2>&1 ||
        fail "$name.c did not build"
done
cat >hello.c <<'C'
#include <stdio.h>
#include "quillane.h"

void main(void) { printf("Hello, world!\n"); }
C
"$QCC" hello.c -o hello.ihx >hello-qcc.log 2>&1 || fail "hello.c did not build"

# run NAME TYPED TICKS: the screen's text after the run, trailing spaces removed, in NAME.txt
run() {
    "$RUN" --rom "$ROM" "$1.ihx" --type "$2" --ticks "$3" --text >"$1.out" 2>"$1.log" ||
        fail "quillane-run ended with an error for $1"
    sed 's/ *$//' "$1.out" >"$1.txt"
    [ "$(wc -l <"$1.txt")" -eq 24 ] || fail "$1: not 24 lines of text"
}
has() { grep -qxF "$2" "$1.txt" || { cat "$1.txt"; fail "$1: no line '$2'"; }; }

run hello 'g 8000\n' 20000000
has hello "Hello, world!"
# main returned: the prompt follows.
[ "$(grep -A1 -xF 'Hello, world!' hello.txt | tail -n 1)" = ">" ] || fail "no prompt after hello"

run guess 'g 8000\n 50\n' 60000000
has guess "Guess the number"
grep -qE '^Guess 1\? 50$' guess.txt || fail "the guess was not echoed"
grep -qE '^(50 is too (low|high)\.|Right, 50 in 1 try!)$' guess.txt || fail "no answer to 50"

run life 'g 8000\n' 60000000
grep -qE '^Life  gen +[0-9]+  cells +[0-9]+$' life.txt || fail "no Life status line"
has life "R: new board   Q: back"
echo "C programs: all checks passed"
