// The monitor ROM on the headless machine: boot, commands typed on the keyboard matrix, and what
// each prints, read back from video memory through the monitor's own font.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "debug/core/engine.h"
#include "harness.h"
#include "harness_screen.h"
#include "machine/emu.h"

namespace {

const std::string rom_hex = QUILLANE_BUILD_DIR "/tessik.hex";

constexpr uint64_t boot_ticks = 2000000;     // 200 ms
constexpr uint64_t command_ticks = 40000000; // 4 s: more than any command here needs
constexpr uint8_t vk_shift = 0x10, vk_caps = 0x14, vk_enter = 0x0D;

std::string hex2(unsigned value) {
    return dbg_hex2(value);
}
std::string hex4(unsigned value) {
    return dbg_hex4(value);
}

class Monitor : public ::testing::Test {
  protected:
    void SetUp() override {
        emu_ = harness_init();
        ASSERT_EQ(0, harness_load_hex(rom_hex, &start_));
        harness_run_ticks(boot_ticks);
        ASSERT_TRUE(at_prompt()) << screen_dump();
    }

    void TearDown() override {
        EXPECT_TRUE(harness_exceptions().empty())
            << "processor stopped: " << harness_exceptions().front();
    }

    // The monitor waits at a fresh prompt: the last text row is "> " with the cursor after it.
    bool at_prompt() {
        const int row = screen_last_row();
        return row >= 0 && screen_line(row) == ">" && var(cur_col_) == 2 && var(cur_row_) == row;
    }

    uint8_t var(int address) { return harness_peek(static_cast<uint16_t>(address)); }

    // Runs until the prompt is back (at most max_ticks); true when it is.
    bool run_to_prompt(uint64_t max_ticks = command_ticks) {
        for (uint64_t done = 0; done < max_ticks; done += 200000) {
            harness_run_ticks(200000);
            if (at_prompt()) return true;
        }
        return false;
    }

    // Types a command line and Enter, waits for the prompt, and returns the rows printed
    // between the echoed command and the new prompt.
    std::vector<std::string> command(const std::string &line) {
        screen_type(line + "\n");
        EXPECT_TRUE(run_to_prompt()) << "no prompt after \"" << line << "\":\n" << screen_dump();
        // The echoed line may take several rows; its last row is where the output starts.
        const std::string echo_text = "> " + line;
        std::vector<std::string> echo_rows;
        for (size_t at = 0; at < echo_text.size(); at += SCREEN_COLS) {
            std::string row = echo_text.substr(at, SCREEN_COLS);
            row.erase(row.find_last_not_of(' ') + 1);
            echo_rows.push_back(row);
        }
        const int prompt = screen_last_row();
        const int height = static_cast<int>(echo_rows.size());
        int echo = prompt - height;
        auto echo_at = [&](int top) {
            for (int i = 0; i < height; ++i)
                if (screen_line(top + i) != echo_rows[i]) return false;
            return true;
        };
        while (echo >= 0 && !echo_at(echo))
            --echo;
        EXPECT_GE(echo, 0) << "command line \"" << line << "\" not on the screen:\n"
                           << screen_dump();
        std::vector<std::string> out;
        for (int row = echo + height; row < prompt; ++row)
            out.push_back(screen_line(row));
        return out;
    }

    // A command that should answer with exactly one line.
    std::string answer(const std::string &line) {
        const auto out = command(line);
        EXPECT_EQ(1u, out.size()) << line << ":\n" << screen_dump();
        return out.empty() ? std::string() : out.front();
    }

    // Amplitude writes to a sound register in the port log: the values written, in order.
    std::vector<uint8_t> psg_writes(uint8_t reg) {
        std::vector<uint8_t> values;
        int selected = -1;
        for (const auto &event : harness_port_log()) {
            if (!event.write) continue;
            if ((event.port & 0xFF) == 0x0D)
                selected = event.value & 0x0F;
            else if ((event.port & 0xFF) == 0x0C && selected == reg)
                values.push_back(event.value);
        }
        return values;
    }

