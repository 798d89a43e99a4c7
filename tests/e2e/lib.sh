# Shared set-up of the end-to-end tests, sourced by each tests/e2e/test_*.sh: the tools and the
# program are there, a work directory that goes away with the test, a private Xvfb, and a way to
# fail that shows the logs. Scripts set FAIL_LOGS to list more of their files on failure.
set -eu

: "${QUILLANE_BUILD_DIR:?}" "${QUILLANE_ARTIFACTS:?}"
QUILLANE=$QUILLANE_BUILD_DIR/quillane
for tool in Xvfb xdotool xwd convert; do
    command -v $tool >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
done
[ -x "$QUILLANE" ] || { echo "FAIL: $QUILLANE not built"; exit 1; }

WORK=$(mktemp -d)
XVFB_PID=
APP_PID=
FAIL_LOGS=
cleanup() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null || true
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    if [ -n "$APP_PID" ] && ! kill -0 "$APP_PID" 2>/dev/null; then
        rc=0
        wait "$APP_PID" || rc=$?
        echo "the program has ended with exit code $rc"
        APP_PID=
    fi
    for log in "$WORK"/*.log $FAIL_LOGS; do
        [ -s "$log" ] && { echo "--- $log"; tail -n 30 "$log"; }
    done
    exit 1
}

# Xvfb picks a free display and says which; another server starting at the same moment can take
# it first, so a server that does not answer is replaced (three tries). Exports DISPLAY.
start_xvfb() {
    tries=0
    until start_xvfb_once; do
        kill "$XVFB_PID" 2>/dev/null || true
        tries=$((tries + 1))
        [ $tries -lt 3 ] || fail "Xvfb did not start"
    done
}
start_xvfb_once() {
    rm -f "$WORK/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$WORK/display" \
        >"$WORK/xvfb.log" 2>&1 &
    XVFB_PID=$!
    i=0
    until [ -s "$WORK/display" ]; do
        i=$((i + 1)); [ $i -lt 100 ] || return 1; sleep 0.1
    done
    DISPLAY=:$(cat "$WORK/display")
    export DISPLAY
    i=0
    until xdotool getmouselocation >/dev/null 2>&1; do
        i=$((i + 1)); [ $i -lt 50 ] || return 1; sleep 0.1
    done
}

# Waits for the program's visible main window; sets WIN.
wait_for_window() {
    i=0
    WIN=
    while [ -z "$WIN" ]; do
        i=$((i + 1)); [ $i -lt 200 ] || fail "no Quillane window"
        sleep 0.1
        WIN=$(xdotool search --onlyvisible --name '^Quillane$' 2>/dev/null | head -n 1) || true
    done
}
