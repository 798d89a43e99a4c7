// quillane-run: the board without a window, for scripts and CI. Loads the ROM and images, runs
// the machine unpaced (or paced with --realtime) until a stop, and reports what was asked.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cpu/zcpu.h"
#include "debug/commands.h"
#include "debug/engine.h"
#include "debug/history.h"
#include "debug/record.h"
#include "debug/state.h"
#include "machine/emu.h"
#include "machine/process.h"

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
void on_signal(int) {
    interrupted = 1;
    dbg_interrupt(dbg_engine());
}

const char usage_text[] =
    "Usage: quillane-run [options] [IMAGE.hex ...]\n"
    "Runs the Quillane board without a window: loads the ROM, then each IMAGE in order (as\n"
    "File > Open does), and runs as fast as the host allows until a stop.\n"
    "\n"
    "Machine:\n"
    "  --rom FILE          the ROM image (default: tessik.hex in the current directory)\n"
    "  --no-rom            no ROM; the processor starts at the first image's start address\n"
    "  --realtime          pace the processor at the board's 10 MHz clock\n"
    "  --state FILE        start from a save state (no ROM is loaded: the state holds memory);\n"
    "                      --ticks then counts from the state's tick\n"
    "  --replay FILE       play a session recorded by quillane --record to its end (its start\n"
    "                      state holds the ROM and images); --ticks, a script and the outputs\n"
    "                      then go on from there. A damaged file is refused and nothing runs\n"
    "Stops (addresses are hexadecimal or symbols):\n"
    "  --ticks N           stop after N emulated T-states (decimal; 10000000 is a second)\n"
    "  --until-halt        stop when the processor executes HALT\n"
    "  --until-pc ADDR     stop when PC reaches ADDR\n"
    "  --break ADDR        stop at a breakpoint at ADDR (repeatable)\n"
    "  An invalid opcode always stops the run with its report, e.g. \"Invalid ED opcode at "
    "8123\".\n"
    "  A HALT always ends the run, since nothing can wake the processor.\n"
    "Input:\n"
    "  --type TEXT         type TEXT once the monitor is ready for keys (\\n Enter, \\t Tab,\n"
    "                      \\b Backspace)\n"
    "  --script FILE       run debug commands from FILE (- for standard input) before the run;\n"
    "                      `quit` ends the run there (`help` in a script lists the commands)\n"
    "  --symbols FILE      load symbols (pasmo .sym, SDCC .noi or .map; repeatable)\n"
    "Output at the end:\n"
    "  --regs              the registers as one JSON object on one line\n"
    "  --screenshot FILE   the 320 x 240 frame as PNG\n"
    "  --text              the screen as 24 lines of 32 characters (? where no glyph matches)\n"
    "  --cells             the screen as 24 lines of 32 cells: character/colour byte\n"
    "  --save-state FILE   the whole machine as a save state\n"
    "  --dump ADDR LEN FILE  memory as Intel HEX (raw binary when FILE ends in .bin)\n"
    "  --wav FILE          record the sound stream (16-bit mono, 44100 Hz)\n"
    "  --trace FILE        a line per instruction: tick, PC, bytes, disassembly, registers\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 the run stopped as asked, 3 invalid opcode, 4 an --until-* condition or\n"
    "breakpoint was not reached within --ticks (or before a HALT), 2 bad arguments, an image\n"
    "that fails to load, a script line in error or an output that cannot be written; 130 after\n"
    "Ctrl+C or SIGTERM, which stop the run at the next instruction (outputs still written).\n";

struct options_t {
    std::string rom = EMU_ROM_FILE_NAME;
    bool rom_given = false;
    bool no_rom = false;
    bool realtime = false;
    bool has_ticks = false;
    uint64_t ticks = 0;
    bool until_halt = false;
    std::vector<std::string> until_pc;
    std::vector<std::string> breaks;
    std::vector<std::string> type;
    std::string script;
    std::vector<std::string> symbols;
    bool regs = false;
    std::string screenshot;
    bool text = false;
    bool cells = false;
    std::string state;
    std::string save_state;
    std::string replay;
    struct dump_t {
        std::string address, length, path;
    };
    std::vector<dump_t> dumps;
    std::string wav;
    std::string trace;
    std::vector<std::string> images;
};

int bad(const std::string &message) {
    std::fprintf(stderr, "quillane-run: %s\n", message.c_str());
    return EXIT_BAD_ARGUMENTS;
}

