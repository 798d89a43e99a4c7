#!/bin/sh
# The monitor ROM in the real program under Xvfb: the banner and the prompt appear, and "help"
# typed on the keyboard lists the commands. The text is read back from screenshots by matching
# the monitor's own font (tests/tools/screen_text); keys typed right after a dialog or a menu
# closed reach it. Screenshots are kept in $QUILLANE_ARTIFACTS.
. "$(dirname "$0")/lib.sh"
ROM_HEX=$QUILLANE_BUILD_DIR/tessik.hex
ROM_BIN=$QUILLANE_BUILD_DIR/rom/tessik.bin
ROM_SYM=$QUILLANE_BUILD_DIR/rom/tessik.sym
READER=$QUILLANE_BUILD_DIR/tests/screen_text
SHOTS=$QUILLANE_ARTIFACTS/monitor
mkdir -p "$SHOTS"
[ -x "$READER" ] || fail "$READER not built"
for file in "$ROM_HEX" "$ROM_BIN" "$ROM_SYM"; do
    [ -f "$file" ] || fail "$file not built"
done
FAIL_LOGS="$WORK/*.txt"
start_xvfb
export SDL_AUDIODRIVER=dummy

mkdir "$WORK/run"
cp "$ROM_HEX" "$WORK/run/tessik.hex"
start_app
xdotool windowfocus --sync "$WIN" 2>/dev/null || xdotool windowfocus "$WIN"

# NAME: screenshot of the window, read back into NAME.txt
read_screen() {
    xwd -silent -id "$WIN" | convert xwd:- "png:$SHOTS/$1.png"
    convert "$SHOTS/$1.png" "ppm:$WORK/$1.ppm"
    "$READER" "$WORK/$1.ppm" "$ROM_BIN" "$ROM_SYM" >"$WORK/$1.txt" || fail "cannot read $1.png"
    rm -f "$WORK/$1.ppm"
}
line() { # NAME ROW (from 1), without the cursor's cell
    sed -n "$2p" "$WORK/$1.txt" | tr -d '\032' | sed 's/ *$//'
}
# Waits (up to 10 s) until ROW of a fresh screenshot NAME reads TEXT; prints how long it took.
wait_line() { # NAME ROW TEXT
    i=0
    while :; do
        read_screen "$1"
        [ "$(line "$1" "$2")" = "$3" ] && break
        i=$((i + 1)); [ $i -lt 100 ] || fail "$1: row $2 reads '$(line "$1" "$2")', expected '$3'"
        sleep 0.1
    done
    echo "$1: row $2 after about $i tenths of a second"
}

# --- boot: the banner and the prompt ------------------------------------------------------------
# The monitor needs about 0.2 s of board time to get here; the first look is one second after
# the window appeared, and later looks only wait for a slow machine.
sleep 1
wait_line boot 4 ">"
[ "$(line boot 1)" = "Quillane monitor 1.0" ] || fail "banner line 1: '$(line boot 1)'"
[ "$(line boot 2)" = "Free RAM 3C00-FEFF 49920 bytes" ] || fail "banner line 2: '$(line boot 2)'"
[ "$(line boot 3)" = "Type help for commands." ] || fail "banner line 3: '$(line boot 3)'"

# --- help, typed on the keyboard ----------------------------------------------------------------
# Keys held 50 ms, as a person types: the monitor debounces and would not see a key that is
# released a millisecond after it was pressed.
xdotool type --delay 100 help
xdotool key --delay 100 Return
wait_line help 17 ">"
[ "$(line help 4)" = "> help" ] || fail "the typed line reads '$(line help 4)'"
cat >"$WORK/expected.txt" <<'TEXT'
d [addr [len]]   dump memory
e addr [bytes]   enter bytes
f addr len byte  fill memory
c src dst len    copy memory
g addr           run program
i port           read port
o port bytes     write port
cls              clear screen
color xy         paper x, ink y
beep             beep
help             this list
Numbers are hex.
TEXT
sed -n 5,16p "$WORK/help.txt" >"$WORK/listed.txt"
cmp -s "$WORK/expected.txt" "$WORK/listed.txt" || {
    diff "$WORK/expected.txt" "$WORK/listed.txt" || true
    fail "help does not list the commands"
}
# --- the first key after a dialog, and after a menu closed with Escape, reaches the board -------
xdotool key ctrl+o
wait_window Open >/dev/null || fail "Ctrl+O opened no dialog"
sleep 0.5
xdotool key Escape
wait_gone Open
xdotool type --delay 100 beep
xdotool key --delay 100 Return
wait_line after_dialog 18 ">"
[ "$(line after_dialog 17)" = "> beep" ] ||
    fail "typed right after the dialog closed: '$(line after_dialog 17)'"
eval "$(xdotool getwindowgeometry --shell "$WIN")"
xdotool mousemove $((X + 20)) $((Y + 10)) click 1
sleep 0.5
xdotool key Escape
xdotool type --delay 100 cls
wait_line after_menu 18 "> cls"

kill -0 "$APP_PID" 2>/dev/null || fail "the program ended"
echo "PASS: the monitor boots to its prompt, lists its commands, and has the keyboard after a dialog"
