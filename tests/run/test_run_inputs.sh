# quillane-run's inputs are bounded and every failure names its reason: scripts and symbol files
# come from regular files or standard input only (a device or a FIFO is refused at once), a line
# longer than 64 KiB is an error naming the file and line, control bytes in a script are shown
# escaped on one line, a script stops at its first failing line with status 2, and a pasmo symbol
# whose number lost its closing H is not read as another address.
. "$(dirname "$0")/lib.sh"
cd "$WORK"

# 8000: JR 8000, a run without an end of its own.
printf ':0280000018FE68\r\n' >loop.hex
mkfifo silent.fifo

run --no-rom loop.hex --script /dev/zero
[ $rc = 2 ] && grep -q '^quillane-run: --script: /dev/zero: Not a regular file' err.txt ||
    fail "script /dev/zero: $rc $(cat err.txt)"
run --no-rom loop.hex --script silent.fifo
[ $rc = 2 ] && grep -q '^quillane-run: --script: silent.fifo: Not a regular file' err.txt ||
    fail "script FIFO: $rc $(cat err.txt)"
run --no-rom loop.hex --symbols silent.fifo
[ $rc = 2 ] && grep -q '^quillane-run: silent.fifo: Not a regular file' err.txt ||
    fail "symbols FIFO: $rc $(cat err.txt)"
rc=0
timeout 20 "$RUN" --no-rom loop.hex --script - </dev/zero >out.txt 2>err.txt || rc=$?
[ $rc = 2 ] && [ "$(cat err.txt)" = "stdin:1: the line is longer than 64 KiB" ] ||
    fail "endless standard input: $rc $(head -c 200 err.txt)"
{ echo regs; head -c 70000 /dev/zero | tr '\0' x; echo; } >long.txt
run --no-rom loop.hex --script long.txt
[ $rc = 2 ] && [ "$(cat err.txt)" = "long.txt:2: the line is longer than 64 KiB" ] ||
    fail "long line: $rc $(head -c 200 err.txt)"

# Control bytes: the first one ends the script, shown escaped; no raw byte reaches stderr.
printf 'regs\nbreak\0 8000\033[31m\nregs\n' >control.txt
run --no-rom loop.hex --script control.txt
[ $rc = 2 ] || fail "control bytes: status $rc"
[ "$(cat err.txt)" = 'control.txt:2: control character in the line: break\x00 8000\x1B[31m' ] ||
    fail "control bytes: $(od -c err.txt | head -5)"
[ "$(grep -c '"pc"' out.txt)" = 1 ] || fail "the script ran on: $(cat out.txt)"

# The first failing line ends the script: the `continue` after it never runs the endless loop.
printf 'break nowhere\ncontinue\n' >stop.txt
run --no-rom loop.hex --script stop.txt
[ $rc = 2 ] || fail "failed break: status $rc"
grep -q '^stop.txt:1: Bad address: nowhere' err.txt || fail "failed break: $(cat err.txt)"
[ "$(wc -l <err.txt)" = 1 ] || fail "more than the first error: $(cat err.txt)"

# A pasmo line cut short in its number is no symbol.
printf 'start EQU 08000H\nfinish EQU 0801\n' >cut.sym
printf 'symbols cut.sym\n' >symbols.txt
run --no-rom loop.hex --ticks 100 --script symbols.txt
[ $rc = 0 ] && [ "$(cat out.txt)" = "1 symbols from cut.sym" ] ||
    fail "cut symbol: $rc $(cat out.txt err.txt)"
echo "PASS"
