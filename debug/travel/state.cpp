// Save states: the file around the machine's parts, each of which writes and reads its own.
#include "debug/travel/state.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cpu/zstate.h"
#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/core/key_queue.h"
#include "debug/travel/history.h"
#include "files/bytes.h"
#include "files/input.h"
#include "files/output.h"
#include "machine/emu.h"
#include "machine/relaxed.h"

namespace {

constexpr char state_magic[8] = {'Q', 'U', 'I', 'L', 'S', 'T', 'A', 'T'};
constexpr uint32_t state_version = 1;
constexpr size_t header_size = 16;
// The body without its key events: the tick count, then each part's fixed size in file order.
constexpr size_t fixed_body_size =
    8 + Z_STATE_SIZE + EMU_MEMORY_SIZE + AY_STATE_SIZE + KBD_STATE_SIZE + DBG_TYPING_STATE_SIZE;

// The state file's bytes: the frame around the parts, each written by its own module.
std::vector<uint8_t> encode(const dbg_machine_state_t &s) {
    emu_byte_writer_t w;
    w.bytes.reserve(header_size + fixed_body_size + s.keys.size() * DBG_KEY_EVENT_STATE_SIZE + 4);
    for (const char c : state_magic) // byte by byte: g++ 12 misreads a range insert here
        emu_put_u8(&w, static_cast<uint8_t>(c));
    emu_put_u32(&w, state_version);
    emu_put_u32(&w, 0); // the body's length, filled in below
    emu_put_u64(&w, s.ticks);
    uint8_t cpu[Z_STATE_SIZE];
    z_state_write(&s.cpu, cpu);
    emu_put_bytes(&w, cpu, sizeof cpu);
    emu_put_bytes(&w, s.memory.data(), EMU_MEMORY_SIZE);
    ay_state_write(&s.psg, &w);
    kbd_state_write(&s.kbd, &w);
    dbg_typing_state_write(s.typing_wait, s.key_port_reads, s.keys, &w);
    const uint32_t body = static_cast<uint32_t>(w.bytes.size() - header_size);
    for (int i = 0; i < 4; ++i)
        w.bytes[12 + i] = static_cast<uint8_t>(body >> (8 * i));
    emu_put_u32(&w, dbg_crc32(0, w.bytes.data(), w.bytes.size()));
    return w.bytes;
}

uint32_t get32(const uint8_t *at) {
    emu_byte_reader_t r{at, at + 4};
    return emu_get_u32(&r);
}

// Checks the frame (magic, version, length, checksum), then has each part read its own; false
// with the reason. Nothing outside *s is touched.
bool decode(const std::vector<uint8_t> &bytes, dbg_machine_state_t *s, std::string *why) {
    if (bytes.size() < sizeof state_magic ||
        std::memcmp(bytes.data(), state_magic, sizeof state_magic) != 0) {
        *why = "not a Quillane save state";
        return false;
    }
    if (bytes.size() < header_size + 4) {
        *why = "truncated";
        return false;
    }
    const uint32_t version = get32(bytes.data() + 8);
    if (version != state_version) {
        *why = "format version " + std::to_string(version) + " (this program reads version " +
               std::to_string(state_version) + ")";
        return false;
    }
    const uint64_t body = get32(bytes.data() + 12);
    if (bytes.size() < header_size + body + 4) {
        *why = "truncated";
        return false;
    }
    if (bytes.size() > header_size + body + 4) {
        *why = "bytes after the end of the state";
        return false;
    }
    if (dbg_crc32(0, bytes.data(), header_size + body) !=
        get32(bytes.data() + header_size + body)) {
        *why = "damaged (checksum mismatch)";
        return false;
    }
    if (body < fixed_body_size) {
        *why = "body too short for this version";
        return false;
    }
    // From here the body holds at least every part's fixed size.
    emu_byte_reader_t r{bytes.data() + header_size, bytes.data() + header_size + body};
    s->ticks = emu_get_u64(&r);
    if (s->ticks > DBG_TICKS_MAX) {
        *why = "impossible tick count";
        return false;
    }
    s->cpu = z_cpu_t{};
    if (!z_state_read(&s->cpu, emu_get_bytes(&r, Z_STATE_SIZE))) {
        *why = "impossible processor state";
        return false;
    }
    const uint8_t *memory = emu_get_bytes(&r, EMU_MEMORY_SIZE);
    s->memory.assign(memory, memory + EMU_MEMORY_SIZE);
    s->psg = ay_t{};
    if (!ay_state_read(&s->psg, &r)) {
        *why = "impossible sound generator state";
        return false;
    }
    if (!kbd_state_read(&s->kbd, &r)) {
        *why = "impossible keyboard state";
        return false;
    }
    // The queue ends the body: its events fill what is left exactly.
    if (!dbg_typing_state_read(&s->typing_wait, &s->key_port_reads, &s->keys, &r) ||
        emu_bytes_left(&r) != 0) {
        *why = "impossible typing queue";
        return false;
    }
    return true;
}

// Makes a decoded (or captured) state the machine's, part by part.
void apply(dbg_engine_t *e, const dbg_machine_state_t &s) {
    emu_t *emu = e->emu;
    const int64_t moved = static_cast<int64_t>(s.ticks - emu->ticks);
    emu->ticks = s.ticks;
    // The bus callbacks stay the machine's (or the engine's watching ones).
    z_state_copy(&emu->cpu, &s.cpu);
    for (uint32_t i = 0; i < EMU_MEMORY_SIZE; ++i)
        emu_relaxed_store(emu->memory[i], s.memory[i]);
    ay_state_copy(&emu->psg, &s.psg);
    kbd_state_copy(&emu->kbd, &s.kbd);
    e->keys = s.keys;
    e->typing_wait = s.typing_wait;
    e->key_port_reads = s.key_port_reads;
    // A stop found in the old machine's instruction does not belong to the new one.
    e->pending = false;
    e->trace_tick = UINT64_MAX;
    dbg_wav_shift(e, moved);
    dbg_update(e);
}

} // namespace

