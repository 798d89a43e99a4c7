// Time travel against what the forward run recorded: `rcontinue` lands on each earlier watchpoint
// stop with the writer, registers and memory of that moment, and `back N` on the instruction N
// before, across snapshots and keys that came from outside the typing queue. The history's memory
// bound against what the process really holds, and travel that stops where a timeline starts.
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/front/commands.h"
#include "debug/travel/history.h"
#include "debug/travel/state.h"
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

// Bytes the process has allocated and not freed (the tests run on one thread); 0 under an
// allocator that does not tell (AddressSanitizer's), where the comparisons with it are skipped.
size_t live_bytes() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

constexpr size_t snapshot_bytes = EMU_MEMORY_SIZE;

TEST_F(History, ItsBoundCountsTypingQueuesOnceAndHoldsWhatTheProcessHolds) {
    std::string error;
    // A long text queued before a minute of history: 20,000 characters, 3 events each on
    // average, that take 20 minutes of board time to type, so the queue stays long.
    std::string text;
    for (int i = 0; i < 10000; ++i)
        text += "aB";
    ASSERT_TRUE(dbg_type(e_, text, false, &error)) << error;
    dbg_history_start(e_, 60);
    const size_t queue = e_->keys.storage_bytes();
    ASSERT_GT(queue, 60000 * sizeof(dbg_key_event_t));
    const size_t bytes0 = dbg_history_bytes(e_);
    EXPECT_GE(bytes0, snapshot_bytes + queue);
    EXPECT_LT(bytes0, 2 * snapshot_bytes + queue);
    // Two seconds: 20 more snapshots, which share the queue; what the process holds grows as the
    // history says it does.
    const size_t live0 = live_bytes();
    ASSERT_EQ(DBG_CAUSE_TICKS, dbg_run_ticks(e_, 20000000).cause);
    const size_t grown = live_bytes() - live0, counted = dbg_history_bytes(e_) - bytes0;
    EXPECT_GE(counted, 19 * snapshot_bytes);
    EXPECT_LT(counted, 22 * snapshot_bytes);
    if (live0 != 0) {
        EXPECT_LT(grown, counted + 256 * 1024) << "the history holds more than it counts";
        EXPECT_LT(counted, grown + 256 * 1024) << "the history counts more than it holds";
    }

    // Each `type` gives the queue its own events again (64 KB more each time), and each step
    // a snapshot: kept whole, 60 of them would take 120 MB. The oldest go, and the history stays
    // within its bound, counting the queues that take most of it.
    const size_t live1 = live_bytes();
    for (int i = 0; i < 60; ++i) {
        ASSERT_TRUE(dbg_type(e_, std::string(2000, 'a'), false, &error));
        dbg_step(e_, 1);
        ASSERT_LE(dbg_history_bytes(e_), DBG_HISTORY_MAX_BYTES) << "after " << i;
    }
    const size_t held = dbg_history_bytes(e_);
    EXPECT_GT(held, DBG_HISTORY_MAX_BYTES / 2);
    // The machine's own queue (shared with the newest snapshot) is counted by the history too.
    if (live1 != 0) {
        EXPECT_LT(live_bytes() - live1, held + 1024 * 1024);
    }
    // Keys from outside the queue at one tick: past 4096 the key log starts a new segment (taken
    // over at this tick), so it does not grow with them.
    const size_t before_keys = dbg_history_bytes(e_);
    for (int i = 0; i < 20000; ++i)
        dbg_key(e_, 'A', i % 2 == 0);
    EXPECT_LE(dbg_history_bytes(e_), DBG_HISTORY_MAX_BYTES);
    EXPECT_LT(dbg_history_bytes(e_),
              before_keys + snapshot_bytes + 2 * 4096 * sizeof(dbg_key_event_t) + 4096);
    // Travel still works over all of it, back to the history's start.
    const dbg_result_t far = dbg_execute(e_, "back 4000000000");
    EXPECT_NE(std::string::npos, far.output.find("At the start of the history, ")) << far.output;
}

