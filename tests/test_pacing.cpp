// The pacing loops of the emulation threads, driven by a counter that the test moves by hand.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "machine/lock.h"
#include "machine/pacing.h"

namespace {

// A counter at 10 MHz (one count is 100 ns) whose reads follow a script; running drops to 0 when
// the script ends.
struct scripted_counter {
    static inline std::vector<uint64_t> reads;
    static inline size_t next = 0;
    static inline int32_t *running = nullptr;
    static double frequency() { return 10000000.0; }
    static uint64_t now() {
        const uint64_t value = reads[next < reads.size() ? next : reads.size() - 1];
        if (++next >= reads.size()) *running = 0;
        return value;
    }
    static void start(std::vector<uint64_t> script, int32_t *run_flag) {
        reads = std::move(script);
        next = 0;
        running = run_flag;
        *running = 1;
    }
};

struct recording_sleeper {
    static inline std::vector<int64_t> sleeps;
    static void sleep_ms(int64_t ms) { sleeps.push_back(ms); }
};

// For each pass of the loop (each counter read after the first), whether it ran a tick.
std::vector<int> ticks_per_pass(std::vector<uint64_t> script, float clock_hz) {
    int32_t running = 0;
    const size_t passes = script.size() - 1;
    scripted_counter::start(std::move(script), &running);
    std::vector<int> ticked(passes, 0);
    // During pass k (1-based) the counter has been read k + 1 times.
    emu_pace_ticks<scripted_counter>(&running, clock_hz,
                                     [&] { ticked[scripted_counter::next - 2] = 1; });
    return ticked;
}

TEST(Pacing, SlowPassesRunExactlyOneTickEach) {
    // Every pass takes 3 counts (300 ns): one tick per pass, the extra time is dropped.
    EXPECT_EQ(ticks_per_pass({0, 3, 6, 9, 12}, 10000000.0f), (std::vector<int>{1, 1, 1, 1}));
}

TEST(Pacing, FastPassesWaitForTheThreshold) {
    // One count per read is 100 ns, just above the single-precision threshold of 0.0001 ms
    // (9.99999974737875e-05): every pass ticks. At 5 MHz the threshold is 200 ns: every second.
    EXPECT_EQ(ticks_per_pass({0, 1, 2, 3, 4}, 10000000.0f), (std::vector<int>{1, 1, 1, 1}));
    EXPECT_EQ(ticks_per_pass({0, 1, 2, 3, 4, 5, 6}, 5000000.0f),
              (std::vector<int>{0, 1, 0, 1, 0, 1}));
    // Time is never caught up: a long stall earns one tick, then the count starts from zero.
    EXPECT_EQ(ticks_per_pass({0, 1000, 1001, 1002, 1003}, 5000000.0f),
              (std::vector<int>{1, 0, 1, 0}));
    // No time passing, no tick.
    EXPECT_EQ(ticks_per_pass({5, 5, 5, 5}, 10000000.0f), (std::vector<int>{0, 0, 0}));
}

TEST(Pacing, FramesRenderAfterThePeriodAndSleepOnlyNearItsEnd) {
    // Counts of 100 ns; the period at 60 Hz is 16.66666603 ms = 166666.66 counts.
    int32_t running = 0;
    std::vector<uint64_t> script = {0};
    for (uint64_t ms = 1; ms <= 17; ++ms)
        script.push_back(ms * 10000);  // one pass per millisecond
    script.push_back(170000 + 166666); // 16.6666 ms later: not yet strictly above the period
    script.push_back(170000 + 166667); // now it is
    scripted_counter::start(script, &running);
    recording_sleeper::sleeps.clear();
    int frames = 0;
    auto render = [&] { ++frames; };
    emu_pace_frames<scripted_counter, decltype(render) &, recording_sleeper>(&running, 60.0f,
                                                                             render);
    // At 17 ms, and again only once more than the period has passed after it.
    EXPECT_EQ(frames, 2);
    // While 15 or more whole milliseconds remain it spins; with 14 down to 1 left it sleeps them.
    const std::vector<int64_t> expected = {14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1};
    EXPECT_EQ(recording_sleeper::sleeps, expected);
}

TEST(Pacing, FramesRenderOncePerPeriod) {
    int32_t running = 0;
    // Passes every 5 ms for 100 ms.
    std::vector<uint64_t> script;
    for (uint64_t ms = 0; ms <= 100; ms += 5)
        script.push_back(ms * 10000);
    scripted_counter::start(script, &running);
    recording_sleeper::sleeps.clear();
    std::vector<size_t> frames;
    auto render = [&] { frames.push_back(scripted_counter::next - 1); };
    emu_pace_frames<scripted_counter, decltype(render) &, recording_sleeper>(&running, 60.0f,
                                                                             render);
    // Elapsed resets to zero at each frame, so frames come at 20, 40, 60, 80 and 100 ms: the
    // first pass after more than 16.67 ms has accumulated.
    EXPECT_EQ(frames, (std::vector<size_t>{4, 8, 12, 16, 20}));
}

TEST(Lock, SerialisesTwoThreads) {
    emu_lock_t lock;
    emu_lock_init(&lock);
    uint64_t shared = 0; // a plain field, as the processor record is
    auto work = [&] {
        for (int i = 0; i < 200000; ++i) {
            emu_lock_enter(&lock);
            ++shared;
            emu_lock_leave(&lock);
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(shared, 400000u);
}

} // namespace
