// The board's key codes by physical key position. Hosts name a key by where it sits (the Linux
// evdev code of the window's X11 key code, the position name of a browser's KeyboardEvent.code)
// and turn it into the Windows virtual-key codes that the keyboard matrix table uses, so Shift+1
// is Shift and 1 whatever the host's layout makes of it. Either Shift gives 0x10 and either
// Control 0x11; the Alt keys give nothing (they belong to the window's menu). 0: no board key.
#pragma once

#include <cstdint>

enum : uint8_t {
    KBD_VK_SHIFT = 0x10,
    KBD_VK_CONTROL = 0x11,
};

// Linux evdev code (the X11 key code minus 8) to a virtual-key code.
uint8_t kbd_key_from_evdev(uint32_t evdev);
