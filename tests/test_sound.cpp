// Rendering the generator into the audio stream: mixing, clamping, ports and the buffer ring.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <iterator>
#include <random>
#include <thread>
#include <vector>

#include "devices/sound.h"

namespace {

struct Stream : ::testing::Test {
    ay_t ay{};
    snd_t snd{};
    void SetUp() override { ay_init(&ay, 1789772, 44100); }
    void write(uint8_t reg, uint8_t value) {
        snd_write_register(&ay, reg);
        snd_write_value(&ay, value);
    }
};

TEST_F(Stream, SilenceAndClamping) {
    int32_t values[64];
    emu_snd_render_buffer(&ay, values, 64);
    for (int32_t v : values)
        EXPECT_EQ(v, 0);
    // Three tones at full amplitude in the same phase sum past 16 bits.
    write(7, 0x38);
    for (uint8_t r : {8, 9, 10})
        write(r, 15);
    for (uint8_t r : {0, 2, 4})
        write(r, 100); // long periods: no toggle within a few values
    emu_snd_render_buffer(&ay, values, 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(values[i], 32767);
    for (int x = 0; x < 3; ++x)
        ay.phase[x] = 1;
    emu_snd_render_buffer(&ay, values, 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(values[i], -32768);
}

TEST_F(Stream, PortsSelectOnlyExistingRegisters) {
    write(14, 0x55);
    write(15, 0x66);
    for (uint8_t r : ay.regs)
        EXPECT_EQ(r, 0);
    snd_write_register(&ay, 0x1F);
    EXPECT_EQ(ay.selected, 15);
    snd_write_value(&ay, 0x77);
    for (uint8_t r : ay.regs)
        EXPECT_EQ(r, 0);
    snd_write_register(&ay, 0x23); // selects R3
    snd_write_value(&ay, 0xF5);
    EXPECT_EQ(ay.regs[3], 0xF5) << "stored as written";
}

TEST_F(Stream, RingPlaysEachValueAsTwoHalvesAndRotates) {
    snd_ring_init(&snd, &ay);
    snd_ring_prime(&snd);
    snd.buffers[0][0] = -5;
    snd.buffers[0][1] = 7;
    snd.buffers[1][0] = 1234;
    std::vector<uint8_t> stream(SND_BUFFER_BYTES);
    snd_ring_fill(&snd, stream.data(), static_cast<int>(stream.size()));
    int16_t samples[4];
    std::memcpy(samples, stream.data(), sizeof samples);
    EXPECT_EQ(samples[0], -5);
    EXPECT_EQ(samples[1], -1);
    EXPECT_EQ(samples[2], 7);
    EXPECT_EQ(samples[3], 0);
    // Buffer 0 went to the back; half a request then continues in buffer 1.
    EXPECT_EQ(snd.queue[0], 1u);
    EXPECT_EQ(snd.queue[3], 0u);
    EXPECT_EQ(snd.buffers[0][0], 0) << "buffer 0 rendered again from the silent generator";
    // The next request starts in buffer 1.
    snd_ring_fill(&snd, stream.data(), 2);
    std::memcpy(samples, stream.data(), 2);
    EXPECT_EQ(samples[0], 1234);
    EXPECT_EQ(snd.underruns, 0u);
}

// Two tones and no noise, so the generator's output does not depend on the random source.
void configure_tones(ay_t *ay) {
    snd_write_register(ay, 7);
    snd_write_value(ay, 0x3C);
    const uint8_t settings[][2] = {{0, 30}, {8, 12}, {2, 7}, {9, 5}};
    for (const auto &s : settings) {
        snd_write_register(ay, s[0]);
        snd_write_value(ay, s[1]);
    }
}

TEST_F(Stream, RingStreamIsTheGeneratorsSequenceInOrder) {
    // Whatever the request sizes, the stream is the generator's values one after the other, each
    // as its low then its high half: the four primed buffers first, then each buffer rendered
    // again as it is used up. Silence while muted (a paused machine) leaves no gap in it.
    configure_tones(&ay);
    ay_t twin{};
    ay_init(&twin, 1789772, 44100);
    configure_tones(&twin);
    const uint32_t total_values = 9 * SND_BUFFER_VALUES + 100;
    std::vector<int32_t> expected(total_values);
    emu_snd_render_buffer(&twin, expected.data(), total_values);

    snd_ring_init(&snd, &ay);
    snd_ring_prime(&snd);
    std::vector<uint8_t> stream;
    const int sizes[] = {1000, 2, 6, 1024, 4096, 512, 330};
    for (size_t i = 0; stream.size() < total_values * 4; ++i) {
        const int size = sizes[i % std::size(sizes)];
        const size_t at = stream.size();
        stream.resize(at + static_cast<size_t>(size));
        snd_ring_fill(&snd, stream.data() + at, size);
        if (i == 3) {
            snd_set_muted(&snd, true);
            std::vector<uint8_t> silence(3000, 0xAA);
            snd_ring_fill(&snd, silence.data(), static_cast<int>(silence.size()));
            for (uint8_t b : silence)
                ASSERT_EQ(b, 0);
            snd_set_muted(&snd, false);
        }
    }
    bool has_negative = false, has_positive = false;
    for (uint32_t i = 0; i < total_values; ++i) {
        int16_t low, high;
        std::memcpy(&low, stream.data() + 4 * i, 2);
        std::memcpy(&high, stream.data() + 4 * i + 2, 2);
        ASSERT_EQ(low, expected[i]) << "value " << i;
        ASSERT_EQ(high, expected[i] < 0 ? -1 : 0) << "value " << i;
        has_negative |= expected[i] < 0;
        has_positive |= expected[i] > 0;
    }
    EXPECT_TRUE(has_negative && has_positive) << "the tones must swing both ways";
    EXPECT_EQ(snd.played, static_cast<uint32_t>(stream.size() / SND_BUFFER_BYTES));
    EXPECT_EQ(snd.underruns, 0u);
}

TEST_F(Stream, RegisterWritesRacingTheRing) {
    // The processor thread writes registers (and a reset clears them) while the audio thread
    // renders; the last settings written must be the ones heard once the queued buffers are out.
    snd_ring_init(&snd, &ay);
    snd_ring_prime(&snd);
    std::atomic<bool> done{false};
    std::thread processor([this, &done] {
        std::mt19937 random(7);
        for (int i = 0; i < 20000; ++i) {
            snd_write_register(&ay, static_cast<uint8_t>(random()));
            snd_write_value(&ay, static_cast<uint8_t>(random()));
            if (i % 5000 == 0) ay_reset(&ay);
        }
        snd_write_register(&ay, 7);
        snd_write_value(&ay, 0x3F); // everything off
        done.store(true);
    });
    std::vector<uint8_t> stream(SND_BUFFER_BYTES);
    while (!done.load())
        snd_ring_fill(&snd, stream.data(), static_cast<int>(stream.size()));
    processor.join();
    // Four buffers rendered before the last write may still be queued; after them, silence.
    for (uint32_t i = 0; i < SND_BUFFER_COUNT; ++i)
        snd_ring_fill(&snd, stream.data(), static_cast<int>(stream.size()));
    for (int i = 0; i < 3; ++i) {
        snd_ring_fill(&snd, stream.data(), static_cast<int>(stream.size()));
        for (uint8_t b : stream)
            ASSERT_EQ(b, 0);
    }
    EXPECT_EQ(snd.underruns, 0u);
}

TEST_F(Stream, UnprimedRingPlaysSilence) {
    snd_ring_init(&snd, &ay);
    std::vector<uint8_t> stream(64, 0xAA);
    snd_ring_fill(&snd, stream.data(), 64);
    for (uint8_t b : stream)
        EXPECT_EQ(b, 0);
}

// A request of 1024 bytes (512 samples) lasts 11 609 977 ns at 44100 Hz. Requests that come in
// early only push the end of the handed-out audio further; the first one that comes after that
// end is a gap.
TEST_F(Stream, UnderrunIsARequestLaterThanTheAudioBeforeItLasts) {
    snd_ring_init(&snd, &ay);
    const uint64_t t0 = 5'000'000'000ull, lasts = 11'609'977ull;
    snd_note_request(&snd, t0, 1024);
    snd_note_request(&snd, t0 + lasts, 1024); // right at the end: no gap
    snd_note_request(&snd, t0 + lasts + 1000, 1024);
    EXPECT_EQ(snd.underruns, 0u);
    snd_note_request(&snd, t0 + 3 * lasts + 1, 1024);
    EXPECT_EQ(snd.underruns, 1u);
    // After the gap the audio lasts from the late request on.
    snd_note_request(&snd, t0 + 4 * lasts + 1, 1024);
    EXPECT_EQ(snd.underruns, 1u);
    snd_note_request(&snd, t0 + 4 * lasts + 2, 1024);
    snd_note_request(&snd, t0 + 6 * lasts + 1, 1024);
    EXPECT_EQ(snd.underruns, 1u);
    snd_note_request(&snd, t0 + 7 * lasts + 3, 1024);
    EXPECT_EQ(snd.underruns, 2u);
}

// The same on the real clock: a callback held back for 50 ms after 11.6 ms of audio is a gap.
TEST_F(Stream, DelayedCallbackOnTheSteadyClockIsCounted) {
    snd_ring_init(&snd, &ay);
    snd_note_request(&snd, snd_clock_ns(), 1024);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    snd_note_request(&snd, snd_clock_ns(), 1024);
    EXPECT_EQ(snd.underruns, 1u);
}

} // namespace
