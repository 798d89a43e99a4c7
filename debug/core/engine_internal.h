// Helpers shared by the engine's source files.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "debug/core/engine.h"
#include "debug/core/key_queue.h"

// The engine's record: only the engine's own files and its add-ons (debug/core, travel, collect)
// see it; front ends reach it through the functions of engine.h.
struct dbg_engine_t {
    emu_t *emu;
    dbg_mode_t mode;
    std::atomic<uint32_t> *attention; // the machine's boundary flag once attached; relaxed
    std::atomic<bool> warp;           // threaded: the processor thread runs unpaced
    std::atomic<bool> interrupted;    // dbg_interrupt: runs pause at every boundary

    // Breakpoints: 1 at every address that has one (looked up by PC at each boundary), and the
    // list with skip counts and hits.
    uint8_t break_at[65536];
    std::vector<dbg_breakpoint_t> breakpoints;
    std::vector<dbg_watchpoint_t> watchpoints;
    bool object_run;          // a C object's write run is on: the boundary looks for its end
    uint16_t object_write_pc; // the instruction that wrote last in it
    // bit 0 read, bit 1 write. A read of the accessing instruction's own bytes (PC to PC + its
    // length - 1; PC still holds its first byte during the access) is a fetch and does not count,
    // so a program that reads its own instruction bytes as data is not caught.
    uint8_t mem_watch[65536];
    uint8_t port_watch[256]; // bit 0 in, bit 1 out
    // How many breakpoints or watch ranges of each kind cover each address (or port): adding or
    // deleting one updates only its own addresses, and the tables above follow the counts.
    uint32_t break_count[65536];
    uint32_t watch_count[4][65536]; // by dbg_watch_kind_t; ports use the first 256
    int next_id;
    dbg_port_observer_t port_observer;

    // Run control.
    dbg_request_t request;
    uint32_t step_left;   // step: instructions still to run
    uint16_t target_pc;   // next, until: the address to stop at; finish: the return address
    uint16_t target_sp;   // next: SP before the instruction; finish: see return_known
    bool pause_requested; // pause at the next boundary
    bool stop_on_halt;    // HALT stops a run (default true)
    bool stop_on_invalid; // an invalid-opcode report stops a run (default true)
    bool realtime;        // inline: runs are paced at the board's clock
    bool stopped;         // threaded: the processor thread waits for a request
    uint64_t tick_limit;  // inline: absolute tick at which a run stops (UINT64_MAX: none)
    bool next_call;       // next: over a CALL or RST (else DJNZ or a block instruction)
    bool return_known;    // finish: target_pc is the return address found on the stack at
                          // target_sp; else a return must leave SP above target_sp
    bool leave_pending;   // next, finish: the instruction now running is a return or JP (rr)
    // Source stepping: the line it started on, whether calls are run over (next), the caller's
    // return address and the stack slot it sits in (line_returns: known), and a call being run
    // over (over_call; target_pc, target_sp, next_call as for next).
    int line_file;
    int line_line;
    uint16_t line_start_pc;
    bool line_over;
    bool line_returns;
    uint16_t line_return_pc;
    uint16_t line_return_slot;
    bool over_call;
    // A step that entered a C function runs its set-up code to line_body_pc; the function the
    // step started in (null: none), which a return leaves.
    bool line_entering;
    uint16_t line_body_pc;
    const dbg_function_t *line_function;

    // A stop found inside an instruction (watch, halt, invalid opcode), taken at its end.
    bool pending;
    dbg_stop_t pending_stop;
    dbg_stop_t last_stop;
    std::string last_invalid; // the processor's text of the last invalid-opcode report
    uint64_t halts;           // HALT instructions executed since attaching

    // Typing: events by tick, released once the keyboard is ready when `typing_wait` is set.
    dbg_key_queue_t keys;
    bool typing_wait;
    uint32_t key_port_reads; // reads of the key port since the PIO was set up for input

