// Save states: encoding and decoding the machine field by field, and the file around them.
#include "debug/travel/state.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <vector>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/travel/history.h"
#include "files/input.h"
#include "files/output.h"
#include "machine/emu.h"
#include "machine/relaxed.h"

namespace {

constexpr char state_magic[8] = {'Q', 'U', 'I', 'L', 'S', 'T', 'A', 'T'};
constexpr uint32_t state_version = 1;
constexpr size_t header_size = 16;
// The body without its key events, and one event.
constexpr size_t fixed_body_size = 8 + 12 * 2 + 6 + EMU_MEMORY_SIZE + 14 + 1 + 4 * 2 + 3 + 2 +
                                   6 * 2 + 31 * 4 + 2 + 2 + 1 + 8 + 1 + 4 + 4;
constexpr size_t key_event_size = 8 + 1 + 1;
// The most T-states an instruction leaves in `cycles`, and a bound on queued key events that no
// typed text comes near (each character is at most four events).
constexpr uint8_t max_cycles = 23;
constexpr uint32_t max_key_events = 1u << 20;

template <class T> T load(const T &field) {
    return emu_relaxed_load(field);
}
template <class T> void store(T &field, T value) {
    emu_relaxed_store(field, value);
}

struct writer_t {
    std::vector<uint8_t> bytes;
    void u8(uint8_t v) { bytes.push_back(v); }
    void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void u64(uint64_t v) {
        u32(static_cast<uint32_t>(v));
        u32(static_cast<uint32_t>(v >> 32));
    }
};

// Reads fields in order; the caller has checked the size, so reading past the end is a bug.
struct reader_t {
    const uint8_t *at;
    uint8_t u8() { return *at++; }
    uint16_t u16() {
        const uint16_t lo = u8();
        return static_cast<uint16_t>(lo | u8() << 8);
    }
    uint32_t u32() {
        const uint32_t lo = u16();
        return lo | static_cast<uint32_t>(u16()) << 16;
    }
    uint64_t u64() {
        const uint64_t lo = u32();
        return lo | static_cast<uint64_t>(u32()) << 32;
    }
};

void put_cpu(writer_t &w, const z_cpu_t &c) {
    for (uint16_t v : {c.AF, c.BC, c.DE, c.HL, c.AF_, c.BC_, c.DE_, c.HL_, c.IX, c.IY, c.SP, c.PC})
        w.u16(v);
    for (uint8_t v : {c.I, c.R, c.cycles})
        w.u8(v);
    w.u8(c.im);
    w.u8(c.iff1);
    w.u8(c.iff2);
}

// Read with relaxed loads: in the window the audio thread ticks the generator on its own.
void put_psg(writer_t &w, const ay_t &a) {
    for (const uint8_t &r : a.regs)
        w.u8(load(r));
    w.u8(load(a.selected));
    for (const uint16_t &c : a.counter)
        w.u16(load(c));
    for (const uint8_t &p : a.phase)
        w.u8(load(p));
    w.u16(static_cast<uint16_t>(load(a.noise)));
    for (int x = 0; x < 3; ++x)
        w.u16(static_cast<uint16_t>(load(a.out_tone[x])));
    for (int x = 0; x < 3; ++x)
        w.u16(static_cast<uint16_t>(load(a.out_noise[x])));
    for (const int32_t &word : a.random_words)
        w.u32(static_cast<uint32_t>(load(word)));
    w.u8(load(a.random_front));
    w.u8(load(a.random_rear));
}

void put_kbd(writer_t &w, const kbd_t &k) {
    w.u8(static_cast<uint8_t>(load(k.pio_a_state)));
    w.u8(static_cast<uint8_t>(load(k.pio_b_state)));
    w.u8(load(k.row_select));
    for (const uint8_t &row : k.rows)
        w.u8(load(row));
}

// The state file's bytes.
std::vector<uint8_t> encode(const dbg_machine_state_t &s) {
    writer_t w;
    w.bytes.reserve(header_size + fixed_body_size + s.keys.size() * key_event_size + 4);
    for (const char c : state_magic) // byte by byte: g++ 12 misreads a range insert here
        w.u8(static_cast<uint8_t>(c));
    w.u32(state_version);
    w.u32(0); // the body's length, filled in below
    w.u64(s.ticks);
    put_cpu(w, s.cpu);
    w.bytes.insert(w.bytes.end(), s.memory.begin(), s.memory.end());
    put_psg(w, s.psg);
    put_kbd(w, s.kbd);
    w.u8(s.typing_wait ? 1 : 0);
    w.u32(s.key_port_reads);
    w.u32(static_cast<uint32_t>(s.keys.size()));
    for (const dbg_key_event_t &k : s.keys) {
        w.u64(k.tick);
        w.u8(k.vk);
        w.u8(k.down ? 1 : 0);
    }
    const uint32_t body = static_cast<uint32_t>(w.bytes.size() - header_size);
    for (int i = 0; i < 4; ++i)
        w.bytes[12 + i] = static_cast<uint8_t>(body >> (8 * i));
    w.u32(dbg_crc32(0, w.bytes.data(), w.bytes.size()));
    return w.bytes;
}

uint32_t get32(const uint8_t *at) {
    return reader_t{at}.u32();
}

// Checks the frame (magic, version, length, checksum) and decodes the body; false with the
// reason. Nothing outside *s is touched.
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
    reader_t r{bytes.data() + header_size};
    s->ticks = r.u64();
    if (s->ticks > DBG_TICKS_MAX) {
        *why = "impossible tick count";
        return false;
    }
    z_cpu_t &c = s->cpu;
    c = z_cpu_t{};
    for (uint16_t *v :
         {&c.AF, &c.BC, &c.DE, &c.HL, &c.AF_, &c.BC_, &c.DE_, &c.HL_, &c.IX, &c.IY, &c.SP, &c.PC})
        *v = r.u16();
    c.I = r.u8();
    c.R = r.u8();
    c.cycles = r.u8();
    const uint8_t im = r.u8(), iff1 = r.u8(), iff2 = r.u8();
    if (c.cycles > max_cycles || im > 2 || iff1 > 1 || iff2 > 1) {
        *why = "impossible processor state";
        return false;
    }
    c.im = im & 3;
    c.iff1 = iff1 & 1;
    c.iff2 = iff2 & 1;
    s->memory.assign(r.at, r.at + EMU_MEMORY_SIZE);
    r.at += EMU_MEMORY_SIZE;
    ay_t &a = s->psg;
    a = ay_t{};
    for (uint8_t &v : a.regs)
        v = r.u8();
    a.selected = r.u8();
    for (uint16_t &v : a.counter)
        v = r.u16();
    for (uint8_t &v : a.phase)
        v = r.u8();
    a.noise = static_cast<int16_t>(r.u16());
    for (int16_t &v : a.out_tone)
        v = static_cast<int16_t>(r.u16());
    for (int16_t &v : a.out_noise)
        v = static_cast<int16_t>(r.u16());
    for (int32_t &v : a.random_words)
        v = static_cast<int32_t>(r.u32());
    a.random_front = r.u8();
    a.random_rear = r.u8();
    bool phases = true;
    for (uint8_t p : a.phase)
        phases = phases && p <= 1;
    // The random source's positions stay three words apart.
    if (a.selected > 15 || !phases || a.random_front >= 31 || a.random_rear >= 31 ||
        (a.random_front + 31 - a.random_rear) % 31 != 3) {
        *why = "impossible sound generator state";
        return false;
    }
    kbd_t &k = s->kbd;
    k.pio_a_state = r.u8();
    k.pio_b_state = r.u8();
    k.row_select = r.u8();
    for (uint8_t &row : k.rows)
        row = r.u8();
    if (k.pio_a_state > 2 || k.pio_b_state > 2) {
        *why = "impossible keyboard state";
        return false;
    }
    const uint8_t wait = r.u8();
    s->key_port_reads = r.u32();
    const uint32_t count = r.u32();
    // Only queued keys wait for the keyboard.
    if (wait > 1 || (wait == 1 && count == 0) || count > max_key_events ||
        body != fixed_body_size + count * key_event_size) {
        *why = "impossible typing queue";
        return false;
    }
    s->typing_wait = wait == 1;
    s->keys.clear();
    for (uint32_t i = 0; i < count; ++i) {
        dbg_key_event_t event;
        event.tick = r.u64();
        event.vk = r.u8();
        const uint8_t down = r.u8();
        if (down > 1) {
            *why = "impossible typing queue";
            return false;
        }
        event.down = down == 1;
        s->keys.push_back(event);
    }
    return true;
}

