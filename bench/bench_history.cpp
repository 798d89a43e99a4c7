// Time travel's costs on tests/z80/travel.bin (a loop that writes memory every pass) run by the
// inline executor as quillane-run does:
//   BM_back_one_instruction/10 and /60: `back 1` after 10 s and 60 s of board time run with
//     nothing set (the quiet path, where the snapshots fall due by board time alone), standing
//     just before the next periodic snapshot (the longest replay there is). Targets: under 50 ms,
//     and the process's peak memory (counter peak_MB) under 100 MB.
//   BM_rcontinue_whole_history: `rcontinue` after a quiet run of 10 s, with a breakpoint that
//     nothing reaches, so it replays all the history keeps back to its start. Target: under 1 s.
//   BM_history_cost: board seconds run unpaced with the history off, then on and full; the
//     counters give both speeds in emulated MHz and the history's cost in percent of the speed
//     (processor time). The paced window's cost is in bench_pacing.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "debug/core/engine.h"
#include "debug/front/session.h"
#include "debug/travel/history.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

constexpr uint64_t second = 10000000;

dbg_engine_t *start_machine() {
    emu_t *emu = &emu_state;
    emu_power_on(emu);
    dbg_engine_t *e = dbg_session_attach(emu, DBG_INLINE);
    std::ifstream in(std::string(QUILLANE_BUILD_DIR) + "/tests/z80/travel.bin", std::ios::binary);
    const std::vector<char> image{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    if (image.empty()) {
        std::fprintf(stderr, "tests/z80/travel.bin is missing: build z80_test_programs\n");
        std::abort();
    }
    for (size_t i = 0; i < image.size(); ++i)
        emu->memory[0x8000 + i] = static_cast<uint8_t>(image[i]);
    emu->cpu.PC = 0x8000;
    dbg_history_start(e, DBG_HISTORY_SECONDS);
    return e;
}

// Runs until just before the next periodic snapshot after `ticks` more T-states.
void run_to_segment_end(dbg_engine_t *e, uint64_t ticks) {
    dbg_run_ticks(e, ticks);
    const uint64_t next = dbg_history_next_tick(e);
    if (next > dbg_ticks(e) + 50) dbg_run_ticks(e, next - dbg_ticks(e) - 50);
}

// The process's peak resident memory so far, in MB.
double peak_mb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_back_one_instruction(benchmark::State &state) {
    dbg_engine_t *e = start_machine();
    run_to_segment_end(e, static_cast<uint64_t>(state.range(0)) * second);
    dbg_stop_t stop;
    std::string error;
    for (auto _ : state) {
        state.PauseTiming();
        run_to_segment_end(e, second / 20);
        state.ResumeTiming();
        if (!dbg_back(e, 1, &stop, &error)) state.SkipWithError(error.c_str());
    }
    state.counters["peak_MB"] = peak_mb();
}
BENCHMARK(BM_back_one_instruction)->Arg(10)->Arg(60)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_rcontinue_whole_history(benchmark::State &state) {
    dbg_engine_t *e = start_machine();
    dbg_stop_t stop;
    std::string error;
    for (auto _ : state) {
        state.PauseTiming();
        dbg_delete_all(e);
        dbg_history_start(e, DBG_HISTORY_SECONDS);
        run_to_segment_end(e, 10 * second);
        dbg_break_add(e, 0x7FFF, 0);
        state.ResumeTiming();
        if (!dbg_rcontinue(e, &stop, &error)) state.SkipWithError(error.c_str());
    }
    state.counters["peak_MB"] = peak_mb();
}
BENCHMARK(BM_rcontinue_whole_history)->Unit(benchmark::kMillisecond)->Iterations(3);

// Processor time of one board second run unpaced: other programs on a shared host weigh less on
// it than on the wall clock.
double run_seconds(dbg_engine_t *e) {
    const std::clock_t begin = std::clock();
    dbg_run_ticks(e, second);
    return static_cast<double>(std::clock() - begin) / CLOCKS_PER_SEC;
}

void BM_history_cost(benchmark::State &state) {
    dbg_engine_t *e = start_machine();
    // Without the history, then with one already holding its 10 s (the steady state, where each
    // snapshot reuses the memory of the one it drops).
    dbg_history_start(e, 0);
    double off = 0, on = 0;
    for (auto _ : state)
        off += run_seconds(e);
    dbg_history_start(e, DBG_HISTORY_SECONDS);
    dbg_run_ticks(e, 11 * second);
    const double n = static_cast<double>(state.iterations());
    for (int64_t i = 0; i < state.iterations(); ++i)
        on += run_seconds(e);
    state.counters["off_MHz"] = n * second / off / 1e6;
    state.counters["on_MHz"] = n * second / on / 1e6;
    state.counters["cost_percent"] = 100.0 * (on - off) / off;
}
BENCHMARK(BM_history_cost)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

BENCHMARK_MAIN();
