// The high-resolution counter that paces the emulation threads. The processor thread reads it
// once per pass of its loop, ten million times a second, so its cost bounds the emulated clock:
// the time-stamp counter costs about 11 ns a read on the machines here, the system clock about
// 27 ns. The time-stamp counter is used where it runs at a constant rate, calibrated once against
// the system clock; elsewhere the system clock is.
#pragma once

#include <chrono>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#define EMU_COUNTER_HAS_TSC 1
#else
#define EMU_COUNTER_HAS_TSC 0
#endif

// True when the time-stamp counter runs at a constant rate on this host.
bool emu_counter_tsc_usable();
// Counts per second of the time-stamp counter (calibrated on first use).
double emu_counter_tsc_frequency();

struct emu_tsc_counter {
    static double frequency() { return emu_counter_tsc_frequency(); }
    static uint64_t now() {
#if EMU_COUNTER_HAS_TSC
        return __rdtsc();
#else
        return 0;
#endif
    }
};

struct emu_clock_counter {
    static double frequency() { return 1e9; }
    static uint64_t now() {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }
};
