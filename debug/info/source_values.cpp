// The source model's expressions: parsing, evaluation against memory and registers, values as
// trees, assignments.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>

#include "cpu/zregs.h"
#include "debug/info/source.h"
#include "debug/info/source_internal.h"
#include "debug/info/symbols.h"

namespace {

enum op_t : uint8_t {
    OP_NUMBER, // type: the literal's built-in type
    OP_NAME,
    OP_FIELD,
    OP_ARROW,
    OP_INDEX,
    OP_DEREF,
    OP_ADDRESS,
    OP_NEGATE,
    OP_PLUS,
    OP_NOT,
    OP_COMPLEMENT,
    OP_CAST,        // name: the base type as written ("unsigned char", "struct point"),
    OP_SIZEOF_TYPE, // number: how many '*' follow it
    OP_SIZEOF,
    OP_MUL,
    OP_DIV,
    OP_MOD,
    OP_ADD,
    OP_SUB,
    OP_SHL,
    OP_SHR,
    OP_LT,
    OP_LE,
    OP_GT,
    OP_GE,
    OP_EQ,
    OP_NE,
    OP_BITAND,
    OP_BITXOR,
    OP_BITOR,
    OP_AND,
    OP_OR,
    OP_CHOICE, // cond ? left : right: OP_CHOICE holds the condition, right an OP_BRANCHES
    OP_BRANCHES,
};

// Parser. -----------------------------------------------------------------------------------

// How deep parentheses and unary operators may nest: parsing and evaluating recurse on them.
constexpr int MAX_NESTING = 100;

struct parser_t {
    const std::string &text;
    size_t at;
    dbg_expr_t *expr;
    std::string error;
    int nesting = 0;
};

void skip_space(parser_t *p) {
    while (p->at < p->text.size() && std::isspace(static_cast<unsigned char>(p->text[p->at])))
        ++p->at;
}

// Takes token unless one of the characters in not_before follows it ("&" is not "&&").
bool accept(parser_t *p, const char *token, const char *not_before = "") {
    skip_space(p);
    const size_t n = std::strlen(token);
    if (p->text.compare(p->at, n, token) != 0) return false;
    if (p->at + n < p->text.size() && *not_before && std::strchr(not_before, p->text[p->at + n]))
        return false;
    p->at += n;
    return true;
}

int add_node(parser_t *p, op_t op, int left, int right) {
    dbg_expr_node_t node{};
    node.op = op;
    node.left = left;
    node.right = right;
    node.type = -1;
    p->expr->nodes.push_back(node);
    return static_cast<int>(p->expr->nodes.size()) - 1;
}

bool is_name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

std::string peek_word(const parser_t *p) {
    size_t end = p->at;
    while (end < p->text.size() && is_name_char(p->text[end]))
        ++end;
    return p->text.substr(p->at, end - p->at);
}

std::string take_word(parser_t *p) {
    skip_space(p);
    std::string word = peek_word(p);
    p->at += word.size();
    return word;
}

int parse_expression(parser_t *p);
int parse_unary(parser_t *p);

int fail(parser_t *p, const std::string &message) {
    if (p->error.empty()) p->error = message;
    return -1;
}

bool is_type_word(const std::string &word) {
    static const char *const words[] = {"const", "volatile", "signed", "unsigned", "char",
                                        "short", "int",      "long",   "float",    "double",
                                        "void",  "struct",   "union",  "_Bool"};
    for (const char *w : words)
        if (word == w) return true;
    return false;
}

// A type name as a cast or sizeof writes it: "unsigned char", "struct point *", "long". Sets
// the node's name to the base type in one spelling and its number to the count of '*'.
bool parse_type(parser_t *p, int node) {
    int is_signed = -1, longs = 0;
    std::string base; // char, int, float, void, _Bool, "struct TAG", "union TAG"
    for (;;) {
        skip_space(p);
        const std::string word = peek_word(p);
        if (!is_type_word(word)) break;
        p->at += word.size();
        if (word == "const" || word == "volatile") continue;
        if (word == "signed" || word == "unsigned") {
            is_signed = word == "signed";
        } else if (word == "long") {
            ++longs;
        } else if (word == "short" || word == "int") {
            if (!base.empty() && base != "int") return fail(p, "bad type near " + word) >= 0;
            base = "int";
        } else {
            if (!base.empty()) return fail(p, "bad type near " + word) >= 0;
            base = word == "double" ? "float" : word;
            if (word == "struct" || word == "union") {
                const std::string tag = take_word(p);
                if (tag.empty()) return fail(p, word + " needs its tag") >= 0;
                base += " " + tag;
            }
        }
    }
    if (longs) {
        if (longs > 2 || (!base.empty() && base != "int"))
            return fail(p, "bad type: long with " + base) >= 0;
        base = longs == 2 ? "long long" : "long";
    }
    if (base.empty()) {
        if (is_signed < 0) return fail(p, "a type name is missing") >= 0;
        base = "int";
    }
    if (is_signed >= 0 && base != "char" && base != "int" && base != "long" && base != "long long")
        return fail(p, "signed or unsigned with " + base) >= 0;
    // SDCC's plain char is unsigned.
    if (base == "char")
        base = is_signed == 1 ? "signed char" : "unsigned char";
    else if (base == "_Bool")
        base = "unsigned char";
    else if (is_signed == 0)
        base = "unsigned " + base;
    p->expr->nodes[node].name = base;
    int stars = 0;
    for (; accept(p, "*"); ++stars)
        while (accept(p, "const") || accept(p, "volatile")) {
        }
    p->expr->nodes[node].number = stars;
    return true;
}

// Whether '(' at the parser's position opens a type name (a cast, sizeof's operand).
bool type_follows(parser_t *p) {
    const size_t at = p->at;
    ++p->at;
    skip_space(p);
    const bool yes = is_type_word(peek_word(p));
    p->at = at;
    return yes;
}

// A number as C writes it (42, 0x2A, 052, 0b101010, with u/l suffixes), or as an assembler does
// ($2A, 2Ah). Its type is C's: the first of int, (unsigned int,) long, (unsigned long,) long
// long, unsigned long long that holds it; unsigned ones only for a hexadecimal, octal or binary
// number, or one with u.
int number_node(parser_t *p, const std::string &word) {
    std::string digits = word;
    int base = 10;
    bool suffixes_allowed = true;
    if (word[0] == '$') {
        base = 16;
        digits = word.substr(1);
        suffixes_allowed = false;
    } else if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        digits = word.substr(2);
    } else if (word.size() > 1 && (word.back() == 'h' || word.back() == 'H') &&
               std::all_of(word.begin(), word.end() - 1,
                           [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); })) {
        base = 16; // before 0b: 0bh is the assembler's 0B
        digits.pop_back();
        suffixes_allowed = false;
    } else if (word.size() > 2 && word[0] == '0' && (word[1] == 'b' || word[1] == 'B')) {
        base = 2;
        digits = word.substr(2);
    } else if (word.size() > 1 && word[0] == '0') {
        base = 8;
    }
    bool is_unsigned = false;
    int longs = 0;
    while (suffixes_allowed && !digits.empty() && std::strchr("uUlL", digits.back())) {
        if (digits.back() == 'u' || digits.back() == 'U') {
            if (is_unsigned) return fail(p, "bad number " + word);
            is_unsigned = true;
        } else if (++longs > 2) {
            return fail(p, "bad number " + word);
        }
        digits.pop_back();
    }
    uint64_t value = 0;
    bool ok = !digits.empty();
    for (char c : digits) {
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : std::isxdigit(static_cast<unsigned char>(c))
                              ? std::toupper(static_cast<unsigned char>(c)) - 'A' + 10
                              : 99;
        if (digit >= base || value > (~0ull - static_cast<uint64_t>(digit)) / base) {
            ok = false;
            break;
        }
        value = value * base + static_cast<uint64_t>(digit);
    }
    if (!ok) {
        auto all = [&](int (*test)(int)) {
            return std::all_of(word.begin(), word.end(),
                               [&](char c) { return test(static_cast<unsigned char>(c)) != 0; });
        };
        if (all(isxdigit))
            return fail(p, "bad number " + word + " (" +
                               (base == 8 && all(isdigit) ? "a leading 0 makes it octal"
                                                          : "numbers are decimal") +
                               "; write 0x" + word + " or $" + word + " for hexadecimal)");
        return fail(p, "bad number " + word);
    }
    static const struct {
        int type;
        uint64_t max;
        bool is_unsigned;
        int longs;
    } ranks[] = {{DBG_TYPE_INT_INDEX, 0x7FFF, false, 0},
                 {DBG_TYPE_UINT_INDEX, 0xFFFF, true, 0},
                 {DBG_TYPE_LONG_INDEX, 0x7FFFFFFF, false, 1},
                 {DBG_TYPE_ULONG_INDEX, 0xFFFFFFFF, true, 1},
                 {DBG_TYPE_LLONG_INDEX, 0x7FFFFFFFFFFFFFFF, false, 2},
                 {DBG_TYPE_ULLONG_INDEX, ~0ull, true, 2}};
    int type = -1;
    for (const auto &rank : ranks) {
        if (rank.longs < longs || value > rank.max || (is_unsigned && !rank.is_unsigned) ||
            (rank.is_unsigned && !is_unsigned && base == 10 && rank.type != DBG_TYPE_ULLONG_INDEX))
            continue;
        type = rank.type;
        break;
    }
    const int node = add_node(p, OP_NUMBER, -1, -1);
    p->expr->nodes[node].number = static_cast<int64_t>(value);
    p->expr->nodes[node].type = type;
    return node;
}

