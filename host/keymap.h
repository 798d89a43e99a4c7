// Host keys to the board's key codes. Keys are taken by their physical position (the native scan
// code; X11 key codes are Linux evdev codes + 8) and turned into the Windows virtual-key codes that
// the keyboard matrix table uses, so Shift+1 is Shift and 1 whatever the host's layout makes of it.
// Either Shift gives 0x10 and either Control 0x11; the Alt keys give nothing, they belong to the
// menu. A result of 0 means the key does not reach the board.
#pragma once

#include <cstdint>

#include "devices/key_positions.h"

enum : uint8_t {
    GUI_VK_SHIFT = KBD_VK_SHIFT,
    GUI_VK_CONTROL = KBD_VK_CONTROL,
};

// X11 / evdev + 8 key code to a virtual-key code (devices/key_positions.h).
uint8_t gui_key_from_scan_code(uint32_t native_scan_code);
// Qt key (Qt::Key) to a virtual-key code, for platforms that report no scan code. Shifted symbols
// of a US layout count as their unshifted key.
uint8_t gui_key_from_qt_key(int qt_key);
