// Loading and saving memory images as Intel HEX files, with POSIX file calls.
#include "files/file.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "files/error_text.h"
#include "files/ihex.h"
#include "files/input.h"
#include "files/output.h"
#include "machine/relaxed.h"

namespace {

constexpr size_t FILE_READ_PIECE = 4096;
// The longest valid record; a record line that goes on past it fails.
constexpr size_t FILE_LINE_CAPACITY = IHEX_MAX_RECORD_LENGTH;
constexpr unsigned FILE_RECORD_CAPACITY = 256; // holds the data of any record
constexpr size_t FILE_SAVE_RECORD_BYTES = 32;
constexpr uint32_t FILE_ADDRESS_SPACE = 65536;

enum class file_line_result { stored, end_of_load, failed };

struct file_loader_t {
    // One more than the longest line, for the terminator that stops the decoder at the end of the
    // current line instead of running into what an earlier, longer line left in the buffer.
    char line[FILE_LINE_CAPACITY + 1];
    size_t fill;          // characters of the line from its first one that is not blank
    uint32_t line_number; // of the line in the buffer, counted from 1
    uint32_t line_ends;   // line endings read so far (CR LF counts once)
    bool after_cr;
    uint8_t record[FILE_RECORD_CAPACITY];
    emu_ihex_image_t *image;
    uint32_t memory_size;
    emu_file_error_t *error;
};

void file_set_error(emu_file_error_t *error, uint32_t line, const char *text) {
    if (!error) return;
    error->line = line;
    std::snprintf(error->text, sizeof error->text, "%s", text);
}

void file_set_system_error(emu_file_error_t *error, int code) {
    char buffer[sizeof error->text];
    file_set_error(error, 0, emu_error_text(code, buffer, sizeof buffer));
}

file_line_result file_line_failed(file_loader_t *loader, const char *text) {
    file_set_error(loader->error, loader->line_number, text);
    return file_line_result::failed;
}

bool file_blank(char byte) {
    return byte == ' ' || byte == '\t';
}

file_line_result file_process_line(file_loader_t *loader) {
    // Editors may leave blanks after a record; the ones before it were never stored.
    while (loader->fill > 0 && file_blank(loader->line[loader->fill - 1]))
        --loader->fill;
    loader->line[loader->fill] = '\0';
    const size_t length = loader->fill;
    loader->fill = 0;
    // Text that is no record ends the load.
    if (loader->line[0] != ':') return file_line_result::end_of_load;

    ihex_record_t record;
    const int status =
        ihex_decode_record(loader->line, loader->record, FILE_RECORD_CAPACITY, &record);
    if (status == IHEX_BAD_CHECKSUM) return file_line_failed(loader, "bad checksum");
    if (status == IHEX_BAD_DIGIT) {
        if (record.error_at >= length) return file_line_failed(loader, "the record ends early");
        char text[64];
        std::snprintf(text, sizeof text, "not a hex digit in column %zu", record.error_at + 1);
        return file_line_failed(loader, text);
    }
    if (status == IHEX_BAD_TYPE) {
        char text[64];
        std::snprintf(text, sizeof text, "unknown record type %02X", record.type);
        return file_line_failed(loader, text);
    }
    if (status != IHEX_DECODED) return file_line_failed(loader, "not a valid record");
    if (record.type == IHEX_TYPE_END_OF_FILE) return file_line_result::end_of_load;

    if (record.type == IHEX_TYPE_SEGMENT_ADDRESS || record.type == IHEX_TYPE_LINEAR_ADDRESS) {
        // Tools write a base of 0 first; any other base places data beyond 64 KB.
        if (record.count != 2) return file_line_failed(loader, "malformed address record");
        if (loader->record[0] != 0 || loader->record[1] != 0)
            return file_line_failed(loader, "address record beyond the 64 KB address space");
    } else if (record.type == IHEX_TYPE_DATA) {
        if (record.count == 0) return file_line_failed(loader, "empty data record");
        if (static_cast<uint32_t>(record.address) + record.count > loader->memory_size)
            return file_line_failed(loader, "record past the end of memory");
        emu_ihex_image_t *image = loader->image;
        // A flag rather than the 0xFFFF marker, so that a first record at 0xFFFF is reported as
        // the start even when later records follow.
        if (!image->stored_any) {
            image->stored_any = true;
            image->start = record.address;
        }
        std::memcpy(image->data + record.address, loader->record, record.count);
        std::memset(image->stored + record.address, 1, record.count);
    }
    // Types 03 and 05 give a start address, which the board has no use for.
    return file_line_result::stored;
}

// Takes one byte of the file; false once the load has ended or failed.
bool file_take_byte(file_loader_t *loader, char byte, file_line_result *result) {
    if (byte == '\r' || byte == '\n') {
        const bool ends_a_line = !(byte == '\n' && loader->after_cr);
        loader->after_cr = byte == '\r';
        if (loader->fill > 0) *result = file_process_line(loader);
        if (ends_a_line) ++loader->line_ends;
        return *result == file_line_result::stored;
    }
    loader->after_cr = false;
    if (loader->fill == 0) {
        if (file_blank(byte)) return true;
        loader->line_number = loader->line_ends + 1;
    }
    if (loader->fill < FILE_LINE_CAPACITY) {
        loader->line[loader->fill++] = byte;
        return true;
    }
    if (file_blank(byte)) return true; // blanks after the longest record are dropped too
    // More than the longest record on one line: not a record, whatever it begins with.
    if (loader->line[0] != ':') {
        *result = file_line_result::end_of_load;
    } else {
        *result = file_line_result::failed;
        file_set_error(loader->error, loader->line_number, "line too long");
    }
    return false;
}

ssize_t file_read_piece(int fd, char *buffer, size_t size) {
    for (;;) {
        const ssize_t got = read(fd, buffer, size);
        if (got >= 0 || errno != EINTR) return got;
    }
}

} // namespace

