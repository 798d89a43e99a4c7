// The debug engine on a small assembled program (tests/z80/engine_stops.asm): each kind of stop
// at the right instruction with the right cause, step over and step out, watchpoints naming the
// instruction that made the access, hit counts, symbol files, the command language, and the
// threaded executor on the real processor thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/front/commands.h"
#include "debug/front/session.h"
#include "harness.h"
#include "harness_screen.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

const std::string &sym_file = engine_stops_sym;
const auto at = engine_stops_at;

class Engine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(engine_stops_load());
        emu_ = &emu_state;
        e_ = dbg_engine();
    }

    uint16_t pc() const { return emu_->cpu.PC; }

    emu_t *emu_ = nullptr;
    dbg_engine_t *e_ = nullptr;
};

TEST_F(Engine, EveryKindOfStopNamesItsCauseAndInstruction) {
    dbg_break_add(e_, at("after_ldir"), 0);
    dbg_stop_t s = dbg_continue(e_);
    EXPECT_EQ(DBG_CAUSE_BREAKPOINT, s.cause);
    EXPECT_EQ(at("after_ldir"), s.pc);
    EXPECT_EQ("LD B,$03", s.instruction.text);
    EXPECT_EQ(0, emu_->cpu.BC); // the LDIR before it ran to its end

    const int write = dbg_watch_add(e_, DBG_WATCH_WRITE, at("data"), 1);
    s = dbg_continue(e_);
    EXPECT_EQ(DBG_CAUSE_WATCH_WRITE, s.cause);
    EXPECT_EQ(write, s.breakpoint);
    EXPECT_EQ(at("store"), s.access_pc); // the writer, not where the processor stands
    EXPECT_EQ(at("load"), s.pc);
    EXPECT_EQ(at("data"), s.address);
    EXPECT_EQ(0x42, s.value);

    // Its own operand fetches (the address bytes of LD A,(data)) are not data reads.
    dbg_watch_add(e_, DBG_WATCH_READ, at("load"), 3);
    dbg_watch_add(e_, DBG_WATCH_READ, at("data"), 1);
    s = dbg_continue(e_);
    EXPECT_EQ(DBG_CAUSE_WATCH_READ, s.cause);
    EXPECT_EQ(at("load"), s.access_pc);
    EXPECT_EQ(at("data"), s.address);

    dbg_watch_add(e_, DBG_WATCH_OUT, 0x0C, 1);
    dbg_watch_add(e_, DBG_WATCH_IN, 0x11, 1);
    s = dbg_continue(e_);
    EXPECT_EQ(DBG_CAUSE_PORT_OUT, s.cause);
    EXPECT_EQ(at("port_out"), s.access_pc);
    EXPECT_EQ(0x0C, s.address);
    EXPECT_EQ(0x42, s.value);
    s = dbg_continue(e_);
    EXPECT_EQ(DBG_CAUSE_PORT_IN, s.cause);
    EXPECT_EQ(at("port_in"), s.access_pc);

    s = dbg_continue(e_);
    EXPECT_EQ(DBG_CAUSE_HALT, s.cause);
    EXPECT_EQ(at("halt_site"), s.pc);

    dbg_delete_all(e_);
    std::string error;
    dbg_set_register(e_, "pc", at("invalid_site"), &error);
    s = dbg_continue(e_);
    EXPECT_EQ(DBG_CAUSE_INVALID, s.cause);
    char expected[40];
    std::snprintf(expected, sizeof expected, "Invalid ED opcode at %04X", at("invalid_site"));
    EXPECT_EQ(expected, s.text);

    // until and the tick limit.
    dbg_set_register(e_, "pc", 0x8000, &error);
    s = dbg_until(e_, at("after_rst"));
    EXPECT_EQ(DBG_CAUSE_UNTIL, s.cause);
    EXPECT_EQ(at("after_rst"), pc());
    const uint64_t before = dbg_ticks(e_);
    s = dbg_run_ticks(e_, 7);
    EXPECT_EQ(DBG_CAUSE_TICKS, s.cause);
    EXPECT_EQ(before + 10, dbg_ticks(e_)); // the end of LD HL,source, 10 T-states
}

