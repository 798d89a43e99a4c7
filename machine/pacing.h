// The pacing loops of the two emulation threads, written once for any counter and any work so
// that the benchmark can run the very same loop around an empty tick.
#pragma once

#include "machine/relaxed.h"
#include <atomic>
#include <cmath>
#include <cstdint>
#include <thread>

static inline int32_t emu_pacing_running(int32_t *running) {
    return emu_relaxed_load(*running);
}

// Runs tick() whenever at least 1 / clock_hz seconds have passed since the previous one: at most
// one tick per pass, and the accumulated time is reset to zero rather than reduced, so time beyond
// one period is dropped and never caught up. Loops while *running is exactly 1.
template <class Counter, class Tick>
void emu_pace_ticks(int32_t *running, float clock_hz, Tick &&tick) {
    const double ms_per_count = 1000.0 / Counter::frequency();
    const double threshold = static_cast<double>(1000.0f / clock_hz);
    uint64_t last = Counter::now();
    double elapsed = 0.0;
    do {
        const uint64_t now = Counter::now();
        elapsed += static_cast<double>(now - last) * ms_per_count;
        last = now;
        if (elapsed >= threshold) {
            tick();
            elapsed = 0.0;
        }
    } while (emu_pacing_running(running) == 1);
}

// Runs render() each time more than 1 / frame_rate_hz seconds have accumulated. Between frames it
// sleeps the whole milliseconds left once fewer than floor(period - 1) remain, and spins otherwise,
// so that the host's coarse sleep never makes a frame late.
struct emu_thread_sleeper {
    static void sleep_ms(int64_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

template <class Counter, class Render, class Sleeper = emu_thread_sleeper>
void emu_pace_frames(int32_t *running, float frame_rate_hz, Render &&render) {
    const double ms_per_count = 1000.0 / Counter::frequency();
    const double period = static_cast<double>(1000.0f / frame_rate_hz);
    const double sleep_limit = std::floor(period - 1.0);
    uint64_t last = Counter::now();
    double elapsed = 0.0;
    do {
        const uint64_t now = Counter::now();
        elapsed += static_cast<double>(now - last) * ms_per_count;
        last = now;
        if (elapsed > period) {
            render();
            elapsed = 0.0;
        } else {
            const double remaining = std::floor(period - elapsed);
            if (remaining > 0 && remaining < sleep_limit)
                Sleeper::sleep_ms(static_cast<int64_t>(remaining));
        }
    } while (emu_pacing_running(running) == 1);
}
