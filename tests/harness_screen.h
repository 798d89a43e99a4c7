// Screen read-back for tests: the monitor's 32 x 24 text screen as text, through the debug engine
// (each 8 x 8 cell matched against the monitor's font in the loaded ROM). Also types text on the
// keyboard matrix through the engine's typing queue, with Shift where a US keyboard needs it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr int SCREEN_ROWS = 24;
inline constexpr int SCREEN_COLS = 32;
// What a cell that matches no glyph reads as.
inline constexpr char SCREEN_UNKNOWN = '\x1A';
// The monitor's chequered block, shown for codes without a glyph.
inline constexpr char SCREEN_BLOCK = '\x7F';

// Address of a symbol in a pasmo symbol file, or -1 when the file lacks it.
int z80_symbol(const std::string &symbol_file, const std::string &name);
// The symbols of the engine tests' program (tests/z80/engine_stops.asm), and the address of one
// of them (a failed expectation when it is missing).
inline const std::string engine_stops_sym = QUILLANE_Z80_DIR "/engine_stops.sym";
uint16_t engine_stops_at(const char *name);
// A fresh machine with that program at 8000, RST 08h returning at once and PC at 8000; false
// when the program is not built.
bool engine_stops_load();
// Address of a symbol of the monitor ROM (build/rom/tessik.sym), or -1.
int rom_symbol(const std::string &name);

// The character shown in a cell: 0x20-0x7F, SCREEN_UNKNOWN when no glyph matches.
char screen_char(int row, int col);
// Colour byte of a cell (paper in the high nibble, ink in the low nibble).
uint8_t screen_attr(int row, int col);
// One text row with its trailing spaces removed.
std::string screen_line(int row);
// All 24 rows.
std::vector<std::string> screen_lines();
// The rows joined with '\n', without the trailing empty rows; for failure messages.
std::string screen_dump();
// The last row that is not empty, -1 when the screen is blank.
int screen_last_row();
// The first row (from the top) that contains text, or -1.
int screen_find(const std::string &text);

// Virtual-key code and whether Shift is needed for a character of a US keyboard; false when
// the keyboard cannot type it.
bool screen_key_for(char c, uint8_t *vk, bool *shift);
// Types text key by key (hold_ticks down, gap_ticks up) and runs until the last gap has passed;
// '\n' is Enter, '\b' Backspace, '\t' Tab. A character no key types fails the test (nothing is
// typed then).
void screen_type(const std::string &text, uint64_t hold_ticks = 300000,
                 uint64_t gap_ticks = 300000);
