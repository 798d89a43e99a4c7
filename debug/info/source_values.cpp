// The source model's expressions: parsing, evaluation against memory and registers, values as
// trees, assignments.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>

#include "cpu/zregs.h"
#include "debug/info/source.h"
#include "debug/info/source_internal.h"
#include "debug/info/symbols.h"

namespace {

enum op_t : uint8_t {
    OP_NUMBER,
    OP_NAME,
    OP_PAREN, // "(X)": a memory byte or a group, told when evaluated
    OP_FIELD,
    OP_ARROW,
    OP_INDEX,
    OP_DEREF,
    OP_ADDRESS,
    OP_NEGATE,
    OP_NOT,
    OP_ADD,
    OP_SUB,
    OP_EQ,
    OP_NE,
    OP_LT,
    OP_LE,
    OP_GT,
    OP_GE,
    OP_AND,
    OP_OR,
};

// Parser. -----------------------------------------------------------------------------------

struct parser_t {
    const std::string &text;
    size_t at;
    dbg_expr_t *expr;
    std::string error;
};

void skip_space(parser_t *p) {
    while (p->at < p->text.size() && std::isspace(static_cast<unsigned char>(p->text[p->at])))
        ++p->at;
}

bool accept(parser_t *p, const char *token) {
    skip_space(p);
    const size_t n = std::strlen(token);
    if (p->text.compare(p->at, n, token) != 0) return false;
    p->at += n;
    return true;
}

int add_node(parser_t *p, op_t op, int left, int right) {
    dbg_expr_node_t node{};
    node.op = op;
    node.left = left;
    node.right = right;
    p->expr->nodes.push_back(node);
    return static_cast<int>(p->expr->nodes.size()) - 1;
}

bool is_name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

int parse_or(parser_t *p);

int fail(parser_t *p, const std::string &message) {
    if (p->error.empty()) p->error = message;
    return -1;
}

int parse_primary(parser_t *p) {
    skip_space(p);
    if (p->at >= p->text.size()) return fail(p, "expression ends too early");
    const char c = p->text[p->at];
    if (c == '(') {
        ++p->at;
        const int inner = parse_or(p);
        if (inner < 0) return -1;
        if (!accept(p, ")")) return fail(p, "missing )");
        return add_node(p, OP_PAREN, inner, -1);
    }
    if (c == '\'') {
        if (p->at + 2 >= p->text.size() || p->text[p->at + 2] != '\'')
            return fail(p, "a character is written 'c'");
        const int node = add_node(p, OP_NUMBER, -1, -1);
        p->expr->nodes[node].number = static_cast<unsigned char>(p->text[p->at + 1]);
        p->at += 3;
        return node;
    }
    if (c == '#' || c == '$' || std::isdigit(static_cast<unsigned char>(c))) {
        const size_t start = p->at;
        ++p->at;
        while (p->at < p->text.size() && is_name_char(p->text[p->at]))
            ++p->at;
        const std::string word = p->text.substr(start, p->at - start);
        int64_t value = 0;
        if (c == '#') {
            if (word.size() < 2 || word.size() > 11) return fail(p, "bad decimal number " + word);
            for (size_t i = 1; i < word.size(); ++i) {
                if (!std::isdigit(static_cast<unsigned char>(word[i])))
                    return fail(p, "bad decimal number " + word);
                value = value * 10 + (word[i] - '0');
            }
        } else {
            uint32_t v = 0;
            if (!dbg_parse_hex(c == '$' ? word.substr(1) : word, 0xFFFFFFFFu, &v))
                return fail(p, "bad number " + word + " (numbers are hexadecimal; #27 is decimal)");
            value = v;
        }
        const int node = add_node(p, OP_NUMBER, -1, -1);
        p->expr->nodes[node].number = value;
        return node;
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        const size_t start = p->at;
        while (p->at < p->text.size() && is_name_char(p->text[p->at]))
            ++p->at;
        if (p->at < p->text.size() && p->text[p->at] == '\'') ++p->at; // af', hl'
        const int node = add_node(p, OP_NAME, -1, -1);
        p->expr->nodes[node].name = p->text.substr(start, p->at - start);
        return node;
    }
    return fail(p, std::string("unexpected '") + c + "'");
}

int parse_postfix(parser_t *p) {
    int node = parse_primary(p);
    while (node >= 0) {
        if (accept(p, ".") || accept(p, "->")) {
            const bool arrow = p->text.compare(p->at - 2, 2, "->") == 0;
            skip_space(p);
            const size_t start = p->at;
            while (p->at < p->text.size() && is_name_char(p->text[p->at]))
                ++p->at;
            if (start == p->at) return fail(p, "a field name must follow . or ->");
            node = add_node(p, arrow ? OP_ARROW : OP_FIELD, node, -1);
            p->expr->nodes[node].name = p->text.substr(start, p->at - start);
        } else if (accept(p, "[")) {
            const int index = parse_or(p);
            if (index < 0) return -1;
            if (!accept(p, "]")) return fail(p, "missing ]");
            node = add_node(p, OP_INDEX, node, index);
        } else {
            break;
        }
    }
    return node;
}

int parse_unary(parser_t *p) {
    skip_space(p);
    if (accept(p, "*")) {
        const int inner = parse_unary(p);
        return inner < 0 ? -1 : add_node(p, OP_DEREF, inner, -1);
    }
    if (accept(p, "&")) {
        const int inner = parse_unary(p);
        return inner < 0 ? -1 : add_node(p, OP_ADDRESS, inner, -1);
    }
    if (p->text.compare(p->at, 2, "!=") != 0 && accept(p, "!")) {
        const int inner = parse_unary(p);
        return inner < 0 ? -1 : add_node(p, OP_NOT, inner, -1);
    }
    if (accept(p, "-")) {
        const int inner = parse_unary(p);
        return inner < 0 ? -1 : add_node(p, OP_NEGATE, inner, -1);
    }
    return parse_postfix(p);
}

int parse_additive(parser_t *p) {
    int left = parse_unary(p);
    while (left >= 0) {
        skip_space(p);
        if (p->text.compare(p->at, 2, "->") == 0) break;
        op_t op;
        if (accept(p, "+"))
            op = OP_ADD;
        else if (accept(p, "-"))
            op = OP_SUB;
        else
            break;
        const int right = parse_unary(p);
        if (right < 0) return -1;
        left = add_node(p, op, left, right);
    }
    return left;
}

int parse_comparison(parser_t *p) {
    const int left = parse_additive(p);
    if (left < 0) return -1;
    static const struct {
        const char *token;
        op_t op;
    } ops[] = {{"==", OP_EQ}, {"!=", OP_NE}, {"<=", OP_LE},
               {">=", OP_GE}, {"<", OP_LT},  {">", OP_GT}};
    for (const auto &o : ops) {
        if (accept(p, o.token)) {
            const int right = parse_additive(p);
            return right < 0 ? -1 : add_node(p, o.op, left, right);
        }
    }
    return left;
}

int parse_and(parser_t *p) {
    int left = parse_comparison(p);
    while (left >= 0 && accept(p, "&&")) {
        const int right = parse_comparison(p);
        if (right < 0) return -1;
        left = add_node(p, OP_AND, left, right);
    }
    return left;
}

int parse_or(parser_t *p) {
    int left = parse_and(p);
    while (left >= 0 && accept(p, "||")) {
        const int right = parse_and(p);
        if (right < 0) return -1;
        left = add_node(p, OP_OR, left, right);
    }
    return left;
}

// Evaluation. -------------------------------------------------------------------------------

// An evaluated operand: a typed value in memory, in registers, or a number.
struct ev_t {
    int type = -1;    // the model's type; -1: a plain number
    int pointee = -1; // a plain number that is the address of this type (from &)
    bool in_memory = false;
    uint16_t address = 0;
    std::string registers;    // SDCC's names, low byte first
    std::string shared;       // other locals in scope that SDCC put in the same registers
    int64_t number = 0;       // a plain number, or a value in registers once read
    bool is_location = false; // a register, assembly symbol or number: "(X)" reads memory at it
};

struct evaluator_t {
    const dbg_source_t *model;
    const dbg_eval_context_t &context;
    dbg_frame_t frame;
    bool frame_ready;
    std::string error;
    std::vector<int> blocks; // the blocks the frame's line is in, innermost first
    bool blocks_ready;
    uint32_t values_left = 0; // what the value being built may still show (DBG_VALUE_MAX_NODES)
    // A variable whose value cannot be known where the frame stands: why, briefly, and its type.
    std::string unavailable = {};
    int unavailable_type = -1;
    // A local read from registers another local of the function shares ("p in BC, shared with
    // i"): shown marked on its own, never hidden inside a computed value.
    std::string shared = {};
};

// A value computed from a shared register's local could be the other local's: an error.
bool shared_in_expression(evaluator_t *e, const dbg_expr_t &expr) {
    if (expr.nodes.size() == 1 || e->shared.empty()) return false;
    e->error = e->shared + ", so a value computed from it may be wrong; print it alone to see it";
    return true;
}

std::string register_names(const std::string &registers);

bool fail_ev(evaluator_t *e, const std::string &message) {
    if (e->error.empty()) e->error = message;
    return false;
}

// A variable that has a value, but not one that can be read here: never a guess.
bool unavailable_ev(evaluator_t *e, const dbg_variable_t &v, const std::string &why) {
    if (e->error.empty()) {
        e->unavailable = why;
        e->unavailable_type = v.type;
    }
    return fail_ev(e, v.name + " is not available (" + why + ")");
}

const dbg_frame_t &frame_of(evaluator_t *e) {
    if (!e->frame_ready) {
        if (e->context.frame) {
            e->frame = *e->context.frame;
        } else {
            const auto frames = dbg_source_frames(e->model, e->context.memory, *e->context.cpu,
                                                  e->context.symbols, 1);
            e->frame = frames.empty() ? dbg_frame_t{} : frames[0];
            if (frames.empty()) e->frame.function = -1;
        }
        e->frame_ready = true;
    }
    return e->frame;
}

// An 8-bit register by SDCC's name for it ("a", "ixl"); false when the name is none.
bool register_byte(const z_cpu_t &cpu, const std::string &name, uint8_t *value) {
    const z_register_t *r = z_register_find(name);
    if (!r || r->bits != 8) return false;
    *value = static_cast<uint8_t>(r->read(cpu));
    return true;
}

// Whether a parameter of the frame's function has no value yet: the function's set-up code, which
// puts the parameters passed in registers in their registers and stack slots, has not finished.
// Those passed on the stack (above the frame base) are there from the call on.
bool parameter_unset(evaluator_t *e, const dbg_variable_t &v) {
    if (!v.is_parameter || v.function < 0 || (v.place == DBG_VAR_STACK && v.offset > 0))
        return false;
    const dbg_frame_t &frame = frame_of(e);
    if (frame.depth != 0 || frame.function != v.function) return false;
    const dbg_function_t &function = e->model->functions[v.function];
    return frame.pc >= function.start && frame.pc < dbg_source_function_body(e->model, &function);
}

bool in_scope(evaluator_t *e, const dbg_variable_t &v);

// The other variables of the function, in scope here, that SDCC put in one of v's registers.
std::vector<const dbg_variable_t *> register_rivals(evaluator_t *e, const dbg_variable_t &v) {
    auto names = [](const std::string &list) {
        std::vector<std::string> out(1);
        for (char c : list) {
            if (c == ',')
                out.emplace_back();
            else
                out.back().push_back(c);
        }
        return out;
    };
    const std::vector<std::string> mine = names(v.registers);
    std::vector<const dbg_variable_t *> rivals;
    for (const dbg_variable_t &other : e->model->variables) {
        if (&other == &v || other.function != v.function || other.scope != DBG_VAR_FUNCTION ||
            other.place != DBG_VAR_REGISTERS || !in_scope(e, other))
            continue;
        for (const std::string &name : names(other.registers))
            if (std::find(mine.begin(), mine.end(), name) != mine.end()) {
                rivals.push_back(&other);
                break;
            }
    }
    return rivals;
}

bool variable_ev(evaluator_t *e, const dbg_variable_t &v, ev_t *out) {
    out->type = v.type;
    if (parameter_unset(e, v))
        return unavailable_ev(e, v, "the function's set-up code has not stored it yet");
    switch (v.place) {
    case DBG_VAR_MEMORY:
        out->in_memory = true;
        out->address = v.address;
        return true;
    case DBG_VAR_STACK: {
        const dbg_frame_t &frame = frame_of(e);
        if (!frame.base_known) return unavailable_ev(e, v, "its frame is not known here");
        out->in_memory = true;
        out->address = static_cast<uint16_t>(frame.base + v.offset);
        return true;
    }
    case DBG_VAR_REGISTERS: {
        // The registers are the innermost frame's: a called function may change every register
        // but IX, so a caller's value in them is gone.
        if (v.function >= 0 && frame_of(e).depth != 0)
            return unavailable_ev(e, v,
                                  "held in " + register_names(v.registers) +
                                      ", which the functions called since may have changed");
        // SDCC records no live ranges: while another local claims the register, the mark says so.
        if (v.function >= 0)
            for (const dbg_variable_t *rival : register_rivals(e, v))
                out->shared += (out->shared.empty() ? "" : ", ") + rival->name;
        if (!out->shared.empty() && e->shared.empty())
            e->shared =
                v.name + " is in " + register_names(v.registers) + ", shared with " + out->shared;
        out->registers = v.registers;
        int64_t value = 0;
        int shift = 0;
        std::string reg;
        for (size_t i = 0; i <= v.registers.size(); ++i) {
            if (i < v.registers.size() && v.registers[i] != ',') {
                reg += v.registers[i];
                continue;
            }
            uint8_t byte = 0;
            if (!register_byte(*e->context.cpu, reg, &byte))
                return fail_ev(e, v.name + ": unknown register " + reg);
            value |= static_cast<int64_t>(byte) << shift;
            shift += 8;
            reg.clear();
        }
        out->number = value;
        return true;
    }
    case DBG_VAR_NOWHERE: break;
    }
    return fail_ev(e, v.name + " is optimised out");
}

// Whether a local of the frame's function is in scope at the frame's line: the function's
// outermost variables always are; one of an inner block is inside that block and the blocks
// nested in it. SDCC numbers blocks in source order, so a block's parent is the last block
// before it one level up.
bool in_scope(evaluator_t *e, const dbg_variable_t &v) {
    if (v.level <= 1) return true;
    const dbg_frame_t &frame = frame_of(e);
    if (!e->blocks_ready) {
        e->blocks_ready = true;
        const dbg_line_range_t *range = dbg_source_line_at(e->model, frame.line_address);
        if (!range || range->block == 0 || frame.function < 0) return true;
        const dbg_function_t &function = e->model->functions[frame.function];
        std::vector<std::pair<int, int>> levels; // (block, level)
        for (const auto &local : e->model->variables)
            if (local.function == frame.function) levels.emplace_back(local.block, local.level);
        for (const auto &line : e->model->lines)
            if (line.address >= function.start && line.address < function.end && line.block)
                levels.emplace_back(line.block, line.level);
        std::sort(levels.begin(), levels.end()); // by block, the lowest level first
        auto level_of = [&](int block) {
            auto it = std::lower_bound(levels.begin(), levels.end(), std::make_pair(block, 0));
            return it != levels.end() && it->first == block ? it->second : 0;
        };
        int block = range->block;
        e->blocks.push_back(block);
        for (int level = level_of(block); level > 1; level = level_of(block)) {
            int parent = 0;
            for (const auto &[b, l] : levels)
                if (b < block && l == level - 1 && level_of(b) == l) parent = b;
            if (!parent) break;
            e->blocks.push_back(parent);
            block = parent;
        }
    }
    if (e->blocks.empty()) return true;
    return std::find(e->blocks.begin(), e->blocks.end(), v.block) != e->blocks.end();
}

// The variable a name means in the selected frame, or null.
const dbg_variable_t *find_variable(evaluator_t *e, const std::string &name) {
    // Registers, `value` and numbers in a condition cost no stack walk.
    auto found = e->model->variable_index.find(name);
    if (found == e->model->variable_index.end()) return nullptr;
    const dbg_frame_t &frame = frame_of(e);
    const dbg_variable_t *file_static = nullptr, *global = nullptr, *best_local = nullptr;
    const std::string module =
        frame.function >= 0 ? e->model->functions[frame.function].module : std::string();
    for (int index : found->second) {
        const dbg_variable_t &v = e->model->variables[index];
        if (v.scope == DBG_VAR_FUNCTION) {
            // The innermost block's variable of that name in scope wins.
            if (v.function == frame.function && frame.function >= 0 &&
                (!best_local || v.level > best_local->level) && in_scope(e, v))
                best_local = &v;
        } else if (v.scope == DBG_VAR_FILE) {
            if (v.module == module || (!file_static && module.empty())) file_static = &v;
        } else if (!global) {
            global = &v;
        }
    }
    return best_local ? best_local : file_static ? file_static : global;
}

// A name in the one order of the command language: a C variable in scope (a program's loop
// counter `i` or `c` stays readable), a register, `value` in a watchpoint's condition, a symbol,
// a hexadecimal number.
bool resolve_name(evaluator_t *e, const std::string &name, ev_t *out) {
    if (const dbg_variable_t *v = find_variable(e, name)) return variable_ev(e, *v, out);
    if (const z_register_t *r = z_register_find(name)) {
        out->number = r->read(*e->context.cpu);
        out->type = r->bits == 16 ? DBG_TYPE_UINT_INDEX : DBG_TYPE_UCHAR_INDEX;
        out->is_location = true;
        return true;
    }
    if (name == "value" && e->context.value >= 0) {
        out->number = e->context.value;
        return true;
    }
    uint16_t address = 0;
    if (e->context.symbols && dbg_symbol_lookup(e->context.symbols, name, &address)) {
        out->number = address;
        out->is_location = true;
        return true;
    }
    // A hexadecimal number that begins with a letter (C000) is a number as 0C000 is: in
    // parentheses it is an address, whatever its first digit.
    uint32_t number = 0;
    if (dbg_parse_hex(name, 0xFFFFFFFFu, &number)) {
        out->number = number;
        out->is_location = true;
        return true;
    }
    return fail_ev(e, "unknown name " + name);
}

int64_t read_int(const uint8_t *memory, uint16_t address, const dbg_type_t &type) {
    uint64_t value = 0;
    const int size = std::min<int>(type.size, 8);
    for (int i = 0; i < size; ++i)
        value |= static_cast<uint64_t>(memory[static_cast<uint16_t>(address + i)]) << (8 * i);
    if (type.is_signed && size < 8 && (value >> (8 * size - 1) & 1)) value |= ~0ull << (8 * size);
    return static_cast<int64_t>(value);
}

// The operand's scalar value (integers, pointers; an array is its address).
bool scalar(evaluator_t *e, const ev_t &v, int64_t *number) {
    if (v.type < 0) {
        *number = v.number;
        return true;
    }
    const dbg_type_t &type = e->model->types[v.type];
    if (type.kind == DBG_TYPE_ARRAY && v.in_memory) {
        *number = v.address;
        return true;
    }
    if (type.kind != DBG_TYPE_INT && type.kind != DBG_TYPE_POINTER)
        return fail_ev(e, "not a number: " + type.name);
    if (v.in_memory) {
        *number = read_int(e->context.memory, v.address, type);
        return true;
    }
    int64_t value = v.number;
    const int bits = type.size * 8;
    if (bits < 64) {
        value &= (1ll << bits) - 1;
        if (type.is_signed && (value >> (bits - 1) & 1)) value -= 1ll << bits;
    }
    *number = value;
    return true;
}

// The element type a pointer-like operand points at, or -1.
int pointee_of(evaluator_t *e, const ev_t &v) {
    if (v.type < 0) return v.pointee;
    const dbg_type_t &type = e->model->types[v.type];
    if (type.kind == DBG_TYPE_POINTER || type.kind == DBG_TYPE_ARRAY) return type.target;
    return -1;
}

bool eval(evaluator_t *e, const dbg_expr_t &expr, int index, ev_t *out);

bool eval_number(evaluator_t *e, const dbg_expr_t &expr, int index, int64_t *number) {
    ev_t v;
    return eval(e, expr, index, &v) && scalar(e, v, number);
}

bool field_of(evaluator_t *e, const ev_t &base, const std::string &name, ev_t *out) {
    if (base.type < 0) return fail_ev(e, "." + name + ": not a struct");
    const dbg_type_t &type = e->model->types[base.type];
    if (type.kind != DBG_TYPE_STRUCT && type.kind != DBG_TYPE_UNION)
        return fail_ev(e, "." + name + ": " + type.name + " is not a struct");
    if (type.record < 0) return fail_ev(e, type.name + ": its members are not known");
    if (!base.in_memory) return fail_ev(e, "." + name + ": the struct is not in memory");
    for (const auto &field : e->model->records[type.record].fields)
        if (field.name == name) {
            *out = ev_t{};
            out->type = field.type;
            out->in_memory = true;
            out->address = static_cast<uint16_t>(base.address + field.offset);
            return true;
        }
    return fail_ev(e, type.name + " has no member " + name);
}

bool deref(evaluator_t *e, const ev_t &pointer, ev_t *out) {
    const int target = pointee_of(e, pointer);
    if (target < 0) return fail_ev(e, "not a pointer");
    if (e->model->types[target].kind == DBG_TYPE_VOID ||
        e->model->types[target].kind == DBG_TYPE_FUNCTION)
        return fail_ev(e, "cannot look through a " + e->model->types[target].name + " pointer");
    int64_t address = 0;
    if (!scalar(e, pointer, &address)) return false;
    *out = ev_t{};
    out->type = target;
    out->in_memory = true;
    out->address = static_cast<uint16_t>(address);
    return true;
}

bool eval(evaluator_t *e, const dbg_expr_t &expr, int index, ev_t *out) {
    const dbg_expr_node_t &node = expr.nodes[index];
    *out = ev_t{};
    switch (static_cast<op_t>(node.op)) {
    case OP_NUMBER: out->number = node.number; return true;
    case OP_NAME: return resolve_name(e, node.name, out);
    case OP_PAREN: {
        ev_t inner;
        if (!eval(e, expr, node.left, &inner)) return false;
        // "(8000)", "(hl)", "(label+2)": the byte there. A C value in parentheses is a group.
        const dbg_expr_node_t &in = expr.nodes[node.left];
        // A register, an assembly symbol or a number, or one of them plus or minus a number.
        bool location = inner.pointee < 0 && (in.op == OP_NUMBER || inner.is_location);
        if ((in.op == OP_ADD || in.op == OP_SUB) && inner.type < 0 && inner.pointee < 0) {
            ev_t left;
            location = eval(e, expr, in.left, &left) &&
                       (left.is_location || expr.nodes[in.left].op == OP_NUMBER);
        }
        if (!location) {
            *out = inner;
            out->is_location = false;
            return true;
        }
        int64_t address = 0;
        if (!scalar(e, inner, &address)) return false;
        *out = ev_t{};
        out->type = DBG_TYPE_UCHAR_INDEX;
        out->in_memory = true;
        out->address = static_cast<uint16_t>(address);
        return true;
    }
    case OP_FIELD: {
        ev_t base;
        return eval(e, expr, node.left, &base) && field_of(e, base, node.name, out);
    }
    case OP_ARROW: {
        ev_t pointer, base;
        return eval(e, expr, node.left, &pointer) && deref(e, pointer, &base) &&
               field_of(e, base, node.name, out);
    }
    case OP_INDEX: {
        ev_t base;
        int64_t i = 0;
        if (!eval(e, expr, node.left, &base) || !eval_number(e, expr, node.right, &i)) return false;
        const int target = pointee_of(e, base);
        if (target < 0) return fail_ev(e, "[" + std::to_string(i) + "]: not an array or pointer");
        if (base.type >= 0 && e->model->types[base.type].kind == DBG_TYPE_ARRAY &&
            (i < 0 || i >= e->model->types[base.type].count))
            return fail_ev(e, "index " + std::to_string(i) + " is outside the array (" +
                                  std::to_string(e->model->types[base.type].count) + " elements)");
        int64_t address = 0;
        if (!scalar(e, base, &address)) return false;
        out->type = target;
        out->in_memory = true;
        out->address = static_cast<uint16_t>(address + i * e->model->types[target].size);
        return true;
    }
    case OP_DEREF: {
        ev_t pointer;
        return eval(e, expr, node.left, &pointer) && deref(e, pointer, out);
    }
    case OP_ADDRESS: {
        ev_t target;
        if (!eval(e, expr, node.left, &target)) return false;
        if (!target.in_memory) return fail_ev(e, "&: the value is not in memory");
        out->number = target.address;
        out->pointee = target.type;
        return true;
    }
    case OP_NEGATE:
    case OP_NOT: {
        int64_t v = 0;
        if (!eval_number(e, expr, node.left, &v)) return false;
        out->number = node.op == OP_NEGATE ? -v : !v;
        return true;
    }
    case OP_ADD:
    case OP_SUB: {
        ev_t left;
        int64_t a = 0, b = 0;
        if (!eval(e, expr, node.left, &left) || !scalar(e, left, &a) ||
            !eval_number(e, expr, node.right, &b))
            return false;
        // Pointer arithmetic counts elements.
        const int target = pointee_of(e, left);
        if (target >= 0 && e->model->types[target].size > 0) {
            b *= e->model->types[target].size;
            out->pointee = target;
        }
        out->number = node.op == OP_ADD ? a + b : a - b;
        if (target >= 0) out->number &= 0xFFFF;
        out->is_location = left.is_location;
        return true;
    }
    case OP_AND:
    case OP_OR: {
        int64_t a = 0, b = 0;
        if (!eval_number(e, expr, node.left, &a)) return false;
        // Both sides are evaluated only when needed, as in C.
        if (node.op == OP_AND ? !a : a) {
            out->number = node.op == OP_OR;
            return true;
        }
        if (!eval_number(e, expr, node.right, &b)) return false;
        out->number = b != 0;
        return true;
    }
    default: {
        int64_t a = 0, b = 0;
        if (!eval_number(e, expr, node.left, &a) || !eval_number(e, expr, node.right, &b))
            return false;
        switch (static_cast<op_t>(node.op)) {
        case OP_EQ: out->number = a == b; break;
        case OP_NE: out->number = a != b; break;
        case OP_LT: out->number = a < b; break;
        case OP_LE: out->number = a <= b; break;
        case OP_GT: out->number = a > b; break;
        default: out->number = a >= b; break;
        }
        return true;
    }
    }
}

// Values as trees. --------------------------------------------------------------------------

std::string hex_digits(uint64_t value, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "$%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

std::string quoted(const uint8_t *memory, uint16_t address, uint32_t limit) {
    std::string text = "\"";
    for (uint32_t i = 0; i < limit; ++i) {
        const uint8_t c = memory[static_cast<uint16_t>(address + i)];
        if (c == 0) return text + "\"";
        if (c == '"' || c == '\\')
            text += std::string("\\") + static_cast<char>(c);
        else if (c == '\n')
            text += "\\n";
        else if (c >= 0x20 && c < 0x7F)
            text += static_cast<char>(c);
        else
            text += "\\x" + hex_digits(c, 2).substr(1);
    }
    return text + "\"...";
}

// "BC" for SDCC's "c,b"; "HLDE" for "e,d,l,h".
std::string register_names(const std::string &registers) {
    std::vector<std::string> names;
    std::string name;
    for (size_t i = 0; i <= registers.size(); ++i) {
        if (i < registers.size() && registers[i] != ',') {
            name += static_cast<char>(std::toupper(static_cast<unsigned char>(registers[i])));
            continue;
        }
        names.push_back(name);
        name.clear();
    }
    std::string text;
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        text += *it;
    return text;
}

// The child that marks members or elements left out.
void add_more_marker(dbg_value_t *out) {
    out->children.emplace_back();
    out->children.back().name = "...";
    out->children.back().type_index = -1;
}

void build_value(evaluator_t *e, const ev_t &v, const std::string &name, int depth,
                 dbg_value_t *out) {
    // Each value shows a bounded tree, however large its type says it is.
    if (depth == 0) e->values_left = DBG_VALUE_MAX_NODES;
    out->name = name;
    out->in_memory = v.in_memory;
    out->address = v.address;
    out->type_index = v.type;
    const uint8_t *memory = e->context.memory;
    if (v.type < 0) {
        if (v.pointee >= 0) {
            out->type = e->model->types[v.pointee].name + " *";
            out->text = hex_digits(static_cast<uint64_t>(v.number) & 0xFFFF, 4);
        } else {
            out->type = "int";
            const int64_t n = v.number;
            out->text = std::to_string(n) + " (" +
                        hex_digits(static_cast<uint64_t>(n) &
                                       (n >= -0x8000 && n <= 0xFFFF ? 0xFFFF : 0xFFFFFFFF),
                                   n >= -0x8000 && n <= 0xFFFF ? 4 : 8) +
                        ")";
        }
        return;
    }
    const dbg_type_t &type = e->model->types[v.type];
    out->type = type.name;
    switch (type.kind) {
    case DBG_TYPE_INT: {
        int64_t n = 0;
        scalar(e, v, &n);
        out->text = dbg_source_format_int(type, n);
        break;
    }
    case DBG_TYPE_FLOAT: {
        uint32_t bits = 0;
        if (v.in_memory)
            bits = static_cast<uint32_t>(read_int(memory, v.address, type));
        else
            bits = static_cast<uint32_t>(v.number);
        float f = 0;
        std::memcpy(&f, &bits, 4);
        char text[32];
        std::snprintf(text, sizeof text, "%g", static_cast<double>(f));
        out->text = text;
        break;
    }
    case DBG_TYPE_POINTER: {
        int64_t n = 0;
        scalar(e, v, &n);
        out->text = hex_digits(static_cast<uint64_t>(n), 4);
        if (type.target >= 0 && e->model->types[type.target].is_char && n != 0)
            out->text += " " + quoted(memory, static_cast<uint16_t>(n), 64);
        break;
    }
    case DBG_TYPE_ARRAY:
    case DBG_TYPE_STRUCT:
    case DBG_TYPE_UNION: {
        if (!v.in_memory) {
            out->text = "{...}";
            break;
        }
        if (type.kind == DBG_TYPE_ARRAY && type.target >= 0 && e->model->types[type.target].is_char)
            out->text = quoted(memory, v.address, std::min(type.count, DBG_VALUE_MAX_CHARS));
        else
            out->text = "{...}";
        if (depth >= 8) break;
        if (type.kind == DBG_TYPE_ARRAY) {
            const uint32_t count = std::min(type.count, DBG_VALUE_MAX_ELEMENTS);
            const uint16_t size = type.target >= 0 ? e->model->types[type.target].size : 0;
            for (uint32_t i = 0; i < type.count; ++i) {
                if (i == count || e->values_left == 0) {
                    add_more_marker(out);
                    break;
                }
                --e->values_left;
                ev_t element;
                element.type = type.target;
                element.in_memory = true;
                element.address = static_cast<uint16_t>(v.address + i * size);
                out->children.emplace_back();
                build_value(e, element, "[" + std::to_string(i) + "]", depth + 1,
                            &out->children.back());
            }
        } else if (type.record >= 0) {
            for (const auto &field : e->model->records[type.record].fields) {
                if (e->values_left == 0) {
                    add_more_marker(out);
                    break;
                }
                --e->values_left;
                ev_t member;
                member.type = field.type;
                member.in_memory = true;
                member.address = static_cast<uint16_t>(v.address + field.offset);
                out->children.emplace_back();
                build_value(e, member, field.name, depth + 1, &out->children.back());
            }
        }
        break;
    }
    default: out->text = v.in_memory ? hex_digits(v.address, 4) : "?"; break;
    }
    if (!v.registers.empty()) {
        out->registers = register_names(v.registers);
        out->text += " in " + out->registers;
        if (!v.shared.empty()) out->text += ", shared with " + v.shared;
    }
}

bool evaluate(const dbg_source_t *model, const dbg_expr_t &expr, const dbg_eval_context_t &context,
              ev_t *v, std::string *error) {
    evaluator_t e{model, context, {}, false, {}, {}, false};
    if (expr.root < 0 || !eval(&e, expr, expr.root, v)) {
        *error = e.error.empty() ? "empty expression" : e.error;
        return false;
    }
    return true;
}

} // namespace

std::string dbg_source_format_int(const dbg_type_t &type, int64_t value) {
    const int digits = std::max(2, type.size * 2);
    const uint64_t mask = type.size >= 8 ? ~0ull : (1ull << (8 * type.size)) - 1;
    std::string text = std::to_string(value);
    if (type.is_char && value >= 0x20 && value < 0x7F)
        text += std::string(" '") + static_cast<char>(value) + "'";
    return text + " (" + hex_digits(static_cast<uint64_t>(value) & mask, digits) + ")";
}

bool dbg_expr_parse(const dbg_source_t *model, const std::string &text, dbg_expr_t *expr,
                    std::string *error) {
    (void)model;
    *expr = dbg_expr_t{};
    // Parsing and evaluating recurse once per operator: a bound keeps the stack short.
    if (text.size() > 1000) {
        *error = "expression too long (at most 1000 characters)";
        return false;
    }
    parser_t p{text, 0, expr, {}};
    const int root = parse_or(&p);
    skip_space(&p);
    if (root >= 0 && p.at < text.size()) fail(&p, "unexpected '" + text.substr(p.at) + "'");
    if (!p.error.empty()) {
        *error = p.error;
        *expr = dbg_expr_t{};
        return false;
    }
    expr->root = root;
    return true;
}

bool dbg_expr_number(const dbg_source_t *model, const dbg_expr_t &expr,
                     const dbg_eval_context_t &context, int64_t *number, std::string *error) {
    evaluator_t e{model, context, {}, false, {}, {}, false};
    ev_t v;
    if (expr.root < 0 || !eval(&e, expr, expr.root, &v) || !scalar(&e, v, number) ||
        shared_in_expression(&e, expr)) {
        *error = e.error.empty() ? "empty expression" : e.error;
        return false;
    }
    return true;
}

bool dbg_expr_value(const dbg_source_t *model, const dbg_expr_t &expr,
                    const dbg_eval_context_t &context, dbg_value_t *value, std::string *error) {
    evaluator_t e{model, context, {}, false, {}, {}, false};
    ev_t v;
    *value = dbg_value_t{};
    if (expr.root < 0 || !eval(&e, expr, expr.root, &v)) {
        // A variable on its own shows that it is not available; in an expression it is an error.
        if (expr.nodes.size() == 1 && !e.unavailable.empty()) {
            value->type_index = e.unavailable_type;
            value->type = model->types[static_cast<size_t>(e.unavailable_type)].name;
            value->text = "<not available> (" + e.unavailable + ")";
            return true;
        }
        *error = e.error.empty() ? "empty expression" : e.error;
        return false;
    }
    if (shared_in_expression(&e, expr)) {
        *error = e.error;
        return false;
    }
    build_value(&e, v, "", 0, value);
    return true;
}

bool dbg_source_print(const dbg_source_t *model, const std::string &text,
                      const dbg_eval_context_t &context, dbg_value_t *value, std::string *error) {
    dbg_expr_t expr;
    if (!dbg_expr_parse(model, text, &expr, error) ||
        !dbg_expr_value(model, expr, context, value, error))
        return false;
    value->name = text;
    return true;
}

bool dbg_source_assign(const dbg_source_t *model, const std::string &target,
                       const std::string &value, const dbg_eval_context_t &context,
                       uint16_t *address, std::vector<uint8_t> *bytes, std::string *error) {
    dbg_expr_t expr;
    ev_t v;
    if (!dbg_expr_parse(model, target, &expr, error) || !evaluate(model, expr, context, &v, error))
        return false;
    if (!v.in_memory || v.type < 0) {
        *error = target + (v.registers.empty() ? " is not a variable in memory"
                                               : " is held in registers, not in memory");
        return false;
    }
    const dbg_type_t &type = model->types[v.type];
    bytes->clear();
    *address = v.address;
    // A char array takes text: "hello" and its terminating 0.
    if (type.kind == DBG_TYPE_ARRAY && type.target >= 0 && model->types[type.target].is_char &&
        value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        const std::string text = value.substr(1, value.size() - 2);
        if (text.size() + 1 > type.count) {
            *error = "the text does not fit in " + std::to_string(type.count) + " characters";
            return false;
        }
        bytes->assign(text.begin(), text.end());
        bytes->push_back(0);
        return true;
    }
    if (type.kind != DBG_TYPE_INT && type.kind != DBG_TYPE_POINTER) {
        *error = target + " is a " + type.name + ": set its members one by one";
        return false;
    }
    dbg_expr_t value_expr;
    int64_t number = 0;
    if (!dbg_expr_parse(model, value, &value_expr, error) ||
        !dbg_expr_number(model, value_expr, context, &number, error))
        return false;
    const int bits = type.size * 8;
    if (bits < 64 && (number >= (1ll << bits) || number < -(1ll << (bits - 1)))) {
        *error = std::to_string(number) + " does not fit in " + type.name;
        return false;
    }
    for (int i = 0; i < type.size; ++i)
        bytes->push_back(static_cast<uint8_t>(static_cast<uint64_t>(number) >> (8 * i)));
    return true;
}

std::vector<dbg_value_t> dbg_source_locals(const dbg_source_t *model,
                                           const dbg_eval_context_t &context) {
    std::vector<dbg_value_t> values;
    evaluator_t e{model, context, {}, false, {}, {}, false};
    const dbg_frame_t &frame = frame_of(&e);
    if (frame.function < 0) return values;
    std::vector<const dbg_variable_t *> chosen;
    for (const auto &v : model->variables)
        if (v.function == frame.function && v.scope == DBG_VAR_FUNCTION && in_scope(&e, v))
            chosen.push_back(&v);
    // Parameters first (SDCC lists them last first), then locals by block level.
    std::stable_sort(chosen.begin(), chosen.end(),
                     [](const dbg_variable_t *a, const dbg_variable_t *b) {
                         if (a->is_parameter != b->is_parameter) return a->is_parameter;
                         return a->level < b->level;
                     });
    std::reverse(chosen.begin(),
                 std::find_if(chosen.begin(), chosen.end(),
                              [](const dbg_variable_t *v) { return !v->is_parameter; }));
    for (const dbg_variable_t *v : chosen) {
        dbg_value_t value;
        ev_t ev;
        e.error.clear();
        if (variable_ev(&e, *v, &ev)) {
            build_value(&e, ev, v->name, 0, &value);
        } else {
            value.name = v->name;
            value.type = model->types[v->type].name;
            value.type_index = v->type;
            value.text = v->place == DBG_VAR_NOWHERE ? "<optimised out>"
                         : e.unavailable.empty()     ? "<" + e.error + ">"
                                                     : "<not available> (" + e.unavailable + ")";
            e.unavailable.clear();
        }
        values.push_back(value);
    }
    return values;
}

std::string dbg_source_value_text(const dbg_source_t *model, int type, uint16_t address,
                                  const dbg_eval_context_t &context) {
    evaluator_t e{model, context, {}, false, {}, {}, false};
    ev_t v;
    v.type = type;
    v.in_memory = true;
    v.address = address;
    dbg_value_t value;
    build_value(&e, v, "", 0, &value);
    // Members on one line, as far as they go.
    std::function<std::string(const dbg_value_t &)> line = [&](const dbg_value_t &of) {
        if (of.children.empty()) return of.text;
        std::string text = "{";
        for (const dbg_value_t &child : of.children)
            text += (text.size() > 1 ? ", " : "") +
                    (child.name == "..." ? "..." : child.name + " = " + line(child));
        return text + "}";
    };
    return line(value);
}
