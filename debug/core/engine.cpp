// Run control, stops, breakpoints, watchpoints and registers of the debug engine.
#include "debug/core/engine.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "cpu/zcpu.h"
#include "cpu/zregs.h"
#include "debug/core/engine_internal.h"
#include "devices/ay8913.h"
#include "devices/graphics.h"
#include "devices/keyboard.h"
#include "files/file.h"
#include "machine/counter.h"
#include "machine/emu.h"
#include "machine/pacing.h"
#include "machine/process.h"
#include "machine/relaxed.h"

namespace {

// The engine is large (two 64 K tables) and lives for the whole process.
dbg_engine_t engine_storage;

z_cpu_t *cpu_of(dbg_engine_t *e) {
    return &e->emu->cpu;
}

const dbg_source_t *model_of(const dbg_engine_t *e) {
    return dbg_source_or_empty(e);
}

// A breakpoint's or watchpoint's condition at a hit: true when it holds or cannot be evaluated
// (*error then says why, and the hit stops).
bool condition_holds(dbg_engine_t *e, const std::string &condition, const dbg_expr_t &expr,
                     int value, std::string *error) {
    if (condition.empty()) return true;
    const dbg_eval_context_t context{e->emu->memory, cpu_of(e), &e->symbols, nullptr, value};
    int64_t result = 0;
    if (!dbg_expr_number(model_of(e), expr, context, &result, error)) {
        *error = "condition " + condition + ": " + *error;
        return true;
    }
    return result != 0;
}

} // namespace

bool dbg_breakpoint_holds(dbg_engine_t *e, const dbg_breakpoint_t &b, std::string *error) {
    return condition_holds(e, b.condition, b.expr, -1, error);
}

