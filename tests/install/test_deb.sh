#!/bin/sh
# The Debian package, as make deb builds it: named quillane_VERSION_amd64.deb with the programs'
# own version, depending on the libraries it links and on sdcc and pasmo, holding the install
# under /usr, and without a lintian error (its warnings are printed).
set -eu
: "${QUILLANE_BUILD_DIR:?}"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}
cd "$QUILLANE_BUILD_DIR"
cpack -G DEB --config CPackConfig.cmake -B "$WORK" >"$WORK/cpack.log" 2>&1 ||
    fail "cpack: $(cat "$WORK/cpack.log")"
version=$("$QUILLANE_BUILD_DIR/quillane-run" --version | sed 's/^quillane-run //')
deb=$WORK/quillane_${version}_amd64.deb
[ -f "$deb" ] || fail "no $deb: $(ls "$WORK")"

depends=$(dpkg-deb -f "$deb" Depends)
for package in sdcc pasmo libc6 libstdc++6; do
    echo "$depends" | grep -q "\\b$package\\b" || fail "Depends lacks $package: $depends"
done
if [ -x "$QUILLANE_BUILD_DIR/quillane" ]; then
    echo "$depends" | grep -q 'libqt6widgets6' || fail "Depends lacks Qt: $depends"
fi
dpkg-deb -c "$deb" >"$WORK/contents"
for f in ./usr/bin/quillane-run ./usr/bin/qcc ./usr/share/quillane/tessik.hex \
    ./usr/share/man/man1/quillane-run.1.gz ./usr/share/doc/quillane/copyright; do
    grep -q " $f\$" "$WORK/contents" || fail "$f is not in the package"
done

if command -v lintian >/dev/null 2>&1; then
    lintian --fail-on error "$deb" || fail "lintian reports errors"
else
    fail "lintian is not installed (scripts/install-deps.sh installs it)"
fi
