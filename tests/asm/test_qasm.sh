#!/bin/sh
# sdk/qasm as a programmer uses it: from a directory outside the repository, through a link to
# it elsewhere. Its .hex, .sym and --bin images are pasmo's own, byte for byte, with and without
# --alocal and with INCLUDE found through -I; the line table and the symbol kinds come beside
# them; a failing source ends with pasmo's message, a non-zero exit and no output left.
set -eu
: "${QUILLANE_SOURCE_DIR:?}"
FIXTURE=$QUILLANE_SOURCE_DIR/tests/asm
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}
mkdir "$WORK/bin" "$WORK/src" "$WORK/src/inc" "$WORK/out" "$WORK/pasmo"
ln -s "$QUILLANE_SOURCE_DIR/sdk/qasm" "$WORK/bin/qasm"
cp "$FIXTURE/lines.asm" "$WORK/src/"
cp "$FIXTURE/lines.inc" "$WORK/src/inc/"
cd "$WORK/src"

# The same outputs as pasmo's, in three ways of building.
for mode in "--alocal --hex" "--hex" "--alocal --bin"; do
    ext=${mode##*--}
    # shellcheck disable=SC2086
    "$WORK/bin/qasm" $mode -I inc lines.asm -o "../out/lines.$ext" >qasm.log 2>&1 ||
        fail "qasm $mode: $(cat qasm.log)"
    # shellcheck disable=SC2086
    pasmo $mode -I inc lines.asm "../pasmo/lines.$ext" ../pasmo/lines.sym ||
        fail "pasmo $mode did not assemble the fixture"
    cmp "../out/lines.$ext" "../pasmo/lines.$ext" || fail "$mode: image differs from pasmo's"
    cmp ../out/lines.sym ../pasmo/lines.sym || fail "$mode: symbols differ from pasmo's"
    [ -s ../out/lines.lines ] || fail "$mode: no line table"
    # The included file's line and kinds, whatever the mode.
    grep -q "^line	inc/lines.inc	7	8000	2	code$" ../out/lines.lines ||
        fail "$mode: no record of the included line: $(cat ../out/lines.lines)"
    grep -q "^symbol	DELAY	0028	constant$" ../out/lines.lines || fail "$mode: DELAY kind"
    grep -q "^symbol	routine	8100	label$" ../out/lines.lines || fail "$mode: routine kind"
    [ ! -e lines.hex ] || fail "$mode: output in the current directory despite -o"
done
# Without --alocal, _loop is an ordinary label, listed with its kind.
"$WORK/bin/qasm" -I inc lines.asm >qasm.log 2>&1 || fail "default output: $(cat qasm.log)"
{ [ -s lines.hex ] && [ -s lines.sym ] && [ -s lines.lines ]; } || fail "no lines.hex/.sym/.lines"
grep -q "^symbol	_loop	800A	label$" lines.lines || fail "_loop without --alocal"
[ "$(grep -c '^directory	' lines.lines)" = 1 ] || fail "no directory record"

# An error: pasmo's message with file and line, exit status not 0, nothing left behind.
printf '        org 8000h\n        ld a,\n' >bad.asm
if "$WORK/bin/qasm" bad.asm -o bad.hex 2>err.log; then fail "bad.asm assembled"; fi
grep -q 'line 2 of file bad.asm' err.log || fail "no pasmo error for bad.asm:2: $(cat err.log)"
for f in bad.hex bad.sym bad.lines; do [ ! -e "$f" ] || fail "$f left behind"; done
# A missing source and a missing argument.
if "$WORK/bin/qasm" missing.asm 2>err.log; then fail "missing.asm accepted"; fi
grep -q 'missing.asm: no such file' err.log || fail "$(cat err.log)"
if "$WORK/bin/qasm" lines.asm -o 2>err.log; then fail "-o without a name accepted"; fi
grep -q '^usage: qasm' err.log || fail "$(cat err.log)"
# An output directory that cannot be written.
if "$WORK/bin/qasm" -I inc lines.asm -o "$WORK/none/x.hex" 2>err.log; then
    fail "written into a missing directory"
fi
grep -q "$WORK/none: not a directory that can be written" err.log || fail "$(cat err.log)"
# A file qasm writes that is a link to a source (the program or a file it INCLUDEs) is refused
# with status 2, and every source stays as it was.
cp lines.asm lines.keep
cp inc/lines.inc inc.keep
for pair in "alias.hex lines.asm" "alias.sym lines.asm" "alias.lines inc/lines.inc"; do
    # shellcheck disable=SC2086
    set -- $pair
    ln -s "$2" "$1"
    rc=0
    "$WORK/bin/qasm" -I inc lines.asm -o alias.hex 2>err.log || rc=$?
    [ $rc = 2 ] || fail "$1 a link to $2: status $rc"
    grep -q "^qasm: $1: is the source $2" err.log || fail "$1: $(cat err.log)"
    rm "$1"
done
cmp -s lines.asm lines.keep && cmp -s inc/lines.inc inc.keep || fail "a source was overwritten"
echo "qasm: all checks passed"
