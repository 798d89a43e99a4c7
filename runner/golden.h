// quillane-test's screen checks (QT_CHECK_SCREEN): the board's frame, pixels and colours,
// against a golden picture NAME.png in a folder, as the screenshots are written (PNG, 8-bit RGB
// in stored deflate blocks, which this reads back without a library).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct dbg_engine_t;

// The pixels of a PNG in that form; false for anything else (another program's compressed PNG).
bool qt_png_pixels(const std::vector<uint8_t> &png, int *width, int *height,
                   std::vector<uint8_t> *rgb);

// Compares the frame now with DIR/NAME.png. On a difference it writes NAME.actual.png (the
// frame) and NAME.diff.png (the frame dimmed, the cells that differ in red) beside it and says
// how many of the 768 character cells differ. With update, it writes NAME.png instead. True when
// the check passes; else false with the failure's text in *failure.
bool qt_screen_check(dbg_engine_t *e, const std::string &dir, bool update, const std::string &name,
                     std::string *failure);
