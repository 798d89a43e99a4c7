// Profiles of a run in callgrind's format, for callgrind_annotate, KCachegrind and QCachegrind.
//
// While profiling, the engine calls dbg_profile_boundary at every instruction boundary. Each
// instruction's T-states (the ticks between its boundaries) and the instruction itself are
// counted at its address. Calls are followed as the program makes them: a CALL or RST that
// pushed its return address opens a frame; a frame ends when SP rises above its entry SP (the SP
// that holds the return address) after an instruction other than POP and INC SP, so a RET and
// SDCC's POP HL / INC SP / JP (HL) return (with its jump) both end it. A call's inclusive cost is
// what the run counted between its entry and its end.
//
// Names are given when the profile is written: a C function of the source model, else the
// nearest symbol standing for an address at or below (within 1 KB, and not past the end of a C
// function), else the 256-byte page, as "0x8100-0x81FF". Lines come from the source model's line
// table (C lines, and assembly lines from the .cdb or a qasm line table): every cost line carries
// its address and its line
// ("positions: instr line"; line 0 where none is known).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "debug/core/result.h"

struct dbg_engine_t;
struct dbg_source_t;
struct dbg_symbols_t;

struct dbg_profile_cost_t {
    uint64_t ts; // T-states
    uint64_t ir; // instructions
};

struct dbg_profile_call_t {
    uint64_t count;
    dbg_profile_cost_t inclusive;
};

struct dbg_profile_frame_t {
    uint16_t sp;                // SP just after the call: the return address is at SP
    uint32_t call;              // key into calls
    dbg_profile_cost_t at_call; // the totals when it was entered
};

struct dbg_profile_t {
    std::vector<dbg_profile_cost_t> self;                   // 65536, by instruction address
    std::unordered_map<uint32_t, dbg_profile_call_t> calls; // call site << 16 | target
    std::vector<dbg_profile_frame_t> frames;                // open calls, innermost last
    dbg_profile_cost_t total;
    // The instruction now running: its address, SP before it ran, its first tick.
    uint16_t pc;
    uint16_t sp;
    uint64_t tick;
};

// Starts a profile (one collected before is dropped) from the machine's state now.
void dbg_profile_start(dbg_engine_t *e);
// Stops collecting; what was collected stays for dbg_profile_save.
void dbg_profile_stop(dbg_engine_t *e);
// What was collected (calls still open count up to now) as callgrind's text. False with a
// one-line reason when no profile was collected.
bool dbg_profile_text(dbg_engine_t *e, std::string *text, std::string *error);
// Writes that text to path. False with a one-line reason (no profile, the file cannot be
// written).
bool dbg_profile_save(dbg_engine_t *e, const std::string &path, std::string *error);

// Follows calls and returns at a boundary where SP moved or a frame may end (see above): the
// instruction that just ran is read from memory at p->pc.
void dbg_profile_stack(dbg_profile_t *p, uint16_t pc, uint16_t sp, const uint8_t *memory);
// The first instruction of the innermost call just ran: when it is JP (HL), JP (IX) or JP (IY)
// (SDCC's ___sdcc_call_hl and ___sdcc_call_iy, through which function pointers are called), the
// call is charged to the function it jumps to, pc.
void dbg_profile_forward(dbg_profile_t *p, uint16_t pc, const uint8_t *memory);

// The engine's hook: at an instruction boundary while e->profiling, with the tick count, PC and
// SP there. Inline: it runs between every two instructions.
static inline void dbg_profile_boundary(dbg_profile_t *p, uint64_t now, uint16_t pc, uint16_t sp,
                                        const uint8_t *memory) {
    if (now == p->tick) return; // the same boundary again (a run that starts where one stopped)
    // A tick count that went back or leapt (a state loaded) only moves the profile on: no
    // instruction takes 1000 T-states.
    if (now > p->tick && now - p->tick < 1000) {
        const uint64_t ts = now - p->tick;
        dbg_profile_cost_t &self = p->self[p->pc];
        self.ts += ts;
        ++self.ir;
        p->total.ts += ts;
        ++p->total.ir;
        // A call moves SP; a frame ends above its SP, which may come after a POP left it there.
        if (sp != p->sp ||
            (!p->frames.empty() && static_cast<int16_t>(sp - p->frames.back().sp) > 0))
            dbg_profile_stack(p, pc, sp, memory);
        else if (!p->frames.empty() && static_cast<uint16_t>(p->frames.back().call) == p->pc)
            dbg_profile_forward(p, pc, memory);
    }
    p->pc = pc;
    p->sp = sp;
    p->tick = now;
}

// Where the time went, by function: its own T-states, with what its calls cost, and its own
// share of all; most T-states first. Empty when no profile was collected.
struct dbg_hot_spot_t {
    std::string name;
    uint64_t self_ts;
    uint64_t inclusive_ts;
    double share; // self_ts of all T-states, 0-1
};
std::vector<dbg_hot_spot_t> dbg_profile_hot_spots(dbg_engine_t *e);

// The T-states counted at each instruction address (65536 of them); empty when no profile was
// collected.
std::vector<uint64_t> dbg_profile_costs(dbg_engine_t *e);
// Those costs summed by the lines of one file of model: an address counts for the line that
// holds it (dbg_source_line_at), as in the saved profile. Index: the line number (0 unused);
// size: the highest line with code, plus one.
std::vector<uint64_t> dbg_profile_line_costs(const dbg_source_t *model,
                                             const std::vector<uint64_t> &costs, int file);

// profile start | profile stop | profile save FILE | profile (the ten hottest functions) |
// profile lines (the ten hottest source lines)
dbg_result_t dbg_command_profile(dbg_engine_t *e, const std::vector<std::string> &args);

// What profiles and coverage call a piece of code. -----------------------------------------------

struct dbg_code_namer_t {
    const dbg_source_t *model; // may be null
    const dbg_symbols_t *symbols;
    std::vector<std::pair<uint16_t, std::string>> labels; // names standing for addresses, sorted
};

dbg_code_namer_t dbg_code_namer(const dbg_source_t *model, const dbg_symbols_t *symbols);
// The function, routine or page holding address; *start is where the name starts.
std::string dbg_code_name(const dbg_code_namer_t &namer, uint16_t address, uint16_t *start);
// Where a source file lives for tools that read it: its absolute path once found, else its name.
std::string dbg_code_file_path(dbg_source_t *model, int file);

// The words profile and coverage share: start, stop and save FILE, done with their functions.
// True with *result when args are one of them.
bool dbg_collect_command(dbg_engine_t *e, const std::vector<std::string> &args,
                         void (*start)(dbg_engine_t *), void (*stop)(dbg_engine_t *),
                         bool (*save)(dbg_engine_t *, const std::string &, std::string *),
                         dbg_result_t *result);

// Writes a whole text file through the program's one writer (files/output.h): the one place
// profiles and coverage reach the disk. False with
// "PATH: reason" (unwritable path, full disk).
bool dbg_write_text_file(const std::string &path, const std::string &text, std::string *error);
