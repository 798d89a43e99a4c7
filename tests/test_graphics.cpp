// Decoding video memory into the frame, and the letterbox.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "devices/graphics.h"
#include "devices/present.h"

namespace {

struct Display : ::testing::Test {
    std::vector<uint8_t> video = std::vector<uint8_t>(GFX_VIDEO_MEMORY_SIZE, 0);
    gfx_t gfx{};
    void SetUp() override { ASSERT_EQ(gfx_initialize(&gfx, video.data()), 0); }
    // Blue, green, red of frame pixel (fx, fy).
    std::vector<int> pixel(int fx, int fy) {
        const uint8_t *p = gfx.frame_pixels + fy * 960 + fx * 3;
        return {p[0], p[1], p[2]};
    }
    std::vector<int> color(int index) {
        return {gfx_color_table[index][2], gfx_color_table[index][1], gfx_color_table[index][0]};
    }
};

TEST_F(Display, FrameDescription) {
    EXPECT_EQ(gfx.frame_info.header_size, 40u);
    EXPECT_EQ(gfx.frame_info.width, 320);
    EXPECT_EQ(gfx.frame_info.height, -240);
    EXPECT_EQ(gfx.frame_info.bit_count, 24);
    EXPECT_EQ(gfx.frame_info.planes, 1);
}

TEST_F(Display, PixelsInkAndPaper) {
    video[0] = 0x80;      // pixel (0, 0)
    video[6144] = 0x0F;   // paper black, ink white
    video[6145] = 0x1E;   // cell (1, 0): ink yellow, paper blue
    video[1] = 0x0F;      // pixels 12-15 of line 0 set
    video[32 * 8] = 0xFF; // line 8 uses the attribute row at 0x3820
    video[6144 + 32] = 0x40;
    gfx_decode_frame(&gfx);
    EXPECT_EQ(pixel(32, 24), color(15));
    for (int x = 1; x < 8; ++x)
        EXPECT_EQ(pixel(32 + x, 24), color(0));
    EXPECT_EQ(pixel(32 + 8, 24), color(1));
    EXPECT_EQ(pixel(32 + 12, 24), color(14));
    EXPECT_EQ(pixel(32 + 15, 31), color(1)) << "row 7 of the cell, paper";
    EXPECT_EQ(pixel(32, 24 + 8), color(0)) << "ink of 0x40 is black";
    video[6144 + 32] = 0x04;
    gfx_decode_frame(&gfx);
    EXPECT_EQ(pixel(32, 24 + 8), color(4));
    EXPECT_EQ(pixel(32 + 7, 24 + 8), color(4));
}

TEST_F(Display, EveryPixelOfARandomScreen) {
    // Each picture pixel against the board's addressing: bitmap byte 32 y + x / 8 with bit 7 the
    // leftmost, attribute 6144 + 32 (y / 8) + x / 8, ink in the low nibble, paper in the high.
    std::mt19937 random(3);
    for (uint8_t &b : video)
        b = static_cast<uint8_t>(random());
    gfx_decode_frame(&gfx);
    int mismatches = 0;
    for (int y = 0; y < 192; ++y)
        for (int x = 0; x < 256; ++x) {
            const bool set = (video[32 * y + x / 8] >> (7 - x % 8)) & 1;
            const uint8_t attribute = video[6144 + 32 * (y / 8) + x / 8];
            const int index = set ? attribute & 0x0F : attribute >> 4;
            mismatches += pixel(32 + x, 24 + y) != color(index);
        }
    EXPECT_EQ(mismatches, 0);
    // The border is never written: black however busy the picture is.
    for (int fy = 0; fy < 240; ++fy)
        for (int fx = 0; fx < 320; ++fx)
            if (fx < 32 || fx >= 288 || fy < 24 || fy >= 216) {
                ASSERT_EQ(pixel(fx, fy), color(0)) << fx << "," << fy;
            }
}

TEST(Letterbox, Rectangles) {
    gfx_layout_t l = gfx_letterbox(640, 480);
    EXPECT_EQ(l.bar_count, 0);
    EXPECT_EQ(l.destination.left, 0);
    EXPECT_EQ(l.destination.right, 640);
    EXPECT_EQ(l.destination.bottom, 480);

    l = gfx_letterbox(800, 480); // ratio 1666: bars of 80 left and right
    ASSERT_EQ(l.bar_count, 2);
    EXPECT_EQ(l.destination.left, 80);
    EXPECT_EQ(l.destination.right, 720);
    EXPECT_EQ(l.bars[0].right, 80);
    EXPECT_EQ(l.bars[1].left, 720);
    EXPECT_EQ(l.bars[1].right, 800);

    l = gfx_letterbox(640, 600); // ratio 1066: bars of 60 above and below
    ASSERT_EQ(l.bar_count, 2);
    EXPECT_EQ(l.destination.top, 60);
    EXPECT_EQ(l.destination.bottom, 540);
    EXPECT_EQ(l.bars[0].bottom, 60);
    EXPECT_EQ(l.bars[1].top, 540);
    EXPECT_EQ(l.bars[1].bottom, 600);

    l = gfx_letterbox(641, 480); // ratio 1335, m = 1: empty bars, picture at 0
    EXPECT_EQ(l.destination.left, 0);
    EXPECT_EQ(l.destination.right, 640);
    EXPECT_EQ(l.bars[0].right - l.bars[0].left, 0);
    EXPECT_EQ(l.bars[1].right - l.bars[1].left, 0);

    l = gfx_letterbox(801, 480); // odd excess: column 800 is covered by nothing
    EXPECT_EQ(l.destination.left, 80);
    EXPECT_EQ(l.bars[1].right, 800);

    l = gfx_letterbox(640, 601); // the same for an odd excess of rows
    EXPECT_EQ(l.destination.top, 60);
    EXPECT_EQ(l.destination.bottom, 540);
    EXPECT_EQ(l.bars[1].bottom, 600);

    l = gfx_letterbox(4, 1); // one row: w = (1 / 3) x 4 = 0, the bars take the whole width
    EXPECT_EQ(l.destination.right - l.destination.left, 0);
    EXPECT_EQ(l.bars[0].right, 2);
    EXPECT_EQ(l.bars[1].left, 2);
    EXPECT_EQ(l.bars[1].right, 4);

    // Sizes far beyond any screen neither overflow nor lose the 4:3 shape.
    l = gfx_letterbox(2000000000, 3000);
    EXPECT_EQ(l.destination.right - l.destination.left, 4000);
    EXPECT_EQ(l.destination.left, (2000000000 - 4000) / 2);
}

int presented = 0;
gfx_layout_t last_layout;
int count_present(gui_t *, const uint8_t *, const gfx_layout_t *layout) {
    ++presented;
    last_layout = *layout;
    return 7;
}

TEST_F(Display, RenderPresentsOnlyAVisibleArea) {
    gui_t gui{};
    gui.present = count_present;
    video[0] = 0x80;
    video[6144] = 0x0F;
    EXPECT_EQ(gfx_render(&gfx, &gui), 0) << "no area yet";
    EXPECT_EQ(presented, 0);
    EXPECT_EQ(pixel(32, 24), color(15)) << "decoded anyway";
    gui.display_width = 800;
    gui.display_height = 480;
    EXPECT_EQ(gfx_render(&gfx, &gui), 7);
    EXPECT_EQ(presented, 1);
    EXPECT_EQ(last_layout.destination.left, 80);
}

} // namespace
