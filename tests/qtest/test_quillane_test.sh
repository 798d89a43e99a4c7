#!/bin/sh
# quillane-test end to end: C and assembly test images built with the SDK, run as a user runs
# them; each guard, isolation, the reports (JUnit read back by an XML parser), parallel runs
# giving the same reports, and the exit statuses.
set -eu
: "${QUILLANE_BUILD_DIR:?}" "${QUILLANE_SOURCE_DIR:?}"
QT=$QUILLANE_BUILD_DIR/quillane-test
RUN=$QUILLANE_BUILD_DIR/quillane-run
SDK=$QUILLANE_SOURCE_DIR/sdk
HERE=$QUILLANE_SOURCE_DIR/tests/qtest
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
cp "$QUILLANE_BUILD_DIR/tessik.hex" .
fail() { echo "FAIL: $*"; exit 1; }
# Runs quillane-test under a time limit: its status in $rc, its output in out.txt, err.txt.
qt() { rc=0; timeout 60 "$QT" "$@" >out.txt 2>err.txt || rc=$?; }
has() { grep -qF -- "$1" "${2:-out.txt}" || fail "no '$1' in ${2:-out.txt}: $(cat "${2:-out.txt}")"; }
status() { [ "$rc" = "$1" ] || fail "status $rc, not $1: $(cat out.txt err.txt)"; }
hasnt() { ! grep -qF -- "$1" "${2:-out.txt}" || fail "'$1' in ${2:-out.txt}"; }

cp "$HERE/checks.c" "$HERE/checks_test.c" "$HERE/guards.asm" .
sh "$SDK/qcc" --test checks_test.c checks.c -o checks_test.ihx
sh "$SDK/qasm" guards.asm -o guards.hex

# C: discovery in source order, the checks' messages, isolation, test_setup.
qt checks_test.ihx --list
[ "$rc" = 0 ] || fail "--list: $rc"
[ "$(cut -d' ' -f1 out.txt | tr '\n' ' ')" = "test_passes test_eq_fails test_bump_once \
test_bump_again test_mem test_require_ends test_fail_goes_on test_wide " ] || fail "order: $(cat out.txt)"
has "test_passes checks_test.c:19"
qt checks_test.ihx --jobs 1
[ "$rc" = 1 ] || fail "failures: status $rc"
has "PASS  test_passes"
has "checks_test.c:26: add(2, 2) == 5: expected 5, actual 4"
has "checks_test.c:27: minus_one == 3: expected 3, actual -1"
has "checks_test.c:28: big == 7: expected 7, actual 4000000000"
has "checks_test.c:29: widen(-2) == 5: expected 5, actual -200000"
has "PASS  test_bump_once"
has "PASS  test_bump_again"
has "checks_test.c:43: QT_CHECK_MEM(have, want, 4): byte 2"
has "expected 03 04, actual 07 04"
has "checks_test.c:47: counter == 1"
has "checks_test.c:48: counter == 2"
hasnt "after the requirement"
has "checks_test.c:53: first"
has "checks_test.c:54: second"
has "checks_test.c:61: wide == 1: expected 1, actual -5000000000"
has "3 passed, 5 failed"
grep -q "$(printf '\033')" out.txt && fail "colours on a file"

# Filters: globs, and a leading - excludes.
qt checks_test.ihx --filter 'test_bump*' --filter -test_bump_again --list
[ "$(cat out.txt | cut -d' ' -f1)" = test_bump_once ] || fail "filter: $(cat out.txt)"
qt checks_test.ihx --filter test_passes --filter 'test_bump_*'
[ "$rc" = 0 ] || fail "passing tests: status $rc"
has "3 passed, 0 failed"
qt checks_test.ihx --filter nothing
[ "$rc" = 1 ] || fail "no match: status $rc"

# Assembly: the register checks, each guard with its reason, and the run going on after each.
qt guards.hex --jobs 1
[ "$rc" = 1 ] || fail "guards: status $rc"
has "PASS  test_registers_pass"
has "guards.asm:31: CHECK_A 43h: expected 43, actual 42"
has "guards.asm:33: CHECK_NC: expected 0, actual 1"
has "guards.asm:35: CHECK_DE 4321h: expected 4321, actual 1234"
has "guards.asm:36: CHECK_MEM have, want, 3: byte 2 (800C) differs: expected 03, actual 04"
has "PASS  test_isolated "
has "PASS  test_isolated_again"
has "guards.asm:53: wrote 77 into the ROM at 0100"
has "guards.asm:58: HALT with interrupts disabled"
has "guards.asm:61: Invalid ED opcode at"
has "guards.asm:65: ran past its budget of 10000000 T-states"
has "ran past its budget of 2000 T-states"
has "guards.asm:74: the stack grew below FB00"
has "guards.asm:79: overwrote the runner's return address at FEFE"
has "guards.asm:84: the stack pointer left the test's stack"
has "quillane_test.inc:"
has "reached the monitor's warm start"
has "guards.asm:93: flooded the channel: more than 10000 messages"
grep -q "^      guards.asm:97: FAIL_FATAL$" out.txt || fail "FAIL_FATAL: $(cat out.txt)"
grep -q "guards.asm:98" out.txt && fail "the test went on after FAIL_FATAL"
has "4 passed, 13 failed"
qt guards.hex --filter test_forever --budget 5000
has "ran past its budget of 5000 T-states"

# Parallel: the same reports, in the same order, from any number of jobs.
for jobs in 1 3; do
    qt checks_test.ihx --jobs $jobs --junit j$jobs.xml --json j$jobs.json
    mv out.txt out$jobs.txt
    qt guards.hex --jobs $jobs --tap
    mv out.txt tap$jobs.txt
