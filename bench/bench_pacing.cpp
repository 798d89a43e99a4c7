// Pacing of the processor thread: the real thread running a program for five seconds, against a
// bare loop with the same counter, lock and arithmetic around an empty tick; and how long a reset,
// a load and a save wait for the machine lock meanwhile.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "debug/core/engine.h"
#include "debug/front/session.h"
#include "debug/travel/history.h"
#include "files/file.h"
#include "machine/counter.h"
#include "machine/emu.h"
#include "machine/pacing.h"
#include "machine/process.h"

namespace {

using bench_clock = std::chrono::steady_clock;
constexpr double run_seconds = 5.0;

// Counts its passes in a 32-bit word at 0x8000; each pass copies a byte to the screen, programs
// the sound generator, moves 16 bytes with LDIR and reads the keyboard port.
const uint8_t program[] = {
    0x31, 0x00, 0x00,             // 0000 LD SP,0
    0x21, 0x00, 0x80,             // 0003 loop: LD HL,8000h
    0x34, 0x20, 0x0C,             // 0006 INC (HL) / JR NZ,body
    0x23, 0x34, 0x20, 0x08,       // 0009 INC HL / INC (HL) / JR NZ,body
    0x23, 0x34, 0x20, 0x04,       // 000D
    0x23, 0x34, 0x00, 0x00,       // 0011 INC HL / INC (HL) / NOP / NOP
    0x3A, 0x00, 0x80,             // 0015 body: LD A,(8000h)
    0x32, 0x00, 0x20,             // 0018 LD (2000h),A
    0x3E, 0x08, 0xD3, 0x0D,       // 001B LD A,8 / OUT (0Dh),A
    0x3A, 0x00, 0x80, 0xD3, 0x0C, // 001F LD A,(8000h) / OUT (0Ch),A
    0x01, 0x10, 0x00,             // 0024 LD BC,16
    0x11, 0x00, 0x90,             // 0027 LD DE,9000h
    0x21, 0x00, 0x81,             // 002A LD HL,8100h
    0xED, 0xB0,                   // 002D LDIR
    0xDB, 0x11,                   // 002F IN A,(11h)
    0xC3, 0x03, 0x00,             // 0031 JP loop
};

uint32_t read_passes(emu_t *emu) {
    uint32_t passes = 0;
    for (int i = 3; i >= 0; --i)
        passes = passes << 8 |
                 std::atomic_ref<uint8_t>(emu->memory[0x8000 + i]).load(std::memory_order_relaxed);
    return passes;
}

void machine_init(emu_t *emu) {
    std::memset(emu->memory, 0, sizeof emu->memory);
    std::memcpy(emu->memory, program, sizeof program);
    emu->cpu_clock_hz = 10000000.0f;
    emu->frame_rate_hz = 60.0f;
    z_init(&emu->cpu, emu_mem_read_callback, emu_mem_write_callback, emu_io_read_callback,
           emu_io_write_callback, emu_exception_callback, emu_halt_callback, emu->memory);
    ay_init(&emu->psg, EMU_PSG_CLOCK_HZ, EMU_PSG_SAMPLE_RATE_HZ);
    kbd_initialize(&emu->kbd);
    emu_lock_init(&emu->lock);
}

// T-states per pass of the program, measured by running it unpaced.
double ticks_per_pass(emu_t *emu) {
    machine_init(emu);
    const uint64_t ticks = 20000000;
    for (uint64_t i = 0; i < ticks; ++i)
        z_tick(&emu->cpu);
    return static_cast<double>(ticks) / read_passes(emu);
}

struct wait_stats {
    std::vector<double> us;
    void add(bench_clock::duration d) {
        us.push_back(std::chrono::duration<double, std::micro>(d).count());
    }
    void print(const char *what) {
        std::sort(us.begin(), us.end());
        double sum = 0;
        for (double v : us)
            sum += v;
        std::printf("  %-6s lock wait: mean %8.2f us, max %8.2f us over %zu tries\n", what,
                    sum / us.size(), us.back(), us.size());
    }
};

template <class Counter> double bare_loop_rate() {
    emu_lock_t lock;
    emu_lock_init(&lock);
    int32_t running = 1;
    uint64_t ticks = 0;
    std::thread thread([&] {
        emu_pace_ticks<Counter>(&running, 10000000.0f, [&] {
            emu_lock_enter(&lock);
            ++ticks; // the empty tick
            emu_lock_leave(&lock);
        });
    });
    const auto t0 = bench_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(run_seconds));
    std::atomic_ref<int32_t>(running).store(0, std::memory_order_relaxed);
    thread.join();
    const double seconds = std::chrono::duration<double>(bench_clock::now() - t0).count();
    return ticks / seconds;
}

// The real processor thread alone (no lock traffic) for run_seconds, with the debug engine
// attached and `breakpoints` breakpoints set at addresses the program never reaches, so that with
// any set the thread checks them at every instruction; with the time-travel history kept (as
// attaching does) or turned off.
double thread_rate(emu_t *emu, double per_pass, int breakpoints, bool history = true) {
    machine_init(emu);
    dbg_engine_t *e = dbg_session_attach(emu, DBG_THREADED);
    if (!history) dbg_history_start(e, 0);
    for (int i = 0; i < breakpoints; ++i)
        dbg_break_add(e, static_cast<uint16_t>(0x4000 + 0x1000 * i), 0);
    emu_set_running(emu, 1);
    const auto t0 = bench_clock::now();
    std::thread cpu_thread(emu_cpu_thread_handler, emu);
    std::this_thread::sleep_for(std::chrono::duration<double>(run_seconds));
    emu_set_running(emu, 0);
    cpu_thread.join();
    const double seconds = std::chrono::duration<double>(bench_clock::now() - t0).count();
    dbg_detach(e);
    return read_passes(emu) * per_pass / seconds;
}

} // namespace

