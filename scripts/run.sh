#!/bin/sh
# Starts the emulator from the build directory, which holds the monitor ROM tessik.hex.
# Machines without a sound device (servers, containers, virtual machines) would stop the program
# with a fatal audio error, so when no device opens and SDL_AUDIODRIVER is not set, the program
# runs with SDL's silent "dummy" driver instead.
set -eu
BUILD="${1:-build}"
cd "$BUILD"
if [ ! -f tessik.hex ]; then
    echo "run: $BUILD/tessik.hex is missing; the build should have made it" >&2
    exit 1
fi
if [ -z "${SDL_AUDIODRIVER:-}" ] && ! ./quillane-audio-probe 2>/dev/null; then
    echo "run: no audio device could be opened; playing sound to SDL's dummy driver (silent)"
    SDL_AUDIODRIVER=dummy
    export SDL_AUDIODRIVER
fi
exec ./quillane
