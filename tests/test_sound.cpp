// Rendering the generator into the audio stream: mixing, clamping, ports and the buffer ring.
#include <gtest/gtest.h>

#include <cstring>
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
    std::vector<uint8_t> half(SND_BUFFER_BYTES / 2);
    snd_ring_fill(&snd, half.data(), static_cast<int>(half.size()));
    int16_t first;
    std::memcpy(&first, half.data(), 2);
    EXPECT_EQ(first, 1234);
    EXPECT_EQ(snd.queue[0], 1u);
    EXPECT_EQ(snd.queue_offset, SND_BUFFER_BYTES / 2);
    // A request that spans buffers takes the rest of 1 and the start of 2.
    std::vector<uint8_t> span(SND_BUFFER_BYTES);
    snd_ring_fill(&snd, span.data(), static_cast<int>(span.size()));
    EXPECT_EQ(snd.queue[0], 2u);
    EXPECT_EQ(snd.queue[3], 1u);
    EXPECT_EQ(snd.underruns, 0u);
}

TEST_F(Stream, UnprimedRingIsCountedAsAnUnderrun) {
    snd_ring_init(&snd, &ay);
    std::vector<uint8_t> stream(64, 0xAA);
    snd_ring_fill(&snd, stream.data(), 64);
    EXPECT_EQ(snd.underruns, 1u);
    for (uint8_t b : stream)
        EXPECT_EQ(b, 0);
}

} // namespace
