#!/bin/sh
# sdk/qcc as a programmer uses it: from a directory outside the repository, through a link to it
# elsewhere, with one or more sources; SDCC's errors come through as SDCC prints them and every
# failure ends with a non-zero exit and no image.
. "$(dirname "$0")/lib.sh"
mkdir "$WORK/bin" "$WORK/src"
ln -s "$QCC" "$WORK/bin/qcc"
cd "$WORK/src" || fail "no work directory"

cat >hello.c <<'C'
#include <stdio.h>
#include "quillane.h"

void main(void) { printf("Hello, world!\n"); }
C
"$WORK/bin/qcc" hello.c >qcc.log 2>&1 || fail "hello.c did not build"
[ -s hello.ihx ] || fail "no hello.ihx"
{ [ -s hello.noi ] && [ -s hello.map ]; } || fail "no symbol files beside hello.ihx"
# Intel HEX: the start-up code's record first, at 8000h, and the end record last.
head -n 1 hello.ihx | grep -q '^:..8000' || fail "first record not at 8000: $(head -n 1 hello.ihx)"
[ "$(tail -n 1 hello.ihx)" = ":00000001FF" ] || fail "no end record"
grep -q '^DEF _main 0x' hello.noi || fail "_main missing from hello.noi"
# The debug information: hello.c's lines and the start-up code's, none of the compiler's
# temporary assembly; the image is the one a build without debug information gives.
grep -q '^L:C\$hello\.c\$4\$' hello.cdb || fail "no line 4 of hello.c in hello.cdb"
grep -q '^L:A\$crt0\$' hello.cdb || fail "no lines of crt0.s in hello.cdb"
grep -q '^L:A\$[0-9]' hello.cdb && fail "line records of qcc's temporary files in hello.cdb"
sdk=$QUILLANE_SOURCE_DIR/sdk
sdasz80 -plosgff -o crt0.rel "$sdk/crt0.s" && sdasz80 -plosgff -o quillane.rel "$sdk/quillane.s" &&
    sdcc -mz80 -c -I"$sdk" -o plain.rel hello.c &&
    sdcc -mz80 --no-std-crt0 --code-loc 0x8000 \
        --data-loc "$(awk '$2 == "s__DATA" { print $3 }' hello.noi)" -o plain.ihx crt0.rel \
        quillane.rel plain.rel >plain.log 2>&1 || fail "hello.c did not build without qcc"
cmp -s hello.ihx plain.ihx || fail "the image differs from one built without debug information"

# Two sources, an initialised variable in the second, -o into another directory, a -D.
cat >main.c <<'C'
#include <stdio.h>
extern int counter;
int bump(void);
void main(void) { printf("%d %d\n", bump(), GREETING); }
C
cat >util.c <<'C'
int counter = 41;
int bump(void) { return ++counter; }
C
mkdir out
"$WORK/bin/qcc" -DGREETING=7 main.c util.c -o out/two.ihx --sizes >sizes.log 2>&1 ||
    fail "two sources did not build"
grep -q '^out/two.ihx: code 8000-[0-9A-F]* ([0-9]* bytes), data ' sizes.log ||
    fail "no size line: $(cat sizes.log)"
grep -q '^DEF _counter 0x' out/two.noi || fail "_counter missing"

# A syntax error: SDCC's message with file and line, exit status not 0, no image left.
printf 'void main(void) {\n    int x = ;\n}\n' >bad.c
if "$WORK/bin/qcc" bad.c -o bad.ihx 2>err.log; then fail "bad.c built"; fi
grep -q '^bad.c:2: ' err.log || fail "no SDCC error for bad.c:2: $(cat err.log)"
[ ! -e bad.ihx ] || fail "bad.ihx left behind"

# An undefined function: the linker's complaint names it.
printf 'void nowhere(void);\nvoid main(void) { nowhere(); }\n' >undef.c
if "$WORK/bin/qcc" undef.c 2>err.log; then fail "undef.c linked"; fi
grep -q '_nowhere' err.log || fail "the linker did not name _nowhere: $(cat err.log)"
[ ! -e undef.ihx ] || fail "undef.ihx left behind"

# Code and data that would reach the stack at FB00h.
printf 'unsigned char big[0x7C00];\nvoid main(void) { big[0] = 1; }\n' >big.c
if "$WORK/bin/qcc" big.c 2>err.log; then fail "big.c linked"; fi
grep -q 'in the stack (FB00-FEFF)' err.log || fail "no stack message: $(cat err.log)"
[ ! -e big.ihx ] || fail "big.ihx left behind"

# Not a source, and a missing one.
if "$WORK/bin/qcc" notes.txt 2>err.log; then fail "notes.txt accepted"; fi
grep -q 'not a .c, .s or .rel file' err.log || fail "$(cat err.log)"
if "$WORK/bin/qcc" missing.c 2>err.log; then fail "missing.c accepted"; fi
grep -q 'missing.c: no such file' err.log || fail "$(cat err.log)"
# An output that would replace a source, or that names a folder, is refused (status 2) and
# leaves every file as it was.
cp hello.c hello.keep
for bad in hello.c out out/ util.s; do
    rc=0
    "$WORK/bin/qcc" hello.c -o "$bad" 2>err.log || rc=$?
    [ $rc = 2 ] || fail "-o $bad: status $rc"
    grep -q "^qcc: -o $bad: " err.log || fail "-o $bad: $(cat err.log)"
done
ln -s hello.c alias.ihx
rc=0
"$WORK/bin/qcc" hello.c -o alias.ihx 2>err.log || rc=$?
[ $rc = 2 ] || fail "-o a link to the source: status $rc"
# So is any other file qcc writes beside the image that is a link to a source.
rm alias.ihx
for written in alias.map alias.noi alias.cdb; do
    ln -s hello.c "$written"
    rc=0
    "$WORK/bin/qcc" hello.c -o alias.ihx 2>err.log || rc=$?
    [ $rc = 2 ] || fail "$written a link to the source: status $rc"
    grep -q "^qcc: $written: is the source hello.c" err.log || fail "$written: $(cat err.log)"
    [ ! -e alias.ihx ] || fail "$written: alias.ihx written"
    rm "$written"
done
cmp -s hello.c hello.keep || fail "hello.c was overwritten"
[ ! -e util.s ] && [ ! -e out.noi ] || fail "files left behind"
echo "qcc: all checks passed"
