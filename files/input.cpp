// Bounded reading from regular files (and, line by line, standard input).
#include "files/input.h"
#include "files/error_text.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t INPUT_READ_PIECE = 16384;

void input_set_error(emu_file_error_t *error, uint32_t line, const char *text) {
    if (!error) return;
    error->line = line;
    std::snprintf(error->text, sizeof error->text, "%s", text);
}

void input_set_system_error(emu_file_error_t *error, int code) {
    char buffer[sizeof error->text];
    input_set_error(error, 0, emu_error_text(code, buffer, sizeof buffer));
}

// "too large (2147483648 bytes; at most 64 MiB)"
void input_set_too_large(emu_file_error_t *error, uint64_t size, uint64_t max_bytes) {
    char limit[40];
    if (max_bytes % (1u << 20) == 0)
        std::snprintf(limit, sizeof limit, "%" PRIu64 " MiB", max_bytes >> 20);
    else
        std::snprintf(limit, sizeof limit, "%" PRIu64 " bytes", max_bytes);
    char text[sizeof error->text];
    std::snprintf(text, sizeof text, "too large (%" PRIu64 " bytes; at most %s)", size, limit);
    input_set_error(error, 0, text);
}

} // namespace

const char *emu_not_regular_reason(uint32_t mode) {
    if (S_ISFIFO(mode)) return "not a regular file (a FIFO)";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "not a regular file (a device)";
    if (S_ISSOCK(mode)) return "not a regular file (a socket)";
    return "not a regular file";
}

int emu_input_open(const char *path, uint64_t max_bytes, emu_file_error_t *error,
                   const char *not_regular) {
    input_set_error(error, 0, "");
    if (!path || !*path) {
        input_set_error(error, 0, "no file name given");
        return -1;
    }
    // Without O_NONBLOCK opening a FIFO would wait for a writer. Reads from a regular file
    // ignore the flag.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        input_set_system_error(error, errno);
        return -1;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        input_set_system_error(error, errno);
        close(fd);
        return -1;
    }
    // A device such as /dev/zero never ends, a FIFO may never answer.
    if (!S_ISREG(info.st_mode)) {
        if (S_ISDIR(info.st_mode))
            input_set_system_error(error, EISDIR);
        else
            input_set_error(error, 0,
                            not_regular ? not_regular : emu_not_regular_reason(info.st_mode));
        close(fd);
        return -1;
    }
    if (max_bytes && static_cast<uint64_t>(info.st_size) > max_bytes) {
        input_set_too_large(error, static_cast<uint64_t>(info.st_size), max_bytes);
        close(fd);
        return -1;
    }
    return fd;
}

bool emu_read_file(const char *path, uint64_t max_bytes, std::vector<uint8_t> *bytes,
                   emu_file_error_t *error) {
    bytes->clear();
    const int fd = emu_input_open(path, max_bytes, error);
    if (fd < 0) return false;
    struct stat info {};
    fstat(fd, &info);
    bytes->reserve(static_cast<size_t>(info.st_size));
    // One byte more than the bound tells a file that grew past it.
    const uint64_t bound = max_bytes ? max_bytes + 1 : UINT64_MAX;
    uint8_t piece[INPUT_READ_PIECE];
    for (;;) {
        const uint64_t room = bound - bytes->size();
        const ssize_t got = read(fd, piece, room < sizeof piece ? room : sizeof piece);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            input_set_system_error(error, errno);
            break;
        }
        if (got == 0) {
            close(fd);
            return true;
        }
        bytes->insert(bytes->end(), piece, piece + got);
        if (bytes->size() > max_bytes && max_bytes) {
            input_set_too_large(error, bytes->size(), max_bytes);
            break;
        }
    }
    close(fd);
    bytes->clear();
    return false;
}

bool emu_reader_open(emu_line_reader_t *reader, const char *path, emu_file_error_t *error,
                     uint64_t max_bytes, bool standard_input) {
    *reader = emu_line_reader_t{};
    reader->max_bytes = max_bytes;
    if (standard_input && path && std::strcmp(path, "-") == 0) {
        input_set_error(error, 0, "");
        reader->fd = STDIN_FILENO;
        return true;
    }
    const int fd = emu_input_open(
        path, max_bytes, error,
        standard_input ? "not a regular file (a file or - for standard input)" : nullptr);
    if (fd < 0) return false;
    reader->fd = fd;
    reader->owned = true;
    return true;
}

int emu_reader_next(emu_line_reader_t *reader, std::string *line, emu_file_error_t *error,
                    int *error_code) {
    if (error_code) *error_code = 0;
    for (;;) {
        const size_t end = reader->pending.find('\n');
        if (end != std::string::npos || reader->at_end ||
            reader->pending.size() > EMU_MAX_LINE_BYTES) {
            if (end == std::string::npos && reader->pending.empty()) return 0;
            const size_t length = end == std::string::npos ? reader->pending.size() : end;
            ++reader->line;
            if (length > EMU_MAX_LINE_BYTES) {
                input_set_error(error, reader->line, "the line is longer than 64 KiB");
                reader->pending.clear();
                reader->at_end = true;
                return -1;
            }
            line->assign(reader->pending, 0, length);
            if (!line->empty() && line->back() == '\r' && end != std::string::npos)
                line->pop_back();
            reader->pending.erase(0, end == std::string::npos ? length : end + 1);
            return 1;
        }
        char piece[INPUT_READ_PIECE];
        const ssize_t got = read(reader->fd, piece, sizeof piece);
        if (got < 0) {
            if (error_code) *error_code = errno;
            input_set_system_error(error, errno);
            return -1;
        }
        if (got == 0) {
            reader->at_end = true;
        } else {
            reader->total += static_cast<uint64_t>(got);
            if (reader->max_bytes && reader->total > reader->max_bytes) {
                input_set_too_large(error, reader->total, reader->max_bytes);
                reader->pending.clear();
                reader->at_end = true;
                return -1;
            }
            reader->pending.append(piece, static_cast<size_t>(got));
        }
    }
}

void emu_reader_close(emu_line_reader_t *reader) {
    if (reader->owned && reader->fd >= 0) close(reader->fd);
    *reader = emu_line_reader_t{};
}
