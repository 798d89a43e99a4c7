// The page's key map: KeyboardEvent.code names a key by its position on a US keyboard, whatever
// the user's layout; it is turned into the Linux evdev code of that position and then into the
// board's key code by the window's own table (devices/key_positions.h).
#pragma once

#include <cstdint>

// The board key of a KeyboardEvent.code ("KeyA", "Digit1", "ShiftLeft", ...), or 0 for none.
uint8_t web_key_from_code(const char *code);
