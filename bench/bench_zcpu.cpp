// Unpaced speed of the processor core: z_tick over real programs (a bubble sort, a CRC-16 bit
// loop, BCD arithmetic, block moves and searches, a bit-map sieve, multiply and divide
// subroutines), each restarted at its HALT. Reports emulated T-states per second; the machine
// needs 10 million, and the paced loop should spend almost none of its 100 ns per tick inside
// the core. BM_quillane_run runs the sieve the way quillane-run does (the board's machine record
// and bus callbacks under the debug engine's inline executor): it should reach at least 0.8 of
// BM_ztick/sieve.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cpu/zcpu.h"
#include "debug/core/engine.h"
#include "debug/front/session.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

struct bench_machine {
    z_cpu_t cpu;
    uint8_t memory[65536];
    std::vector<char> image;
    bool halted = false;
};

// The same shape as the board's bus: memory through user_data, ROM below 0x2000 read-only.
uint8_t bench_read(z_cpu_t *cpu, uint16_t a) {
    return static_cast<uint8_t *>(cpu->user_data)[a];
}
void bench_write(z_cpu_t *cpu, uint16_t a, uint8_t v) {
    if (a >= 0x2000) static_cast<uint8_t *>(cpu->user_data)[a] = v;
}
uint8_t bench_in(z_cpu_t *, uint16_t) {
    return 0xFF;
}
void bench_out(z_cpu_t *, uint16_t, uint8_t) {}
void bench_exception(z_cpu_t *, const char *message) {
    std::fprintf(stderr, "unexpected: %s\n", message);
    std::abort();
}
bench_machine *current = nullptr;
void bench_halt(z_cpu_t *) {
    current->halted = true;
}

bool load(bench_machine &m, const char *name) {
    std::ifstream in(std::string(QUILLANE_BUILD_DIR) + "/tests/z80/" + name + ".bin",
                     std::ios::binary);
    if (!in) return false;
    m.image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::memset(m.memory, 0, sizeof m.memory);
    std::memcpy(m.memory, m.image.data(), m.image.size());
    z_init(&m.cpu, bench_read, bench_write, bench_in, bench_out, bench_exception, bench_halt,
           m.memory);
    return true;
}

void BM_ztick(benchmark::State &state, const char *name) {
    static bench_machine m;
    if (!load(m, name)) {
        state.SkipWithError("test programs not built (build the tests first)");
        return;
    }
    current = &m;
    uint64_t ticks = 0;
    for (auto _ : state) {
        for (int i = 0; i < 1000000; ++i) {
            z_tick(&m.cpu);
            if (m.halted) [[unlikely]] {
                m.halted = false;
                z_reset(&m.cpu); // the programs copy their data to RAM before working on it
            }
        }
        ticks += 1000000;
    }
    state.counters["T-states/s"] =
        benchmark::Counter(static_cast<double>(ticks), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_ztick, sort, "sort")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ztick, crc16, "crc16")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ztick, bcd, "bcd")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ztick, blocks, "blocks")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ztick, sieve, "sieve")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ztick, muldiv, "muldiv")->Unit(benchmark::kMillisecond);

void BM_quillane_run(benchmark::State &state, const char *name) {
    static bench_machine m;
    if (!load(m, name)) {
        state.SkipWithError("test programs not built (build the tests first)");
        return;
    }
    emu_t *emu = &emu_state;
    emu_power_on(emu);
    std::memcpy(emu->memory, m.image.data(), m.image.size());
    dbg_engine_t *e = dbg_session_attach(emu, DBG_INLINE);
    uint64_t ticks = 0;
    for (auto _ : state) {
        const uint64_t end = dbg_ticks(e) + 1000000;
        while (dbg_ticks(e) < end)
            if (dbg_run_ticks(e, end - dbg_ticks(e)).cause == DBG_CAUSE_HALT) z_reset(&emu->cpu);
        ticks += 1000000;
    }
    state.counters["T-states/s"] =
        benchmark::Counter(static_cast<double>(ticks), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_quillane_run, sieve, "sieve")->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
