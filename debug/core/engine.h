// The debug engine: run control, breakpoints, watchpoints, register access, typed keys, screen
// read-back and the instruction trace, over the real machine record (emu_state) with its real bus
// callbacks and devices. Both front ends use it: the headless runner and the tests drive the
// machine on their own thread (inline executor); the window's processor thread calls the engine
// at instruction boundaries (threaded executor).
//
// How it stays free when unused:
//   - attaching installs only the engine's exception and halt callbacks;
//   - the memory and port callbacks are swapped for watching ones only while a watchpoint, a port
//     observer or a keyboard wait exists (under the machine lock);
//   - `attention` (the machine's boundary hook flag, emu_t::boundary) is set while anything
//     needs looking at between instructions (breakpoints, a run request, a pending stop, queued
//     keys, warp); only then does the processor thread call the hook the engine installed at
//     attach. The per-tick cost otherwise is one relaxed load at instruction boundaries.
//
// Instruction boundary: after z_tick, cpu.cycles < 2 means the next tick starts a new
// instruction. Stops happen there, so a stop always leaves the machine between instructions.
//
// There is one engine per process (dbg_engine()), since the bus callbacks find it through a
// static pointer. Every function here is for one front-end thread; in threaded mode the engine
// takes the machine lock itself wherever it touches the machine. Front ends (the command language,
// DAP, the window, the runners, the page) reach the engine through these functions only: its record
// is declared in engine_internal.h, for the engine and its add-ons.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cpu/zcpu.h"
#include "debug/info/disasm.h"
#include "debug/info/source.h"
#include "debug/info/symbols.h"

struct emu_t;
struct emu_output_t;

enum dbg_mode_t : uint8_t {
    DBG_INLINE,   // the caller's thread runs the machine (unpaced) inside the run commands
    DBG_THREADED, // the processor thread runs it; run commands only set a request
};

enum dbg_cause_t : uint8_t {
    DBG_CAUSE_NONE,        // no stop (threaded: the request was handed to the processor thread)
    DBG_CAUSE_PAUSE,       // paused on request
    DBG_CAUSE_STEP,        // step, next or finish completed
    DBG_CAUSE_BREAKPOINT,  // reached a breakpoint (after its skip count)
    DBG_CAUSE_WATCH_READ,  // a memory read in a watched range
    DBG_CAUSE_WATCH_WRITE, // a memory write in a watched range
    DBG_CAUSE_PORT_IN,     // a read of a watched port
    DBG_CAUSE_PORT_OUT,    // a write to a watched port
    DBG_CAUSE_HALT,        // the processor executed HALT
    DBG_CAUSE_INVALID,     // the processor reported an invalid opcode
    DBG_CAUSE_UNTIL,       // the address of `until` was reached
    DBG_CAUSE_TICKS,       // the tick limit of the run was reached
};

struct dbg_stop_t {
    dbg_cause_t cause;
    uint16_t pc;                   // where the processor stands: the next instruction
    uint16_t access_pc;            // watchpoints: the instruction that made the access
    uint16_t address;              // watchpoints: the memory address or port (low 8 bits)
    uint8_t value;                 // watchpoints: the byte read or written
    int breakpoint;                // breakpoints: its id
    uint64_t ticks;                // emulated T-states since the engine was attached
    dbg_instruction_t instruction; // the instruction at pc
    std::string text;              // one line, e.g. "Invalid ED opcode at 8123"
};

enum dbg_watch_kind_t : uint8_t { DBG_WATCH_READ, DBG_WATCH_WRITE, DBG_WATCH_IN, DBG_WATCH_OUT };

struct dbg_breakpoint_t {
    int id;
    uint16_t address;
    uint32_t skip;         // hits still to ignore
    uint32_t hits;         // times reached (with its condition true)
    std::string condition; // as written; "" for none
    dbg_expr_t expr;       // the condition parsed
    uint32_t skip_set;     // the skip count it was set with (reverse runs count hits by it)
    std::string origin;    // the FILE:LINE or C function it was set by, resolved again by a reload
};