// Writes the whole state file; false with the reason. The state's only write.
void apply(dbg_engine_t *e, const dbg_machine_state_t &s) {
    emu_t *emu = e->emu;
    const int64_t moved = static_cast<int64_t>(s.ticks - emu->ticks);
    emu->ticks = s.ticks;
    z_cpu_t &c = emu->cpu;
    // The bus callbacks stay the machine's (or the engine's watching ones).
    c.AF = s.cpu.AF;
    c.BC = s.cpu.BC;
    c.DE = s.cpu.DE;
    c.HL = s.cpu.HL;
    c.AF_ = s.cpu.AF_;
    c.BC_ = s.cpu.BC_;
    c.DE_ = s.cpu.DE_;
    c.HL_ = s.cpu.HL_;
    c.IX = s.cpu.IX;
    c.IY = s.cpu.IY;
    c.SP = s.cpu.SP;
    c.PC = s.cpu.PC;
    c.I = s.cpu.I;
    c.R = s.cpu.R;
    c.cycles = s.cpu.cycles;
    c.im = s.cpu.im;
    c.iff1 = s.cpu.iff1;
    c.iff2 = s.cpu.iff2;
    for (uint32_t i = 0; i < EMU_MEMORY_SIZE; ++i)
        store(emu->memory[i], s.memory[i]);
    ay_t &a = emu->psg;
    for (int i = 0; i < 14; ++i)
        store(a.regs[i], s.psg.regs[i]);
    store(a.selected, s.psg.selected);
    for (int i = 0; i < 4; ++i)
        store(a.counter[i], s.psg.counter[i]);
    for (int x = 0; x < 3; ++x) {
        store(a.phase[x], s.psg.phase[x]);
        store(a.out_tone[x], s.psg.out_tone[x]);
        store(a.out_noise[x], s.psg.out_noise[x]);
    }
    store(a.noise, s.psg.noise);
    for (int i = 0; i < 31; ++i)
        store(a.random_words[i], s.psg.random_words[i]);
    store(a.random_front, s.psg.random_front);
    store(a.random_rear, s.psg.random_rear);
    kbd_t &k = emu->kbd;
    store(k.pio_a_state, s.kbd.pio_a_state);
    store(k.pio_b_state, s.kbd.pio_b_state);
    store(k.row_select, s.kbd.row_select);
    for (int i = 0; i < 8; ++i)
        store(k.rows[i], s.kbd.rows[i]);
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
    ay_t &a = s->psg;
    // Read with relaxed loads: in the window the audio thread ticks the generator on its own.
    // The clock and sample rate never change after start-up.
    a = ay_t{};
    a.clock_hz = emu->psg.clock_hz;
    a.sample_rate_hz = emu->psg.sample_rate_hz;
    for (int i = 0; i < 14; ++i)
        a.regs[i] = load(emu->psg.regs[i]);
    a.selected = load(emu->psg.selected);
    for (int i = 0; i < 4; ++i)
        a.counter[i] = load(emu->psg.counter[i]);
    for (int x = 0; x < 3; ++x) {
        a.phase[x] = load(emu->psg.phase[x]);
        a.out_tone[x] = load(emu->psg.out_tone[x]);
        a.out_noise[x] = load(emu->psg.out_noise[x]);
    }
    a.noise = load(emu->psg.noise);
    for (int i = 0; i < 31; ++i)
        a.random_words[i] = load(emu->psg.random_words[i]);
    a.random_front = load(emu->psg.random_front);
    a.random_rear = load(emu->psg.random_rear);
    kbd_t &k = s->kbd;
    k.pio_a_state = load(emu->kbd.pio_a_state);
    k.pio_b_state = load(emu->kbd.pio_b_state);
    k.row_select = load(emu->kbd.row_select);
    for (int i = 0; i < 8; ++i)
        k.rows[i] = load(emu->kbd.rows[i]);
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
    return header_size + fixed_body_size + uint64_t{max_key_events} * key_event_size + 4;
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
    dbg_input_new_timeline(e, "state loaded");
    dbg_unlock(e);
    return true;
}