TEST_F(Engine, StepOverRunsCallsRstBlocksAndLoopsToTheirEnd) {
    dbg_until(e_, at("call_site"));
    const uint16_t sp = emu_->cpu.SP;
    dbg_stop_t s = dbg_next(e_);
    EXPECT_EQ(DBG_CAUSE_STEP, s.cause);
    EXPECT_EQ(at("after_call"), pc());
    EXPECT_EQ(1, emu_->cpu.A); // the routine ran
    EXPECT_EQ(sp, emu_->cpu.SP);
    dbg_next(e_);
    EXPECT_EQ(at("after_rst"), pc());
    dbg_until(e_, at("ldir_site"));
    dbg_next(e_);
    EXPECT_EQ(at("after_ldir"), pc());
    EXPECT_EQ(0, emu_->cpu.BC);
    EXPECT_EQ('F', harness_peek(at("target") + 15));
    dbg_next(e_);
    dbg_next(e_);
    EXPECT_EQ(at("after_djnz"), pc());
    EXPECT_EQ(0, emu_->cpu.B);
    // An ordinary instruction is one step; step N counts instructions.
    dbg_next(e_);
    EXPECT_EQ(at("counted"), pc());
    dbg_step(e_, 4); // INC C, DJNZ, INC C, DJNZ
    EXPECT_EQ(at("counted"), pc());
    EXPECT_EQ(3, emu_->cpu.B);
}

TEST_F(Engine, StepOutLeavesOnlyTheCurrentRoutine) {
    dbg_until(e_, at("inner"));
    const uint16_t sp_in_inner = emu_->cpu.SP;
    // PUSH/POP and a RET Z not taken on the way do not count as leaving.
    dbg_stop_t s = dbg_finish(e_);
    EXPECT_EQ(DBG_CAUSE_STEP, s.cause);
    EXPECT_EQ(at("back_in_outer"), pc());
    EXPECT_EQ(sp_in_inner + 2, emu_->cpu.SP);
    dbg_finish(e_);
    EXPECT_EQ(at("after_outer"), pc());
}

TEST_F(Engine, BreakpointSkipsItsFirstHitsAndCountsAll) {
    const int id = dbg_break_add(e_, at("counted"), 2);
    dbg_stop_t s = dbg_continue(e_);
    EXPECT_EQ(DBG_CAUSE_BREAKPOINT, s.cause);
    EXPECT_EQ(id, s.breakpoint);
    EXPECT_EQ(2, emu_->cpu.C); // two passes ran before the third stopped
    s = dbg_continue(e_);
    EXPECT_EQ(at("counted"), s.pc);
    EXPECT_EQ(4u, dbg_breakpoint_list(e_)[0].hits);
    EXPECT_TRUE(dbg_delete(e_, id));
    EXPECT_FALSE(dbg_delete(e_, id));
    // `delete` takes the number as listed (decimal), also past 9.
    while (dbg_break_add(e_, 0x7000, 0) < 10) {
    }
    EXPECT_FALSE(dbg_execute(e_, "delete 10").error);
    EXPECT_TRUE(dbg_execute(e_, "delete A").error);
    dbg_delete_all(e_);
    EXPECT_EQ(DBG_CAUSE_HALT, dbg_continue(e_).cause);
}

TEST_F(Engine, SymbolsFromPasmoAndSdccFilesWorkWhereverAnAddressDoes) {
    dbg_result_t r = dbg_execute(e_, "symbols " + sym_file);
    EXPECT_FALSE(r.error) << r.output;
    // An SDCC linker's .noi: C names carry a "_" that the commands may leave out.
    const std::string noi = ::testing::TempDir() + "engine_sample.noi";
    {
        std::ofstream out(noi);
        // Area lengths and absolute areas are not addresses (they would name every 0 operand).
        out << "DEF _main 0x8033\nDEF l_main 0x0005\nDEF _buffer 0x8049\nDEF l__DATA 0x0\n"
               "DEF .__.ABS. 0x0\nDEF s__CABS 0x0\n";
    }
    EXPECT_EQ("3 symbols from " + noi + "\n", dbg_execute(e_, "symbols " + noi).output);
    r = dbg_execute(e_, "break sub1");
    EXPECT_FALSE(r.error) << r.output;
    r = dbg_execute(e_, "continue");
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(at("sub1"), pc());
    EXPECT_NE(std::string::npos, r.output.find("(sub1): LD A,$01")) << r.output;
    dbg_execute(e_, "delete");
    r = dbg_execute(e_, "until main");
    EXPECT_FALSE(r.error) << r.output;
    EXPECT_EQ(at("inner"), pc());
    EXPECT_NE(std::string::npos, r.output.find("(_main)")) << r.output;
    EXPECT_FALSE(dbg_execute(e_, "poke buffer+1 55 66").error);
    EXPECT_EQ(0x66, harness_peek(at("target") + 2));
    EXPECT_EQ(
        "Bad address: nowhere (a register, a known symbol, a hexadecimal number, FILE:LINE, a "
        "function or an expression)\n",
        dbg_execute(e_, "break nowhere").output);
}

