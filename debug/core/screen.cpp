// What the screen and memory look like from outside: the text on the screen read back through the
// monitor's font, the frame as a PNG file, and memory blocks as Intel HEX or raw files.
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "devices/graphics.h"
#include "files/file.h"
#include "files/output.h"
#include "machine/emu.h"
#include "machine/relaxed.h"

namespace {

constexpr uint16_t bitmap_base = 0x2000;
constexpr uint16_t attribute_base = 0x3800; // a colour byte per cell, row by row
constexpr int glyph_count = 96;             // codes 0x20-0x7F

// The monitor's font begins with these glyphs: space, '!' and '"'. Any ROM that draws its text
// with that font holds them in this order.
constexpr uint8_t font_signature[24] = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // space
    0x10, 0x10, 0x10, 0x10, 0x10, 0x00, 0x10, 0x00, // !
    0x28, 0x28, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00, // "
};

uint8_t load(const uint8_t *memory, uint32_t address) {
    return emu_relaxed_load(memory[address]);
}

bool signature_at(const uint8_t *memory, uint32_t address) {
    for (uint32_t i = 0; i < sizeof font_signature; ++i)
        if (load(memory, address + i) != font_signature[i]) return false;
    return true;
}

// ---- PNG without a library: stored (uncompressed) deflate blocks in a zlib stream ----

} // namespace

uint32_t dbg_crc32(uint32_t crc, const uint8_t *data, size_t size) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

namespace {

void put32(std::vector<uint8_t> &out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

void chunk(std::vector<uint8_t> &out, const char *type, const std::vector<uint8_t> &data) {
    put32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(out, dbg_crc32(0, out.data() + start, out.size() - start));
}

std::vector<uint8_t> png_encode(const uint8_t *rgb, int width, int height) {
    std::vector<uint8_t> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0); // filter: none
        raw.insert(raw.end(), rgb + y * width * 3, rgb + (y + 1) * width * 3);
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    for (size_t at = 0; at < raw.size();) {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.push_back(static_cast<uint8_t>(n));
        z.push_back(static_cast<uint8_t>(n >> 8));
        z.push_back(static_cast<uint8_t>(~n));
        z.push_back(static_cast<uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<long>(at),
                 raw.begin() + static_cast<long>(at + n));
        at += n;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, b << 16 | a);
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> header;
    put32(header, static_cast<uint32_t>(width));
    put32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit RGB, no interlace
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", {});
    return png;
}

} // namespace

int dbg_font_address(const uint8_t *memory) {
    static std::atomic<int> cached{-1};
    const int known = cached.load(std::memory_order_relaxed);
    if (known >= 0 && signature_at(memory, static_cast<uint32_t>(known))) return known;
    for (uint32_t address = 0; address + glyph_count * 8 <= EMU_MEMORY_SIZE; ++address)
        if (signature_at(memory, address)) {
            cached.store(static_cast<int>(address), std::memory_order_relaxed);
            return static_cast<int>(address);
        }
    return -1;
}

static char screen_char_with(const uint8_t *memory, int font, int row, int col) {
    if (font < 0) return 0;
    uint8_t cell[8];
    for (int k = 0; k < 8; ++k)
        cell[k] = load(memory, static_cast<uint32_t>(bitmap_base + 256 * row + 32 * k + col));
    for (int g = 0; g < glyph_count; ++g) {
        bool same = true;
        for (int k = 0; k < 8 && same; ++k)
            same = load(memory, static_cast<uint32_t>(font + 8 * g + k)) == cell[k];
        if (same) return static_cast<char>(0x20 + g);
    }
    return 0;
}

char dbg_screen_char(const uint8_t *memory, int row, int col) {
    return screen_char_with(memory, dbg_font_address(memory), row, col);
}

std::vector<std::string> dbg_screen_text(const uint8_t *memory, char unknown) {
    const int font = dbg_font_address(memory);
    std::vector<std::string> lines;
    for (int row = 0; row < DBG_SCREEN_ROWS; ++row) {
        std::string line;
        for (int col = 0; col < DBG_SCREEN_COLS; ++col) {
            const char c = screen_char_with(memory, font, row, col);
            line += (c == 0 || c == 0x7F) ? unknown : c;
        }
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> dbg_screen_cells(const uint8_t *memory) {
    std::vector<std::string> lines = dbg_screen_text(memory);
    for (int row = 0; row < DBG_SCREEN_ROWS; ++row) {
        const std::string text = lines[row];
        char number[8];
        std::snprintf(number, sizeof number, "%02d:", row);
        std::string line = number;
        for (int col = 0; col < DBG_SCREEN_COLS; ++col) {
            const uint8_t attribute = load(memory, attribute_base + row * DBG_SCREEN_COLS + col);
            line += ' ';
            line += text[col];
            line += '/' + dbg_hex2(attribute);
        }
        lines[row] = line;
    }
    return lines;
}

std::string dbg_screenshot_png(dbg_engine_t *e) {
    // A frame of its own: the display thread may be decoding into the machine's.
    auto gfx = std::make_unique<gfx_t>();
    gfx_initialize(gfx.get(), e->emu->memory + EMU_VIDEO_MEMORY);
    gfx_decode_frame(gfx.get());
    std::vector<uint8_t> rgb(GFX_FRAME_WIDTH * GFX_FRAME_HEIGHT * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = gfx->frame_pixels[i + 2]; // the frame is blue-green-red
        rgb[i + 1] = gfx->frame_pixels[i + 1];
        rgb[i + 2] = gfx->frame_pixels[i];
    }
    const std::vector<uint8_t> png = png_encode(rgb.data(), GFX_FRAME_WIDTH, GFX_FRAME_HEIGHT);
    return std::string(png.begin(), png.end());
}

std::string dbg_png_encode(const std::vector<uint8_t> &rgb, int width, int height) {
    const std::vector<uint8_t> png = png_encode(rgb.data(), width, height);
    return std::string(png.begin(), png.end());
}

bool dbg_screenshot(dbg_engine_t *e, const std::string &path, std::string *error) {
    const std::string png = dbg_screenshot_png(e);
    emu_file_error_t reason{};
    if (emu_write_file(path.c_str(), png.data(), png.size(), &reason)) return true;
    *error = emu_file_error_message(path, reason);
    return false;
}

std::string dbg_memory_file(dbg_engine_t *e, const std::string &path, uint16_t address,
                            uint32_t length, std::string *error) {
    if (length == 0 || address + length > EMU_MEMORY_SIZE) {
        *error =
            "Range past FFFF or empty: " + dbg_hex4(address) + " length " + std::to_string(length);
        return "";
    }
    const bool raw = path.size() >= 4 && path.compare(path.size() - 4, 4, ".bin") == 0;
    const std::vector<uint8_t> copy = dbg_memory(e);
    if (raw) return std::string(copy.begin() + address, copy.begin() + address + length);
    return emu_ihex_text(copy.data(), address, length);
}

bool dbg_save_memory(dbg_engine_t *e, const std::string &path, uint16_t address, uint32_t length,
                     std::string *error) {
    const std::string bytes = dbg_memory_file(e, path, address, length, error);
    if (bytes.empty()) return false;
    emu_file_error_t reason{};
    if (emu_write_file(path.c_str(), bytes.data(), bytes.size(), &reason)) return true;
    *error = emu_file_error_message(path, reason);
    return false;
}