bool parse_decimal(const char *text, uint64_t *value) {
    if (!*text) return false;
    uint64_t v = 0;
    for (const char *p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        const uint64_t next = v * 10 + static_cast<uint64_t>(*p - '0');
        if (next / 10 != v) return false;
        v = next;
    }
    *value = v;
    return true;
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
        if (a == "--help" || a == "-h") {
            std::fputs(usage_text, stdout);
            return EXIT_OK;
        } else if (a == "--version") {
            std::printf("quillane-run %s\n", QUILLANE_VERSION);
            return EXIT_OK;
        } else if (a == "--no-rom") {
            o->no_rom = true;
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
            o->dumps.push_back({argv[i + 1], argv[i + 2], argv[i + 3]});
            i += 3;
        } else if (a == "--rom" || a == "--ticks" || a == "--until-pc" || a == "--break" ||
                   a == "--type" || a == "--script" || a == "--symbols" || a == "--screenshot" ||
                   a == "--wav" || a == "--trace" || a == "--state" || a == "--save-state" ||
                   a == "--replay") {
            if (!(v = value(a.c_str()))) return bad(a + " needs a value");
            if (a == "--rom") {
                o->rom = v;
                o->rom_given = true;
            }
            if (a == "--until-pc") o->until_pc.push_back(v);
            if (a == "--break") o->breaks.push_back(v);
            if (a == "--type") o->type.push_back(dbg_unescape(v));
            if (a == "--script") o->script = v;
            if (a == "--symbols") o->symbols.push_back(v);
            if (a == "--screenshot") o->screenshot = v;
            if (a == "--wav") o->wav = v;
            if (a == "--trace") o->trace = v;
            if (a == "--state") o->state = v;
            if (a == "--save-state") o->save_state = v;
            if (a == "--replay") o->replay = v;
            if (a == "--ticks") {
                if (!parse_decimal(v, &o->ticks))
                    return bad(std::string("--ticks needs a decimal number: ") + v);
                o->has_ticks = true;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            return bad("unknown option " + a + " (--help lists the options)");
        } else {
            o->images.push_back(a);
        }
    }
    if (o->no_rom && o->images.empty() && o->state.empty())
        return bad("--no-rom needs an image to start");
    if (o->rom_given && !o->state.empty()) return bad("--state holds the memory: no --rom with it");
    if (!o->replay.empty() &&
        (o->rom_given || o->no_rom || !o->state.empty() || !o->images.empty() || !o->type.empty()))
        return bad("--replay starts from the recording's state: no --rom, --no-rom, --state, "
                   "images or --type with it");
    return -1;
}

// Writes what was asked at the end; false when an output failed (its reason printed).
bool outputs(dbg_engine_t *e, const options_t &o) {
    bool good = true;
    std::string error;
    if (o.regs) std::printf("%s\n", dbg_regs_json(e).c_str());
    if (o.text)
        for (const std::string &line : dbg_screen_text(e->emu->memory))
            std::printf("%s\n", line.c_str());
    if (o.cells)
        for (const std::string &line : dbg_screen_cells(e->emu->memory))
            std::printf("%s\n", line.c_str());
    if (!o.save_state.empty() && !dbg_state_save(e, o.save_state, &error)) {
        std::fprintf(stderr, "quillane-run: %s\n", error.c_str());
        good = false;
    }
    if (!o.screenshot.empty() && !dbg_screenshot(e, o.screenshot, &error)) {
        std::fprintf(stderr, "quillane-run: %s\n", error.c_str());
        good = false;
    }
    for (const auto &d : o.dumps) {
        uint16_t address = 0, length16 = 0;
        uint32_t length = 0;
        if (!dbg_parse_address(&e->symbols, d.address, &address)) {
            std::fprintf(stderr, "quillane-run: --dump: bad address %s\n", d.address.c_str());
            good = false;
            continue;
        }
        if (d.length == "10000" || d.length == "0x10000")
            length = 0x10000;
        else if (dbg_parse_address(nullptr, d.length, &length16))
            length = length16;
        if (length == 0 || address + length > 0x10000) {
            std::fprintf(stderr, "quillane-run: --dump: bad length %s\n", d.length.c_str());
            good = false;
            continue;
        }
        if (!dbg_save_memory(e, d.path, address, length, &error)) {
            std::fprintf(stderr, "quillane-run: %s\n", error.c_str());
            good = false;
        }
    }
    if (!dbg_wav_close(e, &error)) {
        std::fprintf(stderr, "quillane-run: %s\n", error.c_str());
        good = false;
    }
    if (!dbg_trace_close(e, &error)) {
        std::fprintf(stderr, "quillane-run: %s\n", error.c_str());
        good = false;
    }
    // What the script or the options printed: a write that failed earlier leaves the error flag.
    const bool flushed = std::fflush(stdout) == 0;
    if (!flushed || std::ferror(stdout)) {
        std::fprintf(stderr, "quillane-run: standard output: %s\n",
                     flushed ? "write error" : std::strerror(errno));
        good = false;
    }
    return good;
}

} // namespace

