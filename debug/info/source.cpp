// The source model: line table, functions, file texts and the call stack.
#include "debug/info/source.h"

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

#include "debug/info/disasm.h"
#include "debug/info/source_internal.h"
#include "debug/info/symbols.h"
#include "files/data.h"
#include "files/input.h"

namespace {

int add_type(dbg_source_t *model, dbg_type_kind_t kind, bool is_signed, bool is_char, uint16_t size,
             const std::string &name) {
    dbg_type_t type{};
    type.kind = kind;
    type.is_signed = is_signed;
    type.is_char = is_char;
    type.size = size;
    type.target = -1;
    type.record = -1;
    type.name = name;
    model->types.push_back(type);
    return static_cast<int>(model->types.size()) - 1;
}

std::string basename_of(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Reads a source file's lines through the bounded reader (a FIFO or a device is refused at once,
// a file larger than a source is not read); false with the reason.
bool read_lines(const std::string &path, std::vector<std::string> *text, std::string *problem) {
    emu_line_reader_t in;
    emu_file_error_t reason{};
    int status = -1;
    if (emu_reader_open(&in, path.c_str(), &reason, EMU_MAX_SOURCE_FILE_BYTES, false)) {
        std::string line;
        while ((status = emu_reader_next(&in, &line, &reason)) > 0)
            text->push_back(line);
        emu_reader_close(&in);
    }
    if (status == 0) return true;
    text->clear();
    *problem = emu_file_error_message(path, reason);
    return false;
}

uint16_t peek16(const uint8_t *memory, uint16_t address) {
    return static_cast<uint16_t>(memory[address] | memory[static_cast<uint16_t>(address + 1)] << 8);
}

} // namespace

void dbg_source_init(dbg_source_t *model) {
    *model = dbg_source_t{};
    add_type(model, DBG_TYPE_INT, true, false, 2, "int");
    add_type(model, DBG_TYPE_INT, false, true, 1, "unsigned char");
    add_type(model, DBG_TYPE_INT, false, false, 2, "unsigned int");
    add_type(model, DBG_TYPE_INT, true, true, 1, "signed char");
    add_type(model, DBG_TYPE_INT, true, false, 4, "long");
    add_type(model, DBG_TYPE_INT, false, false, 4, "unsigned long");
    add_type(model, DBG_TYPE_INT, true, false, 8, "long long");
    add_type(model, DBG_TYPE_INT, false, false, 8, "unsigned long long");
    add_type(model, DBG_TYPE_VOID, false, false, 0, "void");
    add_type(model, DBG_TYPE_FLOAT, true, false, 4, "float");
}

int src_file_add(dbg_source_t *model, const std::string &name) {
    const std::string base = basename_of(name);
    auto it = model->file_index.find(base);
    if (it != model->file_index.end()) return it->second;
    dbg_source_file_t file{};
    file.name = base;
    model->files.push_back(file);
    const int index = static_cast<int>(model->files.size()) - 1;
    model->file_index.emplace(base, index);
    return index;
}

void dbg_source_add_line(dbg_source_t *model, const std::string &file, int line, uint16_t address,
                         uint16_t length, bool is_code) {
    dbg_line_range_t range{};
    range.file = src_file_add(model, file);
    range.line = line;
    range.address = address;
    range.length = length;
    range.is_code = is_code;
    range.order = model->next_order++;
    model->lines.push_back(range);
    model->sorted = false;
}

void dbg_source_index(dbg_source_t *model) {
    std::sort(model->lines.begin(), model->lines.end(),
              [](const dbg_line_range_t &a, const dbg_line_range_t &b) {
                  return a.address != b.address ? a.address < b.address : a.order < b.order;
              });
    std::stable_sort(
        model->functions.begin(), model->functions.end(),
        [](const dbg_function_t &a, const dbg_function_t &b) { return a.start < b.start; });
    for (auto &file : model->files)
        file.line_ranges.clear();
    for (size_t i = 0; i < model->lines.size(); ++i)
        model->files[model->lines[i].file].line_ranges.push_back(static_cast<int>(i));
    for (auto &file : model->files)
        std::sort(file.line_ranges.begin(), file.line_ranges.end(), [&](int a, int b) {
            const auto &x = model->lines[a], &y = model->lines[b];
            return x.line != y.line ? x.line < y.line : x.address < y.address;
        });
    model->variable_index.clear();
    for (size_t i = 0; i < model->variables.size(); ++i)
        model->variable_index[model->variables[i].name].push_back(static_cast<int>(i));
    model->sorted = true;
}

int dbg_source_file(const dbg_source_t *model, const std::string &name) {
    auto it = model->file_index.find(basename_of(name));
    return it == model->file_index.end() ? -1 : it->second;
}

const std::vector<std::string> &dbg_source_text(dbg_source_t *model, int index) {
    static const std::vector<std::string> none;
    if (index < 0 || index >= static_cast<int>(model->files.size())) return none;
    dbg_source_file_t &file = model->files[index];
    if (!file.searched) {
        file.searched = true;
        std::vector<std::string> dirs = model->search_dirs;
        // The SDK's own sources (crt0.s, quillane.s): installed, else in the checkout.
        const std::string installed = emu_installed_data_dir();
        if (!installed.empty()) dirs.push_back(installed + "/sdk");
#ifdef QUILLANE_SDK_DIR
        dirs.push_back(QUILLANE_SDK_DIR);
#endif
        // The first readable one is the file (looking does not open it: a FIFO would wait).
        for (const auto &dir : dirs) {
            const std::string path = dir.empty() ? file.name : dir + "/" + file.name;
            if (access(path.c_str(), R_OK) == 0) {
                file.path = path;
                break;
            }
        }
        if (!file.path.empty()) read_lines(file.path, &file.text, &file.problem);
    }
    return file.text;
}

const dbg_line_range_t *dbg_source_line_at(const dbg_source_t *model, uint16_t address) {
    const auto &lines = model->lines;
    // The last range starting at or below the address; ranges sharing a start are ordered by
    // when they were added, so the one found first walking down is the last added there.
    auto it = std::upper_bound(lines.begin(), lines.end(), address,
                               [](uint16_t a, const dbg_line_range_t &r) { return a < r.address; });
    // A range starting lower may still hold the address when a later one is empty: look back a
    // little (ranges are short and few overlap).
    for (int steps = 0; it != lines.begin() && steps < 16; ++steps) {
        --it;
        if (address < it->address + std::max<uint32_t>(it->length, 1)) return &*it;
    }
    return nullptr;
}

std::vector<const dbg_line_range_t *> dbg_source_ranges_of(const dbg_source_t *model, int file,
                                                           int line) {
    std::vector<const dbg_line_range_t *> ranges;
    if (file < 0 || file >= static_cast<int>(model->files.size())) return ranges;
    const auto &index = model->files[file].line_ranges;
    auto it = std::lower_bound(index.begin(), index.end(), line,
                               [&](int r, int l) { return model->lines[r].line < l; });
    for (; it != index.end() && model->lines[*it].line == line; ++it)
        ranges.push_back(&model->lines[*it]);
    return ranges;
}

bool dbg_source_address_of(const dbg_source_t *model, int file, int line, uint16_t *address,
                           int *actual_line) {
    if (file < 0 || file >= static_cast<int>(model->files.size())) return false;
    const auto &index = model->files[file].line_ranges;
    auto it = std::lower_bound(index.begin(), index.end(), line,
                               [&](int r, int l) { return model->lines[r].line < l; });
    for (; it != index.end(); ++it) {
        const dbg_line_range_t &range = model->lines[*it];
        if (!range.is_code) continue;
        *address = range.address;
        if (actual_line) *actual_line = range.line;
        return true;
    }
    return false;
}

const dbg_function_t *dbg_source_function_at(const dbg_source_t *model, uint16_t address) {
    const auto &functions = model->functions;
    auto it = std::upper_bound(functions.begin(), functions.end(), address,
                               [](uint16_t a, const dbg_function_t &f) { return a < f.start; });
    if (it == functions.begin()) return nullptr;
    --it;
    return address < it->end ? &*it : nullptr;
}

const dbg_function_t *dbg_source_function(const dbg_source_t *model, const std::string &name) {
    for (const auto &function : model->functions)
        if (function.name == name) return &function;
    return nullptr;
}

uint16_t dbg_source_function_body(const dbg_source_t *model, const dbg_function_t *function) {
    if (function->body) return function->body;
    // The opening line is the one at the function's first byte (in its own file).
    const auto &lines = model->lines;
    auto it = std::lower_bound(lines.begin(), lines.end(), function->start,
                               [](const dbg_line_range_t &r, uint16_t a) { return r.address < a; });
    int opening = INT32_MAX;
    for (auto r = it; r != lines.end() && r->address == function->start; ++r)
        if (r->file == function->file) opening = std::min(opening, r->line);
    for (; it != lines.end() && it->address < function->end; ++it)
        if (it->is_code && it->file == function->file && it->line != opening) return it->address;
    return function->start;
}

std::string dbg_source_where(const dbg_source_t *model, uint16_t address) {
    const dbg_line_range_t *range = dbg_source_line_at(model, address);
    if (!range) return "";
    return model->files[range->file].name + ":" + std::to_string(range->line);
}

std::string dbg_source_describe(const dbg_source_t *model, uint16_t address) {
    const dbg_function_t *function = dbg_source_function_at(model, address);
    const std::string where = dbg_source_where(model, address);
    if (function && !where.empty()) return function->name + ", " + where;
    return function ? function->name : where;
}

bool dbg_source_is_line_start(const dbg_source_t *model, uint16_t address) {
    const auto &lines = model->lines;
    auto it = std::lower_bound(lines.begin(), lines.end(), address,
                               [](const dbg_line_range_t &r, uint16_t a) { return r.address < a; });
    return it != lines.end() && it->address == address && it->is_code;
}

bool dbg_source_location(const dbg_source_t *model, const std::string &text, int default_file,
                         int *file, int *line, uint16_t *address, int *code_line,
                         std::string *error) {
    const size_t colon = text.rfind(':');
    char *end = nullptr;
    if (colon != std::string::npos) {
        *file = dbg_source_file(model, text.substr(0, colon));
        const long number = std::strtol(text.c_str() + colon + 1, &end, 10);
        if (*file < 0) {
            *error = "no file " + text.substr(0, colon) + " in the debug information";
            return false;
        }
        if (colon + 1 == text.size() || *end || number <= 0 || number > 1000000) {
            *error = "bad line number in " + text;
            return false;
        }
        *line = static_cast<int>(number);
    } else if (const dbg_function_t *function = dbg_source_function(model, text)) {
        *address = dbg_source_function_body(model, function);
        const dbg_line_range_t *range = dbg_source_line_at(model, *address);
        *code_line = range ? range->line : 0;
        *file = range ? range->file : -1;
        *line = *code_line;
        return true;
    } else {
        const long number = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end || number <= 0 || number > 1000000) {
            *error = "no line or function " + text;
            return false;
        }
        if (default_file < 0) {
            *error = "no current file: write FILE:LINE";
            return false;
        }
        *file = default_file;
        *line = static_cast<int>(number);
    }
    if (!dbg_source_address_of(model, *file, *line, address, code_line)) *code_line = 0;
    return true;
}