done
cmp out1.txt out3.txt && cmp j1.xml j3.xml && cmp j1.json j3.json && cmp tap1.txt tap3.txt ||
    fail "--jobs 3 reports differently from --jobs 1"

# JUnit as a CI system reads it.
python3 - j1.xml <<'PY' || fail "JUnit file"
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
assert root.tag == "testsuites" and root.get("tests") == "8" and root.get("failures") == "5", root.attrib
cases = root.findall("./testsuite/testcase")
assert [c.get("name") for c in cases][:3] == ["test_passes", "test_eq_fails", "test_bump_once"]
eq = cases[1]
assert eq.get("file") == "checks_test.c" and eq.get("line") == "25", eq.attrib
failure = eq.find("failure")
assert failure.get("message") == "checks_test.c:26: add(2, 2) == 5: expected 5, actual 4"
assert "checks_test.c:29" in failure.text
props = {p.get("name"): p.get("value") for p in eq.iter("property")}
assert int(props["t-states"]) > 0
assert abs(float(eq.get("time")) - int(props["t-states"]) / 1e7) < 1e-6
assert cases[0].find("failure") is None
PY
python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert d["passed"] == 3 and d["failed"] == 5; assert d["tests"][1]["failures"][0]["actual"] == "4"' j1.json ||
    fail "JSON file"
# TAP 13: the version, the plan, a line per test.
[ "$(head -2 tap1.txt | tr '\n' ' ')" = "TAP version 13 1..17 " ] || fail "TAP header"
[ "$(grep -c "^ok " tap1.txt)" = 4 ] && [ "$(grep -c "^not ok " tap1.txt)" = 13 ] || fail "TAP lines"

# Coverage and profile over all tests, through the existing collectors.
qt checks_test.ihx --coverage cov.info --profile prof.out
grep -q "^SF:.*checks.c$" cov.info && grep -q '^DA:10,[1-9]' cov.info || fail "coverage: $(cat cov.info)"
grep -q '^events:' prof.out && grep -q 'fn=.*add' prof.out || fail "profile"

# A failed test's recording opens stopped at its first failure.
mkdir recs
qt checks_test.ihx --filter test_eq_fails --record-failures recs
[ -f recs/test_eq_fails.rec ] || fail "no recording"
printf 'where\nquit\n' >where.txt
timeout 60 "$RUN" --replay recs/test_eq_fails.rec --symbols checks_test.cdb --script where.txt \
    >replay.txt 2>&1 || fail "replay: $(cat replay.txt)"
grep -q "^#0  test_eq_fails (checks_test.c:27)" replay.txt || fail "replay: $(cat replay.txt)"

# Screen checks: pictures written by --update-golden, compared, a difference shown.
cp "$HERE/screen_test.c" .
sh "$SDK/qcc" --test screen_test.c -o screen_test.ihx
mkdir golden
qt screen_test.ihx --golden golden --update-golden --filter test_screen
status 0
python3 - golden/words.png <<'PY' || fail "golden picture"
import struct, sys
png = open(sys.argv[1], "rb").read()
assert png[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", png[16:24]) == (320, 240)
PY
qt screen_test.ihx --golden golden
status 1
has "PASS  test_screen "
has "screen_test.c:15: QT_CHECK_SCREEN(\"words\"): the screen differs from golden/words.png in 2 cells"
has "bad picture name \"../words\""
[ -f golden/words.actual.png ] && [ -f golden/words.diff.png ] || fail "no actual and diff pictures"
cmp -s golden/words.png golden/words.actual.png && fail "the actual picture is the golden one"
qt screen_test.ihx --filter test_screen
has "a screen check needs --golden DIR"

# Exit statuses and bad input.
qt
[ "$rc" = 2 ] || fail "no image: $rc"
qt checks_test.ihx --budget 0
status 2; has "--budget needs a decimal number" err.txt
printf ':00000001FF\n' >empty.hex
qt empty.hex
status 2; has "holds no data record" err.txt
printf 'void helper(void) {}\nvoid main(void) {}\n' >none.c
sh "$SDK/qcc" none.c -o none.ihx
qt none.ihx
status 1; has "no tests found" err.txt
printf 'void test_x(void) {}\nvoid main(void) {}\n' >plain.c
sh "$SDK/qcc" plain.c -o plain.ihx
qt plain.ihx
status 2; has "not a test image" err.txt
# Reports through the safe writer: a failed write keeps the old file; no FIFO without a reader.
echo old >kept.xml
qt checks_test.ihx --junit "" 
status 2; has "needs a value, not an empty one" err.txt
qt checks_test.ihx --junit no/such/folder.xml
status 2; has "no/such/folder.xml" err.txt
if [ -w /dev/full ]; then
    qt checks_test.ihx --json /dev/full
    status 2; has "No space left on device" err.txt
fi
mkfifo pipe
qt checks_test.ihx --junit pipe
status 2; has "No program is reading" err.txt
(ulimit -f 1; qt checks_test.ihx --junit kept.xml; [ "$rc" = 2 ]) || fail "size limit: $rc"
[ "$(cat kept.xml)" = old ] || fail "the old report was not kept"

# Colour only on a terminal, and never with NO_COLOR.
if command -v script >/dev/null; then
    script -qec "$QT checks_test.ihx --filter test_passes" /dev/null >tty.txt || true
    grep -q "$(printf '\033')\[32mPASS" tty.txt || fail "no colour on a terminal: $(cat tty.txt)"
    NO_COLOR=1 script -qec "$QT checks_test.ihx --filter test_passes" /dev/null >tty.txt || true
    grep -q "$(printf '\033')" tty.txt && fail "colours with NO_COLOR"
fi
echo "quillane-test: all checks passed"