struct dbg_watchpoint_t {
    int id;
    dbg_watch_kind_t kind;
    uint16_t address; // first address, or the port
    uint32_t length;  // bytes (1 for ports)
    uint32_t hits;
    std::string condition; // as written ("value" is the byte); "" for none
    dbg_expr_t expr;
    // A C object (dbg_watch_add_object): its name and type in the source model (-1: a plain
    // range), its bytes before the writes now running, and which of them those have written.
    std::string object = {};
    int object_type = -1;
    std::vector<uint8_t> old = {};
    std::vector<uint8_t> written = {};
};

// Called on every port access while set (for the tests' port log and the like).
typedef void (*dbg_port_observer_t)(bool write, uint16_t port, uint8_t value, uint64_t tick);

enum dbg_request_t : uint8_t {
    DBG_REQ_NONE, // running freely (threaded) or idle
    DBG_REQ_CONTINUE,
    DBG_REQ_STEP,
    DBG_REQ_NEXT,
    DBG_REQ_FINISH,
    DBG_REQ_UNTIL,
    DBG_REQ_LINE, // source step or next (see dbg_step_line)
};

struct dbg_wav_t;
struct dbg_source_t;
struct dbg_engine_t;

// Add-ons (the history, a recording, the profile, coverage) watch the machine through hooks; the
// engine knows nothing else of them. Every function is called on the thread that runs the
// machine, with the machine lock held; any may be null.
struct dbg_hook_t {
    void *user;
    // At an instruction boundary: at every one while dbg_hook_every is on, and at the first one at
    // or after the tick given to dbg_hook_due (which the call may move on).
    void (*boundary)(dbg_engine_t *e, void *user);
    // The machine was changed from outside the running program (a poke, a register set, keys
    // queued, a load); timeline is null, or the reason a new timeline starts (its past is not
    // the past of what follows: "state loaded", "image loaded", "reset").
    void (*changed)(dbg_engine_t *e, void *user, const char *timeline);
    // A key reached the board from outside the typing queue, now.
    void (*key)(dbg_engine_t *e, void *user, uint8_t vk, bool down);
    // The engine detaches: the hook is removed after this call.
    void (*detached)(dbg_engine_t *e, void *user);
    // Threaded: a run stopped (a front end's feed of stops, the window's and through it DAP's).
    // Called on the processor thread with the machine lock released, before it waits.
    void (*stopped)(dbg_engine_t *e, void *user, const dbg_stop_t *stop) = nullptr;
};
enum : int { DBG_HOOKS_MAX = 8 };

// The process's engine (attached or not).
dbg_engine_t *dbg_engine();

// Loads an Intel HEX image into memory; with set_pc, PC = the image's start address (the load
// address of its first record). Returns 0, or 1 with "Unable to load HEX file: PATH: REASON"
// in *error ("Line 2: bad checksum", "The file holds no data record", the system's text).
int dbg_load_hex(emu_t *emu, const std::string &path, bool set_pc, uint16_t *start,
                 std::string *error);

// Attaches the engine to the machine (before the processor thread starts): clears breakpoints,
// watchpoints, requests and the typing queue, installs the exception and halt callbacks. Threaded
// mode starts stopped (paused) only when start_stopped is set.
dbg_engine_t *dbg_attach(emu_t *emu, dbg_mode_t mode, bool start_stopped = false);
// An engine attached inline before the processor thread starts (a recording played first)
// becomes that thread's threaded engine, keeping its breakpoints, history and hooks; stopped at
// the thread's first instruction boundary when start_stopped is set.
void dbg_hand_to_thread(dbg_engine_t *e, bool start_stopped);
// True while the engine is attached to this machine.
bool dbg_is_attached(const dbg_engine_t *e, const emu_t *emu);
// Restores the machine's own callbacks and wakes a waiting processor thread.
void dbg_detach(dbg_engine_t *e);
void dbg_set_port_observer(dbg_engine_t *e, dbg_port_observer_t observer);

