// C programs built with sdk/qcc on the headless machine: every function of quillane.h called
// against the monitor (tests/c/sdk_calls.c), and the two C examples. Each program is loaded
// into the running monitor and started with "g 8000", as a user would.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "debug/info/symbols.h"
#include "harness.h"
#include "harness_screen.h"
#include "machine/emu.h"

namespace {

const std::string rom_hex = QUILLANE_BUILD_DIR "/tessik.hex";

bool exists(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

class CProgram : public ::testing::Test {
  protected:
    // Boots the monitor, loads DIR/NAME.ihx and its symbols; false (test skipped) when the
    // program was not built because SDCC is missing.
    bool load(const std::string &path) {
        if (!exists(path + ".ihx")) return false;
        emu_ = harness_init();
        EXPECT_EQ(0, harness_load_hex(rom_hex));
        harness_run_ticks(2000000);
        uint16_t start = 0;
        EXPECT_EQ(0, harness_load_hex(path + ".ihx", &start, false));
        EXPECT_EQ(0x8000, start); // the start-up code comes first
        std::string error;
        EXPECT_GT(dbg_symbols_load(&symbols_, path + ".noi", &error), 0) << error;
        // The map of a program built with debug information loads too, with the same names.
        dbg_symbols_t map;
        EXPECT_GT(dbg_symbols_load(&map, path + ".map", &error), 0) << error;
        uint16_t in_map = 0, in_noi = 0;
        EXPECT_TRUE(dbg_symbol_lookup(&map, "main", &in_map));
        EXPECT_TRUE(dbg_symbol_lookup(&symbols_, "main", &in_noi));
        EXPECT_EQ(in_noi, in_map);
        return true;
    }

    void go() {
        harness_clear_port_log();
        screen_type("g 8000\n");
    }

    uint16_t symbol(const std::string &name) {
        uint16_t address = 0;
        EXPECT_TRUE(dbg_symbol_lookup(&symbols_, name, &address)) << name;
        return address;
    }

    uint16_t peek16(uint16_t address) {
        return static_cast<uint16_t>(harness_peek(address) |
                                     harness_peek(static_cast<uint16_t>(address + 1)) << 8);
    }

    bool run_until(const std::function<bool()> &done, uint64_t max_ticks) {
        for (uint64_t ticks = 0; ticks < max_ticks; ticks += 100000) {
            harness_run_ticks(100000);
            if (done()) return true;
        }
        return false;
    }

    bool wait_text(const std::string &text, uint64_t max_ticks = 20000000) {
        return run_until([&] { return screen_find(text) >= 0; }, max_ticks);
    }

    bool at_prompt() {
        const int row = screen_last_row();
        return row >= 0 && screen_line(row) == ">" &&
               harness_peek(static_cast<uint16_t>(rom_symbol("cur_col"))) == 2;
    }

    // Sound register writes in order: (register, value, tick).
    struct psg_write {
        int reg;
        uint8_t value;
        uint64_t tick;
    };
    std::vector<psg_write> psg_writes() {
        std::vector<psg_write> writes;
        int selected = -1;
        for (const auto &event : harness_port_log()) {
            if (!event.write) continue;
            if ((event.port & 0xFF) == 0x0D)
                selected = event.value & 0x0F;
            else if ((event.port & 0xFF) == 0x0C)
                writes.push_back({selected, event.value, event.tick});
        }
        return writes;
    }

    void TearDown() override {
        if (emu_) {
            EXPECT_TRUE(harness_exceptions().empty())
                << "processor stopped: " << harness_exceptions().front();
        }
    }

    emu_t *emu_ = nullptr;
    dbg_symbols_t symbols_;
};

// Every function of quillane.h -------------------------------------------------------------

TEST_F(CProgram, EveryFunctionOfTheHeaderAgainstTheMonitor) {
    if (!load(QUILLANE_BUILD_DIR "/tests/c/sdk_calls")) GTEST_SKIP() << "built without SDCC";
    // Garbage where the start-up code must clear and copy the data.
    for (uint16_t i = 0; i < 32; ++i)
        harness_poke(static_cast<uint16_t>(symbol("zeroed") + i), 0xA5);
    harness_poke(symbol("initialised"), 0x77);
    go();
    ASSERT_TRUE(wait_text("key?")) << screen_dump();

    EXPECT_EQ("data 1234 0", screen_line(0));
    // main's locals sit just below the stack top.
    const uint16_t stack = symbol("stack_at");
    EXPECT_GT(peek16(stack), 0xFE00);
    EXPECT_LT(peek16(stack), 0xFF00);
    char text[32];
    std::snprintf(text, sizeof text, "stack %x", peek16(stack));
    EXPECT_EQ(text, screen_line(1));
    EXPECT_EQ("printf -42 ok beef z", screen_line(2));
    EXPECT_EQ("puts!", screen_line(3));
    EXPECT_EQ("A5 1234 54321", screen_line(4));
    // Row in H, column in L: X at 21,7; past the edges: row 23, column 31, then the line full.
    EXPECT_EQ('X', screen_char(21, 7));
    EXPECT_EQ('Y', screen_char(23, 31));
    EXPECT_EQ("cursor 21 8 23 32", screen_line(5));
    EXPECT_EQ("colour 4e", screen_line(6));
    EXPECT_EQ(0x4E, screen_attr(6, 0));
    EXPECT_EQ(0x1F, screen_attr(6, 6));
    // The second number is the monitor's xorshift step from the first; the screen shows both.
    const uint16_t r1 = peek16(symbol("random1")), r2 = peek16(symbol("random2"));
    const uint8_t h1 = static_cast<uint8_t>(((r1 >> 8 & 1) << 7 | (r1 & 0xFF) >> 1) ^ r1 >> 8);
    const uint8_t l2 = static_cast<uint8_t>(((r1 & 0x01) << 7 | h1 >> 1) ^ (r1 & 0xFF));
    EXPECT_EQ((l2 ^ h1) << 8 | l2, r2);
    std::snprintf(text, sizeof text, "random %x %x", r1, r2);
    EXPECT_EQ(text, screen_line(7));

    // The sound calls in their order, with the delay between the two writes of register 11.
    const auto writes = psg_writes();
    const std::vector<std::pair<int, uint8_t>> expected = {
        {11, 0x5A}, {11, 0xA5}, {2, 0xAB}, {3, 0x02}, {9, 9}, {8, 0}, {9, 0}, {10, 0}, {12, 0x3C}};
    size_t found = 0;
    uint64_t first_tick = 0, second_tick = 0;
    bool beeped = false;
    for (const auto &w : writes) {
        if (found == 5 && w.reg == 10 && w.value != 0) beeped = true; // the beep on channel C
        if (found < expected.size() && w.reg == expected[found].first &&
            w.value == expected[found].second) {
            if (found == 0) first_tick = w.tick;
            if (found == 1) second_tick = w.tick;
            ++found;
        }
    }
    EXPECT_EQ(expected.size(), found) << "sound writes out of order or missing";
    EXPECT_TRUE(beeped);
    // 20 ms at 10 MHz, with a little for the calls around it.
    EXPECT_GE(second_tick - first_tick, 200000u);
    EXPECT_LT(second_tick - first_tick, 202000u);
    // The note turned channel B's tone on in the mixer.
    EXPECT_EQ(0, emu_->psg.regs[7] & 0x02);
    EXPECT_EQ(0, harness_peek(static_cast<uint16_t>(rom_symbol("kb_click"))));

    // Keys: waiting, Enter through getchar, a look without a key, a raw row, a line.
    screen_type("q");
    ASSERT_TRUE(wait_text("getchar?")) << screen_dump();
    EXPECT_EQ("getkey q", screen_line(9));
    screen_type("\n");
    ASSERT_TRUE(wait_text("hold a")) << screen_dump();
    EXPECT_EQ("getchar 10", screen_line(11));
    EXPECT_EQ("keyready 0", screen_line(12));
    harness_key_down('A');
    ASSERT_TRUE(wait_text("keyready a")) << screen_dump();
    harness_key_up('A');
    EXPECT_EQ("row 20", screen_line(14));
    ASSERT_TRUE(wait_text("line?")) << screen_dump();
    screen_type("hello world\n");
    ASSERT_TRUE(wait_text("[")) << screen_dump();
    EXPECT_EQ("[hello wo] 8", screen_line(18));

    // mon_warm brings the prompt back; nothing after it ran.
    ASSERT_TRUE(run_until([&] { return screen_line(19) == ">"; }, 5000000)) << screen_dump();
    EXPECT_EQ(-1, screen_find("not reached"));
    EXPECT_EQ(1, harness_peek(static_cast<uint16_t>(rom_symbol("kb_click"))));
}

// SDCC's symbol files ----------------------------------------------------------------------

// The .noi and .map of a C program give the same names: none of SDCC's debug $-names, no area
// lengths; area starts are found by name but name no address, and wherever a label shares an
// address with the toolchain's own names, the label names it. A label also wins over a library
// routine at a shared address, which a small file shows (the examples have no such address).
// String literals are data, up to the next address the linker names: not into code.
TEST(SdccSymbols, NamesOfTheCExamplesFollowTheKindRules) {
    for (const char *name : {"guess", "life"}) {
        const std::string stem = QUILLANE_BUILD_DIR "/examples/" + std::string(name);
        if (!exists(stem + ".noi")) GTEST_SKIP() << "built without SDCC";
        dbg_symbols_t noi, map;
        std::string error;
        ASSERT_GT(dbg_symbols_load(&noi, stem + ".noi", &error), 0) << error;
        ASSERT_GT(dbg_symbols_load(&map, stem + ".map", &error), 0) << error;
        EXPECT_EQ(noi.by_name, map.by_name) << name;
        EXPECT_EQ(noi.by_address, map.by_address) << name;
        int areas = 0;
        for (const auto &[symbol, address] : noi.by_name) {
            EXPECT_EQ(symbol.find('$'), std::string::npos) << symbol;
            EXPECT_NE(symbol.rfind("l__", 0), 0u) << symbol;
            dbg_symbol_kind_t kind = DBG_SYMBOL_UNKNOWN;
            ASSERT_TRUE(dbg_symbol_kind(&noi, symbol, &kind));
            if (symbol.rfind("s__", 0) == 0) {
                EXPECT_EQ(kind, DBG_SYMBOL_AREA) << symbol;
                ++areas;
            }
            const std::string shown = dbg_symbol_at(&noi, address);
            dbg_symbol_kind_t shown_kind = DBG_SYMBOL_UNKNOWN;
            ASSERT_TRUE(dbg_symbol_kind(&noi, shown.empty() ? symbol : shown, &shown_kind));
            if (kind == DBG_SYMBOL_LABEL) {
                EXPECT_EQ(shown_kind, DBG_SYMBOL_LABEL) << symbol;
            }
            if (kind == DBG_SYMBOL_AREA) {
                EXPECT_NE(shown, symbol);
            }
        }
        EXPECT_GT(areas, 3) << name;
        uint16_t code = 0, main = 0;
        ASSERT_TRUE(dbg_symbol_lookup(&noi, "s__CODE", &code));
        ASSERT_TRUE(dbg_symbol_lookup(&noi, "main", &main));
        EXPECT_EQ(dbg_symbol_at(&noi, code), "start"); // crt0's label, not s__CODE
        EXPECT_EQ(dbg_symbol_at(&noi, main), "_main");
        EXPECT_EQ(dbg_symbols_data_end(&noi, main), 0u);
        std::FILE *listing = std::fopen((stem + ".noi").c_str(), "r");
        ASSERT_NE(listing, nullptr);
        char literal[80];
        unsigned at = 0;
        int literals = 0;
        while (std::fscanf(listing, "DEF %79s 0x%x\n", literal, &at) == 2)
            if (std::string(literal).find("$__str_") != std::string::npos) {
                ++literals;
                const uint32_t end = dbg_symbols_data_end(&noi, static_cast<uint16_t>(at));
                EXPECT_TRUE(end > at && end <= at + 0x100) << literal;
            }
        std::fclose(listing);
        EXPECT_GT(literals, 0) << name;
    }
    const std::string path = testing::TempDir() + "shared.noi";
    std::FILE *file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("DEF ___sdcc_call_hl 0x9000\nDEF _helper 0x9000\nDEF s__CODE 0x9000\n"
               "DEF C$x.c$3$0_0$1 0x9000\nDEF __divu16 0x9100\nDEF s__DATA 0x9100\n"
               "DEF l__DATA 0x9100\n",
               file);
    std::fclose(file);
    dbg_symbols_t symbols;
    std::string error;
    ASSERT_EQ(dbg_symbols_load(&symbols, path, &error), 5) << error;
    EXPECT_EQ(dbg_symbol_at(&symbols, 0x9000), "_helper");
    EXPECT_EQ(dbg_symbol_at(&symbols, 0x9100), "__divu16");
    EXPECT_EQ(dbg_symbol_near(&symbols, 0x9102), "__divu16+2");
}

// The C examples ---------------------------------------------------------------------------

TEST_F(CProgram, GuessAnswersLowHighRightAndReturnsFromMain) {
    if (!load(QUILLANE_BUILD_DIR "/examples/guess")) GTEST_SKIP() << "built without SDCC";
    go();
    ASSERT_TRUE(wait_text("Press a key")) << screen_dump();
    EXPECT_EQ("Guess the number", screen_line(0));
    EXPECT_EQ(0x1E, screen_attr(0, 0));
    screen_type(" ");
    ASSERT_TRUE(wait_text("Guess 1?")) << screen_dump();
    const unsigned secret = peek16(symbol("secret"));
    ASSERT_GE(secret, 1u);
    ASSERT_LE(secret, 100u);
    // A guess below, one above (where the secret allows) and the right one.
    int tries = 0;
    if (secret > 1) {
        screen_type(std::to_string(secret - 1) + "\n");
        ++tries;
        ASSERT_TRUE(wait_text(std::to_string(secret - 1) + " is too low.")) << screen_dump();
    }
    if (secret < 100) {
        screen_type(std::to_string(secret + 1) + "\n");
        ++tries;
        ASSERT_TRUE(wait_text(std::to_string(secret + 1) + " is too high.")) << screen_dump();
    }
    screen_type("abc\n");
    ASSERT_TRUE(wait_text("A number from 1 to 100.")) << screen_dump();
    screen_type(std::to_string(secret) + "\n");
    ++tries;
    ASSERT_TRUE(wait_text("Again (y/n)?")) << screen_dump();
    EXPECT_NE(-1, screen_find("Right, " + std::to_string(secret) + " in " + std::to_string(tries) +
                              " tries!"))
        << screen_dump();
    screen_type("n");
    ASSERT_TRUE(run_until([&] { return at_prompt(); }, 5000000)) << screen_dump();
    EXPECT_NE(-1, screen_find("Bye."));
}

TEST_F(CProgram, LifeFollowsTheRulesInColourWithSound) {
    if (!load(QUILLANE_BUILD_DIR "/examples/life")) GTEST_SKIP() << "built without SDCC";
    go();
    constexpr int rows = 22, cols = 32, top = 1;
    // A cell lives when its first pixel line is set; its colour tells its age.
    auto board = [&] {
        std::vector<std::vector<bool>> cells(rows, std::vector<bool>(cols));
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c)
                cells[r][c] = harness_peek(static_cast<uint16_t>(0x2000 + (top + r) * 256 + c));
        return cells;
    };
    auto shown = [&](unsigned generation) {
        char text[32];
        std::snprintf(text, sizeof text, "gen %5u", generation);
        if (!wait_text(text, 50000000)) return false;
        // The rest of the status line and the notes follow within the pause of 60 ms.
        harness_run_ticks(300000);
        return true;
    };
    ASSERT_TRUE(shown(1)) << screen_dump();
    const auto before = board();
    ASSERT_TRUE(shown(2)) << screen_dump();
    const auto after = board();
    int alive = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            int n = 0;
            for (int dr = -1; dr <= 1; ++dr)
                for (int dc = -1; dc <= 1; ++dc)
                    if (dr || dc) n += before[(r + dr + rows) % rows][(c + dc + cols) % cols];
            EXPECT_EQ(n == 3 || (before[r][c] && n == 2), after[r][c]) << r << "," << c;
            alive += after[r][c];
            // Dead cells are on black paper, newborn ones bright green; survivors have aged.
            const uint8_t attr = screen_attr(top + r, c);
            const uint8_t newborn = 0x0A;
            if (!after[r][c])
                EXPECT_EQ(0, attr >> 4) << r << "," << c;
            else if (!before[r][c])
                EXPECT_EQ(newborn, attr) << r << "," << c;
            else
                EXPECT_NE(newborn, attr) << r << "," << c;
        }
    char count[32];
    std::snprintf(count, sizeof count, "cells %3d", alive);
    EXPECT_NE(std::string::npos, screen_line(0).find(count)) << screen_line(0);
    // Channel A plays the population's pitch.
    EXPECT_EQ(60 + alive, emu_->psg.regs[0] | (emu_->psg.regs[1] & 0x0F) << 8);
    EXPECT_EQ(8, emu_->psg.regs[8]);
    // A short tap is seen; the prompt comes back below the status line.
    harness_tap_key('Q', 100000, 100000);
    ASSERT_TRUE(run_until([&] { return screen_char(1, 0) == '>'; }, 10000000)) << screen_dump();
    EXPECT_EQ(0, emu_->psg.regs[8]);
}

} // namespace
