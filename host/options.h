// The window program's command line: quillane [--rom FILE] [--warp] [--debug] [IMAGE.hex ...]
// [--type TEXT] [--record FILE] [--watch]. Started with no arguments the program behaves as it
// always has.
#pragma once

#include <string>
#include <vector>

struct emu_t;

struct host_options_t {
    std::string rom; // empty: tessik.hex in the current directory
    bool warp;       // run unpaced, sound muted
    bool debug;      // open the debugger window
    std::vector<std::string> images;
    std::vector<std::string> type;
    std::string record;                   // the session's recording, or empty
    std::string replay;                   // a recording played before the window runs, or empty
    bool watch;                           // reload the images when they change on disk
    int dap_port;                         // --dap-port N: a debug adapter on 127.0.0.1:N (0: none)
    std::vector<std::string> source_dirs; // --source-dir DIR: where the debugger finds sources
};

// Parses the command line. Returns -1 to go on, or the exit status after --help, --version or a
// bad argument (printed; no display is needed for any of them).
int host_parse_options(int argc, char **argv, host_options_t *options);

// After start-up and before the threads: loads the images after the ROM (as File > Open does),
// and attaches the debug engine for typing, warp, recording and watching when they are asked for;
// starts the recording. Returns 0, or 2 with the reason printed when an image fails to load or
// the recording cannot be created.
int host_apply_options(emu_t *emu, const host_options_t &options);
