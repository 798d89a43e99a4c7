// The machine: memory map, port decoding, start-up from a ROM image and reset.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

#include "harness.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

std::string write_temp(const std::string &text) {
    char path[] = "/tmp/quillane-machine-XXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    return path;
}

class Machine : public ::testing::Test {
  protected:
    void SetUp() override { emu = harness_init(); }
    emu_t *emu = nullptr;
};

TEST_F(Machine, ProcessorWritesBelow0x2000AreDropped) {
    z_cpu_t *cpu = &emu->cpu;
    emu->memory[0x1FFF] = 0x11;
    emu->memory[0x0000] = 0x22;
    emu_mem_write_callback(cpu, 0x1FFF, 0xAA);
    emu_mem_write_callback(cpu, 0x0000, 0xAA);
    emu_mem_write_callback(cpu, 0x2000, 0xBB);
    emu_mem_write_callback(cpu, 0xFFFF, 0xCC);
    EXPECT_EQ(emu->memory[0x1FFF], 0x11);
    EXPECT_EQ(emu->memory[0x0000], 0x22);
    EXPECT_EQ(emu->memory[0x2000], 0xBB);
    EXPECT_EQ(emu->memory[0xFFFF], 0xCC);
    EXPECT_EQ(emu_mem_read_callback(cpu, 0x1FFF), 0x11);
    EXPECT_EQ(emu_mem_read_callback(cpu, 0xFFFF), 0xCC);
}

TEST_F(Machine, PortReadsFollowThePortTable) {
    z_cpu_t *cpu = &emu->cpu;
    for (int port = 0; port < 256; ++port) {
        const uint8_t expected = (port == 8 || port == 9) ? 0xFF : 0x00;
        if (port >= 0x10 && port <= 0x13) continue; // the PIO, below
        EXPECT_EQ(emu_io_read_callback(cpu, static_cast<uint16_t>(port)), expected) << port;
        // The high byte of the address never matters.
        EXPECT_EQ(emu_io_read_callback(cpu, static_cast<uint16_t>(0xA500 | port)), expected);
    }
}

TEST_F(Machine, SoundPortsReachTheGeneratorWhateverTheHighByte) {
    z_cpu_t *cpu = &emu->cpu;
    emu_io_write_callback(cpu, 0x120D, 8); // select R8
    emu_io_write_callback(cpu, 0x340C, 0x0F);
    EXPECT_EQ(emu->psg.selected, 8);
    EXPECT_EQ(emu->psg.regs[8], 0x0F);
    EXPECT_EQ(emu_io_read_callback(cpu, 0x0C), 0);
    EXPECT_EQ(emu_io_read_callback(cpu, 0x0D), 0);
}

TEST_F(Machine, PioPortsReachTheKeyboard) {
    z_cpu_t *cpu = &emu->cpu;
    emu_io_write_callback(cpu, 0x0013, 0xCF);
    emu_io_write_callback(cpu, 0xFF13, 0xFF);
    EXPECT_EQ(emu->kbd.pio_b_state, 2);
    harness_key_down(0x41); // A: row 3, bit 5
    emu_io_write_callback(cpu, 0x0010, 0x08);
    EXPECT_EQ(emu_io_read_callback(cpu, 0x0010), 0x08);
    EXPECT_EQ(emu_io_read_callback(cpu, 0x7711), 0x20);
}

TEST_F(Machine, WritesToUnlistedPortsChangeNothing) {
    z_cpu_t *cpu = &emu->cpu;
    emu_io_write_callback(cpu, 0x13, 0xCF);
    emu_io_write_callback(cpu, 0x13, 0xFF);
    const ay_t psg = emu->psg;
    const kbd_t kbd = emu->kbd;
    std::vector<uint8_t> memory(emu->memory, emu->memory + EMU_MEMORY_SIZE);
    for (int port = 0; port < 256; ++port) {
        if (port == 0x0C || port == 0x0D || (port >= 0x10 && port <= 0x13)) continue;
        emu_io_write_callback(cpu, static_cast<uint16_t>(port), 0x5A);
    }
    EXPECT_EQ(std::memcmp(&psg.regs, &emu->psg.regs, sizeof psg.regs), 0);
    EXPECT_EQ(psg.selected, emu->psg.selected);
    EXPECT_EQ(std::memcmp(&kbd, &emu->kbd, sizeof kbd), 0);
    EXPECT_EQ(std::memcmp(memory.data(), emu->memory, EMU_MEMORY_SIZE), 0);
}

struct StartCase {
    const char *image;
    int result;
    uint16_t pc;
};

