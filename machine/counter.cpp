#include "machine/counter.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

bool emu_counter_tsc_usable() {
#if EMU_COUNTER_HAS_TSC
    static const bool usable = [] {
        // The kernel lists constant_tsc and nonstop_tsc among the processor's flags when the
        // counter ticks at one rate whatever the power state.
        FILE *f = std::fopen("/proc/cpuinfo", "r");
        if (!f) return false;
        bool constant = false, nonstop = false;
        char line[4096];
        while (std::fgets(line, sizeof line, f)) {
            if (std::strncmp(line, "flags", 5) != 0) continue;
            constant = std::strstr(line, " constant_tsc") != nullptr;
            nonstop = std::strstr(line, " nonstop_tsc") != nullptr;
            break;
        }
        std::fclose(f);
        return constant && nonstop;
    }();
    return usable;
#else
    return false;
#endif
}

double emu_counter_tsc_frequency() {
    static std::once_flag once;
    static double frequency = 0.0;
    std::call_once(once, [] {
        // 50 ms against the system clock: two clock reads of some 30 ns each bound the error
        // to about one part in a million.
        const uint64_t c0 = emu_clock_counter::now();
        const uint64_t t0 = emu_tsc_counter::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const uint64_t c1 = emu_clock_counter::now();
        const uint64_t t1 = emu_tsc_counter::now();
        frequency = static_cast<double>(t1 - t0) * 1e9 / static_cast<double>(c1 - c0);
    });
    return frequency;
}
