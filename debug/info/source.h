// The source model: what the debugger knows about a program's source, shared by the command
// language, quillane-run, the debugger window and an editor adapter. Qt-free; it never touches
// the machine: memory is read from a 64 KB array (the engine's copy) and registers from a z_cpu_t.
//
// What it holds:
//   - Files: basenames as the debug information writes them ("prog.c", "crt0.s"), each with its
//     path once found and its text once read (dbg_source_text).
//   - Lines: ranges (file, line, address, length, code or data). Several lines may share one
//     address (the last one added there is the line of the code that follows); one line may own
//     several ranges (a `for` line: its start, and its step at the bottom of the loop).
//   - Functions: name (static functions by their own names), module, file, [start, end), whether
//     the code sets up IX as a frame pointer at its entry (PUSH IX; LD IX,0; ADD IX,SP, read from
//     the code bytes by dbg_source_scan_code). SDCC writes no end record for a function that
//     returns through POP HL / INC SP / JP (HL); its extent ends where the next known thing
//     starts (a function, variable, string or assembly line of the .cdb, or a linker symbol
//     given to dbg_source_scan_code).
//   - Variables: globals, file statics, function statics (at an address), parameters and locals
//     (on the stack at frame base + offset, or in registers, or optimised out), with their
//     function and block (a variable of an inner block is in scope only inside it; SDCC numbers
//     blocks on lines and variables alike). Parameters are told from locals by the function's
//     definition in its source (SDCC's records do not say), else by a positive offset. The frame
//     base is SP at the function's entry minus 2, which is IX in a function with an IX frame: SDCC
//     numbers stack slots that way with and without IX.
//   - Types: char, short/int, long, float, signed/unsigned, pointers, arrays, structs, unions,
//     functions. SDCC 4.2 writes an enum as its integer type (char or int), so an enum variable
//     shows as that integer.
//
// SDCC's .cdb (qcc leaves OUT.cdb beside OUT.ihx): M: module, F: function, S: symbol, T: struct
// type, L: linker records (L:G$/F$/L$ addresses, L:XG$/XF$ function ends, L:C$file$line$level$
// block:ADDR C lines, L:A$module$line:ADDR assembly lines). Source files are looked for by
// basename beside the .cdb, then in search_dirs, then in the SDK folder.
//
// Expressions (print, set var, watch expressions, conditions) are C's, as a C programmer types
// them: numbers are decimal (41), 0x29 or $29 or 29h hexadecimal, 051 octal, 0b101001 binary,
// with C's u and l suffixes; 'c' (and '\n', '\x41') is a character. A number has C's type (int
// when it fits, else long ...) and arithmetic follows C's integer promotions with SDCC's sizes
// (int 16 bits, long 32), wrapping at the result's width. Names are looked up in this order: a
// local or parameter of the selected frame, a static of its function, a static of its file, a
// global, function::name (a static of that function), a C function (its address), a register (a
// f b c d e h l af bc de hl ix iy sp pc i r af' ...; flags fs fz fh fp fn fc; 8-bit ones are
// unsigned char, 16-bit ones unsigned int), `value` (a watchpoint's byte), an assembly symbol
// (its address, unsigned int). A word that is none of them is refused, with a hint when it is
// all hexadecimal digits ("FF": write 0xFF or $FF). Operators, C's precedence: postfix .field
// ->field [index]; unary * & - + ! ~ sizeof and casts to C types and pointers to them
// ("(unsigned char *)0x8000", "(struct point *)p", "(long)x"); * / %; + - (pointer arithmetic
// counts elements); << >>; < <= > >=; == !=; &; ^; |; &&; ||; ?:. A memory byte is
// *(unsigned char *)ADDR.
//
// Values are trees: integers print as decimal and hexadecimal ("-42 ($FFD6)"), characters also
// as 'c', char arrays and char pointers also as text, structs and arrays as children. A value held
// in registers is shown marked ("10 ($000A) in BC"): SDCC records no live ranges, so it may be
// stale.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "cpu/zcpu.h"

