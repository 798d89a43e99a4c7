// Memory images as Intel HEX files: loading a file's data records into a byte array and saving a
// block of a byte array as data records. Both work on a plain array and its size, so they serve
// the monitor ROM at start-up as well as the user's Open and Save commands. Both return 0 on
// success and 1 on failure, and take no lock: callers that share the memory hold the machine lock.
#pragma once

#include <cstdint>

// Loads the data records of the file at path into memory (memory_size bytes), each at its load
// address; bytes that no record covers keep their values. *start_out receives the load address of
// the first record stored in file order, or 0xFFFF when none was.
//
// Lines may end with CR, LF or CR LF; blank lines are skipped, and a last line without a line
// ending is dropped. The first line that is not a data record (an end-of-file record, another
// type, or any other text) ends the load with success. Fails (1) when the file cannot be opened or
// read or is not a regular file, or a data record has a bad digit or checksum or reaches past the
// end of memory; the records before the failing line stay stored.
//
// Each byte is stored with a relaxed atomic store, because the display thread reads video memory
// while a load replaces it.
int emu_load_ihex_file(const char *path, uint16_t *start_out, uint8_t *memory,
                       uint32_t memory_size);

// Saves memory[start] .. memory[start + length - 1] to the file at path (created, or truncated)
// as data records of 32 bytes, the last one holding the remaining 1 to 32, each followed by CR LF,
// with no end-of-file record. Fails (1) when length is 0, the block reaches past memory_size
// (both checked before the file is touched), the file cannot be created, or a write fails or is
// cut short; the records written so far stay in the file.
int emu_save_ihex_file(const char *path, uint16_t start, uint32_t length, const uint8_t *memory,
                       uint32_t memory_size);
