#!/bin/sh
# quillane --dap-port: an editor's debug adapter on 127.0.0.1, attached to the running window
# (tests/dap/attach.test.js through Microsoft's DAP test client), which the window's keys step
# with it; the window runs on afterwards and ends with Alt+Q as usual.
. "$(dirname "$0")/lib.sh"
: "${QUILLANE_SOURCE_DIR:?}"
command -v node >/dev/null || fail "node is not installed"
start_xvfb
export SDL_AUDIODRIVER=dummy
mkdir -p "$WORK/run"
cp "$QUILLANE_BUILD_DIR/tessik.hex" "$WORK/run/tessik.hex"
PORT=$((20000 + $$ % 20000))
APP_ARGS="--dap-port $PORT"
# The C program the keys step through (the stepping test is skipped in a build without SDCC).
STEPPING=
if [ -f "$QUILLANE_BUILD_DIR/tests/c/stepping.cdb" ]; then
    for kind in ihx cdb noi; do cp "$QUILLANE_BUILD_DIR/tests/c/stepping.$kind" "$WORK/run/"; done
    cp "$QUILLANE_SOURCE_DIR/tests/c/stepping.c" "$WORK/run/"
    APP_ARGS="$APP_ARGS stepping.ihx"
    STEPPING=1
fi
start_app
(cd "$QUILLANE_SOURCE_DIR/tests/dap" &&
    QUILLANE_DAP_PORT=$PORT QUILLANE_STEPPING=$STEPPING node --test attach.test.js) \
    >"$WORK/node.log" 2>&1 || fail "the attached session failed: $(cat "$WORK/node.log")"
kill -0 "$APP_PID" 2>/dev/null || fail "the window ended with its client"
quit_app
echo "PASS"
