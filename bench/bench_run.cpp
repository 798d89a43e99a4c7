// Unpaced speed of the debug engine's inline executor (what quillane-run runs) beside the bare
// core, measured the same way as the core benchmark (bench_zcpu): the sieve test program,
// restarted at its HALT, a million T-states an iteration. BM_core runs z_tick with plain
// callbacks, as bench_zcpu does; BM_quillane_run runs the board's machine record, its bus
// callbacks and the engine. quillane-run should reach at least 0.8 of the core's T-states/s.
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "cpu/zcpu.h"
#include "debug/engine.h"
#include "machine/emu.h"

namespace {

std::vector<char> sieve() {
    std::ifstream in(QUILLANE_BUILD_DIR "/tests/z80/sieve.bin", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct core_machine {
    z_cpu_t cpu;
    uint8_t memory[65536];
    bool halted;
};
core_machine core;
uint8_t core_read(z_cpu_t *cpu, uint16_t a) {
    return static_cast<uint8_t *>(cpu->user_data)[a];
}
void core_write(z_cpu_t *cpu, uint16_t a, uint8_t v) {
    if (a >= 0x2000) static_cast<uint8_t *>(cpu->user_data)[a] = v;
}
uint8_t core_in(z_cpu_t *, uint16_t) {
    return 0xFF;
}
void core_out(z_cpu_t *, uint16_t, uint8_t) {}
void core_halt(z_cpu_t *) {
    core.halted = true;
}

void BM_core(benchmark::State &state) {
    const std::vector<char> image = sieve();
    if (image.empty()) {
        state.SkipWithError("test programs not built (build the tests first)");
        return;
    }
    std::memset(core.memory, 0, sizeof core.memory);
    std::memcpy(core.memory, image.data(), image.size());
    z_init(&core.cpu, core_read, core_write, core_in, core_out, nullptr, core_halt, core.memory);
    uint64_t ticks = 0;
    for (auto _ : state) {
        for (int i = 0; i < 1000000; ++i) {
            z_tick(&core.cpu);
            if (core.halted) [[unlikely]] {
                core.halted = false;
                z_reset(&core.cpu);
            }
        }
        ticks += 1000000;
    }
    state.counters["T-states/s"] =
        benchmark::Counter(static_cast<double>(ticks), benchmark::Counter::kIsRate);
}

void BM_quillane_run(benchmark::State &state) {
    const std::vector<char> image = sieve();
    if (image.empty()) {
        state.SkipWithError("test programs not built (build the tests first)");
        return;
    }
    emu_t *emu = &emu_state;
    dbg_machine_init(emu);
    std::memcpy(emu->memory, image.data(), image.size());
    dbg_engine_t *e = dbg_attach(emu, DBG_INLINE);
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

BENCHMARK(BM_core)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_quillane_run)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
