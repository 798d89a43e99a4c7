// Time travel against what the forward run recorded: `rcontinue` lands on each earlier watchpoint
// stop with the writer, registers and memory of that moment, and `back N` on the instruction N
// before, across snapshots and keys that came from outside the typing queue.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "debug/commands.h"
#include "debug/engine.h"
#include "debug/engine_internal.h"
#include "debug/history.h"
#include "harness.h"
#include "harness_screen.h"
#include "machine/emu.h"

namespace {

const std::string sym_file = QUILLANE_Z80_DIR "/travel.sym";

uint16_t at(const char *name) {
    const int address = z80_symbol(sym_file, name);
    EXPECT_GE(address, 0) << name;
    return static_cast<uint16_t>(address);
}

// One moment of the machine: the tick, every register, all of memory and the keyboard's rows.
struct moment_t {
    uint64_t ticks;
    std::string regs;
    uint32_t memory_crc;
    uint64_t rows;
    bool operator==(const moment_t &) const = default;
};

moment_t moment(dbg_engine_t *e) {
    uint64_t rows = 0;
    for (uint8_t row : e->emu->kbd.rows)
        rows = rows << 8 | row;
    return {e->emu->ticks, dbg_regs_json(e), dbg_crc32(0, e->emu->memory, EMU_MEMORY_SIZE), rows};
}

class History : public ::testing::Test {
  protected:
    void SetUp() override {
        emu_ = harness_init();
        ASSERT_TRUE(harness_load_bin(QUILLANE_Z80_DIR "/travel.bin", 0x8000));
        harness_set_pc(0x8000);
        e_ = dbg_engine();
        // Loaded behind the engine's back: the history starts from here.
        dbg_history_start(e_, DBG_HISTORY_SECONDS);
    }
    emu_t *emu_ = nullptr;
    dbg_engine_t *e_ = nullptr;
};

TEST_F(History, RcontinueFindsEachEarlierWriterAndContinuingRunsTheSameWay) {
    dbg_watch_add(e_, DBG_WATCH_WRITE, at("data"), 1);
    // Six writes, 0.2 s apart; a key pressed while stopped at the third makes WRITER_B the writer.
    std::vector<moment_t> hits;
    std::vector<uint16_t> writers;
    for (int i = 0; i < 6; ++i) {
        if (i == 3) dbg_key(e_, 'A', true);
        const dbg_stop_t s = dbg_continue(e_);
        ASSERT_EQ(DBG_CAUSE_WATCH_WRITE, s.cause) << s.text;
        hits.push_back(moment(e_));
        writers.push_back(s.access_pc);
    }
    EXPECT_EQ(at("writer_a"), writers[2]);
    EXPECT_EQ(at("writer_b"), writers[3]);
    ASSERT_EQ(DBG_CAUSE_TICKS, dbg_run_ticks(e_, 1000000).cause);

    for (int i = 5; i >= 3; --i) {
        const dbg_result_t r = dbg_execute(e_, "rcontinue");
        EXPECT_FALSE(r.error) << r.output;
        EXPECT_EQ(DBG_CAUSE_WATCH_WRITE, e_->last_stop.cause);
        EXPECT_EQ(writers[i], e_->last_stop.access_pc) << r.output;
        EXPECT_EQ(hits[i], moment(e_)) << "hit " << i;
    }
    // Back at the fourth write the key is down again, so running forward meets the fifth write
    // by WRITER_B at the same moment.
    const dbg_stop_t s = dbg_continue(e_);
    EXPECT_EQ(at("writer_b"), s.access_pc);
    EXPECT_EQ(hits[4], moment(e_));
    // Before the first write there is none: the history's start says so.
    dbg_execute(e_, "rcontinue");
    dbg_execute(e_, "rcontinue");
    dbg_execute(e_, "rcontinue");
    dbg_execute(e_, "rcontinue");
    EXPECT_EQ(hits[0], moment(e_));
    const dbg_result_t none = dbg_execute(e_, "rcontinue");
    EXPECT_NE(std::string::npos, none.output.find("No earlier stop")) << none.output;
    EXPECT_EQ(0x8000, emu_->cpu.PC);
}

TEST_F(History, BackLandsOnTheInstructionTheForwardTraceRecorded) {
    ASSERT_EQ(DBG_CAUSE_TICKS, dbg_run_ticks(e_, 3000000).cause);
    // 300000 instructions, about 0.2 s: the trace crosses periodic snapshots, and a key goes
    // down and up near its end, after the last snapshot.
    const size_t count = 300000;
    const std::vector<size_t> checked = {count - 1,      count - 6,      count - 56,
                                         count - 150056, count - 150057, count - 150054};
    // The whole moment where a check lands, else PC, HL and the count's low byte.
    auto now = [&](size_t i) {
        if (std::find(checked.begin(), checked.end(), i) != checked.end()) return moment(e_);
        return moment_t{emu_->ticks, std::to_string(emu_->cpu.PC) + " " + dbg_hex4(emu_->cpu.HL),
                        harness_peek(at("counter")), 0};
    };
    std::vector<moment_t> trace(count + 1);
    for (size_t i = 0; i <= count; ++i) {
        if (i == count - 100) dbg_key(e_, 'A', true);
        if (i == count - 50) dbg_key(e_, 'A', false);
        trace[i] = now(i);
        if (i < count) {
            ASSERT_EQ(DBG_CAUSE_STEP, dbg_step(e_, 1).cause);
        }
    }
    EXPECT_FALSE(dbg_execute(e_, "back").error);
    EXPECT_EQ(trace[count - 1], now(count - 1));
    EXPECT_FALSE(dbg_execute(e_, "back 5").error);
    EXPECT_EQ(trace[count - 6], now(count - 6));
    EXPECT_FALSE(dbg_execute(e_, "back 50").error);
    EXPECT_EQ(trace[count - 56], now(count - 56));
    EXPECT_NE(0u, trace[count - 56].rows); // the key is down there
    EXPECT_FALSE(dbg_execute(e_, "back 150000").error);
    EXPECT_EQ(trace[count - 150056], now(count - 150056));
    EXPECT_FALSE(dbg_execute(e_, "back 1").error);
    EXPECT_EQ(trace[count - 150057], now(count - 150057));
    // Forward again from there: the same instructions.
    dbg_step(e_, 3);
    EXPECT_EQ(trace[count - 150054], now(count - 150054));
    // Further than the history goes: its start, said so.
    const dbg_result_t far = dbg_execute(e_, "back 4000000000");
    EXPECT_NE(std::string::npos, far.output.find("At the start of the history")) << far.output;
    EXPECT_EQ(0x8000, emu_->cpu.PC);
    EXPECT_TRUE(dbg_execute(e_, "back x").error);
}

} // namespace