// Hooks: add returns the slot (-1 when all are taken); remove frees it. Called with the machine
// lock held, as the add-ons' own functions are. A boundary due at a tick costs the run nothing
// before it: the inline executors run to it in one stretch, and the processor thread compares the
// tick count at boundaries, so the quiet path stays one load and one comparison.
int dbg_hook_add(dbg_engine_t *e, const dbg_hook_t &hook);
void dbg_hook_remove(dbg_engine_t *e, int slot);
void dbg_hook_every(dbg_engine_t *e, int slot, bool on);
void dbg_hook_due(dbg_engine_t *e, int slot, uint64_t tick); // UINT64_MAX: never
// The same add and remove for a front end (its feed of stops), taking the lock themselves. A
// slot removed by a detach (its detached call says so) must not be removed again.
int dbg_hook_attach(dbg_engine_t *e, const dbg_hook_t &hook);
void dbg_hook_detach(dbg_engine_t *e, int slot);
// The user changed the machine outside the engine (a front end loaded images into memory or set
// PC itself): the hooks are told, as for the engine's own changes. timeline as for
// dbg_hook_t::changed. Takes the lock itself.
void dbg_changed(dbg_engine_t *e, const char *timeline = nullptr);

// Emulated T-states since the machine was initialised.
uint64_t dbg_ticks(dbg_engine_t *e);

// Run control. Inline mode: runs the machine until the stop and returns it. Threaded mode: hands
// the request to the processor thread and returns a stop with cause DBG_CAUSE_NONE (the stop
// arrives through the stop callback). A run always executes at least one instruction before it
// looks at breakpoints, so continuing from a breakpoint leaves it.
dbg_stop_t dbg_continue(dbg_engine_t *e);
dbg_stop_t dbg_step(dbg_engine_t *e, uint32_t count);
// Step over: a DJNZ or repeating block instruction runs to its end (the next instruction's
// address with SP not below the current SP). A CALL or RST runs until the routine has returned:
// SP is back at (or above) its value before the call, and PC is the next instruction or, for a
// routine that returns past data behind the call (it pops its return address, skips the data and
// jumps back), the place a return or JP (HL), JP (IX), JP (IY) reached within 256 bytes after
// it (unless that place follows a CALL: the routine's own calls return there). Anything else is
// one step.
dbg_stop_t dbg_next(dbg_engine_t *e);
// Step out: runs until the current routine has returned to its caller, the frame 1 of the stack
// walk (dbg_source_frames, as `where` shows it: a C function's caller by its code, another
// routine's by the return address its stack or a register holds). The run stops where PC reaches
// that return address with SP above the slot it was read from, however the routine returns (RET,
// after popping and pushing its return address again, or SDCC's POP HL / INC SP / JP (HL)); a
// deeper call of the same routine returning there has SP below and does not stop. With no caller
// found, it runs until a return instruction leaves SP above its value at the start. The same by
// line and by instruction: the caller's line is where the return address is.
dbg_stop_t dbg_finish(dbg_engine_t *e);
dbg_stop_t dbg_until(dbg_engine_t *e, uint16_t address);
// Source stepping: where the PC has line information, by source line (step enters calls into code
// that has lines and runs over code without, e.g. the monitor; next runs over calls). Where
// the PC has no line information they act as stepi and nexti.
// A line step stops at the start of another line, at the start of its own line reached again
// (a loop), or on return to the caller (in the caller's line, after the call).
dbg_stop_t dbg_step_line(dbg_engine_t *e);
dbg_stop_t dbg_next_line(dbg_engine_t *e);
// The one step verb of every front end (the console's step, next, finish, stepi, nexti; DAP's
// stepIn, next, stepOut with their granularity; the window's buttons): into, over or out of calls,
// by source line (DBG_GRAN_LINE and DBG_GRAN_AUTO: dbg_step_line, dbg_next_line, dbg_finish,
// which go by instruction where the PC has no line) or by instruction (dbg_step, dbg_next,
// dbg_finish).
enum dbg_step_kind_t : uint8_t { DBG_STEP_INTO, DBG_STEP_OVER, DBG_STEP_OUT };
enum dbg_granularity_t : uint8_t { DBG_GRAN_AUTO, DBG_GRAN_LINE, DBG_GRAN_INSTRUCTION };
dbg_stop_t dbg_step_by(dbg_engine_t *e, dbg_step_kind_t kind, dbg_granularity_t granularity);
// Inline: runs ticks T-states (or to an earlier stop), ending at the first instruction boundary
// at or after them. Threaded: not available (cause NONE).
dbg_stop_t dbg_run_ticks(dbg_engine_t *e, uint64_t ticks);
// Threaded: asks the processor thread to stop at the next boundary. Inline: nothing to do.
void dbg_pause(dbg_engine_t *e);
// Safe in a signal handler: the run pauses at the next boundary, and so does every later run
// (one instruction each) until the engine is attached again.
void dbg_interrupt(dbg_engine_t *e);
// Inline runs stop with DBG_CAUSE_TICKS at the first instruction boundary at or after this
// absolute tick count (UINT64_MAX: never), so a stopped run never leaves an instruction half done.
void dbg_set_tick_limit(dbg_engine_t *e, uint64_t tick);
// The largest tick count a state or a recording may hold: 2^63 T-states, 29,000 years of board
// time. Runs start at most there, so a tick plus the engine's own spans (a snapshot interval, an
// instruction, a typed key) never wraps; a span given by the user is added with dbg_ticks_after.
constexpr uint64_t DBG_TICKS_MAX = uint64_t{1} << 63;
// tick + span, or UINT64_MAX (no limit) where the sum would pass it.
constexpr uint64_t dbg_ticks_after(uint64_t tick, uint64_t span) {
    return span > UINT64_MAX - tick ? UINT64_MAX : tick + span;
}
// True while the machine runs (threaded: not stopped; inline: always false between calls).
bool dbg_is_running(dbg_engine_t *e);
dbg_stop_t dbg_last_stop(dbg_engine_t *e);

