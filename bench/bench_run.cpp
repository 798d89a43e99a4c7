// Unpaced speed of the debug engine's inline executor (what quillane-run runs) against the bare
// core: the sieve test program on the processor alone with plain callbacks, as the core benchmark
// runs it, and on the board's machine record through the engine, each restarted at its HALT.
// quillane-run should reach at least 0.8 of the core's T-states per second.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cpu/zcpu.h"
#include "debug/engine.h"
#include "machine/emu.h"

namespace {

using bench_clock = std::chrono::steady_clock;
constexpr double run_seconds = 3.0;

std::vector<char> program() {
    std::ifstream in(QUILLANE_BUILD_DIR "/tests/z80/sieve.bin", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint8_t memory[65536];
bool halted = false;
uint8_t plain_read(z_cpu_t *, uint16_t a) {
    return memory[a];
}
void plain_write(z_cpu_t *, uint16_t a, uint8_t v) {
    if (a >= 0x2000) memory[a] = v;
}
uint8_t plain_in(z_cpu_t *, uint16_t) {
    return 0xFF;
}
void plain_out(z_cpu_t *, uint16_t, uint8_t) {}
void plain_halt(z_cpu_t *) {
    halted = true;
}

double core_rate(const std::vector<char> &image) {
    z_cpu_t cpu;
    std::memset(memory, 0, sizeof memory);
    std::memcpy(memory, image.data(), image.size());
    z_init(&cpu, plain_read, plain_write, plain_in, plain_out, nullptr, plain_halt, nullptr);
    uint64_t ticks = 0;
    const auto t0 = bench_clock::now();
    while (std::chrono::duration<double>(bench_clock::now() - t0).count() < run_seconds) {
        for (int i = 0; i < 1000000; ++i) {
            z_tick(&cpu);
            if (halted) [[unlikely]] {
                halted = false;
                z_reset(&cpu);
            }
        }
        ticks += 1000000;
    }
    return ticks / std::chrono::duration<double>(bench_clock::now() - t0).count();
}

double engine_rate(const std::vector<char> &image) {
    emu_t *emu = &emu_state;
    dbg_machine_init(emu);
    std::memcpy(emu->memory, image.data(), image.size());
    dbg_engine_t *e = dbg_attach(emu, DBG_INLINE);
    const uint64_t start = dbg_ticks(e);
    const auto t0 = bench_clock::now();
    while (std::chrono::duration<double>(bench_clock::now() - t0).count() < run_seconds) {
        const dbg_stop_t stop = dbg_run_ticks(e, 10000000);
        if (stop.cause == DBG_CAUSE_HALT) z_reset(&emu->cpu);
    }
    const double seconds = std::chrono::duration<double>(bench_clock::now() - t0).count();
    return (dbg_ticks(e) - start) / seconds;
}

} // namespace

int main() {
    const std::vector<char> image = program();
    if (image.empty()) {
        std::fprintf(stderr, "tests/z80/sieve.bin not built (build the tests first)\n");
        return 1;
    }
    const double core = core_rate(image);
    const double engine = engine_rate(image);
    std::printf("core (z_tick, plain callbacks): %.1f million T-states/s\n", core / 1e6);
    std::printf("quillane-run (engine, machine callbacks): %.1f million T-states/s\n",
                engine / 1e6);
    std::printf("quillane-run / core: %.2f (target 0.80 or more)\n", engine / core);
    return 0;
}
