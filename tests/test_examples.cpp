// The example programs on the headless machine: each is loaded as a HEX image into the running
// monitor, started with "g 8000", watched on the screen and the sound ports, and left again.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "harness.h"
#include "harness_screen.h"
#include "machine/emu.h"

namespace {

const std::string rom_hex = QUILLANE_BUILD_DIR "/tessik.hex";
const std::string examples = QUILLANE_BUILD_DIR "/examples/";

class Example : public ::testing::Test {
  protected:
    // Boots the monitor, loads the example next to it (as File > Open does) and starts it.
    void start(const std::string &name) {
        emu_ = harness_init();
        ASSERT_EQ(0, harness_load_hex(rom_hex));
        harness_run_ticks(2000000);
        uint16_t load = 0;
        ASSERT_EQ(0, harness_load_hex(examples + name + ".hex", &load, false));
        EXPECT_EQ(0x8000, load);
        symbols_ = examples + name + ".sym";
        harness_clear_port_log();
        screen_type("g 8000\n");
    }

    void TearDown() override {
        EXPECT_TRUE(harness_exceptions().empty())
            << "processor stopped: " << harness_exceptions().front();
    }

    uint8_t var(const std::string &name) {
        const int address = z80_symbol(symbols_, name);
        EXPECT_GE(address, 0x8000) << name;
        return harness_peek(static_cast<uint16_t>(address));
    }

    void set_var(const std::string &name, uint8_t value) {
        const int address = z80_symbol(symbols_, name);
        ASSERT_GE(address, 0x8000) << name;
        harness_poke(static_cast<uint16_t>(address), value);
    }

    bool at_prompt() {
        const int row = screen_last_row();
        return row >= 0 && screen_line(row) == ">" &&
               harness_peek(static_cast<uint16_t>(rom_symbol("cur_col"))) == 2;
    }

    // Runs in slices, so that the port log's tick stamps are exact to 0.1 ms.
    void run(uint64_t ticks) {
        for (uint64_t done = 0; done < ticks; done += 1000)
            harness_run_ticks(1000);
    }

    bool run_until(const std::function<bool()> &done, uint64_t max_ticks) {
        for (uint64_t ticks = 0; ticks < max_ticks; ticks += 100000) {
            harness_run_ticks(100000);
            if (done()) return true;
        }
        return false;
    }

    // Values written to a sound register, with the tick of each write.
    std::vector<std::pair<uint64_t, uint8_t>> psg_writes(uint8_t reg) {
        std::vector<std::pair<uint64_t, uint8_t>> values;
        int selected = -1;
        for (const auto &event : harness_port_log()) {
            if (!event.write) continue;
            if ((event.port & 0xFF) == 0x0D)
                selected = event.value & 0x0F;
            else if ((event.port & 0xFF) == 0x0C && selected == reg)
                values.push_back({event.tick, event.value});
        }
        return values;
    }

