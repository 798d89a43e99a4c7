// What a stop in C costs the debugger's views: `print` of a struct of 20 fields, and `locals` of
// the tenth frame of a recursion (the stack walked from the innermost frame each time), as the
// console, the window's panes and DAP all make them. Prints the times (target: each under 5 ms).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "debug/core/engine.h"
#include "debug/front/commands.h"
#include "debug/front/session.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

void fail(const std::string &what) {
    std::fprintf(stderr, "bench_values: %s\n", what.c_str());
    std::exit(1);
}

// Boots the monitor and runs bench/c/values.c to the bottom of its recursion.
dbg_engine_t *stopped_at_the_bottom() {
    emu_power_on(&emu_state);
    dbg_engine_t *e = dbg_session_attach(&emu_state, DBG_INLINE);
    const std::string rom = QUILLANE_BUILD_DIR "/tessik.hex";
    const std::string image = QUILLANE_BUILD_DIR "/bench/values.ihx";
    std::string error;
    if (!dbg_load_image(e, rom, &error, nullptr, true) || !dbg_load_image(e, image, &error))
        fail(error);
    dbg_set_rom_path(e, rom);
    if (!dbg_debug_info_load(e, image, {QUILLANE_SOURCE_DIR "/bench/c"}, &error)) fail(error);
    if (!dbg_type(e, "g 8000\n", true, &error)) fail(error);
    dbg_set_tick_limit(e, dbg_ticks(e) + 200000000);
    for (const char *line : {"break depth if n == 0", "continue"})
        if (dbg_execute(e, line).error) fail(line);
    if (dbg_last_stop(e).cause != DBG_CAUSE_BREAKPOINT) fail("the recursion's bottom not reached");
    return e;
}

dbg_engine_t *engine() {
    static dbg_engine_t *e = stopped_at_the_bottom();
    return e;
}

void BM_print_struct_of_20_fields(benchmark::State &state) {
    dbg_engine_t *e = engine();
    for (auto _ : state) {
        const dbg_result_t r = dbg_execute(e, "print w");
        if (r.error) fail(r.output);
        benchmark::DoNotOptimize(r.output);
    }
}
BENCHMARK(BM_print_struct_of_20_fields)->Unit(benchmark::kMillisecond);

void BM_locals_of_the_tenth_frame(benchmark::State &state) {
    dbg_engine_t *e = engine();
    for (auto _ : state) {
        if (dbg_execute(e, "frame 10").error) fail("no frame 10");
        const dbg_result_t r = dbg_execute(e, "locals");
        if (r.error) fail(r.output);
        benchmark::DoNotOptimize(r.output);
    }
}
BENCHMARK(BM_locals_of_the_tenth_frame)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