void dbg_state_capture(dbg_engine_t *e, dbg_machine_state_t *s) {
    emu_t *emu = e->emu;
    s->ticks = emu->ticks;
    s->cpu = emu->cpu;
    // Every writer of memory holds the lock, so a plain copy is one moment.
    s->memory.assign(emu->memory, emu->memory + EMU_MEMORY_SIZE);
    // In the window the audio thread ticks the generator on its own, and the window thread
    // presses keys: their copies read each field as a relaxed atomic. The clock and sample rate
    // never change after start-up.
    s->psg = ay_t{};
    s->psg.clock_hz = emu->psg.clock_hz;
    s->psg.sample_rate_hz = emu->psg.sample_rate_hz;
    ay_state_copy(&s->psg, &emu->psg);
    kbd_state_copy(&s->kbd, &emu->kbd);
    s->typing_wait = e->typing_wait;
    s->key_port_reads = e->key_port_reads;
    s->keys = e->keys;
}

void dbg_state_restore(dbg_engine_t *e, const dbg_machine_state_t &s) {
    apply(e, s);
}

std::vector<uint8_t> dbg_state_encode(const dbg_machine_state_t &s) {
    return encode(s);
}

bool dbg_state_decode(const std::vector<uint8_t> &bytes, dbg_machine_state_t *s, std::string *why) {
    return decode(bytes, s, why);
}

uint64_t dbg_state_max_size() {
    return header_size + fixed_body_size + uint64_t{DBG_MAX_KEY_EVENTS} * DBG_KEY_EVENT_STATE_SIZE +
           4;
}

bool dbg_state_save(dbg_engine_t *e, const std::string &path, std::string *error) {
    dbg_machine_state_t s;
    dbg_lock(e);
    dbg_state_capture(e, &s);
    dbg_unlock(e);
    const std::vector<uint8_t> bytes = encode(s);
    emu_file_error_t reason{};
    if (!emu_write_file(path.c_str(), bytes.data(), bytes.size(), &reason)) {
        *error = emu_file_error_message(path, reason);
        return false;
    }
    return true;
}

bool dbg_state_load(dbg_engine_t *e, const std::string &path, std::string *error) {
    std::vector<uint8_t> bytes;
    dbg_machine_state_t s;
    std::string why;
    emu_file_error_t reason{};
    if (!emu_read_file(path.c_str(), dbg_state_max_size(), &bytes, &reason)) {
        *error = path + ": " + reason.text;
        return false;
    }
    if (!decode(bytes, &s, &why)) {
        *error = path + ": " + why;
        return false;
    }
    dbg_lock(e);
    apply(e, s);
    dbg_hooks_changed(e, "state loaded");
    dbg_unlock(e);
    return true;
}
