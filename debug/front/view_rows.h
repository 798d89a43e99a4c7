// The call stack, a frame's locals and the breakpoints as views show them: the rows that the
// debugger window's panes (Stack, Locals, Breakpoints), DAP (stackTrace, the Locals scope, the
// breakpoints it reports) and `where` all render, so that they show the same names and values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cpu/zcpu.h"
#include "debug/info/source.h"

struct dbg_engine_t;

// A frame of the stack walk (dbg_source_frames).
struct dbg_frame_row_t {
    std::string name;  // the C function or the label the frame runs in; "??" when none
    int file;          // the frame's line (dbg_frame_t: pc's, or a caller's call's): -1 none
    int line;          // 0 when none
    std::string place; // "stepping.c:12", "" when no line
    uint16_t pc;       // frame 0: PC; callers: the return address
};
std::vector<dbg_frame_row_t> dbg_frame_rows(const dbg_source_t *model,
                                            const std::vector<dbg_frame_t> &frames);

// What a view of a stopped machine looks at: copies of memory and the registers, and the stack.
struct dbg_stack_view_t {
    std::vector<uint8_t> memory; // 64 KB
    z_cpu_t cpu;
    std::vector<dbg_frame_t> frames;
    // Expressions against frame `index` (a frame that is not there: worked out from the
    // registers).
    dbg_eval_context_t context(int index, const dbg_symbols_t *symbols) const;
};
// Takes the copies (under the lock) and walks the stack, max_frames at most.
dbg_stack_view_t dbg_stack_view(dbg_engine_t *e, int max_frames = 32);

// A C lvalue in frame `frame` (0: the innermost), for dbg_watch_add_object: its address and
// type. False with a one-line reason (no debug information, not in memory).
bool dbg_watch_object_place(dbg_engine_t *e, const std::string &lvalue, int frame,
                            uint16_t *address, int *type, std::string *error);

// The parameters and locals of the context's frame (dbg_source_locals: parameters first; a value
// that cannot be known there, such as one held in a caller's registers, says so); empty when no
// frame is selected or it is not a C function's.
std::vector<dbg_value_t> dbg_frame_locals(const dbg_source_t *model,
                                          const dbg_eval_context_t &context);

struct dbg_breakpoint_row_t {
    int id;
    uint16_t address;
    int file; // the line holding the address: -1 and 0 when none
    int line;
    std::string place;     // dbg_place_name: "scale, stepping.c:12", "mon_putc+4"
    std::string condition; // as written; "" for none
    uint32_t hits;
};
// Every breakpoint, in the order they were set.
std::vector<dbg_breakpoint_row_t> dbg_breakpoint_rows(dbg_engine_t *e);
// The row a breakpoint at address would have (id and hits 0, no condition).
dbg_breakpoint_row_t dbg_breakpoint_row(dbg_engine_t *e, uint16_t address);
