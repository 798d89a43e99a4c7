// Writing files safely: a temporary file renamed over the target, or in place for pipes and
// devices.
#include "files/output.h"
#include "files/error_text.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bytes gathered before a write; a trace line or a sound value at a time would be slow.
constexpr size_t OUTPUT_BUFFER_BYTES = 65536;

void output_set_error(emu_file_error_t *error, const char *text) {
    if (!error) return;
    error->line = 0;
    std::snprintf(error->text, sizeof error->text, "%s", text);
}

void output_set_system_error(emu_file_error_t *error, int code) {
    char buffer[sizeof error->text];
    output_set_error(error, emu_error_text(code, buffer, sizeof buffer));
}

// write(2) may take only part of the bytes (a pipe, a signal); loop until all are written.
bool output_write_all(int fd, const char *bytes, size_t size) {
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

bool output_flush(emu_output_t *out) {
    if (out->error_code != 0) return false;
    if (out->buffer.empty()) return true;
    if (!output_write_all(out->fd, out->buffer.data(), out->buffer.size())) {
        out->error_code = errno;
        return false;
    }
    out->written += out->buffer.size();
    out->buffer.clear();
    return true;
}

// Paths that name something other than a file to replace, whatever stat says of them:
// /dev/stdout of a process whose output goes to a file is still its output.
bool output_system_path(const std::string &path) {
    return path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0;
}

bool output_open_in_place(emu_output_t *out, const std::string &path, bool regular,
                          emu_file_error_t *error) {
    // O_NONBLOCK makes opening a FIFO without a reader fail (ENXIO) instead of waiting; the
    // writes that follow block as usual.
    const int fd =
        open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (regular ? O_TRUNC : 0));
    if (fd < 0) {
        if (errno == ENXIO)
            output_set_error(error, "no program is reading from the pipe");
        else
            output_set_system_error(error, errno);
        return false;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        output_set_system_error(error, errno);
        close(fd);
        return false;
    }
    out->fd = fd;
    out->in_place = true;
    out->target = path;
    return true;
}

