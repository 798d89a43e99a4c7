# Save states through quillane-run: a state saved mid-run (while typed keys are still queued and
# the tune is about to start) continues exactly as the uninterrupted run does, with the same
# screen, registers and sound; a damaged, truncated or foreign state, or one with an impossible
# part, is refused with its reason and leaves the machine as it was.
. "$(dirname "$0")/lib.sh"
FIXTURE=$(cd "$(dirname "$0")/../fixtures" && pwd)/tune_v1.state
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

# Numbers little-endian, and a file's CRC-32 is the one gzip keeps in its trailer. Bytes are
# passed around as printf escapes (a shell variable cannot hold a zero byte).
esc() { # esc NUMBER BYTES: the number's bytes (below 2^63)
    n=$1 i=0
    while [ $i -lt "$2" ]; do
        printf '\\%03o' $((n & 255))
        n=$((n >> 8)) i=$((i + 1))
    done
}
# shellcheck disable=SC2059
bytes() { printf "$1"; }
crc() { gzip -c | tail -c 8 | head -c 4; }
with_crc() { cat "$1"; crc <"$1"; }

# Bad states, each refused by --state (status 2, the reason on standard error) and by `state
# load` in a script, after which the machine is unchanged: cut or damaged copies of t.state, and
# copies of an earlier build's state whose frame and checksum are right but whose parts hold what
# no machine can be in, each part's check in turn (IM 3, register address 16, a port A set-up
# state 3, one key event fewer than counted) or another version.
size=$(wc -c <"$WORK/t.state")
head -c $((size - 1)) "$WORK/t.state" >"$WORK/short.state"
cp "$WORK/t.state" "$WORK/damaged.state"
printf '\125' | dd of="$WORK/damaged.state" bs=1 seek=30000 conv=notrunc 2>/dev/null
cmp -s "$WORK/t.state" "$WORK/damaged.state" && fail "the damaged copy is not damaged"
fsize=$(wc -c <"$FIXTURE")
patched() { # patched NAME OFFSET BYTE: the fixture with one byte changed, its checksum made right
    head -c $((fsize - 4)) "$FIXTURE" >"$WORK/$1.part"
    bytes "$(esc "$3" 1)" | dd of="$WORK/$1.part" bs=1 seek="$2" conv=notrunc 2>/dev/null
    with_crc "$WORK/$1.part" >"$WORK/$1.state"
}
patched processor 51 3
patched sound 65604 16
patched keyboard 65756 3
patched version 8 2
body=$((fsize - 30))
{ head -c 12 "$FIXTURE"; bytes "$(esc $body 4)"; tail -c +17 "$FIXTURE" | head -c $body; } \
    >"$WORK/cut.part"
with_crc "$WORK/cut.part" >"$WORK/cut.state"
for bad in short:truncated damaged:'damaged (checksum mismatch)' \
    foreign:'not a Quillane save state' processor:'impossible processor state' \
    sound:'impossible sound generator state' keyboard:'impossible keyboard state' \
    cut:'impossible typing queue' version:'format version 2 (this program reads version 1)'; do
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

# Tick counts far from the start: --ticks counts on from a state's tick without wrapping, a state
# past 2^63 is refused, and a recording's end beyond --ticks stops the replay there. The files are
# made from t.state.
# with_tick TICK FILE: t.state at another tick.
with_tick() {
    { head -c 16 "$WORK/t.state"; bytes "$1"; tail -c +25 "$WORK/t.state" | head -c $((size - 28)); } \
        >"$2.part"
    with_crc "$2.part" >"$2"
}
# record TICK KIND [PAYLOAD]: one record of a recording.
record() {
    payload=${3:-/dev/null}
    { bytes "$1$(esc "$2" 1)$(esc "$(wc -c <"$payload")" 4)"; cat "$payload"; } >record.part
    with_crc record.part
}
ticks_of() { sed -n 's/.*"ticks":\([0-9]*\)}.*/\1/p' out.txt; }
cd "$WORK"
with_tick '\234\377\377\377\377\377\377\377' high.state # 2^64 - 100
run --state high.state --ticks 1000 --regs
[ $rc = 2 ] && [ "$(cat err.txt)" = "quillane-run: high.state: impossible tick count" ] ||
    fail "a state at 2^64 - 100: status $rc, $(cat err.txt)"
with_tick '\0\0\0\0\0\0\0\200' top.state # 2^63: the first boundary from 2^63 + 1000 on
run --state top.state --ticks 1000 --regs
[ $rc = 0 ] && grep -Eq '"ticks":92233720368547768(0[89]|[12][0-9]|3[01])}' out.txt ||
    fail "1000 ticks from 2^63: status $rc, $(cat out.txt err.txt)"
# The largest --ticks from there ends nowhere near: a wait in the script runs its 10000 ticks.
printf 'wait 1\nquit\n' >wait.txt
run --state top.state --ticks 18446744073709551615 --script wait.txt --regs
[ $rc = 0 ] && grep -Eq '"ticks":92233720368547858(0[89]|[12][0-9]|3[01])}' out.txt ||
    fail "a wait under the largest --ticks from 2^63: status $rc, $(cat out.txt err.txt)"

# Sessions that start with t.state and end at 2^62, 500 ticks in, and past 2^63.
for session in far:'\0\0\0\0\0\0\0\100' short:"$(esc $((T + 500)) 8)" past:'\001\0\0\0\0\0\0\200'; do
    { bytes 'QUILREC\0\001\0\0\0'; record "$(esc $T 8)" 1 "$WORK/t.state"; record "${session#*:}" 3; } \
        >"${session%%:*}.rec"
done
# --ticks counts from the session's start: it cuts the long one short, and runs the short one on.
for limit in far:1000 short:100000; do
    run --replay "${limit%%:*}.rec" --ticks "${limit#*:}" --regs
    ticks=$(ticks_of)
    [ $rc = 0 ] && [ "$ticks" -ge $((T + ${limit#*:})) ] && [ "$ticks" -lt $((T + ${limit#*:} + 24)) ] ||
        fail "${limit%%:*} session under --ticks ${limit#*:}: status $rc, $(cat out.txt err.txt)"
done
run --replay past.rec --regs
[ $rc = 2 ] && [ "$(cat err.txt)" = "quillane-run: past.rec: record 2: impossible tick count" ] ||
    fail "a session ending past 2^63: status $rc, $(cat err.txt)"
echo "ticks far from the start: ok"
