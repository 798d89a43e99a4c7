#!/bin/sh
# A session recorded in the window (--record) and played back headless (quillane-run --replay),
# or in the window (quillane --replay), ends on the same screen: keys typed by --type and keys pressed in the window with xdotool, at
# the ticks they came. A recording that cannot be written is told at once. A damaged or truncated
# recording is refused and runs nothing.
. "$(dirname "$0")/lib.sh"
READER=$QUILLANE_BUILD_DIR/tests/screen_text
RUN=$QUILLANE_BUILD_DIR/quillane-run
SHOTS=$QUILLANE_ARTIFACTS/record
mkdir -p "$SHOTS"
[ -x "$READER" ] || fail "$READER not built"

# The screen as text, the cursor's cell (unknown to the font) as a blank: it blinks.
window_text() { # NAME
    shot "$1" && convert "$SHOTS/$1.png" "ppm:$WORK/$1.ppm" &&
        "$READER" "$WORK/$1.ppm" "$QUILLANE_BUILD_DIR/rom/tessik.bin" \
            "$QUILLANE_BUILD_DIR/rom/tessik.sym" | tr '\032' ' ' | sed 's/ *$//'
}

start_xvfb
export SDL_AUDIODRIVER=dummy
mkdir "$WORK/run"
cp "$QUILLANE_BUILD_DIR/tessik.hex" "$WORK/run/tessik.hex"
(cd "$WORK/run" && exec "$QUILLANE" --record "$WORK/session.rec" --type 'd 2000\n') \
    >"$WORK/app.log" 2>&1 &
APP_PID=$!
wait_for_window

# The typed command's dump, then keys from the window: a second command.
i=0
until window_text typed | grep -q '^2038'; do
    i=$((i + 1)); [ $i -lt 100 ] || fail "the typed command did not run"; sleep 0.1
done
# Each key held for a while, as a person types: a press and release at once may come and go
# between two scans of the keyboard, on a busy host.
xdotool windowfocus "$WIN"
sleep 0.2
for key in d space 2 0 7 0 Return; do
    xdotool keydown $key
    sleep 0.1
    xdotool keyup $key
    sleep 0.1
done
i=0
until window_text keyed | grep -q '^> d 2070'; do
    i=$((i + 1)); [ $i -lt 100 ] || fail "the window's keys did not reach the board"; sleep 0.1
done
# The monitor prints on for a while: the screen at the end is the one that stays.
window_text final >"$WORK/window.txt"
i=0
while :; do
    sleep 0.5
    window_text again >"$WORK/again.txt"
    cmp -s "$WORK/window.txt" "$WORK/again.txt" && break
    mv "$WORK/again.txt" "$WORK/window.txt"
    i=$((i + 1)); [ $i -lt 40 ] || fail "the screen never settles"
done
quit_app

# Kept with the screenshots, for a failure's post-mortem.
cp "$WORK/session.rec" "$WORK/window.txt" "$SHOTS/"
"$RUN" --replay "$WORK/session.rec" --text 2>"$WORK/replay.log" | tr '?' ' ' |
    sed 's/ *$//' >"$WORK/replay.txt" || fail "the replay failed: $(cat "$WORK/replay.log")"
grep -q '^> d 2070' "$WORK/replay.txt" || fail "the replay lacks the window's command"
diff "$WORK/window.txt" "$WORK/replay.txt" >"$WORK/diff.log" ||
    fail "the replay's screen differs from the window's"
(cd "$WORK/run" && exec "$QUILLANE" --replay "$WORK/session.rec") >"$WORK/wreplay.log" 2>&1 &
APP_PID=$!
wait_for_window
i=0
until window_text replayed >"$WORK/wreplay.txt" &&
    diff "$WORK/window.txt" "$WORK/wreplay.txt" >"$WORK/diff.log"; do
    i=$((i + 1))
    [ $i -lt 50 ] || fail "the window's replay differs from the window's screen: $(cat "$WORK/diff.log")"
    sleep 0.2
done
quit_app

# A recording that can no longer be written (a size limit with room for the first states only)
# says so when it fails, while the window runs on; the old file stays, nothing is left beside
# it, the exit status is 1 and the reason is told once.
echo "old recording" >"$WORK/full.rec"
(cd "$WORK/run" && ulimit -f 300 && exec "$QUILLANE" --record "$WORK/full.rec") \
    >"$WORK/full.log" 2>&1 &
APP_PID=$!
wait_for_window
xdotool windowfocus "$WIN"
i=0
until grep -q 'full.rec: File too large (the recording stopped' "$WORK/full.log"; do
    i=$((i + 1)); [ $i -lt 50 ] || fail "the failed recording was not told: $(cat "$WORK/full.log")"
    xdotool key F5 # each reset records the machine's state
    sleep 0.2
done
kill -0 "$APP_PID" || fail "the window ended at the failure"
[ "$(cat "$WORK/full.rec")" = "old recording" ] || fail "the old recording was replaced"
xdotool windowfocus "$WIN"
xdotool key alt+q
wait_end "Alt+Q" 100
[ "$RC" -eq 1 ] || fail "exit code $RC after a failed recording"
[ "$(grep -c 'full.rec' "$WORK/full.log")" = 1 ] || fail "told again: $(cat "$WORK/full.log")"
[ "$(cat "$WORK/full.rec")" = "old recording" ] || fail "the old recording was replaced at the end"
[ "$(ls -A "$WORK" | grep -c '^\.quillane-')" = 0 ] || fail "left beside it: $(ls -A "$WORK")"

# One byte changed in the middle, and the end cut off: refused, nothing run, no output.
size=$(wc -c <"$WORK/session.rec")
cp "$WORK/session.rec" "$WORK/damaged.rec"
printf 'X' | dd of="$WORK/damaged.rec" bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null
head -c $((size - 3)) "$WORK/session.rec" >"$WORK/cut.rec"
for bad in damaged cut; do
    rc=0
    "$RUN" --replay "$WORK/$bad.rec" --text >"$WORK/$bad.out" 2>"$WORK/$bad.err" || rc=$?
    [ $rc -eq 2 ] || fail "$bad recording: exit code $rc"
    [ ! -s "$WORK/$bad.out" ] || fail "$bad recording: output written"
    rc=0
    (cd "$WORK/run" && exec "$QUILLANE" --replay "$WORK/$bad.rec") >"$WORK/$bad.wout" 2>&1 ||
        rc=$?
    [ $rc -eq 2 ] || fail "$bad recording in the window: exit code $rc"
    grep -q "$bad.rec" "$WORK/$bad.wout" || fail "$bad recording in the window: not told"
done
grep -q 'damaged' "$WORK/damaged.err" || fail "damaged: $(cat "$WORK/damaged.err")"
grep -q 'truncated' "$WORK/cut.err" || fail "cut: $(cat "$WORK/cut.err")"
echo "PASS"
