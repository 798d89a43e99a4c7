#!/bin/sh
# The installed program as a user meets it, from an empty folder outside the checkout with only
# the installed programs on the PATH: everything lies where it belongs; a C hello world builds
# with the installed qcc and runs with the installed quillane-run, which finds the installed ROM
# and its symbols by itself, as its DAP server does; qasm finds the SDK's entry names; the
# desktop entry starts the window where the ROM is; each manual page renders without warnings.
set -eu
: "${QUILLANE_STAGE:?}"
PREFIX=$QUILLANE_STAGE/usr
DATA=$PREFIX/share/quillane
WORK=$(mktemp -d "${TMPDIR:-/tmp}/quillane-install.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

for f in bin/quillane-run bin/qcc bin/qasm; do
    [ -x "$PREFIX/$f" ] || fail "$f is not installed as a program"
done
for f in tessik.hex tessik.sym tessik.lines tessik.asm sdk/crt0.s sdk/quillane.s sdk/quillane.h \
    sdk/entries.inc examples/starfall.asm examples/starfall.hex examples/starfall.lines \
    examples/life.c examples/life.ihx examples/life.cdb; do
    [ -s "$DATA/$f" ] || fail "share/quillane/$f is not installed"
done
for f in copyright changelog.gz README.md; do
    [ -s "$PREFIX/share/doc/quillane/$f" ] || fail "share/doc/quillane/$f is not installed"
done
for program in quillane-run qcc qasm; do
    [ -s "$PREFIX/share/bash-completion/completions/$program" ] || fail "no completion: $program"
done
bash -n "$PREFIX/share/bash-completion/completions/quillane" || fail "completion does not parse"

# The window, its desktop entry (started in the data folder, where tessik.hex lies) and icons.
if [ -x "$PREFIX/bin/quillane" ]; then
    desktop=$PREFIX/share/applications/quillane.desktop
    grep -qx 'Path=/usr/share/quillane' "$desktop" || fail "desktop entry: $(cat "$desktop")"
    grep -qx 'Exec=/usr/bin/quillane %F' "$desktop" || fail "desktop entry: $(cat "$desktop")"
    if command -v desktop-file-validate >/dev/null 2>&1; then
        desktop-file-validate "$desktop" || fail "desktop-file-validate"
    fi
    [ -s "$PREFIX/share/icons/hicolor/scalable/apps/quillane.svg" ] || fail "no SVG icon"
    [ -s "$PREFIX/share/icons/hicolor/64x64/apps/quillane.png" ] || fail "no PNG icon"
fi

# Nothing of the checkout or the build is reachable from here.
PATH=$PREFIX/bin:/usr/bin:/bin
export PATH
cd "$WORK"
printf '#include <stdio.h>\nvoid main(void) { printf("Hello, world!\\n"); }\n' >hello.c
qcc hello.c -o hello.ihx >qcc.log 2>&1 || fail "qcc: $(cat qcc.log)"
quillane-run hello.ihx --type 'g 8000\n' --ticks 20000000 --text >screen.txt 2>run.log ||
    fail "quillane-run: $(cat run.log)"
grep -q '^Quillane monitor' screen.txt || fail "the installed ROM did not start: $(cat screen.txt)"
grep -q '^Hello, world!' screen.txt || fail "hello world: $(cat screen.txt)"
# The monitor's symbols beside the installed ROM name its routines.
printf 'disasm warm_start 1\nquit\n' | quillane-run --script - >disasm.txt 2>&1 ||
    fail "monitor symbols: $(cat disasm.txt)"
grep -q '^warm_start:' disasm.txt || fail "monitor symbols: $(cat disasm.txt)"

# The DAP server's launch without "rom" boots the installed ROM too.
dap() {
    printf 'Content-Length: %d\r\n\r\n%s' "${#1}" "$1"
}
{
    dap '{"seq":1,"type":"request","command":"initialize","arguments":{}}'
    dap '{"seq":2,"type":"request","command":"launch","arguments":{"program":"hello.ihx"}}'
    dap '{"seq":3,"type":"request","command":"disconnect","arguments":{}}'
} | quillane-run --dap >dap.txt 2>&1 || true
grep -q '"command":"launch"[^}]*"success":true\|"success":true[^}]*"command":"launch"' dap.txt ||
    fail "DAP launch with the default ROM: $(cat dap.txt)"

# qasm assembles an installed example from here: entries.inc comes from the installed SDK.
cp "$DATA/examples/starfall.asm" .
qasm --alocal starfall.asm >qasm.log 2>&1 || fail "qasm: $(cat qasm.log)"
cmp starfall.sym "$DATA/examples/starfall.sym" || fail "starfall.sym differs from the installed one"

# Every manual page renders without a warning.
for page in "$PREFIX"/share/man/man1/*.1.gz; do
    MANWIDTH=80 man --warnings -l "$page" >/dev/null 2>man.log || fail "man -l $page"
    [ ! -s man.log ] || fail "$page: $(cat man.log)"
done
[ -e "$PREFIX/share/man/man1/quillane-run.1.gz" ] || fail "no manual page quillane-run(1)"