// Breakpoints and watchpoints; the add functions return the new id.
int dbg_break_add(dbg_engine_t *e, uint16_t address, uint32_t skip);
int dbg_watch_add(dbg_engine_t *e, dbg_watch_kind_t kind, uint16_t address, uint32_t length);
// A breakpoint or watchpoint with a condition in the expression language (empty: none); -1 with a
// one-line reason when the condition does not parse.
// The condition is evaluated at each hit (a watchpoint's: with `value`, the byte read or written,
// and PC at the accessing instruction); a false one neither stops nor counts as a hit or toward
// the skip count; one that cannot be evaluated stops, the reason in the stop's text.
int dbg_break_add_if(dbg_engine_t *e, uint16_t address, uint32_t skip, const std::string &cond,
                     std::string *error);
int dbg_watch_add_if(dbg_engine_t *e, dbg_watch_kind_t kind, uint16_t address, uint32_t length,
                     const std::string &cond, std::string *error);
// Watches a C object: exactly its bytes (the type's size in the source model), named as written.
// A write stop comes after the instruction that wrote the object's last byte in its statement's
// run of writes (or, when a statement writes only some of them, where the next line starts), and
// its text gives the whole object's old and new values ("g_counter: -14 -> 46"). Read and access
// watches stop as a range does. The id, or -1 with a one-line reason.
int dbg_watch_add_object(dbg_engine_t *e, dbg_watch_kind_t kind, const std::string &name,
                         uint16_t address, int type, const std::string &cond, std::string *error);
// Loads what is found beside an image (IMAGE.noi/.map/.sym, IMAGE.cdb, IMAGE.lines) and, unless
// already loaded, the monitor's symbols (tessik.sym beside the ROM file or in the build's rom/
// folder; its line table only on request), with source_dirs to find sources. *report gets one
// line per file loaded or a reason. False only when a file found is malformed.
// An empty image loads the monitor's symbols only. The monitor's symbols load first, so that a
// program's own names win at a shared address. C variables in memory and a line table's data lines
// are marked as data for the disassembler.
bool dbg_debug_info_load(dbg_engine_t *e, const std::string &image,
                         const std::vector<std::string> &source_dirs, std::string *report);
// Adds a file of debug information by its kind: an SDCC .cdb or a qasm line table (.lines) to the
// source model, anything else as symbols (dbg_symbols_load). False with a one-line reason.
bool dbg_debug_file_load(dbg_engine_t *e, const std::string &path,
                         const std::vector<std::string> &source_dirs, std::string *report);
