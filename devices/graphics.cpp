// The board's display: decodes video memory into the 320 x 240 frame and works out where the
// frame goes in the window. The window's presenter (host/) puts it on the screen.
#include "devices/graphics.h"

#include <atomic>
#include <cstring>

#include "devices/present.h"
#include "machine/relaxed.h"

const uint8_t gfx_color_table[16][3] = {
    {0x00, 0x00, 0x00}, {0x00, 0x00, 0xAA}, {0x00, 0xAA, 0x00}, {0x00, 0xAA, 0xAA},
    {0xAA, 0x00, 0x00}, {0xAA, 0x00, 0xAA}, {0xAA, 0x55, 0x00}, {0xAA, 0xAA, 0xAA},
    {0x55, 0x55, 0x55}, {0x00, 0x00, 0xFF}, {0x00, 0xFF, 0x00}, {0x00, 0xFF, 0xFF},
    {0xFF, 0x00, 0x00}, {0xFF, 0x00, 0xFF}, {0xFF, 0xFF, 0x00}, {0xFF, 0xFF, 0xFF},
};

int gfx_initialize(gfx_t *gfx, const uint8_t *video_memory) {
    gfx->frame_info = gfx_frame_info_t{};
    gfx->frame_info.header_size = 40;
    gfx->frame_info.width = GFX_FRAME_WIDTH;
    gfx->frame_info.height = -GFX_FRAME_HEIGHT; // rows stored top-down
    gfx->frame_info.planes = 1;
    gfx->frame_info.bit_count = 24;
    gfx->video_memory = video_memory;
    gfx->frame_pixels = gfx->frame_storage;
    std::memset(gfx->frame_storage, 0, sizeof gfx->frame_storage);
    gfx->memory_dc = nullptr;
    gfx->frame_bitmap = nullptr;
    return 0;
}

void gfx_decode_frame(gfx_t *gfx) {
    const int bytes_per_pixel = gfx->frame_info.bit_count / 8;
    const int row_bytes = gfx->frame_info.width * bytes_per_pixel;
    // The processor writes video memory while this runs; a frame may mix old and new bytes.
    auto video = [gfx](int offset) { return emu_relaxed_load(gfx->video_memory[offset]); };
    for (int y = 0; y < GFX_SCREEN_HEIGHT; ++y) {
        uint8_t *out = gfx->frame_pixels + (GFX_BORDER_TOP + y) * row_bytes +
                       GFX_BORDER_LEFT * bytes_per_pixel;
        const int attribute_row = 6144 + 32 * (y / 8);
        for (int column = 0; column < 32; ++column) {
            const uint8_t bits = video(32 * y + column);
            const uint8_t attribute = video(attribute_row + column);
            const uint8_t *ink = gfx_color_table[attribute & 0x0F];
            const uint8_t *paper = gfx_color_table[attribute >> 4];
            for (int b = 7; b >= 0; --b) {
                const uint8_t *rgb = (bits >> b) & 1 ? ink : paper;
                out[0] = rgb[2]; // blue, green, red
                out[1] = rgb[1];
                out[2] = rgb[0];
                out += bytes_per_pixel;
            }
        }
    }
}

// The 4:3 letterbox, in per mille of the aspect ratio. Rectangles exclude their right and bottom
// edges, so with an odd excess the last column (or row) is covered by neither the picture nor a
// bar; the window paints that line black.
gfx_layout_t gfx_letterbox(int32_t width, int32_t height) {
    gfx_layout_t layout{};
    layout.destination = {0, 0, width, height};
    if (width <= 0 || height <= 0) return layout;
    // Widened so that no area size can overflow; every real window size gives the same value as
    // 32-bit arithmetic.
    const int64_t ratio = int64_t{width} * 1000 / height;
    if (ratio > 1333) {
        const int32_t w = height / 3 * 4;
        if (width > w) {
            const int32_t x0 = (width - w) / 2;
            layout.bars[0] = {0, 0, x0, height};
            layout.bars[1] = {w + x0, 0, w + 2 * x0, height};
            layout.bar_count = 2;
            layout.destination = {x0, 0, x0 + w, height};
        }
    } else if (ratio < 1333) {
        const int32_t h = width / 4 * 3;
        if (height > h) {
            const int32_t y0 = (height - h) / 2;
            layout.bars[0] = {0, 0, width, y0};
            layout.bars[1] = {0, h + y0, width, h + 2 * y0};
            layout.bar_count = 2;
            layout.destination = {0, y0, width, y0 + h};
        }
    }
    return layout;
}

int gfx_render(gfx_t *gfx, gui_t *gui) {
    gfx_decode_frame(gfx);
    const int32_t width = emu_relaxed_load(gui->display_width);
    const int32_t height = emu_relaxed_load(gui->display_height);
    if (width <= 0 || height <= 0 || !gui->present) return 0;
    const gfx_layout_t layout = gfx_letterbox(width, height);
    return gui->present(gui, gfx->frame_pixels, &layout);
}

void gfx_finalize(gfx_t *gfx) {
    gfx->frame_bitmap = nullptr;
    gfx->memory_dc = nullptr;
}
