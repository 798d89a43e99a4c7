#!/bin/sh
# The real program in a real X server (Xvfb): the first picture, border and letterbox, a resize,
# typed keys, F5, Alt+Q, and the missing ROM. Screenshots are kept in $QUILLANE_ARTIFACTS.
. "$(dirname "$0")/lib.sh"
ROM_BIN=$QUILLANE_BUILD_DIR/tests/z80/e2e_keys.bin
SHOTS=$QUILLANE_ARTIFACTS/window
mkdir -p "$SHOTS"
[ -f "$ROM_BIN" ] || fail "$ROM_BIN not assembled"
start_xvfb
export SDL_AUDIODRIVER=dummy

install_rom "$ROM_BIN"

BLACK='#000000' BLUE='#0000AA' GREY='#555555' YELLOW='#FFFF00' WHITE='#FFFFFF'

start_app
xdotool windowfocus --sync "$WIN" 2>/dev/null || xdotool windowfocus "$WIN"

# --- first picture ----------------------------------------------------------------------------
# The window is the display area (640 wide) with the menu bar above and the status bar below.
eval "$(xdotool getwindowgeometry --shell "$WIN")"
[ "$WIDTH" -eq 640 ] || fail "window is $WIDTH wide, expected 640"
CHROME=$((HEIGHT - 480))
[ "$CHROME" -gt 0 ] || fail "no room for the menu and status bars ($HEIGHT high)"

# Matrix block (row 0, bit 0) is blue; the display area's top is 48 pixels (24 border rows,
# doubled) above the first blue row in column 100.
i=0
TOP=
while [ -z "$TOP" ]; do
    shot start
    TOP=$(convert "$SHOTS/start.png" -crop "1x$HEIGHT+100+0" -depth 8 txt:- |
        grep -i "$BLUE" | head -n 1 | cut -d, -f2 | cut -d: -f1) || true
    i=$((i + 1)); [ $i -lt 50 ] || fail "the test ROM's picture never appeared"
    [ -n "$TOP" ] || sleep 0.1
done
TOP=$((TOP - 48))
[ "$TOP" -gt 0 ] && [ "$TOP" -lt "$CHROME" ] || fail "display area top at $TOP"
echo "display area at y=$TOP, menu and status bars take $CHROME pixels"

# Block (r, b) is centred at x = 64 + 64 b + 32, y = TOP + 48 + 32 r + 16.
bx() { echo $((96 + 64 * $1)); }
by() { echo $((TOP + 64 + 32 * $1)); }
BAR_Y=$((TOP + 48 + 320 + 8))
# The ROM paints the matrix block by block; wait for its first full scan.
wait_for start "$(bx 7)" "$(by 7)" $BLUE "block 7,7"
expect start 10 $((TOP + 10)) $BLACK "top-left border"
expect start 630 $((TOP + 470)) $BLACK "bottom-right border"
expect start 60 $((TOP + 200)) $BLACK "left border"
expect start 64 $((TOP + 48)) $BLUE "first picture pixel"
expect start "$(bx 0)" "$(by 0)" $BLUE "block 0,0"
expect start "$(bx 1)" "$(by 0)" $GREY "block 0,1"
expect start 70 $BAR_Y $WHITE "first boot cell"
expect start 86 $BAR_Y $BLACK "no second boot cell"
expect start 320 $((TOP + 48 + 300)) $BLACK "empty rows below the matrix"

# --- keys ---------------------------------------------------------------------------------------
xdotool keydown a
wait_for key_a "$(bx 5)" "$(by 3)" $YELLOW "A held (row 3 bit 5)"
expect key_a "$(bx 4)" "$(by 3)" $GREY "the key beside A stays up"
xdotool keyup a
wait_for key_a_up "$(bx 5)" "$(by 3)" $BLUE "A released"

# Shift+1: Shift (row 5 bit 1) and 1 (row 0 bit 1) by position; Shift let go first.
xdotool keydown shift keydown 1
wait_for shift_1 "$(bx 1)" "$(by 0)" $YELLOW "1 with Shift held"
expect shift_1 "$(bx 1)" "$(by 5)" $YELLOW "Shift held"
xdotool keyup shift
wait_for shift_up "$(bx 1)" "$(by 5)" $BLUE "Shift released"
expect shift_up "$(bx 1)" "$(by 0)" $YELLOW "1 still held"
xdotool keyup 1
wait_for one_up "$(bx 1)" "$(by 0)" $GREY "1 released"

# --- resize: letterbox --------------------------------------------------------------------------
xdotool windowsize --sync "$WIN" 1000 $((480 + CHROME)) 2>/dev/null ||
    xdotool windowsize "$WIN" 1000 $((480 + CHROME))
# 1000 x 480: the picture is 640 wide at x = 180, with black bars of 180 on both sides.
wait_for wide $((180 + 96)) "$(by 0)" $BLUE "block 0,0 after widening"
expect wide 90 "$(by 0)" $BLACK "left bar"
expect wide 179 $((TOP + 240)) $BLACK "left bar edge"
expect wide 910 "$(by 0)" $BLACK "right bar"
expect wide $((180 + 64)) $((TOP + 48)) $BLUE "first picture pixel after widening"
expect wide $((180 + 160)) "$(by 0)" $GREY "block 0,1 after widening"

xdotool windowsize "$WIN" 640 $((600 + CHROME))
# 640 x 600: bars of 60 above and below.
wait_for tall 96 $((TOP + 60 + 64)) $BLUE "block 0,0 after growing taller"
expect tall 96 $((TOP + 30)) $BLACK "top bar"
expect tall 96 $((TOP + 570)) $BLACK "bottom bar"
expect tall 160 $((TOP + 60 + 64)) $GREY "block 0,1 after growing taller"

xdotool windowsize "$WIN" 640 $((480 + CHROME))
wait_for back "$(bx 1)" "$(by 0)" $GREY "block 0,1 back at the first size"

# --- F5 resets: the ROM starts again and counts a second boot -------------------------------
xdotool key F5
wait_for reset 86 $BAR_Y $WHITE "second boot cell after F5"
expect reset 102 $BAR_Y $BLACK "no third boot cell"
xdotool keydown a
wait_for reset_key "$(bx 5)" "$(by 3)" $YELLOW "keyboard set up again after the reset"
xdotool keyup a

# --- Alt+Q ends the program with 0 --------------------------------------------------------------
quit_app

# --- no ROM: a message, exit code 1 -----------------------------------------------------------
mkdir "$WORK/empty"
(cd "$WORK/empty" && exec "$QUILLANE") >"$WORK/norom.log" 2>&1 &
APP_PID=$!
BOX=$(wait_window 'Critical error') || fail "no message box without a ROM"
[ -z "$(xdotool search --onlyvisible --name '^Quillane$' 2>/dev/null)" ] ||
    fail "a main window exists without a ROM"
sleep 0.3
xwd -silent -id "$BOX" | convert xwd:- "png:$SHOTS/no_rom.png"
xdotool windowfocus "$BOX" 2>/dev/null || true
xdotool key --window "$BOX" Return 2>/dev/null || true
xdotool key Return
i=0
while kill -0 "$APP_PID" 2>/dev/null; do
    i=$((i + 1)); [ $i -lt 100 ] || fail "the program without a ROM did not end"; sleep 0.1
done
rc=0
wait "$APP_PID" || rc=$?
APP_PID=
[ "$rc" -eq 1 ] || fail "exit code $rc without a ROM, expected 1"

echo "PASS: window end to end (screenshots in $SHOTS)"
