// Loading and saving memory images as Intel HEX files, with POSIX file calls.
#include "files/file.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "files/ihex.h"

namespace {

constexpr size_t FILE_READ_PIECE = 4096;
// The longest valid record; a longer line is cut here.
constexpr size_t FILE_LINE_CAPACITY = IHEX_MAX_RECORD_LENGTH;
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
    bool cut;             // the line went on past the buffer
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
    // The GNU strerror_r returns the text, which need not be in buffer.
    file_set_error(error, 0, strerror_r(code, buffer, sizeof buffer));
}

// Fails the load at the current line; a cut line was too long to be a record.
file_line_result file_line_failed(file_loader_t *loader, const char *text) {
    file_set_error(loader->error, loader->line_number, loader->cut ? "line too long" : text);
    return file_line_result::failed;
}

file_line_result file_process_line(file_loader_t *loader) {
    loader->line[loader->fill] = '\0';
    // Lines of 9 characters or more are probed with the buffer's capacity, so the probe's length
    // bounds never reject them; a shorter line is handed over with its own length, which the probe
    // rejects, so it ends the load without a look at bytes the line does not hold.
    const size_t probe_length =
        loader->fill >= FILE_PROBE_MIN_LINE ? FILE_LINE_CAPACITY : loader->fill;
    const int type = ihex_get_record_type(loader->line, probe_length);
    if (type < 0 || type == static_cast<int>(IHEX_TYPE_END_OF_FILE))
        return file_line_result::end_of_load;

    ihex_record_t record;
    const int status =
        ihex_decode_record(loader->line, loader->record, FILE_RECORD_CAPACITY, &record);
    if (status == IHEX_BAD_CHECKSUM) return file_line_failed(loader, "bad checksum");
    if (status == IHEX_BAD_DIGIT) {
        if (record.error_at >= loader->fill)
            return file_line_failed(loader, "the record ends early");
        char text[64];
        std::snprintf(text, sizeof text, "not a hex digit in column %zu", record.error_at + 1);
        return file_line_failed(loader, text);
    }
    if (status != IHEX_DECODED) return file_line_failed(loader, "not a valid record");

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
    loader->fill = 0;
    loader->cut = false;
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
    if (loader->fill < FILE_LINE_CAPACITY) {
        if (loader->fill == 0 && !loader->cut) loader->line_number = loader->line_ends + 1;
        loader->line[loader->fill++] = byte;
        return true;
    }
    // A full buffer is processed as a line and this byte dropped; the bytes after it begin the
    // next line (of the same line number).
    loader->cut = true;
    *result = file_process_line(loader);
    return *result == file_line_result::stored;
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
        if (written == 0) {
            errno = EIO;
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// The whole block as the file's text.
std::string file_encode_block(uint16_t start, uint32_t length, const uint8_t *memory) {
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

// A FIFO or a device: written where it is, as there is nothing to replace.
int file_save_in_place(const char *path, const std::string &text, emu_file_error_t *error) {
    // O_NONBLOCK makes opening a FIFO without a reader fail instead of waiting; the writes that
    // follow block as usual.
    const int fd = open(path, O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENXIO)
            file_set_error(error, 0, "no program is reading from the pipe");
        else
            file_set_system_error(error, errno);
        return 1;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        !file_write_all(fd, text.data(), text.size())) {
        file_set_system_error(error, errno);
        close(fd);
        return 1;
    }
    if (close(fd) != 0) {
        file_set_system_error(error, errno);
        return 1;
    }
    return 0;
}

// Creates a new file beside target, with a name no other file has; the mode 0666 lets the
// process's umask decide, as for any new file.
int file_create_temporary(const std::string &target, std::string *temp_path) {
    static std::atomic<unsigned> serial{0};
    const size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temp_path = directory + "." + name + ".save-" + std::to_string(getpid()) + "-" +
                     std::to_string(serial.fetch_add(1));
        const int fd = open(temp_path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

} // namespace

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
    // Without O_NONBLOCK opening a FIFO would wait for a writer.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        file_set_system_error(error, errno);
        return 1;
    }
    // Only regular files: a device such as /dev/zero never reaches its end.
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (S_ISDIR(info.st_mode))
            file_set_system_error(error, EISDIR);
        else
            file_set_error(error, 0, "not a regular file");
        close(fd);
        return 1;
    }

    auto loader = std::make_unique<file_loader_t>();
    loader->image = image;
    loader->memory_size = memory_size;
    loader->error = error;
    file_line_result result = file_line_result::stored;
    char piece[FILE_READ_PIECE];
    for (bool reading = true; reading;) {
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
        // Once the load has ended the rest of the file is not read: it may be endless.
        for (ssize_t i = 0; i < got && reading; ++i)
            reading = file_take_byte(loader.get(), piece[i], &result);
    }
    close(fd);
    return result == file_line_result::failed ? 1 : 0;
}

void emu_store_ihex_image(const emu_ihex_image_t *image, uint8_t *memory, uint32_t memory_size) {
    const uint32_t size = memory_size < FILE_ADDRESS_SPACE ? memory_size : FILE_ADDRESS_SPACE;
    for (uint32_t i = 0; i < size; ++i)
        if (image->stored[i])
            std::atomic_ref<uint8_t>(memory[i]).store(image->data[i], std::memory_order_relaxed);
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
    const std::string text = file_encode_block(start, length, memory);

    // A symbolic link stays a link: the file it points to is the one replaced.
    std::string target = path;
    if (char *resolved = realpath(path, nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    struct stat info {};
    const bool exists = stat(target.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        file_set_system_error(error, EISDIR);
        return 1;
    }
    if (exists && !S_ISREG(info.st_mode)) return file_save_in_place(target.c_str(), text, error);

    std::string temp_path;
    const int fd = file_create_temporary(target, &temp_path);
    if (fd < 0) {
        file_set_system_error(error, errno);
        return 1;
    }
    bool written = true;
    if (exists) {
        // The replacement keeps the old file's permissions and, where allowed, its owner.
        written = fchmod(fd, info.st_mode & 07777) == 0;
        if (written && fchown(fd, info.st_uid, info.st_gid) != 0) errno = 0;
    }
    // fsync makes a file system report a write it could not keep (a full disk) before the
    // replacement, not after.
    written = written && file_write_all(fd, text.data(), text.size()) && fsync(fd) == 0;
    int saved_errno = errno;
    if (close(fd) != 0 && written) {
        written = false;
        saved_errno = errno;
    }
    if (written && rename(temp_path.c_str(), target.c_str()) != 0) {
        written = false;
        saved_errno = errno;
    }
    if (!written) {
        file_set_system_error(error, saved_errno);
        unlink(temp_path.c_str());
        return 1;
    }
    return 0;
}
