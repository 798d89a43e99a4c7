// Line tables of assembly programs, as sdk/qasm writes them beside a program's image
// (docs/line-table.md): which bytes each source line produced, whether they are code or data,
// and which of the program's symbols are labels and which are constants.
//
// The file is text, one record a line, fields separated by tabs:
//   # Quillane line table ...                  (first line; other "#" lines are comments)
//   directory  DIR                             (where relative file names start)
//   line       FILE  LINE  ADDRESS  LENGTH  code|data
//   symbol     NAME  ADDRESS  label|constant
// ADDRESS is hexadecimal, LINE and LENGTH decimal. Unknown record types are skipped, so that
// later versions may add some.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct dbg_asm_line_t {
    std::string file; // with the table's directory when the table names one, else as written
    int line;         // 1-based
    uint16_t address;
    uint32_t length; // bytes, 1-65536
    bool is_code;    // false: DB, DW, DS, text and other data
};

struct dbg_asm_symbol_t {
    std::string name;
    uint16_t address;
    bool is_label; // false: an EQU or DEFL constant
};

// Reads a line table. Records come in the file's order. False with a one-line reason in *error
// ("PATH:LINE: what is wrong") when the file cannot be read, is not a line table, has a line
// longer than 64 KiB or a malformed record; *records and *symbols are then left empty.
// symbols may be null. "-" is standard input, as for the program's other inputs.
bool dbg_asm_lines_load(const std::string &path, std::vector<dbg_asm_line_t> *records,
                        std::string *error, std::vector<dbg_asm_symbol_t> *symbols = nullptr);

// Whether the file's first line starts like a line table (does not read further); never for
// standard input ("-"), whose first line would be lost to its reader.
bool dbg_asm_lines_is_table(const std::string &path);
