// What quillane-run and quillane-test share: the options that name the machine's ROM, images and
// debug information, and loading them into the machine through the debug engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct dbg_engine_t;
struct emu_output_t;

struct runner_machine_t {
    std::string rom; // the ROM image (default: found by runner_machine_finish)
    bool rom_given = false;
    bool no_rom = false;
    std::vector<std::string> images;
    std::vector<std::string> symbols;
    std::vector<std::string> source_dirs;
};

// Takes --rom FILE, --no-rom, --symbols FILE and --source-dir DIR at argv[*i] (moving *i past
// a value). 1 when the option was one of them, 0 when not, -1 with *error when its value is
// missing or empty.
int runner_machine_option(int argc, char **argv, int *i, runner_machine_t *m, std::string *error);
// --help (or -h) prints usage, --version the program's name and version: true when a was one
// of them (the program then ends with status 0).
bool runner_info_option(const std::string &a, const char *program, const char *usage);
// After the options: the default ROM (the current directory's, else the installed one).
void runner_machine_finish(runner_machine_t *m);

// Powers the board on and attaches the engine inline, with the history of time travel when
// travel is set (quillane-test restores states instead).
dbg_engine_t *runner_power_on(bool travel);
// Loads the ROM (unless load_rom is false or --no-rom) and the images in order, as File > Open
// does; with --no-rom the processor starts at the first image's start address. *first_start
// (may be null) gets the first image's start address. False with the reason in *error.
bool runner_load_images(dbg_engine_t *e, const runner_machine_t &m, bool load_rom,
                        uint16_t *first_start, std::string *error);
// Loads the debug information: the monitor's symbols, what lies beside each image, then the
// files named, so that a program's own names win inside the program. A malformed file found
// beside an image is reported on standard error as a warning, after "program: ", and loading
// goes on without it; a file named that fails is an error (false, *error). With
// symbol_warnings, the names that hide a number or a register are reported too (they matter
// where commands are typed).
bool runner_load_debug_info(dbg_engine_t *e, const char *program, const runner_machine_t &m,
                            bool symbol_warnings, std::string *error);

// Ignores SIGPIPE and SIGXFSZ: a reader that goes away and a file size limit become write
// errors with their reasons (Broken pipe, File too large), not deaths by signal.
void runner_ignore_write_signals();
// Writes bytes to an output opened before the run and closes it; false with the reason printed
// after "program: ".
bool runner_finish_output(const char *program, emu_output_t *out, const std::string &path,
                          const std::string &bytes);
// Flushes standard output; false with the reason printed when it or an earlier write failed.
bool runner_flush_stdout(const char *program);
