// Memory images as Intel HEX files: loading a file's data records into a byte array and saving a
// block of a byte array as data records. Both work on a plain array and its size, so they serve
// the monitor ROM at start-up as well as the user's Open and Save commands. Both return 0 on
// success and 1 on failure, and take no lock: callers that share the memory hold the machine lock
// (or read the file into an image first and store the image under the lock).
#pragma once

#include <cstdint>
#include <string>

// Why a load or save failed, for the user: the line of the file the failure is about (0 when it
// is not about one line) and a short text, either what was wrong with the line ("bad checksum")
// or the system's text for the error ("No space left on device").
struct emu_file_error_t {
    uint32_t line;
    char text[120];
};

// The reason as the user reads it: "Line 2: bad checksum", or the text with a capital first
// letter ("No space left on device", "The file holds no data record").
std::string emu_file_error_reason(const emu_file_error_t &error);
// "PATH: reason", as the program's one-line messages name a file.
std::string emu_file_error_message(const std::string &path, const emu_file_error_t &error);

// The records of a file decoded in full, before any of it reaches the machine's memory.
struct emu_ihex_image_t {
    uint8_t data[65536];
    uint8_t stored[65536]; // 1 where a record stored data[i]
    bool stored_any;
    uint16_t start; // load address of the first data record in file order, 0xFFFF when none
};

// Reads the file at path into *image (cleared first) as loading it into a memory of memory_size
// bytes would store it: each data record at its load address, later records over earlier ones.
//
// Lines may end with CR, LF or CR LF; blank lines are skipped, and a last line without a line
// ending counts like any other. A UTF-8 byte order mark at the start of the file and spaces or
// tabs around a record are skipped, as editors write them. Records of type 02 and 04 with a base
// of 0000 and records of type 03 and 05 (start addresses) are skipped. An end-of-file record, or
// a line that does not begin with ':' (any other text), ends the load with success, and the rest
// of the file is not read. Fails (1) when the file cannot be opened or read or is not a regular
// file; when a line that begins with ':' is no valid record (a bad digit or checksum, a record
// that ends early, a type above 05), is longer than the longest record, is an empty data record
// or one that reaches past the end of memory, or an address record that sets a nonzero base; and
// when the file holds no data record at all ("the file holds no data record"). The records
// before a failing line stay in the image.
int emu_read_ihex_file(const char *path, emu_ihex_image_t *image, uint32_t memory_size,
                       emu_file_error_t *error = nullptr);

// Stores the bytes of an image that records stored into memory (memory_size bytes), each with a
// relaxed atomic store, because the display thread reads video memory while a load replaces it.
void emu_store_ihex_image(const emu_ihex_image_t *image, uint8_t *memory, uint32_t memory_size);

// Reads the file and stores what it held, also when the read failed (the records before the
// failing line are kept); *start_out receives the image's start.
int emu_load_ihex_file(const char *path, uint16_t *start_out, uint8_t *memory, uint32_t memory_size,
                       emu_file_error_t *error = nullptr);

// memory[start] .. memory[start + length - 1] as the text of a HEX file: data records of 32
// bytes, the last one holding the remaining 1 to 32, each followed by CR LF, with no end-of-file
// record. The block must lie within memory and the 64 KB address space.
std::string emu_ihex_text(const uint8_t *memory, uint16_t start, uint32_t length);

// Saves that text to the file at path through the program's one writer (files/output.h): a
// failed save leaves an old file as it was. Fails (1) when length is 0, the block reaches past
// memory_size (both checked before the file is touched), or the writer fails (a FIFO without a
// reader, a full disk, a broken pipe: the program must ignore SIGPIPE).
int emu_save_ihex_file(const char *path, uint16_t start, uint32_t length, const uint8_t *memory,
                       uint32_t memory_size, emu_file_error_t *error = nullptr);
