#!/bin/sh
# Installs the Debian packages that building, running and testing Quillane need.
# Asks dpkg first and does nothing (and needs no privileges) when all are present.
set -eu

PACKAGES="build-essential cmake make qt6-base-dev libsdl2-dev googletest libgtest-dev \
libbenchmark-dev pasmo sdcc clang libclang-rt-14-dev xvfb xdotool x11-apps imagemagick libxcb1-dev \
valgrind lcov"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

[ -z "$missing" ] && exit 0

echo "install-deps: installing$missing"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
# shellcheck disable=SC2086
$SUDO apt-get install -y -q --no-install-recommends $missing