struct dbg_symbols_t;

enum dbg_type_kind_t : uint8_t {
    DBG_TYPE_VOID,
    DBG_TYPE_INT, // char, short, int, long (size 1, 2 or 4)
    DBG_TYPE_FLOAT,
    DBG_TYPE_POINTER,
    DBG_TYPE_ARRAY,
    DBG_TYPE_STRUCT,
    DBG_TYPE_UNION,
    DBG_TYPE_FUNCTION,
};

struct dbg_type_t {
    dbg_type_kind_t kind;
    bool is_signed;
    bool is_char;       // a 1-byte integer written as char
    uint16_t size;      // bytes
    uint32_t count;     // arrays: elements
    int target;         // pointer, array: element type; function: return type; else -1
    int record;         // struct, union: index into records (-1 while unknown)
    std::string tag;    // struct, union: the tag as written ("point")
    std::string module; // struct, union: where the tag was used
    std::string name;   // "unsigned char", "struct point *", "int [3]"
};

struct dbg_field_t {
    std::string name;
    uint16_t offset;
    int type;
};

struct dbg_record_t {
    std::string tag;
    std::string module;
    bool is_union;
    std::vector<dbg_field_t> fields;
};

struct dbg_source_file_t {
    std::string name;              // basename, as the debug information writes it
    std::string path;              // where it was found ("" while not found)
    bool searched;                 // the search ran (found or not)
    std::vector<std::string> text; // the lines once read (line N is text[N - 1])
    std::string problem;           // why the file found could not be read ("" when it was)
    std::vector<int> line_ranges;  // indices into lines, ordered by line then address
};

struct dbg_line_range_t {
    int file;
    int line;
    uint16_t address;
    uint16_t length;
    bool is_code;
    uint32_t order; // order of adding: among ranges that share an address the last one wins
    int block;      // C lines: SDCC's number of the block the line is in (0: not known)
    int level;      // and that block's nesting level
};

struct dbg_function_t {
    std::string name;   // the C name ("main", a static's own name)
    std::string module; // SDCC's module (the source's basename without ".c")
    int file;           // -1 when no line of it is known
    bool is_static;
    uint16_t start;
    uint32_t end;        // exclusive; start when not yet known
    bool has_end_record; // SDCC wrote its end (XG$/XF$)
    bool uses_ix;        // sets up IX at its entry (see dbg_source_scan_code)
    int type;            // its function type (target: the return type)
    uint16_t body = 0;   // where its set-up code ends, found from the code (0: not scanned)
};

enum dbg_var_scope_t : uint8_t { DBG_VAR_GLOBAL, DBG_VAR_FILE, DBG_VAR_FUNCTION };
enum dbg_var_place_t : uint8_t {
    DBG_VAR_MEMORY,    // at address
    DBG_VAR_STACK,     // at frame base + offset
    DBG_VAR_REGISTERS, // in registers (low byte first)
    DBG_VAR_NOWHERE,   // optimised out, or an address never linked
};

struct dbg_variable_t {
    std::string name;
    std::string module;
    dbg_var_scope_t scope;
    dbg_var_place_t place;
    int function;      // DBG_VAR_FUNCTION: index into functions
    int level;         // block nesting level (1: the function's outermost block)
    int block;         // SDCC's number of the block that declares it (lines carry the same numbers)
    bool is_parameter; // a parameter (from the function's definition in its source)
    uint16_t address;  // DBG_VAR_MEMORY
    int16_t offset;    // DBG_VAR_STACK
    std::string registers; // DBG_VAR_REGISTERS: SDCC's names, low byte first ("c,b")
    int type;
};

