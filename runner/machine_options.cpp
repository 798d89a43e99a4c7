#include "runner/machine_options.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "debug/core/engine.h"
#include "debug/front/session.h"
#include "files/data.h"
#include "files/output.h"
#include "machine/emu.h"
#include "machine/process.h"

int runner_machine_option(int argc, char **argv, int *i, runner_machine_t *m, std::string *error) {
    const std::string a = argv[*i];
    if (a == "--no-rom") {
        m->no_rom = true;
        return 1;
    }
    if (a != "--rom" && a != "--symbols" && a != "--source-dir") return 0;
    if (*i + 1 >= argc) {
        *error = a + " needs a value";
        return -1;
    }
    const std::string v = argv[++*i];
    // An empty path names no file: an error, not an input silently left out.
    if (v.empty()) {
        *error = a + " needs a file name, not an empty one";
        return -1;
    }
    if (a == "--rom") {
        m->rom = v;
        m->rom_given = true;
    } else if (a == "--symbols") {
        m->symbols.push_back(v);
    } else {
        m->source_dirs.push_back(v);
    }
    return 1;
}

bool runner_info_option(const std::string &a, const char *program, const char *usage) {
    if (a == "--help" || a == "-h")
        std::fputs(usage, stdout);
    else if (a == "--version")
        std::printf("%s %s\n", program, QUILLANE_VERSION);
    else
        return false;
    return true;
}

void runner_machine_finish(runner_machine_t *m) {
    if (!m->rom_given) m->rom = emu_find_data_file(EMU_ROM_FILE_NAME);
}

dbg_engine_t *runner_power_on(bool travel) {
    emu_power_on(&emu_state);
    return travel ? dbg_session_attach(&emu_state, DBG_INLINE) : dbg_attach(&emu_state, DBG_INLINE);
}

bool runner_load_images(dbg_engine_t *e, const runner_machine_t &m, bool load_rom,
                        uint16_t *first_start, std::string *error) {
    if (load_rom && !m.no_rom && !dbg_load_image(e, m.rom, error, nullptr, true)) {
        // Started outside the build directory without --rom, the default ROM is not there.
        if (!m.rom_given) *error += " (the ROM; --rom FILE names another, --no-rom runs without)";
        return false;
    }
    for (size_t i = 0; i < m.images.size(); ++i) {
        uint16_t start = 0xFFFF;
        // Without a ROM the processor starts at the first image's start address.
        if (!dbg_load_image(e, m.images[i], error, &start, load_rom && m.no_rom && i == 0))
            return false;
        if (i == 0 && first_start) *first_start = start;
    }
    return true;
}

bool runner_load_debug_info(dbg_engine_t *e, const char *program, const runner_machine_t &m,
                            bool symbol_warnings, std::string *error) {
    dbg_set_rom_path(e, m.rom);
    for (size_t i = 0; i <= m.images.size(); ++i) {
        if (i == m.images.size() && i > 0) break;
        std::string report;
        if (dbg_debug_info_load(e, i < m.images.size() ? m.images[i] : "", m.source_dirs, &report))
            continue;
        // Only the reasons: the files that loaded are not news.
        for (size_t at = 0, end; (end = report.find('\n', at)) != std::string::npos; at = end + 1) {
            const std::string line = report.substr(at, end - at);
            if (line.rfind("Loaded ", 0) != 0 && line.rfind("Already loaded ", 0) != 0 &&
                line.rfind("No debug information", 0) != 0)
                std::fprintf(stderr, "%s: warning: %s (not loaded)\n", program, line.c_str());
        }
    }
    for (const std::string &path : m.symbols)
        if (!dbg_debug_file_load(e, path, m.source_dirs, error)) return false;
    if (symbol_warnings)
        for (const std::string &warning : dbg_symbol_warnings(dbg_symbol_table(e)))
            std::fprintf(stderr, "%s: %s\n", program, warning.c_str());
    return true;
}

void runner_ignore_write_signals() {
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
    sigaction(SIGXFSZ, &ignore, nullptr);
}

bool runner_finish_output(const char *program, emu_output_t *out, const std::string &path,
                          const std::string &bytes) {
    emu_output_write(out, bytes.data(), bytes.size());
    emu_file_error_t reason{};
    if (emu_output_close(out, &reason)) return true;
    std::fprintf(stderr, "%s: %s\n", program, emu_file_error_message(path, reason).c_str());
    return false;
}

bool runner_flush_stdout(const char *program) {
    // A write that failed earlier leaves the error flag.
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    if (flushed && !std::ferror(stdout)) return true;
    // A reader that went away is EPIPE ("Broken pipe"), SIGPIPE being ignored.
    std::fprintf(stderr, "%s: standard output: %s\n", program,
                 errno != 0 ? std::strerror(errno) : "write error");
    return false;
}
