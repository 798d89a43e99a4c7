// The sound generator: tone periods, mixer, amplitudes and noise.
#include <gtest/gtest.h>

#include <cstdlib>

#include "devices/ay8913.h"

namespace {

struct Generator : ::testing::Test {
    ay_t ay{};
    void SetUp() override { ay_init(&ay, 1789772, 44100); }
};

TEST_F(Generator, SilentAfterInit) {
    EXPECT_EQ(ay_ticks_per_sample(&ay), 5u);
    for (int i = 0; i < 50; ++i) {
        ay_tick(&ay, 10, static_cast<uint16_t>(i * 999));
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(ay.out_tone[x], 0);
            EXPECT_EQ(ay.out_noise[x], 0);
        }
    }
}

TEST_F(Generator, ToneAToggleSequence) {
    ay.regs[8] = 15;
    ay.regs[7] = 0x3E; // tone A only
    ay.regs[0] = 20;
    const int16_t expected[] = {32767, -32767, -32767, 32767, 32767};
    for (int16_t e : expected) {
        ay_tick(&ay, 10, 1234);
        EXPECT_EQ(ay.out_tone[0], e);
        EXPECT_EQ(ay.out_tone[1], 0);
        EXPECT_EQ(ay.out_tone[2], 0);
        EXPECT_EQ(ay.out_noise[0] + ay.out_noise[1] + ay.out_noise[2], 0);
    }
}

TEST_F(Generator, RegisterBitsThatCount) {
    // The envelope bit of an amplitude is ignored, and only 4 bits of the coarse period count.
    ay.regs[7] = 0x3E;
    ay.regs[8] = 0x1F;
    ay.regs[0] = 0x00;
    ay.regs[1] = 0xF3; // period 0x300
    ay_tick(&ay, 10, 0);
    EXPECT_EQ(ay.out_tone[0], 32767);
    int ticks = 1;
    while (ay.phase[0] == 0 && ticks < 1000) {
        ay_tick(&ay, 10, 0);
        ++ticks;
    }
    EXPECT_EQ(ticks, (0x300 + 9) / 10) << "toggles once the counter reaches 0x300";
    EXPECT_EQ(ay.out_tone[0], -32767);
}

TEST_F(Generator, ShortPeriodsToggleEveryTick) {
    // A period of 0, or any period up to the step, toggles on every tick; 11 needs two ticks.
    ay.regs[7] = 0x38;
    ay.regs[8] = ay.regs[9] = ay.regs[10] = 1; // 88
    ay.regs[0] = 0;
    ay.regs[2] = 10;
    ay.regs[4] = 11;
    const int16_t a[] = {-88, 88, -88, 88};
    const int16_t c[] = {88, -88, -88, 88};
    for (int i = 0; i < 4; ++i) {
        ay_tick(&ay, 10, 0);
        EXPECT_EQ(ay.out_tone[0], a[i]) << "tick " << i;
        EXPECT_EQ(ay.out_tone[1], a[i]) << "tick " << i;
        EXPECT_EQ(ay.out_tone[2], c[i]) << "tick " << i;
    }
}

TEST_F(Generator, NoiseOutputs) {
    ay.regs[7] = 0x07; // noise only, on all three
    ay.regs[8] = 0;    // channel A silent: no division by a zero level
    ay.regs[9] = 8;    // 2977
    ay.regs[10] = 15;  // 32767
    ay.regs[6] = 0;    // a new value every tick
    ay_tick(&ay, 10, 30000);
    EXPECT_EQ(ay.noise, 30000);
    EXPECT_EQ(ay.out_noise[0], 0);
    EXPECT_EQ(ay.out_noise[1], 30000 % 2977);
    EXPECT_EQ(ay.out_noise[2], 30000);
    ay_tick(&ay, 10, 7);
    EXPECT_EQ(ay.noise, 7);
    // With a longer noise period the value is held.
    ay.regs[6] = 0x1F;
    ay_tick(&ay, 10, 500);
    EXPECT_EQ(ay.noise, 7);
    ay_tick(&ay, 10, 500);
    ay_tick(&ay, 10, 500);
    EXPECT_EQ(ay.noise, 7);
    ay_tick(&ay, 10, 600); // the counter has reached 40 >= 31
    EXPECT_EQ(ay.noise, 600);
}

// The noise's random source is the C library's unseeded rand() sequence (the sound the board has
// always made), kept in the generator: a reset leaves it running, a copy of the generator goes on
// with the same values.
TEST_F(Generator, RandomSourceIsTheUnseededRandSequenceKeptInTheGenerator) {
    std::srand(1);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(ay_random(&ay), std::rand()) << "value " << i;
    ay_reset(&ay);
    ay_t copy = ay;
    for (int i = 0; i < 100; ++i) {
        const int expected = std::rand();
        ASSERT_EQ(ay_random(&ay), expected);
        ASSERT_EQ(ay_random(&copy), expected);
    }
}

TEST_F(Generator, ResetKeepsTheRates) {
    ay.regs[8] = 15;
    ay.regs[0] = 3;
    for (int i = 0; i < 10; ++i)
        ay_tick(&ay, 10, 1);
    ay_reset(&ay);
    EXPECT_EQ(ay_ticks_per_sample(&ay), 5u);
    EXPECT_EQ(ay.regs[8], 0);
    EXPECT_EQ(ay.counter[0], 0);
    EXPECT_EQ(ay.phase[0], 0);
    EXPECT_EQ(ay.clock_hz, 1789772u);
}

} // namespace
