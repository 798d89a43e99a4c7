// The command language's rules on the engine test program (tests/z80/engine_stops.asm): comments
// after arguments, decimal counts, the one rule for words, memory ending at FFFF, the echoes of
// watch and delete, and a watched write to ROM.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "debug/core/engine.h"
#include "debug/front/commands.h"
#include "harness.h"
#include "harness_screen.h"
#include "machine/emu.h"

namespace {

const std::string &sym_file = engine_stops_sym;
const auto at = engine_stops_at;

size_t lines(const std::string &text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Disassembly lines without the label lines between them.
size_t instructions(const std::string &text) {
    size_t n = 0;
    for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1)
        n += text.compare(at, 2, "  ") == 0 || text.compare(at, 2, "> ") == 0;
    return n;
}

class Commands : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(engine_stops_load());
        emu_ = &emu_state;
        e_ = dbg_engine();
        ASSERT_FALSE(run("symbols " + sym_file).error);
    }

    dbg_result_t run(const std::string &line) { return dbg_execute(e_, line); }
    std::string out(const std::string &line) {
        const dbg_result_t r = dbg_execute(e_, line);
        EXPECT_FALSE(r.error) << line << ": " << r.output;
        return r.output;
    }

    emu_t *emu_ = nullptr;
    dbg_engine_t *e_ = nullptr;
};

TEST_F(Commands, CommentsDecimalCountsAndTheWordRule) {
    // A comment may follow the arguments.
    out("poke data 41 # the letter A");
    EXPECT_EQ(0x41, harness_peek(at("data")));
    EXPECT_EQ(2u, instructions(out("disasm start 2 # two lines")));

    // Counts are decimal: 12 lines, 10 instructions.
    EXPECT_EQ(12u, instructions(out("disasm 8000 12")));
    out("step 10");
    const uint64_t ten_steps = dbg_ticks(e_);
    const uint16_t ten_pc = emu_->cpu.PC;
    harness_init();
    ASSERT_TRUE(harness_load_bin(QUILLANE_Z80_DIR "/engine_stops.bin", 0x8000));
    harness_poke(0x0008, 0xC9);
    harness_set_pc(0x8000);
    ASSERT_FALSE(run("symbols " + sym_file).error);
    for (int i = 0; i < 10; ++i)
        out("step");
    EXPECT_EQ(ten_steps, dbg_ticks(e_));
    EXPECT_EQ(ten_pc, emu_->cpu.PC);
    EXPECT_TRUE(run("step 1A").error);
    EXPECT_TRUE(run("break counted 0x3").error);

    // Registers, then symbols, then numbers; a leading digit or $ always means a number. Names
    // that hide a register or a number are reported once, when their file is loaded.
    const std::string odd = ::testing::TempDir() + "commands_odd.sym";
    {
        std::ofstream f(odd);
        f << "ff EQU 01234H\npc EQU 05678H\n_add EQU 09ABCH\nplain EQU 04000H\n";
    }
    const std::string loaded = out("symbols " + odd);
    EXPECT_EQ(4u, lines(loaded)) << loaded; // the count and three warnings
    EXPECT_NE(std::string::npos, loaded.find("warning: symbol ff hides a number")) << loaded;
    EXPECT_NE(std::string::npos, loaded.find("warning: symbol _add hides a number")) << loaded;
    EXPECT_NE(std::string::npos, loaded.find("warning: symbol pc ")) << loaded;
    EXPECT_EQ(1u, lines(out("symbols " + odd))); // once
    out("set hl ff");
    EXPECT_EQ(0x1234, emu_->cpu.HL);
    for (const char *number : {"0ff", "$FF", "0xff", "0ffh"}) {
        out(std::string("set hl ") + number);
        EXPECT_EQ(0x00FF, emu_->cpu.HL) << number;
    }
    out("set hl add");
    EXPECT_EQ(0x9ABC, emu_->cpu.HL);
    out("set bc sp+2");
    EXPECT_EQ(static_cast<uint16_t>(emu_->cpu.SP + 2), emu_->cpu.BC);
    out("poke 9000 0de ad"); // bytes follow the same rule
    EXPECT_EQ(0xDE, harness_peek(0x9000));
    EXPECT_EQ(0xAD, harness_peek(0x9001));
    const std::string here = out("disasm pc 1");
    EXPECT_NE(std::string::npos, ("\n" + here).find("\n> " + dbg_hex4(emu_->cpu.PC))) << here;
    EXPECT_EQ("Breakpoint 1 at 4010 (plain+10)\n", out("break plain+10"));
}

