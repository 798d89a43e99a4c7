// Save states across builds: a version 1 file saved by an earlier build loads into the machine it
// describes, part by part, and saving that machine again gives the file's bytes exactly.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/travel/state.h"
#include "files/input.h"
#include "harness.h"
#include "machine/emu.h"

namespace {

// Saved by `quillane-run examples/tune.hex --type 'g 8000\n' --wav W` with a script that waits
// 1500 ms, presses Shift, types "q1" (queued: the monitor is busy with the tune), sets AF', BC',
// DE', HL', IY, I and IM to values no run leaves there, and saves the state.
const std::string fixture = QUILLANE_SOURCE_DIR "/tests/fixtures/tune_v1.state";

std::vector<uint8_t> read_bytes(const std::string &path) {
    std::vector<uint8_t> bytes;
    emu_file_error_t error{};
    EXPECT_TRUE(emu_read_file(path.c_str(), 0, &bytes, &error)) << path << ": " << error.text;
    return bytes;
}

TEST(State, AnEarlierBuildsFileLoadsEveryPartAndSavesToTheSameBytes) {
    emu_t *emu = harness_init();
    dbg_engine_t *e = dbg_engine();
    const z_cpu_t bus = emu->cpu;
    std::string error;
    ASSERT_TRUE(dbg_state_load(e, fixture, &error)) << error;

    EXPECT_EQ(15000008u, emu->ticks);
    const z_cpu_t &c = emu->cpu;
    const std::vector<uint16_t> pairs = {c.AF,  c.BC,  c.DE, c.HL, c.AF_, c.BC_,
                                         c.DE_, c.HL_, c.IX, c.IY, c.SP,  c.PC};
    EXPECT_EQ((std::vector<uint16_t>{0x1D04, 0x001D, 0x000A, 0x0007, 0x1111, 0x2222, 0x3333, 0x4444,
                                     0x8227, 0x5A5A, 0xFFF0, 0x0138}),
              pairs);
    EXPECT_EQ(0x3F, c.I);
    EXPECT_EQ(103, c.R);
    EXPECT_EQ(1, c.cycles);
    EXPECT_EQ(1, c.im);
    EXPECT_EQ(0, c.iff1 | c.iff2);
    // The bus stays the machine's.
    EXPECT_EQ(bus.mem_read, c.mem_read);
    EXPECT_EQ(bus.io_write, c.io_write);
    EXPECT_EQ(bus.user_data, c.user_data);
    EXPECT_EQ(0xC3, emu->memory[0x0000]); // the ROM's first jump
    EXPECT_EQ(0xCD, emu->memory[0x8000]); // the tune's first call
    EXPECT_EQ(0x09, emu->memory[0xFFF0]);

    const ay_t &a = emu->psg;
    EXPECT_EQ((std::vector<uint8_t>{158, 2, 0, 0, 0, 0, 0, 56, 13, 0, 0, 0, 0, 0}),
              std::vector<uint8_t>(a.regs, a.regs + 14));
    EXPECT_EQ(7, a.selected);
    EXPECT_EQ((std::vector<uint16_t>{520, 0, 0, 0}),
              std::vector<uint16_t>(a.counter, a.counter + 4));
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 1}), std::vector<uint8_t>(a.phase, a.phase + 3));
    EXPECT_EQ(12832, a.noise);
    EXPECT_EQ(16715, a.out_tone[0]);
    EXPECT_EQ(-205088467, a.random_words[0]);
    EXPECT_EQ(1880489064, a.random_words[30]);
    EXPECT_EQ(2, a.random_front);
    EXPECT_EQ(30, a.random_rear);
    EXPECT_EQ(uint32_t{EMU_PSG_CLOCK_HZ}, a.clock_hz); // the board's, not the file's

    EXPECT_EQ(0, emu->kbd.pio_a_state);
    EXPECT_EQ(2, emu->kbd.pio_b_state);
    EXPECT_EQ(0x80, emu->kbd.row_select);
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 0, 0, 2, 0, 0}),
              std::vector<uint8_t>(emu->kbd.rows, emu->kbd.rows + 8)); // Shift
    EXPECT_TRUE(e->typing_wait);
    EXPECT_EQ(0u, e->key_port_reads);
    std::string keys;
    for (const dbg_key_event_t &k : e->keys)
        keys += std::to_string(k.tick) + ":" + std::to_string(k.vk) + (k.down ? "v " : "^ ");
    EXPECT_EQ("0:81v 300000:81^ 600000:49v 900000:49^ 1200000:0^ ", keys);

    char path[] = "/tmp/quillane_state_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_TRUE(dbg_state_save(e, path, &error)) << error;
    EXPECT_EQ(read_bytes(fixture), read_bytes(path));
    unlink(path);
}

} // namespace
