// Symbol files of pasmo and SDCC, and addresses written as numbers or names.
#include "debug/info/symbols.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <utility>
#include <vector>

#include "debug/info/asm_lines.h"

#include "files/input.h"

#include "cpu/zcpu.h"
#include "cpu/zregs.h"

bool dbg_parse_decimal(const std::string &text, uint64_t max, uint64_t *value) {
    if (text.empty()) return false;
    uint64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (v > (max - digit) / 10) return false;
        v = v * 10 + digit;
    }
    *value = v;
    return true;
}

bool dbg_parse_hex(std::string text, uint32_t max, uint32_t *value) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text = text.substr(2);
    else if (text.size() > 1 && text[0] == '$')
        text = text.substr(1);
    else if (text.size() > 1 && (text.back() == 'h' || text.back() == 'H'))
        text.pop_back();
    if (text.empty()) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        v = v * 16 + static_cast<uint64_t>(std::isdigit(static_cast<unsigned char>(c))
                                               ? c - '0'
                                               : std::toupper(c) - 'A' + 10);
        if (v > max) return false;
    }
    *value = static_cast<uint32_t>(v);
    return true;
}

namespace {

// A hexadecimal number of at most 0xFFFF.
bool parse_hex_word(const std::string &text, uint16_t *value) {
    uint32_t v = 0;
    if (!dbg_parse_hex(text, 0xFFFF, &v)) return false;
    *value = static_cast<uint16_t>(v);
    return true;
}

bool is_name(const std::string &text) {
    if (text.empty() || std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.' && c != '$')
            return false;
    return true;
}

// SDCC's linker also lists each area's length (l__NAME), its absolute areas at 0 and the name
// .__.ABS.; none of them names an address, and as labels they would name every 0 operand.
bool is_sdcc_non_address(const std::string &name) {
    return name.rfind("l__", 0) == 0 || name[0] == '.' || name == "s__CABS" || name == "s__DABS";
}

// The kind of a name from SDCC's linker: area starts (s__CODE), the library's own routines
// (__divu16, ___sdcc_call_hl), or the program's C names (_main) and start-up code labels.
dbg_symbol_kind_t sdcc_kind(const std::string &name) {
    if (name.rfind("s__", 0) == 0) return DBG_SYMBOL_AREA;
    return name.rfind("__", 0) == 0 ? DBG_SYMBOL_INTERNAL : DBG_SYMBOL_LABEL;
}

struct parsed_symbol {
    std::string name;
    uint16_t address;
    dbg_symbol_kind_t kind;
};

// One line of any of the three formats: the symbol it defines, if any. *defined: every address
// an SDCC line defines, its debug names included (they bound string literals).
bool parse_symbol_line(const std::string &line, parsed_symbol *symbol,
                       std::vector<parsed_symbol> *defined) {
    std::istringstream in(line);
    std::string a, b, c;
    in >> a >> b >> c;
    uint16_t address = 0;
    // pasmo: "NAME EQU 08002H"; labels and EQU constants look alike. A number without its H is
    // a line cut short, not an address.
    if ((b == "EQU" || b == "equ") && is_name(a) && !c.empty() &&
        (c.back() == 'H' || c.back() == 'h') && parse_hex_word(c, &address)) {
        *symbol = {a, address, DBG_SYMBOL_UNKNOWN};
        return true;
    }
    // SDCC .noi "DEF _main 0x8002", and .map "     00008002  _main   main" (address first).
    // Its debug names ("C$prog.c$26$1_0$5", "G$main$0_0$0") are never symbol names.
    std::string name;
    if (a == "DEF" && parse_hex_word(c, &address))
        name = b;
    else if (a.size() == 8 && b != "EQU" && b != "equ" && parse_hex_word(a, &address))
        name = b; // (pasmo lists local labels as "00000001 EQU 08004H": not this format)
    if (!name.empty()) defined->push_back({name, address, DBG_SYMBOL_INTERNAL});
    if (!is_name(name) || name.find('$') != std::string::npos || is_sdcc_non_address(name))
        return false;
    *symbol = {name, address, sdcc_kind(name)};
    return true;
}

// SDCC's length of an area from a .noi ("DEF l__INITIALIZER 0xC") or .map
// ("0000000C  l__INITIALIZER") line, into lengths by the area's name ("_INITIALIZER").
void area_length(const std::string &line, std::map<std::string, uint32_t> *lengths) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word && words.size() < 4;)
        words.push_back(word);
    if (words.size() < 2 || words[1].rfind("l__", 0) != 0) return;
    const std::string &number = words[0] == "DEF" ? (words.size() > 2 ? words[2] : "") : words[0];
    uint32_t value = 0;
    if (dbg_parse_hex(number, 0x10000, &value)) (*lengths)[words[1].substr(2)] = value;
}

