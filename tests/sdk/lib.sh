# shellcheck shell=sh disable=SC2034
# Shared set-up of the C SDK's shell tests, sourced by each tests/sdk/test_*.sh: the driver and
# the build are there, a work directory outside the repository that goes away with the test,
# and a way to fail that shows what the failing step printed.
set -eu

: "${QUILLANE_BUILD_DIR:?}" "${QUILLANE_SOURCE_DIR:?}"
QCC=$QUILLANE_SOURCE_DIR/sdk/qcc
command -v sdcc >/dev/null || { echo "SKIP: sdcc is not installed"; exit 77; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

fail() {
    echo "FAIL: $*"
    for log in "$WORK"/*.log; do
        [ -s "$log" ] && { echo "--- $log"; tail -n 30 "$log"; }
    done
    exit 1
}
