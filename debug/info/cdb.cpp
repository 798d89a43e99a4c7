// SDCC's debug information (.cdb, written by the linker with --debug) into the source model.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <unordered_map>

#include "debug/info/source.h"
#include "debug/info/source_internal.h"
#include "files/input.h"

namespace {

struct line_record_t {
    std::string file;
    int line;
    uint16_t address;
    bool is_c;
    int block; // C lines: the block's number and level
    int level;
};

struct reader_t {
    dbg_source_t *model;
    std::string module;
    std::unordered_map<std::string, int> functions; // "G$name", "Fmodule$name", "module.name"
    std::unordered_map<std::string, int> variables; // the record's key "G$name$0_0$0"
    std::unordered_map<std::string, uint32_t> ends; // function key -> end record address
    std::vector<line_record_t> lines;
    std::vector<uint32_t> boundaries; // addresses where something else starts
};

// Nothing on the board is larger than its memory: a bigger type (a crafted "DA256d" four deep is
// 4 GB) is refused, so that no value of it is ever built or printed.
constexpr uint32_t max_type_size = 0xFFFF;

bool parse_hex16(const std::string &text, uint16_t *value) {
    if (text.empty() || text.size() > 8) return false;
    uint32_t v = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        v = v * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c))
                                               ? c - '0'
                                               : std::toupper(c) - 'A' + 10);
    }
    if (v > 0xFFFF) return false;
    *value = static_cast<uint16_t>(v);
    return true;
}

bool parse_int(const std::string &text, long *value) {
    if (text.empty()) return false;
    char *end = nullptr;
    *value = std::strtol(text.c_str(), &end, 10);
    return *end == '\0';
}