// The line table beside a pasmo .sym (prog.lines for prog.sym), if there is one: true with its
// symbols and lines, or with none when there is no table; false with a reason when it is
// malformed.
bool read_kinds_beside(const std::string &path, std::vector<dbg_asm_symbol_t> *kinds,
                       std::vector<dbg_asm_line_t> *lines, std::string *error) {
    kinds->clear();
    const std::string table = std::filesystem::path(path).replace_extension(".lines").string();
    std::error_code missing;
    if (table == path || !std::filesystem::exists(table, missing)) return true;
    return dbg_asm_lines_load(table, lines, error, kinds);
}

// SDCC's string literals (Fprog$__str_0$0_0$0 in prog.c) are data in the code: each runs up to the
// next address the linker defines (another literal, a function, an area), 256 bytes at most.
void mark_string_literals(dbg_symbols_t *symbols, std::vector<parsed_symbol> &defined) {
    std::sort(defined.begin(), defined.end(),
              [](const parsed_symbol &a, const parsed_symbol &b) { return a.address < b.address; });
    for (size_t i = 0; i < defined.size(); ++i) {
        const std::string &name = defined[i].name;
        if (name[0] != 'F' || name.find("$__str_") == std::string::npos) continue;
        const uint32_t start = defined[i].address;
        uint32_t end = start + 0x100;
        for (size_t j = i + 1; j < defined.size(); ++j)
            if (defined[j].address > start) {
                end = std::min<uint32_t>(end, defined[j].address);
                break;
            }
        dbg_symbols_add_data(symbols, static_cast<uint16_t>(start), end - start);
    }
}

} // namespace

int dbg_symbols_load(dbg_symbols_t *symbols, const std::string &path, std::string *error) {
    std::vector<parsed_symbol> found;
    std::vector<dbg_asm_symbol_t> kinds;
    std::vector<dbg_asm_line_t> lines;       // a line table's, for its data lines
    std::map<std::string, uint32_t> lengths; // SDCC: each area's length
    if (dbg_asm_lines_is_table(path)) {
        // qasm's line table lists every symbol with its kind.
        if (!dbg_asm_lines_load(path, &lines, error, &kinds)) return -1;
        for (const auto &k : kinds)
            found.push_back(
                {k.name, k.address, k.is_label ? DBG_SYMBOL_LABEL : DBG_SYMBOL_CONSTANT});
        kinds.clear();
    } else {
        // Read whole before any is added: a file that fails half way adds nothing.
        emu_line_reader_t reader;
        emu_file_error_t reason{};
        if (!emu_reader_open(&reader, path.c_str(), &reason, EMU_MAX_DEBUG_FILE_BYTES)) {
            *error = emu_file_error_message(path, reason);
            return -1;
        }
        std::string line;
        parsed_symbol symbol;
        bool pasmo = false;
        std::vector<parsed_symbol> defined;

        int status;
        while ((status = emu_reader_next(&reader, &line, &reason)) > 0) {
            if (parse_symbol_line(line, &symbol, &defined)) {
                pasmo = pasmo || symbol.kind == DBG_SYMBOL_UNKNOWN;
                found.push_back(std::move(symbol));
            } else {
                area_length(line, &lengths);
            }
        }
        emu_reader_close(&reader);
        if (status < 0) {
            *error = emu_file_error_message(path, reason);
            return -1;
        }
        if (pasmo && !read_kinds_beside(path, &kinds, &lines, error)) return -1;
        mark_string_literals(symbols, defined);
    }
    if (found.empty()) {
        *error = path + ": no symbols found (expected a pasmo .sym, a qasm line table, or an "
                        "SDCC .noi or .map file)";
        return -1;
    }
    std::unordered_map<std::string, dbg_symbol_kind_t> told;
    for (const auto &k : kinds)
        told[k.name] = k.is_label ? DBG_SYMBOL_LABEL : DBG_SYMBOL_CONSTANT;
    ++symbols->loads;
    for (const auto &l : lines)
        if (!l.is_code) dbg_symbols_add_data(symbols, l.address, l.length);
    // The initial values of C variables, copied to RAM at start-up, are data in the image.
    for (const auto &symbol : found)
        if (lengths["_INITIALIZER"] && symbol.name == "s__INITIALIZER")
            dbg_symbols_add_data(symbols, symbol.address, lengths["_INITIALIZER"]);
    for (const auto &length : lengths)
        symbols->area_lengths[length.first] = length.second;
    for (const auto &symbol : found) {
        auto kind = told.find(symbol.name);
        dbg_symbols_add(symbols, symbol.name, symbol.address,
                        kind != told.end() && symbol.kind == DBG_SYMBOL_UNKNOWN ? kind->second
                                                                                : symbol.kind);
    }
    return static_cast<int>(found.size());
}

