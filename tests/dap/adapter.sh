#!/bin/sh
# The debug adapter as the test client starts it (a runtime and one argument): quillane-run --dap.
exec "$QUILLANE_BUILD_DIR/quillane-run" --dap