// Code bytes. ------------------------------------------------------------------------------

namespace {

// PUSH IX; LD IX,0; ADD IX,SP: SDCC's frame set-up.
constexpr uint8_t ix_prologue[] = {0xDD, 0xE5, 0xDD, 0x21, 0x00, 0x00, 0xDD, 0x39};

bool sets_up_ix(const uint8_t *memory, uint16_t start) {
    for (size_t i = 0; i < sizeof ix_prologue; ++i)
        if (memory[static_cast<uint16_t>(start + i)] != ix_prologue[i]) return false;
    return true;
}

} // namespace

// The body line starts by copying register parameters from the registers they came in to the
// ones the records name (LD C,L; LD B,H; EX DE,HL): set-up code too, before which those records
// do not hold. Where those copies end.
uint16_t after_parameter_copies(const dbg_source_t *model, int index, const uint8_t *memory) {
    const dbg_function_t &function = model->functions[static_cast<size_t>(index)];
    uint32_t pc = dbg_source_function_body(model, &function);
    std::string registers; // SDCC's names of the parameters' registers: "c,b,e,d,"
    for (const dbg_variable_t &v : model->variables)
        if (v.function == index && v.is_parameter && v.place == DBG_VAR_REGISTERS)
            registers += v.registers + ",";
    static const char names[] = "bcdehl a";
    const auto names_one = [&](char name) { return registers.find(name) != std::string::npos; };
    for (int n = 0; n < 8 && pc < function.end; ++n, ++pc) {
        const uint8_t op = memory[pc];
        const int to = (op >> 3) & 7, from = op & 7;
        if (op == 0xEB && (names_one('d') || names_one('e') || names_one('h') || names_one('l')))
            continue;
        if (op >= 0x40 && op < 0x80 && to != 6 && from != 6 && names_one(names[to])) continue;
        break;
    }
    return static_cast<uint16_t>(pc);
}