TEST_F(Engine, CommandsReadAndSetTheMachine) {
    ASSERT_FALSE(dbg_execute(e_, "symbols " + sym_file).error);
    ASSERT_FALSE(dbg_execute(e_, "until after_call").error);
    EXPECT_FALSE(dbg_execute(e_, "set hl 1234").error);
    EXPECT_FALSE(dbg_execute(e_, "set af' BEEF").error);
    EXPECT_FALSE(dbg_execute(e_, "set fc 1").error);
    EXPECT_FALSE(dbg_execute(e_, "set z 1").error);
    EXPECT_FALSE(dbg_execute(e_, "set im 2").error);
    const std::string regs = dbg_execute(e_, "regs").output;
    char expected[400];
    std::snprintf(expected, sizeof expected,
                  "{\"pc\":%u,\"sp\":%u,\"af\":%u,\"bc\":%u,\"de\":%u,\"hl\":4660,\"ix\":0,"
                  "\"iy\":0,\"af_\":48879,\"bc_\":0,\"de_\":0,\"hl_\":0,\"i\":0,\"r\":%u,\"im\":2,"
                  "\"iff1\":0,\"iff2\":0,\"ticks\":%llu}\n",
                  at("after_call"), 0xF000u, emu_->cpu.AF, emu_->cpu.BC, emu_->cpu.DE, emu_->cpu.R,
                  static_cast<unsigned long long>(dbg_ticks(e_)));
    EXPECT_EQ(expected, regs);
    EXPECT_EQ(0x41, emu_->cpu.F & 0x41); // Z and C set
    EXPECT_EQ("8039  30 31 32 33 " + std::string(36, ' ') + " 0123\n",
              dbg_execute(e_, "mem source 4").output);
    // Registers stand for addresses where no hex number looks like them.
    EXPECT_EQ(dbg_execute(e_, "mem 1233 2").output, dbg_execute(e_, "mem HL-1 2").output);
    EXPECT_EQ(dbg_execute(e_, "disasm after_call 1").output, dbg_execute(e_, "disasm pc 1").output);
    // Every error is one line.
    for (const char *bad : {"set q 1", "set a 100", "set fz 2", "step zz", "frobnicate",
                            "watch read", "mem 10000", "poke 8000 1FF", "until"}) {
        const dbg_result_t r = dbg_execute(e_, bad);
        EXPECT_TRUE(r.error) << bad;
        EXPECT_EQ(1, std::count(r.output.begin(), r.output.end(), '\n')) << bad << ": " << r.output;
    }
    EXPECT_FALSE(dbg_execute(e_, "# a comment").error);
    EXPECT_TRUE(dbg_execute(e_, "quit").quit);
    // `type` queues the rest of the line as written, whatever the command's case.
    EXPECT_FALSE(dbg_execute(e_, " TYPE aB").error);
    const dbg_key_queue_t typed = e_->keys;
    e_->keys.clear();
    std::string error;
    ASSERT_TRUE(dbg_type(e_, "aB", true, &error));
    ASSERT_EQ(e_->keys.size(), typed.size());
    for (size_t i = 0; i < typed.size(); ++i)
        EXPECT_TRUE(typed[i].vk == e_->keys[i].vk && typed[i].down == e_->keys[i].down) << i;
}

// Step out and step over follow routines that do not simply return, and a tick limit ends a run
// between two instructions (tests/z80/run_control.asm).
TEST(EngineRunControl, FinishNextAndTickLimitsStopAtTheRightBoundary) {
    const std::string sym = QUILLANE_Z80_DIR "/run_control.sym";
    auto at = [&sym](const char *name) { return static_cast<uint16_t>(z80_symbol(sym, name)); };
    emu_t *emu = harness_init();
    ASSERT_TRUE(harness_load_bin(QUILLANE_Z80_DIR "/run_control.bin", 0x8000));
    harness_set_pc(0x8000);
    dbg_engine_t *e = dbg_engine();
    const z_cpu_t &cpu = emu->cpu;

    // A limit inside CALL outer (LD SP,nn takes 10 T-states, CALL 17) ends the run after it.
    const uint64_t before = dbg_ticks(e);
    dbg_stop_t s = dbg_run_ticks(e, 12);
    EXPECT_EQ(DBG_CAUSE_TICKS, s.cause);
    EXPECT_EQ(before + 27, dbg_ticks(e));
    EXPECT_EQ(at("outer"), cpu.PC);
    EXPECT_EQ(s.pc, cpu.PC);
    EXPECT_LT(cpu.cycles, 2);

    // Out of a routine that has popped its return address and will push it again.
    dbg_until(e, at("popped"));
    const uint16_t sp_in_outer = cpu.SP;
    s = dbg_finish(e);
    EXPECT_EQ(DBG_CAUSE_STEP, s.cause);
    EXPECT_EQ(at("after_popper"), cpu.PC);
    EXPECT_EQ(sp_in_outer, cpu.SP);

    // Out of the second level of a recursion: the third level's return to the same place does
    // not count.
    dbg_break_add(e, at("recurse"), 1);
    dbg_continue(e);
    const uint16_t sp_in_second = cpu.SP;
    dbg_delete_all(e);
    dbg_finish(e);
    EXPECT_EQ(at("back"), cpu.PC);
    EXPECT_EQ(sp_in_second + 2, cpu.SP);

    // Out of a function that returns as SDCC's do, taking its argument byte off the stack.
    dbg_until(e, at("sdcc_fn"));
    const uint16_t sp_in_sdcc = cpu.SP;
    dbg_finish(e);
    EXPECT_EQ(at("after_sdcc"), cpu.PC);
    EXPECT_EQ(sp_in_sdcc + 3, cpu.SP);
    EXPECT_EQ(5, harness_peek(at("result")));

    // Over a call whose routine returns past the text behind it, through its own calls.
    s = dbg_next(e);
    EXPECT_EQ(DBG_CAUSE_STEP, s.cause);
    EXPECT_EQ(at("after_text"), cpu.PC);
    EXPECT_EQ(sp_in_sdcc + 3, cpu.SP);
    EXPECT_EQ('i', harness_peek(at("result")));
}

