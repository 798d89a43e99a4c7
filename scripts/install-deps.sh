#!/bin/sh
# Installs the Debian packages that building, running and testing Quillane need.
# Asks dpkg first and does nothing (and needs no privileges) when all are present.
set -eu

PACKAGES="build-essential cmake make qt6-base-dev libsdl2-dev googletest libgtest-dev \
libbenchmark-dev pasmo sdcc clang libclang-rt-14-dev xvfb xdotool x11-apps imagemagick libxcb1-dev \
valgrind lcov nlohmann-json3-dev lintian dpkg-dev man-db emscripten chromium"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

# Node.js and npm run the debug adapter's end-to-end test (a Node.js with its own npm counts).
command -v npm >/dev/null 2>&1 || missing="$missing nodejs npm"

# Installs the npm packages of a test folder, pinned by its package-lock.json, unless they are
# there already and not older than the lock.
npm_ci() {
    dir=$(dirname "$0")/../tests/$1
    if [ ! -d "$dir/node_modules/$2" ] ||
        [ "$dir/package-lock.json" -nt "$dir/node_modules/.package-lock.json" ]; then
        (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error)
    fi
}

install_test_packages() {
    # The debug adapter's test client; the browser driver of the page's tests (it downloads no
    # browser: the tests use Debian's chromium).
    npm_ci dap @vscode/debugadapter-testsupport
    PUPPETEER_SKIP_DOWNLOAD=1 npm_ci web puppeteer-core
}

if [ -z "$missing" ]; then
    install_test_packages
    exit 0
fi

echo "install-deps: installing$missing"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
# shellcheck disable=SC2086
$SUDO apt-get install -y -q --no-install-recommends $missing
install_test_packages