void dbg_symbols_add(dbg_symbols_t *symbols, const std::string &name, uint16_t address,
                     dbg_symbol_kind_t kind) {
    auto old = symbols->by_name.find(name);
    if (old != symbols->by_name.end()) {
        auto range = symbols->by_address.equal_range(old->second);
        for (auto it = range.first; it != range.second; ++it)
            if (it->second == name) {
                symbols->by_address.erase(it);
                break;
            }
    }
    symbols->by_name[name] = address;
    symbols->info[name] = {kind, symbols->loads};
    if (kind != DBG_SYMBOL_CONSTANT && kind != DBG_SYMBOL_AREA)
        symbols->by_address.emplace(address, name);
}

void dbg_symbols_add_data(dbg_symbols_t *symbols, uint16_t address, uint32_t length) {
    uint32_t first = address, end = std::min<uint32_t>(address + length, 0x10000);
    if (end <= first) return;
    auto &data = symbols->data;
    // Merge with every range that touches [first, end).
    auto it = data.upper_bound(address);
    if (it != data.begin() && std::prev(it)->second >= first) --it;
    while (it != data.end() && it->first <= end) {
        first = std::min<uint32_t>(first, it->first);
        end = std::max(end, it->second);
        it = data.erase(it);
    }
    data.emplace(static_cast<uint16_t>(first), end);
}

uint32_t dbg_symbols_data_end(const dbg_symbols_t *symbols, uint16_t address) {
    if (!symbols || symbols->data.empty()) return 0;
    auto it = symbols->data.upper_bound(address);
    if (it == symbols->data.begin()) return 0;
    --it;
    return it->second > address ? it->second : 0;
}

std::vector<dbg_symbol_area_t> dbg_symbol_areas(const dbg_symbols_t *symbols) {
    std::vector<dbg_symbol_area_t> areas;
    for (const auto &area : symbols->area_lengths) {
        const auto start = symbols->by_name.find("s_" + area.first);
        if (area.second && start != symbols->by_name.end())
            areas.push_back({area.first, start->second, area.second});
    }
    return areas;
}

void dbg_symbols_clear(dbg_symbols_t *symbols) {
    symbols->data.clear();
    symbols->by_name.clear();
    symbols->by_address.clear();
    symbols->info.clear();
    symbols->area_lengths.clear();
    symbols->loads = 0;
}

bool dbg_symbol_kind(const dbg_symbols_t *symbols, const std::string &name,
                     dbg_symbol_kind_t *kind) {
    if (!symbols) return false;
    auto it = symbols->info.find(name);
    if (it == symbols->info.end()) return false;
    *kind = it->second.kind;
    return true;
}

bool dbg_symbol_lookup(const dbg_symbols_t *symbols, const std::string &name, uint16_t *address) {
    if (!symbols) return false;
    auto it = symbols->by_name.find(name);
    if (it == symbols->by_name.end()) it = symbols->by_name.find("_" + name);
    if (it == symbols->by_name.end()) return false;
    *address = it->second;
    return true;
}

std::string dbg_symbol_at(const dbg_symbols_t *symbols, uint16_t address) {
    if (!symbols) return "";
    // Rank: a label over the toolchain's internal names, then the latest load, then name order.
    auto rank = [symbols](const std::string &name) {
        const auto info = symbols->info.find(name);
        if (info == symbols->info.end()) return std::make_pair(1, 0u);
        return std::make_pair(info->second.kind == DBG_SYMBOL_INTERNAL ? 0 : 1, info->second.load);
    };
    auto range = symbols->by_address.equal_range(address);
    const std::string *best = nullptr;
    std::pair<int, uint32_t> best_rank;
    for (auto it = range.first; it != range.second; ++it) {
        const auto r = rank(it->second);
        if (!best || r > best_rank || (r == best_rank && it->second < *best)) {
            best = &it->second;
            best_rank = r;
        }
    }
    return best ? *best : "";
}

