// Helpers shared by the engine's source files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "debug/core/engine.h"

// Attention bits: CHECK while anything must be looked at between instructions, WARP while the
// processor thread runs unpaced. (Hooks due by board time need no bit: the executors compare the
// tick count with due_tick at boundaries.)
enum : uint32_t { DBG_ATTENTION_CHECK = 1, DBG_ATTENTION_WARP = 2 };

// Hooks, lock held: tells them of a change or of a key from outside the typing queue; finds the
// earliest tick a hook is due at after one's due tick changed.
void dbg_hooks_changed(dbg_engine_t *e, const char *timeline);
void dbg_hooks_key(dbg_engine_t *e, uint8_t vk, bool down);
void dbg_hooks_due_update(dbg_engine_t *e);

// The source model, or an empty one (registers, memory and symbols work without it; a FILE:LINE
// gets the model's own "no file" reason).
const dbg_source_t *dbg_source_or_empty(const dbg_engine_t *e);

// A breakpoint's condition at a hit, with the machine as it is now: true when it holds or cannot
// be evaluated (*error then says why, and the hit stops).
bool dbg_breakpoint_holds(dbg_engine_t *e, const dbg_breakpoint_t &b, std::string *error);

// Recomputes attention and the watching callbacks from the engine's state.
void dbg_update(dbg_engine_t *e);

// The stop as the run commands report it, for the machine as it is now (a pending stop's details
// are used when its cause is the one asked for).
dbg_stop_t dbg_make_stop(dbg_engine_t *e, dbg_cause_t cause);

// Threaded mode takes the machine lock around front-end work; inline mode needs none.
void dbg_lock(dbg_engine_t *e);
void dbg_unlock(dbg_engine_t *e);

// Keys: delivers the queued events that are due; checks the keyboard for readiness.
void dbg_keys_at_boundary(dbg_engine_t *e);
// A key pressed or released on the board from outside the typing queue (the window's keys,
// `press` and `release`, a replay): applied now, and the hooks told.
void dbg_key_input(dbg_engine_t *e, uint8_t vk, bool down);
// Counts a read of the key port (the watching port callback calls it while typing waits).
void dbg_keys_port_read(dbg_engine_t *e, uint8_t port);

// Trace: one line for the instruction at PC, about to run.
void dbg_trace_line(dbg_engine_t *e);
// Sound recording: renders the stream up to the current tick; the tick of the next value.
void dbg_wav_render(dbg_engine_t *e);
uint64_t dbg_wav_next_tick(const dbg_engine_t *e);

// The monitor's symbol file (tessik.sym beside the ROM file or in its rom/ folder), or empty when
// there is none.
std::string dbg_monitor_symbols_file(const dbg_engine_t *e);

// CRC-32 as zlib and PNG compute it, continued from crc (0 to start).
uint32_t dbg_crc32(uint32_t crc, const uint8_t *data, size_t size);
// Sound recording: a state load moved the tick count by delta; the recording goes on from there.
void dbg_wav_shift(dbg_engine_t *e, int64_t delta);