namespace {

// ---- watching bus callbacks: the machine's own, plus a look at the engine's tables ----

// Reads of the instruction's own bytes (PC to PC + length - 1, PC still being its first byte
// during the access) are opcode and operand fetches, not data reads, and do not fire a read
// watchpoint. The length comes from the disassembler. A program that reads its own instruction
// bytes as data is therefore not caught.
bool is_fetch(dbg_engine_t *e, z_cpu_t *cpu, uint16_t address) {
    const uint16_t offset = static_cast<uint16_t>(address - cpu->PC);
    if (offset >= 4) return false;
    return offset < dbg_disassemble(e->emu->memory, cpu->PC, nullptr).length;
}

// Records a stop found inside an instruction; the boundary after it takes the stop.
dbg_stop_t &pend(dbg_engine_t *e, dbg_cause_t cause, uint16_t access_pc) {
    dbg_stop_t &s = e->pending_stop;
    s = dbg_stop_t{};
    s.cause = cause;
    s.access_pc = access_pc;
    e->pending = true;
    e->attention->fetch_or(DBG_ATTENTION_CHECK, std::memory_order_relaxed);
    return s;
}

// A write into a watched C object: the run of writes goes on until every byte is written (the
// stop is then pended) or the next line starts (boundary_checks).
bool object_write(dbg_engine_t *e, dbg_watchpoint_t &w, uint32_t offset) {
    if (w.written.empty()) w.written.assign(w.length, 0);
    w.written[offset] = 1;
    e->object_run = true;
    e->object_write_pc = e->emu->cpu.PC;
    e->attention->fetch_or(DBG_ATTENTION_CHECK, std::memory_order_relaxed);
    return std::find(w.written.begin(), w.written.end(), 0) == w.written.end();
}

void watch_hit(dbg_engine_t *e, dbg_watch_kind_t kind, uint16_t address, uint8_t value) {
    for (dbg_watchpoint_t &w : e->watchpoints) {
        if (w.kind != kind) continue;
        const uint32_t offset = static_cast<uint16_t>(address - w.address);
        if (offset >= w.length) continue;
        if (w.object_type >= 0 && kind == DBG_WATCH_WRITE && !object_write(e, w, offset)) continue;
        if (e->pending) return; // the first access of an instruction names the stop
        std::string error;
        if (!condition_holds(e, w.condition, w.expr, value, &error)) continue;
        ++w.hits;
        const dbg_cause_t cause = kind == DBG_WATCH_READ    ? DBG_CAUSE_WATCH_READ
                                  : kind == DBG_WATCH_WRITE ? DBG_CAUSE_WATCH_WRITE
                                  : kind == DBG_WATCH_IN    ? DBG_CAUSE_PORT_IN
                                                            : DBG_CAUSE_PORT_OUT;
        dbg_stop_t &s = pend(e, cause, e->emu->cpu.PC);
        s.address = address;
        s.value = value;
        s.breakpoint = w.id;
        s.text = error; // the stop's text says why a condition failed
        return;
    }
}

uint8_t watch_mem_read(z_cpu_t *cpu, uint16_t address) {
    const uint8_t value = emu_mem_read_callback(cpu, address);
    dbg_engine_t *e = &engine_storage;
    if ((e->mem_watch[address] & 1) && !is_fetch(e, cpu, address))
        watch_hit(e, DBG_WATCH_READ, address, value);
    return value;
}

void watch_mem_write(z_cpu_t *cpu, uint16_t address, uint8_t value) {
    emu_mem_write_callback(cpu, address, value);
    dbg_engine_t *e = &engine_storage;
    if (e->mem_watch[address] & 2) watch_hit(e, DBG_WATCH_WRITE, address, value);
}

uint8_t watch_io_read(z_cpu_t *cpu, uint16_t port) {
    const uint8_t value = emu_io_read_callback(cpu, port);
    dbg_engine_t *e = &engine_storage;
    const uint8_t p = static_cast<uint8_t>(port);
    if (e->port_observer) e->port_observer(false, port, value, e->emu->ticks);
    if (e->typing_wait) dbg_keys_port_read(e, p);
    if (e->port_watch[p] & 1) watch_hit(e, DBG_WATCH_IN, p, value);
    return value;
}

void watch_io_write(z_cpu_t *cpu, uint16_t port, uint8_t value) {
    dbg_engine_t *e = &engine_storage;
    if (e->port_observer) e->port_observer(true, port, value, e->emu->ticks);
    emu_io_write_callback(cpu, port, value);
    const uint8_t p = static_cast<uint8_t>(port);
    if (e->port_watch[p] & 2) watch_hit(e, DBG_WATCH_OUT, p, value);
}

void engine_exception(z_cpu_t *cpu, const char *message) {
    dbg_engine_t *e = &engine_storage;
    emu_exception_callback(cpu, message);
    e->last_invalid = message;
    if (e->stop_on_invalid) pend(e, DBG_CAUSE_INVALID, cpu->PC);
}

void engine_halt(z_cpu_t *cpu) {
    dbg_engine_t *e = &engine_storage;
    emu_halt_callback(cpu);
    ++e->halts;
    if (e->stop_on_halt && !e->pending) pend(e, DBG_CAUSE_HALT, cpu->PC);
}

// ---- stops ----

std::string location(dbg_engine_t *e, uint16_t address) {
    const std::string name = dbg_place_name(e, address);
    return name.empty() ? dbg_hex4(address) : dbg_hex4(address) + " (" + name + ")";
}

// A C object's write stop: "NAME: OLD -> NEW", the object's values before its run of writes and
// now (which the next run starts from); "" for other stops.
std::string object_change(dbg_engine_t *e, const dbg_stop_t &s) {
    if (s.cause != DBG_CAUSE_WATCH_WRITE) return "";
    for (dbg_watchpoint_t &w : e->watchpoints) {
        if (w.id != s.breakpoint || w.object_type < 0) continue;
        const z_cpu_t cpu = e->emu->cpu;
        std::vector<uint8_t> before(e->emu->memory, e->emu->memory + EMU_MEMORY_SIZE);
        std::copy(w.old.begin(), w.old.end(), before.begin() + w.address);
        const dbg_source_t *model = dbg_source_or_empty(e);
        const std::string old_text = dbg_source_value_text(
            model, w.object_type, w.address, {before.data(), &cpu, &e->symbols, nullptr, -1});
        const std::string new_text = dbg_source_value_text(
            model, w.object_type, w.address, {e->emu->memory, &cpu, &e->symbols, nullptr, -1});
        w.old.assign(e->emu->memory + w.address, e->emu->memory + w.address + w.length);
        w.written.clear();
        return w.object + ": " + old_text + " -> " + new_text;
    }
    return "";
}

// Whether a C object's run of writes that did not write all its bytes ends here, where the next
// line starts (or at once where there are no lines; a repeating instruction finishes first): its
// stop is pended then.
void object_run_check(dbg_engine_t *e) {
    const dbg_source_t *model = dbg_source_or_empty(e);
    // A repeating instruction (LDIR) goes on writing from its own address.
    const uint16_t pc = e->emu->cpu.PC;
    if (!model->lines.empty() && (pc == e->object_write_pc || !dbg_source_is_line_start(model, pc)))
        return;
    e->object_run = false;
    for (dbg_watchpoint_t &w : e->watchpoints) {
        if (w.written.empty()) continue;
        if (e->pending) {
            e->object_run = true; // another stop comes first; this one at the next boundary
            return;
        }
        dbg_stop_t &s = pend(e, DBG_CAUSE_WATCH_WRITE, e->object_write_pc);
        s.address = w.address;
        s.breakpoint = w.id;
        ++w.hits;
        return;
    }
}

dbg_stop_t make_stop(dbg_engine_t *e, dbg_cause_t cause) {
    dbg_stop_t s = (e->pending && e->pending_stop.cause == cause) ? e->pending_stop : dbg_stop_t{};
    const std::string failed = s.text; // a condition that could not be evaluated
    s.cause = cause;
    s.pc = cpu_of(e)->PC;
    s.ticks = e->emu->ticks;
    s.instruction = dbg_disassemble(e->emu->memory, s.pc, &e->symbols);
    const std::string here = location(e, s.pc) + ": " + s.instruction.text;
    switch (cause) {
    case DBG_CAUSE_NONE: break;
    case DBG_CAUSE_PAUSE: s.text = "Paused at " + here; break;
    case DBG_CAUSE_STEP: s.text = "Stopped at " + here; break;
    case DBG_CAUSE_BREAKPOINT:
        s.text = "Breakpoint " + std::to_string(s.breakpoint) + " at " + here;
        break;
    case DBG_CAUSE_WATCH_READ:
    case DBG_CAUSE_WATCH_WRITE:
    case DBG_CAUSE_PORT_IN:
    case DBG_CAUSE_PORT_OUT: {
        const bool port = cause == DBG_CAUSE_PORT_IN || cause == DBG_CAUSE_PORT_OUT;
        const bool read = cause == DBG_CAUSE_WATCH_READ || cause == DBG_CAUSE_PORT_IN;
        const dbg_instruction_t by = dbg_disassemble(e->emu->memory, s.access_pc, &e->symbols);
        if (std::string object = object_change(e, s); !object.empty()) {
            s.text = "Watchpoint " + std::to_string(s.breakpoint) + ": " + object + " (" +
                     location(e, s.access_pc) + " " + by.text + "); now at " + here;
            break;
        }
        s.text = "Watchpoint " + std::to_string(s.breakpoint) + ": " + location(e, s.access_pc) +
                 " " + by.text + (read ? " read " : " wrote ") + dbg_hex2(s.value) +
                 (read ? " from " : " to ") + (port ? "port " : "") +
                 (port ? dbg_hex2(s.address) : dbg_hex4(s.address)) +
                 // The board ignores writes to its ROM.
                 (cause == DBG_CAUSE_WATCH_WRITE && s.address < EMU_ROM_SIZE ? " (ROM, unchanged)"
                                                                             : "") +
                 "; now at " + here;
        break;
    }
    case DBG_CAUSE_HALT: s.text = "HALT at " + dbg_hex4(s.pc); break;
    case DBG_CAUSE_INVALID: s.text = e->last_invalid + " at " + dbg_hex4(s.pc); break;
    case DBG_CAUSE_UNTIL: s.text = "Reached " + here; break;
    case DBG_CAUSE_TICKS: s.text = "Tick limit at " + here; break;
    }
    if (!failed.empty()) s.text += " (" + failed + ")";
    return s;
}

bool stop_with(dbg_engine_t *e, dbg_cause_t cause) {
    e->last_stop = make_stop(e, cause);
    e->pending = false;
    e->pause_requested = false;
    e->request = DBG_REQ_NONE;
    dbg_update(e);
    return true;
}

// Whether the stack pointer stands above a former value (or at it, when or_equal), as a distance
// that wraps: the monitor's stack starts at 0000, so a return from its first call takes SP from
// FFFE to 0000.
bool sp_above(uint16_t sp, uint16_t former, bool or_equal) {
    const int16_t distance = static_cast<int16_t>(sp - former);
    return or_equal ? distance >= 0 : distance > 0;
}

// Whether the instruction at an address leaves a routine: a return or JP (HL), JP (IX), JP (IY).
bool leaves(dbg_engine_t *e, uint16_t address) {
    return dbg_flow_leaves(dbg_flow(e->emu->memory, address));
}

// next: whether the instruction run over (a call, DJNZ, a block instruction) has ended here.
bool over_done(dbg_engine_t *e, const z_cpu_t *cpu) {
    if (sp_above(cpu->SP, e->target_sp, true)) {
        if (cpu->PC == e->target_pc) return true;
        // Back past data behind the call: a return or JP (rr) with the return address gone,
        // landing within 256 bytes after the call; one landing right after another CALL is
        // a call of the routine's own returning.
        if (e->next_call && e->leave_pending &&
            static_cast<uint16_t>(cpu->PC - e->target_pc) <= 0x100 &&
            !dbg_return_site(e->emu->memory, cpu->PC))
            return true;
    }
    if (e->next_call) e->leave_pending = leaves(e, cpu->PC);
    return false;
}

// Where a call to target ends up: through a jump table's JP to the routine itself, and through a
// JP (HL), JP (IX) or JP (IY) (SDCC calls a function pointer through ___sdcc_call_hl or
// ___sdcc_call_iy, which are just that jump) to the register's value, which holds the pointer
// already when the call is made.
uint16_t call_destination(dbg_engine_t *e, const z_cpu_t *cpu, uint16_t target) {
    const dbg_instruction_t in = dbg_disassemble(e->emu->memory, target, nullptr);
    if (in.has_target && in.bytes[0] == 0xC3) return in.target; // JP nn
    if (in.flow != DBG_FLOW_JUMP_REG) return target;
    return in.bytes[0] == 0xDD ? cpu->IX : in.bytes[0] == 0xFD ? cpu->IY : cpu->HL;
}

// Source step or next, before the instruction at PC runs: a call to run over (next: any; step:
// one into code without lines), or for next a DJNZ or block instruction to run to its end.
void line_look(dbg_engine_t *e, const z_cpu_t *cpu) {
    const dbg_source_t *model = e->source;
    const dbg_instruction_t in = dbg_disassemble(e->emu->memory, cpu->PC, nullptr);
    if (in.valid && in.is_call) {
        bool over = e->line_over;
        if (!over) over = !dbg_source_line_at(model, call_destination(e, cpu, in.target));
        if (over) {
            e->over_call = true;
            e->target_pc = static_cast<uint16_t>(cpu->PC + in.length);
            e->target_sp = cpu->SP;
            e->next_call = true;
            e->leave_pending = false;
        }
    } else if (in.valid && in.is_repeat && e->line_over) {
        // next runs a DJNZ or block instruction to its end, as nexti does.
        e->over_call = true;
        e->target_pc = static_cast<uint16_t>(cpu->PC + in.length);
        e->target_sp = cpu->SP;
        e->next_call = false;
    }
}

// Source step or next: whether the run stops here. It stops on return to the caller, at the
// start of another line, or at the start of its own line reached again (a loop). A call about to
// run is run over by next, and by step when its routine has no lines (the monitor, a library);
// next runs a DJNZ or block instruction to its end.
bool line_done(dbg_engine_t *e, const z_cpu_t *cpu) {
    if (e->over_call) {
        if (!over_done(e, cpu)) return false;
        e->over_call = false;
    }
    const dbg_source_t *model = e->source;
    if (!model) return true;
    // Entering a C function: its set-up code runs before the step stops at its first line.
    if (e->line_entering) {
        if (cpu->PC == e->line_body_pc) return true;
        line_look(e, cpu);
        return false;
    }
    const dbg_line_range_t *range = dbg_source_line_at(model, cpu->PC);
    // Back in the caller: at its return address, or at a line outside the function the step
    // started in (the `}` of a function that returns through POP HL / INC SP / JP (HL) moves SP
    // above the return address's slot before it leaves: that is still the same line).
    if (e->line_returns && sp_above(cpu->SP, e->line_return_slot, false) &&
        (cpu->PC == e->line_return_pc ||
         (range && dbg_source_function_at(model, cpu->PC) != e->line_function)))
        return true;
    if (range && dbg_source_is_line_start(model, cpu->PC) &&
        (range->file != e->line_file || range->line != e->line_line ||
         cpu->PC <= e->line_start_pc)) {
        const dbg_function_t *entered = dbg_source_function_at(model, cpu->PC);
        if (entered && entered->start == cpu->PC) {
            const uint16_t body = dbg_source_function_body(model, entered);
            if (body != cpu->PC) {
                e->line_entering = true;
                e->line_body_pc = body;
                line_look(e, cpu);
                return false;
            }
        }
        return true;
    }
    line_look(e, cpu);
    return false;
}

// At an instruction boundary, after boundary_stop's profile and coverage: true when the run
// stops here (last_stop set).
[[gnu::noinline]] bool boundary_checks(dbg_engine_t *e) {
    z_cpu_t *cpu = cpu_of(e);
    if (!e->keys.empty()) dbg_keys_at_boundary(e);
    if (e->object_run) object_run_check(e);
    if (e->pending) return stop_with(e, e->pending_stop.cause);
    if (e->pause_requested || e->interrupted.load(std::memory_order_relaxed))
        return stop_with(e, DBG_CAUSE_PAUSE);
    switch (e->request) {
    case DBG_REQ_STEP:
        if (--e->step_left == 0) return stop_with(e, DBG_CAUSE_STEP);
        break;
    case DBG_REQ_NEXT:
        if (over_done(e, cpu)) return stop_with(e, DBG_CAUSE_STEP);
        break;
    case DBG_REQ_LINE:
        if (line_done(e, cpu)) return stop_with(e, DBG_CAUSE_STEP);
        break;
    case DBG_REQ_FINISH:
        if (e->return_known) {
            if (cpu->PC == e->target_pc && sp_above(cpu->SP, e->target_sp, false))
                return stop_with(e, DBG_CAUSE_STEP);
            break;
        }
        if (e->leave_pending && sp_above(cpu->SP, e->target_sp, false))
            return stop_with(e, DBG_CAUSE_STEP);
        e->leave_pending = leaves(e, cpu->PC);
        break;
    case DBG_REQ_UNTIL:
        if (cpu->PC == e->target_pc) return stop_with(e, DBG_CAUSE_UNTIL);
        break;
    default: break;
    }
    if (e->break_at[cpu->PC]) {
        for (dbg_breakpoint_t &b : e->breakpoints) {
            if (b.address != cpu->PC) continue;
            std::string error;
            if (!dbg_breakpoint_holds(e, b, &error)) continue;
            ++b.hits;
            if (b.skip > 0) {
                --b.skip;
                continue;
            }
            dbg_stop_t &s = pend(e, DBG_CAUSE_BREAKPOINT, cpu->PC);
            s.breakpoint = b.id;
            s.text = error;
            return stop_with(e, DBG_CAUSE_BREAKPOINT);
        }
    }
    if (e->trace) dbg_trace_line(e);
    return false;
}

// Calls the hooks due at this boundary, and finds the next tick one is due at.
[[gnu::noinline]] void hooks_due(dbg_engine_t *e) {
    const uint64_t now = e->emu->ticks;
    for (int i = 0; i < DBG_HOOKS_MAX; ++i)
        if (e->hook_due[i] <= now) {
            e->hook_due[i] = UINT64_MAX; // the call may ask again
            e->hooks[i].boundary(e, e->hooks[i].user);
        }
    dbg_hooks_due_update(e);
}

// Calls the hooks that see every boundary (collectors): inline, one indirect call each.
[[gnu::always_inline]] inline void hooks_every(dbg_engine_t *e) {
    uint32_t bits = e->hook_every;
    do {
        const dbg_hook_t &h = e->hooks[__builtin_ctz(bits)];
        h.boundary(e, h.user);
        bits &= bits - 1;
    } while (bits);
}

// At an instruction boundary: the hooks, then true when the run stops here.
[[gnu::always_inline]] inline bool boundary_stop(dbg_engine_t *e) {
    if (e->hook_every) hooks_every(e);
    if (e->emu->ticks >= e->due_tick) hooks_due(e);
    // pend() and dbg_interrupt() raise attention without dbg_update: their stops still count.
    if (e->collect_only && !e->pending && !e->interrupted.load(std::memory_order_relaxed))
        return false;
    return boundary_checks(e);
}

// ---- the inline executor ----

// Runs until the tick count reaches deadline or a stop (true). Each pass runs a whole instruction
// and counts all its T-states at once, leaving `cycles` exactly as tick-by-tick execution would
// (after k of an instruction's N ticks, cycles = N - k + 1), so a run cut short by the deadline
// goes on where it stopped and the results are those of z_tick. At the boundary the only cost
// is one relaxed load.
bool run_to_deadline(dbg_engine_t *e, uint64_t deadline) {
    z_cpu_t *cpu = cpu_of(e);
    uint64_t &ticks = e->emu->ticks;
    const std::atomic<uint32_t> &attention = *e->attention;
    while (ticks < deadline) {
        if (cpu->cycles < 2) {
            z_step(cpu); // its accesses see the tick count before the instruction's first tick
            ++ticks;
        }
        if (cpu->cycles >= 2) {
            const uint64_t k = std::min<uint64_t>(cpu->cycles - 1u, deadline - ticks);
            cpu->cycles = static_cast<uint8_t>(cpu->cycles - k);
            ticks += k;
        }
        if (cpu->cycles < 2 && attention.load(std::memory_order_relaxed) && boundary_stop(e))
            return true;
    }
    return false;
}

dbg_stop_t run_inline(dbg_engine_t *e) {
    e->last_stop = dbg_stop_t{};
    dbg_update(e);
    if (e->trace) dbg_trace_line(e);
    const z_cpu_t *cpu = cpu_of(e);
    for (;;) {
        // The limit ends the run at the first boundary at or after it, never inside an
        // instruction; past it, the deadline is the end of the instruction under way.
        const bool past = e->emu->ticks >= e->tick_limit;
        if (past && cpu->cycles < 2) {
            stop_with(e, DBG_CAUSE_TICKS);
            return e->last_stop;
        }
        // A hook due runs at the first boundary at or after its tick: the run goes to the tick in
        // one stretch, then to the end of the instruction under way.
        if (e->emu->ticks >= e->due_tick && cpu->cycles < 2) hooks_due(e);
        uint64_t deadline = past ? e->emu->ticks + (cpu->cycles - 1u) : e->tick_limit;
        if (e->wav) deadline = std::min(deadline, dbg_wav_next_tick(e));
        deadline =
            std::min(deadline, e->emu->ticks < e->due_tick ? e->due_tick
                                                           : e->emu->ticks + (cpu->cycles - 1u));
        if (run_to_deadline(e, deadline)) return e->last_stop;
        if (e->wav) dbg_wav_render(e);
    }
}

// The same at the board's clock, paced as the processor thread is (quillane-run --realtime).
dbg_stop_t run_paced(dbg_engine_t *e) {
    z_cpu_t *cpu = cpu_of(e);
    e->last_stop = dbg_stop_t{};
    dbg_update(e);
    if (e->trace) dbg_trace_line(e);
    int32_t running = 1;
    auto tick = [&] {
        if (e->emu->ticks >= e->tick_limit && cpu->cycles < 2) {
            stop_with(e, DBG_CAUSE_TICKS);
            running = 0;
            return;
        }
        z_tick(cpu);
        ++e->emu->ticks;
        if (e->wav && e->emu->ticks >= dbg_wav_next_tick(e)) dbg_wav_render(e);
        if (cpu->cycles < 2 &&
            (e->attention->load(std::memory_order_relaxed) || e->emu->ticks >= e->due_tick) &&
            boundary_stop(e))
            running = 0;
    };
    if (emu_counter_tsc_usable())
        emu_pace_ticks<emu_tsc_counter>(&running, e->emu->cpu_clock_hz, tick);
    else
        emu_pace_ticks<emu_clock_counter>(&running, e->emu->cpu_clock_hz, tick);
    return e->last_stop;
}

// ---- the threaded executor ----

// Processor thread, lock held: tells the front end and waits until a request or shutdown.
void wait_while_stopped(dbg_engine_t *e) {
    const dbg_stop_t stop = e->last_stop;
    {
        std::lock_guard<std::mutex> guard(e->wait_mutex);
        e->stopped = true;
    }
    // The hooks are read under the lock: front ends add and remove them under it too.
    dbg_hook_t feeds[DBG_HOOKS_MAX];
    int count = 0;
    for (int i = 0; i < DBG_HOOKS_MAX; ++i)
        if ((e->hook_used & (1u << i)) && e->hooks[i].stopped) feeds[count++] = e->hooks[i];
    emu_lock_leave(&e->emu->lock);
    for (int i = 0; i < count; ++i)
        feeds[i].stopped(e, feeds[i].user, &stop);
    {
        std::unique_lock<std::mutex> guard(e->wait_mutex);
        // The timeout only notices a shutdown that did not notify.
        while (e->stopped && emu_get_running(e->emu) == 1)
            e->wait_cv.wait_for(guard, std::chrono::milliseconds(100));
    }
    emu_lock_enter(&e->emu->lock);
    // The instruction the stop stood on runs next; its trace line was held back at the stop.
    if (e->trace) dbg_trace_line(e);
}

// Processor thread, lock held: runs unpaced while warp is on, letting the front end in between
// slices of 4096 T-states.
void run_warp(dbg_engine_t *e) {
    z_cpu_t *cpu = cpu_of(e);
    while (e->warp.load(std::memory_order_relaxed) && emu_get_running(e->emu) == 1) {
        for (int i = 0; i < 4096; ++i) {
            z_tick(cpu);
            ++e->emu->ticks;
            if (cpu->cycles < 2 &&
                ((e->attention->load(std::memory_order_relaxed) & DBG_ATTENTION_CHECK) ||
                 e->emu->ticks >= e->due_tick) &&
                boundary_stop(e))
                wait_while_stopped(e);
        }
        emu_lock_leave(&e->emu->lock);
        emu_lock_enter(&e->emu->lock);
    }
}

// Front end, threaded: hands a request to a stopped (or running) processor thread.
void resume_threaded(dbg_engine_t *e) {
    {
        std::lock_guard<std::mutex> guard(e->wait_mutex);
        e->stopped = false;
    }
    e->wait_cv.notify_all();
}

dbg_stop_t start(dbg_engine_t *e, dbg_request_t request) {
    e->request = request;
    // next, finish: the boundary check looks at each instruction before it runs; this is the first.
    e->leave_pending =
        (request == DBG_REQ_FINISH || request == DBG_REQ_NEXT) && leaves(e, cpu_of(e)->PC);
    if (e->mode == DBG_INLINE) return e->realtime ? run_paced(e) : run_inline(e);
    dbg_update(e);
    dbg_unlock(e);
    resume_threaded(e);
    return dbg_stop_t{};
}

void boundary_hook(void *user) {
    dbg_boundary(static_cast<dbg_engine_t *>(user));
}

// Removes every hook, telling each (a new attach drops those of an engine never detached too).
void drop_hooks(dbg_engine_t *e) {
    for (int i = 0; i < DBG_HOOKS_MAX; ++i) {
        const dbg_hook_t h = e->hooks[i];
        const bool used = e->hook_used & (1u << i);
        dbg_hook_remove(e, i);
        if (used && h.detached) h.detached(e, h.user);
    }
}

// Empties the tables (with no breakpoint or watchpoint left).
void clear_tables(dbg_engine_t *e) {
    std::memset(e->break_at, 0, sizeof e->break_at);
    std::memset(e->mem_watch, 0, sizeof e->mem_watch);
    std::memset(e->port_watch, 0, sizeof e->port_watch);
    std::memset(e->break_count, 0, sizeof e->break_count);
    std::memset(e->watch_count, 0, sizeof e->watch_count);
}

// Counts a breakpoint in (delta 1) or out (-1) of the tables.
void count_breakpoint(dbg_engine_t *e, uint16_t address, int delta) {
    e->break_count[address] += static_cast<uint32_t>(delta);
    e->break_at[address] = e->break_count[address] != 0;
}

// Counts a watch range in or out; only its own addresses change.
void count_watchpoint(dbg_engine_t *e, const dbg_watchpoint_t &w, int delta) {
    const bool port = w.kind == DBG_WATCH_IN || w.kind == DBG_WATCH_OUT;
    uint8_t *table = port ? e->port_watch : e->mem_watch;
    const uint8_t bit = w.kind == DBG_WATCH_READ || w.kind == DBG_WATCH_IN ? 1 : 2;
    uint32_t *counts = e->watch_count[w.kind];
    for (uint32_t i = 0; i < w.length; ++i) {
        const uint16_t a = static_cast<uint16_t>(w.address + i);
        counts[a] += static_cast<uint32_t>(delta);
        table[a] = static_cast<uint8_t>(counts[a] ? table[a] | bit : table[a] & ~bit);
    }
}

} // namespace