std::vector<std::string> split(const std::string &text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

// A type chain "{15}DA3d,STpoint:S" (inside the parentheses) as a type of the model.
int chain_type(dbg_source_t *model, const std::string &module, const std::string &chain);

int make_type(dbg_source_t *model, const std::string &module, const std::vector<std::string> &parts,
              size_t first, bool is_signed, uint32_t size) {
    if (first >= parts.size()) return -1;
    const std::string &part = parts[first];
    dbg_type_t type{};
    type.target = -1;
    type.record = -1;
    type.size = static_cast<uint16_t>(size);
    if (part.size() >= 2 && part[0] == 'D') {
        if (part[1] == 'A') {
            type.kind = DBG_TYPE_ARRAY;
            long count = 0;
            std::string digits = part.substr(2);
            if (!digits.empty() && digits.back() == 'd') digits.pop_back();
            if (!parse_int(digits, &count) || count < 0 ||
                static_cast<uint64_t>(count) > max_type_size)
                return -1;
            type.count = static_cast<uint32_t>(count);
            type.target = make_type(model, module, parts, first + 1, is_signed,
                                    count ? size / static_cast<uint32_t>(count) : 0);
            if (type.target < 0) return -1;
            const uint64_t bytes = static_cast<uint64_t>(count) * model->types[type.target].size;
            if (bytes > max_type_size) return -1;
            if (bytes) type.size = static_cast<uint16_t>(bytes);
            type.name = model->types[type.target].name + " [" + std::to_string(count) + "]";
        } else if (part[1] == 'F') {
            type.kind = DBG_TYPE_FUNCTION;
            type.size = 0;
            type.target = make_type(model, module, parts, first + 1, is_signed, 2);
            if (type.target < 0) return -1;
            type.name = model->types[type.target].name + " ()";
        } else {
            type.kind = DBG_TYPE_POINTER; // DG generic, DC code, DX, DD, DI, DP
            type.size = 2;
            type.target = make_type(model, module, parts, first + 1, is_signed, 0);
            if (type.target < 0) return -1;
            type.name = model->types[type.target].name + " *";
        }
    } else if (part.size() >= 2 && part[0] == 'S') {
        const std::string sign = is_signed ? "" : "unsigned ";
        type.kind = DBG_TYPE_INT;
        type.is_signed = is_signed;
        switch (part[1]) {
        case 'C':
            type.size = 1;
            type.is_char = true;
            type.name = is_signed ? "signed char" : "unsigned char";
            break;
        case 'S':
        case 'I':
            type.size = 2;
            type.name = sign + "int";
            break;
        case 'L':
            type.size = part == "SLL" ? 8 : 4;
            type.name = sign + (part == "SLL" ? "long long" : "long");
            break;
        case 'F':
            type.kind = DBG_TYPE_FLOAT;
            type.size = 4;
            type.name = "float";
            break;
        case 'V':
            type.kind = DBG_TYPE_VOID;
            type.size = 0;
            type.name = "void";
            break;
        case 'T':
            type.kind = DBG_TYPE_STRUCT; // or a union: told by its members once read
            type.tag = part.substr(2);
            type.module = module;
            type.name = "struct " + type.tag;
            break;
        case 'B':
        case 'X':
            type.size = 1;
            type.name = sign + "bits";
            break;
        default: return -1;
        }
    } else {
        return -1;
    }
    model->types.push_back(type);
    return static_cast<int>(model->types.size()) - 1;
}

int chain_type(dbg_source_t *model, const std::string &module, const std::string &chain) {
    const bool has_struct = chain.find("ST") != std::string::npos;
    const std::string key = has_struct ? module + "|" + chain : chain;
    auto it = model->type_index.find(key);
    if (it != model->type_index.end()) return it->second;
    // "{size}parts:S"
    if (chain.size() < 4 || chain[0] != '{') return -1;
    const size_t close = chain.find('}');
    const size_t colon = chain.rfind(':');
    if (close == std::string::npos || colon == std::string::npos || colon < close) return -1;
    long size = 0;
    if (!parse_int(chain.substr(1, close - 1), &size) || size < 0 ||
        static_cast<uint64_t>(size) > max_type_size)
        return -1;
    const auto parts = split(chain.substr(close + 1, colon - close - 1), ',');
    if (parts.size() > 32) return -1; // no real type is that deep; keeps the recursion short
    const int type = make_type(model, module, parts, 0, chain.substr(colon + 1) == "S",
                               static_cast<uint32_t>(size));
    if (type >= 0) model->type_index.emplace(key, type);
    return type;
}

// "KEY(CHAIN),REST": splits a record body at its type chain.
bool split_record(const std::string &body, std::string *key, std::string *chain,
                  std::string *rest) {
    const size_t open = body.find('(');
    const size_t close = body.find(')', open);
    if (open == std::string::npos || close == std::string::npos) return false;
    *key = body.substr(0, open);
    *chain = body.substr(open + 1, close - open - 1);
    *rest = close + 2 <= body.size() ? body.substr(close + 2) : "";
    return true;
}

// "Lmodule.function" (or "Lfunction") -> the function's key "module.function".
std::string local_scope_key(const std::string &scope, const std::string &module) {
    const std::string inner = scope.substr(1);
    return inner.find('.') != std::string::npos ? inner : module + "." + inner;
}

void read_function(reader_t *r, const std::string &body) {
    std::string key, chain, rest;
    if (!split_record(body, &key, &chain, &rest)) return;
    const auto parts = split(key, '$');
    if (parts.size() < 2 || parts[0].empty()) return;
    const std::string &scope = parts[0], &name = parts[1];
    if (scope[0] != 'G' && scope[0] != 'F') return;
    dbg_function_t function{};
    function.name = name;
    function.module = scope[0] == 'F' ? scope.substr(1) : r->module;
    function.file = -1;
    function.is_static = scope[0] == 'F';
    function.type = chain_type(r->model, function.module, chain);
    function.end = 0;
    r->model->functions.push_back(function);
    const int index = static_cast<int>(r->model->functions.size()) - 1;
    r->functions[scope + "$" + name] = index;
    r->functions[function.module + "." + name] = index;
}

void read_symbol(reader_t *r, const std::string &body) {
    std::string key, chain, rest;
    if (!split_record(body, &key, &chain, &rest)) return;
    if (r->variables.count(key)) return; // a global declared by several modules
    const auto parts = split(key, '$');
    if (parts.size() < 3 || parts[0].empty()) return;
    const std::string &scope = parts[0];
    const auto fields = split(rest, ',');
    if (fields.size() < 3 || fields[0].empty()) return;
    const char space = fields[0][0];
    if (space == 'I' || space == 'Z') return; // a port (__sfr), a struct member
    dbg_variable_t v{};
    v.name = parts[1];
    v.module = r->module;
    v.function = -1;
    v.type = chain_type(r->model, r->module, chain);
    if (v.type < 0 || r->model->types[v.type].kind == DBG_TYPE_FUNCTION) return;
    long level = 0, block = 0;
    const auto level_block = split(parts[2], '_');
    if (level_block.size() == 2) parse_int(level_block[0], &level);
    if (parts.size() >= 4) parse_int(parts[3], &block);
    v.level = static_cast<int>(level);
    v.block = static_cast<int>(block);
    if (scope[0] == 'G') {
        v.scope = DBG_VAR_GLOBAL;
    } else if (scope[0] == 'F') {
        v.scope = DBG_VAR_FILE;
        v.module = scope.substr(1);
    } else if (scope[0] == 'L') {
        v.scope = DBG_VAR_FUNCTION;
        auto it = r->functions.find(local_scope_key(scope, r->module));
        if (it == r->functions.end()) return;
        v.function = it->second;
        // SDCC's temporaries (spilt locations) are no one's variables.
        if (v.name.rfind("sloc", 0) == 0) return;
    } else {
        return;
    }
    long on_stack = 0, offset = 0;
    parse_int(fields[1], &on_stack);
    parse_int(fields[2], &offset);
    if (space == 'R') {
        v.place = DBG_VAR_NOWHERE;
        const size_t open = rest.find('['), close = rest.find(']');
        if (open != std::string::npos && close != std::string::npos && close > open + 1) {
            v.registers = rest.substr(open + 1, close - open - 1);
            v.place = DBG_VAR_REGISTERS;
        }
    } else if (space == 'B' || on_stack) {
        v.place = DBG_VAR_STACK;
        v.offset = static_cast<int16_t>(offset);
        v.is_parameter = offset > 0;
    } else {
        v.place = DBG_VAR_NOWHERE; // until the linker's record gives its address
    }
    r->model->variables.push_back(v);
    r->variables.emplace(key, static_cast<int>(r->model->variables.size()) - 1);
}

void read_type(reader_t *r, const std::string &body) {
    // "Fmodule$tag[({0}S:S$x$0_0$0({2}SI:S),Z,0,0)...]"
    const size_t dollar = body.find('$'), open = body.find('[');
    if (dollar == std::string::npos || open == std::string::npos || dollar > open) return;
    dbg_record_t record{};
    record.module = body[0] == 'F' ? body.substr(1, dollar - 1) : r->module;
    record.tag = body.substr(dollar + 1, open - dollar - 1);
    size_t at = open;
    while ((at = body.find("({", at)) != std::string::npos) {
        const size_t close = body.find('}', at);
        const size_t name_at = body.find("S:S$", close);
        if (close == std::string::npos || name_at == std::string::npos) break;
        const size_t name_end = body.find('$', name_at + 4);
        const size_t chain_open = body.find('(', name_end);
        const size_t chain_close = body.find(')', chain_open);
        if (name_end == std::string::npos || chain_open == std::string::npos ||
            chain_close == std::string::npos)
            break;
        long offset = 0;
        parse_int(body.substr(at + 2, close - at - 2), &offset);
        dbg_field_t field{};
        field.name = body.substr(name_at + 4, name_end - name_at - 4);
        field.offset = static_cast<uint16_t>(offset);
        field.type = chain_type(r->model, record.module,
                                body.substr(chain_open + 1, chain_close - chain_open - 1));
        if (field.type >= 0) record.fields.push_back(field);
        at = chain_close;
    }
    // A union's members all start at 0.
    record.is_union =
        record.fields.size() > 1 && std::all_of(record.fields.begin(), record.fields.end(),
                                                [](const dbg_field_t &f) { return f.offset == 0; });
    r->model->records.push_back(record);
}

void read_link(reader_t *r, const std::string &body) {
    const size_t colon = body.rfind(':');
    if (colon == std::string::npos) return;
    uint16_t address = 0;
    if (!parse_hex16(body.substr(colon + 1), &address)) return;
    const std::string key = body.substr(0, colon);
    const auto parts = split(key, '$');
    if (parts.size() < 2) return;
    const std::string &scope = parts[0];
    if (scope == "C" && parts.size() >= 3) {
        long line = 0, level = 0, block = 0;
        if (parts.size() >= 5) {
            parse_int(split(parts[3], '_')[0], &level);
            parse_int(parts[4], &block);
        }
        if (parse_int(parts[2], &line) && line > 0)
            r->lines.push_back({parts[1], static_cast<int>(line), address, true,
                                static_cast<int>(block), static_cast<int>(level)});
        return;
    }
    if (scope == "A" && parts.size() >= 3) {
        long line = 0;
        if (parse_int(parts[2], &line) && line > 0)
            r->lines.push_back({parts[1] + ".s", static_cast<int>(line), address, false, 0, 0});
        return;
    }
    if (scope.size() > 1 && scope[0] == 'X') {
        r->ends[scope.substr(1) + "$" + parts[1]] = address;
        return;
    }
    auto v = r->variables.find(key);
    if (v != r->variables.end()) {
        dbg_variable_t &variable = r->model->variables[v->second];
        if (variable.place == DBG_VAR_NOWHERE && variable.registers.empty()) {
            variable.place = DBG_VAR_MEMORY;
            variable.address = address;
        }
        r->boundaries.push_back(address);
        return;
    }
    auto f = r->functions.find(scope + "$" + parts[1]);
    if (f != r->functions.end()) {
        r->model->functions[f->second].start = address;
        r->model->functions[f->second].end = address + 1u; // marks it linked
    }
    r->boundaries.push_back(address);
}

// Marks the parameters of each function from its definition in the source: SDCC's records do
// not tell a parameter passed in registers from a local.
void mark_parameters(dbg_source_t *model) {
    for (size_t f = 0; f < model->functions.size(); ++f) {
        const dbg_function_t &function = model->functions[f];
        if (function.file < 0) continue;
        bool has_locals = false;
        for (const auto &v : model->variables)
            has_locals |= v.function == static_cast<int>(f) && v.scope == DBG_VAR_FUNCTION;
        if (!has_locals) continue;
        const auto &text = dbg_source_text(model, function.file);
        const dbg_line_range_t *first = dbg_source_line_at(model, function.start);
        if (text.empty() || !first) continue;
        // The definition's name and parameter list, at or a few lines above the first line.
        std::string joined;
        for (int line = std::max(1, first->line - 5);
             line <= first->line + 5 && line <= static_cast<int>(text.size()); ++line)
            joined += text[line - 1] + " ";
        size_t at = 0, open = std::string::npos;
        while ((at = joined.find(function.name, at)) != std::string::npos) {
            size_t after = at + function.name.size();
            const bool starts =
                at == 0 || (!std::isalnum(static_cast<unsigned char>(joined[at - 1])) &&
                            joined[at - 1] != '_');
            while (after < joined.size() && joined[after] == ' ')
                ++after;
            if (starts && after < joined.size() && joined[after] == '(') {
                open = after;
                break;
            }
            at = after;
        }
        if (open == std::string::npos) continue;
        const size_t close = joined.find(')', open);
        if (close == std::string::npos) continue;
        for (const auto &piece : split(joined.substr(open + 1, close - open - 1), ',')) {
            // The parameter's name: the last identifier before any "[".
            std::string declaration = piece.substr(0, piece.find('['));
            size_t end = declaration.size();
            while (end > 0 && !std::isalnum(static_cast<unsigned char>(declaration[end - 1])) &&
                   declaration[end - 1] != '_')
                --end;
            size_t begin = end;
            while (begin > 0 && (std::isalnum(static_cast<unsigned char>(declaration[begin - 1])) ||
                                 declaration[begin - 1] == '_'))
                --begin;
            const std::string name = declaration.substr(begin, end - begin);
            for (auto &v : model->variables)
                if (v.function == static_cast<int>(f) && v.level == 1 && v.name == name &&
                    v.place != DBG_VAR_MEMORY)
                    v.is_parameter = true;
        }
    }
}

void finish(reader_t *r) {
    dbg_source_t *model = r->model;
    // Functions never linked have no code here.
    std::vector<dbg_function_t> kept;
    for (auto &function : model->functions) {
        if (function.end == 0) continue;
        auto end = r->ends.find((function.is_static ? "F" + function.module : std::string("G")) +
                                "$" + function.name);
        function.has_end_record = end != r->ends.end();
        if (function.has_end_record) function.end = end->second + 1u; // the RET it labels
        kept.push_back(function);
    }
    // Keep variable -> function indices valid across the removal.
    std::vector<int> new_index(model->functions.size(), -1);
    for (size_t i = 0, k = 0; i < model->functions.size(); ++i)
        if (model->functions[i].end != 0) new_index[i] = static_cast<int>(k++);
    for (auto &v : model->variables)
        if (v.function >= 0) v.function = new_index[v.function];
    model->functions = kept;

    // Where things start: functions, variables, strings, assembly lines.
    std::vector<uint32_t> starts = r->boundaries;
    for (const auto &function : model->functions)
        starts.push_back(function.start);
    for (const auto &line : r->lines)
        if (!line.is_c) starts.push_back(line.address);
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    auto next_start = [&](uint32_t address) -> uint32_t {
        auto it = std::upper_bound(starts.begin(), starts.end(), address);
        return it == starts.end() ? 0x10000 : *it;
    };
    // Functions without an end record end where the next thing starts.
    std::sort(r->lines.begin(), r->lines.end(),
              [](const line_record_t &a, const line_record_t &b) { return a.address < b.address; });
    for (auto &function : model->functions)
        if (!function.has_end_record) function.end = next_start(function.start);

    // Each line runs to the next address where a line or anything else starts, and not past its
    // function's end.
    std::vector<uint32_t> line_starts;
    for (const auto &line : r->lines)
        line_starts.push_back(line.address);
    line_starts.insert(line_starts.end(), starts.begin(), starts.end());
    for (const auto &function : model->functions)
        line_starts.push_back(function.end);
    std::sort(line_starts.begin(), line_starts.end());
    line_starts.erase(std::unique(line_starts.begin(), line_starts.end()), line_starts.end());
    dbg_source_index(model); // functions by start, for the lookup below
    for (const auto &line : r->lines) {
        auto it = std::upper_bound(line_starts.begin(), line_starts.end(), line.address);
        uint32_t end = it == line_starts.end() ? line.address + 1u : *it;
        if (line.is_c) {
            const dbg_function_t *function = dbg_source_function_at(model, line.address);
            if (function && end > function->end) end = function->end;
        }
        dbg_source_add_line(model, line.file, line.line, line.address,
                            static_cast<uint16_t>(std::min<uint32_t>(end - line.address, 0xFFFF)),
                            true);
        model->lines.back().block = line.block;
        model->lines.back().level = line.level;
    }
    dbg_source_index(model);
    for (auto &function : model->functions) {
        const dbg_line_range_t *range = dbg_source_line_at(model, function.start);
        function.file = range ? range->file : -1;
    }
    // Struct and union types find their members.
    for (auto &type : model->types) {
        if (type.kind != DBG_TYPE_STRUCT || type.record >= 0) continue;
        int found = -1;
        for (size_t i = 0; i < model->records.size(); ++i) {
            if (model->records[i].tag != type.tag) continue;
            if (found < 0 || model->records[i].module == type.module) found = static_cast<int>(i);
        }
        if (found < 0) continue;
        type.record = found;
        const dbg_record_t &record = model->records[found];
        if (record.is_union) {
            type.kind = DBG_TYPE_UNION;
            type.name = "union " + type.tag;
        }
        uint32_t size = 0;
        for (const auto &field : record.fields)
            size = std::max<uint32_t>(size, field.offset + model->types[field.type].size);
        if (type.size == 0) type.size = static_cast<uint16_t>(std::min(size, max_type_size));
    }
    // Pointer and array names built before a union was known keep "struct": rename them.
    for (auto &type : model->types) {
        if (type.kind != DBG_TYPE_POINTER && type.kind != DBG_TYPE_ARRAY) continue;
        int inner = type.target;
        while (inner >= 0 && (model->types[inner].kind == DBG_TYPE_POINTER ||
                              model->types[inner].kind == DBG_TYPE_ARRAY))
            inner = model->types[inner].target;
        if (inner >= 0 && model->types[inner].kind == DBG_TYPE_UNION) {
            const std::string from = "struct " + model->types[inner].tag;
            const size_t at = type.name.find(from);
            if (at == 0) type.name.replace(0, from.size(), model->types[inner].name);
        }
    }
    mark_parameters(model);
}

} // namespace

