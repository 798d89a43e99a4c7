// Time travel: `back N` and `rcontinue` over the history the engine keeps while the machine runs.
//
// The emulation is deterministic given its inputs, so the history is snapshots of the machine
// (dbg_machine_state_t, about 66 KB each) plus the keys that reached the board from outside the
// typing queue, each with its tick. A snapshot starts a segment: one every 0.1 s of board time at
// an instruction boundary, and one right after each change the user makes (a load, a poke, a
// register set, a reset, a state load, keys queued by `type`, `press` or `hold`). Going back
// restores the segment's snapshot and runs it forward again, delivering its keys at the ticks they
// came, to the instruction boundary asked for. The history keeps the last 10 s of board time by
// default (`history SECONDS` changes it) and never more than 64 MB in all it keeps (snapshots,
// their typing queues, counted once where snapshots share one, and key logs): about 6.6 MB for
// 10 s, plus a snapshot per change.
//
// A state loaded, an image loaded and a reset start a new timeline: the moments before it are not
// the past of what follows (a state loaded brings another tick and another memory), so the
// history drops them, and travel stops at the timeline's start and says why.
//
// Going back forgets what came after the moment reached: running forward again runs the machine
// live from there (identically, unless new inputs arrive).
//
// Every function here is called with the machine lock held (threaded) unless it says otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "debug/core/engine.h"

enum : uint32_t {
    DBG_HISTORY_SECONDS = 10,                   // kept by default
    DBG_HISTORY_MAX_BYTES = 64u * 1024u * 1024, // never more than this in all the history keeps
    DBG_HISTORY_SNAPSHOTS_PER_SECOND = 10,
};

// Starts an empty history with a snapshot of the machine now, keeping `seconds` of board time;
// 0 turns the history off. The history watches the machine through an engine hook: a snapshot
// is due every 0.1 s of board time (whatever runs the machine, at any speed), and one follows each
// change the engine is told of (dbg_hook_t::changed); it goes when the engine detaches.
// Takes the lock itself, as dbg_history_stop does.
void dbg_history_start(dbg_engine_t *e, uint32_t seconds);
// Frees the history.
void dbg_history_stop(dbg_engine_t *e);
// The tick at which the next periodic snapshot is due (UINT64_MAX when the history is off).
uint64_t dbg_history_next_tick(const dbg_engine_t *e);
// One line: the span kept, the snapshots and their bytes. Takes the lock itself.
std::string dbg_history_status(dbg_engine_t *e);
// The bytes the history keeps, as its bound counts them (0 when off). Takes the lock itself.
size_t dbg_history_bytes(dbg_engine_t *e);

// Travel; front-end calls that take the lock themselves. In the window the machine must be
// stopped. back: `count` instructions back (fewer when the history starts sooner: then it lands
// on its oldest instruction and says so). rcontinue: back to the latest breakpoint or watchpoint
// stop before now, or the history's start when there is none. A breakpoint stops where its
// condition holds and past its skip count, as running forwards: its hits are numbered back from
// its count of hits now. Neither goes past the start of the timeline. False with a one-line
// reason when nothing was done.
bool dbg_back(dbg_engine_t *e, uint64_t count, dbg_stop_t *stop, std::string *error);
bool dbg_rcontinue(dbg_engine_t *e, dbg_stop_t *stop, std::string *error);
// Step back by the rule of dbg_step_by: by source line where the PC has lines (to the latest
// instruction boundary before now where a line step would have stopped: a line's start, not the
// set-up code at a C function's first byte), else (or by DBG_GRAN_INSTRUCTION) one instruction.
bool dbg_back_by(dbg_engine_t *e, dbg_granularity_t granularity, dbg_stop_t *stop,
                 std::string *error);