// ---- shared helpers ----

const dbg_source_t *dbg_source_or_empty(const dbg_engine_t *e) {
    static const dbg_source_t empty = [] {
        dbg_source_t model;
        dbg_source_init(&model);
        return model;
    }();
    return e->source ? e->source : &empty;
}

std::string dbg_place_name(dbg_engine_t *e, uint16_t address) {
    const dbg_function_t *function =
        e->source ? dbg_source_function_at(e->source, address) : nullptr;
    const std::string name = function ? function->name : dbg_symbol_near(&e->symbols, address);
    const std::string line = e->source ? dbg_source_where(e->source, address) : "";
    if (name.empty() || line.empty()) return name + line;
    return name + ", " + line;
}

std::string dbg_hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
    return text;
}

std::string dbg_hex2(unsigned value) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

void dbg_lock(dbg_engine_t *e) {
    if (e->mode == DBG_THREADED) emu_lock_enter(&e->emu->lock);
}

void dbg_unlock(dbg_engine_t *e) {
    if (e->mode == DBG_THREADED) emu_lock_leave(&e->emu->lock);
}

void dbg_update(dbg_engine_t *e) {
    if (!e->emu) return;
    const bool stops = !e->breakpoints.empty() || e->request > DBG_REQ_CONTINUE || e->object_run ||
                       e->pause_requested || e->pending || !e->keys.empty() || e->trace ||
                       e->interrupted.load(std::memory_order_relaxed);
    // Collectors alone take the boundary's short way.
    e->collect_only = !stops;
    const bool check = stops || e->hook_every;
    const uint32_t bits = (check ? DBG_ATTENTION_CHECK : 0u) |
                          (e->warp.load(std::memory_order_relaxed) ? DBG_ATTENTION_WARP : 0u);
    e->attention->store(bits, std::memory_order_relaxed);
    const bool watching = !e->watchpoints.empty() || e->port_observer || e->typing_wait;
    z_cpu_t *cpu = cpu_of(e);
    cpu->mem_read = watching ? watch_mem_read : emu_mem_read_callback;
    cpu->mem_write = watching ? watch_mem_write : emu_mem_write_callback;
    cpu->io_read = watching ? watch_io_read : emu_io_read_callback;
    cpu->io_write = watching ? watch_io_write : emu_io_write_callback;
}

