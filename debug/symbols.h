// Symbol tables: names for addresses, read from the symbol files that the board's toolchains
// write. pasmo's (`pasmo --hex prog.asm prog.hex prog.sym`, lines "NAME EQU 08002H"), and SDCC's
// linker's .noi ("DEF _main 0x8002") and .map files. SDCC prefixes C names with "_": a lookup of
// "main" finds "_main" when no symbol "main" exists.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

struct z_cpu_t;

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

// A hexadecimal number of at most max ("0x" or "$" prefix and "h" suffix accepted, leading zeros
// ignored). False when the text is not one.
bool dbg_parse_hex(std::string text, uint32_t max, uint32_t *value);

// The one rule for a word that stands for a number (an address, a byte value, a length, a register
// value), in the command language and wherever an address is typed:
//   1. a register that no hexadecimal number can be mistaken for: pc, sp, hl, ix, iy (any case),
//      with an optional +OFFSET or -OFFSET ("pc-4"); only when registers is given;
//   2. a word that begins with a digit or with "$" is a hexadecimal number ("0ff", "0x8000",
//      "8000h", "$BC"), whatever symbols exist;
//   3. a symbol (SDCC's "_" prefix may be left out), or a symbol +/- a hexadecimal offset;
//   4. a hexadecimal number ("ff", "beef").
// symbols and registers may be null. False when the word is none of these or above max.
bool dbg_parse_value(const dbg_symbols_t *symbols, const z_cpu_t *registers,
                     const std::string &text, uint32_t max, uint32_t *value);
// The same for an address (at most FFFF).
bool dbg_parse_address(const dbg_symbols_t *symbols, const std::string &text, uint16_t *address,
                       const z_cpu_t *registers = nullptr);

// One warning line for each symbol that a word cannot mean by its name because the rule above
// reads that name as a register or as a number ("warning: symbol ff hides a number ..."), in name
// order. The command language prints those of a symbol file when it loads it.
std::vector<std::string> dbg_symbol_warnings(const dbg_symbols_t *symbols);
