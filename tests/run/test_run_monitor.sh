# quillane-run end to end on the monitor ROM and an example: a screenshot of a running example,
# `help` typed into the monitor and read back as text, and a script that breaks at a symbol.
. "$(dirname "$0")/lib.sh"
# The ROM comes from the current directory, as for the window.
cd "$QUILLANE_BUILD_DIR"

# The colours example started from the monitor, run to a screenshot: a 320 x 240 PNG showing
# the sixteen colours and the black border.
"$RUN" "$EXAMPLES/colours.hex" --type 'g 8000\n' --ticks 40000000 \
    --screenshot "$WORK/colours.png" >"$WORK/out.txt" 2>&1 || fail "status $? $(cat "$WORK/out.txt")"
[ "$(identify -format '%w x %h' "$WORK/colours.png")" = "320 x 240" ] || fail "not a 320 x 240 PNG"
colours=$(convert "$WORK/colours.png" -format '%k' info:)
[ "$colours" -ge 16 ] || fail "the screenshot shows $colours colours, not the sixteen"
[ "$(convert "$WORK/colours.png" -format '%[fx:p{0,0}.r+p{0,0}.g+p{0,0}.b]' info:)" = 0 ] ||
    fail "the border is not black"

# One board second of the tune example as WAV: 44100 16-bit samples after the 44-byte header,
# and not silence.
"$RUN" "$EXAMPLES/tune.hex" --type 'g 8000\n' --ticks 10000000 --wav "$WORK/tune.wav" ||
    fail "wav run: status $?"
[ "$(head -c 4 "$WORK/tune.wav")" = RIFF ] || fail "not a WAV file"
size=$(wc -c <"$WORK/tune.wav")
[ "$size" -ge $((44 + 88196)) ] && [ "$size" -le $((44 + 88204)) ] || fail "WAV of $size bytes"
[ "$(tail -c +45 "$WORK/tune.wav" | tr -d '\000' | wc -c)" -gt 1000 ] || fail "the WAV is silent"

# `help` typed at the prompt; the list read back through the monitor's font.
"$RUN" --type 'help\n' --ticks 30000000 --text >"$WORK/text.txt" || fail "help run: status $?"
[ "$(wc -l <"$WORK/text.txt")" -eq 24 ] || fail "--text printed $(wc -l <"$WORK/text.txt") lines"
grep -q '^> help *$' "$WORK/text.txt" || fail "no typed command: $(cat "$WORK/text.txt")"
grep -q '^help             this list *$' "$WORK/text.txt" || fail "no help list: $(cat "$WORK/text.txt")"
grep -q '^Numbers are hex\. *$' "$WORK/text.txt" || fail "the list is cut short"

# A script stops at a symbol of the example's symbol file and prints the registers there.
draw_band=$(awk '$1 == "draw_band" { sub(/H$/, "", $3); print $3 }' "$EXAMPLES/colours.sym")
[ -n "$draw_band" ] || fail "draw_band not in colours.sym"
cat >"$WORK/script.txt" <<SCRIPT
# break in the example once the monitor has started it
symbols $EXAMPLES/colours.sym
break draw_band
continue
regs
quit
SCRIPT
"$RUN" "$EXAMPLES/colours.hex" --type 'g 8000\n' --ticks 100000000 --script "$WORK/script.txt" \
    >"$WORK/script.out" 2>&1 || fail "script run: status $? $(cat "$WORK/script.out")"
# The line table beside the image names the source line too.
grep -q "^Breakpoint 1 at $(printf %04X 0x$draw_band) (draw_band, colours.asm:[0-9]*): " "$WORK/script.out" ||
    fail "no breakpoint stop: $(cat "$WORK/script.out")"
grep -q "^{\"pc\":$((0x$draw_band)),\"sp\":[0-9]*,.*,\"ticks\":[0-9]*}$" "$WORK/script.out" ||
    fail "no registers at draw_band: $(cat "$WORK/script.out")"
echo "PASS"
