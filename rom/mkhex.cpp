// quillane-mkhex IN.bin ORG OUT.hex: turns a raw binary assembled for address ORG (hexadecimal,
// with or without a 0x prefix) into an Intel HEX image of 32-byte data records, written by the
// emulator's own saver so that the images read back exactly as the program loads them.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "files/file.h"

namespace {

// The whole address space: the saver takes its bytes from a memory image.
uint8_t memory[65536];

bool mkhex_parse_org(const char *text, uint32_t *org) {
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
    if (*text == '\0') return false;
    uint32_t value = 0;
    for (; *text; ++text) {
        const char c = *text;
        uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = value * 16 + digit;
        if (value > 0xFFFF) return false;
    }
    *org = value;
    return true;
}

bool mkhex_read_file(const char *path, std::vector<uint8_t> *data) {
    FILE *file = std::fopen(path, "rb");
    if (!file) return false;
    uint8_t chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        data->insert(data->end(), chunk, chunk + got);
        // Nothing larger than the address space can be placed; stop reading early.
        if (data->size() > sizeof memory) break;
    }
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: quillane-mkhex IN.bin ORG OUT.hex (ORG in hexadecimal)\n");
        return 2;
    }
    uint32_t org = 0;
    if (!mkhex_parse_org(argv[2], &org)) {
        std::fprintf(stderr, "quillane-mkhex: bad load address '%s' (hexadecimal 0-FFFF)\n",
                     argv[2]);
        return 2;
    }
    std::vector<uint8_t> data;
    if (!mkhex_read_file(argv[1], &data)) {
        std::fprintf(stderr, "quillane-mkhex: cannot read %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    if (data.empty()) {
        std::fprintf(stderr, "quillane-mkhex: %s is empty\n", argv[1]);
        return 1;
    }
    if (org + data.size() > sizeof memory) {
        std::fprintf(stderr, "quillane-mkhex: %zu bytes at %04X run past FFFF\n", data.size(),
                     static_cast<unsigned>(org));
        return 1;
    }
    std::memcpy(memory + org, data.data(), data.size());
    if (emu_save_ihex_file(argv[3], static_cast<uint16_t>(org), static_cast<uint32_t>(data.size()),
                           memory, sizeof memory) != 0) {
        std::fprintf(stderr, "quillane-mkhex: cannot write %s\n", argv[3]);
        std::remove(argv[3]);
        return 1;
    }
    return 0;
}
