// Screen read-back and typing for tests: thin wrappers over the debug engine's screen text (the
// monitor's font, found in the loaded ROM) and its typing queue.
#include "harness_screen.h"

#include <gtest/gtest.h>

#include <map>

#include "debug/core/engine.h"
#include "debug/info/symbols.h"
#include "harness.h"
#include "machine/emu.h"

int z80_symbol(const std::string &symbol_file, const std::string &name) {
    // Each file is read once; the tests ask for the same few names many times.
    static std::map<std::string, dbg_symbols_t> files;
    auto file = files.find(symbol_file);
    if (file == files.end()) {
        dbg_symbols_t symbols;
        std::string error;
        dbg_symbols_load(&symbols, symbol_file, &error);
        file = files.emplace(symbol_file, std::move(symbols)).first;
    }
    const auto found = file->second.by_name.find(name);
    return found == file->second.by_name.end() ? -1 : found->second;
}

uint16_t engine_stops_at(const char *name) {
    const int address = z80_symbol(engine_stops_sym, name);
    EXPECT_GE(address, 0) << name;
    return static_cast<uint16_t>(address);
}

bool engine_stops_load() {
    harness_init();
    if (!harness_load_bin(QUILLANE_Z80_DIR "/engine_stops.bin", 0x8000)) return false;
    harness_poke(0x0008, 0xC9);
    harness_set_pc(0x8000);
    return true;
}

int rom_symbol(const std::string &name) {
    return z80_symbol(QUILLANE_BUILD_DIR "/rom/tessik.sym", name);
}

char screen_char(int row, int col) {
    EXPECT_GE(dbg_font_address(emu_state.memory), 0) << "the monitor's font is not in memory";
    const char c = dbg_screen_char(emu_state.memory, row, col);
    return c ? c : SCREEN_UNKNOWN;
}

uint8_t screen_attr(int row, int col) {
    return harness_peek(static_cast<uint16_t>(0x3800 + 32 * row + col));
}

std::string screen_line(int row) {
    std::string line;
    for (int col = 0; col < SCREEN_COLS; ++col)
        line += screen_char(row, col);
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}

std::vector<std::string> screen_lines() {
    std::vector<std::string> lines;
    for (int row = 0; row < SCREEN_ROWS; ++row)
        lines.push_back(screen_line(row));
    return lines;
}

std::string screen_dump() {
    const int last = screen_last_row();
    std::string out;
    for (int row = 0; row <= last; ++row)
        out += screen_line(row) + "\n";
    return out;
}

int screen_last_row() {
    for (int row = SCREEN_ROWS - 1; row >= 0; --row)
        if (!screen_line(row).empty()) return row;
    return -1;
}

int screen_find(const std::string &text) {
    for (int row = 0; row < SCREEN_ROWS; ++row)
        if (screen_line(row).find(text) != std::string::npos) return row;
    return -1;
}

bool screen_key_for(char c, uint8_t *vk, bool *shift) {
    return dbg_key_for_char(c, vk, shift);
}

void screen_type(const std::string &text, uint64_t hold_ticks, uint64_t gap_ticks) {
    std::string error;
    dbg_engine_t *engine = dbg_engine();
    if (!dbg_type(engine, text, false, &error, hold_ticks, gap_ticks)) {
        ADD_FAILURE() << error;
        return;
    }
    harness_run_ticks(dbg_typing_end(engine) - harness_ticks());
}