// 'c', '\n', '\x41', '\101': an int holding the (unsigned) character.
int char_node(parser_t *p) {
    const std::string &t = p->text;
    size_t at = p->at + 1;
    int value = -1;
    if (at < t.size() && t[at] == '\\' && at + 1 < t.size()) {
        const char c = t[++at];
        ++at;
        static const char plain[] = "abfnrtv\\'\"?0";
        static const char codes[] = "\a\b\f\n\r\t\v\\'\"?";
        if (c == 'x' || (c >= '0' && c <= '7')) {
            const int base = c == 'x' ? 16 : 8;
            if (c != 'x') --at;
            int digits = 0;
            value = 0;
            while (at < t.size() && digits < (base == 8 ? 3 : 2) &&
                   std::isxdigit(static_cast<unsigned char>(t[at])) &&
                   (base == 16 || (t[at] >= '0' && t[at] <= '7'))) {
                value = value * base +
                        (std::isdigit(static_cast<unsigned char>(t[at]))
                             ? t[at] - '0'
                             : std::toupper(static_cast<unsigned char>(t[at])) - 'A' + 10);
                ++at;
                ++digits;
            }
            if (!digits || value > 0xFF) value = -1;
        } else if (const char *found = std::strchr(plain, c)) {
            value = static_cast<unsigned char>(codes[found - plain]);
        }
    } else if (at < t.size() && t[at] != '\'') {
        value = static_cast<unsigned char>(t[at++]);
    }
    if (value < 0 || at >= t.size() || t[at] != '\'')
        return fail(p, "a character is written 'c' (or '\\n', '\\x41')");
    p->at = at + 1;
    const int node = add_node(p, OP_NUMBER, -1, -1);
    p->expr->nodes[node].number = value;
    p->expr->nodes[node].type = DBG_TYPE_INT_INDEX;
    return node;
}

