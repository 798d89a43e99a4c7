# Loads give the window's details everywhere: quillane-run's ROM and images, the command
# language's `load` and the window's command line name the file and the reason
# ("Line 2: bad checksum", "The file holds no data record"); the loader's mends hold end to end.
. "$(dirname "$0")/lib.sh"
WINDOW=$QUILLANE_BUILD_DIR/quillane
cd "$WORK"

# 8000: JR 8000; then the same with a bad checksum on line 2; an end record alone.
printf ':0280000018FE68\r\n' >loop.hex
printf ':0280000018FE68\r\n:0280020018FE00\r\n' >bad.hex
printf ':00000001FF\r\n' >empty.hex

run --rom empty.hex --ticks 100
[ $rc = 2 ] || fail "ROM without data: status $rc"
grep -q '^quillane-run: Unable to load HEX file: empty.hex: The file holds no data record$' \
    err.txt || fail "ROM without data: $(cat err.txt)"
run --no-rom loop.hex bad.hex --ticks 100
[ $rc = 2 ] && grep -q '^quillane-run: Unable to load HEX file: bad.hex: Line 2: bad checksum$' \
    err.txt || fail "image: $rc $(cat err.txt)"
printf 'load bad.hex\n' >load.txt
run --no-rom loop.hex --ticks 100 --script load.txt
[ $rc = 2 ] && [ "$(cat err.txt)" = "load.txt:1: Unable to load HEX file: bad.hex: Line 2: bad checksum" ] ||
    fail "load: $rc $(cat err.txt)"

# A byte order mark and blanks around a record load; a line that begins with ':' but is no
# record fails with its reason instead of ending the load quietly.
printf '\357\273\277  :0280000018FE68 \t\r\n' >editor.hex
run --no-rom editor.hex --ticks 100 --regs
[ $rc = 0 ] && grep -q '^{"pc":32768,' out.txt || fail "editor's file: $rc $(cat err.txt)"
printf ':0280000018FE68\r\n:0380\r\n:0280020018FE66\r\n' >short.hex
run --no-rom short.hex --ticks 100
[ $rc = 2 ] && grep -q 'short.hex: Line 2: the record ends early$' err.txt ||
    fail "short record: $rc $(cat err.txt)"

# The window's command line (no display needed to refuse --type, offscreen for the loads).
if [ -x "$WINDOW" ]; then
    # Qt's own allocations at exit are no concern of these checks (sanitizer builds).
    export ASAN_OPTIONS=detect_leaks=0
    rc=0
    env -u DISPLAY -u WAYLAND_DISPLAY "$WINDOW" --type "$(printf '\303\251')" 2>err.txt || rc=$?
    [ $rc = 2 ] && grep -q '^quillane: --type: No key types the character C3$' err.txt ||
        fail "--type: $rc $(cat err.txt)"
    export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
    rc=0
    timeout 20 "$WINDOW" --rom "$QUILLANE_BUILD_DIR/tessik.hex" bad.hex 2>err.txt || rc=$?
    [ $rc = 2 ] && grep -q '^quillane: Unable to load HEX file: bad.hex: Line 2: bad checksum$' \
        err.txt || fail "window image: $rc $(cat err.txt)"
    # The ROM's message box waits for a click; its line on stderr comes first.
    "$WINDOW" --rom bad.hex 2>err.txt &
    pid=$!
    for _ in $(seq 100); do
        grep -q 'ROM file' err.txt && break
        sleep 0.1
    done
    kill $pid 2>/dev/null || true
    wait $pid 2>/dev/null || true
    grep -q "^quillane: Unable to load bad.hex ROM file: $WORK/bad.hex: Line 2: bad checksum\$" \
        err.txt || fail "window ROM: $(cat err.txt)"
fi
echo "PASS"