void dbg_source_scan_code(dbg_source_t *model, const uint8_t *memory,
                          const dbg_symbols_t *symbols) {
    for (size_t i = 0; i < model->functions.size(); ++i) {
        dbg_function_t &function = model->functions[i];
        function.body = 0;
        function.body = after_parameter_copies(model, static_cast<int>(i), memory);
        function.uses_ix = sets_up_ix(memory, function.start);
        if (function.has_end_record || !symbols) continue;
        // SDCC's own names (with '$') label lines inside the function; any other one after the
        // start is something else's, and so is the start of another of the linker's areas.
        uint32_t end = function.end;
        auto it = symbols->by_address.upper_bound(function.start);
        for (; it != symbols->by_address.end() && it->first < end; ++it)
            if (it->second.find('$') == std::string::npos) {
                end = it->first;
                break;
            }
        for (const dbg_symbol_area_t &area : dbg_symbol_areas(symbols))
            if (area.start > function.start && area.start < end) end = area.start;
        if (end == function.end) continue;
        for (auto &range : model->lines)
            if (range.address >= function.start && range.address < function.end &&
                range.address + range.length > end)
                range.length = static_cast<uint16_t>(end > range.address ? end - range.address : 0);
        function.end = end;
    }
}

src_stack_state_t src_stack_state(const dbg_function_t &function, const uint8_t *memory,
                                  uint16_t pc) {
    src_stack_state_t state{};
    const bool uses_ix = sets_up_ix(memory, function.start);
    // Walks the code from the entry to pc in address order: SDCC balances its pushes and pops
    // within a line and has one exit, so the order of addresses is good enough.
    uint32_t address = function.start;
    int32_t hl_constant = 0;
    bool hl_known = false;
    bool hl_plus_sp = false;
    while (address < pc) {
        const uint8_t op = memory[address];
        const uint8_t op2 = memory[static_cast<uint16_t>(address + 1)];
        const bool was_hl_known = hl_known, was_hl_plus_sp = hl_plus_sp;
        hl_known = hl_plus_sp = false;
        if (op == 0xC5 || op == 0xD5 || op == 0xE5 || op == 0xF5) {
            state.depth += 2;
        } else if (op == 0xC1 || op == 0xD1 || op == 0xE1 || op == 0xF1) {
            state.depth -= 2;
        } else if (op == 0x33) {
            state.depth -= 1;
        } else if (op == 0x3B) {
            state.depth += 1;
        } else if (op == 0x21) {
            hl_constant =
                static_cast<int16_t>(op2 | memory[static_cast<uint16_t>(address + 2)] << 8);
            hl_known = true;
        } else if (op == 0x39 && was_hl_known) {
            hl_plus_sp = true; // HL = constant + SP
        } else if (op == 0xF9 && was_hl_plus_sp) {
            state.depth -= hl_constant; // LD SP,HL: SP moved by the constant
        } else if ((op == 0xDD || op == 0xFD) && (op2 == 0xE5)) {
            state.depth += 2;
            if (op == 0xDD && uses_ix && address == function.start) state.ix_saved = true;
        } else if ((op == 0xDD || op == 0xFD) && op2 == 0xE1) {
            state.depth -= 2;
            if (op == 0xDD) state.ix_saved = state.ix_active = false;
        } else if (op == 0xDD && op2 == 0x39 && state.ix_saved) {
            state.ix_active = true;
        } else if (op == 0xDD && op2 == 0xF9 && state.ix_active) {
            state.depth = 2; // LD SP,IX: SP is the frame base again
        }
        address += dbg_disassemble(memory, static_cast<uint16_t>(address), nullptr).length;
    }
    return state;
}

