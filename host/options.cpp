// The window program's command line.
#include "host/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "debug/core/engine.h"
#include "debug/front/commands.h"
#include "debug/front/session.h"
#include "debug/travel/record.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

const char usage_text[] =
    "Usage: quillane [--rom FILE] [--warp] [--debug] [--source-dir DIR] [--dap-port N]\n"
    "                [IMAGE.hex ...] [--type TEXT] [--record FILE] [--watch] [--replay FILE]\n"
    "Emulates the Quillane Z80 board in a window.\n"
    "\n"
    "  --rom FILE   the monitor ROM (default: tessik.hex in the current directory)\n"
    "  --warp       run as fast as the host allows, with the sound muted\n"
    "  --debug      open the debugger window; the debug information beside an image (same\n"
    "               name: .sym or .noi, .cdb, .lines) and the monitor's symbols load with it\n"
    "  --source-dir DIR  where the debugger looks for C and assembly sources (repeatable)\n"
    "  IMAGE.hex    Intel HEX images loaded after the ROM, in order, as File > Open does\n"
    "  --type TEXT  type TEXT once the monitor is ready for keys (\\n Enter, \\t Tab,\n"
    "               \\b Backspace): quillane game.hex --type 'g 8000\\n' starts a game\n"
    "  --record FILE  record everything the board receives (keys, loads, resets, debugger\n"
    "               changes) until the window closes; quillane-run --replay FILE plays it\n"
    "  --replay FILE  play a recording (quillane --record, quillane-test --record-failures) to\n"
    "               its end, then run on from there; with --debug the debugger opens stopped\n"
    "               there, its history holding the recording's last seconds\n"
    "  --watch      when an IMAGE changes on disk, load it again with its symbols, reset\n"
    "               and type the --type text again\n"
    "  --dap-port N a Debug Adapter Protocol server on 127.0.0.1:N for an editor (one client;\n"
    "               it attaches to the running board and opens the debugger window)\n"
    "  --help, --version\n"
    "\n"
    "quillane-run runs the board without a window (quillane-run --help).\n";

int bad(const std::string &message) {
    std::fprintf(stderr, "quillane: %s\n", message.c_str());
    return 2;
}

} // namespace

int host_parse_options(int argc, char **argv, host_options_t *options) {
    *options = host_options_t{};
    for (int i = 1; i < argc; ++i) {
        const char *a = argv[i];
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            std::fputs(usage_text, stdout);
            return 0;
        }
        if (!std::strcmp(a, "--version")) {
            std::printf("quillane %s\n", QUILLANE_VERSION);
            return 0;
        }
        if (!std::strcmp(a, "--warp")) {
            options->warp = true;
        } else if (!std::strcmp(a, "--dap-port")) {
            char *end = nullptr;
            const long port = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
            if (i + 1 >= argc || !*argv[i + 1] || *end || port < 1 || port > 65535)
                return bad("--dap-port needs a port number from 1 to 65535");
            options->dap_port = static_cast<int>(port);
            ++i;
        } else if (!std::strcmp(a, "--debug")) {
            options->debug = true;
        } else if (!std::strcmp(a, "--watch")) {
            options->watch = true;
        } else if (!std::strcmp(a, "--rom") || !std::strcmp(a, "--type") ||
                   !std::strcmp(a, "--record") || !std::strcmp(a, "--source-dir") ||
                   !std::strcmp(a, "--replay")) {
            if (i + 1 >= argc) return bad(std::string(a) + " needs a value");
            // An empty path names no file: refused, not taken as "none given".
            if (!*argv[i + 1] && std::strcmp(a, "--type") != 0)
                return bad(std::string(a) + " needs a file name, not an empty one");
            if (!std::strcmp(a, "--rom"))
                options->rom = argv[++i];
            else if (!std::strcmp(a, "--record"))
                options->record = argv[++i];
            else if (!std::strcmp(a, "--replay"))
                options->replay = argv[++i];
            else if (!std::strcmp(a, "--source-dir"))
                options->source_dirs.push_back(argv[++i]);
            else
                options->type.push_back(dbg_unescape(argv[++i]));
        } else if (a[0] == '-' && a[1]) {
            return bad(std::string("unknown option ") + a + " (--help lists the options)");
        } else {
            options->images.push_back(a);
        }
    }
    std::string error;
    for (const std::string &text : options->type)
        if (!dbg_typable(text, &error)) return bad("--type: " + error);
    // The recording's first state holds the ROM and the images it ran with.
    if (!options->replay.empty() && (!options->images.empty() || !options->type.empty() ||
                                     !options->record.empty() || options->watch))
        return bad("--replay starts from the recording's state: no IMAGE, --type, --record or "
                   "--watch with it");
    return -1;
}

int host_apply_options(emu_t *emu, const host_options_t &options) {
    std::string error;
    if (!options.replay.empty()) {
        // Played before the processor thread starts, by the inline engine that then becomes the
        // thread's, so the history keeps what the recording's last seconds ran.
        std::vector<dbg_session_event_t> session;
        if (!dbg_session_read(options.replay, &session, &error)) return bad(error);
        dbg_engine_t *e = dbg_session_attach(emu, DBG_INLINE);
        // As when it was recorded, a HALT or an invalid opcode holds the processor in place.
        dbg_set_stop_on_halt(e, false);
        dbg_set_stop_on_invalid(e, false);
        if (!dbg_session_replay(e, session, UINT64_MAX, &error)) return bad(error);
        dbg_hand_to_thread(e, options.debug);
        if (options.warp) dbg_set_warp(e, true);
        return 0;
    }
    for (const std::string &image : options.images)
        if (dbg_load_hex(emu, image, false, nullptr, &error) != 0) return bad(error);
    if (options.watch && options.images.empty()) return bad("--watch needs an image to watch");
    if (!options.warp && options.type.empty() && options.record.empty() && !options.watch) return 0;
    // Without a debugger nothing would resume a stop, so a HALT or an invalid opcode stops the
    // processor as it does without the engine: in place, until a reset.
    dbg_engine_t *e = dbg_session_attach(emu, DBG_THREADED);
    dbg_set_stop_on_halt(e, false);
    dbg_set_stop_on_invalid(e, false);
    for (const std::string &text : options.type)
        dbg_type(e, text, true, &error);
    if (options.warp) dbg_set_warp(e, true);
    // The first record is the machine as it starts: ROM, images and the text to type.
    if (!options.record.empty() && !dbg_record_open(e, options.record, &error)) return bad(error);
    return 0;
}
