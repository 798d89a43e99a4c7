#include "runner/golden.h"

#include "debug/core/engine.h"
#include "devices/graphics.h"
#include "files/input.h"
#include "files/output.h"

namespace {

uint32_t big32(const std::vector<uint8_t> &b, size_t at) {
    return static_cast<uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

// A golden picture is small; anything far larger is not one.
constexpr uint64_t MAX_PICTURE_BYTES = 4 << 20;

// Names are file names in the golden folder: no folders, nothing hidden.
bool good_name(const std::string &name) {
    if (name.empty() || name[0] == '.' || name.size() > 100) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.')
            return false;
    return true;
}

bool write(const std::string &path, const std::string &bytes, std::string *failure) {
    emu_file_error_t reason{};
    if (emu_write_file(path.c_str(), bytes.data(), bytes.size(), &reason)) return true;
    *failure = emu_file_error_message(path, reason);
    return false;
}

} // namespace

bool qt_png_pixels(const std::vector<uint8_t> &png, int *width, int *height,
                   std::vector<uint8_t> *rgb) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (png.size() < 8 || !std::equal(signature, signature + 8, png.begin())) return false;
    std::vector<uint8_t> z;
    bool header = false;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = big32(png, at);
        if (length > png.size() - at - 12) return false;
        const std::string type(png.begin() + at + 4, png.begin() + at + 8);
        const size_t data = at + 8;
        if (type == "IHDR") {
            if (length != 13 || png[data + 8] != 8 || png[data + 9] != 2 || png[data + 12] != 0)
                return false; // 8-bit RGB without interlace only
            *width = static_cast<int>(big32(png, data));
            *height = static_cast<int>(big32(png, data + 4));
            if (*width <= 0 || *height <= 0 || *width > 4096 || *height > 4096) return false;
            header = true;
        } else if (type == "IDAT") {
            z.insert(z.end(), png.begin() + data, png.begin() + data + length);
        }
        at = data + length + 4;
    }
    if (!header || z.size() < 2) return false;
    // The zlib stream: stored blocks only, each a final flag, LEN and its complement.
    std::vector<uint8_t> raw;
    for (size_t at = 2;;) {
        if (at + 5 > z.size() || (z[at] & 0x06) != 0) return false;
        const bool last = z[at] & 1;
        const size_t n = z[at + 1] | z[at + 2] << 8;
        if ((n ^ (z[at + 3] | z[at + 4] << 8)) != 0xFFFF || at + 5 + n > z.size()) return false;
        raw.insert(raw.end(), z.begin() + at + 5, z.begin() + at + 5 + n);
        at += 5 + n;
        if (last) break;
    }
    const size_t row = static_cast<size_t>(*width) * 3;
    if (raw.size() != (row + 1) * static_cast<size_t>(*height)) return false;
    rgb->clear();
    for (int y = 0; y < *height; ++y) {
        const size_t start = y * (row + 1);
        if (raw[start] != 0) return false; // no filter
        rgb->insert(rgb->end(), raw.begin() + start + 1, raw.begin() + start + 1 + row);
    }
    return true;
}

bool qt_screen_check(dbg_engine_t *e, const std::string &dir, bool update, const std::string &name,
                     std::string *failure) {
    if (!good_name(name)) {
        *failure = "bad picture name \"" + name + "\" (letters, digits, _ - . only)";
        return false;
    }
    if (dir.empty()) {
        *failure = "a screen check needs --golden DIR";
        return false;
    }
    const std::string base = dir + "/" + name;
    const std::string frame = dbg_screenshot_png(e);
    if (update) return write(base + ".png", frame, failure);
    std::vector<uint8_t> golden_png;
    emu_file_error_t reason{};
    if (!emu_read_file((base + ".png").c_str(), MAX_PICTURE_BYTES, &golden_png, &reason)) {
        *failure = emu_file_error_message(base + ".png", reason) + " (--update-golden writes it)";
        return false;
    }
    int width = 0, height = 0, w = 0, h = 0;
    std::vector<uint8_t> golden, actual;
    qt_png_pixels(std::vector<uint8_t>(frame.begin(), frame.end()), &w, &h, &actual);
    if (!qt_png_pixels(golden_png, &width, &height, &golden) || width != w || height != h) {
        *failure = base + ".png: not a board screen as quillane-test writes it (--update-golden "
                          "writes one)";
        return false;
    }
    // The cells of the 256 x 192 screen that differ in any pixel; the border is the paper's.
    std::vector<uint8_t> diff(actual.size());
    for (size_t i = 0; i < actual.size(); ++i)
        diff[i] = actual[i] / 3;
    int cells = 0;
    for (int row = 0; row < GFX_SCREEN_HEIGHT / 8; ++row)
        for (int col = 0; col < GFX_SCREEN_WIDTH / 8; ++col) {
            bool differs = false;
            for (int y = 0; y < 8 && !differs; ++y) {
                const size_t at = ((GFX_BORDER_TOP + row * 8 + y) * static_cast<size_t>(w) +
                                   GFX_BORDER_LEFT + col * 8) *
                                  3;
                differs =
                    !std::equal(actual.begin() + at, actual.begin() + at + 24, golden.begin() + at);
            }
            if (!differs) continue;
            ++cells;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) {
                    const size_t at = ((GFX_BORDER_TOP + row * 8 + y) * static_cast<size_t>(w) +
                                       GFX_BORDER_LEFT + col * 8 + x) *
                                      3;
                    diff[at] = 255;
                    diff[at + 1] = actual[at + 1] / 2;
                    diff[at + 2] = actual[at + 2] / 2;
                }
        }
    if (cells == 0) return true;
    *failure = "the screen differs from " + base + ".png in " + std::to_string(cells) +
               (cells == 1 ? " cell" : " cells") + " (" + base + ".actual.png, " + base +
               ".diff.png)";
    std::string ignored;
    write(base + ".actual.png", frame, &ignored);
    write(base + ".diff.png", dbg_png_encode(diff, w, h), &ignored);
    return false;
}
