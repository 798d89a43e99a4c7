// Coverage of a run as an lcov tracefile, for lcov (which merges runs with `lcov -a`) and genhtml.
//
// While covering, the engine calls dbg_coverage_boundary at every instruction boundary, which
// counts the instruction that just ended at its address. When written, every file of the source
// model with code lines gets a record: a line's count is the highest count of the instructions
// in its code ranges (so a line counts as run when any of its instructions ran); lines of data
// (DB, DW, DS in a qasm line table) are not lines to cover. C functions get FN/FNDA records, their
// count being the runs of their first instruction.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "debug/core/result.h"

struct dbg_engine_t;

struct dbg_coverage_t {
    std::vector<uint32_t> runs; // 65536: times an instruction starting there ran
    uint16_t pc;                // the instruction now running
    uint64_t tick;              // its first tick
};

// Starts counting afresh from the machine's state now.
void dbg_coverage_start(dbg_engine_t *e);
// Stops counting; the counts stay for dbg_coverage_save.
void dbg_coverage_stop(dbg_engine_t *e);
// The tracefile's text. False with a one-line reason (nothing counted, no source lines known).
bool dbg_coverage_text(dbg_engine_t *e, std::string *text, std::string *error);
// Writes the tracefile. False with a one-line reason (as above, or the file cannot be written).
bool dbg_coverage_save(dbg_engine_t *e, const std::string &path, std::string *error);

// The engine's hook: at an instruction boundary while e->covering, with the tick count and PC
// there. Inline: it runs between every two instructions.
static inline void dbg_coverage_boundary(dbg_coverage_t *c, uint64_t now, uint16_t pc) {
    if (now == c->tick) return;                                  // the same boundary again
    if (now > c->tick && now - c->tick < 1000) ++c->runs[c->pc]; // not across a state load
    c->pc = pc;
    c->tick = now;
}

// coverage start | coverage stop | coverage save FILE
dbg_result_t dbg_command_coverage(dbg_engine_t *e, const std::vector<std::string> &args);
