// Screen read-back: cell bitmaps from video memory, matched against the monitor's font.
#include "harness_screen.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "harness.h"

namespace {

constexpr uint16_t bitmap_base = 0x2000;
constexpr uint16_t attr_base = 0x3800;
constexpr int glyph_count = 96; // codes 0x20-0x7F

const std::string rom_dir = QUILLANE_BUILD_DIR "/rom";

std::map<std::string, int> read_symbols(const std::string &path) {
    std::map<std::string, int> out;
    std::ifstream in(path);
    std::string line;
    // pasmo writes "name<TAB>EQU 0XXXXH".
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name, equ, value;
        if (!(fields >> name >> equ >> value) || equ != "EQU" || value.size() < 2) continue;
        if (value.back() == 'H' || value.back() == 'h') value.pop_back();
        out[name] = static_cast<int>(std::stoul(value, nullptr, 16));
    }
    return out;
}

struct font_t {
    bool loaded = false;
    uint8_t glyphs[glyph_count][8] = {};
};

const font_t &font() {
    static const font_t table = [] {
        font_t out;
        const int address = rom_symbol("font");
        std::ifstream in(rom_dir + "/tessik.bin", std::ios::binary);
        const std::vector<char> rom((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
        if (address < 0 || address + glyph_count * 8 > static_cast<int>(rom.size())) return out;
        std::memcpy(out.glyphs, rom.data() + address, sizeof out.glyphs);
        out.loaded = true;
        return out;
    }();
    return table;
}

} // namespace

int z80_symbol(const std::string &symbol_file, const std::string &name) {
    // Each file is read once; the tests ask for the same few names many times.
    static std::map<std::string, std::map<std::string, int>> files;
    auto file = files.find(symbol_file);
    if (file == files.end()) file = files.emplace(symbol_file, read_symbols(symbol_file)).first;
    const auto found = file->second.find(name);
    return found == file->second.end() ? -1 : found->second;
}

int rom_symbol(const std::string &name) {
    return z80_symbol(rom_dir + "/tessik.sym", name);
}

char screen_char(int row, int col) {
    const font_t &f = font();
    EXPECT_TRUE(f.loaded) << "the monitor's font could not be read from " << rom_dir;
    uint8_t cell[8];
    for (int k = 0; k < 8; ++k)
        cell[k] = harness_peek(static_cast<uint16_t>(bitmap_base + 256 * row + 32 * k + col));
    for (int g = 0; g < glyph_count; ++g)
        if (std::memcmp(cell, f.glyphs[g], 8) == 0) return static_cast<char>(0x20 + g);
    return SCREEN_UNKNOWN;
}

uint8_t screen_attr(int row, int col) {
    return harness_peek(static_cast<uint16_t>(attr_base + 32 * row + col));
}

std::string screen_line(int row) {
    std::string line;
    for (int col = 0; col < SCREEN_COLS; ++col)
        line += screen_char(row, col);
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}

std::vector<std::string> screen_lines() {
    std::vector<std::string> lines;
    for (int row = 0; row < SCREEN_ROWS; ++row)
        lines.push_back(screen_line(row));
    return lines;
}

std::string screen_dump() {
    const int last = screen_last_row();
    std::string out;
    for (int row = 0; row <= last; ++row)
        out += screen_line(row) + "\n";
    return out;
}

int screen_last_row() {
    for (int row = SCREEN_ROWS - 1; row >= 0; --row)
        if (!screen_line(row).empty()) return row;
    return -1;
}

int screen_find(const std::string &text) {
    for (int row = 0; row < SCREEN_ROWS; ++row)
        if (screen_line(row).find(text) != std::string::npos) return row;
    return -1;
}

bool screen_key_for(char c, uint8_t *vk, bool *shift) {
    *shift = false;
    if (c >= 'a' && c <= 'z') {
        *vk = static_cast<uint8_t>(c - 'a' + 'A');
        return true;
    }
    if (c >= 'A' && c <= 'Z') {
        *vk = static_cast<uint8_t>(c);
        *shift = true;
        return true;
    }
    if (c >= '0' && c <= '9') {
        *vk = static_cast<uint8_t>(c);
        return true;
    }
    // Keys of a US keyboard: unshifted and shifted character, virtual-key code.
    static const struct {
        char plain, shifted;
        uint8_t vk;
    } keys[] = {
        {'`', '~', 0xC0},  {'-', '_', 0xBD}, {'=', '+', 0xBB},  {'[', '{', 0xDB}, {']', '}', 0xDD},
        {'\\', '|', 0xDC}, {';', ':', 0xBA}, {'\'', '"', 0xDE}, {',', '<', 0xBC}, {'.', '>', 0xBE},
        {'/', '?', 0xBF},  {' ', 0, 0x20},   {'\n', 0, 0x0D},   {'\b', 0, 0x08},  {'\t', 0, 0x09},
    };
    static const char digits_shifted[] = ")!@#$%^&*(";
    for (int d = 0; d < 10; ++d)
        if (c == digits_shifted[d]) {
            *vk = static_cast<uint8_t>('0' + d);
            *shift = true;
            return true;
        }
    for (const auto &key : keys) {
        if (c == key.plain) {
            *vk = key.vk;
            return true;
        }
        if (key.shifted && c == key.shifted) {
            *vk = key.vk;
            *shift = true;
            return true;
        }
    }
    return false;
}

void screen_type(const std::string &text, uint64_t hold_ticks, uint64_t gap_ticks) {
    constexpr uint8_t vk_shift = 0x10;
    for (const char c : text) {
        uint8_t vk;
        bool shift;
        if (!screen_key_for(c, &vk, &shift)) {
            ADD_FAILURE() << "no key types character " << static_cast<int>(c);
            continue;
        }
        if (shift) {
            harness_key_down(vk_shift);
            harness_run_ticks(gap_ticks / 4);
        }
        harness_key_down(vk);
        harness_run_ticks(hold_ticks);
        harness_key_up(vk);
        if (shift) {
            harness_run_ticks(gap_ticks / 4);
            harness_key_up(vk_shift);
        }
        harness_run_ticks(gap_ticks);
    }
}
