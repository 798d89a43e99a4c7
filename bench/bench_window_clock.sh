#!/bin/sh
# The running program's clock against the headless processor thread's, under Xvfb: prints both
# rates and their ratio (near 1.00 on an idle machine). A figure, not a verdict; the end-to-end
# test checks only that the window's clock is paced.
#
#   bench/bench_window_clock.sh [BUILD_DIR]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
QUILLANE_BUILD_DIR=$build QUILLANE_SOURCE_DIR=$here QUILLANE_ARTIFACTS=$build/artifacts \
    QUILLANE_CLOCK_COMPARE=1 exec sh "$here/tests/e2e/test_clock.sh"
