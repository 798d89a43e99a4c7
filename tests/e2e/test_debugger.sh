#!/bin/sh
# The debugger window in the real program: F12 and --debug open "Quillane Debugger", and break,
# pause and continue typed into its console stop and restart the board. The board runs
# tests/z80/e2e_clock.asm, whose screen changes on every pass of its loop, so a screen that holds
# still means a stopped processor.
. "$(dirname "$0")/lib.sh"
ROM_BIN=$QUILLANE_BUILD_DIR/tests/z80/e2e_clock.bin
SHOTS=$QUILLANE_ARTIFACTS/debugger
mkdir -p "$SHOTS"
start_xvfb
export SDL_AUDIODRIVER=dummy
install_rom "$ROM_BIN"
# The same program as an image with its symbols beside it: --debug loads them.
cp "$WORK/run/tessik.hex" "$WORK/run/clock.hex"
cp "$QUILLANE_BUILD_DIR/tests/z80/e2e_clock.sym" "$WORK/run/clock.sym"

# The board's pixels in a screenshot, as a checksum.
screen_sum() { # NAME
    shot "$1"
    convert "$SHOTS/$1.png" rgb:- | md5sum | cut -d' ' -f1
}
# Fails unless the screen holds still for half a second.
expect_still() { # NAME WHAT
    sleep 0.3
    a=$(screen_sum "$1-a")
    sleep 0.5
    b=$(screen_sum "$1-b")
    [ "$a" = "$b" ] || fail "$2: the screen changed while the board should stand still"
}
# Fails unless the screen changes within a few seconds.
expect_moving() { # NAME WHAT
    a=$(screen_sum "$1-a")
    i=0
    while [ "$(screen_sum "$1-b")" = "$a" ]; do
        i=$((i + 1)); [ $i -lt 30 ] || fail "$2: the screen stays the same"
        sleep 0.1
    done
}

# F12 in the main window opens the debugger; the board goes on running.
start_app
xdotool windowfocus "$WIN"
xdotool key F12
wait_for_debugger
expect_moving f12 "after F12"
quit_app

# --debug opens it at start, with the image's symbols loaded.
APP_ARGS="--debug clock.hex"
start_app
wait_for_debugger
console "pause"
expect_still paused "after pause"
console "continue"
expect_moving continued "after continue"
console "break loop"
expect_still break "at the breakpoint on loop"
console "delete"
console "continue"
expect_moving resumed "after delete and continue"

# A console `save` into a pipe that its reader (this shell, holding it open) never drains blocks
# beside the windows: the board goes on drawing, and SIGTERM still ends the program with 143.
mkfifo "$WORK/run/slow.fifo"
exec 3<>"$WORK/run/slow.fifo"
console "save slow.fifo 0 10000"
sleep 0.5
expect_moving blocked_save "while a console save blocks"
kill -TERM "$APP_PID"
wait_end "SIGTERM while a save blocked" 50
exec 3<&-
[ "$RC" -eq 143 ] || fail "SIGTERM while a save blocked: exit status $RC"
echo "PASS"
