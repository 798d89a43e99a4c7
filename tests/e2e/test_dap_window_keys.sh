#!/bin/sh
# The window's keys in the real program under Xvfb, with an editor's client attached over
# --dap-port (tests/dap/window_keys.test.js): the stops the keys make are the stepping scenarios'.
. "$(dirname "$0")/lib.sh"
: "${QUILLANE_SOURCE_DIR:?}"
command -v node >/dev/null || fail "node is not installed"
[ -f "$QUILLANE_BUILD_DIR/tests/c/stepping.cdb" ] || { echo "SKIP: built without SDCC"; exit 0; }
[ -d "$QUILLANE_SOURCE_DIR/tests/dap/node_modules" ] || fail "run npm ci in tests/dap"
start_xvfb
export SDL_AUDIODRIVER=dummy
mkdir -p "$WORK/run"
cp "$QUILLANE_BUILD_DIR/tessik.hex" "$WORK/run/tessik.hex"
for kind in ihx cdb noi; do cp "$QUILLANE_BUILD_DIR/tests/c/stepping.$kind" "$WORK/run/"; done
cp "$QUILLANE_SOURCE_DIR/tests/c/stepping.c" "$WORK/run/"
PORT=$((20000 + $$ % 20000))
APP_ARGS="--dap-port $PORT stepping.ihx"
start_app
(cd "$QUILLANE_SOURCE_DIR/tests/dap" && QUILLANE_DAP_PORT=$PORT node --test window_keys.test.js) \
    >"$WORK/node.log" 2>&1 || fail "the stops differ: $(cat "$WORK/node.log")"
quit_app
echo "PASS"
