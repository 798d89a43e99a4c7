#!/bin/sh
# Starts the Quillane debug adapter: quillane-run from $QUILLANE_RUN, else from the PATH.
exec "${QUILLANE_RUN:-quillane-run}" --dap