// A place where a run stops, as every front end names it (break, until, --break, DAP source and
// function breakpoints, the window's margin): "FILE:LINE" (a line without code moves to the next
// line with code; note says so), a C function (after its set-up code: dbg_source_function_body,
// where a step into it stops too), a label or address or register as the command language reads
// a word (dbg_parse_address), or an expression whose value is the address. The line that holds
// the address in file and line (-1 and 0 when none). False with a one-line reason.
struct dbg_place_t {
    uint16_t address = 0;
    int file = -1;
    int line = 0;
    std::string note;       // "; line 12 has no code" when the line moved
    bool by_source = false; // named by FILE:LINE or a C function (not by an address)
};
bool dbg_place_resolve(dbg_engine_t *e, const std::string &text, dbg_place_t *place,
                       std::string *error);
// A breakpoint at a place named as dbg_place_resolve reads it, with a skip count and a condition
// (dbg_break_add_if). One named by FILE:LINE or a C function keeps the text, and a reload of the
// program (dbg_reload) resolves it again. The id, or -1 with a one-line reason.
int dbg_break_add_place(dbg_engine_t *e, const std::string &text, uint32_t skip,
                        const std::string &cond, dbg_place_t *place, std::string *error);
// "FILE:LINE" for a file of the source model by index ("" when there is none).
std::string dbg_place_of_line(const dbg_engine_t *e, int file, int line);

// Deletes a breakpoint or watchpoint by id; false when none has it.
bool dbg_delete(dbg_engine_t *e, int id);
void dbg_delete_all(dbg_engine_t *e);

// Copies taken under the lock, for a front end that shows them while the machine runs.
std::vector<dbg_breakpoint_t> dbg_breakpoint_list(dbg_engine_t *e);
std::vector<dbg_watchpoint_t> dbg_watchpoint_list(dbg_engine_t *e);
z_cpu_t dbg_registers(dbg_engine_t *e);
std::vector<uint8_t> dbg_memory(dbg_engine_t *e); // all 64 KB

// Registers: the one-line JSON object of `regs` (keys pc, sp, af, bc, de, hl, ix, iy, af_, bc_,
// de_, hl_, i, r, im, iff1, iff2, ticks; decimal numbers).
std::string dbg_regs_json(dbg_engine_t *e);
// Sets a register of the register table (cpu/zregs.h: a, ..., af, ..., af_ or af', ix, iy, sp, pc,
// i, r, ixh ... iyl, im 0-2, iff1, iff2, the flags fs fz fh fp fn fc; any case), or a flag as s z
// p n (here only: those are common C names). False with a one-line reason when not.
bool dbg_set_register(dbg_engine_t *e, const std::string &name, uint32_t value, std::string *error);

// Memory without bus callbacks (no watchpoint fires); poke writes ROM too, as a loader does.
uint8_t dbg_peek(dbg_engine_t *e, uint16_t address);
void dbg_poke(dbg_engine_t *e, uint16_t address, uint8_t value);

// Machine reset (processor, sound generator, keyboard; memory kept).
void dbg_reset(dbg_engine_t *e);

// Keys. The virtual-key code and Shift for a character as a US keyboard types it ('\n' Enter,
// '\t' Tab, '\b' Backspace); false when no key types it.
bool dbg_key_for_char(char c, uint8_t *vk, bool *shift);
// True when every character of text has a key; else false with "No key types the character C3"
// (the byte in hexadecimal).
bool dbg_typable(const std::string &text, std::string *error);
// Press and release timings the monitor reads reliably, in T-states.
enum : uint64_t { DBG_KEY_HOLD_TICKS = 300000, DBG_KEY_GAP_TICKS = 300000 };
// Queues TEXT as key presses and releases from the current tick on. With wait_ready the first
// press waits until the keyboard is ready: the PIO's port B is set up for input and the program
// has read the key port 24 times since (the monitor's start-up reads the matrix once, 8 reads;
// each poll of its key wait reads it twice, 16), so typing starts in the key wait. False with a
// one-line reason when a character has no key (nothing is queued then).
bool dbg_type(dbg_engine_t *e, const std::string &text, bool wait_ready, std::string *error,
              uint64_t hold_ticks = DBG_KEY_HOLD_TICKS, uint64_t gap_ticks = DBG_KEY_GAP_TICKS);
