#!/bin/sh
# How the real program ends from outside: SIGINT, SIGTERM and SIGHUP end it through the Quit path
# with 130, 143 and 129; the X server killed under it gives one clear line and a failure status
# that is not an abort (134); its window destroyed by another client ends it; the fatal error for
# a thread that cannot be created ends it with that error's code (EAGAIN, 11).
. "$(dirname "$0")/lib.sh"
[ -f "$QUILLANE_BUILD_DIR/tessik.hex" ] || fail "the monitor ROM is not built"
mkdir -p "$WORK/run"
cp "$QUILLANE_BUILD_DIR/tessik.hex" "$WORK/run/"
export SDL_AUDIODRIVER=dummy

start_xvfb
for pair in INT:130 TERM:143 HUP:129; do
    sig=${pair%:*} want=${pair#*:}
    start_app
    sleep 1 # the emulation threads and the audio stream are running
    kill -"$sig" "$APP_PID"
    wait_end "SIG$sig"
    [ "$RC" -eq "$want" ] || fail "SIG$sig: exit status $RC, expected $want"
    grep -q 'terminate called' "$WORK/app.log" && fail "SIG$sig: a thread was left running"
    echo "SIG$sig -> $RC"
done

start_app
sleep 1
xdotool windowclose "$WIN"
wait_end "destroying the window"
[ "$RC" -eq 0 ] || fail "destroying the window: exit status $RC"
echo "window destroyed -> $RC"

PRELOAD=$QUILLANE_BUILD_DIR/tests/libfail_thread_start.so
[ -f "$PRELOAD" ] || fail "$PRELOAD not built"
start_app LD_PRELOAD="$PRELOAD"
BOX=$(wait_window 'Critical Error') || fail "no fatal error box for the thread"
xdotool windowfocus "$BOX" 2>/dev/null || true
xdotool key Return
wait_end "the fatal error"
[ "$RC" -eq 11 ] || fail "the thread's fatal error: exit status $RC, expected 11"
grep -q 'terminate called' "$WORK/app.log" && fail "the fatal error left a thread running"
echo "thread not created -> $RC"

start_app
sleep 1
kill "$XVFB_PID"
XVFB_PID=
wait_end "killing the X server"
[ "$RC" -ne 0 ] && [ "$RC" -ne 134 ] || fail "X server killed: exit status $RC"
grep -q 'terminate called' "$WORK/app.log" && fail "X server killed: a thread was left running"
lines=$(grep -c '^quillane: the connection to the display server was lost' "$WORK/app.log") || true
[ "$lines" -eq 1 ] || fail "X server killed: expected the one line about the lost display"
echo "X server killed -> $RC"
echo "PASS"
