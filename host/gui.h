// The program's main window. Its record (devices/present.h) holds the host's objects as opaque
// pointers so that the machine record can embed it without seeing the window system.
#pragma once

#include <cstdint>

#include "devices/present.h"

enum : int {
    GUI_STATUS_BAR_ID = 101,
    GUI_CMD_OPEN = 102,
    GUI_CMD_SAVE = 103,
    GUI_CMD_QUIT = 104,
    GUI_CMD_RESET = 105,
    GUI_DISPLAY_WIDTH = 640,
    GUI_DISPLAY_HEIGHT = 480,
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
