// Save states: the whole machine in one file, so that a run can be resumed exactly where it was
// saved. The file is written field by field in little-endian order (never as a copy of the
// records in memory), so it reads the same on every host and build:
//
//   offset  size  field
//   0       8     magic "QUILSTAT"
//   8       4     format version (1)
//   12      4     length L of the body that follows
//   16      L     body (below)
//   16 + L  4     CRC-32 (as zlib and PNG compute it) of bytes 0 to 16 + L - 1
//
// Body, version 1, each part written and read by its own module (the processor's in
// cpu/zstate.h, the generator's and the keyboard's in their devices, the typing queue's in
// debug/core/key_queue.h; this one frames them): the tick count (8); the processor: AF BC DE HL AF'
// BC' DE' HL' IX IY SP PC (2 each), I, R, T-states left of the instruction in progress, IM, IFF1,
// IFF2 (1 each); the 64 KB of memory; the sound generator: R0-R13, the selected register, the four
// period counters (2 each), the three tone phases, the latched noise value (2), the six outputs (2
// each), the 31 words of the noise's random source (4 each) and its two positions; the keyboard:
// PIO port A and port B set-up states, the row select and the eight rows; the typing queue: whether
// it waits for the keyboard (1), the key-port reads counted since (4), the number of events (4) and
// each event's tick (8), key code and down flag (1 each).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cpu/zcpu.h"
#include "debug/core/engine.h"
#include "debug/core/key_queue.h"
#include "devices/ay8913.h"
#include "devices/keyboard.h"

// Everything a state holds, as plain records: what a file decodes to, and what the history of
// time travel keeps in memory.
struct dbg_machine_state_t {
    uint64_t ticks;
    z_cpu_t cpu; // registers and `cycles`; the callbacks are not restored
    std::vector<uint8_t> memory;
    ay_t psg;
    kbd_t kbd;
    bool typing_wait;
    uint32_t key_port_reads;
    dbg_key_queue_t keys;
};

// Both with the machine lock held (threaded). Capturing copies; restoring makes the state the
// machine's (the bus callbacks stay; a pending stop is dropped).
void dbg_state_capture(dbg_engine_t *e, dbg_machine_state_t *s);
void dbg_state_restore(dbg_engine_t *e, const dbg_machine_state_t &s);
// The file's bytes of a state, and back: false with the one-line reason, *s then unspecified.
std::vector<uint8_t> dbg_state_encode(const dbg_machine_state_t &s);
bool dbg_state_decode(const std::vector<uint8_t> &bytes, dbg_machine_state_t *s, std::string *why);

// The largest state file the format holds (its typing queue at its bound): no state file or
// state record of a recording is read beyond it.
uint64_t dbg_state_max_size();

// Writes the machine's state to path. False with a one-line reason.
bool dbg_state_save(dbg_engine_t *e, const std::string &path, std::string *error);
// Reads a state and makes it the machine's. A file that is not a state, of another version,
// truncated, damaged (its checksum) or holding impossible values, no regular file (a FIFO, a
// device, a folder) or larger than dbg_state_max_size is refused with a one-line reason, and
// then nothing changes. Breakpoints, watchpoints and symbols are the engine's, not
// the machine's, and stay as they are.
bool dbg_state_load(dbg_engine_t *e, const std::string &path, std::string *error);