// ---- public interface ----

dbg_engine_t *dbg_engine() {
    return &engine_storage;
}

int dbg_load_hex(emu_t *emu, const std::string &path, bool set_pc, uint16_t *start,
                 std::string *error) {
    uint16_t address = 0xFFFF;
    emu_file_error_t reason{};
    if (emu_load_ihex_file(path.c_str(), &address, emu->memory, EMU_MEMORY_SIZE, &reason) != 0) {
        *error = "Unable to load HEX file: " + emu_file_error_message(path, reason);
        return 1;
    }
    if (start) *start = address;
    if (set_pc && address != 0xFFFF) emu->cpu.PC = address;
    return 0;
}

dbg_engine_t *dbg_attach(emu_t *emu, dbg_mode_t mode, bool start_stopped) {
    dbg_engine_t *e = &engine_storage;
    e->emu = emu;
    e->mode = mode;
    // A window attaches while its processor thread runs.
    dbg_lock(e);
    e->attention = &emu->boundary.attention;
    emu_boundary_install(&emu->boundary, boundary_hook, e);
    e->warp.store(false, std::memory_order_relaxed);
    e->interrupted.store(false, std::memory_order_relaxed);
    e->breakpoints.clear();
    e->watchpoints.clear();
    clear_tables(e);
    e->next_id = 1;
    e->port_observer = nullptr;
    e->request = DBG_REQ_NONE;
    e->step_left = 0;
    e->pause_requested = start_stopped && mode == DBG_THREADED;
    e->stop_on_halt = true;
    e->stop_on_invalid = true;
    e->realtime = false;
    e->stopped = false;
    e->tick_limit = UINT64_MAX;
    e->leave_pending = false;
    e->over_call = false;
    e->pending = false;
    e->last_stop = dbg_stop_t{};
    e->last_invalid.clear();
    e->halts = 0;
    e->keys.clear();
    e->typing_wait = false;
    e->key_port_reads = 0;
    emu->cpu.exception = engine_exception;
    emu->cpu.halt = engine_halt;
    drop_hooks(e);
    dbg_update(e);
    dbg_unlock(e);
    return e;
}

