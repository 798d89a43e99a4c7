// Reads the monitor's text screen out of a screenshot of the real window, for the end-to-end
// tests: finds the picture (the box that the paper colour fills), takes the board's pixels at their
// centres, and matches each 8 x 8 cell against the monitor's font from the assembled ROM. Usage:
// screen_text SHOT.ppm tessik.bin tessik.sym Prints the 24 text rows (trailing spaces removed; a
// cell that matches no glyph, such as the cursor's inverted cell, prints as '\x1A'). Exit code 0 on
// success, 1 on unreadable input.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct image_t {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    uint32_t at(int x, int y) const {
        const uint8_t *p = &rgb[3 * (static_cast<size_t>(y) * width + x)];
        return p[0] << 16 | p[1] << 8 | p[2];
    }
};

// Next header number of a PPM file, skipping white space and # comments (ImageMagick puts the
// picture's title there).
bool ppm_number(std::istream &in, int *value) {
    for (;;) {
        const int c = in.peek();
        if (c == '#') {
            std::string comment;
            std::getline(in, comment);
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            in.get();
        } else {
            break;
        }
    }
    return static_cast<bool>(in >> *value);
}

// Binary PPM (P6, maxval 255), as ImageMagick writes it.
bool read_ppm(const char *path, image_t *image) {
    std::ifstream in(path, std::ios::binary);
    char magic[2] = {};
    int maxval = 0;
    if (!in.read(magic, 2) || magic[0] != 'P' || magic[1] != '6' ||
        !ppm_number(in, &image->width) || !ppm_number(in, &image->height) ||
        !ppm_number(in, &maxval) || maxval != 255 || image->width <= 0 || image->height <= 0 ||
        image->width > 10000 || image->height > 10000)
        return false;
    in.get();
    image->rgb.resize(3 * static_cast<size_t>(image->width) * image->height);
    in.read(reinterpret_cast<char *>(image->rgb.data()),
            static_cast<std::streamsize>(image->rgb.size()));
    return static_cast<size_t>(in.gcount()) == image->rgb.size();
}

int font_address(const char *sym_path) {
    std::ifstream in(sym_path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name, equ, value;
        if (fields >> name >> equ >> value && name == "font" && equ == "EQU" && value.size() > 1)
            return static_cast<int>(std::stoul(value.substr(0, value.size() - 1), nullptr, 16));
    }
    return -1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: screen_text SHOT.ppm tessik.bin tessik.sym\n");
        return 1;
    }
    image_t image;
    if (!read_ppm(argv[1], &image)) {
        std::fprintf(stderr, "screen_text: cannot read %s as a binary PPM\n", argv[1]);
        return 1;
    }
    std::ifstream rom_file(argv[2], std::ios::binary);
    const std::vector<char> rom((std::istreambuf_iterator<char>(rom_file)),
                                std::istreambuf_iterator<char>());
    const int font = font_address(argv[3]);
    if (font < 0 || font + 96 * 8 > static_cast<int>(rom.size())) {
        std::fprintf(stderr, "screen_text: no font in %s / %s\n", argv[2], argv[3]);
        return 1;
    }

    // The paper is the most common colour that is not black (the border and the bars are
    // black, the menu and status bars are small); the picture is the box that it fills, as
    // every cell's outer column and the glyphs' left column are always paper.
    std::map<uint32_t, long> counts;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            ++counts[image.at(x, y)];
    uint32_t paper = 0;
    long most = 0;
    for (const auto &[colour, count] : counts)
        if (colour != 0 && count > most) {
            most = count;
            paper = colour;
        }
    int left = image.width, right = -1, top = image.height, bottom = -1;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.at(x, y) == paper) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    const double scale_x = (right - left + 1) / 256.0, scale_y = (bottom - top + 1) / 192.0;
    if (right < 0 || scale_x < 1 || scale_y < 1) {
        std::fprintf(stderr, "screen_text: no picture in %s\n", argv[1]);
        return 1;
    }
    auto board = [&](int x, int y) {
        return image.at(left + static_cast<int>((x + 0.5) * scale_x),
                        top + static_cast<int>((y + 0.5) * scale_y));
    };

    for (int row = 0; row < 24; ++row) {
        std::string line;
        for (int col = 0; col < 32; ++col) {
            uint8_t cell[8] = {};
            for (int k = 0; k < 8; ++k)
                for (int b = 0; b < 8; ++b)
                    if (board(8 * col + b, 8 * row + k) != paper)
                        cell[k] |= static_cast<uint8_t>(0x80 >> b);
            char ch = '\x1A';
            for (int g = 0; g < 96; ++g)
                if (std::memcmp(cell, rom.data() + font + 8 * g, 8) == 0) {
                    ch = static_cast<char>(0x20 + g);
                    break;
                }
            line += ch;
        }
        line.erase(line.find_last_not_of(' ') + 1);
        std::printf("%s\n", line.c_str());
    }
    return 0;
}
