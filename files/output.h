// The one way the program writes a file: memory saves, dumps, screenshots, traces and sound
// recordings all go through here, whether the bytes are ready at once or come as a run goes on.
//
// A regular file (or a new one) is written as a temporary file beside it (a short name of its
// own, so it fits wherever the target's name fits), which replaces it only at close, once every
// byte is written and synced; the replacement keeps the old file's mode and, where allowed, its
// owner. A symbolic link stays a link: the file it points to is replaced, or created when it does
// not exist yet, as editors write through a link. Until then, and after any failure, the old file
// is exactly as it was and no temporary file is left behind. A FIFO, a device or a path under /dev
// or /proc (/dev/stdout) is written in place, as there is nothing to replace; a FIFO that no
// program reads from is refused at open instead of blocking. Writes are buffered; the first failure
// (a full disk, a size limit, a reader that went away) is kept and reported at close, and later
// writes are dropped. The program must ignore SIGPIPE and SIGXFSZ so that those come back as EPIPE
// and EFBIG.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "files/file.h"

struct emu_output_t {
    int fd = -1;           // -1 when not open
    bool in_place = false; // written where it is (no temporary file, no seeking)
    int error_code = 0;    // errno of the first failed write, 0 while all went well
    std::string target;    // the file the temporary one replaces at close
    std::string temp_path; // the temporary file, empty when in place
    std::string buffer;    // bytes not yet written
    uint64_t written = 0;  // bytes handed to the file so far (not counting the buffer)
};

// Opens path for writing. Fails (false, *out closed) with the reason in *error when the path is
// empty, a folder or too long, the folder does not exist or is not writable, links loop, a FIFO
// has no reader, or the file cannot be opened. Every check is made here, before any byte.
bool emu_output_open(emu_output_t *out, const char *path, emu_file_error_t *error);

// Appends bytes (buffered). False once a write has failed.
bool emu_output_write(emu_output_t *out, const void *bytes, size_t size);

// Writes bytes at an offset from the start of the file, over what was written there (a header
// whose sizes are known only at the end). False when the output is in place, or on a failure.
bool emu_output_patch(emu_output_t *out, uint64_t offset, const void *bytes, size_t size);

// Writes what is buffered, then (regular files) syncs and renames the temporary file over the
// target. False with the reason of the first failure; the old file stays then.
bool emu_output_close(emu_output_t *out, emu_file_error_t *error);

// Closes without replacing anything: the temporary file is removed, the target left alone.
void emu_output_discard(emu_output_t *out);

// A whole file at once: open, write, close.
bool emu_write_file(const char *path, const void *bytes, size_t size, emu_file_error_t *error);
