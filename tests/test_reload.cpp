// Live reload of a rebuilt image: the new code and its symbols replace the old, breakpoints at
// labels follow them, the machine is reset and the text typed again; an image that does not read
// changes nothing. A rebuilt C program brings its debug information: lines, functions, globals
// and sources are the new build's, and breakpoints follow their lines and functions.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/core/reload.h"
#include "debug/front/commands.h"
#include "harness.h"
#include "machine/emu.h"
#include "reload_builds.h"

namespace {

std::string temp_base() {
    return testing::TempDir() + "reload_" + std::to_string(getpid());
}

// Writes NAME.hex holding `code` at 8000 and NAME.sym naming `work` at work_address.
void write_program(const std::string &base, const std::vector<uint8_t> &code,
                   uint16_t work_address) {
    dbg_engine_t *e = dbg_engine();
    std::vector<uint8_t> saved(code.size());
    for (size_t i = 0; i < code.size(); ++i) {
        saved[i] = e->emu->memory[0x8000 + i];
        e->emu->memory[0x8000 + i] = code[i];
    }
    std::string error;
    ASSERT_TRUE(
        dbg_save_memory(e, base + ".hex", 0x8000, static_cast<uint32_t>(code.size()), &error))
        << error;
    for (size_t i = 0; i < code.size(); ++i)
        e->emu->memory[0x8000 + i] = saved[i];
    std::ofstream sym(base + ".sym");
    char line[64];
    std::snprintf(line, sizeof line, "main\t\tEQU 08000H\nwork\t\tEQU 0%04XH\n", work_address);
    sym << line;
}

TEST(Reload, TheRebuiltProgramReplacesTheOldOneAndBreakpointsFollowItsLabels) {
    emu_t *emu = harness_init();
    dbg_engine_t *e = dbg_engine();
    const std::string base = temp_base();
    std::string error;
    // The first build: `work` (JR work) at 8004.
    write_program(base, {0, 0, 0, 0, 0x18, 0xFE}, 0x8004);
    ASSERT_TRUE(dbg_reload(e, {base + ".hex"}, {}, &error)) << error;
    EXPECT_EQ(0x18, emu->memory[0x8004]);
    dbg_break_add(e, 0x8004, 2); // at the label, with a skip count
    dbg_break_add(e, 0x8002, 0); // at no label: stays
    emu->cpu.PC = 0x8004;

    // Rebuilt: `work` moved to 800C.
    write_program(base, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x18, 0xFE}, 0x800C);
    ASSERT_TRUE(dbg_reload(e, {base + ".hex"}, {"g 8000\n"}, &error)) << error;
    EXPECT_EQ(0x18, emu->memory[0x800C]);
    EXPECT_EQ(0x0000, emu->cpu.PC); // reset
    std::vector<std::pair<uint16_t, uint32_t>> at;
    for (const dbg_breakpoint_t &b : dbg_breakpoint_list(e))
        at.push_back({b.address, b.skip});
    EXPECT_EQ((std::vector<std::pair<uint16_t, uint32_t>>{{0x800C, 2}, {0x8002, 0}}), at);
    uint16_t work = 0;
    EXPECT_TRUE(dbg_symbol_lookup(&e->symbols, "work", &work));
    EXPECT_EQ(0x800C, work);
    EXPECT_TRUE(e->typing_wait); // typed again once the monitor is ready
    EXPECT_FALSE(e->keys.empty());

    // Half written: a record cut short does not read, and nothing changes.
    {
        std::ofstream hex(base + ".hex");
        hex << ":0E80000000000000000000000000000000C3";
    }
    emu->memory[0x800C] = 0x76;
    EXPECT_FALSE(dbg_reload(e, {base + ".hex"}, {}, &error));
    EXPECT_NE(std::string::npos, error.find(base + ".hex")) << error;
    EXPECT_EQ(0x76, emu->memory[0x800C]);
    EXPECT_EQ(2u, dbg_breakpoint_list(e).size());
    std::remove((base + ".hex").c_str());
    std::remove((base + ".sym").c_str());
}

