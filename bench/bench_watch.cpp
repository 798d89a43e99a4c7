// Setting and deleting many watchpoints through the command language: 10,000 `watch` commands of
// 16-byte ranges (overlapping, spread over RAM), then their `delete`s, on an attached engine. Each
// command touches only its own range's addresses, so the whole set takes milliseconds.
#include <benchmark/benchmark.h>

#include <string>

#include "debug/core/engine.h"
#include "debug/front/commands.h"
#include "debug/front/session.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

constexpr int ranges = 10000;

emu_t machine;

std::string range_text(int i) {
    return dbg_hex4(0x2000u + static_cast<unsigned>(i) * 5u % 0xD000u);
}

void BM_watch_set(benchmark::State &state) {
    emu_power_on(&machine);
    dbg_engine_t *e = dbg_session_attach(&machine, DBG_INLINE);
    for (auto _ : state) {
        for (int i = 0; i < ranges; ++i) {
            const dbg_result_t r = dbg_execute(e, "watch write " + range_text(i) + " 10");
            if (r.error) state.SkipWithError(r.output.c_str());
        }
        state.PauseTiming();
        dbg_delete_all(e);
        state.ResumeTiming();
    }
    state.counters["ranges"] = ranges;
    state.counters["ranges_per_s"] =
        benchmark::Counter(static_cast<double>(ranges) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    dbg_detach(e);
}
BENCHMARK(BM_watch_set)->Unit(benchmark::kMillisecond);

void BM_watch_set_and_delete(benchmark::State &state) {
    emu_power_on(&machine);
    dbg_engine_t *e = dbg_session_attach(&machine, DBG_INLINE);
    for (auto _ : state) {
        for (int i = 0; i < ranges; ++i)
            dbg_execute(e, "watch read " + range_text(i) + " 10");
        // Newest first, the order a user unwinds them in.
        for (int i = ranges; i >= 1; --i) {
            const dbg_result_t r = dbg_execute(e, "delete " + std::to_string(i));
            if (r.error) state.SkipWithError(r.output.c_str());
        }
        state.PauseTiming();
        e = dbg_session_attach(&machine, DBG_INLINE); // numbers start at 1 again
        state.ResumeTiming();
    }
    state.counters["ranges"] = ranges;
    dbg_detach(e);
}
BENCHMARK(BM_watch_set_and_delete)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