// A temporary file of this test with the given contents; its path.
std::string temp_file(const std::string &name, const std::string &contents) {
    const std::string path =
        testing::TempDir() + "history_" + std::to_string(getpid()) + "_" + name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

TEST_F(History, BackAndRcontinueStopWhereAStateLoadALoadOrAResetStartedANewTimeline) {
    // A breakpoint at the program's second instruction: met once, at the start of the history.
    const int start_break = dbg_break_add(e_, 0x8003, 0);
    ASSERT_EQ(DBG_CAUSE_BREAKPOINT, dbg_continue(e_).cause);
    ASSERT_EQ(DBG_CAUSE_TICKS, dbg_run_ticks(e_, 5000000).cause);
    const std::string state = temp_file("t.state", "");
    ASSERT_FALSE(dbg_execute(e_, "state save " + state).error);
    // Further on, then back to the state's moment: a tick the machine passed long ago.
    ASSERT_EQ(DBG_CAUSE_TICKS, dbg_run_ticks(e_, 10000000).cause);
    ASSERT_FALSE(dbg_execute(e_, "state load " + state).error);
    const moment_t loaded = moment(e_);
    ASSERT_EQ(DBG_CAUSE_TICKS, dbg_run_ticks(e_, 3000000).cause);
    dbg_result_t r = dbg_execute(e_, "back 4000000000");
    EXPECT_NE(std::string::npos, r.output.find("At the start of the history (state loaded), "))
        << r.output;
    EXPECT_EQ(loaded, moment(e_));
    // The breakpoint's hit before the load belongs to another timeline.
    ASSERT_EQ(DBG_CAUSE_TICKS, dbg_run_ticks(e_, 3000000).cause);
    r = dbg_execute(e_, "rcontinue");
    EXPECT_NE(std::string::npos,
              r.output.find("No earlier stop in the history; at its start (state loaded): "))
        << r.output;
    EXPECT_EQ(loaded, moment(e_));
    dbg_delete(e_, start_break);

    // A reset: the processor starts again at 0 (and runs through zeros to the program).
    ASSERT_EQ(DBG_CAUSE_TICKS, dbg_run_ticks(e_, 3000000).cause);
    ASSERT_FALSE(dbg_execute(e_, "reset").error);
    const moment_t reset = moment(e_);
    ASSERT_EQ(DBG_CAUSE_TICKS, dbg_run_ticks(e_, 3000000).cause);
    r = dbg_execute(e_, "back 4000000000");
    EXPECT_NE(std::string::npos, r.output.find("At the start of the history (reset), "))
        << r.output;
    EXPECT_EQ(reset, moment(e_));
    EXPECT_EQ(0, emu_->cpu.PC);

    // An image loaded; one that fails after storing a record changed memory too, and one that
    // cannot be read changed nothing, so travel still goes back past it.
    const std::string good = temp_file("good.hex", ":019000003F30\n:00000001FF\n");
    const std::string half = temp_file("half.hex", ":019001004E20\n:01900200\n");
    const std::string none = temp_file("none.hex", "");
    for (const std::string &image : {good, half}) {
        ASSERT_EQ(DBG_CAUSE_TICKS, dbg_run_ticks(e_, 3000000).cause);
        dbg_execute(e_, "load " + image);
        const moment_t loaded_image = moment(e_);
        ASSERT_EQ(DBG_CAUSE_TICKS, dbg_run_ticks(e_, 3000000).cause);
        r = dbg_execute(e_, "back 4000000000");
        EXPECT_NE(std::string::npos, r.output.find("At the start of the history (image loaded), "))
            << image << ": " << r.output;
        EXPECT_EQ(loaded_image, moment(e_)) << image;
    }
    EXPECT_EQ(0x3F, harness_peek(0x9000));
    EXPECT_EQ(0x4E, harness_peek(0x9001));
    const moment_t start = moment(e_);
    ASSERT_EQ(DBG_CAUSE_TICKS, dbg_run_ticks(e_, 3000000).cause);
    EXPECT_TRUE(dbg_execute(e_, "load " + none).error);
    EXPECT_TRUE(dbg_execute(e_, "load " + none + ".missing").error);
    ASSERT_EQ(DBG_CAUSE_TICKS, dbg_run_ticks(e_, 3000000).cause);
    dbg_execute(e_, "back 4000000000");
    EXPECT_EQ(start, moment(e_));
    for (const std::string &path : {state, good, half, none})
        std::remove(path.c_str());
}

} // namespace
