// Symbol tables: names for addresses, read from the symbol files that the board's toolchains
// write. pasmo's (`pasmo --hex prog.asm prog.hex prog.sym`, lines "NAME EQU 08002H"), sdk/qasm's
// line table (prog.lines; its data lines also mark data), and SDCC's linker's .noi ("DEF _main
// 0x8002") and .map files. SDCC prefixes C names with "_": a lookup of "main" finds "_main" when no
// symbol "main" exists.
//
// Each name has a kind. Only labels of code or data stand for an address in the disassembly,
// the stack and stop reports (dbg_symbol_at, dbg_symbol_near); constants (EQU values, counts)
// are found by name only. pasmo's .sym lists labels and EQUs alike, so its names are of unknown
// kind and count as labels, unless qasm's line table beside it (prog.lines for prog.sym) tells
// them apart. SDCC's area starts (s__CODE) are not labels either. When several names share an
// address, a label wins over a toolchain's internal one (SDCC's library routines __divu16,
// ___sdcc_call_hl), and a name loaded later wins over one loaded earlier (a program's labels
// over the monitor's).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

struct z_cpu_t;

enum dbg_symbol_kind_t : uint8_t {
    DBG_SYMBOL_LABEL,    // code or data of the program
    DBG_SYMBOL_UNKNOWN,  // not told by its file (pasmo's .sym alone): taken for a label
    DBG_SYMBOL_INTERNAL, // the toolchain's own routines: name an address only where no label does
    DBG_SYMBOL_AREA,     // where a linker area starts (SDCC's s__CODE): found by name only
    DBG_SYMBOL_CONSTANT, // an EQU value or a count: found by name only
};

struct dbg_symbol_info_t {
    dbg_symbol_kind_t kind;
    uint32_t load; // the load that added it: later ones win at a shared address
};

struct dbg_symbols_t {
    std::unordered_map<std::string, uint16_t> by_name; // every name
    std::multimap<uint16_t, std::string> by_address;   // the names that may stand for addresses
    std::unordered_map<std::string, dbg_symbol_info_t> info;
    uint32_t loads = 0; // files loaded so far
    // Addresses that hold data, not code (a line table's data lines, a C program's variables,
    // SDCC's _INITIALIZER area): first address -> end (exclusive, up to 10000). The
    // disassembler shows them as bytes.
    std::map<uint16_t, uint32_t> data;
    // SDCC's linker areas' lengths (l__NAME) by area name ("_GSINIT"); each starts at s__NAME.
    std::map<std::string, uint32_t> area_lengths;
};

// SDCC's linker areas that hold something (s__NAME with a non-zero l__NAME), by name ("_GSINIT").
struct dbg_symbol_area_t {
    std::string name;
    uint16_t start;
    uint32_t length;
};
std::vector<dbg_symbol_area_t> dbg_symbol_areas(const dbg_symbols_t *symbols);

// Adds the symbols of a file to the table, whatever its kind (told by its content); for a
// pasmo .sym, also the kinds of its names from the line table beside it when there is one.
// Returns the number of symbols added, or -1 with a one-line reason in *error (file
// unreadable, no symbol found in it, a malformed line table).
int dbg_symbols_load(dbg_symbols_t *symbols, const std::string &path, std::string *error);

// Adds one symbol (a later definition of the same name replaces the earlier one).
void dbg_symbols_add(dbg_symbols_t *symbols, const std::string &name, uint16_t address,
                     dbg_symbol_kind_t kind = DBG_SYMBOL_LABEL);
void dbg_symbols_clear(dbg_symbols_t *symbols);
// Marks length bytes from address as data (ranges that overlap merge).
void dbg_symbols_add_data(dbg_symbols_t *symbols, uint16_t address, uint32_t length);
// The end (exclusive) of the data range holding address, or 0 when it is not data.
uint32_t dbg_symbols_data_end(const dbg_symbols_t *symbols, uint16_t address);

// The kind of a name; false when unknown.
bool dbg_symbol_kind(const dbg_symbols_t *symbols, const std::string &name,
                     dbg_symbol_kind_t *kind);

// The address of a name of any kind (exact, else with SDCC's "_" prefix); false when unknown.
bool dbg_symbol_lookup(const dbg_symbols_t *symbols, const std::string &name, uint16_t *address);

// The name that stands for exactly this address (the rules above; the first in name order
// among equals), or "" when none.
std::string dbg_symbol_at(const dbg_symbols_t *symbols, uint16_t address);

// "name" or "name+1A" for the nearest address at or below this one that has a name standing
// for it, within max_offset bytes; "" when there is none.
std::string dbg_symbol_near(const dbg_symbols_t *symbols, uint16_t address,
                            uint16_t max_offset = 0x100);

// A hexadecimal number of at most max ("0x" or "$" prefix and "h" suffix accepted, leading zeros
// ignored). False when the text is not one.
bool dbg_parse_hex(std::string text, uint32_t max, uint32_t *value);
// A decimal number of at most max (digits only: counts, milliseconds, line numbers). False when
// the text is not one.
bool dbg_parse_decimal(const std::string &text, uint64_t max, uint64_t *value);

// The one rule for a word that stands for a number (an address, a byte value, a length, a register
// value), in the command language and wherever an address is typed:
//   1. a register of the register table (cpu/zregs.h: "de", "a", "fc", "af'"; any case), with an
//      optional +OFFSET or -OFFSET ("pc-4"); when registers is null, a register's name is no
//      value at all (never the hexadecimal number it also spells);
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