struct dbg_source_t {
    std::vector<dbg_source_file_t> files;
    std::vector<dbg_line_range_t> lines;   // ordered by address, then order
    std::vector<dbg_function_t> functions; // ordered by start
    std::vector<dbg_variable_t> variables;
    std::vector<dbg_type_t> types; // built-in first: 0 int, 1 unsigned char, 2 unsigned int
    std::vector<dbg_record_t> records;
    std::vector<std::string> search_dirs; // where dbg_source_text looks for files
    std::vector<std::string> loaded;      // the .cdb and line tables read in (canonical paths)
    // Indexes (kept by the functions below).
    std::unordered_map<std::string, int> file_index;
    std::unordered_map<std::string, int> type_index;                  // by SDCC type chain
    std::unordered_map<std::string, std::vector<int>> variable_index; // by name
    uint32_t next_order;
    bool sorted; // lines and functions are in order
};

// The built-in types every model starts with (dbg_source_init), by index.
enum : int {
    DBG_TYPE_INT_INDEX = 0,
    DBG_TYPE_UCHAR_INDEX,
    DBG_TYPE_UINT_INDEX,
    DBG_TYPE_SCHAR_INDEX,
    DBG_TYPE_LONG_INDEX,
    DBG_TYPE_ULONG_INDEX,
    DBG_TYPE_LLONG_INDEX,
    DBG_TYPE_ULLONG_INDEX,
    DBG_TYPE_VOID_INDEX,
    DBG_TYPE_FLOAT_INDEX,
};

// An empty model (with the built-in types).
void dbg_source_init(dbg_source_t *model);

// Reads an SDCC .cdb into the model (several may be loaded). Returns the number of C and
// assembly line records read, or -1 with a one-line reason (file unreadable, not a .cdb).
// Malformed records are skipped.
int dbg_source_load_cdb(dbg_source_t *model, const std::string &path, std::string *error);

// Adds a line range (any source: the .cdb reader, an assembly line table). file is a basename.
// Call dbg_source_index once the lines are added, before any lookup.
void dbg_source_add_line(dbg_source_t *model, const std::string &file, int line, uint16_t address,
                         uint16_t length, bool is_code);
// Orders lines and functions for the lookups below (the .cdb reader calls it itself).
void dbg_source_index(dbg_source_t *model);

// Reads what only the code bytes and the linker's symbols tell: whether each function sets up IX
// (the stack walk reads that from memory itself, so a late call only makes uses_ix right), and,
// with symbols (may be null), where a function without an end record stops when code without
// debug information (another module's, the library's) follows it: at the next symbol.
void dbg_source_scan_code(dbg_source_t *model, const uint8_t *memory,
                          const dbg_symbols_t *symbols = nullptr);

// The index of a file by basename (or a path, by its basename); -1 when unknown.
int dbg_source_file(const dbg_source_t *model, const std::string &name);
// The file's text, read on first use from beside the .cdb, search_dirs or the SDK folder. Empty
// when not found, or when the file found is no regular file or larger than a source may be (at
// most EMU_MAX_SOURCE_FILE_BYTES, lines of at most 64 KiB): the file's problem then tells why.
const std::vector<std::string> &dbg_source_text(dbg_source_t *model, int file);

// The line range holding address (among ranges sharing the address, the last added), or null.
const dbg_line_range_t *dbg_source_line_at(const dbg_source_t *model, uint16_t address);
// The first address of a line; a line without code moves to the next line of the file that has
// code (*actual_line tells which). False when no line at or after it has code.
bool dbg_source_address_of(const dbg_source_t *model, int file, int line, uint16_t *address,
                           int *actual_line);
// Every range of a line (a `for` line has two).
std::vector<const dbg_line_range_t *> dbg_source_ranges_of(const dbg_source_t *model, int file,
                                                           int line);

// The function holding address, or null.
const dbg_function_t *dbg_source_function_at(const dbg_source_t *model, uint16_t address);
// By name (a static function by its name too); null when unknown.
const dbg_function_t *dbg_source_function(const dbg_source_t *model, const std::string &name);

// Where a C function stops when it is entered (a breakpoint on it, a step into it): the first
// line after its opening line, once the set-up code has put the parameters in their places
// (SDCC passes the first ones in registers and stores them there). Its start when it has no
// such line.
uint16_t dbg_source_function_body(const dbg_source_t *model, const dbg_function_t *function);

