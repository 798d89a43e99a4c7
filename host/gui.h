// The program's main window. The record holds the host's objects as opaque pointers so that the
// machine record can embed it without seeing the window system.
#pragma once

#include <cstdint>

struct gfx_layout_t;

enum : int {
    GUI_STATUS_BAR_ID = 101,
    GUI_CMD_OPEN = 102,
    GUI_CMD_SAVE = 103,
    GUI_CMD_QUIT = 104,
    GUI_CMD_RESET = 105,
    GUI_DISPLAY_WIDTH = 640,
    GUI_DISPLAY_HEIGHT = 480,
};

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
    // Takes a decoded 320 x 240 frame and its layout to the screen; set by the window.
    int (*present)(gui_t *gui, const uint8_t *frame, const gfx_layout_t *layout);
};

struct emu_t;

int gui_initialize(gui_t *gui, emu_t *machine);
int gui_show_window(gui_t *gui);
int gui_run(gui_t *gui);
int gui_finalize(gui_t *gui);
// Gives the keyboard back to the display area (after a menu or dialog closed).
void gui_focus_display(gui_t *gui);
// Ends the program through the Quit command's path, as closing the window does.
void gui_quit(gui_t *gui);
