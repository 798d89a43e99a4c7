#!/bin/sh
# Paths are checked before anything runs, in both programs: an empty path is refused for every
# option that takes one, naming the option, and every output of quillane-run (the save state,
# profile and coverage too) is opened before the run, so a folder that does not exist, a FIFO
# that nobody reads or a folder named as the file ends the program at once with the reason and
# status 2. The runs asked for here would take hours: they end because nothing ran.
. "$(dirname "$0")/lib.sh"
cd "$WORK"

# 8000: JR 8000, a run without an end of its own; its line table gives coverage a line to count.
printf ':0280000018FE68\r\n' >loop.hex
printf '# Quillane line table of loop.asm\nline\tloop.asm\t1\t8000\t2\tcode\n' >loop.lines
printf '        jr $\n' >loop.asm
HOURS=100000000000000

for option in --rom --state --replay --script --symbols --source-dir --save-state --screenshot \
    --wav --trace --profile --coverage; do
    run loop.hex "$option" "" --ticks 1000
    [ $rc = 2 ] || fail "$option '': status $rc"
    grep -q -- "^quillane-run: $option needs a file name, not an empty one\$" err.txt ||
        fail "$option '': $(cat err.txt)"
done
for option in --rom --record --source-dir; do
    rc=0
    timeout 20 "$QUILLANE_BUILD_DIR/quillane" "$option" "" >out.txt 2>err.txt || rc=$?
    [ $rc = 2 ] || fail "quillane $option '': status $rc"
    grep -q -- "^quillane: $option needs a file name, not an empty one\$" err.txt ||
        fail "quillane $option '': $(cat err.txt)"
done

mkfifo unread.fifo
mkdir folder
for option in --save-state --profile --coverage --screenshot --trace --wav; do
    for case in "/nonexistent/x:The folder does not exist" \
        "unread.fifo:No program is reading from the pipe" "folder:Is a directory"; do
        target=${case%%:*}
        rc=0
        timeout 120 "$RUN" --no-rom loop.hex --ticks $HOURS "$option" "$target" >out.txt \
            2>err.txt || rc=$?
        [ $rc = 2 ] || fail "$option $target: status $rc"
        grep -q "^quillane-run: $target: ${case#*:}\$" err.txt || fail "$option: $(cat err.txt)"
    done
done
[ "$(ls -A | grep -c '^\.quillane-')" = 0 ] || fail "temporary files left: $(ls -A)"

# The same outputs to good paths are written where the run ends.
run --no-rom loop.hex --ticks 1000 --save-state s.state --profile p.out --coverage c.info
[ $rc = 0 ] || fail "good outputs: status $rc $(cat err.txt)"
[ -s s.state ] && head -c 8 s.state | grep -q QUILSTAT || fail "no save state"
grep -q '^events:' p.out || fail "no profile: $(cat p.out)"
grep -q '^DA:1,' c.info || fail "no coverage: $(cat c.info)"
# A link to /dev/stdout is written in place, into a pipe as into a file.
ln -s /dev/stdout to-stdout.wav
[ "$(timeout 20 "$RUN" --no-rom loop.hex --ticks 1000 --wav to-stdout.wav | head -c 4)" = RIFF ] ||
    fail "a link to /dev/stdout in a pipe"
timeout 20 "$RUN" --no-rom loop.hex --ticks 1000 --wav to-stdout.wav >piped.wav ||
    fail "a link to /dev/stdout in a file"
[ "$(head -c 4 piped.wav)" = RIFF ] && [ -L to-stdout.wav ] || fail "a link to /dev/stdout"
echo "PASS"
