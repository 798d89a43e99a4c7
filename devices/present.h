// The window as the board holds it, the `gui` member of the machine record: the host's objects as
// opaque pointers, the display area's size, and the present callback through which the display
// hands each decoded frame to whatever shows it (the window in host/, a test, a browser page).
// The window's functions are the host's (host/gui.h); nothing here needs a window system.
#pragma once

#include <cstdint>

struct gfx_layout_t;
struct gui_t;

// Shows a decoded 320 x 240 blue-green-red frame (rows top-down) at the layout's rectangles.
typedef int (*gui_present_t)(gui_t *gui, const uint8_t *frame, const gfx_layout_t *layout);

struct gui_t {
    void *menu_bar;
    uint16_t class_atom;
    void *window;
    void *status_bar;
    void *accel_table;
    // Size of the display area above the status bar, kept current by the window and read by the
    // display thread.
    int32_t display_width;
    int32_t display_height;
    // Set by whoever shows the frames; null presents nothing.
    gui_present_t present;
};