// Tick at which the last queued key event happens (the current tick when none is queued).
uint64_t dbg_typing_end(dbg_engine_t *e);
// A key press or release now (threaded: under the lock).
void dbg_key(dbg_engine_t *e, uint8_t vk, bool down);
// The virtual-key code of a key named as the board's keyboard matrix names it, in any case: a
// letter, a digit, a punctuation key (` - = [ ] \ ; ' , . /), ENTER, SPACE, SHIFT, CTRL (or
// CONTROL), BACKSPACE, TAB or CAPSLOCK. False when no key has the name.
bool dbg_key_by_name(const std::string &name, uint8_t *vk);
// A key press or release after the keys already queued (typed text, held keys): now when none
// is queued, else at the tick of the last queued event.
void dbg_key_after_queue(dbg_engine_t *e, uint8_t vk, bool down);
// Queues a key held for `ticks` T-states after the keys already queued, or ticks of nothing
// (vk 0), which delays the keys queued after it.
void dbg_key_hold(dbg_engine_t *e, uint8_t vk, uint64_t ticks);

// Screen text: each 8 x 8 cell matched against the monitor's font, found in the loaded ROM.
enum : int { DBG_SCREEN_ROWS = 24, DBG_SCREEN_COLS = 32 };
// The font's address in memory (searched for by its first glyphs), or -1 when not found.
int dbg_font_address(const uint8_t *memory);
// The code 0x20-0x7F of the glyph in a cell, or 0 when none matches (or no font was found).
char dbg_screen_char(const uint8_t *memory, int row, int col);
// 24 rows of 32 characters; unknown cells and the monitor's block glyph (7F) as `unknown`.
std::vector<std::string> dbg_screen_text(const uint8_t *memory, char unknown = '?');

// The screen as 24 lines of 32 cells, each cell its character as dbg_screen_text reads it and its
// colour byte in hexadecimal, after the row number: "18: H/47 e/47 l/47 ..." (a space between
// cells, so a blank cell on ink 7, paper 4 is "  /47").
std::vector<std::string> dbg_screen_cells(const uint8_t *memory);

// Files are written through the program's one writer (files/output.h): a failed write leaves an
// old file as it was, and a FIFO without a reader is refused at once.
// The 320 x 240 frame as PNG bytes, and as a PNG file (false with a one-line reason).
std::string dbg_screenshot_png(dbg_engine_t *e);
bool dbg_screenshot(dbg_engine_t *e, const std::string &path, std::string *error);
// Any RGB picture (3 bytes a pixel, rows top-down; width * height * 3 bytes) as PNG bytes, in
// the screenshots' form: 8-bit RGB in stored (uncompressed) deflate blocks.
std::string dbg_png_encode(const std::vector<uint8_t> &rgb, int width, int height);
// Memory as the bytes of a file at path: Intel HEX, or raw when path ends in ".bin". Empty with a
// one-line reason when the range is empty or goes past FFFF.
std::string dbg_memory_file(dbg_engine_t *e, const std::string &path, uint16_t address,
                            uint32_t length, std::string *error);
// The same written to the file. False with a one-line reason.
bool dbg_save_memory(dbg_engine_t *e, const std::string &path, uint16_t address, uint32_t length,
                     std::string *error);
// Loads an Intel HEX image as File > Open does (PC unchanged unless set_pc: then PC = its start
// address, which *start gets too; may be null). False with the loader's message.
bool dbg_load_image(dbg_engine_t *e, const std::string &path, std::string *error,
                    uint16_t *start = nullptr, bool set_pc = false);

// Instruction trace: a line per instruction (tick, PC, bytes, disassembly, registers). Opening
// closes a trace already open; false with a one-line reason when that one lost lines (then no
// new trace is opened) or the file cannot be created.
bool dbg_trace_open(dbg_engine_t *e, const std::string &path, std::string *error);
// Closes the trace; false with a one-line reason when a line could not be written (a full disk).
bool dbg_trace_close(dbg_engine_t *e, std::string *error = nullptr);

