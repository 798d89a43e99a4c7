#!/bin/sh
# quillane --watch: an image rewritten on disk is loaded again, the machine reset and the --type
# text typed again, so the new program's screen appears; both when a new file is renamed over
# the image (as compilers do) and when the image is rewritten in place.
. "$(dirname "$0")/lib.sh"
READER=$QUILLANE_BUILD_DIR/tests/screen_text
SHOTS=$QUILLANE_ARTIFACTS/reload
mkdir -p "$SHOTS"
[ -x "$READER" ] || fail "$READER not built"
EXAMPLES=$QUILLANE_BUILD_DIR/examples

# Waits until the screen's first line is TEXT.
wait_title() { # NAME TEXT
    i=0
    while :; do
        if shot "$1" && convert "$SHOTS/$1.png" "ppm:$WORK/$1.ppm" &&
            "$READER" "$WORK/$1.ppm" "$QUILLANE_BUILD_DIR/rom/tessik.bin" \
                "$QUILLANE_BUILD_DIR/rom/tessik.sym" >"$WORK/$1.txt"; then
            [ "$(sed -n 1p "$WORK/$1.txt" | sed 's/ *$//')" = "$2" ] && return 0
        fi
        i=$((i + 1))
        [ $i -lt 100 ] || fail "$1: the screen shows '$(sed -n 1p "$WORK/$1.txt")', not '$2'"
        sleep 0.1
    done
}

start_xvfb
export SDL_AUDIODRIVER=dummy
mkdir "$WORK/run"
cp "$QUILLANE_BUILD_DIR/tessik.hex" "$WORK/run/tessik.hex"
cp "$EXAMPLES/tune.hex" "$WORK/prog.hex"
(cd "$WORK/run" && exec "$QUILLANE" --watch "$WORK/prog.hex" --type 'g 8000\n') \
    >"$WORK/app.log" 2>&1 &
APP_PID=$!
wait_for_window
wait_title first "Frere Jacques, a round"

cp "$EXAMPLES/guess.ihx" "$WORK/prog.new"
mv "$WORK/prog.new" "$WORK/prog.hex"
wait_title renamed "Guess the number"

cat "$EXAMPLES/tune.hex" >"$WORK/prog.hex"
wait_title rewritten "Frere Jacques, a round"
quit_app
echo "PASS"