// With --thread-only, measures only the processor thread (bench_window_clock.sh compares the
// running program against this figure).
int main(int argc, char **argv) {
    const bool thread_only = argc > 1 && std::strcmp(argv[1], "--thread-only") == 0;
    emu_t *emu = &emu_state;
    const bool tsc = emu_counter_tsc_usable();
    std::printf("counter: %s", tsc ? "time-stamp counter" : "system clock");
    if (tsc) std::printf(" at %.0f Hz", emu_counter_tsc_frequency());
    std::printf("\n");

    const double per_pass = ticks_per_pass(emu);
    std::printf("program: %.2f T-states per pass\n", per_pass);

    char dir[] = "/tmp/quillane-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string image = std::string(dir) + "/image.hex";
    const std::string saved = std::string(dir) + "/saved.hex";

    machine_init(emu);
    // A 4 KB image at 0xA000 to load while the program runs.
    std::vector<uint8_t> block(EMU_MEMORY_SIZE, 0x5A);
    emu_save_ihex_file(image.c_str(), 0xA000, 0x1000, block.data(), EMU_MEMORY_SIZE);

    emu_set_running(emu, 1);
    const auto t0 = bench_clock::now();
    std::thread cpu_thread(emu_cpu_thread_handler, emu);

    wait_stats reset_wait, load_wait, save_wait;
    uint32_t passes_lost_to_resets = 0;
    while (bench_clock::now() - t0 < std::chrono::duration<double>(run_seconds)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        auto w = bench_clock::now();
        emu_lock_enter(&emu->lock);
        load_wait.add(bench_clock::now() - w);
        uint16_t start;
        emu_load_ihex_file(image.c_str(), &start, emu->memory, EMU_MEMORY_SIZE);
        emu_lock_leave(&emu->lock);

        w = bench_clock::now();
        emu_lock_enter(&emu->lock);
        save_wait.add(bench_clock::now() - w);
        emu_save_ihex_file(saved.c_str(), 0x8000, 0x1000, emu->memory, EMU_MEMORY_SIZE);
        emu_lock_leave(&emu->lock);

        // Reset through the machine's own function; the pass count survives in RAM.
        w = bench_clock::now();
        emu_reset(emu);
        reset_wait.add(bench_clock::now() - w);
        ++passes_lost_to_resets;
    }
    emu_set_running(emu, 0);
    cpu_thread.join();
    const double seconds = std::chrono::duration<double>(bench_clock::now() - t0).count();
    // Each reset abandons at most one pass in progress and re-runs the 10 T-state LD SP.
    const double real_rate = (read_passes(emu) * per_pass) / seconds;
    std::printf("processor thread: %.3f million ticks/s (%.1f s, %u resets, loads and saves)\n",
                real_rate / 1e6, seconds, passes_lost_to_resets);
    if (thread_only) return 0;
    reset_wait.print("reset");
    load_wait.print("load");
    save_wait.print("save");

    const double bare =
        tsc ? bare_loop_rate<emu_tsc_counter>() : bare_loop_rate<emu_clock_counter>();
    std::printf("bare loop (same counter and lock, empty tick): %.3f million ticks/s\n",
                bare / 1e6);
    std::printf("processor thread (with the lock traffic) / bare loop: %.1f %%\n",
                100.0 * real_rate / bare);
    // The thread alone, between two more measurements of the bare loop (the host's other load
    // varies; their mean is the reference).
    const double free_run = thread_rate(emu, per_pass, 0);
    const double with_breakpoints = thread_rate(emu, per_pass, 4);
    const double no_history = thread_rate(emu, per_pass, 0, false);
    const double bare_again =
        tsc ? bare_loop_rate<emu_tsc_counter>() : bare_loop_rate<emu_clock_counter>();
    const double reference = (bare + bare_again) / 2;
    std::printf("bare loop again: %.3f million ticks/s\n", bare_again / 1e6);
    std::printf("processor thread alone, engine attached, no breakpoints: %.3f million ticks/s, "
                "%.1f %% of the bare loop (target 98 %% or more)\n",
                free_run / 1e6, 100.0 * free_run / reference);
    std::printf("processor thread alone, 4 breakpoints: %.3f million ticks/s, %.1f %% of the "
                "bare loop (target 95 %% or more)\n",
                with_breakpoints / 1e6, 100.0 * with_breakpoints / reference);
    std::printf("processor thread alone, engine attached, history off: %.3f million ticks/s; "
                "keeping the history costs %.1f %% (target under 2 %%)\n",
                no_history / 1e6, 100.0 * (no_history - free_run) / no_history);
    if (tsc) {
        const double clock = bare_loop_rate<emu_clock_counter>();
        std::printf("for comparison, bare loop on the system clock: %.3f million ticks/s\n",
                    clock / 1e6);
    }
    unlink(image.c_str());
    unlink(saved.c_str());
    rmdir(dir);
    return 0;
}
