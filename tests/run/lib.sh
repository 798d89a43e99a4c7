# shellcheck shell=sh disable=SC2034
# Shared set-up of quillane-run's shell tests, sourced by each tests/run/test_*.sh: the runner and
# the examples in the build, a work directory that goes away with the test, a way to fail, and a
# way to run the runner under a time limit. Each test changes to the directory it works in.
set -eu

: "${QUILLANE_BUILD_DIR:?}"
RUN=$QUILLANE_BUILD_DIR/quillane-run
EXAMPLES=$QUILLANE_BUILD_DIR/examples

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

fail() { echo "FAIL: $*"; exit 1; }

# Runs quillane-run with the arguments under a time limit; its status in $rc, its output in
# out.txt and err.txt of the current directory.
run() { rc=0; timeout 20 "$RUN" "$@" >out.txt 2>err.txt || rc=$?; }
