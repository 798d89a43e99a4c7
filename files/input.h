// The one way the program reads the files it is given (scripts, symbol files, debug information,
// sources, save states, recordings): from a regular file (or, for text read line by line, from
// standard input "-"), never from anything that may not end or may never answer (a device such
// as /dev/zero, a FIFO nobody writes), and within a bound on each line and on the whole file, so
// that no input grows memory without bound. Opening never blocks: a FIFO is refused at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/file.h"

// Longer lines are an error: no script or symbol file needs them.
constexpr size_t EMU_MAX_LINE_BYTES = 65536;
// The largest files of each kind that are read whole: debug information (SDCC's .cdb and .map,
// .noi, .sym, line tables) and the program's sources shown beside it.
constexpr uint64_t EMU_MAX_DEBUG_FILE_BYTES = 64ull << 20;
constexpr uint64_t EMU_MAX_SOURCE_FILE_BYTES = 4ull << 20;

// Opens path for reading without waiting (a FIFO would wait for a writer) and checks that it is
// a regular file of at most max_bytes (0: any size). Returns the descriptor, or -1 with the reason
// in *error: the system's text ("No such file or directory", "Is a directory"), not_regular (or,
// when null, emu_not_regular_reason's), or "too large (N bytes;
// at most M)".
int emu_input_open(const char *path, uint64_t max_bytes, emu_file_error_t *error,
                   const char *not_regular = nullptr);

// Why a file of this st_mode is not read: "not a regular file (a FIFO)", "(a device)", "(a
// socket)".
const char *emu_not_regular_reason(uint32_t mode);

// Reads the whole of a regular file of at most max_bytes into *bytes (nothing is allocated before
// the size is known to fit). False with the reason in *error, as emu_input_open gives it, or a
// read error; a file that grows past max_bytes while read is "too large" too.
bool emu_read_file(const char *path, uint64_t max_bytes, std::vector<uint8_t> *bytes,
                   emu_file_error_t *error);

struct emu_line_reader_t {
    int fd = -1;
    bool owned = false;  // opened here (not standard input)
    uint32_t line = 0;   // number of the last line returned, from 1
    std::string pending; // bytes read but not yet returned
    bool at_end = false;
    uint64_t max_bytes = 0; // the most bytes read in all (0: no bound but the line's)
    uint64_t total = 0;     // bytes read so far
};

// Opens path, or standard input for "-" when standard_input allows it. Fails (false) with the
// reason in *error when the path is empty, cannot be opened, or is not a regular file (a folder,
// a FIFO, a device; where standard input is allowed the reason names it as the other choice), or
// is larger than max_bytes (0: a script, read a line at a time, may be of any length; what is
// kept whole, such as a symbol file, has a bound); reading more than max_bytes from standard
// input or from a file that grows is an error too.
bool emu_reader_open(emu_line_reader_t *reader, const char *path, emu_file_error_t *error,
                     uint64_t max_bytes = 0, bool standard_input = true);

// The next line without its line ending (LF, or CR LF); a last line without one counts too.
// Returns 1 with the line, 0 at the end, -1 with the reason in *error (error->line is the line's
// number when it is longer than EMU_MAX_LINE_BYTES). A read cut short by a signal is -1 with
// error_code EINTR; calling again goes on where it stopped.
int emu_reader_next(emu_line_reader_t *reader, std::string *line, emu_file_error_t *error,
                    int *error_code = nullptr);

void emu_reader_close(emu_line_reader_t *reader);
