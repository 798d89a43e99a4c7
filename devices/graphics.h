// The board's display: a 256 x 192 bitmap at 0x2000 (32 bytes a line, bit 7 leftmost) with one
// colour byte per 8 x 8 cell at 0x3800 (low nibble ink, high nibble paper). Each frame decodes the
// whole of video memory into a 320 x 240 blue-green-red frame with a black border, which the
// window shows letterboxed to 4:3.
#pragma once

#include <cstdint>

struct gui_t;

enum : int32_t {
    GFX_FRAME_WIDTH = 320,
    GFX_FRAME_HEIGHT = 240,
    GFX_SCREEN_WIDTH = 256,
    GFX_SCREEN_HEIGHT = 192,
    GFX_BORDER_LEFT = 32,
    GFX_BORDER_TOP = 24,
    GFX_VIDEO_MEMORY_SIZE = 6912,
};

// Describes the frame as the renderer reads it: rows top-down (negative height), 24 bits a pixel.
struct gfx_frame_info_t {
    uint32_t header_size;
    int32_t width;
    int32_t height;
    uint16_t planes;
    uint16_t bit_count;
    uint32_t compression;
    uint32_t image_size;
    int32_t x_pixels_per_meter;
    int32_t y_pixels_per_meter;
    uint32_t colors_used;
    uint32_t colors_important;
    uint32_t color_slot;
};

// A rectangle that excludes its right and bottom edges.
struct gfx_rect_t {
    int32_t left, top, right, bottom;
};

// Where a frame goes in the display area: the picture's rectangle and up to two black bars.
struct gfx_layout_t {
    gfx_rect_t destination;
    gfx_rect_t bars[2];
    int32_t bar_count;
};

struct gfx_t {
    void *memory_dc;    // host drawing surface that shows the frame, if the host keeps one
    void *frame_bitmap; // host image over frame_pixels, if the host keeps one
    gfx_frame_info_t frame_info;
    uint8_t *frame_pixels; // 240 rows of 960 bytes, top row first, blue-green-red
    const uint8_t *video_memory;
    uint8_t frame_storage[GFX_FRAME_WIDTH * GFX_FRAME_HEIGHT * 3];
};

// Red, green, blue of the 16 colours.
extern const uint8_t gfx_color_table[16][3];

int gfx_initialize(gfx_t *gfx, const uint8_t *video_memory);
// Decodes video memory into frame_pixels; the border is never written.
void gfx_decode_frame(gfx_t *gfx);
// The 4:3 letterbox for a display area of width x height.
gfx_layout_t gfx_letterbox(int32_t width, int32_t height);
// Decodes one frame and hands it with its layout to the window (nothing is presented when the
// display area has no width or height). Returns the presenter's result.
int gfx_render(gfx_t *gfx, gui_t *gui);
void gfx_finalize(gfx_t *gfx);
