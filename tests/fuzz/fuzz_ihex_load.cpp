// Writes arbitrary bytes to a file and loads it as a HEX image into a 64 KB array with guard
// bytes on both sides, and once more into a small memory, checking that nothing outside the
// memory is touched.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

#include "files/file.h"

namespace {

constexpr size_t GUARD = 64;
constexpr uint8_t GUARD_BYTE = 0x5C;
constexpr uint32_t MEMORY_SIZE = 65536;
constexpr uint32_t SMALL_MEMORY_SIZE = 0x100;

void check(bool condition) {
    if (!condition) std::abort();
}

// One file per process, rewritten for every input.
struct fuzz_file_t {
    std::string path;
    int fd = -1;
    fuzz_file_t() {
        const char *tmp = std::getenv("TMPDIR");
        path = std::string(tmp && *tmp ? tmp : "/tmp") + "/quillane-fuzz-load-XXXXXX";
        fd = mkstemp(path.data());
        check(fd >= 0);
    }
    ~fuzz_file_t() {
        close(fd);
        unlink(path.c_str());
    }
    void write_all(const uint8_t *data, size_t size) const {
        check(ftruncate(fd, 0) == 0);
        size_t done = 0;
        while (done < size) {
            const ssize_t written = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
            check(written > 0);
            done += static_cast<size_t>(written);
        }
    }
};

void load_guarded(const std::string &path, uint32_t memory_size) {
    const size_t total = GUARD + memory_size + GUARD;
    std::unique_ptr<uint8_t[]> block(new uint8_t[total]);
    std::memset(block.get(), GUARD_BYTE, total);
    uint8_t *memory = block.get() + GUARD;
    uint16_t start = 0x1234;
    const int result = emu_load_ihex_file(path.c_str(), &start, memory, memory_size);
    check(result == 0 || result == 1);
    for (size_t i = 0; i < GUARD; ++i) {
        check(block[i] == GUARD_BYTE);
        check(block[GUARD + memory_size + i] == GUARD_BYTE);
    }
    // The start is a stored record's address, which lies inside memory, or 0xFFFF.
    check(start == 0xFFFF || start < memory_size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static fuzz_file_t file;
    file.write_all(data, size);
    load_guarded(file.path, MEMORY_SIZE);
    load_guarded(file.path, SMALL_MEMORY_SIZE);
    return 0;
}
