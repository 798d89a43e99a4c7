#!/bin/sh
# Saves that fail or block in the real program: a full file system leaves the old file byte for
# byte; a FIFO whose reader leaves early is a failed save and the program runs on; while a save
# blocks on a FIFO that nobody reads, the emulated clock keeps advancing on the screen.
. "$(dirname "$0")/lib.sh"
ROM_BIN=$QUILLANE_BUILD_DIR/tests/z80/e2e_clock.bin
SHOTS=$QUILLANE_ARTIFACTS/save_faults
mkdir -p "$SHOTS"
[ -f "$ROM_BIN" ] || fail "$ROM_BIN not assembled"
start_xvfb
export SDL_AUDIODRIVER=dummy
install_rom "$ROM_BIN"

# Saves the whole memory (the dialog's default block) over the existing file PATH, answering the
# question whether to replace it.
save_to() { # PATH
    open_dialog ctrl+s 'Save As' >/dev/null
    xdotool type --delay 10 "$1"
    xdotool key Return
    sleep 0.5
    xdotool key y
}
# Waits for the failure message, checks what the program said, and closes it.
expect_failure() { # REASON
    box=$(wait_window Error) || fail "no failure message for '$1'"
    grep -q "^quillane: Unable to save HEX file: .*: $1\$" "$WORK/app.log" ||
        fail "no 'Unable to save HEX file' with '$1'"
    xdotool windowfocus "$box" 2>/dev/null || true
    xdotool key Return
    wait_gone Error
}
running() { kill -0 "$APP_PID" 2>/dev/null || fail "the program ended: $1"; }

# --- a full file system: a tmpfs of 16 KB, or a file size limit where mounting is not allowed ---
FULL=$WORK/full
mkdir -p "$FULL"
LIMIT=
MOUNTED=
READER=
HOLDER=
finish() {
    for pid in $READER $HOLDER; do kill "$pid" 2>/dev/null || true; done
    [ -z "$MOUNTED" ] || umount "$FULL" 2>/dev/null || true
    cleanup
}
trap finish EXIT
if mount -t tmpfs -o size=16k quillane-full "$FULL" 2>/dev/null; then
    MOUNTED=1
    REASON='No space left on device'
else
    LIMIT=32 # 512-byte blocks: 16 KB
    REASON='File too large'
fi
head -c 3000 /dev/urandom | od -An -tx1 -v >"$FULL/old.hex"
cp "$FULL/old.hex" "$WORK/old.copy"
if [ -n "$LIMIT" ]; then
    (cd "$WORK/run" && ulimit -f "$LIMIT" && exec "$QUILLANE") >"$WORK/app.log" 2>&1 &
    APP_PID=$!
    wait_for_window
else
    start_app
fi
save_to "$FULL/old.hex"
expect_failure "$REASON"
cmp -s "$FULL/old.hex" "$WORK/old.copy" || fail "the failed save changed the old file"
[ "$(ls -A "$FULL" | wc -l)" -eq 1 ] || fail "the failed save left files behind: $(ls -A "$FULL")"
running "after the save onto a full file system"
echo "full file system ($REASON): the old file is intact"

# --- a FIFO whose reader closes after 100 bytes -----------------------------------------------
mkfifo "$WORK/early.hex"
head -c 100 "$WORK/early.hex" >/dev/null 2>&1 &
READER=$!
save_to "$WORK/early.hex"
expect_failure 'Broken pipe'
wait "$READER" || true
READER=
running "after the broken pipe"
echo "FIFO closed early: a failed save, the program runs on"

# --- a FIFO that nobody reads: the save blocks, the machine and the window do not --------------
mkfifo "$WORK/stuck.hex"
sleep 600 <>"$WORK/stuck.hex" >/dev/null 2>&1 &
HOLDER=$!
save_to "$WORK/stuck.hex"
wait_gone 'Save As'
sleep 0.5
shot blocked1
sleep 1
shot blocked2
cmp -s "$SHOTS/blocked1.png" "$SHOTS/blocked2.png" &&
    fail "the screen stood still while the save blocked"
running "while a save blocks"
echo "FIFO nobody reads: the clock advances on the screen"
# Quitting does not wait for the blocked save.
quit_app
echo "PASS"
