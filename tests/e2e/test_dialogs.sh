#!/bin/sh
# The File dialogs of the real program in a real X server (Xvfb): Ctrl+S with a typed path saves
# the whole memory, Ctrl+O loads an image that draws on the running machine's screen, a refused
# block keeps the dialog open, and a save that cannot be written says so. Screenshots are kept in
# $QUILLANE_ARTIFACTS.
. "$(dirname "$0")/lib.sh"
ROM_BIN=$QUILLANE_BUILD_DIR/tests/z80/e2e_keys.bin
SHOTS=$QUILLANE_ARTIFACTS/dialogs
mkdir -p "$SHOTS"
[ -f "$ROM_BIN" ] || fail "$ROM_BIN not assembled"
start_xvfb
export SDL_AUDIODRIVER=dummy

install_rom "$ROM_BIN"

BLACK='#000000' BLUE='#0000AA' GREY='#555555' YELLOW='#FFFF00' GREEN='#00FF00'

# One data record of COUNT copies of BYTE at ADDRESS (both hexadecimal), CR LF ended.
hex_record() {
    address=$((0x$1)) byte=$((0x$2)) count=$3
    sum=$((count + (address >> 8) + (address & 255) + byte * count))
    printf ':%02X%04X00' "$count" "$address"
    i=0
    while [ $i -lt "$count" ]; do printf '%02X' "$byte"; i=$((i + 1)); done
    printf '%02X\r\n' $(((256 - sum % 256) % 256))
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

start_app
xdotool windowfocus "$WIN" 2>/dev/null || true
eval "$(xdotool getwindowgeometry --shell "$WIN")"
CHROME=$((HEIGHT - 480))
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

# --- Ctrl+S, a typed path, Enter: the whole memory in 2048 records ----------------------------
SAVE=$(open_dialog ctrl+s 'Save As')
window_shot "$SAVE" save_dialog
xdotool type --delay 20 "$WORK/saved.hex"
xdotool key Return
wait_gone 'Save As'
# The save runs after the dialog has gone; wait for it to finish writing.
i=0
while [ "$(wc -c <"$WORK/saved.hex" 2>/dev/null || echo 0)" -lt $((2048 * 77)) ]; do
    i=$((i + 1)); [ $i -lt 100 ] || break; sleep 0.1
done
sleep 0.2
[ -f "$WORK/saved.hex" ] || fail "Ctrl+S wrote no file"
lines=$(wc -l <"$WORK/saved.hex")
[ "$lines" -eq 2048 ] || fail "saved file has $lines records, expected 2048"
size=$(wc -c <"$WORK/saved.hex")
[ "$size" -eq $((2048 * 77)) ] || fail "saved file is $size bytes, expected 2048 lines of 75 + CR LF"
first=$(head -n 1 "$WORK/saved.hex" | tr -d '\r')
rom=$(od -An -tx1 -N32 -v "$ROM_BIN" | tr -d ' \n' | tr a-f A-F)
[ "$(echo "$first" | cut -c1-9)" = ":20000000" ] || fail "first record is $first"
[ "$(echo "$first" | cut -c10-73)" = "$rom" ] || fail "first record does not hold the ROM: $first"
last=$(tail -n 1 "$WORK/saved.hex" | cut -c1-9)
[ "$last" = ":20FFE000" ] || fail "last record starts $last"

# --- a block past the end of memory is refused and the dialog stays open ----------------------
SAVE=$(open_dialog ctrl+s 'Save As')
xdotool type --delay 20 "$WORK/refused.hex"
xdotool key alt+l ctrl+a
xdotool type --delay 20 "10001"
window_shot "$SAVE" save_dialog_filled
xdotool key Return
BOX=$(wait_window Error)
sleep 0.3
window_shot "$BOX" save_refused_message
xdotool windowfocus "$BOX" 2>/dev/null || true
xdotool key Return
wait_gone Error
xdotool search --onlyvisible --name '^Save As$' >/dev/null 2>&1 ||
    fail "the save dialog closed on a refused block"
xdotool windowfocus "$SAVE" 2>/dev/null || true
xdotool key Escape
wait_gone 'Save As'
[ ! -e "$WORK/refused.hex" ] || fail "a refused block was saved"

# --- Ctrl+O: an image that draws on the screen of the running machine -------------------------
# Cell row 22 (attributes from 0x3AC0) in bright green paper; the ROM never paints there.
hex_record 3AC0 A0 32 >"$WORK/draw.hex"
OPEN=$(open_dialog ctrl+o Open)
window_shot "$OPEN" open_dialog
xdotool type --delay 20 "$WORK/draw.hex"
xdotool key Return
wait_gone Open
ROW22=$((TOP + 48 + 2 * 176 + 8))
wait_for drawn 100 $ROW22 $GREEN "the loaded image on the screen"
expect drawn 600 $ROW22 $BLACK "border beside the loaded image"
expect drawn 100 $((ROW22 - 16)) $BLACK "the row above the loaded image"
# The machine kept running: it still scans the keyboard.
xdotool windowfocus "$WIN" 2>/dev/null || true
sleep 0.2
xdotool keydown a
wait_for drawn_key $((96 + 64 * 5)) $((TOP + 64 + 32 * 3)) $YELLOW "A held after the load"
xdotool keyup a

# --- a save that cannot be written --------------------------------------------------------------
# Root may write anywhere, so the path goes below a plain file, which no one can create.
echo x >"$WORK/plain"
SAVE=$(open_dialog ctrl+s 'Save As')
xdotool type --delay 20 "$WORK/plain/image.hex"
xdotool key Return
BOX=$(wait_window Error)
sleep 0.3
window_shot "$BOX" save_failed_message
xdotool search --onlyvisible --name '^Save As$' >/dev/null 2>&1 &&
    fail "the save dialog is still open behind the failure message"
xdotool windowfocus "$BOX" 2>/dev/null || true
xdotool key Return
wait_gone Error
[ ! -e "$WORK/plain/image.hex" ] || fail "a file appeared below a plain file"

# --- Alt+Q ends the program with 0 --------------------------------------------------------------
xdotool windowfocus "$WIN" 2>/dev/null || true
sleep 0.2
quit_app

echo "PASS: dialogs end to end (screenshots in $SHOTS)"
