#!/bin/sh
# The real program's sound, captured with SDL's disk driver while it runs tests/z80/e2e_tone.asm
# for 30 seconds under Xvfb: silence, tone A, tone B and noise on C at the predicted frequencies
# and levels, and not one starved audio callback over the run.
. "$(dirname "$0")/lib.sh"
ANALYZE=$QUILLANE_BUILD_DIR/tests/audio_analyze
ROM_BIN=$QUILLANE_BUILD_DIR/tests/z80/e2e_tone.bin
SECONDS_TO_RUN=${QUILLANE_AUDIO_SECONDS:-30}
OUT=$QUILLANE_ARTIFACTS/audio
mkdir -p "$OUT"
for f in "$ANALYZE" "$QUILLANE_BUILD_DIR/quillane-mkhex"; do
    [ -x "$f" ] || fail "$f not built"
done
start_xvfb

mkdir "$WORK/run"
"$QUILLANE_BUILD_DIR/quillane-mkhex" "$ROM_BIN" 0 "$WORK/run/tessik.hex"
(cd "$WORK/run" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$WORK/stream.raw" \
    QUILLANE_AUDIO_STATS=1 exec "$QUILLANE") >"$WORK/app.log" 2>&1 &
APP_PID=$!
wait_for_window
sleep "$SECONDS_TO_RUN"
kill -0 "$APP_PID" 2>/dev/null || fail "the program ended by itself"
xdotool windowfocus "$WIN" 2>/dev/null || true
xdotool key --window "$WIN" alt+q
i=0
while kill -0 "$APP_PID" 2>/dev/null; do
    i=$((i + 1)); [ $i -lt 100 ] || fail "Alt+Q did not end the program"; sleep 0.1
done
rc=0
wait "$APP_PID" || rc=$?
APP_PID=
[ "$rc" -eq 0 ] || fail "exit code $rc"

# Keep the first four seconds (the interesting part) as an artefact.
head -c $((44100 * 2 * 4)) "$WORK/stream.raw" >"$OUT/first-seconds.s16le"
"$ANALYZE" "$WORK/stream.raw" || fail "the captured stream is not what the generator predicts"
stats=$(grep '^audio:' "$WORK/app.log") || fail "no audio statistics"
echo "$stats over $SECONDS_TO_RUN s"
echo "$stats" | grep -q ' 0 underruns$' || fail "starved audio callbacks: $stats"
# 44100 samples a second, 512 a buffer: nearly 86 buffers a second should have been played.
played=$(echo "$stats" | sed 's/audio: \([0-9]*\) buffers.*/\1/')
[ "$played" -gt $((SECONDS_TO_RUN * 80)) ] || fail "only $played buffers in $SECONDS_TO_RUN s"
echo "PASS"