int main(int argc, char **argv) {
    options_t o;
    const int parsed = parse(argc, argv, &o);
    if (parsed >= 0) return parsed;

    emu_t *emu = &emu_state;
    dbg_machine_init(emu);
    dbg_engine_t *e = dbg_attach(emu, DBG_INLINE);
    std::string error;
    if (!o.replay.empty()) {
        // Checked whole before anything runs.
        std::vector<dbg_session_event_t> session;
        if (!dbg_session_read(o.replay, &session, &error)) return bad(error);
        // As in the window without the debugger, a HALT or an invalid opcode holds the
        // processor in place.
        e->stop_on_halt = e->stop_on_invalid = false;
        const bool played = dbg_session_replay(e, session, &error);
        e->stop_on_halt = e->stop_on_invalid = true;
        if (!played) {
            std::fprintf(stderr, "quillane-run: %s\n", error.c_str());
            return EXIT_NOT_REACHED;
        }
    }
    if (!o.state.empty() && !dbg_state_load(e, o.state, &error)) return bad(error);
    if (!o.no_rom && o.state.empty() && o.replay.empty() &&
        dbg_load_hex(emu, o.rom, true, nullptr, &error) != 0) {
        // Started outside the build directory without --rom, the default ROM is not there.
        if (!o.rom_given) error += " (the ROM; --rom FILE names another, --no-rom runs without)";
        return bad(error);
    }
    for (size_t i = 0; i < o.images.size(); ++i) {
        uint16_t start = 0xFFFF;
        if (dbg_load_hex(emu, o.images[i], false, &start, &error) != 0) return bad(error);
        if (o.no_rom && o.state.empty() && i == 0) emu->cpu.PC = start;
    }
    for (const std::string &path : o.symbols)
        if (dbg_symbols_load(&e->symbols, path, &error) < 0) return bad(error);
    // Breakpoints and --until-pc stop the same way; either one reached ends the run well.
    const bool awaiting = o.until_halt || !o.until_pc.empty() || !o.breaks.empty();
    std::vector<int> until_ids;
    for (const auto *list : {&o.until_pc, &o.breaks})
        for (const std::string &text : *list) {
            uint16_t address;
            if (!dbg_parse_address(&e->symbols, text, &address))
                return bad("bad address " + text + " (a hexadecimal number or a known symbol)");
            const int id = dbg_break_add(e, address, 0);
            if (list == &o.until_pc) until_ids.push_back(id);
        }
    if (!o.trace.empty() && !dbg_trace_open(e, o.trace, &error)) return bad(error);
    if (!o.wav.empty() && !dbg_wav_open(e, o.wav, &error)) return bad(error);
    for (const std::string &text : o.type)
        if (!dbg_type(e, text, true, &error)) return bad("--type: " + error);
    // The ROM and images were loaded behind the engine: the history starts from here.
    dbg_history_mark(e);
    if (o.has_ticks) dbg_set_tick_limit(e, emu->ticks + o.ticks);
    e->realtime = o.realtime;

    // Without SA_RESTART a script read from a terminal or pipe gives up at the signal instead of
    // waiting for the next line; a second signal ends the program at once.
    struct sigaction action = {};
    action.sa_handler = on_signal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    bool quit = false;
    int script_errors = 0;
    if (!o.script.empty()) {
        FILE *in = o.script == "-" ? stdin : std::fopen(o.script.c_str(), "r");
        if (!in) return bad(o.script + ": " + std::strerror(errno));
        script_errors =
            dbg_run_script(e, in, o.script == "-" ? "stdin" : o.script, stdout, stderr, &quit);
        // A script that could not be read (a directory) is like a missing one: no run.
        const bool unreadable = std::ferror(in) && !interrupted;
        if (in != stdin) std::fclose(in);
        if (unreadable) return EXIT_BAD_ARGUMENTS;
    }
    dbg_stop_t stop = e->last_stop;
    // A replay ends where the session ended, unless --ticks asks for more.
    const bool run_on = o.replay.empty() || o.has_ticks;
    if (run_on && !quit && !interrupted && stop.cause != DBG_CAUSE_INVALID &&
        stop.cause != DBG_CAUSE_HALT)
        stop = dbg_continue(e);

    int status = EXIT_OK;
    switch (stop.cause) {
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
    if (interrupted || (!quit && stop.cause != DBG_CAUSE_NONE &&
                        (stop.cause != DBG_CAUSE_TICKS || status == EXIT_NOT_REACHED)))
        std::fprintf(stderr, "%s\n", stop.text.c_str());
    // A script line in error or an output that could not be written is a bad argument too.
    if ((!outputs(e, o) || script_errors > 0) && status == EXIT_OK) status = EXIT_BAD_ARGUMENTS;
    return status;
}
