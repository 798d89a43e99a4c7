#!/bin/sh
# The real program's sound, captured with SDL's disk driver while it runs tests/z80/e2e_tone.asm
# for 30 seconds under Xvfb: silence, tone A, tone B and noise on C at the predicted frequencies
# and levels, and hardly a gap over the run.
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

install_rom "$ROM_BIN"
start_app SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$WORK/stream.raw" QUILLANE_AUDIO_STATS=1
sleep "$SECONDS_TO_RUN"
kill -0 "$APP_PID" 2>/dev/null || fail "the program ended by itself"
quit_app

# Keep the first four seconds (the interesting part) as an artefact.
head -c $((44100 * 2 * 4)) "$WORK/stream.raw" >"$OUT/first-seconds.s16le"
"$ANALYZE" "$WORK/stream.raw" || fail "the captured stream is not what the generator predicts"
stats=$(grep '^audio:' "$WORK/app.log") || fail "no audio statistics"
echo "$stats over $SECONDS_TO_RUN s"
# A gap is a callback that came after the audio before it ran out. The disk driver's thread is
# scheduled like any other, so a busy two-core host may delay one now and then; more than one in
# five hundred buffers is a stream that cannot keep up.
played=$(echo "$stats" | sed -n 's/^audio: \([0-9]*\) buffers played.*/\1/p')
gaps=$(echo "$stats" | sed -n 's/.*, \([0-9]*\) underruns$/\1/p')
[ -n "$played" ] && [ -n "$gaps" ] || fail "unreadable audio statistics: $stats"
[ $((gaps * 500)) -le "$played" ] || fail "starved audio callbacks: $stats"
# 44100 samples a second, 512 a buffer: nearly 86 buffers a second should have been played.
[ "$played" -gt $((SECONDS_TO_RUN * 80)) ] || fail "only $played buffers in $SECONDS_TO_RUN s"
echo "PASS"
