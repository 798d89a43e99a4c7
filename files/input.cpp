// Bounded line reading from regular files and standard input.
#include "files/input.h"

#include <cerrno>
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
    input_set_error(error, 0, strerror_r(code, buffer, sizeof buffer));
}

} // namespace

bool emu_reader_open(emu_line_reader_t *reader, const char *path, emu_file_error_t *error) {
    *reader = emu_line_reader_t{};
    input_set_error(error, 0, "");
    if (!path || !*path) {
        input_set_error(error, 0, "no file name given");
        return false;
    }
    if (std::strcmp(path, "-") == 0) {
        reader->fd = STDIN_FILENO;
        return true;
    }
    // Without O_NONBLOCK opening a FIFO would wait for a writer.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        input_set_system_error(error, errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (S_ISDIR(info.st_mode))
            input_set_system_error(error, EISDIR);
        else
            input_set_error(error, 0, "not a regular file (a file or - for standard input)");
        close(fd);
        return false;
    }
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
        if (got == 0)
            reader->at_end = true;
        else
            reader->pending.append(piece, static_cast<size_t>(got));
    }
}

void emu_reader_close(emu_line_reader_t *reader) {
    if (reader->owned && reader->fd >= 0) close(reader->fd);
    *reader = emu_line_reader_t{};
}