std::string dbg_symbol_near(const dbg_symbols_t *symbols, uint16_t address, uint16_t max_offset) {
    if (!symbols || symbols->by_address.empty()) return "";
    auto it = symbols->by_address.upper_bound(address);
    if (it == symbols->by_address.begin()) return "";
    --it;
    const uint16_t base = it->first;
    const uint16_t offset = static_cast<uint16_t>(address - base);
    if (offset > max_offset) return "";
    const std::string name = dbg_symbol_at(symbols, base);
    if (offset == 0) return name;
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "+%X", offset);
    return name + suffix;
}

namespace {

// A register's value by its name (registers come before symbols and numbers); false when the
// word names no register, or names one and registers is null.
bool register_value(const z_cpu_t *registers, const std::string &name, uint16_t *value) {
    const z_register_t *r = z_register_find(name);
    if (!r || !registers) return false;
    *value = r->read(*registers);
    return true;
}

// Words that always mean a number: they begin with a digit or with "$".
bool number_form(const std::string &text) {
    return !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '$');
}

// A register or symbol with an optional hexadecimal offset ("pc-4", "main+3").
bool based_value(const dbg_symbols_t *symbols, const z_cpu_t *registers, const std::string &text,
                 uint16_t *value) {
    const size_t sign = text.find_last_of("+-");
    const std::string base = text.substr(0, sign);
    uint16_t at = 0, offset = 0;
    if (z_register_find(base)) {
        if (!register_value(registers, base, &at)) return false;
    } else if (!dbg_symbol_lookup(symbols, base, &at)) {
        return false;
    }
    if (sign != std::string::npos && (sign == 0 || !parse_hex_word(text.substr(sign + 1), &offset)))
        return false;
    *value = static_cast<uint16_t>(sign != std::string::npos && text[sign] == '-' ? at - offset
                                                                                  : at + offset);
    return true;
}

} // namespace

bool dbg_parse_value(const dbg_symbols_t *symbols, const z_cpu_t *registers,
                     const std::string &text, uint32_t max, uint32_t *value) {
    uint32_t v = 0;
    if (number_form(text)) {
        if (!dbg_parse_hex(text, max, &v)) return false;
    } else {
        uint16_t word = 0;
        if (based_value(symbols, registers, text, &word))
            v = word;
        else if (z_register_find(text.substr(0, text.find_last_of("+-"))) ||
                 !dbg_parse_hex(text, max, &v))
            return false; // a register's name is never a number, even where no registers are
    }
    if (v > max) return false;
    *value = v;
    return true;
}

bool dbg_parse_address(const dbg_symbols_t *symbols, const std::string &text, uint16_t *address,
                       const z_cpu_t *registers) {
    uint32_t v = 0;
    if (!dbg_parse_value(symbols, registers, text, 0xFFFF, &v)) return false;
    *address = static_cast<uint16_t>(v);
    return true;
}

std::vector<std::string> dbg_symbol_warnings(const dbg_symbols_t *symbols) {
    std::vector<std::string> out;
    if (!symbols) return out;
    std::map<std::string, std::string> sorted;
    for (const auto &entry : symbols->by_name) {
        const std::string &name = entry.first;
        uint32_t number = 0;
        // The word that finds this symbol: its name, or without SDCC's "_" when nothing else
        // has that name.
        std::string word = name;
        if (name.size() > 1 && name[0] == '_' && !symbols->by_name.count(name.substr(1)))
            word = name.substr(1);
        if (z_register_find(name) || z_register_find(word))
            sorted[name] =
                "warning: symbol " + name + " is also a register: " + word + " means the register";
        else if (number_form(name) && dbg_parse_hex(name, 0xFFFFFFFF, &number))
            sorted[name] = "warning: symbol " + name + " cannot be named: " + name + " is a number";
        else if (!number_form(word) && dbg_parse_hex(word, 0xFFFFFFFF, &number))
            sorted[name] = "warning: symbol " + name + " hides a number: " + word +
                           " means the symbol, 0" + word + " the number";
    }
    for (auto &entry : sorted)
        out.push_back(entry.second);
    return out;
}
