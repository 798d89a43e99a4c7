#!/bin/sh
# quillane-test's speed: 1,000 assembly tests of about 100,000 T-states each (restore, call, a
# loop, a check), run with --jobs 2, start-up included; then half their T-states as one test
# (an asm budget stops at 65 million), so that the difference is what the runner adds per
# test. Prints the figures; asserts nothing.
#   sh bench/bench_quillane_test.sh [BUILD_DIR]
set -eu
BUILD=$(cd "${1:-build}" && pwd)
SDK=$(cd "$(dirname "$0")/../sdk" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
cp "$BUILD/tessik.hex" .

# Each test: 3846 rounds of a 26 T-state loop (a shared routine), then a check; from 3C00, the
# start of the free RAM, so that 1000 tests fit below the stack.
awk 'BEGIN {
    print "        org 3C00h"
    print "        include \"quillane_test.inc\""
    print "spin:   ld bc, 3846"
    print "spin_loop: dec bc"
    print "        ld a, b"
    print "        or c"
    print "        jr nz, spin_loop"
    print "        ret"
    for (i = 1; i <= 1000; i++) {
        print "test_" i ":"
        print "        call spin"
        print "        CHECK_BC 0"
        print "        ret"
    }
    print "test_all:"
    print "        BUDGET 60000"
    print "        ld de, 500"
    print "all_outer: call spin"
    print "        dec de"
    print "        ld a, d"
    print "        or e"
    print "        jr nz, all_outer"
    print "        ret"
}' >many.asm
sh "$SDK/qasm" many.asm >/dev/null

# Seconds (wall clock) that a command takes, its output thrown away.
seconds() {
    start=$(date +%s.%N)
    "$@" >/dev/null || [ $? = 1 ]
    end=$(date +%s.%N)
    echo "$start $end" | awk '{ printf "%.3f", $2 - $1 }'
}

many2=$(seconds "$BUILD/quillane-test" many.hex --filter '-test_all' --jobs 2)
many1=$(seconds "$BUILD/quillane-test" many.hex --filter '-test_all' --jobs 1)
one=$(seconds "$BUILD/quillane-test" many.hex --filter test_all --jobs 1)
start=$(seconds "$BUILD/quillane-test" many.hex --filter test_1 --jobs 1)
echo "1000 tests of 100,000 T-states, --jobs 2: $many2 s (target: under 2 s)"
echo "1000 tests of 100,000 T-states, --jobs 1: $many1 s"
echo "50,000,000 T-states as one test: $one s"
echo "start-up and one short test: $start s"
# What the 1000 tests took beyond the start-up and their T-states' own emulation.
echo "$many1 $one $start" | awk '{
    printf "per-test overhead (restore, call, check, report): %.1f us\n", ($1 - $3 - 2 * ($2 - $3)) * 1000 }'