// "prog.c:26", or "" when the address has no line.
std::string dbg_source_where(const dbg_source_t *model, uint16_t address);
// For stop reports and breakpoints: "sum_points, prog.c:26", "prog.c:26" (no function) or
// "sum_points" (no line); "" when the address has neither.
std::string dbg_source_describe(const dbg_source_t *model, uint16_t address);

// A place as the command language writes it: "FILE:LINE", "LINE" (in default_file) or a
// function's name (its stop point, dbg_source_function_body). Sets the file and line as written,
// and the address of the code and the line that has it (a line without code moves to the next one
// with code; *code_line is 0 when none follows). False with a one-line reason when the text names
// no place.
bool dbg_source_location(const dbg_source_t *model, const std::string &text, int default_file,
                         int *file, int *line, uint16_t *address, int *code_line,
                         std::string *error);
// Whether a line range starts at address (source stepping stops there).
bool dbg_source_is_line_start(const dbg_source_t *model, uint16_t address);

// Call stack. -----------------------------------------------------------------------------------

struct dbg_frame_t {
    uint16_t pc;      // frame 0: PC; callers: the return address
    uint16_t sp;      // SP while this frame runs at pc
    uint16_t ix;      // IX while this frame runs (as far as known)
    uint16_t base;    // SP at the function's entry - 2 (IX with an IX frame)
    bool base_known;  // a C function with its frame worked out from the code
    int function;     // index into functions, or -1
    std::string name; // function, or the assembly symbol at or below pc ("" when none)
    int file;         // the line of pc (frame 0) or of pc - 1 (callers, the CALL): -1 none
    int line;
    uint16_t line_address; // the address that line was found at (pc, or pc - 1)
    int depth;             // 0: the innermost frame, whose registers are the processor's
};

// Unwinds the stack from the registers: the one stack walk of the debugger (where, frame, the
// window's stack pane, DAP's stackTrace, the caller that finish and a line step return to). C
// frames (with or without IX) by their code, including the `}` of a function that returns through
// POP HL / INC SP / JP (HL). Others (assembly, the monitor, library code without debug
// information) by the return address their stack holds (see find_return in source.cpp: a word
// after a CALL or RST of a routine starting at most 8 KB below the frame's pc, preferably with no
// symbol between; in the innermost frame, one already popped into HL, DE, BC, IX or IY, whose
// caller's SP is then SP itself); failing that, the first word up the stack that follows a CALL or
// RST. A frame's caller is at frames[i + 1]: its pc is the return address, and sp - 2 the slot it
// was read from. Stops after max_frames, or when no return address is found.
// symbols (may be null) name frames outside C functions.
std::vector<dbg_frame_t> dbg_source_frames(const dbg_source_t *model, const uint8_t *memory,
                                           const z_cpu_t &cpu, const dbg_symbols_t *symbols,
                                           int max_frames = 32);

// Values and expressions. -----------------------------------------------------------------------

// The most a value shows, whatever its type claims: the elements of one array, the values of its
// whole tree (a big array of arrays), and the characters of a string. What is left out is
// marked: a last child named "..." (no text, no type), and a string's closing quote followed by
// "...".
constexpr uint32_t DBG_VALUE_MAX_ELEMENTS = 256;
constexpr uint32_t DBG_VALUE_MAX_NODES = 4096;
constexpr uint32_t DBG_VALUE_MAX_CHARS = 1024;

struct dbg_value_t {
    std::string name;       // the expression, a field name or "[2]"
    std::string type;       // type name
    std::string text;       // formatted: "-42 ($FFD6)", "104 'h' ($68)", "$8DD5 \"hello\"", "{...}"
    std::string registers;  // held in registers: "BC" (text ends with " in BC"); else ""
    bool in_memory = false; // address is where it lives (can be written)
    uint16_t address = 0;
    int type_index = -1;
    std::vector<dbg_value_t> children; // struct fields, array elements (bounded as above)
};