int parse_primary(parser_t *p) {
    skip_space(p);
    if (p->at >= p->text.size()) return fail(p, "expression ends too early");
    const char c = p->text[p->at];
    if (c == '(') {
        ++p->at;
        const int inner = parse_expression(p);
        if (inner < 0) return -1;
        if (!accept(p, ")")) return fail(p, "missing )");
        return inner;
    }
    if (c == '\'') return char_node(p);
    if (c == '#') {
        // The command language's older decimal form, still read: #27.
        ++p->at;
        const std::string digits = peek_word(p);
        p->at += digits.size();
        const size_t first = digits.find_first_not_of('0');
        if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char d) {
                return std::isdigit(static_cast<unsigned char>(d));
            }))
            return fail(p, "bad decimal number #" + digits);
        return number_node(p, first == std::string::npos ? "0" : digits.substr(first));
    }
    if (c == '$' || std::isdigit(static_cast<unsigned char>(c))) {
        const size_t start = p->at;
        ++p->at;
        while (p->at < p->text.size() && is_name_char(p->text[p->at]))
            ++p->at;
        return number_node(p, p->text.substr(start, p->at - start));
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        const size_t start = p->at;
        while (p->at < p->text.size() && is_name_char(p->text[p->at]))
            ++p->at;
        // function::name, a static of that function.
        if (p->text.compare(p->at, 2, "::") == 0 && p->at + 2 < p->text.size() &&
            is_name_char(p->text[p->at + 2])) {
            p->at += 2;
            while (p->at < p->text.size() && is_name_char(p->text[p->at]))
                ++p->at;
        } else if (p->at < p->text.size() && p->text[p->at] == '\'') {
            ++p->at; // af', hl'
        }
        const int node = add_node(p, OP_NAME, -1, -1);
        p->expr->nodes[node].name = p->text.substr(start, p->at - start);
        return node;
    }
    return fail(p, std::string("unexpected '") + c + "'");
}

int parse_postfix(parser_t *p) {
    int node = parse_primary(p);
    while (node >= 0) {
        const bool arrow = accept(p, "->");
        if (arrow || accept(p, ".")) {
            const std::string field = take_word(p);
            if (field.empty()) return fail(p, "a field name must follow . or ->");
            node = add_node(p, arrow ? OP_ARROW : OP_FIELD, node, -1);
            p->expr->nodes[node].name = field;
        } else if (accept(p, "[")) {
            const int index = parse_expression(p);
            if (index < 0) return -1;
            if (!accept(p, "]")) return fail(p, "missing ]");
            node = add_node(p, OP_INDEX, node, index);
        } else {
            break;
        }
    }
    return node;
}

int parse_unary_operand(parser_t *p) {
    skip_space(p);
    if (p->text.compare(p->at, 1, "(") == 0 && type_follows(p)) {
        ++p->at;
        const int node = add_node(p, OP_CAST, -1, -1);
        if (!parse_type(p, node)) return -1;
        if (!accept(p, ")")) return fail(p, "missing ) after the type");
        const int inner = parse_unary(p);
        if (inner < 0) return -1;
        p->expr->nodes[node].left = inner;
        return node;
    }
    if (peek_word(p) == "sizeof") {
        p->at += 6;
        skip_space(p);
        if (p->text.compare(p->at, 1, "(") == 0 && type_follows(p)) {
            ++p->at;
            const int node = add_node(p, OP_SIZEOF_TYPE, -1, -1);
            if (!parse_type(p, node)) return -1;
            return accept(p, ")") ? node : fail(p, "missing ) after the type");
        }
        const int inner = parse_unary(p);
        return inner < 0 ? -1 : add_node(p, OP_SIZEOF, inner, -1);
    }
    static const struct {
        const char *token;
        const char *not_before;
        op_t op;
    } prefixes[] = {{"*", "", OP_DEREF},   {"&", "&", OP_ADDRESS}, {"!", "=", OP_NOT},
                    {"-", "-", OP_NEGATE}, {"+", "+", OP_PLUS},    {"~", "", OP_COMPLEMENT}};
    for (const auto &prefix : prefixes)
        if (accept(p, prefix.token, prefix.not_before)) {
            const int inner = parse_unary(p);
            return inner < 0 ? -1 : add_node(p, prefix.op, inner, -1);
        }
    return parse_postfix(p);
}

int parse_unary(parser_t *p) {
    if (++p->nesting > MAX_NESTING) return fail(p, "expression nested too deeply");
    const int node = parse_unary_operand(p);
    --p->nesting;
    return node;
}

// The binary operators by precedence, the loosest first.
struct binary_op_t {
    const char *token;
    const char *not_before;
    op_t op;
};
const std::vector<std::vector<binary_op_t>> &binary_levels() {
    static const std::vector<std::vector<binary_op_t>> levels = {
        {{"||", "", OP_OR}},
        {{"&&", "", OP_AND}},
        {{"|", "|", OP_BITOR}},
        {{"^", "", OP_BITXOR}},
        {{"&", "&", OP_BITAND}},
        {{"==", "", OP_EQ}, {"!=", "", OP_NE}},
        {{"<=", "", OP_LE}, {">=", "", OP_GE}, {"<", "<", OP_LT}, {">", ">", OP_GT}},
        {{"<<", "", OP_SHL}, {">>", "", OP_SHR}},
        {{"+", "", OP_ADD}, {"-", ">", OP_SUB}},
        {{"*", "", OP_MUL}, {"/", "", OP_DIV}, {"%", "", OP_MOD}},
    };
    return levels;
}

int parse_binary(parser_t *p, size_t level) {
    const auto &levels = binary_levels();
    if (level == levels.size()) return parse_unary(p);
    int left = parse_binary(p, level + 1);
    while (left >= 0) {
        const binary_op_t *found = nullptr;
        for (const binary_op_t &op : levels[level])
            if (accept(p, op.token, op.not_before)) {
                found = &op;
                break;
            }
        if (!found) break;
        const int right = parse_binary(p, level + 1);
        if (right < 0) return -1;
        left = add_node(p, found->op, left, right);
    }
    return left;
}