void dbg_hand_to_thread(dbg_engine_t *e, bool start_stopped) {
    e->mode = DBG_THREADED;
    e->request = DBG_REQ_NONE;
    e->pause_requested = start_stopped;
    e->stopped = false;
    dbg_update(e);
}

bool dbg_is_attached(const dbg_engine_t *e, const emu_t *emu) {
    // Detaching removes the boundary function (on the front end's thread, as attaching installs
    // it).
    return emu && e->emu == emu && emu->boundary.fn != nullptr;
}

void dbg_detach(dbg_engine_t *e) {
    if (!e->emu) return;
    dbg_lock(e);
    dbg_trace_end(e);
    e->breakpoints.clear();
    e->watchpoints.clear();
    e->keys.clear();
    e->typing_wait = false;
    e->port_observer = nullptr;
    e->request = DBG_REQ_NONE;
    e->pause_requested = false;
    e->pending = false;
    e->warp.store(false, std::memory_order_relaxed);
    drop_hooks(e);
    clear_tables(e);
    dbg_update(e);
    e->emu->cpu.exception = emu_exception_callback;
    e->emu->cpu.halt = emu_halt_callback;
    emu_boundary_remove(&e->emu->boundary);
    dbg_unlock(e);
    resume_threaded(e);
}

int dbg_hook_attach(dbg_engine_t *e, const dbg_hook_t &hook) {
    return dbg_locked(e, [&] { return dbg_hook_add(e, hook); });
}

