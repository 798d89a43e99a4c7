// quillane-run: the board without a window, for scripts and CI. Loads the ROM and images, runs
// the machine unpaced (or paced with --realtime) until a stop, and reports what was asked.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "cpu/zcpu.h"
#include "debug/collect/coverage.h"
#include "debug/collect/profile.h"
#include "debug/core/engine.h"
#include "debug/front/commands.h"
#include "debug/front/dap.h"
#include "debug/front/session.h"
#include "debug/front/source_commands.h"
#include "debug/info/asm_lines.h"
#include "debug/travel/history.h"
#include "debug/travel/record.h"
#include "debug/travel/state.h"
#include "files/data.h"
#include "files/input.h"
#include "files/output.h"
#include "runner/machine_options.h"

namespace {

enum : int {
    EXIT_OK = 0,
    EXIT_BAD_ARGUMENTS = 2,
    EXIT_INVALID_OPCODE = 3,
    EXIT_NOT_REACHED = 4,
    EXIT_INTERRUPTED = 130, // as a shell reports a program ended by Ctrl+C
};

// Ctrl+C and SIGTERM pause the run at the next instruction; the outputs are still written.
volatile sig_atomic_t interrupted = 0;
// The flags of standard output to put back at a signal while the DAP server has made it
// non-blocking and it is a terminal, which the shell shares: a second signal ends the program
// before the server could put them back. -1 when there is nothing to put back.
volatile sig_atomic_t terminal_out_flags = -1;
void on_signal(int) {
    interrupted = 1;
    if (terminal_out_flags >= 0) fcntl(1, F_SETFL, static_cast<int>(terminal_out_flags));
    dbg_interrupt(dbg_engine());
}

// Without SA_RESTART a script or DAP client read from a terminal or pipe gives up at the signal
// instead of waiting for the next line; a second signal ends the program at once.
void catch_signals() {
    struct sigaction action = {};
    action.sa_handler = on_signal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

const char usage_text[] =
    "Usage: quillane-run [options] [IMAGE.hex ...]\n"
    "Runs the Quillane board without a window: loads the ROM, then each IMAGE in order (as\n"
    "File > Open does), and runs as fast as the host allows until a stop.\n"
    "\n"
    "Machine:\n"
    "  --rom FILE          the ROM image (default: tessik.hex in the current directory, else\n"
    "                      the installed one in share/quillane)\n"
    "  --no-rom            no ROM; the processor starts at the first image's start address\n"
    "  --realtime          pace the processor at the board's 10 MHz clock\n"
    "  --state FILE        start from a save state (no ROM is loaded: the state holds memory);\n"
    "                      --ticks then counts from the state's tick\n"
    "  --replay FILE       play a session recorded by quillane --record to its end (its start\n"
    "                      state holds the ROM and images); a script and the outputs then go on\n"
    "                      from there, and --ticks counts from its start (a longer session stops\n"
    "                      there). A damaged file is refused and nothing runs\n"
    "Stops (addresses are hexadecimal or symbols):\n"
    "  --ticks N           stop after N emulated T-states (decimal; 10000000 is a second)\n"
    "  --until-halt        stop when the processor executes HALT\n"
    "  --until-pc ADDR     stop when PC reaches ADDR\n"
    "  --break PLACE       stop at a breakpoint at PLACE (repeatable): ADDR, a label, and with\n"
    "                      debug information FILE:LINE or a function (after its set-up code,\n"
    "                      as break does); \"PLACE if COND\" stops only where COND holds\n"
    "  An invalid opcode always stops the run with its report, e.g. \"Invalid ED opcode at "
    "8123\".\n"
    "  A HALT always ends the run, since nothing can wake the processor.\n"
    "Input:\n"
    "  --type TEXT         type TEXT once the monitor is ready for keys (\\n Enter, \\t Tab,\n"
    "                      \\b Backspace)\n"
    "  --script FILE       run debug commands from FILE (- for standard input) before the run;\n"
    "                      `quit` ends the run there, and so does the first failing line\n"
    "                      (`help` in a script lists the commands)\n"
    "  --symbols FILE      load symbols or debug information (pasmo .sym, SDCC .noi, .map or\n"
    "                      .cdb, qasm .lines; repeatable). What lies beside each IMAGE\n"
    "                      (IMAGE.noi/.map/.sym/.cdb/.lines) and the monitor's symbols\n"
    "                      (tessik.sym beside the ROM or in its rom/ folder) load anyway\n"
    "  --source-dir DIR    where C and assembly sources are looked for (repeatable); the\n"
    "                      image's and the line table's folders are searched too\n"
    "  In a script, step/next/finish go by source line where PC has lines (stepi, nexti by\n"
    "  instruction); break FILE:LINE, break FUNCTION, where, list, locals, print, frame.\n"
    "  Example (C built by sdk/qcc, or assembly by sdk/qasm, the same way):\n"
    "    quillane-run prog.ihx --type 'g 8000\\n' --ticks 50000000 --script debug.txt\n"
    "  with debug.txt: break prog.c:15 / continue / where / locals / print p[1] / next /\n"
    "  step / finish, one command a line; a stop reads\n"
    "    Breakpoint 1 at 807E (sum_points, prog.c:16): XOR A\n"
    "Output at the end (each file replaced only once written in full; checked before the run):\n"
    "  --regs              the registers as one JSON object on one line\n"
    "  --screenshot FILE   the 320 x 240 frame as PNG\n"
    "  --text              the screen as 24 lines of 32 characters (? where no glyph matches)\n"
    "  --cells             the screen as 24 lines of 32 cells: character/colour byte\n"
    "  --save-state FILE   the whole machine as a save state\n"
    "  --dump ADDR LEN FILE  memory as Intel HEX (raw binary when FILE ends in .bin)\n"
    "  --wav FILE          record the sound stream (16-bit mono, 44100 Hz)\n"
    "  --trace FILE        a line per instruction: tick, PC, bytes, disassembly, registers\n"
    "  --profile FILE      T-states and instructions by address, line, function and call, in\n"
    "                      callgrind's format (callgrind_annotate FILE, kcachegrind FILE)\n"
    "  --coverage FILE     the lines and functions run, as an lcov tracefile (genhtml FILE)\n"
    "Editors:\n"
    "  --dap               serve the Debug Adapter Protocol on standard input and output (an\n"
    "                      editor's launch request names the program; --rom is its default ROM)\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 the run stopped as asked, 3 invalid opcode, 4 an --until-* condition or\n"
    "breakpoint was not reached within --ticks (or before a HALT), 2 bad arguments, an image\n"
    "that fails to load, a script line in error or an output that cannot be written; 130 after\n"
    "Ctrl+C or SIGTERM, which stop the run at the next instruction (outputs still written).\n";

struct options_t {
    runner_machine_t machine; // --rom, --no-rom, --symbols, --source-dir, the images
    bool dap = false;
    bool realtime = false;
    bool has_ticks = false;
    uint64_t ticks = 0;
    bool until_halt = false;
    std::vector<std::string> until_pc;
    std::vector<std::string> breaks;
    std::vector<std::string> type;
    std::optional<std::string> script;
    bool regs = false;
    std::optional<std::string> screenshot;
    bool text = false;
    bool cells = false;
    std::string state;
    std::string save_state;
    std::string replay;
    struct dump_t {
        std::string address, length, path;
    };
    std::vector<dump_t> dumps;
    std::optional<std::string> wav;
    std::optional<std::string> trace;
    std::string profile;
    std::string coverage;
};

// The files written at the end, opened before the run (files/output.h), so that a path that
// cannot be written fails the run before it starts and a failed write leaves the old file.
struct end_outputs_t {
    emu_output_t screenshot;
    emu_output_t save_state;
    emu_output_t profile;
    emu_output_t coverage;
    struct dump_t {
        uint16_t address;
        uint32_t length;
        std::string path;
        emu_output_t file;
    };
    std::vector<dump_t> dumps;
};

int bad(const std::string &message) {
    std::fprintf(stderr, "quillane-run: %s\n", message.c_str());
    return EXIT_BAD_ARGUMENTS;
}

// Returns -1 when the options are good, else the exit status (after --help or an error).
int parse(int argc, char **argv, options_t *o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char *what) -> const char * {
            if (i + 1 >= argc) return nullptr;
            (void)what;
            return argv[++i];
        };
        const char *v = nullptr;
        std::string error;
        const int machine = runner_machine_option(argc, argv, &i, &o->machine, &error);
        if (machine < 0) return bad(error);
        if (machine > 0) continue;
        if (runner_info_option(a, "quillane-run", usage_text)) return EXIT_OK;
        if (a == "--dap") {
            o->dap = true;
        } else if (a == "--realtime") {
            o->realtime = true;
        } else if (a == "--until-halt") {
            o->until_halt = true;
        } else if (a == "--regs") {
            o->regs = true;
        } else if (a == "--text") {
            o->text = true;
        } else if (a == "--cells") {
            o->cells = true;
        } else if (a == "--dump") {
            if (i + 3 >= argc) return bad("--dump needs ADDR LEN FILE");
            if (!*argv[i + 3]) return bad("--dump needs a file name, not an empty one");
            o->dumps.push_back({argv[i + 1], argv[i + 2], argv[i + 3]});
            i += 3;
        } else if (a == "--ticks" || a == "--until-pc" || a == "--break" || a == "--type" ||
                   a == "--script" || a == "--screenshot" || a == "--wav" || a == "--trace" ||
                   a == "--state" || a == "--save-state" || a == "--profile" || a == "--coverage" ||
                   a == "--replay") {
            if (!(v = value(a.c_str()))) return bad(a + " needs a value");
            if (a == "--until-pc") o->until_pc.push_back(v);
            if (a == "--break") o->breaks.push_back(v);
            if (a == "--type") o->type.push_back(dbg_unescape(v));
            // An empty path names no file: an error, not an input or output silently left out.
            if (!*v && a != "--type" && a != "--ticks" && a != "--until-pc" && a != "--break")
                return bad(a + " needs a file name, not an empty one");
            if (a == "--script") o->script = v;
            if (a == "--screenshot") o->screenshot = v;
            if (a == "--wav") o->wav = v;
            if (a == "--trace") o->trace = v;
            if (a == "--profile") o->profile = v;
            if (a == "--coverage") o->coverage = v;
            if (a == "--state") o->state = v;
            if (a == "--save-state") o->save_state = v;
            if (a == "--replay") o->replay = v;
            if (a == "--ticks") {
                if (!dbg_parse_decimal(v, UINT64_MAX, &o->ticks))
                    return bad(std::string("--ticks needs a decimal number: ") + v);
                o->has_ticks = true;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            return bad("unknown option " + a + " (--help lists the options)");
        } else {
            o->machine.images.push_back(a);
        }
    }
    const runner_machine_t &m = o->machine;
    if (m.no_rom && m.images.empty() && o->state.empty())
        return bad("--no-rom needs an image to start");
    if (m.rom_given && !o->state.empty()) return bad("--state holds the memory: no --rom with it");
    if (!o->replay.empty() &&
        (m.rom_given || m.no_rom || !o->state.empty() || !m.images.empty() || !o->type.empty()))
        return bad("--replay starts from the recording's state: no --rom, --no-rom, --state, "
                   "images or --type with it");
    runner_machine_finish(&o->machine);
    return -1;
}

// Parses the dump ranges before the run: ADDR a hexadecimal number or symbol, LEN 1 to 10000.
bool parse_dumps(dbg_engine_t *e, const options_t &o, end_outputs_t *outs) {
    for (const auto &d : o.dumps) {
        uint16_t address = 0, length16 = 0;
        uint32_t length = 0;
        if (!dbg_parse_address(dbg_symbol_table(e), d.address, &address)) {
            std::fprintf(stderr, "quillane-run: --dump: bad address %s\n", d.address.c_str());
            return false;
        }
        if (d.length == "10000" || d.length == "0x10000")
            length = 0x10000;
        else if (dbg_parse_address(nullptr, d.length, &length16))
            length = length16;
        if (length == 0 || address + length > 0x10000) {
            std::fprintf(stderr, "quillane-run: --dump: bad length %s\n", d.length.c_str());
            return false;
        }
        outs->dumps.push_back({address, length, d.path, {}});
    }
    return true;
}

void discard_end_outputs(end_outputs_t *outs) {
    for (emu_output_t *out :
         {&outs->screenshot, &outs->save_state, &outs->profile, &outs->coverage})
        emu_output_discard(out);
    for (auto &d : outs->dumps)
        emu_output_discard(&d.file);
}

// Opens the files written at the end; false (nothing left behind) when one cannot be.
bool open_end_outputs(const options_t &o, end_outputs_t *outs) {
    emu_file_error_t reason{};
    const char *failed = nullptr;
    const std::pair<const std::string *, emu_output_t *> named[] = {
        {o.screenshot ? &*o.screenshot : nullptr, &outs->screenshot},
        {&o.save_state, &outs->save_state},
        {&o.profile, &outs->profile},
        {&o.coverage, &outs->coverage}};
    for (const auto &[path, out] : named)
        if (!failed && path && !path->empty() && !emu_output_open(out, path->c_str(), &reason))
            failed = path->c_str();
    for (auto &d : outs->dumps)
        if (!failed && !emu_output_open(&d.file, d.path.c_str(), &reason)) failed = d.path.c_str();
    if (!failed) return true;
    std::fprintf(stderr, "quillane-run: %s\n", emu_file_error_message(failed, reason).c_str());
    discard_end_outputs(outs);
    return false;
}

// Writes bytes to an output opened before the run and closes it; false with the reason printed.
bool finish_output(emu_output_t *out, const std::string &path, const std::string &bytes) {
    return runner_finish_output("quillane-run", out, path, bytes);
}

// Writes what was asked at the end; false when an output failed (its reason printed).
bool outputs(dbg_engine_t *e, const options_t &o, end_outputs_t *outs) {
    bool good = true;
    std::string error;
    if (o.regs) std::printf("%s\n", dbg_regs_json(e).c_str());
    if (o.text)
        for (const std::string &line : dbg_screen_text(dbg_memory(e).data()))
            std::printf("%s\n", line.c_str());
    if (o.cells)
        for (const std::string &line : dbg_screen_cells(dbg_memory(e).data()))
            std::printf("%s\n", line.c_str());
    if (!o.save_state.empty()) {
        // The inline engine runs on this thread: there is no other to lock out.
        dbg_machine_state_t state;
        dbg_state_capture(e, &state);
        const std::vector<uint8_t> bytes = dbg_state_encode(state);
        good = finish_output(&outs->save_state, o.save_state,
                             std::string(bytes.begin(), bytes.end())) &&
               good;
    }
    if (o.screenshot)
        good = finish_output(&outs->screenshot, *o.screenshot, dbg_screenshot_png(e)) && good;
    for (auto &d : outs->dumps)
        good = finish_output(&d.file, d.path,
                             dbg_memory_file(e, d.path, d.address, d.length, &error)) &&
               good;
    if (!dbg_wav_close(e, &error)) {
        std::fprintf(stderr, "quillane-run: %s\n", error.c_str());
        good = false;
    }
    // Profile and coverage: their text, or the reason there is none (the file is left alone).
    const struct {
        const std::string &path;
        emu_output_t *out;
        bool (*text)(dbg_engine_t *, std::string *, std::string *);
    } collected[] = {{o.profile, &outs->profile, dbg_profile_text},
                     {o.coverage, &outs->coverage, dbg_coverage_text}};
    for (const auto &c : collected) {
        if (c.path.empty()) continue;
        std::string text;
        if (c.text(e, &text, &error)) {
            good = finish_output(c.out, c.path, text) && good;
        } else {
            emu_output_discard(c.out);
            std::fprintf(stderr, "quillane-run: %s\n", error.c_str());
            good = false;
        }
    }
    if (!dbg_trace_close(e, &error)) {
        std::fprintf(stderr, "quillane-run: %s\n", error.c_str());
        good = false;
    }
    // What the script or the options printed.
    return runner_flush_stdout("quillane-run") && good;
}

// Writes what it can of *pending to standard output (non-blocking) without waiting; false on a
// write error (a client that went away), with errno set.
bool write_some(std::string *pending) {
    size_t done = 0;
    while (done < pending->size()) {
        const ssize_t put = write(1, pending->data() + done, pending->size() - done);
        if (put > 0) {
            done += static_cast<size_t>(put);
        } else if (put < 0 && errno == EINTR) {
            continue;
        } else if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            return false;
        }
    }
    pending->erase(0, done);
    return true;
}

