// Loading and saving memory images as Intel HEX files, with POSIX file calls.
#include "files/file.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "files/ihex.h"

namespace {

constexpr size_t FILE_READ_PIECE = 255;
constexpr size_t FILE_LINE_CAPACITY = 256;
constexpr unsigned FILE_RECORD_CAPACITY = 256; // holds the data of any record
constexpr size_t FILE_SAVE_RECORD_BYTES = 32;
constexpr uint32_t FILE_ADDRESS_SPACE = 65536;

// The probe reads positions 0, 7 and 8; a line shorter than this leaves 7 or 8 unfilled.
constexpr size_t FILE_PROBE_MIN_LINE = 9;

enum class file_line_result { stored, end_of_load, failed };

struct file_loader_t {
    // One more than the longest line, for the terminator that stops the decoder at the end of the
    // current line instead of running into what an earlier, longer line left in the buffer.
    char line[FILE_LINE_CAPACITY + 1];
    size_t fill;
    uint8_t record[FILE_RECORD_CAPACITY];
    bool stored_any;
    uint16_t start;
    uint8_t *memory;
    uint32_t memory_size;
};

file_line_result file_process_line(file_loader_t *loader) {
    loader->line[loader->fill] = '\0';
    // Lines of 9 characters or more are probed with the buffer's capacity, so the probe's length
    // bounds never reject them; a shorter line is handed over with its own length, which the probe
    // rejects, so it ends the load without a look at bytes the line does not hold.
    const size_t probe_length =
        loader->fill >= FILE_PROBE_MIN_LINE ? FILE_LINE_CAPACITY : loader->fill;
    if (ihex_get_record_type(loader->line, probe_length) != static_cast<int>(IHEX_TYPE_DATA))
        return file_line_result::end_of_load;

    uint16_t address = 0;
    const unsigned count =
        ihex_decode_data_record(loader->line, loader->record, FILE_RECORD_CAPACITY, &address);
    if (count == 0) return file_line_result::failed;
    if (static_cast<uint32_t>(address) + count > loader->memory_size)
        return file_line_result::failed;
    // A flag rather than the 0xFFFF marker, so that a first record at 0xFFFF is reported as the
    // start even when later records follow.
    if (!loader->stored_any) {
        loader->stored_any = true;
        loader->start = address;
    }
    for (unsigned i = 0; i < count; ++i)
        std::atomic_ref<uint8_t>(loader->memory[address + i])
            .store(loader->record[i], std::memory_order_relaxed);
    loader->fill = 0;
    return file_line_result::stored;
}

ssize_t file_read_piece(int fd, char *buffer, size_t size) {
    for (;;) {
        const ssize_t got = read(fd, buffer, size);
        if (got >= 0 || errno != EINTR) return got;
    }
}

// write(2) may take only part of the bytes (a pipe, a signal); loop until all are written.
bool file_write_all(int fd, const char *bytes, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

} // namespace

int emu_load_ihex_file(const char *path, uint16_t *start_out, uint8_t *memory,
                       uint32_t memory_size) {
    if (start_out) *start_out = 0xFFFF;
    if (!path || !memory) return 1;
    // Without O_NONBLOCK opening a FIFO would wait for a writer.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return 1;
    // Only regular files: a device such as /dev/zero never reaches its end.
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return 1;
    }

    file_loader_t loader{};
    loader.memory = memory;
    loader.memory_size = memory_size;
    loader.start = 0xFFFF;
    bool load_ended = false;
    int result = 0;
    char piece[FILE_READ_PIECE];
    for (;;) {
        const ssize_t got = file_read_piece(fd, piece, sizeof piece);
        if (got < 0) {
            result = 1;
            break;
        }
        // The end of the file ends the load; a line without a line ending is dropped.
        if (got == 0) break;
        // After the line that ended the load the file is still read to its end, so that a read
        // error there is reported.
        for (ssize_t i = 0; i < got && !load_ended; ++i) {
            const char byte = piece[i];
            file_line_result line_result = file_line_result::stored;
            if (byte == '\r' || byte == '\n') {
                if (loader.fill == 0) continue;
                line_result = file_process_line(&loader);
            } else if (loader.fill < FILE_LINE_CAPACITY) {
                loader.line[loader.fill++] = byte;
                continue;
            } else {
                // A full buffer is processed as a line and this byte dropped; the bytes after it
                // begin the next line.
                line_result = file_process_line(&loader);
            }
            if (line_result == file_line_result::end_of_load)
                load_ended = true;
            else if (line_result == file_line_result::failed) {
                result = 1;
                break;
            }
        }
        if (result != 0) break;
    }
    close(fd);
    if (start_out) *start_out = loader.start;
    return result;
}

int emu_save_ihex_file(const char *path, uint16_t start, uint32_t length, const uint8_t *memory,
                       uint32_t memory_size) {
    // Checked before the file is created, so a bad request leaves an existing file alone. Records
    // carry 16-bit addresses, so the block also has to end within the 64 KB address space.
    const uint64_t end = static_cast<uint64_t>(start) + length;
    if (!path || !memory || length == 0 || end > memory_size || end > FILE_ADDRESS_SPACE) return 1;
    // O_NONBLOCK makes opening a FIFO without a reader fail instead of waiting; the writes that
    // follow block as usual.
    const int fd =
        open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) return 1;
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return 1;
    }

    char record[256];
    for (uint32_t offset = 0; offset < length;) {
        const uint32_t remaining = length - offset;
        const unsigned count = static_cast<unsigned>(
            remaining < FILE_SAVE_RECORD_BYTES ? remaining : FILE_SAVE_RECORD_BYTES);
        const uint16_t address = static_cast<uint16_t>(start + offset);
        const uint16_t characters =
            ihex_encode_data_record(memory + address, count, address, record, sizeof record);
        if (characters == 0xFFFF || !file_write_all(fd, record, characters) ||
            !file_write_all(fd, "\r\n", 2)) {
            close(fd);
            return 1;
        }
        offset += count;
    }
    // Writes are unbuffered, but a file system may still report a lost write at close.
    return close(fd) == 0 ? 0 : 1;
}