// The threaded executor on the real processor thread: a breakpoint stops the paced thread and
// the front end hears of it; continue and pause work from another thread.
struct stop_inbox {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<dbg_stop_t> stops;
};

void on_stop(dbg_engine_t *, void *user, const dbg_stop_t *stop) {
    auto *inbox = static_cast<stop_inbox *>(user);
    std::lock_guard<std::mutex> guard(inbox->mutex);
    inbox->stops.push_back(*stop);
    inbox->cv.notify_all();
}

TEST(EngineThreaded, BreakpointPauseAndContinueOnTheProcessorThread) {
    emu_t *emu = harness_init();
    ASSERT_TRUE(harness_load_bin(QUILLANE_Z80_DIR "/engine_stops.bin", 0x8000));
    harness_poke(0x0008, 0xC9);
    harness_set_pc(0x8000);
    dbg_engine_t *e = dbg_session_attach(emu, DBG_THREADED);
    stop_inbox inbox;
    dbg_hook_t feed{};
    feed.user = &inbox;
    feed.stopped = on_stop;
    ASSERT_GE(dbg_hook_attach(e, feed), 0);
    dbg_break_add(e, at("sub1"), 0);
    emu_set_running(emu, 1);
    std::thread cpu(emu_cpu_thread_handler, emu);
    auto wait_stops = [&](size_t n) {
        std::unique_lock<std::mutex> guard(inbox.mutex);
        return inbox.cv.wait_for(guard, std::chrono::seconds(20),
                                 [&] { return inbox.stops.size() >= n; });
    };
    ASSERT_TRUE(wait_stops(1));
    EXPECT_EQ(DBG_CAUSE_BREAKPOINT, inbox.stops[0].cause);
    EXPECT_EQ(at("sub1"), inbox.stops[0].pc);
    EXPECT_FALSE(dbg_is_running(e));
    dbg_execute(e, "delete");
    ASSERT_FALSE(dbg_execute(e, "symbols " + sym_file).error);
    ASSERT_FALSE(dbg_execute(e, "break counted 3").error);
    EXPECT_EQ("", dbg_execute(e, "continue").output); // returns at once
    ASSERT_TRUE(wait_stops(2));
    EXPECT_EQ(at("counted"), inbox.stops[1].pc);
    // Read while the thread waits: three passes ran (B counts down from 5, C up from 0).
    EXPECT_NE(std::string::npos, dbg_execute(e, "regs").output.find("\"bc\":515,"));
    dbg_execute(e, "delete");
    dbg_execute(e, "continue");
    ASSERT_TRUE(wait_stops(3)); // HALT
    EXPECT_EQ(DBG_CAUSE_HALT, inbox.stops[2].cause);
    // An endless loop (JR $) runs until paused.
    dbg_execute(e, "poke 9000 18 FE");
    dbg_execute(e, "set pc 9000");
    dbg_execute(e, "continue");
    EXPECT_TRUE(dbg_is_running(e));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    dbg_execute(e, "pause");
    ASSERT_TRUE(wait_stops(4));
    EXPECT_EQ(DBG_CAUSE_PAUSE, inbox.stops[3].cause);
    EXPECT_EQ(0x9000, inbox.stops[3].pc);
    emu_set_running(emu, 0);
    dbg_detach(e);
    cpu.join();
}

} // namespace