// quillane-run --dap: the protocol on standard input and output. While the program runs, the
// machine runs in slices of 10 ms of board time with standard input polled between them, so a
// pause or disconnect is read at once. Replies go out without blocking, so a client that does not
// read stops neither the machine nor a signal; one that leaves more than DBG_DAP_MAX_UNREAD bytes
// unread is given up.
int serve_dap(dbg_engine_t *e, const options_t &o) {
    dbg_dap_t *session = dbg_dap_new(e, o.machine.rom);
    const int out_flags = fcntl(1, F_GETFL);
    if (out_flags >= 0) fcntl(1, F_SETFL, out_flags | O_NONBLOCK);
    if (out_flags >= 0 && isatty(1)) terminal_out_flags = out_flags;
    std::string pending;
    int status = EXIT_OK;
    bool open = true, reader = true;
    while (open && !dbg_dap_finished(session) && !interrupted) {
        pending += dbg_dap_take_output(session);
        if (!write_some(&pending)) {
            std::fprintf(stderr, "quillane-run: standard output: %s\n", std::strerror(errno));
            status = EXIT_BAD_ARGUMENTS;
            reader = false;
            break;
        }
        if (pending.size() > DBG_DAP_MAX_UNREAD) {
            std::fprintf(stderr,
                         "quillane-run: the client left more than %zu bytes of replies "
                         "unread\n",
                         static_cast<size_t>(DBG_DAP_MAX_UNREAD));
            status = EXIT_BAD_ARGUMENTS;
            reader = false;
            break;
        }
        // Standard output is watched only while replies wait (a closed reader would wake the
        // poll for ever otherwise).
        pollfd fds[2] = {{0, POLLIN, 0}, {pending.empty() ? -1 : 1, POLLOUT, 0}};
        const int ready = poll(fds, 2, dbg_dap_running(session) ? 0 : -1);
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0 && fds[0].revents != 0) {
            char buffer[65536];
            const ssize_t got = read(0, buffer, sizeof buffer);
            // Standard input may share its file with standard output, and so be non-blocking.
            if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
            if (got <= 0) break; // the client went away
            // In small pieces, each one's replies taken before the next: a flood of requests
            // whose replies go unread meets the bound within a few replies of it.
            for (ssize_t at = 0; open && at < got && pending.size() <= DBG_DAP_MAX_UNREAD;
                 at += 1024) {
                const size_t piece = std::min<size_t>(1024, static_cast<size_t>(got - at));
                if (!dbg_dap_feed(session, buffer + at, piece)) {
                    open = false; // a broken stream: its last error goes out, then the end
                    status = EXIT_BAD_ARGUMENTS;
                }
                pending += dbg_dap_take_output(session);
            }
            continue;
        }
        dbg_dap_run_slice(session, 100000);
    }
    // The last replies wait for a client that reads, a second at most; a signal ends the wait.
    pending += dbg_dap_take_output(session);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (reader && !interrupted && write_some(&pending) && !pending.empty() &&
           std::chrono::steady_clock::now() < deadline) {
        pollfd out = {1, POLLOUT, 0};
        poll(&out, 1, 50);
    }
    terminal_out_flags = -1;
    if (out_flags >= 0) fcntl(1, F_SETFL, out_flags);
    dbg_dap_free(session);
    return interrupted ? EXIT_INTERRUPTED : status;
}

} // namespace

