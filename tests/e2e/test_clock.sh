#!/bin/sh
# The emulated clock inside the real program, with the window shown and the display thread
# drawing: tests/z80/e2e_clock.asm counts passes of a 2126 T-state loop and shows the count on
# screen; two screenshots ten seconds apart give the clock rate. The count must advance and the
# rate must be paced: never above the board's 10 MHz (with 10 % for the screenshots' timing). The
# processor thread runs at most one tick per pass of its loop, so on a host whose pass is slower
# than 100 ns the rate is lower, by how much depending on the host and on what else it runs: how
# close the window comes to the headless processor thread is a benchmark's figure, not a verdict
# (bench/bench_window_clock.sh sets QUILLANE_CLOCK_COMPARE=1, which prints that ratio too).
# With QUILLANE_CLOCK_DEBUG=1 the program runs with the debugger window open and two breakpoints
# set (on addresses the loop never reaches), to the same bound.
. "$(dirname "$0")/lib.sh"
BENCH=$QUILLANE_BUILD_DIR/bench/bench_pacing
ROM_BIN=$QUILLANE_BUILD_DIR/tests/z80/e2e_clock.bin
SHOTS=$QUILLANE_ARTIFACTS/clock
INTERVAL=${QUILLANE_CLOCK_SECONDS:-10}
mkdir -p "$SHOTS"
[ -x "$QUILLANE_BUILD_DIR/quillane-mkhex" ] || fail "quillane-mkhex not built"
[ -z "${QUILLANE_CLOCK_COMPARE:-}" ] || [ -x "$BENCH" ] || fail "$BENCH not built"
start_xvfb
export SDL_AUDIODRIVER=dummy

install_rom "$ROM_BIN"
[ -n "${QUILLANE_CLOCK_DEBUG:-}" ] && APP_ARGS=--debug
# Reads the count off a screenshot; prints "COUNT NANOSECONDS".
TOP=
read_count() { # NAME
    t=$(date +%s%N)
    xwd -silent -id "$WIN" | convert xwd:- "png:$SHOTS/$1.png"
    convert "$SHOTS/$1.png" -depth 8 txt:- >"$WORK/$1.txt"
    if [ -z "$TOP" ]; then
        # The marker row's yellow starts 64 pixels below the display area's top (24 border rows
        # and one cell row, doubled).
        y=$(grep '^72,[0-9]*:' "$WORK/$1.txt" | grep -i '#FFFF00' | head -n 1 | cut -d, -f2 |
            cut -d: -f1)
        [ -n "$y" ] || return 1
        TOP=$((y - 64))
    fi
    count=0
    c=0
    while [ $c -lt 32 ]; do
        px=$(grep "^$((72 + 16 * c)),$((TOP + 56)):" "$WORK/$1.txt" | grep -o '#[0-9A-Fa-f]\{6\}' |
            head -n 1 | tr a-f A-F)
        case "$px" in
        '#AAAAAA') count=$((count * 2 + 1)) ;;
        '#0000AA') count=$((count * 2)) ;;
        *) return 1 ;;
        esac
        c=$((c + 1))
    done
    echo "$count $t"
}

# One measurement: the running program's rate (the program then quits) against the board's
# clock, and with QUILLANE_CLOCK_COMPARE set the headless thread's rate with nothing else of ours
# running and the ratio of the two. A second try is allowed, since another process on a two-core
# machine can slow the program.
measure() { # TRY
    start_app
    if [ -n "$APP_ARGS" ]; then
        wait_for_debugger
        console "break 1000"
        console "break 1001"
    fi
    TOP=
    i=0
    until first=$(read_count "first$1"); do
        i=$((i + 1)); [ $i -lt 50 ] || fail "the count never showed on screen"; sleep 0.2
    done
    sleep "$INTERVAL"
    second=$(read_count "second$1") || fail "could not read the count the second time"
    quit_app
    rate=$(echo "$first $second" | awk '{ printf "%.0f", ($3 - $1) * 2126 / (($4 - $2) / 1e9) }')
    echo "emulated clock in the running program: $rate ticks/s"
    if [ -n "${QUILLANE_CLOCK_COMPARE:-}" ]; then
        headless=$("$BENCH" --thread-only |
            sed -n 's/^processor thread: \([0-9.]*\) million.*/\1/p')
        [ -n "$headless" ] || fail "the pacing benchmark printed no rate"
        echo "headless processor thread: $headless million ticks/s"
        awk -v r="$rate" -v h="$headless" 'BEGIN { printf "window / headless: %.3f\n", r / (h * 1e6) }'
    fi
    awk -v r="$rate" 'BEGIN {
        ratio = r / 10e6; printf "window / 10 MHz: %.3f\n", ratio; exit (r > 0 && ratio <= 1.1) ? 0 : 1
    }'
}
measure 1 || measure 2 || fail "the running program's clock is not paced at the board's 10 MHz"
echo "PASS"
