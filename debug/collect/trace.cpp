// Recordings of a run: the instruction trace and the sound stream as a WAV file.
#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "cpu/zcpu.h"
#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "devices/sound.h"
#include "files/output.h"
#include "machine/emu.h"

// The WAV recording: values of the stream rendered as emulated time passes.
struct dbg_wav_t {
    emu_output_t file;
    std::string path;
    uint64_t start_tick; // tick of value 0
    uint64_t values;     // values rendered so far
};

namespace {

// The stream carries 44100 16-bit samples a second, two per rendered value.
constexpr uint64_t values_per_second = SND_SAMPLE_RATE / 2;

void put16(uint8_t *at, uint32_t v) {
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t *at, uint32_t v) {
    put16(at, v);
    put16(at + 2, v >> 16);
}

// Sizes FFFFFFFF mean "until the end of the stream", as readers of piped WAV take them.
constexpr uint32_t unknown_size = 0xFFFFFFFFu;

void wav_header(uint8_t *h, uint32_t data_bytes) {
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, data_bytes == unknown_size ? unknown_size : 36 + data_bytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1); // PCM
    put16(h + 22, 1); // mono
    put32(h + 24, SND_SAMPLE_RATE);
    put32(h + 28, SND_SAMPLE_RATE * 2);
    put16(h + 32, 2);
    put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, data_bytes);
}

// A recording that can no longer be written ends an inline run at the next boundary, so that a
// run without another end does not go on for nothing (a reader that went away, a full disk).
void output_failed(dbg_engine_t *e) {
    if (e->mode != DBG_INLINE || e->pause_requested) return;
    e->pause_requested = true;
    dbg_update(e);
}

} // namespace

void dbg_trace_line(dbg_engine_t *e) {
    const z_cpu_t &c = e->emu->cpu;
    // Only at a boundary, and once: a run that starts where the last one stopped would repeat it.
    if (c.cycles >= 2 || e->trace_tick == e->emu->ticks) return;
    e->trace_tick = e->emu->ticks;
    const dbg_instruction_t in = dbg_disassemble(e->emu->memory, c.PC, &e->symbols);
    char line[256];
    const int length = std::snprintf(
        line, sizeof line,
        "%" PRIu64 " %04X %-11s %-20s AF=%04X BC=%04X DE=%04X HL=%04X IX=%04X IY=%04X SP=%04X\n",
        e->emu->ticks, c.PC, dbg_instruction_bytes(in).c_str(), in.text.c_str(), c.AF, c.BC, c.DE,
        c.HL, c.IX, c.IY, c.SP);
    const size_t size = std::min(static_cast<size_t>(length), sizeof line - 1);
    if (!emu_output_write(e->trace, line, size)) output_failed(e);
}

bool dbg_trace_open(dbg_engine_t *e, const std::string &path, std::string *error) {
    dbg_lock(e);
    // A trace already open ends first; if it lost lines, that is the error (no new trace).
    bool opened = dbg_trace_end(e, error);
    if (opened) {
        auto out = std::make_unique<emu_output_t>();
        emu_file_error_t reason{};
        opened = emu_output_open(out.get(), path.c_str(), &reason);
        if (!opened) *error = emu_file_error_message(path, reason);
        if (opened) {
            e->trace = out.release();
            e->trace_path = path;
            e->trace_tick = UINT64_MAX;
            dbg_update(e);
        }
    }
    dbg_unlock(e);
    return opened;
}

bool dbg_trace_close(dbg_engine_t *e, std::string *error) {
    dbg_lock(e);
    const bool ok = dbg_trace_end(e, error);
    dbg_unlock(e);
    return ok;
}

bool dbg_trace_end(dbg_engine_t *e, std::string *error) {
    if (!e->trace) return true;
    std::unique_ptr<emu_output_t> out(e->trace);
    e->trace = nullptr;
    dbg_update(e);
    emu_file_error_t reason{};
    const bool ok = emu_output_close(out.get(), &reason);
    if (!ok && error) *error = emu_file_error_message(e->trace_path, reason);
    return ok;
}

bool dbg_wav_open(dbg_engine_t *e, const std::string &path, std::string *error) {
    auto w = std::make_unique<dbg_wav_t>();
    emu_file_error_t reason{};
    if (!emu_output_open(&w->file, path.c_str(), &reason)) {
        *error = emu_file_error_message(path, reason);
        return false;
    }
    // In place (a pipe, a device) the header cannot be rewritten at the end.
    uint8_t header[44];
    wav_header(header, w->file.in_place ? unknown_size : 0);
    emu_output_write(&w->file, header, sizeof header);
    w->path = path;
    w->start_tick = e->emu->ticks;
    w->values = 0;
    if (e->wav) {
        emu_output_discard(&e->wav->file);
        delete e->wav;
    }
    e->wav = w.release();
    return true;
}

uint64_t dbg_wav_next_tick(const dbg_engine_t *e) {
    const double ticks_per_second = static_cast<double>(e->emu->cpu_clock_hz);
    return e->wav->start_tick +
           static_cast<uint64_t>(static_cast<double>(e->wav->values) * ticks_per_second /
                                 static_cast<double>(values_per_second)) +
           1;
}

void dbg_wav_render(dbg_engine_t *e) {
    dbg_wav_t *w = e->wav;
    while (dbg_wav_next_tick(e) <= e->emu->ticks) {
        int32_t value;
        emu_snd_render_buffer(&e->emu->psg, &value, 1);
        // As the stream carries it: the value's low 16-bit half, then its high half.
        uint8_t bytes[4];
        put32(bytes, static_cast<uint32_t>(value));
        if (!emu_output_write(&w->file, bytes, sizeof bytes)) output_failed(e);
        ++w->values;
    }
}

void dbg_wav_shift(dbg_engine_t *e, int64_t delta) {
    if (e->wav)
        e->wav->start_tick =
            static_cast<uint64_t>(static_cast<int64_t>(e->wav->start_tick) + delta);
}

bool dbg_wav_close(dbg_engine_t *e, std::string *error) {
    std::unique_ptr<dbg_wav_t> w(e->wav);
    if (!w) return true;
    e->wav = nullptr;
    const uint64_t bytes = w->values * 4;
    uint8_t header[44];
    wav_header(header, static_cast<uint32_t>(std::min<uint64_t>(bytes, 0xFFFFFFF0u)));
    if (!w->file.in_place) emu_output_patch(&w->file, 0, header, sizeof header);
    emu_file_error_t reason{};
    if (emu_output_close(&w->file, &reason)) return true;
    *error = emu_file_error_message(w->path, reason);
    return false;
}

void dbg_outputs_discard(dbg_engine_t *e) {
    dbg_lock(e);
    if (e->trace) {
        emu_output_discard(e->trace);
        delete e->trace;
        e->trace = nullptr;
        dbg_update(e);
    }
    dbg_unlock(e);
    if (e->wav) {
        emu_output_discard(&e->wav->file);
        delete e->wav;
        e->wav = nullptr;
    }
}
