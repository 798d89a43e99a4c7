#!/bin/sh
# Profiles and coverage of runs, read by the tools made for them: callgrind_annotate (valgrind),
# lcov and genhtml. The fixture tests/c/profiled.c has a hot loop (spin, which returns through
# POP HL / INC SP / JP (HL)) and a branch that never runs; its T-states are checked against an
# instruction trace of the same run; tests/c/owners.c checks who owns library and start-up code.
# An assembly example run on the monitor checks that the
# monitor's routines get their names and files, and that data lines are not lines to cover.
. "$(dirname "$0")/lib.sh"
RUN=$QUILLANE_BUILD_DIR/quillane-run
ROM=$QUILLANE_BUILD_DIR/tessik.hex
EXAMPLES=$QUILLANE_BUILD_DIR/examples
[ -x "$RUN" ] || { echo "SKIP: $RUN is not built (no headless runner in this build)"; exit 77; }
for tool in callgrind_annotate lcov genhtml; do
    command -v $tool >/dev/null ||
        { echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"; exit 77; }
done
cd "$WORK" || fail "no work directory"
cp "$QUILLANE_SOURCE_DIR/tests/c/profiled.c" .
"$QCC" profiled.c -o profiled.ihx >qcc.log 2>&1 || fail "profiled.c did not build"

"$RUN" --no-rom profiled.ihx --symbols profiled.cdb --until-pc 10 --profile profile.out \
    --coverage run.info --trace trace.txt 2>run.log || fail "the profiled run: status $?"

# From the trace: each instruction costs the ticks up to the next line. spin's instructions lie
# between its start and check's; main's call lasts from its first instruction to the return
# address of the CALL before it.
start_of() { sed -n "s/^L:G\\\$$1\\\$0\\\$0://p" profiled.cdb; }
spin=$(start_of spin)
check=$(start_of check)
main=$(start_of main)
spin_ts=$(awk -v lo="x$spin" -v hi="x$check" \
    'NR > 1 && pc >= lo && pc < hi { sum += $1 - tick } { tick = $1; pc = "x" $2 } END { print sum }' \
    trace.txt)
site=$(grep -B1 -m1 "^[0-9]* $main " trace.txt | head -n 1 | cut -d' ' -f2)
back=$(printf '%04X' $((0x$site + 3)))
tick_at() { grep -m1 "^[0-9]* $1 " trace.txt | cut -d' ' -f1; }
main_ts=$(($(tick_at "$back") - $(tick_at "$main")))

# callgrind_annotate's function lines: "T-STATES (SHARE) INSTRUCTIONS (SHARE)  FILE:FUNCTION".
# Run from / so that callers and callees name files alike.
functions() {
    (cd / && callgrind_annotate --threshold=100 "$@") >annotate.txt 2>annotate.log ||
        fail "callgrind_annotate $*"
    sed -n '/file:function$/,/^$/p' annotate.txt | grep '%)' | tr -d ,
}
ts_of() { echo "$1" | grep "profiled.c:$2\$" | awk '{ print $1 }'; }
self=$(functions "$WORK/profile.out")
[ "$(echo "$self" | head -n 1 | sed 's/.*://')" = spin ] || fail "not spin first: $self"
[ "$(ts_of "$self" spin)" = "$spin_ts" ] || fail "spin: $(ts_of "$self" spin), trace: $spin_ts"
inclusive=$(functions --inclusive=yes "$WORK/profile.out")
[ "$(ts_of "$inclusive" main)" = "$main_ts" ] || fail "main: $(ts_of "$inclusive" main), trace: $main_ts"
# spin calls nothing: its calls, ended by its JP (HL), cost what its own lines cost.
[ "$(ts_of "$inclusive" spin)" = "$spin_ts" ] || fail "spin inclusive: $(ts_of "$inclusive" spin)"

# Coverage: 16 lines of profiled.c have code (all lines of the functions but the declaration of
# i), 15 of them ran; the @never line did not; all three functions ran.
never=$(grep -n '/\* @never \*/' profiled.c | cut -d: -f1)
lcov -q --extract run.info "*/profiled.c" -o c.info >lcov.log 2>&1 || fail "lcov --extract"
lcov --summary c.info >summary.txt 2>&1 || fail "lcov --summary"
grep -q 'lines.*: 93.8% (15 of 16 lines)' summary.txt || fail "lines: $(cat summary.txt)"
grep -q 'functions.*: 100.0% (3 of 3 functions)' summary.txt || fail "functions: $(cat summary.txt)"
grep -qx "DA:$never,0" c.info || fail "line $never is not the unreached one: $(grep ',0$' c.info)"
# Two runs merge: the counts add up.
lcov -q -a run.info -a run.info -o merged.info >lcov.log 2>&1 || fail "lcov -a"
grep -qx 'FNDA:8,spin' merged.info || fail "merged: $(grep FNDA merged.info)"
genhtml -q -o html run.info >genhtml.log 2>&1 || fail "genhtml"
[ -s html/index.html ] || fail "genhtml wrote no index"

# One phase by commands: from check's first line on (its stop point, after its set-up code), spin
# no longer runs; check's entry was before the phase, its body in it. `profile` alone lists the
# hottest functions first, with the T-states the file gives them.
printf 'until check\nprofile start\ncoverage start\nuntil 10\nprofile\nprofile save phase.out\ncoverage save phase.info\nquit\n' >phase.txt
"$RUN" --no-rom profiled.ihx --symbols profiled.cdb --symbols profiled.noi --script phase.txt \
    >phase.log 2>&1 || fail "the phase run: $(cat phase.log)"
grep -qx 'fn=check' phase.out && ! grep -qx 'fn=spin' phase.out || fail "phase profile: $(grep fn= phase.out)"
check_ts=$(awk '/^fn=/ { f = $0 } f == "fn=check" && /^0x/ { sum += $3 } END { print sum }' phase.out)
[ "$(grep -A1 '^function' phase.log | tail -n 1 | awk '{ print $1, $2 }')" = "check $check_ts" ] ||
    fail "hot spots: $(cat phase.log)"
grep -qx 'FNDA:0,spin' phase.info && grep -qx 'FNDA:0,check' phase.info &&
    grep -qx 'DA:18,1' phase.info ||
    fail "phase coverage: $(grep FNDA phase.info)"

# `profile lines` lists the hottest source lines first: spin's loop body, with the T-states the
# saved profile gives that line (its cost lines in profiled.c; a call's line is inclusive, skipped).
printf 'profile start\nuntil 10\nprofile lines\nprofile save lines.out\nquit\n' >lines.txt
"$RUN" --no-rom profiled.ihx --symbols profiled.cdb --script lines.txt >lines.log 2>&1 ||
    fail "the lines run: $(cat lines.log)"
body=$(grep -n 'sum += (n ^ mask)' profiled.c | cut -d: -f1)
body_ts=$(awk -v line="$body" '/^f[lie]=/ { c = /profiled\.c$/ } /^calls=/ { skip = 1; next }
    /^0x/ && !skip && c && $2 == line { sum += $3 } { skip = 0 } END { print sum }' lines.out)
[ "$(grep -A1 '^line' lines.log | tail -n 1 | awk '{ print $1, $2 }')" = "profiled.c:$body $body_ts" ] ||
    fail "hot lines ($body_ts at line $body): $(cat lines.log)"

# Owners: library routines by their own names and no C file, code that the library hooks into
# _GSINIT by the area's name, and calls through a function pointer (CALL ___sdcc_call_iy, then
# JP (IY)) charged to the function called: scale runs on every even step of main's 8, and the
# trampoline keeps only its own JP.
cp "$QUILLANE_SOURCE_DIR/tests/c/owners.c" .
"$QCC" owners.c -o owners.ihx >qcc.log 2>&1 || fail "owners.c did not build"
"$RUN" --no-rom owners.ihx --until-pc 10 --profile owners.out 2>owners.log ||
    fail "the owners run: $(cat owners.log)"
owners=$(functions "$WORK/owners.out")
for routine in __mullong __mul16 _GSINIT ___sdcc_heap_init; do
    echo "$owners" | grep -q " ???:$routine\$" || fail "$routine not on its own: $owners"
done
echo "$owners" | grep -q "owners.c:main\$" && ! echo "$owners" | grep -q "\.[cs]:_*mul" ||
    fail "owners: $owners"
calls=$(awk '/^fn=/ { f = $0 } f == "fn=main" && /^cfn=/ { c = $0 } f == "fn=main" && /^calls=/ { print c, $1 }' owners.out)
echo "$calls" | grep -qx 'cfn=scale calls=4' && echo "$calls" | grep -qx 'cfn=twice calls=4' &&
    ! echo "$calls" | grep -q 'cfn=___sdcc_call_iy' || fail "calls from main: $calls"
through=$(functions --inclusive=yes "$WORK/owners.out" | grep ':___sdcc_call_iy$' | awk '{ print $1 }')
[ "$through" = "$(echo "$owners" | grep ':___sdcc_call_iy$' | awk '{ print $1 }')" ] ||
    fail "___sdcc_call_iy is charged for more than its JP: $through"

# An output that cannot be written: status 2 and the reason.
rc=0
"$RUN" --no-rom profiled.ihx --until-pc 10 --profile "$WORK/none/p.out" 2>err.txt || rc=$?
[ $rc = 2 ] && grep -q "none/p.out: The folder does not exist" err.txt || fail "unwritable: $rc $(cat err.txt)"

# Assembly on the monitor (its line table loaded on request): the monitor's routines by their
# names in their files, and coverage lines that are exactly the code lines of the program's line
# table (no DB or DS line).
[ -f "$ROM" ] && [ -f "$EXAMPLES/colours.lines" ] || fail "the ROM or examples are not built"
"$RUN" --rom "$ROM" "$EXAMPLES/colours.hex" --symbols "$QUILLANE_BUILD_DIR/rom/tessik.lines" \
    --symbols "$EXAMPLES/colours.sym" --type 'g 8000\n' --ticks 30000000 --profile asm.out \
    --coverage asm.info 2>asm.log || fail "the assembly run: $(cat asm.log)"
grep -q '^fl=.*/tessik.asm$' asm.out && grep -qx 'fn=delay_ms' asm.out || fail "no monitor routines"
awk -F'\t' '$1 == "line" && $2 == "colours.asm" && $6 == "code" { print $3 }' \
    "$EXAMPLES/colours.lines" | sort -un >code.txt
awk '/^SF:.*colours.asm$/ { on = 1 } on && /^DA:/ { sub(/^DA:/, ""); sub(/,.*/, ""); print }
     /^end_of_record/ { on = 0 }' asm.info | sort -un >covered.txt
[ -s code.txt ] && cmp -s code.txt covered.txt || fail "lines to cover: $(diff code.txt covered.txt | head -5)"
grep -q 'data$' "$EXAMPLES/colours.lines" || fail "colours.asm has no data lines to leave out"
echo "profiles and coverage: all checks passed"
