#include "devices/key_positions.h"

#include <array>

namespace {

// Indexed by Linux evdev code (the X11 key code minus 8).
constexpr std::array<uint8_t, 128> make_evdev_table() {
    std::array<uint8_t, 128> t{};
    t[1] = 0x1B; // Escape
    // Digit row 1..9, 0
    for (int i = 0; i < 9; ++i)
        t[2 + i] = static_cast<uint8_t>('1' + i);
    t[11] = '0';
    t[12] = 0xBD; // minus
    t[13] = 0xBB; // equals
    t[14] = 0x08; // Backspace
    t[15] = 0x09; // Tab
    const char top[] = "QWERTYUIOP";
    for (int i = 0; i < 10; ++i)
        t[16 + i] = static_cast<uint8_t>(top[i]);
    t[26] = 0xDB; // [
    t[27] = 0xDD; // ]
    t[28] = 0x0D; // Enter
    t[29] = KBD_VK_CONTROL;
    const char home[] = "ASDFGHJKL";
    for (int i = 0; i < 9; ++i)
        t[30 + i] = static_cast<uint8_t>(home[i]);
    t[39] = 0xBA; // ;
    t[40] = 0xDE; // '
    t[41] = 0xC0; // `
    t[42] = KBD_VK_SHIFT;
    t[43] = 0xDC; // backslash
    const char bottom[] = "ZXCVBNM";
    for (int i = 0; i < 7; ++i)
        t[44 + i] = static_cast<uint8_t>(bottom[i]);
    t[51] = 0xBC; // ,
    t[52] = 0xBE; // .
    t[53] = 0xBF; // /
    t[54] = KBD_VK_SHIFT;
    // 56 left Alt and 100 right Alt stay with the menu.
    t[57] = 0x20; // Space
    t[58] = 0x14; // Caps Lock
    for (int i = 0; i < 10; ++i)
        t[59 + i] = static_cast<uint8_t>(0x70 + i); // F1..F10
    t[87] = 0x7A;                                   // F11
    t[88] = 0x7B;                                   // F12
    t[96] = 0x0D;                                   // keypad Enter is Enter on the reference host
    t[97] = KBD_VK_CONTROL;
    t[102] = 0x24; // Home
    t[103] = 0x26; // Up
    t[104] = 0x21; // Page Up
    t[105] = 0x25; // Left
    t[106] = 0x27; // Right
    t[107] = 0x23; // End
    t[108] = 0x28; // Down
    t[109] = 0x22; // Page Down
    t[110] = 0x2D; // Insert
    t[111] = 0x2E; // Delete
    t[125] = 0x5B; // left Windows
    t[126] = 0x5C; // right Windows
    return t;
}

constexpr std::array<uint8_t, 128> evdev_table = make_evdev_table();

} // namespace

uint8_t kbd_key_from_evdev(uint32_t evdev) {
    return evdev < evdev_table.size() ? evdev_table[evdev] : 0;
}
