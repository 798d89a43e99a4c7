# quillane-run's exit statuses and reports: an invalid opcode (3), a condition not reached within
# --ticks (4), an image that fails to load (2), and a run that stops as asked (0) with its dump.
. "$(dirname "$0")/lib.sh"
cd "$WORK"

# 8000: LD A,41 / LD (9000),A / NOP / ED 30 (invalid), as one Intel HEX record.
sum=0
for byte in 08 80 00 00 3E 41 32 00 90 00 ED 30; do sum=$((sum + 0x$byte)); done
printf ':088000003E4132009000ED30%02X\r\n' $(((256 - sum % 256) % 256)) >bad.hex

run --no-rom bad.hex --regs; [ $rc = 3 ] || fail "invalid opcode: status $rc"
[ "$(cat err.txt)" = "Invalid ED opcode at 8006" ] || fail "report: $(cat err.txt)"
grep -q '^{"pc":32774,' out.txt || fail "registers after the report: $(cat out.txt)"

run --no-rom bad.hex --until-pc 8005 --dump 9000 1 got.bin --trace trace.txt; [ $rc = 0 ] ||
    fail "until-pc: status $rc $(cat err.txt)"
[ "$(od -An -tx1 got.bin | tr -d ' ')" = 41 ] || fail "dump holds $(od -An -tx1 got.bin)"
# The trace: tick, PC, bytes, instruction and registers of each instruction that ran.
[ "$(wc -l <trace.txt)" -eq 2 ] || fail "trace: $(cat trace.txt)"
grep -q '^7 8002 32 00 90 *LD (\$9000),A *AF=4100 BC=0000 ' trace.txt || fail "trace: $(cat trace.txt)"

# A script stops at its first failing line, as a debugger's batch mode does: nothing after it
# runs, and the machine is not run on.
printf 'step 2\nfrobnicate\nregs\nquit\n' >script.txt
run --no-rom bad.hex --script script.txt --regs; [ $rc = 2 ] || fail "script error: status $rc"
[ "$(cat err.txt)" = "script.txt:2: Unknown command: frobnicate (help lists the commands)" ] ||
    fail "script error: $(cat err.txt)"
[ "$(grep -c '"pc":32773,' out.txt)" = 1 ] || fail "script ran on: $(cat out.txt)"

run --no-rom bad.hex --until-pc 7000 --ticks 20; [ $rc = 4 ] || fail "not reached: status $rc"
run --ticks 1000 --rom missing.hex; [ $rc = 2 ] || fail "missing ROM: status $rc"
grep -q "Unable to load HEX file: missing.hex" err.txt || fail "missing ROM: $(cat err.txt)"
run --no-rom bad.hex --ticks x; [ $rc = 2 ] || fail "bad --ticks: status $rc"

# A run without an end (8000: JR 8000) stopped by SIGINT: the outputs are still written, and the
# status is 130.
printf ':0280000018FE68\r\n' >loop.hex
"$RUN" --no-rom loop.hex --regs >out.txt 2>err.txt &
pid=$!
sleep 0.3
kill -INT $pid
rc=0
wait $pid || rc=$?
[ $rc = 130 ] || fail "interrupted: status $rc"
grep -q '^Interrupted: Paused at 8000: JR \$8000$' err.txt || fail "interrupted: $(cat err.txt)"
grep -q '^{"pc":32768,' out.txt || fail "no registers after the interrupt: $(cat out.txt)"

# SIGINT while a script is still being read from a pipe ends the wait for its next line.
mkfifo script.fifo
sleep 20 >script.fifo &
writer=$!
"$RUN" --no-rom loop.hex --script - <script.fifo >out.txt 2>err.txt &
pid=$!
sleep 0.3
kill -INT $pid
rc=0
wait $pid || rc=$?
kill $writer
[ $rc = 130 ] || fail "interrupted script: status $rc"
[ "$(cat err.txt)" = Interrupted ] || fail "interrupted script: $(cat err.txt)"

# Outputs that cannot be written completely fail the run; a WAV goes through a pipe too.
run --no-rom loop.hex --ticks 100000 --trace /dev/full; [ $rc = 2 ] || fail "full trace: $rc"
grep -q '^quillane-run: /dev/full: No space left on device$' err.txt || fail "$(cat err.txt)"
run --no-rom loop.hex --script . ; [ $rc = 2 ] || fail "directory as script: status $rc"
printf 'regs\n' >regs.txt
rc=0
"$RUN" --no-rom loop.hex --ticks 10 --script regs.txt >/dev/full 2>err.txt || rc=$?
[ $rc = 2 ] && grep -q 'standard output' err.txt || fail "script output lost: $rc $(cat err.txt)"
mkfifo wav.fifo
cat wav.fifo >piped.wav &
reader=$!
# A FIFO whose reader has not opened it yet is refused at once: tried again until cat is there.
tries=0
while run --no-rom loop.hex --ticks 1000000 --wav wav.fifo; [ $rc != 0 ]; do
    tries=$((tries + 1))
    if ! grep -q 'No program is reading' err.txt || [ $tries -ge 100 ]; then
        kill $reader 2>/dev/null
        fail "piped WAV: $(cat err.txt)"
    fi
    sleep 0.1
done
wait $reader
# The run ends at 1000008, the end of the 12-T-state JR under way at the limit: the 2206 values
# of 22050 a second whose ticks it reached.
[ "$(head -c 4 piped.wav)" = RIFF ] && [ "$(wc -c <piped.wav)" -eq $((44 + 4 * 2206)) ] ||
    fail "piped WAV of $(wc -c <piped.wav) bytes"
echo "PASS"