    dbg_symbols_t symbols;
    std::string rom_path; // the ROM file, where the monitor's symbols are looked for
    bool monitor_symbols; // the monitor's symbols are loaded
    // The source model (debug/info/source.h; null until debug information is loaded) and the frame
    // that `frame N` selected, valid until the machine runs on (the tick count it was made at).
    dbg_source_t *source;
    int source_frame;
    uint64_t source_frame_ticks;
    emu_output_t *trace; // inline runs pause once a write to it fails
    std::string trace_path;
    uint64_t trace_tick; // tick of the last trace line (a run that starts there skips it)
    dbg_wav_t *wav;
    // The add-ons' hooks (dbg_hook_add): bit i of hook_used for a slot in use, of hook_every while
    // hook i is called at every boundary; the tick each asked to be called at, and the earliest of
    // them (UINT64_MAX: none; the machine's boundary record holds a copy for the processor thread).
    dbg_hook_t hooks[DBG_HOOKS_MAX];
    uint64_t hook_due[DBG_HOOKS_MAX];
    uint32_t hook_used;
    uint32_t hook_every;
    uint64_t due_tick;
    bool collect_only; // nothing but the hooks needs the boundary: no stop to look for there

    // Threaded mode: the processor thread waits here while stopped.
    std::mutex wait_mutex;
    std::condition_variable wait_cv;
};

static inline bool dbg_needs_attention(const dbg_engine_t *e) {
    return e->attention && e->attention->load(std::memory_order_relaxed) != 0;
}

// Attention bits: CHECK while anything must be looked at between instructions, WARP while the
// processor thread runs unpaced. (Hooks due by board time need no bit: the executors compare the
// tick count with due_tick at boundaries.)
enum : uint32_t { DBG_ATTENTION_CHECK = 1, DBG_ATTENTION_WARP = 2 };

// Hooks, lock held: tells them of a change or of a key from outside the typing queue; finds the
// earliest tick a hook is due at after one's due tick changed.
void dbg_hooks_changed(dbg_engine_t *e, const char *timeline);
void dbg_hooks_key(dbg_engine_t *e, uint8_t vk, bool down);
void dbg_hooks_due_update(dbg_engine_t *e);

// A breakpoint's condition at a hit, with the machine as it is now: true when it holds or cannot
// be evaluated (*error then says why, and the hit stops).
bool dbg_breakpoint_holds(dbg_engine_t *e, const dbg_breakpoint_t &b, std::string *error);

// Recomputes attention and the watching callbacks from the engine's state.
void dbg_update(dbg_engine_t *e);

// The stop as the run commands report it, for the machine as it is now (a pending stop's details
// are used when its cause is the one asked for).
dbg_stop_t dbg_make_stop(dbg_engine_t *e, dbg_cause_t cause);

// Threaded mode takes the machine lock around front-end work; inline mode needs none.
void dbg_lock(dbg_engine_t *e);
void dbg_unlock(dbg_engine_t *e);
// f() with the lock held; its result.
template <class F> auto dbg_locked(dbg_engine_t *e, F f) {
    dbg_lock(e);
    if constexpr (std::is_void_v<decltype(f())>) {
        f();
        dbg_unlock(e);
    } else {
        auto result = f();
        dbg_unlock(e);
        return result;
    }
}

// Keys: delivers the queued events that are due; checks the keyboard for readiness.
void dbg_keys_at_boundary(dbg_engine_t *e);
// A key pressed or released on the board from outside the typing queue (the window's keys,
// `press` and `release`, a replay): applied now, and the hooks told.
void dbg_key_input(dbg_engine_t *e, uint8_t vk, bool down);
// Counts a read of the key port (the watching port callback calls it while typing waits).
void dbg_keys_port_read(dbg_engine_t *e, uint8_t port);

// Trace: one line for the instruction at PC, about to run.
void dbg_trace_line(dbg_engine_t *e);
// Closes the trace (dbg_trace_close with the lock held).
bool dbg_trace_end(dbg_engine_t *e, std::string *error = nullptr);
// Sound recording: renders the stream up to the current tick; the tick of the next value.
void dbg_wav_render(dbg_engine_t *e);
uint64_t dbg_wav_next_tick(const dbg_engine_t *e);

// The monitor's symbol file (tessik.sym beside the ROM file or in its rom/ folder), or empty when
// there is none.
std::string dbg_monitor_symbols_file(const dbg_engine_t *e);
// Breakpoints and watchpoints by id: the text a breakpoint was set by (takes the lock), and a
// move to another address keeping id, counts and condition (lock held).
void dbg_break_set_origin(dbg_engine_t *e, int id, const std::string &origin);
void dbg_point_move(dbg_engine_t *e, int id, uint16_t address);

// CRC-32 as zlib and PNG compute it, continued from crc (0 to start).
uint32_t dbg_crc32(uint32_t crc, const uint8_t *data, size_t size);
// Sound recording: a state load moved the tick count by delta; the recording goes on from there.
void dbg_wav_shift(dbg_engine_t *e, int64_t delta);