int main(int argc, char **argv) {
    // quillane-run --text | head: a write error, not a death by signal.
    runner_ignore_write_signals();

    options_t o;
    const int parsed = parse(argc, argv, &o);
    if (parsed >= 0) return parsed;

    dbg_engine_t *e = runner_power_on(true);
    if (o.dap) {
        catch_signals();
        return serve_dap(e, o);
    }
    std::string error;
    // The tick at which the run stops (--ticks), once its start is known.
    uint64_t tick_limit = UINT64_MAX;
    if (!o.replay.empty()) {
        // Checked whole before anything runs.
        std::vector<dbg_session_event_t> session;
        if (!dbg_session_read(o.replay, &session, &error)) return bad(error);
        // --ticks counts from the session's start and cuts a longer session short.
        if (o.has_ticks) tick_limit = dbg_ticks_after(session.front().tick, o.ticks);
        // As in the window without the debugger, a HALT or an invalid opcode holds the
        // processor in place.
        dbg_set_stop_on_halt(e, false);
        dbg_set_stop_on_invalid(e, false);
        const bool played = dbg_session_replay(e, session, tick_limit, &error);
        dbg_set_stop_on_halt(e, true);
        dbg_set_stop_on_invalid(e, true);
        if (!played) {
            std::fprintf(stderr, "quillane-run: %s\n", error.c_str());
            return EXIT_NOT_REACHED;
        }
    }
    if (!o.state.empty() && !dbg_state_load(e, o.state, &error)) return bad(error);
    // A state or a recording holds the memory: images go on top, and no ROM.
    if (!runner_load_images(e, o.machine, o.state.empty() && o.replay.empty(), nullptr, &error) ||
        !runner_load_debug_info(e, "quillane-run", o.machine, true, &error))
        return bad(error);
    // Breakpoints and --until-pc stop the same way; either one reached ends the run well.
    const bool awaiting = o.until_halt || !o.until_pc.empty() || !o.breaks.empty();
    std::vector<int> until_ids;
    for (const auto *list : {&o.until_pc, &o.breaks})
        for (const std::string &text : *list) {
            // "PLACE if COND" stops only where COND holds, as the command language's break.
            const size_t cut = text.find(" if ");
            const std::string where = text.substr(0, cut);
            const std::string condition = cut == std::string::npos ? "" : text.substr(cut + 4);
            dbg_place_t place;
            const int id = dbg_break_add_place(e, where, 0, condition, &place, &error);
            if (id < 0) return bad(error);
            if (list == &o.until_pc) until_ids.push_back(id);
        }
    if (!o.profile.empty()) dbg_profile_start(e);
    if (!o.coverage.empty()) {
        if (!dbg_source_model(e))
            return bad("--coverage needs source lines: --symbols PROG.cdb or PROG.sym "
                       "with its .lines");
        dbg_coverage_start(e);
    }
    for (const std::string &text : o.type)
        if (!dbg_type(e, text, true, &error)) return bad("--type: " + error);
    // The ROM and images were loaded behind the engine: the history starts from here.
    dbg_changed(e);
    emu_line_reader_t script;
    emu_file_error_t reason{};
    if (o.script && !emu_reader_open(&script, o.script->c_str(), &reason))
        return bad("--script: " + emu_file_error_message(*o.script, reason));

    // Every output is open before the run: a path that cannot be written ends here.
    end_outputs_t outs;
    if (!parse_dumps(e, o, &outs) || !open_end_outputs(o, &outs)) return EXIT_BAD_ARGUMENTS;
    if ((o.trace && !dbg_trace_open(e, *o.trace, &error)) ||
        (o.wav && !dbg_wav_open(e, *o.wav, &error))) {
        discard_end_outputs(&outs);
        dbg_outputs_discard(e);
        return bad(error);
    }
    if (o.has_ticks && o.replay.empty()) tick_limit = dbg_ticks_after(dbg_ticks(e), o.ticks);
    dbg_set_tick_limit(e, tick_limit);
    dbg_set_realtime(e, o.realtime);

    catch_signals();
    bool quit = false;
    int script_errors = 0;
    if (o.script) {
        script_errors = dbg_run_script(e, &script, *o.script == "-" ? "stdin" : *o.script, stdout,
                                       stderr, &quit);
        emu_reader_close(&script);
    }
    dbg_stop_t stop = dbg_last_stop(e);
    // A script that failed ends there: what it left is written, and nothing more runs. A replay
    // ends where the session ended, unless --ticks asks for more (or stopped it sooner).
    const bool run_on = o.replay.empty() || o.has_ticks;
    if (run_on && !quit && !interrupted && script_errors == 0 && stop.cause != DBG_CAUSE_INVALID &&
        stop.cause != DBG_CAUSE_HALT)
        stop = dbg_continue(e);
    int status = script_errors > 0 ? EXIT_BAD_ARGUMENTS : EXIT_OK;
    if (script_errors == 0) switch (stop.cause) {
        case DBG_CAUSE_INVALID: status = EXIT_INVALID_OPCODE; break;
        case DBG_CAUSE_TICKS: status = awaiting ? EXIT_NOT_REACHED : EXIT_OK; break;
        case DBG_CAUSE_HALT: status = o.until_halt || !awaiting ? EXIT_OK : EXIT_NOT_REACHED; break;
        default: break;
        }
    if (interrupted) {
        status = EXIT_INTERRUPTED;
        // Interrupted while a script was read, before anything ran: no stop to name.
        stop.text = stop.cause == DBG_CAUSE_NONE ? "Interrupted" : "Interrupted: " + stop.text;
    }
    if (stop.cause == DBG_CAUSE_BREAKPOINT &&
        std::find(until_ids.begin(), until_ids.end(), stop.breakpoint) != until_ids.end())
        stop.text = "Reached " + stop.text.substr(stop.text.find(" at ") + 4);
    // A tick limit is reported only when it kept a stop from being reached (status 4).
    if (interrupted || (!quit && script_errors == 0 && stop.cause != DBG_CAUSE_NONE &&
                        (stop.cause != DBG_CAUSE_TICKS || status == EXIT_NOT_REACHED)))
        std::fprintf(stderr, "%s\n", stop.text.c_str());
    // An output that could not be written is a bad argument too.
    if (!outputs(e, o, &outs) && status == EXIT_OK) status = EXIT_BAD_ARGUMENTS;
    return status;
}
