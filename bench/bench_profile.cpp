// The cost of profiling and coverage: test programs (multiply and divide subroutines, which call
// and return all the time, and a bit-map sieve) run as quillane-run runs them (the board's
// machine record under the debug engine's inline executor), plainly, while profiling and while
// covering. Prints each mode's time against the plain run's: profiling should take at most 2
// times as long, coverage at most 1.3 times.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cpu/zcpu.h"
#include "debug/collect/coverage.h"
#include "debug/collect/profile.h"
#include "debug/core/engine.h"
#include "debug/front/session.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

enum mode_t { PLAIN, PROFILE, COVERAGE };

std::vector<char> program(const char *name) {
    std::ifstream in(std::string(QUILLANE_BUILD_DIR) + "/tests/z80/" + name + ".bin",
                     std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A machine with the program at 0000, attached inline, collecting as the mode asks.
dbg_engine_t *start(const std::vector<char> &image, mode_t mode) {
    emu_t *emu = &emu_state;
    emu_power_on(emu);
    std::memcpy(emu->memory, image.data(), image.size());
    dbg_engine_t *e = dbg_session_attach(emu, DBG_INLINE);
    if (mode == PROFILE) dbg_profile_start(e);
    if (mode == COVERAGE) dbg_coverage_start(e);
    return e;
}

// Runs ticks T-states, restarting the program at each HALT.
void run(dbg_engine_t *e, uint64_t ticks) {
    const uint64_t end = dbg_ticks(e) + ticks;
    while (dbg_ticks(e) < end)
        if (dbg_run_ticks(e, end - dbg_ticks(e)).cause == DBG_CAUSE_HALT) z_reset(&emu_state.cpu);
}

void finish(dbg_engine_t *e) {
    dbg_profile_stop(e);
    dbg_coverage_stop(e);
    dbg_detach(e);
}

void BM_run(benchmark::State &state, const char *name, mode_t mode) {
    const std::vector<char> image = program(name);
    if (image.empty()) {
        state.SkipWithError("test programs not built (build the tests first)");
        return;
    }
    dbg_engine_t *e = start(image, mode);
    uint64_t ticks = 0;
    for (auto _ : state) {
        run(e, 1000000);
        ticks += 1000000;
    }
    finish(e);
    state.counters["T-states/s"] =
        benchmark::Counter(static_cast<double>(ticks), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(BM_run, muldiv_plain, "muldiv", PLAIN)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_run, muldiv_profile, "muldiv", PROFILE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_run, muldiv_coverage, "muldiv", COVERAGE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_run, sieve_plain, "sieve", PLAIN)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_run, sieve_profile, "sieve", PROFILE)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_run, sieve_coverage, "sieve", COVERAGE)->Unit(benchmark::kMillisecond);

// Processor time of a run of 20 board seconds, in milliseconds (processor time rather than wall
// time, since the machine may be shared).
double run_ms(const std::vector<char> &image, mode_t mode) {
    dbg_engine_t *e = start(image, mode);
    timespec begin, end;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &begin);
    run(e, 200000000);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
    finish(e);
    return (end.tv_sec - begin.tv_sec) * 1e3 + (end.tv_nsec - begin.tv_nsec) / 1e6;
}

void print_figures() {
    for (const char *name : {"muldiv", "sieve"}) {
        const std::vector<char> image = program(name);
        if (image.empty()) {
            std::printf("%s: not built (build the tests first)\n", name);
            continue;
        }
        // The best of five of each, taken in turns so that a busy moment hits all alike.
        double best[3] = {1e30, 1e30, 1e30};
        for (int i = 0; i < 5; ++i)
            for (mode_t mode : {PLAIN, PROFILE, COVERAGE})
                best[mode] = std::min(best[mode], run_ms(image, mode));
        const double profile = best[PROFILE] / best[PLAIN];
        const double coverage = best[COVERAGE] / best[PLAIN];
        std::printf("%s, 20 board seconds: plain %.0f ms; profiling %.2fx (target at most 2x): "
                    "%s; coverage %.2fx (target at most 1.3x): %s\n",
                    name, best[PLAIN], profile, profile <= 2.0 ? "met" : "NOT met", coverage,
                    coverage <= 1.3 ? "met" : "NOT met");
    }
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    print_figures();
    return 0;
}
