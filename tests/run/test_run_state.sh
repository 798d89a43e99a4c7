# Save states through quillane-run: a state saved mid-run (while typed keys are still queued and
# the tune is about to start) continues exactly as the uninterrupted run does, with the same
# screen, registers and sound; a damaged, truncated or foreign state is refused with its reason
# and leaves the machine as it was.
. "$(dirname "$0")/lib.sh"
cd "$QUILLANE_BUILD_DIR"

# T is a whole number of sound values (22050 a board second) and an instruction boundary of this
# run (a run ends at the first boundary at or after its limit), so that the values after it fall on
# the same ticks in both runs.
T=2800000
N=30000000
"$RUN" "$EXAMPLES/tune.hex" --type 'g 8000\n' --ticks $T --wav "$WORK/first.wav" \
    --save-state "$WORK/t.state" || fail "saving run: status $?"
"$RUN" --state "$WORK/t.state" --ticks $N --wav "$WORK/resumed.wav" --regs --cells \
    >"$WORK/resumed.txt" || fail "resumed run: status $?"
"$RUN" "$EXAMPLES/tune.hex" --type 'g 8000\n' --ticks $((T + N)) --wav "$WORK/whole.wav" --regs \
    --cells >"$WORK/whole.txt" || fail "whole run: status $?"
cmp "$WORK/resumed.txt" "$WORK/whole.txt" || fail "screen or registers differ: $(diff "$WORK/resumed.txt" "$WORK/whole.txt" | head -5)"
grep -q '"ticks":3280000' "$WORK/resumed.txt" || fail "ticks: $(head -1 "$WORK/resumed.txt")"
# The sound after T: the resumed recording is the tail of the whole one, and it is the tune (the
# keys that start it were still queued when the state was saved).
skip=$((44 + 4 * T * 22050 / 10000000))
[ $(($(wc -c <"$WORK/whole.wav") - skip)) -eq $(($(wc -c <"$WORK/resumed.wav") - 44)) ] ||
    fail "sound lengths differ"
cmp -i $skip:44 "$WORK/whole.wav" "$WORK/resumed.wav" || fail "sound differs"
[ "$(tail -c +45 "$WORK/resumed.wav" | tr -d '\000' | wc -c)" -gt 100000 ] ||
    fail "the resumed run is silent"

# Bad states, each refused by --state (status 2, the reason on standard error) and by `state
# load` in a script, after which the machine is unchanged.
size=$(wc -c <"$WORK/t.state")
head -c $((size - 1)) "$WORK/t.state" >"$WORK/short.state"
cp "$WORK/t.state" "$WORK/damaged.state"
printf '\125' | dd of="$WORK/damaged.state" bs=1 seek=30000 conv=notrunc 2>/dev/null
cmp -s "$WORK/t.state" "$WORK/damaged.state" && fail "the damaged copy is not damaged"
for bad in short:truncated damaged:'damaged (checksum mismatch)' \
    foreign:'not a Quillane save state'; do
    name=${bad%%:*}
    reason=${bad#*:}
    file=$WORK/$name.state
    [ $name = foreign ] && file=tessik.hex
    rc=0
    "$RUN" --state "$file" --regs >"$WORK/out.txt" 2>"$WORK/err.txt" || rc=$?
    [ $rc = 2 ] || fail "$name: status $rc"
    [ "$(cat "$WORK/err.txt")" = "quillane-run: $file: $reason" ] || fail "$name: $(cat "$WORK/err.txt")"
    # The script stops at its failing line; --regs still reports the machine at the end.
    printf 'regs\nstate load %s\nquit\n' "$file" >"$WORK/script.txt"
    rc=0
    "$RUN" --state "$WORK/t.state" --script "$WORK/script.txt" --regs >"$WORK/out.txt" 2>"$WORK/err.txt" ||
        rc=$?
    [ $rc = 2 ] && grep -q ":2: $file: $reason" "$WORK/err.txt" || fail "$name in a script: $(cat "$WORK/err.txt")"
    [ "$(sed -n 1p "$WORK/out.txt")" = "$(sed -n 2p "$WORK/out.txt")" ] &&
        grep -q "\"ticks\":$T}" "$WORK/out.txt" || fail "$name changed the machine: $(cat "$WORK/out.txt")"
done
echo "state round trip and bad states: ok"
