// Symbol tables: names for addresses, read from the symbol files that the board's toolchains
// write. pasmo's (`pasmo --hex prog.asm prog.hex prog.sym`, lines "NAME EQU 08002H"), and SDCC's
// linker's .noi ("DEF _main 0x8002") and .map files. SDCC prefixes C names with "_": a lookup of
// "main" finds "_main" when no symbol "main" exists.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>

struct dbg_symbols_t {
    std::unordered_map<std::string, uint16_t> by_name;
    std::multimap<uint16_t, std::string> by_address;
};

// Adds the symbols of a file to the table, whatever its kind (told by its content). Returns the
// number of symbols added, or -1 with a one-line reason in *error (file unreadable, no symbol
// found in it).
int dbg_symbols_load(dbg_symbols_t *symbols, const std::string &path, std::string *error);

// Adds one symbol (a later definition of the same name replaces the earlier one).
void dbg_symbols_add(dbg_symbols_t *symbols, const std::string &name, uint16_t address);
void dbg_symbols_clear(dbg_symbols_t *symbols);

// The address of a name (exact, else with SDCC's "_" prefix); false when unknown.
bool dbg_symbol_lookup(const dbg_symbols_t *symbols, const std::string &name, uint16_t *address);

// A name for exactly this address (the first in name order when several), or "" when none.
std::string dbg_symbol_at(const dbg_symbols_t *symbols, uint16_t address);

// "name" or "name+1A" for the nearest symbol at or below the address within max_offset bytes,
// or "" when there is none.
std::string dbg_symbol_near(const dbg_symbols_t *symbols, uint16_t address,
                            uint16_t max_offset = 0x100);

// A hexadecimal number of at most max ("0x" prefix and "h" suffix accepted, leading zeros
// ignored). False when the text is not one.
bool dbg_parse_hex(std::string text, uint32_t max, uint32_t *value);

// Parses an address as the command language writes it: a hexadecimal number ("8000", "0x8000",
// "8000h" also accepted), a symbol, or a symbol plus or minus a hexadecimal offset ("main+3").
// symbols may be null. False when the text is neither.
bool dbg_parse_address(const dbg_symbols_t *symbols, const std::string &text, uint16_t *address);
