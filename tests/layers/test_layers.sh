# The include-direction check passes on the tree, and catches a device that includes the host,
# a processor file that includes the machine and a debug file that includes Qt, while the host
# and its tests may include Qt and SDL.
here=$(dirname "$0")
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
sh "$here/check_includes.sh" "$here/../.." || fail "the tree breaks a rule"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/devices" "$work/cpu" "$work/debug" "$work/host" "$work/tests/gui"
printf '#include <QWidget>\n#include <SDL.h>\n' >"$work/host/window.cpp"
printf '#include <QtTest>\n' >"$work/tests/gui/test_window.cpp"
printf '#include "devices/graphics.h"\n' >"$work/devices/graphics.cpp"
sh "$here/check_includes.sh" "$work" "$here/rules.txt" >"$work/out.txt" ||
    fail "allowed includes refused: $(cat "$work/out.txt")"
printf '#include <cstdint>\n#include "host/gui.h"\n' >"$work/devices/screen.cpp"
printf '  #  include "machine/emu.h"\n' >"$work/cpu/core.cpp"
printf '#include <QString>\n' >"$work/debug/view.h"
sh "$here/check_includes.sh" "$work" "$here/rules.txt" >"$work/out.txt" && fail "no rule broken"
for broken in 'devices/screen.cpp: includes host/gui.h' 'cpu/core.cpp: includes machine/emu.h' \
    'debug/view.h: includes QString'; do
    grep -q "^$broken " "$work/out.txt" || fail "not caught: $broken; $(cat "$work/out.txt")"
done
[ "$(wc -l <"$work/out.txt")" -eq 3 ] || fail "more than the three: $(cat "$work/out.txt")"
echo "include directions: ok"
