// The one way the program reads text it is given line by line (debug scripts, symbol files):
// from a regular file or from standard input ("-"), never from anything that may not end or may
// never answer (a device such as /dev/zero, a FIFO nobody writes), and with a bound on each line,
// so that no input grows memory without bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "files/file.h"

// Longer lines are an error: no script or symbol file needs them.
constexpr size_t EMU_MAX_LINE_BYTES = 65536;

struct emu_line_reader_t {
    int fd = -1;
    bool owned = false;  // opened here (not standard input)
    uint32_t line = 0;   // number of the last line returned, from 1
    std::string pending; // bytes read but not yet returned
    bool at_end = false;
};

// Opens path, or standard input for "-". Fails (false) with the reason in *error when the path is
// empty, cannot be opened, or is not a regular file (a folder, a FIFO, a device).
bool emu_reader_open(emu_line_reader_t *reader, const char *path, emu_file_error_t *error);

// The next line without its line ending (LF, or CR LF); a last line without one counts too.
// Returns 1 with the line, 0 at the end, -1 with the reason in *error (error->line is the line's
// number when it is longer than EMU_MAX_LINE_BYTES). A read cut short by a signal is -1 with
// error_code EINTR; calling again goes on where it stopped.
int emu_reader_next(emu_line_reader_t *reader, std::string *line, emu_file_error_t *error,
                    int *error_code = nullptr);

void emu_reader_close(emu_line_reader_t *reader);