    emu_t *emu_ = nullptr;
    uint16_t start_ = 0xFFFF;
    const int cur_row_ = rom_symbol("cur_row");
    const int cur_col_ = rom_symbol("cur_col");
};

// Boot ---------------------------------------------------------------------------------------

TEST_F(Monitor, BootsToBannerAndPrompt) {
    EXPECT_EQ(0x0000, start_);
    EXPECT_EQ("Quillane monitor 1.0", screen_line(0));
    // The free block is what lies between the monitor's variables and its stack page.
    EXPECT_EQ("Free RAM 3C00-FEFF 49920 bytes", screen_line(1));
    EXPECT_EQ("Type help for commands.", screen_line(2));
    EXPECT_EQ(">", screen_line(3));
    EXPECT_EQ(3, screen_last_row());
    // The title is yellow on blue, the rest white on blue, the cleared cells too.
    EXPECT_EQ(0x1E, screen_attr(0, 0));
    EXPECT_EQ(0x1F, screen_attr(1, 0));
    EXPECT_EQ(0x1F, screen_attr(23, 31));
    // The stack lives in the top page of RAM.
    EXPECT_GE(emu_->cpu.SP, 0xFF00);
}

TEST_F(Monitor, SetsUpKeyboardPortBAtStart) {
    std::vector<uint8_t> control;
    for (const auto &event : harness_port_log())
        if (event.write && (event.port & 0xFF) == 0x13) control.push_back(event.value);
    ASSERT_GE(control.size(), 2u);
    EXPECT_EQ(0xCF, control[0]);
    EXPECT_EQ(0xFF, control[1]);
    EXPECT_EQ(2, emu_->kbd.pio_b_state);
}

TEST_F(Monitor, CursorBlinksAtThePrompt) {
    // The cursor cell (row 3, column 2) swaps paper and ink; within a second it is seen both
    // ways.
    bool inverted = false, plain = false;
    for (int i = 0; i < 100; ++i) {
        harness_run_ticks(100000);
        inverted |= screen_attr(3, 2) == 0xF1;
        plain |= screen_attr(3, 2) == 0x1F;
    }
    EXPECT_TRUE(inverted);
    EXPECT_TRUE(plain);
    // The cursor never touches the bitmap: the cell still reads as blank.
    EXPECT_EQ(' ', screen_char(3, 2));
}

TEST_F(Monitor, SilentAfterBoot) {
    for (uint8_t reg = 8; reg <= 10; ++reg)
        EXPECT_EQ(0, emu_->psg.regs[reg]) << "amplitude register " << int(reg);
}

// Help and command words ---------------------------------------------------------------------

TEST_F(Monitor, HelpListsEveryCommand) {
    const std::vector<std::string> expected = {
        "d [addr [len]]   dump memory",    "e addr [bytes]   enter bytes",
        "f addr len byte  fill memory",    "c src dst len    copy memory",
        "g addr           run program",    "i port           read port",
        "o port bytes     write port",     "cls              clear screen",
        "color xy         paper x, ink y", "beep             beep",
        "help             this list",      "Numbers are hex.",
    };
    EXPECT_EQ(expected, command("help"));
    EXPECT_EQ(expected, command("?"));
    EXPECT_EQ(expected, command("HeLp"));
}

TEST_F(Monitor, UnknownCommandsAndEmptyLines) {
    EXPECT_EQ("Unknown command: xyz", answer("xyz"));
    // A command word with a letter too many is not the command.
    EXPECT_EQ("Unknown command: helpme", answer("helpme"));
    EXPECT_EQ("Unknown command: dd", answer("dd 8000"));
    // Long words are cut in the message so that it stays on one line.
    EXPECT_EQ("Unknown command: abcdefghijklmn", answer("abcdefghijklmnopqrstuvw"));
    EXPECT_TRUE(command("").empty());
    EXPECT_TRUE(command("    ").empty());
}

TEST_F(Monitor, MissingOrExtraArgumentsShowUsage) {
    EXPECT_EQ("Usage: e addr [bytes]", answer("e"));
    EXPECT_EQ("Usage: f addr len byte", answer("f 8000"));
    EXPECT_EQ("Usage: f addr len byte", answer("f 8000 10"));
    EXPECT_EQ("Usage: f addr len byte", answer("f 8000 10 0 1"));
    EXPECT_EQ("Usage: c src dst len", answer("c 8000 9000"));
    EXPECT_EQ("Usage: g addr", answer("g"));
    EXPECT_EQ("Usage: g addr", answer("g 8000 1"));
    EXPECT_EQ("Usage: i port", answer("i"));
    EXPECT_EQ("Usage: o port bytes", answer("o c"));
    EXPECT_EQ("Usage: d [addr [len]]", answer("d 8000 10 4"));
    EXPECT_EQ("Usage: cls", answer("cls 1"));
    EXPECT_EQ("Usage: color xy", answer("color"));
    EXPECT_EQ("Usage: beep", answer("beep now"));
    EXPECT_EQ("Usage: help", answer("help me"));
}

TEST_F(Monitor, BadNumbersAreNamed) {
    EXPECT_EQ("Bad hex number: 80g0", answer("d 80g0"));
    EXPECT_EQ("Bad hex number: -1", answer("d -1"));
    EXPECT_EQ("Out of range: 10000", answer("d 10000"));
    EXPECT_EQ("Out of range: 100", answer("e 8000 1 100"));
    EXPECT_EQ("Out of range: 1ff", answer("f 8000 1 1ff"));
    EXPECT_EQ("Out of range: 100", answer("i 100"));
    EXPECT_EQ("Bad hex number: x", answer("o c x"));
    // Leading zeros do not count against the four digits.
    EXPECT_EQ(1u, command("d 00008000 1").size());
}

// Dump ---------------------------------------------------------------------------------------

TEST_F(Monitor, DumpShowsHexAndCharacters) {
    const char text[] = "Hi!\x01\x7F~ z";
    for (int i = 0; i < 9; ++i)
        harness_poke(0x8000 + i, static_cast<uint8_t>(text[i]));
    harness_poke(0x8009, 0xFF);
    // Characters outside 20h-7Eh show as dots, spaces stay spaces; the hex falls in two groups
    // of four bytes, and a short last line keeps the character column in place.
    EXPECT_EQ((std::vector<std::string>{"8000 48692101 7F7E207A Hi!..~ z",
                                        "8008 00FF" + std::string(14, ' ') + ".."}),
              command("d 8000 a"));
}

TEST_F(Monitor, DumpOfTheRomMatchesMemory) {
    const auto out = command("d 0 10");
    ASSERT_EQ(2u, out.size());
    for (int line = 0; line < 2; ++line) {
        std::string expected = hex4(line * 8) + " ";
        std::string chars;
        for (int i = 0; i < 8; ++i) {
            const uint8_t byte = harness_peek(static_cast<uint16_t>(line * 8 + i));
            if (i == 4) expected += " ";
            expected += hex2(byte);
            chars += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
        }
        EXPECT_EQ(expected + " " + chars, out[line]);
    }
    // The first instruction is the jump to the cold start.
    EXPECT_EQ(0xC3, harness_peek(0));
}

TEST_F(Monitor, DumpDefaultsAndContinues) {
    // A bare "d" starts at the first free byte, 80h bytes long, and the next goes on.
    const auto first = command("d");
    ASSERT_EQ(16u, first.size());
    EXPECT_EQ("3C00", first.front().substr(0, 4));
    EXPECT_EQ("3C78", first.back().substr(0, 4));
    const auto second = command("d");
    ASSERT_EQ(16u, second.size());
    EXPECT_EQ("3C80", second.front().substr(0, 4));
    const auto given = command("d 9000");
    ASSERT_EQ(16u, given.size());
    EXPECT_EQ("9000", given.front().substr(0, 4));
    EXPECT_EQ("9080", command("d").front().substr(0, 4));
    // One argument is the address, not the length.
    EXPECT_EQ("0004", command("d 4").front().substr(0, 4));
}

TEST_F(Monitor, DumpRangesAtTheTopOfMemory) {
    // A block may end exactly at FFFF, not past it.
    const auto top = command("d fff8 8");
    ASSERT_EQ(1u, top.size());
    EXPECT_EQ("FFF8", top.front().substr(0, 4));
    EXPECT_EQ("Range past FFFF", answer("d fff8 9"));
    EXPECT_EQ("Length must not be 0", answer("d 8000 0"));
    // After the block that ended at FFFF, a bare "d" wraps to 0000.
    command("d fff8 8");
    EXPECT_EQ("0000", command("d").front().substr(0, 4));
}

TEST_F(Monitor, KeyPressStopsALongDump) {
    screen_type("d 0 ffff\n");
    harness_run_ticks(5000000);
    EXPECT_FALSE(at_prompt());
    harness_tap_key(' ', 300000, 300000);
    ASSERT_TRUE(run_to_prompt(5000000)) << "the listing did not stop";
    // It stopped early: far from the end of memory.
    const int row = screen_last_row() - 1;
    const std::string last = screen_line(row);
    EXPECT_LT(std::stoul(last.substr(0, 4), nullptr, 16), 0x4000u) << last;
}

// Enter, fill, copy --------------------------------------------------------------------------

TEST_F(Monitor, EnterStoresBytes) {
    EXPECT_TRUE(command("e 8000 1 22 ff 0a").empty());
    EXPECT_EQ(0x01, harness_peek(0x8000));
    EXPECT_EQ(0x22, harness_peek(0x8001));
    EXPECT_EQ(0xFF, harness_peek(0x8002));
    EXPECT_EQ(0x0A, harness_peek(0x8003));
    EXPECT_EQ(0x00, harness_peek(0x8004));
    EXPECT_TRUE(command("E FEFF 5A").empty());
    EXPECT_EQ(0x5A, harness_peek(0xFEFF));
}

TEST_F(Monitor, EnterChecksTheWholeLineFirst) {
    // A bad byte anywhere on the line: nothing is stored.
    EXPECT_EQ("Bad hex number: zz", answer("e 8000 11 22 zz"));
    EXPECT_EQ("Out of range: 123", answer("e 8000 11 123"));
    EXPECT_EQ(0x00, harness_peek(0x8000));
    EXPECT_EQ("Range past FFFF", answer("e ffff 1 2"));
    const uint8_t rom_byte = harness_peek(0x1FFF);
    EXPECT_EQ("ROM is read-only: 1FFF", answer("e 1fff 1 2"));
    EXPECT_EQ(rom_byte, harness_peek(0x1FFF));
}

TEST_F(Monitor, WritesSpareTheMonitorsOwnMemory) {
    // Its variables (3B00-3BFF) and its stack page (FF00-FFFF): overwriting them would crash
    // the monitor under the command that did it.
    EXPECT_EQ("Used by the monitor: FF00", answer("f fe00 200 c3"));
    EXPECT_EQ(0x00, harness_peek(0xFE00));
    EXPECT_EQ("Used by the monitor: FFFE", answer("e fffe 1 2"));
    EXPECT_EQ("Used by the monitor: 3B00", answer("f 3a00 101 0"));
    EXPECT_EQ("Used by the monitor: 3B80", answer("c 8000 3b80 1"));
    EXPECT_EQ("Used by the monitor: 3B00", answer("f 2000 df00 0"));
    // Right up to them is fine: the video memory below and the free RAM above.
    EXPECT_TRUE(command("f 3aff 1 1f").empty());
    EXPECT_EQ(0x1F, harness_peek(0x3AFF));
    EXPECT_TRUE(command("f 3c00 1 5").empty());
    EXPECT_EQ(0x05, harness_peek(0x3C00));
    EXPECT_TRUE(command("f fe00 100 c3").empty());
    EXPECT_EQ(0xC3, harness_peek(0xFEFF));
    EXPECT_EQ("Port 08 = FF", answer("i 8"));
}

TEST_F(Monitor, InteractiveEnterWalksAndChangesBytes) {
    harness_poke(0x9000, 0x3E);
    harness_poke(0x9001, 0x41);
    screen_type("e 9000\n");
    harness_run_ticks(1000000);
    EXPECT_EQ("Enter: next  -: back  .: end", screen_line(screen_last_row() - 1));
    EXPECT_EQ("9000 3E", screen_line(screen_last_row()));
    screen_type("\n"); // keep 3E
    screen_type("55 66\n");
    harness_run_ticks(1000000);
    EXPECT_EQ(0x3E, harness_peek(0x9000));
    EXPECT_EQ(0x55, harness_peek(0x9001));
    EXPECT_EQ(0x66, harness_peek(0x9002));
    EXPECT_EQ("9003 00", screen_line(screen_last_row()));
    screen_type("-\n");
    harness_run_ticks(1000000);
    EXPECT_EQ("9002 66", screen_line(screen_last_row()));
    // An error is reported and the same address is offered again.
    screen_type("1 xy\n");
    harness_run_ticks(1000000);
    EXPECT_EQ("Bad hex number: xy", screen_line(screen_last_row() - 1));
    EXPECT_EQ("9002 66", screen_line(screen_last_row()));
    EXPECT_EQ(0x66, harness_peek(0x9002));
    screen_type("100\n");
    harness_run_ticks(1000000);
    EXPECT_EQ("Out of range: 100", screen_line(screen_last_row() - 1));
    screen_type(".\n");
    EXPECT_TRUE(run_to_prompt());
}

TEST_F(Monitor, InteractiveEnterReportsRom) {
    screen_type("e 100\n");
    harness_run_ticks(1000000);
    const uint8_t before = harness_peek(0x100);
    screen_type("12\n");
    harness_run_ticks(1000000);
    EXPECT_EQ("ROM is read-only: 0100", screen_line(screen_last_row() - 1));
    EXPECT_EQ("0100 " + hex2(before), screen_line(screen_last_row()));
    EXPECT_EQ(before, harness_peek(0x100));
    screen_type(".\n");
    EXPECT_TRUE(run_to_prompt());
}

TEST_F(Monitor, FillWritesExactlyTheBlock) {
    EXPECT_TRUE(command("f 8001 10 aa").empty());
    EXPECT_EQ(0x00, harness_peek(0x8000));
    for (int a = 0x8001; a <= 0x8010; ++a)
        EXPECT_EQ(0xAA, harness_peek(static_cast<uint16_t>(a))) << std::hex << a;
    EXPECT_EQ(0x00, harness_peek(0x8011));
    // One byte, and a block that ends exactly at the top of memory.
    EXPECT_TRUE(command("f 9000 1 7").empty());
    EXPECT_EQ(0x07, harness_peek(0x9000));
    EXPECT_EQ(0x00, harness_peek(0x9001));
    // The whole free RAM in one go.
    EXPECT_TRUE(command("f 3c00 c300 e5").empty());
    EXPECT_EQ(0xE5, harness_peek(0x3C00));
    EXPECT_EQ(0xE5, harness_peek(0xFEFF));
    EXPECT_EQ(0x00, harness_peek(0x3BFF)); // the last, unused byte of the variables
}

TEST_F(Monitor, FillRefusesBadBlocks) {
    EXPECT_EQ("Range past FFFF", answer("f fff0 11 1"));
    EXPECT_EQ("Length must not be 0", answer("f 8000 0 1"));
    const uint8_t first_pixels = harness_peek(0x2000);
    EXPECT_EQ("ROM is read-only: 1FF0", answer("f 1ff0 20 1"));
    // The RAM half of that block (the first bitmap bytes) is not written either.
    EXPECT_EQ(first_pixels, harness_peek(0x2000));
}

TEST_F(Monitor, CopyHandlesOverlap) {
    for (int i = 0; i < 16; ++i)
        harness_poke(0x8000 + i, static_cast<uint8_t>(i + 1));
    // Apart.
    EXPECT_TRUE(command("c 8000 9000 10").empty());
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(i + 1, harness_peek(0x9000 + i));
    // Upwards into itself: a copy from the bottom would repeat the first four bytes.
    EXPECT_TRUE(command("c 8000 8004 10").empty());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(i + 1, harness_peek(0x8000 + i));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(i + 1, harness_peek(0x8004 + i)) << i;
    // Downwards into itself.
    EXPECT_TRUE(command("c 9004 9000 c").empty());
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(i + 5, harness_peek(0x9000 + i)) << i;
}

TEST_F(Monitor, CopyRefusesBadBlocks) {
    EXPECT_EQ("Range past FFFF", answer("c fff0 8000 11"));
    EXPECT_EQ("Range past FFFF", answer("c 8000 fff0 11"));
    EXPECT_EQ("ROM is read-only: 0000", answer("c 8000 0 10"));
    EXPECT_EQ("Length must not be 0", answer("c 8000 9000 0"));
    // Copying out of the ROM is fine.
    EXPECT_TRUE(command("c 0 8000 3").empty());
    EXPECT_EQ(0xC3, harness_peek(0x8000));
}

// Go -----------------------------------------------------------------------------------------

TEST_F(Monitor, GoCallsAProgramThatReturns) {
    // LD A,'A' / CALL MON_PUTC / LD A,'B' / CALL MON_PUTC / RET
    command("e 9000 3e 41 cd 13 0 3e 42 cd 13 0 c9");
    const auto out = command("g 9000");
    EXPECT_EQ(std::vector<std::string>{"AB"}, out);
    EXPECT_GE(emu_->cpu.SP, 0xFF00);
}

TEST_F(Monitor, GoSurvivesAProgramThatLosesItsStack) {
    // LD SP,9100 / PUSH AF / JP MON_WARM: the warm start finds its stack again.
    command("e 9000 31 0 91 f5 c3 10 0");
    EXPECT_TRUE(command("g 9000").empty());
    EXPECT_GE(emu_->cpu.SP, 0xFF00);
    EXPECT_EQ("Port 08 = FF", answer("i 8"));
}

TEST_F(Monitor, GoSilencesWhatTheProgramLeftPlaying) {
    // Channel A at amplitude 15 through the ports, then RET.
    command("e 9000 3e 8 d3 d 3e f d3 c c9");
    command("g 9000");
    EXPECT_EQ(0, emu_->psg.regs[8]);
}

TEST_F(Monitor, GoToAddressZeroRestarts) {
    screen_type("g 0\n");
    harness_run_ticks(boot_ticks);
    EXPECT_EQ("Quillane monitor 1.0", screen_line(0));
    EXPECT_TRUE(at_prompt());
}

// Ports, screen, sound -----------------------------------------------------------------------

TEST_F(Monitor, PortInputShowsTheValue) {
    EXPECT_EQ("Port 08 = FF", answer("i 8"));
    EXPECT_EQ("Port 00 = 00", answer("i 0"));
    // Port 16 reads back the last row select of the keyboard scan: row 7 is selected last.
    EXPECT_EQ("Port 10 = 80", answer("i 10"));
}

TEST_F(Monitor, PortOutputWritesInOrder) {
    harness_clear_port_log();
    EXPECT_TRUE(command("o d 9").empty());
    EXPECT_TRUE(command("o c 5 7").empty());
    EXPECT_EQ(7, emu_->psg.regs[9]);
    // The key clicks write port 12 too; the command's two bytes come one after the other.
    std::vector<uint8_t> to_c;
    for (const auto &event : harness_port_log())
        if (event.write && (event.port & 0xFF) == 0x0C) to_c.push_back(event.value);
    const std::vector<uint8_t> pair = {5, 7};
    EXPECT_NE(to_c.end(), std::search(to_c.begin(), to_c.end(), pair.begin(), pair.end()));
}

TEST_F(Monitor, KeyboardSurvivesAnOutputThatUnconfiguresIt) {
    // Mode 1 on port B drops the keyboard; the monitor sets it up again before its prompt.
    EXPECT_TRUE(command("o 13 4f").empty());
    EXPECT_EQ(2, emu_->kbd.pio_b_state);
    EXPECT_EQ("Port 08 = FF", answer("i 8"));
}

TEST_F(Monitor, ClearScreen) {
    command("help");
    screen_type("cls\n");
    ASSERT_TRUE(run_to_prompt());
    EXPECT_EQ(0, screen_last_row());
    EXPECT_EQ(">", screen_line(0));
}

TEST_F(Monitor, ColourCommand) {
    command("color 4e");
    for (int row = 0; row < SCREEN_ROWS; ++row)
        for (int col = 0; col < SCREEN_COLS; ++col)
            if (!(row == var(cur_row_) && col == var(cur_col_))) {
                ASSERT_EQ(0x4E, screen_attr(row, col)) << row << "," << col;
            }
    // New text comes in the new colour, and the screen keeps its text.
    command("i 8");
    EXPECT_EQ(0x4E, screen_attr(screen_last_row() - 1, 0));
    EXPECT_EQ("Quillane monitor 1.0", screen_line(0));
    // Text in the paper's own colour could not be read back.
    EXPECT_EQ("Ink and paper must differ", answer("color 77"));
    EXPECT_EQ(0x4E, screen_attr(0, 0));
}

TEST_F(Monitor, BeepSoundsAndStops) {
    harness_clear_port_log();
    command("beep");
    const auto amplitude_c = psg_writes(10);
    bool sounded = false;
    for (const uint8_t v : amplitude_c)
        sounded |= v >= 12;
    EXPECT_TRUE(sounded);
    ASSERT_FALSE(amplitude_c.empty());
    EXPECT_EQ(0, amplitude_c.back());
    EXPECT_EQ(0, emu_->psg.regs[10]);
}

// Keyboard and line editing ------------------------------------------------------------------

TEST_F(Monitor, ShiftGivesCapitalsAndSymbols) {
    screen_type("aZ!@#$%^&*()_+~{}|:\"<>?");
    EXPECT_EQ("> aZ!@#$%^&*()_+~{}|:\"<>?", screen_line(3));
    screen_type("`1-=[]\\;',./");
    EXPECT_EQ("> aZ!@#$%^&*()_+~{}|:\"<>?`1-=[]\\", screen_line(3));
    EXPECT_EQ(";',./", screen_line(4));
}

TEST_F(Monitor, CapsLockTogglesLetters) {
    harness_tap_key(vk_caps);
    screen_type("ab1");
    harness_key_down(vk_shift);
    harness_run_ticks(100000);
    harness_tap_key('C');
    harness_key_up(vk_shift);
    harness_run_ticks(100000);
    harness_tap_key(vk_caps);
    screen_type("d");
    EXPECT_EQ("> AB1cd", screen_line(3));
}

TEST_F(Monitor, BackspaceAndTabEdit) {
    screen_type("hx\bel\tp");
    // "hel" then Tab from column 5 to column 8.
    EXPECT_EQ("> hel   p", screen_line(3));
    screen_type("\b\b\b\b\b\b\b\b\b\b"); // more than there is: stops at the prompt
    EXPECT_EQ(">", screen_line(3));
    EXPECT_EQ(2, var(cur_col_));
    screen_type("help\n");
    EXPECT_TRUE(run_to_prompt());
    EXPECT_NE(-1, screen_find("Numbers are hex."));
}

TEST_F(Monitor, BackspaceAcrossAWrappedLine) {
    const std::string first(30, 'k'); // fills row 3 up to column 31
    screen_type(first + "mn");
    EXPECT_EQ("> " + first, screen_line(3));
    EXPECT_EQ("mn", screen_line(4));
    screen_type("\b\b\b");
    EXPECT_EQ("> " + std::string(29, 'k'), screen_line(3));
    EXPECT_EQ("", screen_line(4));
}

TEST_F(Monitor, LongLinesStopAtTheBuffer) {
    // 63 characters fit; the rest are refused with a short blip instead of overrunning the
    // buffer.
    const std::string line = "d 8000 " + std::string(60, '0');
    harness_clear_port_log();
    screen_type(line + "\n");
    ASSERT_TRUE(run_to_prompt());
    bool refused = false;
    for (const uint8_t v : psg_writes(10))
        refused |= v == 12;
    EXPECT_TRUE(refused);
    // The line as kept: 7 + 56 zeros, a valid address of 8000 and length 0.
    EXPECT_NE(-1, screen_find("Length must not be 0"));
    const int buffer = rom_symbol("line_buf");
    EXPECT_EQ(0, harness_peek(static_cast<uint16_t>(buffer + 63)));
}

TEST_F(Monitor, HeldKeyRepeatsQuickTapDoesNot) {
    harness_tap_key('X', 300000, 300000);
    EXPECT_EQ("> x", screen_line(3));
    // Held for two seconds: it repeats after about half a second, about 20 times a second.
    harness_key_down('Y');
    harness_run_ticks(20000000);
    harness_key_up('Y');
    harness_run_ticks(300000);
    const std::string line = screen_line(3) + screen_line(4);
    const size_t count = std::count(line.begin(), line.end(), 'y');
    EXPECT_GT(count, 10u) << line;
    EXPECT_LT(count, 50u) << line;
    // Released: no more.
    harness_run_ticks(10000000);
    EXPECT_EQ(line, screen_line(3) + screen_line(4));
}

TEST_F(Monitor, BouncingContactGivesOneKey) {
    // Contacts chatter for a few hundred microseconds before they settle.
    for (int i = 0; i < 6; ++i) {
        harness_key_down('K');
        harness_run_ticks(1500 + 700 * i);
        harness_key_up('K');
        harness_run_ticks(1100);
    }
    harness_key_down('K');
    harness_run_ticks(300000);
    harness_key_up('K');
    for (int i = 0; i < 4; ++i) {
        harness_run_ticks(1200);
        harness_key_down('K');
        harness_run_ticks(900);
        harness_key_up('K');
    }
    harness_run_ticks(300000);
    EXPECT_EQ("> k", screen_line(3));
}

TEST_F(Monitor, TwoKeysPressedTogetherBothCount) {
    harness_key_down('Q');
    harness_key_down('W');
    harness_run_ticks(300000);
    harness_key_up('Q');
    harness_key_up('W');
    harness_run_ticks(300000);
    // Both are reported, in matrix order (Q is row 1, W row 2).
    EXPECT_EQ("> qw", screen_line(3));
}

TEST_F(Monitor, KeyHeldWhileACommandRunsIsTypedAtThePrompt) {
    screen_type("help\n", 300000, 0);
    // Pressed while the list is still being printed, released after the prompt is back.
    harness_key_down('X');
    harness_run_ticks(5000000);
    harness_key_up('X');
    harness_run_ticks(300000);
    EXPECT_EQ("> x", screen_line(screen_last_row()));
}

TEST_F(Monitor, EachKeyClicks) {
    harness_clear_port_log();
    screen_type("abc");
    size_t clicks = 0;
    for (const uint8_t v : psg_writes(10))
        clicks += v != 0;
    EXPECT_EQ(3u, clicks);
    EXPECT_EQ(0, emu_->psg.regs[10]);
}

TEST_F(Monitor, ModifiersAloneTypeNothing) {
    for (uint8_t vk : {vk_shift, uint8_t{0x11}, uint8_t{0x5B}})
        harness_tap_key(vk);
    EXPECT_EQ(">", screen_line(3));
    EXPECT_EQ(2, var(cur_col_));
}

TEST_F(Monitor, ScrollsWhenTheScreenIsFull) {
    for (int i = 0; i < 12; ++i)
        command("i 8");
    // 4 boot rows + 24 command rows: the banner has scrolled away, the prompt is at the bottom.
    EXPECT_EQ(23, screen_last_row());
    EXPECT_EQ(">", screen_line(23));
    EXPECT_EQ("Port 08 = FF", screen_line(22));
    EXPECT_EQ("> i 8", screen_line(21));
    EXPECT_EQ(-1, screen_find("Quillane"));
    // The new bottom row has the text colour.
    EXPECT_EQ(0x1F, screen_attr(22, 31));
}

// Entry table --------------------------------------------------------------------------------

TEST_F(Monitor, EntriesKeepRegistersAndPrintAsDocumented) {
    ASSERT_TRUE(harness_load_bin(QUILLANE_Z80_DIR "/monitor_entries.bin", 0x9000));
    screen_type("g 9000\n");
    ASSERT_TRUE(run_to_prompt(80000000)) << screen_dump();
    EXPECT_EQ(0, harness_peek(0x9800))
        << "first entry that changed a register: " << int(harness_peek(0x9801));
    EXPECT_EQ("0 65535 10 1234", screen_line(0));
    EXPECT_EQ("BEEF 07", screen_line(1));
    // "AB", backspace, "C", Tab, "D", CR LF
    EXPECT_EQ("AC  D", screen_line(2));
    EXPECT_EQ(std::string(2, SCREEN_BLOCK), screen_line(3));
    EXPECT_EQ("abcdefghijklmnopqrstuvwxyzABCDEF", screen_line(4));
    EXPECT_EQ("GH        #", screen_line(5));
    EXPECT_EQ(5, harness_peek(0x9803));  // row
    EXPECT_EQ(11, harness_peek(0x9802)); // column after the character
    EXPECT_EQ(23, harness_peek(0x9805));
    EXPECT_EQ(31, harness_peek(0x9804));
    EXPECT_EQ(0x4E, harness_peek(0x9808));
    // MON_PUTS returns HL after the terminator of the string.
    EXPECT_EQ(9, harness_peek(0x9806) | harness_peek(0x9807) << 8); // 8 characters and the 0
    std::vector<uint8_t> numbers;
    for (int i = 0; i < 16; ++i)
        numbers.push_back(harness_peek(static_cast<uint16_t>(0x9810 + i)));
    std::sort(numbers.begin(), numbers.end());
    EXPECT_GT(std::unique(numbers.begin(), numbers.end()) - numbers.begin(), 8);
}

TEST_F(Monitor, EntryAddressesAreFixed) {
    // Programs are assembled against these addresses: each holds a jump into the ROM.
    for (uint16_t address = 0x0010; address <= 0x0052; address += 3) {
        EXPECT_EQ(0xC3, harness_peek(address)) << std::hex << address;
        const uint16_t target = harness_peek(address + 1) | harness_peek(address + 2) << 8;
        EXPECT_LT(target, 0x2000) << std::hex << address;
        EXPECT_GT(target, 0x0054) << std::hex << address;
    }
    EXPECT_EQ(rom_symbol("kb_getkey"), harness_peek(0x001A) | harness_peek(0x001B) << 8);
    EXPECT_EQ(1, harness_peek(0x0003)); // version 1.0
    EXPECT_EQ(0, harness_peek(0x0004));
}

} // namespace