// Call stack. ------------------------------------------------------------------------------

namespace {

void name_frame(const dbg_source_t *model, const dbg_symbols_t *symbols, dbg_frame_t *frame,
                uint16_t line_address) {
    const dbg_function_t *function = dbg_source_function_at(model, frame->pc);
    frame->function = function ? static_cast<int>(function - model->functions.data()) : -1;
    if (function)
        frame->name = function->name;
    else if (symbols)
        frame->name = dbg_symbol_near(symbols, frame->pc, 0x1000);
    const dbg_line_range_t *range = dbg_source_line_at(model, line_address);
    frame->line_address = line_address;
    frame->file = range ? range->file : -1;
    frame->line = range ? range->line : 0;
}

// The return address of a routine without debug information (assembly, the monitor, library
// code) that runs at pc with the stack at sp, and the place it was taken from. A candidate follows
// a call of a routine (through a JP, as in a jump table) that starts at most 8 KB below pc and not
// with a NOP; better, with no symbol between its start and pc (a local label of an assembly
// routine may be, so that is a preference, not a rule). The first on the stack from sp up is the
// routine's own (words it pushed since rarely pass for one; deeper words belong to its callers).
// With the registers known (the innermost frame) the routine may have popped it already: a
// candidate in HL, DE, BC, IX or IY wins when its routine starts nearer below pc (then "taken
// from" is just below sp). Without any such candidate, the first word up the stack that follows
// a call at all.
bool find_return(const uint8_t *memory, const dbg_symbols_t *symbols, uint16_t pc, uint16_t sp,
                 const z_cpu_t *registers, uint16_t *address, uint16_t *slot) {
    uint16_t named = 0; // the nearest symbol at or below pc
    if (symbols) {
        const auto label = symbols->by_address.upper_bound(pc);
        if (label != symbols->by_address.begin()) named = std::prev(label)->first;
    }
    bool found = false;
    int best_tier = 0;
    uint16_t best_distance = 0;
    auto consider = [&](uint16_t word, uint16_t from, bool nearer_only) {
        uint16_t entry = 0;
        if (!dbg_return_site(memory, word, &entry)) return;
        if (memory[entry] == 0xC3) entry = peek16(memory, static_cast<uint16_t>(entry + 1));
        const uint16_t distance = static_cast<uint16_t>(pc - entry);
        // Memory never written holds 00: no routine starts with a NOP.
        if (entry > pc || distance >= 0x2000 || memory[entry] == 0x00) return;
        const int tier = entry < named ? 1 : 0;
        if (found && (tier > best_tier ||
                      (tier == best_tier && (!nearer_only || distance >= best_distance))))
            return;
        found = true;
        best_tier = tier;
        best_distance = distance;
        *address = word;
        *slot = from;
    };
    for (uint16_t n = 0, at = sp; n < 64 && !(found && best_tier == 0);
         ++n, at = static_cast<uint16_t>(at + 2))
        consider(peek16(memory, at), at, false);
    if (registers)
        for (uint16_t word :
             {registers->HL, registers->DE, registers->BC, registers->IX, registers->IY})
            consider(word, static_cast<uint16_t>(sp - 2), true);
    if (found) return true;
    for (uint32_t at = sp; at + 1 < 0x10000 && at < sp + 128u; at += 2) {
        const uint16_t word = peek16(memory, static_cast<uint16_t>(at));
        if (word >= 3 && dbg_return_site(memory, word)) {
            *address = word;
            *slot = static_cast<uint16_t>(at);
            return true;
        }
    }
    return false;
}

} // namespace

