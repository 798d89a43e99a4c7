// Live reload: a rebuilt program loaded again in place of the old one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct dbg_engine_t;

// The files of debug information beside an image that dbg_debug_info_load reads, in its order:
// IMAGE.noi (else .map), .sym, .cdb, .lines, those that exist.
std::vector<std::string> dbg_debug_files_beside(const std::string &image);

// A breakpoint or watchpoint that a reload moved or deleted, with the line that reports it:
// "Breakpoint 2 (main.c:43) moved from 8123 to 8131", "Breakpoint 3 (gone) deleted: ...".
struct dbg_reload_change_t {
    int id;
    bool removed;
    uint16_t address; // the new one
    std::string text;
};

// Reads every image first (an image that fails to read changes nothing), then stores them and
// replaces all debug information with the monitor's symbols and what lies beside each image
// (dbg_debug_files_beside: symbols, the .cdb, a line table): the source model is made anew, its
// texts read again. Breakpoints set by FILE:LINE or a C function are resolved again and moved,
// those that no longer resolve deleted; breakpoints and watchpoints at a symbol follow it. Then,
// with reset, the machine is reset and the texts queued to type again once the keyboard is ready.
// *changes (may be null) gets each breakpoint or watchpoint moved or deleted, *report (may be
// null) a line per file that could not be read. False with a one-line reason.
bool dbg_reload(dbg_engine_t *e, const std::vector<std::string> &images,
                const std::vector<std::string> &type, std::string *error,
                std::vector<dbg_reload_change_t> *changes = nullptr, bool reset = true,
                std::string *report = nullptr);
