# quillane-run's outputs (--dump HEX and .bin, --screenshot, --trace, --wav) all go through one
# safe writer: a write that fails (a size limit, /dev/full) says why and leaves the old file as
# it was, with no temporary file behind; a FIFO that nobody reads, an empty path, a folder that
# does not exist or a bad range end the run before it starts; a reader that goes away is
# "Broken pipe" and status 2, never a death by SIGPIPE.
. "$(dirname "$0")/lib.sh"
cd "$WORK"

# 8000: JR 8000, a run without an end of its own.
printf ':0280000018FE68\r\n' >loop.hex
SECOND=10000000

# A size limit stops each output half way: the old file stays, and so does nothing else.
for option in "--dump 0 10000 old.hex" "--dump 0 10000 old.bin" "--screenshot old.png" \
    "--trace old.txt" "--wav old.wav"; do
    file=${option##* }
    echo "old contents" >"$file"
    rc=0
    # shellcheck disable=SC2086
    (ulimit -f 4 && exec "$RUN" --no-rom loop.hex --ticks $SECOND $option) >out.txt 2>err.txt ||
        rc=$?
    [ $rc = 2 ] || fail "$option under a size limit: status $rc"
    grep -q "^quillane-run: $file: File too large\$" err.txt || fail "$option: $(cat err.txt)"
    [ "$(cat "$file")" = "old contents" ] || fail "$option replaced the old file"
    [ "$(ls -A | grep -c '^\.quillane-')" = 0 ] || fail "$option left $(ls -A)"
    rm "$file"
done
run --no-rom loop.hex --ticks 1000 --dump 8000 2 /dev/full
[ $rc = 2 ] && grep -q '^quillane-run: /dev/full: No space left on device$' err.txt ||
    fail "dump to /dev/full: $rc $(cat err.txt)"

# Bad outputs end the run before it starts (the loop would otherwise run until the time limit).
mkfifo unread.fifo
for option in "--dump 8000 2 unread.fifo" "--screenshot unread.fifo" "--trace unread.fifo" \
    "--wav unread.fifo"; do
    # shellcheck disable=SC2086
    run --no-rom loop.hex $option
    [ $rc = 2 ] || fail "$option with no reader: status $rc"
    grep -q '^quillane-run: unread.fifo: No program is reading from the pipe$' err.txt ||
        fail "$option: $(cat err.txt)"
done
run --no-rom loop.hex --trace ""
[ $rc = 2 ] && grep -q -- '--trace needs a file name' err.txt || fail "empty trace: $rc"
run --no-rom loop.hex --dump 8000 2 ""
[ $rc = 2 ] && grep -q -- '--dump needs a file name' err.txt || fail "empty dump: $rc"
run --no-rom loop.hex --dump 8000 2 missing/out.hex
[ $rc = 2 ] && grep -q '^quillane-run: missing/out.hex: The folder does not exist$' err.txt ||
    fail "missing folder: $rc $(cat err.txt)"
run --no-rom loop.hex --dump 8000 zz out.hex
[ $rc = 2 ] && grep -q 'bad length zz' err.txt || fail "bad range: $rc $(cat err.txt)"
[ ! -e out.hex ] || fail "a bad range left out.hex"

# A reader that goes away: the run ends with the reason and status 2.
# (set -e holds in the subshells: a failing command is caught with ||.)
got=$( (s=0; timeout 20 "$RUN" --no-rom loop.hex --wav /dev/stdout 2>err.txt || s=$?
    echo $s >rc.txt) | head -c 44 | wc -c)
[ "$got" = 44 ] && [ "$(cat rc.txt)" = 2 ] || fail "WAV into head: status $(cat rc.txt)"
grep -q '^quillane-run: /dev/stdout: Broken pipe$' err.txt || fail "WAV: $(cat err.txt)"
(s=0; (sleep 0.3; exec "$RUN" --no-rom loop.hex --ticks 1000 --text 2>err.txt) || s=$?
    echo $s >rc.txt) | head -c 0
[ "$(cat rc.txt)" = 2 ] || fail "--text into a closed pipe: status $(cat rc.txt)"
grep -q '^quillane-run: standard output: Broken pipe$' err.txt || fail "text: $(cat err.txt)"
echo "PASS"