TEST(Startup, StartsTheHeadlessBoardAtTheFirstDataRecordOrLeavesTheMachine) {
    const StartCase cases[] = {
        {":03000000C3000139\r\n", 0, 0x0000},
        {":03010000000000FC\r\n:010000007689\r\n", 0, 0x0100}, // first record in file order
        {":00000001FF\r\n", 1, 0},                             // no data record at all
        {":0300000000000\r\n", 1, 0},                          // bad record
    };
    for (const StartCase &c : cases) {
        const std::string path = write_temp(c.image);
        emu_state.memory[0x4000] = 0x99;
        emu_state.running = 0;
        emu_state.ticks = 1234;
        emu_state.kbd.rows[3] = 0x10;
        emu_state.gfx.video_memory = nullptr;
        EXPECT_EQ(emu_startup(&emu_state, path.c_str()), c.result) << c.image;
        if (c.result != 0) {
            // A refused image leaves the machine as it was.
            EXPECT_EQ(emu_state.memory[0x4000], 0x99) << c.image;
            EXPECT_EQ(emu_state.ticks, 1234u) << c.image;
            EXPECT_EQ(emu_state.running, 0) << c.image;
        } else {
            // The same board the headless programs power on, with the image in it.
            EXPECT_EQ(emu_state.ticks, 0u);
            EXPECT_EQ(emu_state.kbd.rows[3], 0);
            EXPECT_EQ(emu_state.gfx.video_memory, emu_state.memory + EMU_VIDEO_MEMORY);
            EXPECT_EQ(emu_state.cpu.mem_write, emu_mem_write_callback);
            EXPECT_EQ(emu_state.cpu.io_write, emu_io_write_callback);
            EXPECT_EQ(emu_state.cpu.PC, c.pc) << c.image;
            EXPECT_EQ(emu_state.cpu.SP, 0);
            EXPECT_EQ(emu_state.memory[0x4000], 0) << "memory is cleared before loading";
            EXPECT_EQ(emu_state.running, 1);
            EXPECT_FLOAT_EQ(emu_state.cpu_clock_hz, 10000000.0f);
            EXPECT_FLOAT_EQ(emu_state.frame_rate_hz, 60.0f);
            EXPECT_EQ(emu_state.psg.clock_hz, 1789772u);
            EXPECT_EQ(emu_state.psg.sample_rate_hz, 44100u);
            EXPECT_EQ(emu_state.cpu.user_data, emu_state.memory);
        }
        unlink(path.c_str());
    }
    EXPECT_EQ(emu_startup(&emu_state, "/nonexistent/tessik.hex"), 1);
}

TEST_F(Machine, ResetRestartsAtZeroAndKeepsMemory) {
    // LD A,(0x4000) is 13 T-states long; reset in its middle.
    const uint8_t program[] = {0x3A, 0x00, 0x40, 0x00};
    std::memcpy(emu->memory + 0x100, program, sizeof program);
    emu->memory[0x3000] = 0x77;
    emu->cpu.PC = 0x100;
    emu->psg.regs[8] = 15;
    emu_io_write_callback(&emu->cpu, 0x13, 0xCF);
    emu_io_write_callback(&emu->cpu, 0x13, 0xFF);
    harness_key_down(0x41);
    // Three ticks by hand: the engine's runs end between instructions.
    for (int i = 0; i < 3; ++i)
        z_tick(&emu->cpu);
    EXPECT_EQ(emu->cpu.PC, 0x103);
    EXPECT_GT(emu->cpu.cycles, 2);
    emu->cpu.SP = 0x1234;
    emu_reset(emu);
    EXPECT_EQ(emu->cpu.PC, 0);
    EXPECT_EQ(emu->cpu.cycles, 0);
    EXPECT_EQ(emu->cpu.SP, 0x1234);
    EXPECT_EQ(emu->psg.regs[8], 0);
    EXPECT_EQ(emu->kbd.pio_b_state, 0);
    EXPECT_EQ(emu->kbd.rows[3], 0);
    EXPECT_EQ(emu->memory[0x3000], 0x77);
    EXPECT_EQ(emu->memory[0x100], 0x3A);
    // The very next tick executes the NOP at address 0.
    harness_run_ticks(1);
    EXPECT_EQ(emu->cpu.PC, 1);
}

TEST_F(Machine, RunningProgramTouchesRamVideoPortsButNotRom) {
    ASSERT_TRUE(harness_load_bin(QUILLANE_Z80_DIR "/machine_loop.bin", 0));
    const uint8_t rom0 = emu->memory[0];
    harness_run_ticks(200000);
    EXPECT_TRUE(harness_exceptions().empty());
    const uint16_t passes = emu->memory[0x8000] | emu->memory[0x8001] << 8;
    EXPECT_GT(passes, 100);
    // The ticks may stop anywhere in a pass, after the count and before its copies.
    const uint8_t low = passes & 0xFF, previous = (passes - 1) & 0xFF;
    EXPECT_TRUE(emu->memory[0x2000] == low || emu->memory[0x2000] == previous);
    EXPECT_EQ(emu->memory[0], rom0);
    EXPECT_TRUE(emu->psg.regs[8] == (low & 0x0F) || emu->psg.regs[8] == (previous & 0x0F));
    EXPECT_EQ(emu->kbd.pio_b_state, 2);
    bool saw_pio_read = false;
    for (const harness_port_event &e : harness_port_log())
        saw_pio_read |= !e.write && (e.port & 0xFF) == 0x11;
    EXPECT_TRUE(saw_pio_read);
}

} // namespace

namespace {

// The end-to-end clock test converts the count of its ROM into T-states; hold it to its word.
TEST(ClockRom, EveryPassTakes2126TStates) {
    harness_init();
    ASSERT_TRUE(harness_load_bin(QUILLANE_Z80_DIR "/e2e_clock.bin", 0));
    auto count = [] {
        return harness_peek(0x9000) | harness_peek(0x9001) << 8 | harness_peek(0x9002) << 16 |
               harness_peek(0x9003) << 24;
    };
    auto run_until = [&](int target) {
        while (count() < target)
            harness_run_ticks(1);
        return harness_ticks();
    };
    const uint64_t first = run_until(1);
    const uint64_t later = run_until(1001);
    EXPECT_EQ(later - first, 1000u * 2126u);
    // The top row shows the count: 1001 = 0b1111101001, least significant bit in cell 31.
    harness_run_ticks(2126 - 10);
    EXPECT_EQ(harness_peek(0x3800 + 31), 0x77);
    EXPECT_EQ(harness_peek(0x3800 + 30), 0x11);
    EXPECT_EQ(harness_peek(0x3800 + 0), 0x11);
    EXPECT_EQ(harness_peek(0x3820), 0xEE);
    EXPECT_TRUE(harness_exceptions().empty());
}

} // namespace