// Sound recording (inline mode): the stream the window plays, rendered in emulated time, as a
// 16-bit mono 44100 Hz WAV file. Its header's sizes are filled in at close; on a pipe or device
// they say "until the end of the stream". A run pauses once a write to it fails.
bool dbg_wav_open(dbg_engine_t *e, const std::string &path, std::string *error);
// Writes the header's sizes and closes; false with a reason when a write failed.
bool dbg_wav_close(dbg_engine_t *e, std::string *error);
// Closes the trace and the recording without replacing any file (a run that never started).
void dbg_outputs_discard(dbg_engine_t *e);

// How stop reports and breakpoints name an address: the C function or else the nearest label
// ("main+3"), and the source line: "sum_points, prog.c:26", "draw_band, colours.asm:141",
// "mon_putc+4"; "" when nothing is known.
std::string dbg_place_name(dbg_engine_t *e, uint16_t address);

// Upper-case hexadecimal as the monitor prints it: "8123", "0C".
std::string dbg_hex4(unsigned value);
std::string dbg_hex2(unsigned value);

// Whether a HALT, an invalid opcode, stops a run (both on at attach). They take the lock.
void dbg_set_stop_on_halt(dbg_engine_t *e, bool on);
void dbg_set_stop_on_invalid(dbg_engine_t *e, bool on);

// Warp: the processor thread runs unpaced while set.
void dbg_set_warp(dbg_engine_t *e, bool on);
bool dbg_warp(const dbg_engine_t *e);
// Inline runs paced at the board's clock (quillane-run --realtime, a DAP launch's realtime).
void dbg_set_realtime(dbg_engine_t *e, bool on);
// The absolute tick at which inline runs stop (dbg_set_tick_limit; UINT64_MAX: none).
uint64_t dbg_tick_limit(dbg_engine_t *e);
// The ROM file the machine was started with: the monitor's symbols are looked for beside it.
void dbg_set_rom_path(dbg_engine_t *e, const std::string &path);
// The frame of the call stack that print, locals, the panes and `frame` look at: index 0 is the
// innermost. A selection holds until the machine runs on; then the innermost is selected again.
void dbg_select_frame(dbg_engine_t *e, int index);
int dbg_selected_frame(dbg_engine_t *e);

// The boundary hook the engine installs in the machine: the processor thread calls it after
// z_tick when cpu.cycles < 2 and attention is set, with the machine lock held. May release and
// retake the lock (while stopped or warping).
void dbg_boundary(dbg_engine_t *e);

// Views of what the engine has loaded, for front ends that look things up themselves
// (quillane-test finds its tests there): the source model (null until debug information is
// loaded; its texts are read on demand) and the symbol table.
dbg_source_t *dbg_source_model(const dbg_engine_t *e);
const dbg_symbols_t *dbg_symbol_table(const dbg_engine_t *e);
// The source model, or an empty one (registers, memory and symbols work without it; a FILE:LINE
// gets the model's own "no file" reason).
const dbg_source_t *dbg_source_or_empty(const dbg_engine_t *e);
// Loads a file of symbols (dbg_symbols_load) under the lock, and lets the source model find the
// ends of C functions by them. The count added, or -1 with a one-line reason; *warnings (may be
// null) gets the warnings that the file brought (names that hide a number or a register).
int dbg_symbols_file_load(dbg_engine_t *e, const std::string &path,
                          std::vector<std::string> *warnings, std::string *error);

// What the engine is attached to and how it runs.
dbg_mode_t dbg_mode(const dbg_engine_t *e);
uint32_t dbg_clock_hz(const dbg_engine_t *e); // the board's clock, T-states per second
// dbg_interrupt was called (a signal): scripts end, runs pause at every boundary.
bool dbg_interrupted(const dbg_engine_t *e);
// A breakpoint (any) is set at the address.
bool dbg_has_breakpoint(dbg_engine_t *e, uint16_t address);
// Typed keys are still queued; the first of them waits for the keyboard to be set up (see
// dbg_type's wait_ready).
bool dbg_typing_pending(dbg_engine_t *e);
bool dbg_typing_waits(dbg_engine_t *e);