std::vector<dbg_frame_t> dbg_source_frames(const dbg_source_t *model, const uint8_t *memory,
                                           const z_cpu_t &cpu, const dbg_symbols_t *symbols,
                                           int max_frames) {
    std::vector<dbg_frame_t> frames;
    dbg_frame_t frame{};
    frame.pc = cpu.PC;
    frame.sp = cpu.SP;
    frame.ix = cpu.IX;
    name_frame(model, symbols, &frame, frame.pc);
    while (static_cast<int>(frames.size()) < max_frames) {
        uint16_t return_pc = 0, return_slot = 0;
        uint16_t caller_ix = frame.ix;
        bool found = false;
        bool popped = false; // the return address has left the stack (SP is above its slot)
        if (frame.function >= 0) {
            const dbg_function_t &function = model->functions[frame.function];
            const src_stack_state_t state = src_stack_state(function, memory, frame.pc);
            const uint16_t entry_sp = state.ix_active
                                          ? static_cast<uint16_t>(frame.ix + 2)
                                          : static_cast<uint16_t>(frame.sp + state.depth);
            frame.base = static_cast<uint16_t>(entry_sp - 2);
            frame.base_known = true;
            if (state.ix_saved) caller_ix = peek16(memory, frame.base);
            return_slot = entry_sp;
            return_pc = peek16(memory, return_slot);
            found = true;
            // SDCC's POP HL / INC SP / JP (HL): the word is still in memory below SP.
            popped = state.depth < 0;
        } else {
            found = find_return(memory, symbols, frame.pc, frame.sp,
                                frames.empty() ? &cpu : nullptr, &return_pc, &return_slot);
            popped = found && static_cast<uint16_t>(return_slot + 2) == frame.sp;
        }
        frame.depth = static_cast<int>(frames.size());
        frames.push_back(frame);
        if (!found) break;
        dbg_frame_t caller{};
        caller.pc = return_pc;
        caller.sp = static_cast<uint16_t>(return_slot + 2);
        caller.ix = caller_ix;
        // A return address that no call precedes ends the walk (the stack's bottom, or junk), and
        // so does a stack that does not rise, unless the innermost routine has taken its return
        // address off the stack already.
        popped = popped && frames.size() == 1;
        if (!dbg_return_site(memory, caller.pc) || (caller.sp <= frame.sp && !popped) ||
            caller.sp == 0)
            break;
        name_frame(model, symbols, &caller, static_cast<uint16_t>(caller.pc - 1));
        frame = caller;
    }
    return frames;
}
