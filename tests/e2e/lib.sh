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

# Starts the program in $WORK/run (which holds its tessik.hex) with ENV settings given as
# arguments (NAME=VALUE ...) and the program's own arguments from APP_ARGS, and waits for its
# window; sets APP_PID and WIN.
APP_ARGS=
start_app() {
    # shellcheck disable=SC2086 # APP_ARGS is a list of words
    (cd "$WORK/run" && exec env "$@" "$QUILLANE" $APP_ARGS) >"$WORK/app.log" 2>&1 &
    APP_PID=$!
    wait_for_window
}

# Puts the raw Z80 binary BIN, loading at 0, into $WORK/run as tessik.hex.
install_rom() { # BIN
    mkdir -p "$WORK/run"
    "$QUILLANE_BUILD_DIR/quillane-mkhex" "$1" 0 "$WORK/run/tessik.hex" ||
        fail "cannot turn $1 into tessik.hex"
}

# Ends the program with Alt+Q and requires exit code 0.
# Waits up to TENTHS tenths of a second (default 20) for the program to end; its status in RC.
wait_end() { # WHAT [TENTHS]
    i=0
    while kill -0 "$APP_PID" 2>/dev/null; do
        i=$((i + 1)); [ $i -lt "${2:-20}" ] || fail "$1 did not end the program"
        sleep 0.1
    done
    RC=0
    wait "$APP_PID" || RC=$?
    APP_PID=
}

quit_app() {
    xdotool windowfocus "$WIN" 2>/dev/null || true
    xdotool key alt+q
    wait_end "Alt+Q" 100
    [ "$RC" -eq 0 ] || fail "exit code $RC after Alt+Q"
}

# Screenshots of the main window into $SHOTS, and their pixels.
shot() { # NAME
    xwd -silent -id "$WIN" | convert xwd:- "png:$SHOTS/$1.png" ||
        fail "no screenshot $1 of the main window"
}
pixel() { # NAME X Y -> #RRGGBB
    convert "$SHOTS/$1.png" -crop "1x1+$2+$3" -depth 8 txt:- | tail -n 1 |
        grep -o '#[0-9A-Fa-f]\{6\}' | head -n 1 | tr a-f A-F
}
expect() { # NAME X Y COLOUR WHAT
    got=$(pixel "$1" "$2" "$3")
    [ "$got" = "$4" ] || fail "$5: pixel ($2,$3) of $1.png is $got, expected $4"
}
# Waits until pixel X Y of a fresh screenshot NAME has COLOUR.
wait_for() { # NAME X Y COLOUR WHAT
    i=0
    while :; do
        shot "$1"
        [ "$(pixel "$1" "$2" "$3")" = "$4" ] && return 0
        i=$((i + 1))
        [ $i -lt 50 ] || fail "$5: pixel ($2,$3) of $1.png stays $(pixel "$1" "$2" "$3")"
        sleep 0.1
    done
}

# Waits for a visible window titled exactly TITLE, at most TENTHS tenths of a second; sets FOUND.
find_window() { # TITLE TENTHS
    i=0
    FOUND=
    while [ -z "$FOUND" ]; do
        i=$((i + 1)); [ $i -lt "$2" ] || fail "no $1 window"
        sleep 0.1
        FOUND=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) || true
    done
}

# Waits for a visible window titled exactly TITLE and prints its id.
wait_window() {
    find_window "$1" 100
    echo "$FOUND"
}
wait_gone() {
    i=0
    while xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; do
        i=$((i + 1)); [ $i -lt 100 ] || fail "window '$1' stays open"; sleep 0.1
    done
}
window_shot() { # ID NAME
    xwd -silent -id "$1" | convert xwd:- "png:$SHOTS/$2.png"
}
# Opens a dialog with the shortcut and prints its id once it has the keyboard.
open_dialog() { # KEYS TITLE
    xdotool windowfocus "$WIN" 2>/dev/null || true
    sleep 0.2
    xdotool key "$1"
    d=$(wait_window "$2")
    sleep 0.5
    xdotool windowfocus "$d" 2>/dev/null || true
    sleep 0.2
    echo "$d"
}

# Waits for the program's visible main window; sets WIN.
wait_for_window() {
    find_window Quillane 200
    WIN=$FOUND
}

# Waits for the debugger window and moves it beside the main window, so that screenshots of the
# main window show the board; sets DBG.
wait_for_debugger() {
    find_window "Quillane Debugger" 100
    DBG=$FOUND
    xdotool windowmove "$DBG" 700 0
}
# Types a line into the debugger's console, whose input has the keyboard focus.
console() { # LINE
    xdotool windowfocus "$DBG"
    xdotool type --delay 5 "$1"
    xdotool key Return
}