int dbg_source_load_cdb(dbg_source_t *model, const std::string &path, std::string *error) {
    // Read through the bounded reader: a FIFO or a device is refused at once, and the whole file
    // is bounded as each of its lines is.
    emu_line_reader_t in;
    emu_file_error_t reason{};
    if (!emu_reader_open(&in, path.c_str(), &reason, EMU_MAX_DEBUG_FILE_BYTES, false)) {
        *error = emu_file_error_message(path, reason);
        return -1;
    }
    if (model->types.empty()) {
        const std::vector<std::string> dirs = model->search_dirs;
        dbg_source_init(model);
        model->search_dirs = dirs;
    }
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    if (std::find(model->search_dirs.begin(), model->search_dirs.end(), dir) ==
        model->search_dirs.end())
        model->search_dirs.insert(model->search_dirs.begin(), dir);
    reader_t r{};
    r.model = model;
    // Records of an earlier .cdb keep their names; this file's functions are found by its own.
    std::string line;
    size_t records = 0;
    int status;
    while ((status = emu_reader_next(&in, &line, &reason)) > 0) {
        if (line.size() < 3 || line[1] != ':') continue;
        const std::string body = line.substr(2);
        switch (line[0]) {
        case 'M':
            r.module = body;
            ++records;
            break;
        case 'F':
            read_function(&r, body);
            ++records;
            break;
        case 'S':
            read_symbol(&r, body);
            ++records;
            break;
        case 'T':
            read_type(&r, body);
            ++records;
            break;
        case 'L':
            read_link(&r, body);
            ++records;
            break;
        default: break;
        }
    }
    emu_reader_close(&in);
    if (status < 0) {
        *error = emu_file_error_message(path, reason);
        return -1;
    }
    if (records == 0) {
        *error = path + ": no SDCC debug records in it";
        return -1;
    }
    finish(&r);
    return static_cast<int>(r.lines.size());
}
