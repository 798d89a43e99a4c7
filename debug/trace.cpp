// Recordings of a run: the instruction trace and the sound stream as a WAV file.
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstring>

#include "cpu/zcpu.h"
#include "debug/engine.h"
#include "debug/engine_internal.h"
#include "devices/sound.h"
#include "machine/emu.h"

// The WAV recording: values of the stream rendered as emulated time passes.
struct dbg_wav_t {
    FILE *file;
    std::string path;
    uint64_t start_tick; // tick of value 0
    uint64_t values;     // values rendered so far
    bool failed;
    bool streaming; // a pipe: the header cannot be rewritten, so its sizes say "unknown"
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

} // namespace

void dbg_trace_line(dbg_engine_t *e) {
    const z_cpu_t &c = e->emu->cpu;
    // Only at a boundary, and once: a run that starts where the last one stopped would repeat it.
    if (c.cycles >= 2 || e->trace_tick == e->emu->ticks) return;
    e->trace_tick = e->emu->ticks;
    const dbg_instruction_t in = dbg_disassemble(e->emu->memory, c.PC, &e->symbols);
    std::fprintf(e->trace,
                 "%" PRIu64 " %04X %-11s %-20s AF=%04X BC=%04X DE=%04X HL=%04X IX=%04X IY=%04X "
                 "SP=%04X\n",
                 e->emu->ticks, c.PC, dbg_instruction_bytes(in).c_str(), in.text.c_str(), c.AF,
                 c.BC, c.DE, c.HL, c.IX, c.IY, c.SP);
}

bool dbg_trace_open(dbg_engine_t *e, const std::string &path, std::string *error) {
    dbg_lock(e);
    // A trace already open ends first; if it lost lines, that is the error (no new trace).
    const bool closed = dbg_trace_close(e, error);
    FILE *f = closed ? std::fopen(path.c_str(), "w") : nullptr;
    if (closed && !f) *error = path + ": " + std::strerror(errno);
    if (f) {
        e->trace = f;
        e->trace_path = path;
        e->trace_tick = UINT64_MAX;
        dbg_update(e);
    }
    dbg_unlock(e);
    return f != nullptr;
}

bool dbg_trace_close(dbg_engine_t *e, std::string *error) {
    if (!e->trace) return true;
    // A write that failed on the way (a full disk) leaves the error flag; fflush finds its errno.
    bool ok = std::fflush(e->trace) == 0 && !std::ferror(e->trace);
    const int saved_errno = errno;
    ok = std::fclose(e->trace) == 0 && ok;
    if (!ok && error)
        *error = e->trace_path + ": " + std::strerror(saved_errno ? saved_errno : EIO);
    e->trace = nullptr;
    dbg_update(e);
    return ok;
}

bool dbg_wav_open(dbg_engine_t *e, const std::string &path, std::string *error) {
    FILE *f = std::fopen(path.c_str(), "wb");
    // A pipe or FIFO cannot seek back to fill in the sizes at the end.
    const bool streaming = f && std::fseek(f, 0, SEEK_CUR) != 0;
    uint8_t header[44];
    wav_header(header, streaming ? unknown_size : 0);
    if (!f || std::fwrite(header, 1, sizeof header, f) != sizeof header) {
        *error = path + ": " + std::strerror(errno);
        if (f) std::fclose(f);
        return false;
    }
    delete e->wav;
    e->wav = new dbg_wav_t{f, path, e->emu->ticks, 0, false, streaming};
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
        if (!w->failed && std::fwrite(bytes, 1, sizeof bytes, w->file) != sizeof bytes)
            w->failed = true;
        ++w->values;
    }
}

void dbg_wav_shift(dbg_engine_t *e, int64_t delta) {
    if (e->wav)
        e->wav->start_tick =
            static_cast<uint64_t>(static_cast<int64_t>(e->wav->start_tick) + delta);
}

bool dbg_wav_close(dbg_engine_t *e, std::string *error) {
    dbg_wav_t *w = e->wav;
    if (!w) return true;
    e->wav = nullptr;
    const uint64_t bytes = w->values * 4;
    uint8_t header[44];
    wav_header(header, static_cast<uint32_t>(std::min<uint64_t>(bytes, 0xFFFFFFF0u)));
    bool ok = !w->failed &&
              (w->streaming || (std::fseek(w->file, 0, SEEK_SET) == 0 &&
                                std::fwrite(header, 1, sizeof header, w->file) == sizeof header));
    ok = std::fflush(w->file) == 0 && ok;
    const int saved_errno = errno;
    ok = (std::fclose(w->file) == 0) && ok;
    if (!ok) *error = w->path + ": " + std::strerror(saved_errno ? saved_errno : EIO);
    delete w;
    return ok;
}