int parse_expression(parser_t *p) {
    if (++p->nesting > MAX_NESTING) return fail(p, "expression nested too deeply");
    int node = parse_binary(p, 0);
    if (node >= 0 && accept(p, "?")) {
        const int yes = parse_expression(p);
        if (yes < 0) return -1;
        if (!accept(p, ":")) return fail(p, "missing : of ?:");
        const int no = parse_expression(p);
        if (no < 0) return -1;
        node = add_node(p, OP_CHOICE, node, add_node(p, OP_BRANCHES, yes, no));
    }
    --p->nesting;
    return node;
}

// Evaluation. -------------------------------------------------------------------------------

// An evaluated operand: a typed value in memory, in registers, or computed.
struct ev_t {
    int type = -1; // the type (see type_at); -1: a plain number
    bool in_memory = false;
    uint16_t address = 0;
    std::string registers; // SDCC's names, low byte first
    std::string shared;    // other locals in scope that SDCC put in the same registers
    int64_t number = 0;    // a computed value, or a value in registers once read
};

struct evaluator_t {
    evaluator_t(const dbg_source_t *model_, const dbg_eval_context_t &context_)
        : model(model_), context(context_) {}
    const dbg_source_t *model;
    const dbg_eval_context_t &context;
    dbg_frame_t frame{};
    bool frame_ready = false;
    std::string error;
    std::vector<int> blocks; // the blocks the frame's line is in, innermost first
    bool blocks_ready = false;
    uint32_t values_left = 0; // what the value being built may still show (DBG_VALUE_MAX_NODES)
    char format = 0;          // print's /x /d /u /c /t, or 0
    // Pointer types the program's information lacks ("long *" of a cast, &x), numbered after
    // the model's types. A deque: references to them stay valid as more are added.
    std::deque<dbg_type_t> extra_types;
    // A variable whose value cannot be known where the frame stands: why, briefly, and its type.
    std::string unavailable;
    int unavailable_type = -1;
    // A local read from registers another local of the function shares ("p in BC, shared with
    // i"): shown marked on its own, never hidden inside a computed value.
    std::string shared;
};

// A value computed from a shared register's local could be the other local's: an error.
bool shared_in_expression(evaluator_t *e, const dbg_expr_t &expr) {
    if (expr.nodes.size() == 1 || e->shared.empty()) return false;
    e->error = e->shared + ", so a value computed from it may be wrong; print it alone to see it";
    return true;
}

std::string register_names(const std::string &registers);

const dbg_type_t &type_at(const evaluator_t *e, int index) {
    const int known = static_cast<int>(e->model->types.size());
    return index < known ? e->model->types[index] : e->extra_types[index - known];
}

// The type "pointer to target": the program's own when it has one, else made here.
int pointer_to(evaluator_t *e, int target) {
    for (size_t i = 0; i < e->model->types.size(); ++i)
        if (e->model->types[i].kind == DBG_TYPE_POINTER && e->model->types[i].target == target)
            return static_cast<int>(i);
    const int known = static_cast<int>(e->model->types.size());
    for (size_t i = 0; i < e->extra_types.size(); ++i)
        if (e->extra_types[i].target == target) return known + static_cast<int>(i);
    dbg_type_t type{};
    type.kind = DBG_TYPE_POINTER;
    type.size = 2;
    type.target = target;
    type.record = -1;
    type.name = type_at(e, target).name + " *";
    e->extra_types.push_back(type);
    return known + static_cast<int>(e->extra_types.size()) - 1;
}

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

// The built-in integer type of a size and signedness (char, int, long, long long).
int int_type(int size, bool is_signed) {
    switch (size) {
    case 1: return is_signed ? DBG_TYPE_SCHAR_INDEX : DBG_TYPE_UCHAR_INDEX;
    case 2: return is_signed ? DBG_TYPE_INT_INDEX : DBG_TYPE_UINT_INDEX;
    case 4: return is_signed ? DBG_TYPE_LONG_INDEX : DBG_TYPE_ULONG_INDEX;
    default: return is_signed ? DBG_TYPE_LLONG_INDEX : DBG_TYPE_ULLONG_INDEX;
    }
}

// The value as the type holds it: cut to its width, sign-extended when it is signed.
int64_t wrap(const dbg_type_t &type, int64_t value) {
    const int bits = type.size * 8;
    if (bits == 0 || bits >= 64) return value;
    value &= static_cast<int64_t>((1ull << bits) - 1);
    if (type.is_signed && (value >> (bits - 1) & 1)) value -= static_cast<int64_t>(1ull << bits);
    return value;
}