// Creates a new file in target's folder, with a name no other file has; the mode 0666 lets the
// process's umask decide, as for any new file. The name is a short prefix and a random suffix, not
// the target's name with something added, so it fits wherever the target's name fits.
int output_create_temporary(const std::string &target, std::string *temp_path) {
    static std::atomic<unsigned> serial{0};
    const size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    uint64_t seed = static_cast<uint64_t>(getpid()) << 32 ^ static_cast<uint64_t>(time(nullptr));
    for (int attempt = 0; attempt < 100; ++attempt) {
        // splitmix64 of the process, the time and a counter: names differ between writers.
        uint64_t z = (seed += 0x9E3779B97F4A7C15ull) + serial.fetch_add(1);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        char suffix[17];
        std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(z));
        *temp_path = directory + ".quillane-" + suffix;
        const int fd = open(temp_path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Follows symbolic links from path to the file they end at, which need not exist yet (a dangling
// link names the file to create), as editors write through a link. False with errno set on a
// loop of links or a link that cannot be read.
bool output_follow_links(const std::string &path, std::string *target) {
    *target = path;
    for (int hops = 0;; ++hops) {
        // /dev/stdout leads to /proc's links, which name pipes, not paths: written in place.
        if (output_system_path(*target)) return true;
        struct stat info {};
        if (lstat(target->c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
        if (hops == 40) {
            errno = ELOOP;
            return false;
        }
        std::string text(static_cast<size_t>(info.st_size) + 256, '\0');
        const ssize_t size = readlink(target->c_str(), text.data(), text.size());
        if (size < 0) return false;
        if (static_cast<size_t>(size) >= text.size()) {
            errno = ENAMETOOLONG;
            return false;
        }
        text.resize(static_cast<size_t>(size));
        const size_t slash = target->rfind('/');
        if (text.empty() || text[0] == '/' || slash == std::string::npos)
            *target = text;
        else
            *target = target->substr(0, slash + 1) + text;
    }
}

void output_reset(emu_output_t *out) {
    out->fd = -1;
    out->temp_path.clear();
    out->buffer.clear();
    out->buffer.shrink_to_fit();
}

} // namespace

bool emu_output_open(emu_output_t *out, const char *path, emu_file_error_t *error) {
    *out = emu_output_t{};
    output_set_error(error, "");
    if (!path || !*path) {
        output_set_error(error, "no file name given");
        return false;
    }
    // A symbolic link stays a link: the file it points to is the one replaced or created.
    std::string target;
    if (!output_follow_links(path, &target)) {
        output_set_system_error(error, errno);
        return false;
    }
    struct stat info {};
    const bool exists = stat(target.c_str(), &info) == 0;
    // A name too long, or a path through a file: refused now, not at the rename after the run.
    if (!exists && errno != ENOENT) {
        output_set_system_error(error, errno);
        return false;
    }
    if (exists && S_ISDIR(info.st_mode)) {
        output_set_system_error(error, EISDIR);
        return false;
    }
    if (output_system_path(target) || (exists && !S_ISREG(info.st_mode)))
        return output_open_in_place(out, target, exists && S_ISREG(info.st_mode), error);

    const int fd = output_create_temporary(target, &out->temp_path);
    if (fd < 0) {
        if (errno == ENOENT)
            output_set_error(error, "the folder does not exist");
        else
            output_set_system_error(error, errno);
        output_reset(out);
        return false;
    }
    // The replacement keeps the old file's permissions and, where allowed, its owner.
    if (exists && fchmod(fd, info.st_mode & 07777) != 0) {
        output_set_system_error(error, errno);
        close(fd);
        unlink(out->temp_path.c_str());
        output_reset(out);
        return false;
    }
    if (exists && fchown(fd, info.st_uid, info.st_gid) != 0) {
        // Only the owner's own group or a privileged process may give the file away; the new
        // file is the writer's then.
    }
    out->fd = fd;
    out->target = target;
    return true;
}

bool emu_output_write(emu_output_t *out, const void *bytes, size_t size) {
    if (out->fd < 0 || out->error_code != 0) return false;
    out->buffer.append(static_cast<const char *>(bytes), size);
    return out->buffer.size() < OUTPUT_BUFFER_BYTES || output_flush(out);
}

bool emu_output_patch(emu_output_t *out, uint64_t offset, const void *bytes, size_t size) {
    if (out->fd < 0 || out->in_place || !output_flush(out)) return false;
    const char *at = static_cast<const char *>(bytes);
    while (size > 0) {
        const ssize_t written = pwrite(out->fd, at, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            out->error_code = written < 0 ? errno : EIO;
            return false;
        }
        at += written;
        offset += static_cast<uint64_t>(written);
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool emu_output_close(emu_output_t *out, emu_file_error_t *error) {
    output_set_error(error, "");
    if (out->fd < 0) return true;
    // fsync makes a file system report a write it could not keep (a full disk) before the
    // replacement, not after.
    bool good = output_flush(out) && (out->in_place || fsync(out->fd) == 0);
    int code = good ? 0 : (out->error_code != 0 ? out->error_code : errno);
    if (close(out->fd) != 0 && good) {
        good = false;
        code = errno;
    }
    if (good && !out->in_place && rename(out->temp_path.c_str(), out->target.c_str()) != 0) {
        good = false;
        code = errno;
    }
    if (!good) {
        output_set_system_error(error, code != 0 ? code : EIO);
        if (!out->in_place) unlink(out->temp_path.c_str());
    }
    output_reset(out);
    return good;
}

void emu_output_discard(emu_output_t *out) {
    if (out->fd < 0) return;
    close(out->fd);
    if (!out->in_place) unlink(out->temp_path.c_str());
    output_reset(out);
}

bool emu_write_file(const char *path, const void *bytes, size_t size, emu_file_error_t *error) {
    emu_output_t out;
    if (!emu_output_open(&out, path, error)) return false;
    emu_output_write(&out, bytes, size);
    return emu_output_close(&out, error);
}