// What an expression is evaluated against.
struct dbg_eval_context_t {
    const uint8_t *memory; // 64 KB
    const z_cpu_t *cpu;
    const dbg_symbols_t *symbols; // may be null
    const dbg_frame_t *frame;     // the selected frame; null: worked out from cpu (frame 0)
    int value;                    // a watchpoint's byte, or -1
};

// A parsed expression: parse once, evaluate often (breakpoint conditions). Nodes are the
// parser's; names are resolved when evaluated, since the selected frame decides what they mean.
struct dbg_expr_node_t {
    uint8_t op; // operation (internal to the evaluator)
    int left;   // operand nodes, -1 when none
    int right;
    int64_t number; // a constant; a type's count of '*'
    int type;       // a constant's built-in type
    std::string name;
};
struct dbg_expr_t {
    std::vector<dbg_expr_node_t> nodes;
    int root = -1;
};

// Parses an expression. False with a one-line reason.
bool dbg_expr_parse(const dbg_source_t *model, const std::string &text, dbg_expr_t *expr,
                    std::string *error);
// Refuses a word made of hexadecimal digits that names nothing the program or symbols know
// ("FF"), with the hint to write 0xFF or $FF: a condition is checked so when it is set.
bool dbg_expr_check_names(const dbg_source_t *model, const dbg_expr_t &expr,
                          const dbg_symbols_t *symbols, std::string *error);
// The expression's value as an integer (a condition: non-zero is true). False with a reason
// (an unknown name, a variable without a place, a bad index).
bool dbg_expr_number(const dbg_source_t *model, const dbg_expr_t &expr,
                     const dbg_eval_context_t &context, int64_t *number, std::string *error);
// The expression's value as a tree for print, Locals and Watch. format: print's x (hexadecimal),
// d (signed), u (unsigned), c (character) or t (binary) for its integers, or 0.
bool dbg_expr_value(const dbg_source_t *model, const dbg_expr_t &expr,
                    const dbg_eval_context_t &context, dbg_value_t *value, std::string *error,
                    char format = 0);
// Parse and evaluate in one go.
bool dbg_source_print(const dbg_source_t *model, const std::string &text,
                      const dbg_eval_context_t &context, dbg_value_t *value, std::string *error,
                      char format = 0);

// Parse and evaluate as an integer in one go (a value typed for a register).
bool dbg_source_number(const dbg_source_t *model, const std::string &text,
                       const dbg_eval_context_t &context, int64_t *number, std::string *error);

// The bytes that set a variable held in memory to a value (low byte first; a char array takes
// "text" too). The caller writes them (dbg_poke). False with a reason (not in memory, a value
// that does not fit, a struct).
bool dbg_source_assign(const dbg_source_t *model, const std::string &target,
                       const std::string &value, const dbg_eval_context_t &context,
                       uint16_t *address, std::vector<uint8_t> *bytes, std::string *error);

// The parameters and locals of a frame that are in scope at its line (a variable of an inner
// block only inside that block), parameters first, innermost blocks last.
std::vector<dbg_value_t> dbg_source_locals(const dbg_source_t *model,
                                           const dbg_eval_context_t &context);

// Formats an integer of a type as values do: "-42 ($FFD6)".
std::string dbg_source_format_int(const dbg_type_t &type, int64_t value);
// What a function that has just returned gave back, from the registers by SDCC's convention
// (8 bits in A, 16 in DE, 32 in HLDE), as "546 ($0222)  (int)"; "" for void, and <not available>
// for a value returned through memory.
std::string dbg_source_return_value(const dbg_source_t *model, const dbg_function_t &function,
                                    const z_cpu_t &cpu);
// The value of a type at an address as print shows it, on one line ("{x = 1 ($0001), y = ...}"
// for a struct).
std::string dbg_source_value_text(const dbg_source_t *model, int type, uint16_t address,
                                  const dbg_eval_context_t &context);