// Numbers are C's: a hexadecimal one is never guessed from a bare word, but the message says how
// to write it.
std::string unknown_name(const std::string &name) {
    if (std::all_of(name.begin(), name.end(),
                    [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
        return "unknown name " + name + " (for the hexadecimal number write 0x" + name + " or $" +
               name + ")";
    return "unknown name " + name;
}

// A name: a C variable in scope (a program's loop counter `i` or `c` stays readable), a static
// as function::name, a C function (its address), a register, `value` in a watchpoint's
// condition, an assembly symbol (its address).
bool resolve_name(evaluator_t *e, const std::string &name, ev_t *out) {
    const size_t colons = name.find("::");
    if (colons != std::string::npos) {
        const std::string owner = name.substr(0, colons), local = name.substr(colons + 2);
        const dbg_function_t *function = dbg_source_function(e->model, owner);
        if (!function) return fail_ev(e, "no C function " + owner);
        const int index = static_cast<int>(function - e->model->functions.data());
        auto found = e->model->variable_index.find(local);
        if (found != e->model->variable_index.end())
            for (int i : found->second) {
                const dbg_variable_t &v = e->model->variables[i];
                if (v.function == index && v.scope == DBG_VAR_FUNCTION && v.place == DBG_VAR_MEMORY)
                    return variable_ev(e, v, out);
            }
        return fail_ev(e, owner + " has no static variable " + local);
    }
    if (const dbg_variable_t *v = find_variable(e, name)) return variable_ev(e, *v, out);
    if (const dbg_function_t *f = dbg_source_function(e->model, name)) {
        if (f->type >= 0) {
            out->type = f->type;
            out->in_memory = true;
            out->address = f->start;
            return true;
        }
    }
    if (const z_register_t *r = z_register_find(name)) {
        out->number = r->read(*e->context.cpu);
        out->type = r->bits == 16 ? DBG_TYPE_UINT_INDEX : DBG_TYPE_UCHAR_INDEX;
        return true;
    }
    if (name == "value" && e->context.value >= 0) {
        out->number = e->context.value;
        out->type = DBG_TYPE_UCHAR_INDEX;
        return true;
    }
    uint16_t address = 0;
    if (e->context.symbols && dbg_symbol_lookup(e->context.symbols, name, &address)) {
        out->number = address;
        out->type = DBG_TYPE_UINT_INDEX;
        return true;
    }
    return fail_ev(e, unknown_name(name));
}

int64_t read_int(const uint8_t *memory, uint16_t address, const dbg_type_t &type) {
    uint64_t value = 0;
    const int size = std::min<int>(type.size, 8);
    for (int i = 0; i < size; ++i)
        value |= static_cast<uint64_t>(memory[static_cast<uint16_t>(address + i)]) << (8 * i);
    if (type.is_signed && size < 8 && (value >> (8 * size - 1) & 1)) value |= ~0ull << (8 * size);
    return static_cast<int64_t>(value);
}

// The operand's scalar value (integers, pointers; an array or a function is its address).
bool scalar(evaluator_t *e, const ev_t &v, int64_t *number) {
    if (v.type < 0) {
        *number = v.number;
        return true;
    }
    const dbg_type_t &type = type_at(e, v.type);
    if ((type.kind == DBG_TYPE_ARRAY || type.kind == DBG_TYPE_FUNCTION) && v.in_memory) {
        *number = v.address;
        return true;
    }
    if (type.kind != DBG_TYPE_INT && type.kind != DBG_TYPE_POINTER)
        return fail_ev(e, "not a number: " + type.name);
    *number = v.in_memory ? read_int(e->context.memory, v.address, type) : wrap(type, v.number);
    return true;
}

// The element type a pointer-like operand points at, or -1.
int pointee_of(evaluator_t *e, const ev_t &v) {
    if (v.type < 0) return -1;
    const dbg_type_t &type = type_at(e, v.type);
    if (type.kind == DBG_TYPE_POINTER || type.kind == DBG_TYPE_ARRAY) return type.target;
    return -1;
}

// An operand as an integer of C's arithmetic, after the integer promotions: a narrower type
// than int becomes int; pointers, arrays and functions are their addresses (unsigned int).
bool promoted(evaluator_t *e, const ev_t &v, int64_t *number, int *type) {
    if (!scalar(e, v, number)) return false;
    if (v.type < 0) {
        *type = DBG_TYPE_LLONG_INDEX;
        return true;
    }
    const dbg_type_t &t = type_at(e, v.type);
    if (t.kind != DBG_TYPE_INT)
        *type = DBG_TYPE_UINT_INDEX;
    else
        *type = t.size < 2 ? DBG_TYPE_INT_INDEX : int_type(t.size, t.is_signed);
    return true;
}

// C's usual arithmetic conversions between two promoted types: the wider one, and at one
// width the unsigned one.
int common_type(const evaluator_t *e, int a, int b) {
    const dbg_type_t &ta = type_at(e, a), &tb = type_at(e, b);
    if (ta.size != tb.size) return ta.size > tb.size ? a : b;
    return ta.is_signed ? b : a;
}

bool eval(evaluator_t *e, const dbg_expr_t &expr, int index, ev_t *out);

bool eval_number(evaluator_t *e, const dbg_expr_t &expr, int index, int64_t *number) {
    ev_t v;
    return eval(e, expr, index, &v) && scalar(e, v, number);
}

bool field_of(evaluator_t *e, const ev_t &base, const std::string &name, ev_t *out) {
    if (base.type < 0) return fail_ev(e, "." + name + ": not a struct");
    const dbg_type_t &type = type_at(e, base.type);
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
    const dbg_type_t &type = type_at(e, target);
    if (type.kind == DBG_TYPE_VOID || type.kind == DBG_TYPE_FUNCTION)
        return fail_ev(e, "cannot look through a " + type.name + " pointer");
    int64_t address = 0;
    if (!scalar(e, pointer, &address)) return false;
    *out = ev_t{};
    out->type = target;
    out->in_memory = true;
    out->address = static_cast<uint16_t>(address);
    return true;
}

// The type a cast or sizeof names, or -1 with the reason.
int named_type(evaluator_t *e, const dbg_expr_node_t &node) {
    static const struct {
        const char *name;
        int index;
    } builtins[] = {{"int", DBG_TYPE_INT_INDEX},
                    {"unsigned int", DBG_TYPE_UINT_INDEX},
                    {"unsigned char", DBG_TYPE_UCHAR_INDEX},
                    {"signed char", DBG_TYPE_SCHAR_INDEX},
                    {"long", DBG_TYPE_LONG_INDEX},
                    {"unsigned long", DBG_TYPE_ULONG_INDEX},
                    {"long long", DBG_TYPE_LLONG_INDEX},
                    {"unsigned long long", DBG_TYPE_ULLONG_INDEX},
                    {"void", DBG_TYPE_VOID_INDEX},
                    {"float", DBG_TYPE_FLOAT_INDEX}};
    int type = -1;
    for (const auto &builtin : builtins)
        if (node.name == builtin.name) type = builtin.index;
    if (type < 0) {
        // A struct or union by its tag, preferably the selected frame's module's.
        const bool is_union = node.name.compare(0, 6, "union ") == 0;
        const std::string tag = node.name.substr(node.name.find(' ') + 1);
        const dbg_frame_t &frame = frame_of(e);
        const std::string module =
            frame.function >= 0 ? e->model->functions[frame.function].module : std::string();
        for (size_t i = 0; i < e->model->types.size(); ++i) {
            const dbg_type_t &t = e->model->types[i];
            if ((t.kind == DBG_TYPE_UNION) == is_union &&
                (t.kind == DBG_TYPE_STRUCT || t.kind == DBG_TYPE_UNION) && t.tag == tag &&
                (type < 0 || t.module == module))
                type = static_cast<int>(i);
        }
        if (type < 0) return fail_ev(e, "unknown type " + node.name), -1;
    }
    for (int64_t i = 0; i < node.number; ++i)
        type = pointer_to(e, type);
    return type;
}

bool cast(evaluator_t *e, const ev_t &v, int type, ev_t *out) {
    const dbg_type_t &to = type_at(e, type);
    if (to.kind != DBG_TYPE_INT && to.kind != DBG_TYPE_POINTER)
        return fail_ev(e, "cannot cast to " + to.name + " (integer and pointer types only)");
    int64_t number = 0;
    if (!scalar(e, v, &number)) return false;
    *out = ev_t{};
    out->type = type;
    out->number = wrap(to, number);
    return true;
}

// Pointer arithmetic: pointer +/- integer counts elements, pointer - pointer counts them between.
bool pointer_arithmetic(evaluator_t *e, op_t op, const ev_t &left, const ev_t &right, ev_t *out) {
    const int lt = pointee_of(e, left), rt = pointee_of(e, right);
    int64_t a = 0, b = 0;
    if (!scalar(e, left, &a) || !scalar(e, right, &b)) return false;
    const int target = lt >= 0 ? lt : rt;
    const int64_t size = std::max<int64_t>(1, type_at(e, target).size);
    if (lt >= 0 && rt >= 0) {
        if (op != OP_SUB) return fail_ev(e, "two pointers can only be subtracted");
        out->type = DBG_TYPE_INT_INDEX;
        out->number = wrap(type_at(e, DBG_TYPE_INT_INDEX), (a - b) / size);
        return true;
    }
    if (rt >= 0 && op == OP_SUB) return fail_ev(e, "a number minus a pointer");
    // Unsigned: any count wraps within the 64 KB as the address does, never overflows.
    const uint64_t base = static_cast<uint64_t>(lt >= 0 ? a : b);
    const uint64_t step = static_cast<uint64_t>(lt >= 0 ? b : a) * static_cast<uint64_t>(size);
    const uint64_t address = op == OP_ADD ? base + step : base - step;
    out->type = pointer_to(e, target);
    out->number = address & 0xFFFF;
    return true;
}

// A binary operator on integers, by C's rules: the usual conversions, then the result cut to
// its type's width (16-bit int arithmetic wraps as the Z80 program's does).
bool arithmetic(evaluator_t *e, op_t op, const ev_t &left, const ev_t &right, ev_t *out) {
    if ((op == OP_ADD || op == OP_SUB) && (pointee_of(e, left) >= 0 || pointee_of(e, right) >= 0))
        return pointer_arithmetic(e, op, left, right, out);
    int64_t a = 0, b = 0;
    int ta = 0, tb = 0;
    if (!promoted(e, left, &a, &ta) || !promoted(e, right, &b, &tb)) return false;
    if (op == OP_SHL || op == OP_SHR) {
        const dbg_type_t &type = type_at(e, ta);
        if (b < 0 || b >= type.size * 8)
            return fail_ev(e, "shift by " + std::to_string(b) + " (0 to " +
                                  std::to_string(type.size * 8 - 1) + " for " + type.name + ")");
        out->type = ta;
        const uint64_t bits = type.is_signed
                                  ? static_cast<uint64_t>(a)
                                  : static_cast<uint64_t>(a) &
                                        (type.size >= 8 ? ~0ull : (1ull << (type.size * 8)) - 1);
        out->number =
            wrap(type, static_cast<int64_t>(op == OP_SHL     ? bits << b
                                            : type.is_signed ? static_cast<uint64_t>(a >> b)
                                                             : bits >> b));
        return true;
    }
    const int common = common_type(e, ta, tb);
    const dbg_type_t &type = type_at(e, common);
    a = wrap(type, a);
    b = wrap(type, b);
    // The unsigned long long's values above the int64_t range compare and divide unsigned.
    const bool wide_unsigned = !type.is_signed && type.size >= 8;
    const uint64_t ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
    int64_t result = 0;
    bool is_truth = false;
    switch (op) {
    case OP_MUL: result = static_cast<int64_t>(ua * ub); break;
    case OP_DIV:
    case OP_MOD:
        if (b == 0) return fail_ev(e, "division by zero");
        if (wide_unsigned)
            result = static_cast<int64_t>(op == OP_DIV ? ua / ub : ua % ub);
        else if (a == INT64_MIN && b == -1)
            result = op == OP_DIV ? a : 0;
        else
            result = op == OP_DIV ? a / b : a % b;
        break;
    case OP_ADD: result = static_cast<int64_t>(ua + ub); break;
    case OP_SUB: result = static_cast<int64_t>(ua - ub); break;
    case OP_BITAND: result = a & b; break;
    case OP_BITXOR: result = a ^ b; break;
    case OP_BITOR: result = a | b; break;
    default:
        is_truth = true;
        switch (op) {
        case OP_EQ: result = a == b; break;
        case OP_NE: result = a != b; break;
        case OP_LT: result = wide_unsigned ? ua < ub : a < b; break;
        case OP_LE: result = wide_unsigned ? ua <= ub : a <= b; break;
        case OP_GT: result = wide_unsigned ? ua > ub : a > b; break;
        default: result = wide_unsigned ? ua >= ub : a >= b; break;
        }
    }
    out->type = is_truth ? DBG_TYPE_INT_INDEX : common;
    out->number = is_truth ? result : wrap(type, result);
    return true;
}

bool unary(evaluator_t *e, op_t op, const ev_t &operand, ev_t *out) {
    int64_t v = 0;
    int type = 0;
    if (op == OP_NOT) {
        if (!scalar(e, operand, &v)) return false;
        out->type = DBG_TYPE_INT_INDEX;
        out->number = !v;
        return true;
    }
    if (!promoted(e, operand, &v, &type)) return false;
    if (operand.type >= 0 && type_at(e, operand.type).kind != DBG_TYPE_INT)
        return fail_ev(e, "not an integer: " + type_at(e, operand.type).name);
    out->type = type;
    out->number =
        wrap(type_at(e, type), op == OP_NEGATE ? static_cast<int64_t>(0 - static_cast<uint64_t>(v))
                               : op == OP_COMPLEMENT ? ~v
                                                     : v);
    return true;
}

// How many bytes an operand's type takes.
bool size_of(evaluator_t *e, int type, ev_t *out) {
    const dbg_type_t &t = type_at(e, type);
    if (t.kind == DBG_TYPE_VOID || t.kind == DBG_TYPE_FUNCTION)
        return fail_ev(e, "sizeof: " + t.name + " has no size");
    out->type = DBG_TYPE_UINT_INDEX;
    out->number = t.size;
    return true;
}

bool eval(evaluator_t *e, const dbg_expr_t &expr, int index, ev_t *out) {
    const dbg_expr_node_t &node = expr.nodes[index];
    *out = ev_t{};
    const op_t op = static_cast<op_t>(node.op);
    switch (op) {
    case OP_NUMBER:
        out->number = node.number;
        out->type = node.type;
        return true;
    case OP_NAME: return resolve_name(e, node.name, out);
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
        const dbg_type_t &type = type_at(e, base.type);
        if (type.kind == DBG_TYPE_ARRAY && (i < 0 || i >= type.count))
            return fail_ev(e, "index " + std::to_string(i) + " is outside the array (" +
                                  std::to_string(type.count) + " elements)");
        int64_t address = 0;
        if (!scalar(e, base, &address)) return false;
        out->type = target;
        out->in_memory = true;
        out->address = static_cast<uint16_t>(static_cast<uint64_t>(address) +
                                             static_cast<uint64_t>(i) * type_at(e, target).size);
        return true;
    }
    case OP_DEREF: {
        ev_t pointer;
        return eval(e, expr, node.left, &pointer) && deref(e, pointer, out);
    }
    case OP_ADDRESS: {
        ev_t target;
        if (!eval(e, expr, node.left, &target)) return false;
        if (!target.in_memory || target.type < 0)
            return fail_ev(e, "&: the value is not in memory");
        out->number = target.address;
        out->type = pointer_to(e, target.type);
        return true;
    }
    case OP_CAST: {
        ev_t inner;
        const int type = named_type(e, node);
        return type >= 0 && eval(e, expr, node.left, &inner) && cast(e, inner, type, out);
    }
    case OP_SIZEOF_TYPE: {
        const int type = named_type(e, node);
        return type >= 0 && size_of(e, type, out);
    }
    case OP_SIZEOF: {
        ev_t inner;
        return eval(e, expr, node.left, &inner) &&
               size_of(e, inner.type >= 0 ? inner.type : DBG_TYPE_LLONG_INDEX, out);
    }
    case OP_NEGATE:
    case OP_PLUS:
    case OP_NOT:
    case OP_COMPLEMENT: {
        ev_t operand;
        return eval(e, expr, node.left, &operand) && unary(e, op, operand, out);
    }
    case OP_AND:
    case OP_OR: {
        int64_t a = 0, b = 0;
        if (!eval_number(e, expr, node.left, &a)) return false;
        out->type = DBG_TYPE_INT_INDEX;
        // Both sides are evaluated only when needed, as in C.
        if (op == OP_AND ? !a : a) {
            out->number = op == OP_OR;
            return true;
        }
        if (!eval_number(e, expr, node.right, &b)) return false;
        out->number = b != 0;
        return true;
    }
    case OP_CHOICE: {
        int64_t condition = 0;
        if (!eval_number(e, expr, node.left, &condition)) return false;
        const dbg_expr_node_t &branches = expr.nodes[node.right];
        return eval(e, expr, condition ? branches.left : branches.right, out);
    }
    case OP_BRANCHES: return fail_ev(e, "bad ?:");
    default: {
        ev_t left, right;
        return eval(e, expr, node.left, &left) && eval(e, expr, node.right, &right) &&
               arithmetic(e, op, left, right, out);
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

// An integer in print's format: x hexadecimal, d signed, u unsigned, c a character, t binary
// (all at the type's width); otherwise as values show it.
std::string formatted(const dbg_type_t &type, int64_t value, char format) {
    const int bits = std::clamp(type.size * 8, 8, 64);
    const uint64_t mask = bits >= 64 ? ~0ull : (1ull << bits) - 1;
    const uint64_t bits_value = static_cast<uint64_t>(value) & mask;
    dbg_type_t as = type;
    as.size = static_cast<uint16_t>(bits / 8);
    switch (format) {
    case 'x': return "0x" + hex_digits(bits_value, bits / 4).substr(1);
    case 'd': as.is_signed = true; return std::to_string(wrap(as, value));
    case 'u': return std::to_string(bits_value);
    case 't': {
        std::string text;
        for (int i = bits - 1; i >= 0; --i)
            text += bits_value >> i & 1 ? '1' : '0';
        return text;
    }
    case 'c': {
        const uint8_t c = static_cast<uint8_t>(value);
        const std::string shown = quoted(&c, 0, 1); // "\"A\"...", "\"\\x07\"..."
        return std::to_string(c) + " '" +
               (c == 0      ? "\\0"
                : c == '\'' ? "\\'"
                : c == '"'  ? "\""
                            : shown.substr(1, shown.find('"', 1) - 1)) +
               "'";
    }
    default: return dbg_source_format_int(type, value);
    }
}

// " <main>" when a C function starts at the address, else "".
std::string function_named(const evaluator_t *e, int64_t address) {
    const dbg_function_t *f = dbg_source_function_at(e->model, static_cast<uint16_t>(address));
    return f && f->start == address ? " <" + f->name + ">" : "";
}

void build_value(evaluator_t *e, const ev_t &v, const std::string &name, int depth,
                 dbg_value_t *out) {
    // Each value shows a bounded tree, however large its type says it is.
    if (depth == 0) e->values_left = DBG_VALUE_MAX_NODES;
    out->name = name;
    out->in_memory = v.in_memory;
    out->address = v.address;
    // A pointer type made for this expression is not the model's.
    out->type_index = v.type < static_cast<int>(e->model->types.size()) ? v.type : -1;
    const uint8_t *memory = e->context.memory;
    const dbg_type_t &type = type_at(e, v.type < 0 ? DBG_TYPE_LLONG_INDEX : v.type);
    out->type = type.name;
    switch (type.kind) {
    case DBG_TYPE_INT: {
        int64_t n = 0;
        scalar(e, v, &n);
        out->text = formatted(type, n, e->format);
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
        out->text =
            e->format ? formatted(type, n, e->format) : hex_digits(static_cast<uint64_t>(n), 4);
        const dbg_type_t *target = type.target >= 0 ? &type_at(e, type.target) : nullptr;
        if (target && target->is_char && n != 0)
            out->text += " " + quoted(memory, static_cast<uint16_t>(n), 64);
        else if (target && target->kind == DBG_TYPE_FUNCTION)
            out->text += function_named(e, n);
        break;
    }
    case DBG_TYPE_FUNCTION:
        out->text = hex_digits(v.address, 4) + function_named(e, v.address);
        break;
    case DBG_TYPE_ARRAY:
    case DBG_TYPE_STRUCT:
    case DBG_TYPE_UNION: {
        if (!v.in_memory) {
            out->text = "{...}";
            break;
        }
        if (type.kind == DBG_TYPE_ARRAY && type.target >= 0 && type_at(e, type.target).is_char)
            out->text = quoted(memory, v.address, std::min(type.count, DBG_VALUE_MAX_CHARS));
        else
            out->text = "{...}";
        if (depth >= 8) break;
        if (type.kind == DBG_TYPE_ARRAY) {
            const uint32_t count = std::min(type.count, DBG_VALUE_MAX_ELEMENTS);
            const uint16_t size = type.target >= 0 ? type_at(e, type.target).size : 0;
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
    evaluator_t e(model, context);
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
    const int root = parse_expression(&p);
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
    evaluator_t e(model, context);
    ev_t v;
    if (expr.root < 0 || !eval(&e, expr, expr.root, &v) || !scalar(&e, v, number) ||
        shared_in_expression(&e, expr)) {
        *error = e.error.empty() ? "empty expression" : e.error;
        return false;
    }
    return true;
}

bool dbg_expr_value(const dbg_source_t *model, const dbg_expr_t &expr,
                    const dbg_eval_context_t &context, dbg_value_t *value, std::string *error,
                    char format) {
    evaluator_t e(model, context);
    e.format = format;
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
                      const dbg_eval_context_t &context, dbg_value_t *value, std::string *error,
                      char format) {
    dbg_expr_t expr;
    if (!dbg_expr_parse(model, text, &expr, error) ||
        !dbg_expr_value(model, expr, context, value, error, format))
        return false;
    value->name = text;
    return true;
}

bool dbg_expr_check_names(const dbg_source_t *model, const dbg_expr_t &expr,
                          const dbg_symbols_t *symbols, std::string *error) {
    for (const dbg_expr_node_t &node : expr.nodes) {
        if (node.op != OP_NAME) continue;
        const std::string &name = node.name;
        uint16_t address = 0;
        const bool hex_word = std::all_of(name.begin(), name.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c));
        });
        if (!hex_word || model->variable_index.count(name) || dbg_source_function(model, name) ||
            z_register_find(name) || name == "value" ||
            (symbols && dbg_symbol_lookup(symbols, name, &address)))
            continue;
        *error = unknown_name(name);
        return false;
    }
    return true;
}

bool dbg_source_number(const dbg_source_t *model, const std::string &text,
                       const dbg_eval_context_t &context, int64_t *number, std::string *error) {
    dbg_expr_t expr;
    return dbg_expr_parse(model, text, &expr, error) &&
           dbg_expr_number(model, expr, context, number, error);
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
    int64_t number = 0;
    if (!dbg_source_number(model, value, context, &number, error)) return false;
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
    evaluator_t e(model, context);
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
    evaluator_t e(model, context);
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

std::string dbg_source_return_value(const dbg_source_t *model, const dbg_function_t &function,
                                    const z_cpu_t &cpu) {
    if (function.type < 0) return "";
    const int result = model->types[static_cast<size_t>(function.type)].target;
    if (result < 0) return "";
    const dbg_type_t &type = model->types[static_cast<size_t>(result)];
    // SDCC's convention: 8 bits in A, 16 in DE, 32 in HLDE; larger values through memory.
    uint64_t bits = 0;
    switch (type.size) {
    case 1: bits = cpu.A; break;
    case 2: bits = static_cast<uint64_t>(cpu.D) << 8 | cpu.E; break;
    case 4:
        bits = static_cast<uint64_t>(cpu.H) << 24 | static_cast<uint64_t>(cpu.L) << 16 |
               static_cast<uint64_t>(cpu.D) << 8 | cpu.E;
        break;
    default: return type.kind == DBG_TYPE_VOID ? "" : "<not available> (returned through memory)";
    }
    if (type.kind == DBG_TYPE_POINTER) return "$" + hex_digits(bits, 4) + "  (" + type.name + ")";
    if (type.kind != DBG_TYPE_INT) return "<not available> (" + type.name + ")";
    const int width = 8 * type.size;
    const int64_t value = type.is_signed && (bits >> (width - 1))
                              ? static_cast<int64_t>(bits) - (int64_t{1} << width)
                              : static_cast<int64_t>(bits);
    return dbg_source_format_int(type, value) + "  (" + type.name + ")";
}