TEST(Reload, TheMonitorsSymbolsStayBesideTheRebuiltProgramsOwn) {
    emu_t *emu = harness_init();
    dbg_engine_t *e = dbg_engine();
    const std::string base = temp_base() + "_monitor";
    const std::string rom_sym = base + "_rom.sym";
    {
        std::ofstream sym(rom_sym);
        sym << "con_putc\t\tEQU 0144H\n";
    }
    const std::string rom_before = e->rom_path;
    e->rom_path = base + "_rom.hex";
    // JP con_putc, in a program whose own symbols name main and work.
    write_program(base, {0xC3, 0x44, 0x01, 0, 0x18, 0xFE}, 0x8004);
    std::string error;
    ASSERT_TRUE(dbg_reload(e, {base + ".hex"}, {}, &error)) << error;
    ASSERT_TRUE(dbg_reload(e, {base + ".hex"}, {}, &error)) << error;
    uint16_t address = 0;
    EXPECT_TRUE(dbg_symbol_lookup(&e->symbols, "con_putc", &address));
    EXPECT_EQ(0x0144, address);
    EXPECT_TRUE(dbg_symbol_lookup(&e->symbols, "work", &address));
    EXPECT_EQ(0x8004, address);
    EXPECT_EQ("JP con_putc", dbg_disassemble(emu->memory, 0x8000, &e->symbols).text);
    e->rom_path = rom_before;
    for (const char *extension : {".hex", ".sym"})
        std::remove((base + extension).c_str());
    std::remove(rom_sym.c_str());
}

TEST(Reload, ARebuiltCProgramBringsItsLinesAndBreakpointsFollowThem) {
    harness_init();
    dbg_engine_t *e = dbg_engine();
    const std::string dir = testing::TempDir() + "reload_c_" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    if (!reload_build_c(dir, reload_first_build)) GTEST_SKIP() << "no SDCC to build the C program";
    auto run = [e](const std::string &line) {
        const dbg_result_t r = dbg_execute(e, line);
        EXPECT_FALSE(r.error) << line << ": " << r.output;
        return r.output;
    };
    std::string error;
    ASSERT_TRUE(dbg_reload(e, {dir + "/shifted.ihx"}, {}, &error)) << error;
    dbg_set_tick_limit(e, dbg_ticks(e) + 100000000); // a missed stop fails, never hangs
    run("break shifted.c:8");                        // in work
    run("break helper");                             // gone in the second build
    run("watch write g_total 2");                    // a C object
    run("break 8000");                               // by address: stays

    const uint16_t first_total = dbg_watchpoint_list(e).at(0).address;
    ASSERT_TRUE(reload_build_c(dir, reload_second_build));
    // The command language's load: the image and all its debug information in one step.
    const dbg_result_t loaded = dbg_execute(e, "load " + dir + "/shifted.ihx");
    ASSERT_FALSE(loaded.error) << loaded.output;
    dbg_place_t place;
    ASSERT_TRUE(dbg_place_resolve(e, "shifted.c:13", &place, &error)) << error;
    const uint16_t watched = [&] {
        uint16_t at = 0;
        EXPECT_TRUE(dbg_symbol_lookup(dbg_symbol_table(e), "_g_total", &at));
        return at;
    }();
    std::vector<std::pair<int, uint16_t>> now;
    for (const dbg_breakpoint_t &b : dbg_breakpoint_list(e))
        now.push_back({b.id, b.address});
    EXPECT_EQ((std::vector<std::pair<int, uint16_t>>{{1, place.address}, {4, 0x8000}}), now);
    ASSERT_EQ(1u, dbg_watchpoint_list(e).size());
    EXPECT_EQ(watched, dbg_watchpoint_list(e)[0].address);
    EXPECT_NE(std::string::npos,
              loaded.output.find("Watchpoint 3 (g_total) moved from " + dbg_hex4(first_total) +
                                 " to " + dbg_hex4(watched)))
        << loaded.output;
    EXPECT_NE(std::string::npos, loaded.output.find("Breakpoint 1 (shifted.c:8) moved from "))
        << loaded.output;
    EXPECT_NE(
        std::string::npos,
        loaded.output.find(
            "Breakpoint 2 (helper) deleted: no function or line helper in the rebuilt program\n"))
        << loaded.output;
    const std::string listed = run("list shifted.c:13");
    EXPECT_NE(std::string::npos, listed.find("13      g_total += n + g_added;")) << listed;

    // Run to the moved breakpoint: the stop names the new line, and the new global has its value.
    run("delete 3");
    run("set pc 8000");
    EXPECT_NE(std::string::npos, run("continue").find("shifted.c:13"));
    EXPECT_EQ(0u, run("print g_added").find("g_added = 1234 "));
    std::filesystem::remove_all(dir);
}

} // namespace
