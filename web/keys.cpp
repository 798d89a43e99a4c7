#include "web/keys.h"

#include <cstring>

#include "devices/key_positions.h"

namespace {

struct position_t {
    const char *code;
    uint8_t evdev;
};

// Every position the window's table gives a key (the Alt keys are left out there too).
constexpr position_t positions[] = {
    {"Escape", 1},       {"Digit1", 2},        {"Digit2", 3},        {"Digit3", 4},
    {"Digit4", 5},       {"Digit5", 6},        {"Digit6", 7},        {"Digit7", 8},
    {"Digit8", 9},       {"Digit9", 10},       {"Digit0", 11},       {"Minus", 12},
    {"Equal", 13},       {"Backspace", 14},    {"Tab", 15},          {"KeyQ", 16},
    {"KeyW", 17},        {"KeyE", 18},         {"KeyR", 19},         {"KeyT", 20},
    {"KeyY", 21},        {"KeyU", 22},         {"KeyI", 23},         {"KeyO", 24},
    {"KeyP", 25},        {"BracketLeft", 26},  {"BracketRight", 27}, {"Enter", 28},
    {"ControlLeft", 29}, {"KeyA", 30},         {"KeyS", 31},         {"KeyD", 32},
    {"KeyF", 33},        {"KeyG", 34},         {"KeyH", 35},         {"KeyJ", 36},
    {"KeyK", 37},        {"KeyL", 38},         {"Semicolon", 39},    {"Quote", 40},
    {"Backquote", 41},   {"ShiftLeft", 42},    {"Backslash", 43},    {"KeyZ", 44},
    {"KeyX", 45},        {"KeyC", 46},         {"KeyV", 47},         {"KeyB", 48},
    {"KeyN", 49},        {"KeyM", 50},         {"Comma", 51},        {"Period", 52},
    {"Slash", 53},       {"ShiftRight", 54},   {"Space", 57},        {"CapsLock", 58},
    {"F1", 59},          {"F2", 60},           {"F3", 61},           {"F4", 62},
    {"F5", 63},          {"F6", 64},           {"F7", 65},           {"F8", 66},
    {"F9", 67},          {"F10", 68},          {"F11", 87},          {"F12", 88},
    {"NumpadEnter", 96}, {"ControlRight", 97}, {"Home", 102},        {"ArrowUp", 103},
    {"PageUp", 104},     {"ArrowLeft", 105},   {"ArrowRight", 106},  {"End", 107},
    {"ArrowDown", 108},  {"PageDown", 109},    {"Insert", 110},      {"Delete", 111},
    {"MetaLeft", 125},   {"MetaRight", 126},
};

} // namespace

uint8_t web_key_from_code(const char *code) {
    for (const position_t &p : positions)
        if (std::strcmp(p.code, code) == 0) return kbd_key_from_evdev(p.evdev);
    return 0;
}
