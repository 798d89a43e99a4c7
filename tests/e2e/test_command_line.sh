#!/bin/sh
# The window program's command line: --help and --version need no display; an image given on
# the command line loads after the ROM, and --type starts it from the monitor's prompt.
. "$(dirname "$0")/lib.sh"
READER=$QUILLANE_BUILD_DIR/tests/screen_text
SHOTS=$QUILLANE_ARTIFACTS/command_line
mkdir -p "$SHOTS"
[ -x "$READER" ] || fail "$READER not built"

env -u DISPLAY -u WAYLAND_DISPLAY "$QUILLANE" --help >"$WORK/help.txt" ||
    fail "--help without a display"
grep -q -- '--type TEXT' "$WORK/help.txt" || fail "--help lacks --type"
[ "$(env -u DISPLAY "$QUILLANE" --version)" = "quillane 1.0" ] || fail "--version"
rc=0
env -u DISPLAY "$QUILLANE" --frobnicate 2>"$WORK/bad.txt" || rc=$?
[ $rc -eq 2 ] && grep -q 'unknown option --frobnicate' "$WORK/bad.txt" || fail "bad option: $rc"

start_xvfb
export SDL_AUDIODRIVER=dummy
mkdir "$WORK/run"
cp "$QUILLANE_BUILD_DIR/tessik.hex" "$WORK/run/tessik.hex"
(cd "$WORK/run" && exec "$QUILLANE" "$QUILLANE_BUILD_DIR/examples/tune.hex" \
    --type 'g 8000\n') >"$WORK/app.log" 2>&1 &
APP_PID=$!
wait_for_window

# The example's title line, read back from screenshots through the monitor's font.
i=0
while :; do
    # A window just mapped may not give a picture yet: a failed shot is tried again.
    if xwd -silent -id "$WIN" | convert xwd:- "png:$SHOTS/tune.png" &&
        convert "$SHOTS/tune.png" "ppm:$WORK/tune.ppm" &&
        "$READER" "$WORK/tune.ppm" "$QUILLANE_BUILD_DIR/rom/tessik.bin" \
            "$QUILLANE_BUILD_DIR/rom/tessik.sym" >"$WORK/tune.txt"; then
        [ "$(sed -n 1p "$WORK/tune.txt" | sed 's/ *$//')" = "Frere Jacques, a round" ] && break
    fi
    i=$((i + 1))
    [ $i -lt 100 ] || fail "the example did not start: $(cat "$WORK/tune.txt" 2>/dev/null)"
    sleep 0.1
done
quit_app
echo "PASS"
