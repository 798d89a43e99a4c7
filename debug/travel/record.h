// Recorded sessions: everything the board receives, in a file that quillane-run plays back to the
// same screen at the same tick. It holds the same inputs the time-travel history keeps: a state
// (the save-state encoding) where the machine starts and after each change the user makes, and
// each key from outside the typing queue with its tick.
//
//   offset  size  field
//   0       8     magic "QUILREC\0"
//   8       4     format version (1)
//   12      ...   records, each: tick (8), kind (1), payload length L (4), payload (L), and the
//                 CRC-32 of the record's bytes before it (4)
//
// Kinds: 1 a state (payload: a save state file's bytes, whose tick is the record's), 2 a key
// (payload: virtual-key code, 1 down or 0 up), 3 the end of the session (no payload). The first
// record is a state and the last the end; numbers are little-endian.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "debug/travel/state.h"

struct dbg_engine_t;

enum dbg_session_kind_t : uint8_t {
    DBG_SESSION_STATE = 1,
    DBG_SESSION_KEY = 2,
    DBG_SESSION_END = 3
};

struct dbg_session_event_t {
    uint64_t tick;
    dbg_session_kind_t kind;
    uint8_t vk;
    bool down;
    std::vector<uint8_t> state; // the save state's bytes (kind state)
};

// Starts recording the attached engine's machine into path, with its state now as the first
// record (lock held by the caller in threaded mode). False with a one-line reason, also when
// that first record cannot be written.
bool dbg_record_open(dbg_engine_t *e, const std::string &path, std::string *error);
// The first write that fails ends the recording at once: no partial file is left, an old file of
// that name stays, and handler (called with the lock held, on the thread that wrote) is given the
// one-line reason. The recording's later records are dropped and dbg_record_close reports it.
// A recording that reaches the size a replay reads (256 MiB) ends there instead, complete, its
// file kept; the handler is told that too.
void dbg_record_on_failure(dbg_engine_t *e, std::function<void(const std::string &)> handler);
// True while a session is being recorded.
bool dbg_record_active(const dbg_engine_t *e);
// Records a state, or a key (lock held); the recording's hook calls them at each change.
void dbg_record_state(dbg_engine_t *e, const dbg_machine_state_t &state);
void dbg_record_key(dbg_engine_t *e, uint64_t tick, uint8_t vk, bool down);
// Writes the end record at the current tick and closes. The file is written through the one
// output writer (files/output.h), so it replaces an old one only now, complete; false with the
// reason when a write failed, and then no recording is left. Without a recording, true. Lock
// held by the caller (or the threads stopped).
bool dbg_record_close(dbg_engine_t *e, std::string *error);

// Reads a whole recording and checks every record (framing, checksums, order of ticks, the
// states themselves); false with a one-line reason, and then nothing may be run.
bool dbg_session_read(const std::string &path, std::vector<dbg_session_event_t> *events,
                      std::string *error);
// Plays a session read by dbg_session_read on the inline engine: starts from its first state and
// applies each record at its tick, up to the end record's tick or to the first instruction
// boundary at or after the absolute tick `until` (UINT64_MAX: none), whichever comes first. False
// with a reason when a run stopped before (an invalid opcode, an interrupt).
bool dbg_session_replay(dbg_engine_t *e, const std::vector<dbg_session_event_t> &events,
                        uint64_t until, std::string *error);