void dbg_hook_detach(dbg_engine_t *e, int slot) {
    dbg_locked(e, [&] { dbg_hook_remove(e, slot); });
}
void dbg_set_port_observer(dbg_engine_t *e, dbg_port_observer_t observer) {
    dbg_locked(e, [&] {
        e->port_observer = observer;
        dbg_update(e);
    });
}

uint64_t dbg_ticks(dbg_engine_t *e) {
    return dbg_locked(e, [&] { return e->emu->ticks; });
}

dbg_stop_t dbg_continue(dbg_engine_t *e) {
    dbg_lock(e);
    return start(e, DBG_REQ_CONTINUE);
}

dbg_stop_t dbg_step(dbg_engine_t *e, uint32_t count) {
    dbg_lock(e);
    e->step_left = std::max<uint32_t>(count, 1);
    return start(e, DBG_REQ_STEP);
}

dbg_stop_t dbg_next(dbg_engine_t *e) {
    dbg_lock(e);
    z_cpu_t *cpu = cpu_of(e);
    const dbg_instruction_t in = dbg_disassemble(e->emu->memory, cpu->PC, nullptr);
    if (!in.valid || !(in.is_call || in.is_repeat)) {
        e->step_left = 1;
        return start(e, DBG_REQ_STEP);
    }
    e->target_pc = static_cast<uint16_t>(cpu->PC + in.length);
    e->target_sp = cpu->SP;
    e->next_call = in.is_call;
    return start(e, DBG_REQ_NEXT);
}

// Step out, by line or by instruction alike: to the caller the stack walk finds (the one that
// `where` shows as frame 1), so that both agree; with none, until a return leaves SP above its
// value now.
dbg_stop_t dbg_finish(dbg_engine_t *e) {
    dbg_lock(e);
    const z_cpu_t *cpu = cpu_of(e);
    const std::vector<dbg_frame_t> frames =
        dbg_source_frames(model_of(e), e->emu->memory, *cpu, &e->symbols, 2);
    e->return_known = frames.size() >= 2;
    if (e->return_known) {
        e->target_pc = frames[1].pc;
        e->target_sp = static_cast<uint16_t>(frames[1].sp - 2);
    } else {
        e->target_sp = cpu->SP;
    }
    return start(e, DBG_REQ_FINISH);
}

dbg_stop_t dbg_until(dbg_engine_t *e, uint16_t address) {
    dbg_lock(e);
    e->target_pc = address;
    return start(e, DBG_REQ_UNTIL);
}

namespace {

// Source step (over: next) from the line at PC; without one, the instruction step.
dbg_stop_t line_request(dbg_engine_t *e, bool over) {
    dbg_lock(e);
    const z_cpu_t *cpu = cpu_of(e);
    const dbg_line_range_t *range = e->source ? dbg_source_line_at(e->source, cpu->PC) : nullptr;
    if (!range) {
        dbg_unlock(e);
        return over ? dbg_next(e) : dbg_step(e, 1);
    }
    e->line_file = range->file;
    e->line_line = range->line;
    e->line_start_pc = cpu->PC;
    e->line_over = over;
    e->over_call = false;
    e->line_entering = false;
    e->line_function = dbg_source_function_at(e->source, cpu->PC);
    const std::vector<dbg_frame_t> frames =
        dbg_source_frames(e->source, e->emu->memory, *cpu, &e->symbols, 2);
    e->line_returns = frames.size() >= 2;
    if (e->line_returns) {
        e->line_return_pc = frames[1].pc;
        e->line_return_slot = static_cast<uint16_t>(frames[1].sp - 2);
    }
    line_look(e, cpu); // the first instruction runs before any boundary looks
    return start(e, DBG_REQ_LINE);
}

} // namespace

dbg_stop_t dbg_step_line(dbg_engine_t *e) {
    return line_request(e, false);
}

dbg_stop_t dbg_next_line(dbg_engine_t *e) {
    return line_request(e, true);
}

dbg_stop_t dbg_step_by(dbg_engine_t *e, dbg_step_kind_t kind, dbg_granularity_t granularity) {
    const bool by_line = granularity != DBG_GRAN_INSTRUCTION;
    switch (kind) {
    case DBG_STEP_INTO: return by_line ? dbg_step_line(e) : dbg_step(e, 1);
    case DBG_STEP_OVER: return by_line ? dbg_next_line(e) : dbg_next(e);
    case DBG_STEP_OUT: break;
    }
    return dbg_finish(e);
}

dbg_stop_t dbg_run_ticks(dbg_engine_t *e, uint64_t ticks) {
    if (e->mode != DBG_INLINE) return dbg_stop_t{};
    const uint64_t old_limit = e->tick_limit;
    e->tick_limit = std::min(old_limit, dbg_ticks_after(e->emu->ticks, ticks));
    dbg_stop_t stop = start(e, DBG_REQ_CONTINUE);
    e->tick_limit = old_limit;
    return stop;
}

void dbg_pause(dbg_engine_t *e) {
    if (e->mode != DBG_THREADED) return;
    dbg_lock(e);
    // A stopped processor thread stays stopped; a pause asked for now would stop the next run
    // after its first instruction. The thread sets `stopped` with the lock held, so this holds.
    bool stopped;
    {
        std::lock_guard<std::mutex> guard(e->wait_mutex);
        stopped = e->stopped;
    }
    if (!stopped) {
        e->pause_requested = true;
        dbg_update(e);
    }
    dbg_unlock(e);
}

void dbg_interrupt(dbg_engine_t *e) {
    e->interrupted.store(true, std::memory_order_relaxed);
    if (e->attention) e->attention->fetch_or(DBG_ATTENTION_CHECK, std::memory_order_relaxed);
}