std::string emu_file_error_reason(const emu_file_error_t &error) {
    std::string reason = error.text;
    if (error.line != 0) return "Line " + std::to_string(error.line) + ": " + reason;
    if (!reason.empty() && reason[0] >= 'a' && reason[0] <= 'z')
        reason[0] = static_cast<char>(reason[0] - 'a' + 'A');
    return reason;
}

std::string emu_file_error_message(const std::string &path, const emu_file_error_t &error) {
    const std::string reason = emu_file_error_reason(error);
    return reason.empty() ? path : path + ": " + reason;
}

std::string emu_ihex_text(const uint8_t *memory, uint16_t start, uint32_t length) {
    std::string text;
    text.reserve((length / FILE_SAVE_RECORD_BYTES + 1) *
                 (IHEX_MIN_RECORD_LENGTH + 2 * FILE_SAVE_RECORD_BYTES + 2));
    char record[IHEX_MIN_RECORD_LENGTH + 2 * FILE_SAVE_RECORD_BYTES];
    for (uint32_t offset = 0; offset < length;) {
        const uint32_t remaining = length - offset;
        const unsigned count = static_cast<unsigned>(
            remaining < FILE_SAVE_RECORD_BYTES ? remaining : FILE_SAVE_RECORD_BYTES);
        const uint16_t address = static_cast<uint16_t>(start + offset);
        const uint16_t characters =
            ihex_encode_data_record(memory + address, count, address, record, sizeof record);
        text.append(record, characters);
        text += "\r\n";
        offset += count;
    }
    return text;
}

int emu_read_ihex_file(const char *path, emu_ihex_image_t *image, uint32_t memory_size,
                       emu_file_error_t *error) {
    std::memset(image->stored, 0, sizeof image->stored);
    image->stored_any = false;
    image->start = 0xFFFF;
    file_set_error(error, 0, "");
    if (memory_size > FILE_ADDRESS_SPACE) memory_size = FILE_ADDRESS_SPACE;
    if (!path) {
        file_set_system_error(error, EINVAL);
        return 1;
    }
    // Only regular files, of any size: the load ends at the first line that is not a record.
    const int fd = emu_input_open(path, 0, error, "not a regular file");
    if (fd < 0) return 1;

    auto loader = std::make_unique<file_loader_t>();
    loader->image = image;
    loader->memory_size = memory_size;
    loader->error = error;
    file_line_result result = file_line_result::stored;
    char piece[FILE_READ_PIECE];
    for (bool reading = true, first = true; reading; first = false) {
        const ssize_t got = file_read_piece(fd, piece, sizeof piece);
        if (got < 0) {
            file_set_system_error(error, errno);
            result = file_line_result::failed;
            break;
        }
        if (got == 0) {
            // The last line counts without a line ending too.
            if (loader->fill > 0) result = file_process_line(loader.get());
            break;
        }
        // Editors may begin a file with the UTF-8 byte order mark.
        const ssize_t skip =
            first && got >= 3 && std::memcmp(piece, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
        // Once the load has ended the rest of the file is not read: it may be endless.
        for (ssize_t i = skip; i < got && reading; ++i)
            reading = file_take_byte(loader.get(), piece[i], &result);
    }
    close(fd);
    if (result == file_line_result::failed) return 1;
    // Loading nothing is no success: the file is not what the user meant to load.
    if (!image->stored_any) {
        file_set_error(error, 0, "the file holds no data record");
        return 1;
    }
    return 0;
}

void emu_store_ihex_image(const emu_ihex_image_t *image, uint8_t *memory, uint32_t memory_size) {
    const uint32_t size = memory_size < FILE_ADDRESS_SPACE ? memory_size : FILE_ADDRESS_SPACE;
    for (uint32_t i = 0; i < size; ++i)
        if (image->stored[i]) emu_relaxed_store(memory[i], image->data[i]);
}

int emu_load_ihex_file(const char *path, uint16_t *start_out, uint8_t *memory, uint32_t memory_size,
                       emu_file_error_t *error) {
    if (start_out) *start_out = 0xFFFF;
    if (!memory) return 1;
    auto image = std::make_unique<emu_ihex_image_t>();
    const int result = emu_read_ihex_file(path, image.get(), memory_size, error);
    emu_store_ihex_image(image.get(), memory, memory_size);
    if (start_out) *start_out = image->start;
    return result;
}

int emu_save_ihex_file(const char *path, uint16_t start, uint32_t length, const uint8_t *memory,
                       uint32_t memory_size, emu_file_error_t *error) {
    file_set_error(error, 0, "");
    // Checked before the file is created, so a bad request leaves an existing file alone. Records
    // carry 16-bit addresses, so the block also has to end within the 64 KB address space.
    const uint64_t end = static_cast<uint64_t>(start) + length;
    if (!path || !memory || length == 0 || end > memory_size || end > FILE_ADDRESS_SPACE) {
        file_set_error(error, 0, "the block is empty or reaches past the end of memory");
        return 1;
    }
    const std::string text = emu_ihex_text(memory, start, length);
    return emu_write_file(path, text.data(), text.size(), error) ? 0 : 1;
}