    emu_t *emu_ = nullptr;
    std::string symbols_;
};

// Colours ------------------------------------------------------------------------------------

TEST_F(Example, ColoursShowsEveryColourByName) {
    start("colours");
    harness_run_ticks(3000000);
    EXPECT_EQ("Sixteen colours of the board", screen_line(0));
    const char *names[16] = {"black",      "blue",           "green",        "cyan",
                             "red",        "magenta",        "brown",        "light grey",
                             "dark grey",  "bright blue",    "bright green", "bright cyan",
                             "bright red", "bright magenta", "yellow",       "white"};
    for (int c = 0; c < 16; ++c) {
        const int row = 2 + c;
        const std::string line = screen_line(row);
        EXPECT_EQ(std::string(1, "0123456789ABCDEF"[c]), line.substr(0, 1)) << line;
        EXPECT_NE(std::string::npos, line.find(names[c])) << line;
        EXPECT_NE(std::string::npos, line.find("Quillane")) << line;
        // The swatch has paper c; the name is written in ink c (black on light grey).
        EXPECT_EQ(c, screen_attr(row, 2) >> 4) << row;
        EXPECT_EQ(c == 0 ? 0x70 : c, screen_attr(row, 7)) << row;
        // The sample sits on paper c in the opposite ink, so it is always readable.
        EXPECT_EQ((c << 4) | (15 - c), screen_attr(row, 21)) << row;
    }
    EXPECT_EQ("Press a key to return", screen_line(23));
}

TEST_F(Example, ColoursBandMovesUntilAKey) {
    start("colours");
    harness_run_ticks(3000000);
    std::vector<uint8_t> before, after;
    for (int col = 0; col < 32; ++col)
        before.push_back(screen_attr(19, col));
    harness_run_ticks(2000000);
    for (int col = 0; col < 32; ++col)
        after.push_back(screen_attr(19, col));
    EXPECT_NE(before, after);
    // Each frame the rainbow slides by one cell: the new row is the old one moved left.
    const uint8_t first = after[0];
    int moved = -1;
    for (int shift = 1; shift < 16 && moved < 0; ++shift)
        if (before[shift] == first && before[shift + 1] == after[1]) moved = shift;
    EXPECT_GT(moved, 0);
    harness_tap_key(' ', 300000, 300000);
    ASSERT_TRUE(run_until([&] { return at_prompt(); }, 5000000)) << screen_dump();
    EXPECT_EQ(0, screen_last_row());
    EXPECT_EQ(0x1F, screen_attr(10, 10)); // the monitor's own colour again
}

// Tune ---------------------------------------------------------------------------------------

TEST_F(Example, TuneEntersVoiceByVoiceAndStopsOnAKey) {
    start("tune");
    // Two bars of eight eighths of 190 ms bring in voice B, two more voice C.
    run(75000000);
    EXPECT_EQ("Frere Jacques, a round", screen_line(0));
    const auto a = psg_writes(8), b = psg_writes(9), c = psg_writes(10);
    auto first_sound = [](const std::vector<std::pair<uint64_t, uint8_t>> &writes) {
        for (const auto &w : writes)
            if (w.second != 0) return static_cast<int64_t>(w.first);
        return int64_t{-1};
    };
    const int64_t start_a = first_sound(a), start_b = first_sound(b);
    ASSERT_GE(start_a, 0);
    ASSERT_GE(start_b, 0);
    // Voice C sounds too (the key clicks are not heard here: nothing was typed).
    ASSERT_GE(first_sound(c), 0);
    const double bars = (start_b - start_a) / 10000000.0 / (8 * 0.190);
    EXPECT_NEAR(2.0, bars, 0.1);
    // The first note of voice A is C3, period 840 = 348h.
    EXPECT_EQ(0x48, psg_writes(0).front().second);
    EXPECT_EQ(0x03, psg_writes(1).front().second);
    // Each voice sings at its own level.
    auto loudest = [](const std::vector<std::pair<uint64_t, uint8_t>> &writes) {
        uint8_t level = 0;
        for (const auto &w : writes)
            level = std::max(level, w.second);
        return level;
    };
    EXPECT_EQ(13, loudest(a));
    EXPECT_EQ(11, loudest(b));
    EXPECT_EQ(10, loudest(c));
    // A short press is enough.
    harness_tap_key('S', 300000, 300000);
    ASSERT_TRUE(run_until([&] { return at_prompt(); }, 10000000)) << screen_dump();
    EXPECT_NE(-1, screen_find("The round is over."));
    for (uint8_t reg = 8; reg <= 10; ++reg)
        EXPECT_EQ(0, emu_->psg.regs[reg]) << int(reg);
}

TEST_F(Example, TunePlaysToTheEndByItself) {
    start("tune");
    // 20 bars of 8 eighths: about 30 s of board time.
    ASSERT_TRUE(run_until([&] { return at_prompt(); }, 400000000)) << screen_dump();
    EXPECT_NE(-1, screen_find("The round is over."));
    // Voice C ends last; its line shows that it finished.
    EXPECT_EQ("Voice C:  -", screen_line(6));
    // Every voice sang both times: 32 notes each, in 2 x 32 note starts.
    const uint8_t levels[3] = {13, 11, 10};
    for (uint8_t reg = 8; reg <= 10; ++reg) {
        int notes = 0;
        for (const auto &w : psg_writes(reg))
            notes += w.second == levels[reg - 8];
        EXPECT_EQ(64, notes) << int(reg);
    }
}

// Starfall -----------------------------------------------------------------------------------

class Starfall : public Example {
  protected:
    void SetUp() override {
        start("starfall");
        harness_run_ticks(2000000);
    }
    // Column of the basket on the screen, -1 when it is not there.
    int basket_on_screen() {
        const std::string row = screen_line(22);
        const size_t at = row.find("\\_/");
        return at == std::string::npos ? -1 : static_cast<int>(at);
    }
    void hold(uint8_t vk, uint64_t ticks) {
        harness_key_down(vk);
        harness_run_ticks(ticks);
        harness_key_up(vk);
        harness_run_ticks(200000);
    }
};

TEST_F(Starfall, StartsWithStatusBasketAndStar) {
    EXPECT_EQ("Score 0  Lives 3", screen_line(0).substr(1));
    EXPECT_EQ("A: left  D: right  Q: quit", screen_line(1).substr(3));
    EXPECT_EQ(14, basket_on_screen());
    EXPECT_EQ(14, var("basket_col"));
    int stars = 0;
    for (int row = 2; row < 22; ++row)
        for (char ch : screen_line(row))
            stars += ch == '*';
    EXPECT_EQ(1, stars);
}

TEST_F(Starfall, BasketFollowsTheKeys) {
    hold('D', 3000000); // 300 ms: a column every 50 ms
    const int right = basket_on_screen();
    EXPECT_GT(right, 16);
    EXPECT_EQ(right, var("basket_col"));
    hold('A', 1500000);
    const int left = basket_on_screen();
    EXPECT_LT(left, right);
    EXPECT_GT(left, 0);
    // It stops at the edges.
    hold('A', 20000000);
    EXPECT_EQ(0, basket_on_screen());
    hold('D', 30000000);
    EXPECT_EQ(29, basket_on_screen());
    // With no key it stays.
    harness_run_ticks(5000000);
    EXPECT_EQ(29, basket_on_screen());
}

TEST_F(Starfall, StarsFallAndAreCaught) {
    const int row = var("star_row");
    harness_run_ticks(3000000);
    EXPECT_GT(var("star_row"), row);
    // Put the star over the middle of the basket: the catch counts.
    set_var("star_col", static_cast<uint8_t>(var("basket_col") + 1));
    ASSERT_TRUE(run_until([&] { return var("score") == 1; }, 50000000)) << screen_dump();
    EXPECT_EQ("Score 1  Lives 3", screen_line(0).substr(1));
}

TEST_F(Starfall, LastMissEndsTheGameAndSpaceStartsAgain) {
    set_var("lives", 1);
    set_var("star_col", 31); // the basket covers columns 14-16
    ASSERT_TRUE(run_until([&] { return screen_find("GAME OVER") >= 0; }, 50000000))
        << screen_dump();
    EXPECT_EQ("Score 0  Lives 0", screen_line(0).substr(1));
    EXPECT_NE(-1, screen_find("Space: again  Q: quit"));
    // Other keys do nothing here.
    harness_tap_key('D');
    EXPECT_NE(-1, screen_find("GAME OVER"));
    harness_tap_key(' ');
    harness_run_ticks(2000000);
    EXPECT_EQ(-1, screen_find("GAME OVER"));
    EXPECT_EQ(3, var("lives"));
}

TEST_F(Starfall, QReturnsToTheMonitor) {
    harness_tap_key('Q');
    ASSERT_TRUE(run_until([&] { return at_prompt(); }, 5000000)) << screen_dump();
    EXPECT_EQ(0, screen_last_row());
    EXPECT_EQ(0x1F, screen_attr(5, 5));
    for (uint8_t reg = 8; reg <= 10; ++reg)
        EXPECT_EQ(0, emu_->psg.regs[reg]) << int(reg);
}

} // namespace