void dbg_set_tick_limit(dbg_engine_t *e, uint64_t tick) {
    e->tick_limit = tick;
}

bool dbg_is_running(dbg_engine_t *e) {
    if (e->mode != DBG_THREADED) return false;
    std::lock_guard<std::mutex> guard(e->wait_mutex);
    return !e->stopped;
}

dbg_stop_t dbg_last_stop(dbg_engine_t *e) {
    return dbg_locked(e, [&] { return e->last_stop; });
}

int dbg_break_add(dbg_engine_t *e, uint16_t address, uint32_t skip) {
    std::string error;
    return dbg_break_add_if(e, address, skip, "", &error);
}

int dbg_watch_add(dbg_engine_t *e, dbg_watch_kind_t kind, uint16_t address, uint32_t length) {
    std::string error;
    return dbg_watch_add_if(e, kind, address, length, "", &error);
}

namespace {

// A condition as set: C, and no bare hexadecimal word taken for a number.
bool parse_condition(dbg_engine_t *e, const std::string &cond, dbg_expr_t *expr,
                     std::string *error) {
    return cond.empty() || (dbg_expr_parse(model_of(e), cond, expr, error) &&
                            dbg_expr_check_names(model_of(e), *expr, &e->symbols, error));
}

} // namespace

int dbg_break_add_if(dbg_engine_t *e, uint16_t address, uint32_t skip, const std::string &cond,
                     std::string *error) {
    dbg_expr_t expr;
    if (!parse_condition(e, cond, &expr, error)) return -1;
    dbg_lock(e);
    const int id = e->next_id++;
    e->breakpoints.push_back({id, address, skip, 0, cond, std::move(expr), skip, ""});
    count_breakpoint(e, address, 1);
    dbg_update(e);
    dbg_unlock(e);
    return id;
}

int dbg_watch_add_if(dbg_engine_t *e, dbg_watch_kind_t kind, uint16_t address, uint32_t length,
                     const std::string &cond, std::string *error) {
    dbg_expr_t expr;
    if (!parse_condition(e, cond, &expr, error)) return -1;
    dbg_lock(e);
    const int id = e->next_id++;
    if (kind == DBG_WATCH_IN || kind == DBG_WATCH_OUT) {
        address &= 0xFF;
        length = 1;
    }
    e->watchpoints.push_back(
        {id, kind, address, std::clamp<uint32_t>(length, 1, 65536), 0, cond, std::move(expr)});
    count_watchpoint(e, e->watchpoints.back(), 1);
    dbg_update(e);
    dbg_unlock(e);
    return id;
}

int dbg_watch_add_object(dbg_engine_t *e, dbg_watch_kind_t kind, const std::string &name,
                         uint16_t address, int type, const std::string &cond, std::string *error) {
    const dbg_source_t *model = dbg_source_or_empty(e);
    if (type < 0 || type >= static_cast<int>(model->types.size())) {
        *error = name + ": its type is not known";
        return -1;
    }
    const uint32_t length = std::max<uint32_t>(1, model->types[static_cast<size_t>(type)].size);
    if (address + length > 0x10000) {
        *error = name + ": its bytes run past FFFF";
        return -1;
    }
    const int id = dbg_watch_add_if(e, kind, address, length, cond, error);
    if (id < 0) return -1;
    dbg_locked(e, [&] {
        dbg_watchpoint_t &w = e->watchpoints.back();
        w.object = name;
        w.object_type = type;
        w.old.assign(e->emu->memory + address, e->emu->memory + address + length);
    });
    return id;
}

void dbg_break_set_origin(dbg_engine_t *e, int id, const std::string &origin) {
    dbg_locked(e, [&] {
        for (dbg_breakpoint_t &b : e->breakpoints)
            if (b.id == id) b.origin = origin;
    });
}

void dbg_point_move(dbg_engine_t *e, int id, uint16_t address) {
    for (dbg_breakpoint_t &b : e->breakpoints)
        if (b.id == id) {
            count_breakpoint(e, b.address, -1);
            b.address = address;
            count_breakpoint(e, address, 1);
        }
    for (dbg_watchpoint_t &w : e->watchpoints)
        if (w.id == id) {
            count_watchpoint(e, w, -1);
            w.address = address;
            count_watchpoint(e, w, 1);
        }
    dbg_update(e);
}

bool dbg_delete(dbg_engine_t *e, int id) {
    dbg_lock(e);
    const size_t before = e->breakpoints.size() + e->watchpoints.size();
    std::erase_if(e->breakpoints, [e, id](const dbg_breakpoint_t &b) {
        if (b.id == id) count_breakpoint(e, b.address, -1);
        return b.id == id;
    });
    std::erase_if(e->watchpoints, [e, id](const dbg_watchpoint_t &w) {
        if (w.id == id) count_watchpoint(e, w, -1);
        return w.id == id;
    });
    const bool found = e->breakpoints.size() + e->watchpoints.size() != before;
    dbg_update(e);
    dbg_unlock(e);
    return found;
}

void dbg_delete_all(dbg_engine_t *e) {
    dbg_lock(e);
    e->breakpoints.clear();
    e->watchpoints.clear();
    clear_tables(e);
    dbg_update(e);
    dbg_unlock(e);
}

std::vector<dbg_breakpoint_t> dbg_breakpoint_list(dbg_engine_t *e) {
    return dbg_locked(e, [&] { return e->breakpoints; });
}

std::vector<dbg_watchpoint_t> dbg_watchpoint_list(dbg_engine_t *e) {
    return dbg_locked(e, [&] { return e->watchpoints; });
}

z_cpu_t dbg_registers(dbg_engine_t *e) {
    return dbg_locked(e, [&] { return e->emu->cpu; });
}

std::vector<uint8_t> dbg_memory(dbg_engine_t *e) {
    return dbg_locked(
        e, [&] { return std::vector<uint8_t>(e->emu->memory, e->emu->memory + EMU_MEMORY_SIZE); });
}

std::string dbg_regs_json(dbg_engine_t *e) {
    dbg_lock(e);
    const z_cpu_t c = e->emu->cpu;
    const uint64_t ticks = e->emu->ticks;
    dbg_unlock(e);
    // Scripts read these keys in this order.
    static const char *const keys[] = {"pc",  "sp",  "af",  "bc", "de", "hl", "ix",   "iy",  "af_",
                                       "bc_", "de_", "hl_", "i",  "r",  "im", "iff1", "iff2"};
    std::string text = "{";
    for (const char *key : keys)
        text +=
            std::string("\"") + key + "\":" + std::to_string(z_register_find(key)->read(c)) + ",";
    return text + "\"ticks\":" + std::to_string(ticks) + "}";
}