TEST_F(Commands, MemoryEndsAtFFFFAndEchoesSayWhatTheyDid) {
    // mem stops at FFFF: a default length is cut there, a given one must fit.
    EXPECT_EQ("FFF8  00 00 00 00 00 00 00 00 " + std::string(24, ' ') + " ........\n",
              out("mem FFF8"));
    EXPECT_EQ("Range past FFFF\n", run("mem FFFF 2").output);
    EXPECT_TRUE(run("mem FFFF 2").error);

    // A watchpoint's echo and the list show its length; delete says what it deleted.
    EXPECT_EQ("Breakpoint 1 at " + dbg_hex4(at("counted")) + " (counted)\n", out("break counted"));
    EXPECT_EQ("Watchpoint 2: write " + dbg_hex4(at("target")) + " length 10\n",
              out("watch write target 10"));
    EXPECT_EQ("Watchpoint 3: out 0C\n", out("watch out 0C"));
    EXPECT_NE(std::string::npos, out("break").find("Watchpoint 2: write " + dbg_hex4(at("target")) +
                                                   " length 10, 0 hits"));
    EXPECT_EQ("Deleted breakpoint 1 at " + dbg_hex4(at("counted")) + " (counted)\n",
              out("delete 1"));
    EXPECT_EQ("Deleted watchpoint 2: write " + dbg_hex4(at("target")) + " length 10\n",
              out("delete 2"));
    EXPECT_TRUE(run("delete 2").error);

    // A write to ROM stops a write watchpoint, and the report says the ROM kept its byte.
    out("delete");
    out("poke 9000 3E 77 32 00 01 76"); // LD A,77h; LD (0100h),A; HALT
    out("set pc 9000");
    // Overlapping ranges: deleting one leaves the other watching the address they share.
    EXPECT_EQ("Watchpoint 4: write 0100 length 1\n", out("watch write 0100"));
    out("watch write 00F0 20");
    out("delete 5");
    const dbg_result_t r = run("continue");
    EXPECT_TRUE(r.stopped);
    EXPECT_NE(std::string::npos, r.output.find("wrote 77 to 0100 (ROM, unchanged); now at 9005"))
        << r.output;
    EXPECT_EQ(0x00, harness_peek(0x0100));
}

} // namespace

namespace {

// A register's name means the register in every command: print, a condition, a place, a value,
// even where the name is also a hexadecimal number or a loaded symbol; a leading digit makes it a
// number.
TEST_F(Commands, ARegisterNameMeansTheRegisterEverywhere) {
    const std::string de_symbol = ::testing::TempDir() + "commands_de.sym";
    std::ofstream(de_symbol) << "de EQU 01234H\n";
    EXPECT_NE(std::string::npos,
              out("symbols " + de_symbol).find("warning: symbol de is also a register"));
    out("poke 9000 00 00 00 76"); // NOP NOP NOP HALT
    out("set pc 9000");
    out("set de 9002");
    out("set c 45");

    EXPECT_NE(std::string::npos, out("print de").find("$9002"));
    EXPECT_NE(std::string::npos, out("print c").find("$45"));
    EXPECT_NE(std::string::npos, out("print 0xde").find("($00DE)"));
    EXPECT_NE(std::string::npos, out("break de if de == 0x9002").find("at 9002"));
    // Were de the number DE in a condition, this one would stop first.
    EXPECT_NE(std::string::npos, out("break 9001 if de == $de").find("at 9001"));
    const dbg_result_t stop = run("continue");
    EXPECT_TRUE(stop.stopped);
    EXPECT_NE(std::string::npos, stop.output.find("Breakpoint 1 at 9002")) << stop.output;

    EXPECT_NE(std::string::npos, out("break 0de").find("at 00DE"));
    EXPECT_NE(std::string::npos, out("break c000").find("at C000"));
    EXPECT_NE(std::string::npos, out("break C000").find("at C000"));
    out("set hl de");
    EXPECT_EQ(0x9002, emu_->cpu.HL);
    out("poke 9100 c 0c fc");
    EXPECT_EQ(0x45, harness_peek(0x9100));
    EXPECT_EQ(0x0C, harness_peek(0x9101));
    EXPECT_EQ(emu_->cpu.F & 1, harness_peek(0x9102)); // the carry flag
    EXPECT_EQ(0u, out("mem c 1").find("0045"));
    EXPECT_EQ(0u, out("mem de-2 1").find("9000"));
}

} // namespace