bool dbg_set_register(dbg_engine_t *e, const std::string &name_in, uint32_t value,
                      std::string *error) {
    // s z p n name flags here only: no register has those names, but C variables often do.
    static const std::pair<const char *, const char *> flag_words[] = {
        {"s", "fs"}, {"z", "fz"}, {"p", "fp"}, {"n", "fn"}};
    std::string name = name_in;
    for (const auto &[word, flag] : flag_words)
        if (name.size() == 1 && std::tolower(static_cast<unsigned char>(name[0])) == word[0])
            name = flag;
    const z_register_t *r = z_register_find(name);
    *error = "";
    if (!r) {
        *error = "Unknown register: " + name_in;
        return false;
    }
    const bool flag = r->bits == 1 && r->name[0] == 'f';
    const bool interrupt = r->bits < 8 && !flag; // im, iff1, iff2
    if (value > r->max) {
        *error = flag        ? "A flag is 0 or 1: " + name_in
                 : interrupt ? "Out of range for " + std::string(r->name) + ": " + dbg_hex2(value)
                             : "Out of range for " + name_in + ": " + dbg_hex4(value);
        return false;
    }
    dbg_lock(e);
    z_cpu_t *c = cpu_of(e);
    r->write(*c, static_cast<uint16_t>(value));
    // A new PC starts a new instruction.
    if (std::string_view(r->name) == "pc") c->cycles = 0;
    dbg_hooks_changed(e, nullptr);
    dbg_unlock(e);
    return true;
}

uint8_t dbg_peek(dbg_engine_t *e, uint16_t address) {
    return emu_relaxed_load(e->emu->memory[address]);
}

void dbg_poke(dbg_engine_t *e, uint16_t address, uint8_t value) {
    // Under the lock, as every write of memory is, so that the history copies it whole.
    dbg_locked(e, [&] {
        emu_relaxed_store(e->emu->memory[address], value);
        dbg_hooks_changed(e, nullptr);
    });
}

void dbg_reset(dbg_engine_t *e) {
    dbg_lock(e);
    z_reset(&e->emu->cpu);
    ay_reset(&e->emu->psg);
    kbd_reset(&e->emu->kbd);
    e->pending = false;
    dbg_hooks_changed(e, "reset");
    dbg_update(e);
    dbg_unlock(e);
}

bool dbg_load_image(dbg_engine_t *e, const std::string &path, std::string *error, uint16_t *start,
                    bool set_pc) {
    dbg_lock(e);
    // A load that fails keeps the records before its bad line: that changes memory too.
    const std::vector<uint8_t> before(e->emu->memory, e->emu->memory + EMU_MEMORY_SIZE);
    const int result = dbg_load_hex(e->emu, path, set_pc, start, error);
    if (result == 0 || std::memcmp(before.data(), e->emu->memory, EMU_MEMORY_SIZE) != 0)
        dbg_hooks_changed(e, "image loaded");
    dbg_unlock(e);
    return result == 0;
}

void dbg_set_stop_on_halt(dbg_engine_t *e, bool on) {
    dbg_locked(e, [&] { e->stop_on_halt = on; });
}

void dbg_set_stop_on_invalid(dbg_engine_t *e, bool on) {
    dbg_locked(e, [&] { e->stop_on_invalid = on; });
}

void dbg_set_warp(dbg_engine_t *e, bool on) {
    dbg_locked(e, [&] {
        e->warp.store(on, std::memory_order_relaxed);
        dbg_update(e);
    });
}

bool dbg_warp(const dbg_engine_t *e) {
    return e->warp.load(std::memory_order_relaxed);
}

void dbg_set_realtime(dbg_engine_t *e, bool on) {
    e->realtime = on;
}

uint64_t dbg_tick_limit(dbg_engine_t *e) {
    return e->tick_limit;
}

void dbg_set_rom_path(dbg_engine_t *e, const std::string &path) {
    e->rom_path = path;
}

void dbg_select_frame(dbg_engine_t *e, int index) {
    const uint64_t ticks = dbg_ticks(e);
    e->source_frame = index;
    e->source_frame_ticks = ticks;
}

int dbg_selected_frame(dbg_engine_t *e) {
    return e->source_frame_ticks == dbg_ticks(e) ? e->source_frame : 0;
}

dbg_stop_t dbg_make_stop(dbg_engine_t *e, dbg_cause_t cause) {
    return make_stop(e, cause);
}

void dbg_boundary(dbg_engine_t *e) {
    if (((e->attention->load(std::memory_order_relaxed) & DBG_ATTENTION_CHECK) ||
         e->emu->ticks >= e->due_tick) &&
        boundary_stop(e))
        wait_while_stopped(e);
    if (e->warp.load(std::memory_order_relaxed)) run_warp(e);
}

// ---- hooks ----

void dbg_hooks_due_update(dbg_engine_t *e) {
    uint64_t due = UINT64_MAX;
    for (uint64_t tick : e->hook_due)
        due = std::min(due, tick);
    e->due_tick = due;
    if (e->emu) e->emu->boundary.due = due;
}

void dbg_hooks_changed(dbg_engine_t *e, const char *timeline) {
    for (int i = 0; i < DBG_HOOKS_MAX; ++i)
        if (e->hooks[i].changed) e->hooks[i].changed(e, e->hooks[i].user, timeline);
}

void dbg_hooks_key(dbg_engine_t *e, uint8_t vk, bool down) {
    for (int i = 0; i < DBG_HOOKS_MAX; ++i)
        if (e->hooks[i].key) e->hooks[i].key(e, e->hooks[i].user, vk, down);
}

int dbg_hook_add(dbg_engine_t *e, const dbg_hook_t &hook) {
    for (int i = 0; i < DBG_HOOKS_MAX; ++i)
        if (!(e->hook_used & (1u << i))) {
            e->hook_used |= 1u << i;
            e->hooks[i] = hook;
            e->hook_due[i] = UINT64_MAX;
            return i;
        }
    return -1;
}

void dbg_hook_remove(dbg_engine_t *e, int slot) {
    if (slot < 0 || slot >= DBG_HOOKS_MAX) return;
    e->hook_used &= ~(1u << slot);
    e->hook_every &= ~(1u << slot);
    e->hooks[slot] = dbg_hook_t{};
    e->hook_due[slot] = UINT64_MAX;
    dbg_hooks_due_update(e);
    if (e->emu) dbg_update(e);
}

void dbg_hook_every(dbg_engine_t *e, int slot, bool on) {
    if (slot < 0 || slot >= DBG_HOOKS_MAX) return;
    const uint32_t bit = 1u << slot;
    e->hook_every = on && e->hooks[slot].boundary ? e->hook_every | bit : e->hook_every & ~bit;
    if (e->emu) dbg_update(e);
}

void dbg_hook_due(dbg_engine_t *e, int slot, uint64_t tick) {
    if (slot < 0 || slot >= DBG_HOOKS_MAX || !e->hooks[slot].boundary) return;
    e->hook_due[slot] = tick;
    dbg_hooks_due_update(e);
}

void dbg_changed(dbg_engine_t *e, const char *timeline) {
    dbg_lock(e);
    dbg_hooks_changed(e, timeline);
    dbg_unlock(e);
}
