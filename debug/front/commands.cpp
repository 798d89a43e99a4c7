// The command language: one table of commands (name, aliases, usage, help line, handler), from
// which `help`, the usage errors and the dispatcher all come.
#include "debug/front/commands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

#include "cpu/zcpu.h"
#include "debug/collect/coverage.h"
#include "debug/collect/profile.h"
#include "debug/core/engine.h"
#include "debug/core/reload.h"
#include "debug/front/commands_machine.h"
#include "debug/front/source_commands.h"
#include "debug/front/view_rows.h"
#include "debug/info/asm_lines.h"
#include "debug/info/source.h"
#include "files/input.h"
#include "machine/emu.h"

namespace {

// What a handler gets: the engine, the words after the command word, and the rest of the line
// after the command word as written (for `type`).
struct call_t {
    dbg_engine_t *e;
    const struct command_t *command;
    std::vector<std::string> args;
    std::string rest;
};

typedef dbg_result_t (*handler_t)(const call_t &call);

struct command_t {
    const char *name;
    const char *aliases; // other names, separated by spaces ("" for none)
    const char *usage;   // "break [ADDR [SKIP]]"
    const char *help;    // one line; "\n" continues it under the same column
    handler_t run;
};

// Output with its line end added when missing.
dbg_result_t ok(const std::string &text = "") {
    return dbg_done(text.empty() || text.back() == '\n' ? text : text + "\n");
}

dbg_result_t usage(const call_t &call) {
    return dbg_failed(std::string("Usage: ") + call.command->usage);
}

// Words by the language's one rule (registers, then symbols, then hexadecimal numbers).
bool address(dbg_engine_t *e, const std::string &text, uint16_t *value) {
    const z_cpu_t registers = dbg_registers(e);
    return dbg_parse_address(dbg_symbol_table(e), text, value, &registers);
}

bool value(dbg_engine_t *e, const std::string &text, uint32_t max, uint32_t *v) {
    const z_cpu_t registers = dbg_registers(e);
    return dbg_parse_value(dbg_symbol_table(e), &registers, text, max, v);
}

// Counts (of instructions, of hits to skip) are decimal, unlike every other number.
bool count(const std::string &text, uint32_t max, uint32_t *v) {
    uint64_t n = 0;
    if (!dbg_parse_decimal(text, max, &n)) return false;
    *v = static_cast<uint32_t>(n);
    return true;
}

dbg_result_t bad_address(const std::string &text) {
    return dbg_failed("Bad address: " + text +
                      " (a register, a known symbol or a hexadecimal number)");
}

dbg_result_t bad_value(const std::string &text) {
    return dbg_failed("Bad value: " + text +
                      " (a register, a known symbol or a hexadecimal number)");
}

dbg_result_t bad_count(const std::string &text) {
    return dbg_failed("Bad count: " + text + " (a decimal number)");
}

// "Breakpoint 2 at 808E (sum_points, prog.c:26) if i == 2"; "Breakpoint 1 at 8003 (main+3)";
// "Watchpoint 3: write 3A40 length 20 if value == FF".
std::string describe(dbg_engine_t *e, const dbg_breakpoint_t &b) {
    std::string out = "Breakpoint " + std::to_string(b.id) + " at " + dbg_hex4(b.address);
    const std::string name = dbg_place_name(e, b.address);
    if (!name.empty()) out += " (" + name + ")";
    return b.condition.empty() ? out : out + " if " + b.condition;
}

std::string describe(const dbg_watchpoint_t &w) {
    static const char *const kinds[] = {"read", "write", "in", "out"};
    std::string out = "Watchpoint " + std::to_string(w.id) + ": " + kinds[w.kind] + " ";
    const std::string condition = w.condition.empty() ? "" : " if " + w.condition;
    if (w.kind >= DBG_WATCH_IN) return out + dbg_hex2(w.address) + condition;
    char length[16];
    std::snprintf(length, sizeof length, "%X", static_cast<unsigned>(w.length));
    const std::string object = w.object.empty() ? "" : w.object + ", ";
    return out + object + dbg_hex4(w.address) + " length " + length + condition;
}

// Splits "... if COND": the words before "if" stay in *args, the condition is the rest of the
// line as written (a decimal "#27" in it is not a comment). False when "if" has no condition.
bool split_condition(const call_t &c, std::vector<std::string> *args, std::string *condition) {
    *args = c.args;
    condition->clear();
    const auto at = std::find(args->begin(), args->end(), "if");
    if (at == args->end()) return true;
    const size_t words = static_cast<size_t>(at - args->begin());
    args->resize(words);
    // The "if" word's place in the rest of the line: after `words` words.
    size_t pos = 0;
    for (size_t n = 0; n <= words; ++n) {
        pos = c.rest.find_first_not_of(" \t", pos);
        pos = c.rest.find_first_of(" \t", pos);
    }
    if (pos != std::string::npos) pos = c.rest.find_first_not_of(" \t", pos);
    if (pos == std::string::npos) return false;
    *condition = c.rest.substr(pos);
    while (!condition->empty() && (condition->back() == ' ' || condition->back() == '\t'))
        condition->pop_back();
    return true;
}

dbg_result_t run_result(const dbg_stop_t &stop) {
    if (stop.cause == DBG_CAUSE_NONE) return ok();
    dbg_result_t r = ok(stop.text);
    r.stopped = true;
    return r;
}

std::string memory_lines(dbg_engine_t *e, uint16_t address, uint32_t length) {
    std::string out;
    for (uint32_t at = 0; at < length; at += 16) {
        const uint16_t line = static_cast<uint16_t>(address + at);
        std::string hex, text;
        for (uint32_t i = 0; i < 16 && at + i < length; ++i) {
            const uint8_t v = dbg_peek(e, static_cast<uint16_t>(line + i));
            hex += dbg_hex2(v) + " ";
            text += (v >= 0x20 && v < 0x7F) ? static_cast<char>(v) : '.';
        }
        hex.resize(48, ' ');
        out += dbg_hex4(line) + "  " + hex + " " + text + "\n";
    }
    return out;
}

std::string disasm_lines(dbg_engine_t *e, uint16_t address, uint32_t count) {
    std::string out;
    // Copies: the processor thread may be running.
    const uint16_t pc = dbg_registers(e).PC;
    const std::vector<uint8_t> memory = dbg_memory(e);
    const dbg_symbols_t *symbols = dbg_symbol_table(e);
    for (uint32_t n = 0; n < count; ++n) {
        const std::string label = dbg_symbol_at(symbols, address);
        if (!label.empty()) out += label + ":\n";
        const dbg_instruction_t in = dbg_disassemble(memory.data(), address, symbols);
        std::string bytes = dbg_instruction_bytes(in);
        bytes.resize(12, ' ');
        out += (address == pc ? "> " : "  ") + dbg_hex4(address) + "  " + bytes + in.text + "\n";
        address = static_cast<uint16_t>(address + in.length);
    }
    return out;
}

std::string breakpoint_list(dbg_engine_t *e) {
    std::string out;
    for (const dbg_breakpoint_t &b : dbg_breakpoint_list(e)) {
        out += describe(e, b) + ", " + std::to_string(b.hits) + " hits";
        if (b.skip) out += ", skipping " + std::to_string(b.skip) + " more";
        out += "\n";
    }
    for (const dbg_watchpoint_t &w : dbg_watchpoint_list(e))
        out += describe(w) + ", " + std::to_string(w.hits) + " hits\n";
    return out.empty() ? "No breakpoints or watchpoints\n" : out;
}

// ---- the commands ----

dbg_result_t cmd_break(const call_t &c) {
    std::vector<std::string> args;
    std::string condition, error;
    if (!split_condition(c, &args, &condition)) return usage(c);
    const size_t n = args.size();
    if (n == 0 && condition.empty()) return ok(breakpoint_list(c.e));
    if (n == 0 || n > 2) return usage(c);
    dbg_place_t place;
    uint32_t skip = 0;
    if (n == 2 && !count(args[1], 0xFFFFFFFF, &skip)) return bad_count(args[1]);
    const int id = dbg_break_add_place(c.e, args[0], skip, condition, &place, &error);
    if (id < 0) return dbg_failed(error);
    return ok(describe(c.e, dbg_breakpoint_t{id, place.address, skip, 0, condition, {}, skip, ""}) +
              place.note);
}

dbg_result_t cmd_delete(const call_t &c) {
    const size_t n = c.args.size();
    if (n > 1) return usage(c);
    if (n == 0) {
        dbg_delete_all(c.e);
        return ok();
    }
    // Numbered as listed, in decimal (not a hexadecimal number like the others).
    int id = 0;
    bool digits = c.args[0].size() <= 6;
    for (char ch : c.args[0]) {
        digits = digits && std::isdigit(static_cast<unsigned char>(ch));
        id = id * 10 + (ch & 0x0F);
    }
    if (!digits || id == 0) return dbg_failed("Bad breakpoint number: " + c.args[0]);
    // Described before it goes, so that the confirmation says what it was.
    std::string what;
    for (const dbg_breakpoint_t &b : dbg_breakpoint_list(c.e))
        if (b.id == id) what = describe(c.e, b);
    for (const dbg_watchpoint_t &w : dbg_watchpoint_list(c.e))
        if (w.id == id) what = describe(w);
    if (!dbg_delete(c.e, id)) return dbg_failed("No breakpoint or watchpoint " + c.args[0]);
    if (!what.empty())
        what[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(what[0])));
    return ok("Deleted " + what);
}

dbg_result_t cmd_watch(const call_t &c) {
    std::vector<std::string> args;
    std::string condition, error;
    if (!split_condition(c, &args, &condition)) return usage(c);
    const size_t n = args.size();
    if (n < 2 || n > 3) return usage(c);
    const std::string &kind = args[0];
    if (kind == "in" || kind == "out") {
        uint32_t port;
        if (n != 2) return usage(c);
        if (!value(c.e, args[1], 0xFF, &port)) return dbg_failed("Bad port: " + args[1]);
        const dbg_watch_kind_t k = kind == "in" ? DBG_WATCH_IN : DBG_WATCH_OUT;
        const int id = dbg_watch_add_if(c.e, k, static_cast<uint16_t>(port), 1, condition, &error);
        if (id < 0) return dbg_failed("Bad condition: " + error);
        return ok(
            describe(dbg_watchpoint_t{id, k, static_cast<uint16_t>(port), 1, 0, condition, {}}));
    }
    if (kind != "read" && kind != "write" && kind != "access") return usage(c);
    std::vector<dbg_watch_kind_t> kinds;
    if (kind != "write") kinds.push_back(DBG_WATCH_READ);
    if (kind != "read") kinds.push_back(DBG_WATCH_WRITE);
    // A C object is watched whole, by its type's size; else the address and length as given.
    uint16_t at;
    int type = -1;
    if (n == 2 &&
        dbg_watch_object_place(c.e, args[1], dbg_selected_frame(c.e), &at, &type, &error)) {
        std::string out;
        for (const dbg_watch_kind_t k : kinds) {
            const int id = dbg_watch_add_object(c.e, k, args[1], at, type, condition, &error);
            if (id < 0) return dbg_failed(error);
            for (const dbg_watchpoint_t &w : dbg_watchpoint_list(c.e))
                if (w.id == id) out += describe(w) + "\n";
        }
        return dbg_done(out);
    }
    uint32_t length = 1;
    if (!address(c.e, args[1], &at)) return bad_address(args[1]);
    if (n == 3 && (!value(c.e, args[2], 0x10000, &length) || length == 0))
        return dbg_failed("Bad length: " + args[2]);
    if (at + length > 0x10000) return dbg_failed("Range past FFFF");
    std::string out;
    for (const dbg_watch_kind_t k : kinds) {
        const int id = dbg_watch_add_if(c.e, k, at, length, condition, &error);
        if (id < 0) return dbg_failed("Bad condition: " + error);
        out += describe(dbg_watchpoint_t{id, k, at, length, 0, condition, {}}) + "\n";
    }
    return dbg_done(out);
}

dbg_result_t cmd_continue(const call_t &c) {
    if (!c.args.empty()) return usage(c);
    return run_result(dbg_continue(c.e));
}

dbg_result_t cmd_pause(const call_t &c) {
    if (!c.args.empty()) return usage(c);
    dbg_pause(c.e);
    return ok();
}

// Whether the PC has line information (step, next and finish then go by source line).
bool at_line(dbg_engine_t *e) {
    return dbg_source_line_at(dbg_source_or_empty(e), dbg_registers(e).PC) != nullptr;
}

dbg_result_t cmd_step(const call_t &c) {
    uint32_t steps = 1;
    if (c.args.size() > 1) return usage(c);
    if (c.args.size() == 1 && (!count(c.args[0], 0xFFFFFFFF, &steps) || steps == 0))
        return bad_count(c.args[0]);
    if (!at_line(c.e)) return run_result(dbg_step(c.e, steps));
    // N source lines, ending early at any other stop (or where lines end).
    dbg_stop_t stop = dbg_step_by(c.e, DBG_STEP_INTO, DBG_GRAN_AUTO);
    for (uint32_t n = 1; n < steps && stop.cause == DBG_CAUSE_STEP && at_line(c.e); ++n)
        stop = dbg_step_by(c.e, DBG_STEP_INTO, DBG_GRAN_AUTO);
    return run_result(stop);
}

dbg_result_t cmd_stepi(const call_t &c) {
    uint32_t steps = 1;
    if (c.args.size() > 1) return usage(c);
    if (c.args.size() == 1 && (!count(c.args[0], 0xFFFFFFFF, &steps) || steps == 0))
        return bad_count(c.args[0]);
    return run_result(dbg_step(c.e, steps));
}

dbg_result_t cmd_next(const call_t &c) {
    if (!c.args.empty()) return usage(c);
    return run_result(dbg_step_by(c.e, DBG_STEP_OVER, DBG_GRAN_AUTO));
}

dbg_result_t cmd_nexti(const call_t &c) {
    if (!c.args.empty()) return usage(c);
    return run_result(dbg_step_by(c.e, DBG_STEP_OVER, DBG_GRAN_INSTRUCTION));
}

dbg_result_t cmd_finish(const call_t &c) {
    if (!c.args.empty()) return usage(c);
    // A C function's return value, once it has returned (the window's run reports it no value).
    const dbg_function_t *function =
        dbg_source_function_at(dbg_source_or_empty(c.e), dbg_registers(c.e).PC);
    dbg_result_t r = run_result(dbg_step_by(c.e, DBG_STEP_OUT, DBG_GRAN_AUTO));
    if (!function || dbg_last_stop(c.e).cause != DBG_CAUSE_STEP || !r.stopped) return r;
    const std::string value =
        dbg_source_return_value(dbg_source_or_empty(c.e), *function, dbg_registers(c.e));
    if (!value.empty()) r.output += "Value returned: " + value + "\n";
    return r;
}

dbg_result_t cmd_until(const call_t &c) {
    if (c.args.size() != 1) return usage(c);
    dbg_place_t place;
    std::string error;
    if (!dbg_place_resolve(c.e, c.args[0], &place, &error)) return dbg_failed(error);
    return run_result(dbg_until(c.e, place.address));
}

dbg_result_t cmd_regs(const call_t &c) {
    if (!c.args.empty()) return usage(c);
    return ok(dbg_regs_json(c.e));
}

dbg_result_t cmd_set(const call_t &c) {
    if (!c.args.empty() && c.args[0] == "var") {
        // The value as written: a decimal "#100" is not a comment here.
        std::vector<std::string> args;
        std::istringstream words(c.rest);
        for (std::string word; words >> word;)
            args.push_back(word);
        return dbg_cmd_set_var(c.e, args);
    }
    if (c.args.size() != 2) return usage(c);
    uint32_t v;
    if (!value(c.e, c.args[1], 0xFFFF, &v)) return bad_value(c.args[1]);
    std::string error;
    if (!dbg_set_register(c.e, c.args[0], v, &error)) return dbg_failed(error);
    return ok();
}

dbg_result_t cmd_mem(const call_t &c) {
    const size_t n = c.args.size();
    if (n < 1 || n > 2) return usage(c);
    uint16_t at;
    uint32_t length = 0x40;
    if (!address(c.e, c.args[0], &at)) return bad_address(c.args[0]);
    if (n == 2 && (!value(c.e, c.args[1], 0x10000, &length) || length == 0))
        return dbg_failed("Bad length: " + c.args[1]);
    // Memory ends at FFFF: the default length stops there, a given one must fit.
    if (at + length > 0x10000) {
        if (n == 2) return dbg_failed("Range past FFFF");
        length = 0x10000 - at;
    }
    return ok(memory_lines(c.e, at, length));
}

dbg_result_t cmd_poke(const call_t &c) {
    const size_t n = c.args.size();
    if (n < 2) return usage(c);
    uint16_t at;
    if (!address(c.e, c.args[0], &at)) return bad_address(c.args[0]);
    std::vector<uint8_t> bytes;
    for (size_t i = 1; i < n; ++i) {
        uint32_t v;
        if (!value(c.e, c.args[i], 0xFF, &v)) return dbg_failed("Bad byte: " + c.args[i]);
        bytes.push_back(static_cast<uint8_t>(v));
    }
    if (at + bytes.size() > 0x10000) return dbg_failed("Range past FFFF");
    for (size_t i = 0; i < bytes.size(); ++i)
        dbg_poke(c.e, static_cast<uint16_t>(at + i), bytes[i]);
    return ok();
}

dbg_result_t cmd_disasm(const call_t &c) {
    const size_t n = c.args.size();
    if (n > 2) return usage(c);
    uint16_t at = dbg_registers(c.e).PC;
    uint32_t lines = 16;
    if (n >= 1 && !address(c.e, c.args[0], &at)) return bad_address(c.args[0]);
    if (n == 2 && (!count(c.args[1], 4096, &lines) || lines == 0)) return bad_count(c.args[1]);
    return ok(disasm_lines(c.e, at, lines));
}

dbg_result_t cmd_symbols(const call_t &c) {
    if (c.args.size() != 1) return usage(c);
    std::string error;
    // Source-level debug information goes to the source model (and a line table's symbols).
    const std::string &path = c.args[0];
    if ((path.size() > 4 && path.compare(path.size() - 4, 4, ".cdb") == 0) ||
        dbg_asm_lines_is_table(path)) {
        std::string report;
        if (!dbg_debug_file_load(c.e, path, {}, &report)) return dbg_failed(report);
        return ok(report);
    }
    // Names that a word cannot mean are reported once, by the file that brought them.
    std::vector<std::string> warnings;
    const int added = dbg_symbols_file_load(c.e, path, &warnings, &error);
    if (added < 0) return dbg_failed(error);
    std::string out = std::to_string(added) + " symbols from " + path + "\n";
    for (const std::string &warning : warnings)
        out += warning + "\n";
    return ok(out);
}

dbg_result_t cmd_type(const call_t &c) {
    if (c.rest.empty()) return usage(c);
    std::string error;
    if (!dbg_type(c.e, dbg_unescape(c.rest), true, &error)) return dbg_failed(error);
    return ok();
}

dbg_result_t cmd_load(const call_t &c) {
    if (c.args.size() != 1) return usage(c);
    std::string error;
    // A rebuilt program brings its debug information: it replaces what is held, and breakpoints
    // follow their lines and functions.
    if (dbg_debug_files_beside(c.args[0]).empty()) {
        if (!dbg_load_image(c.e, c.args[0], &error)) return dbg_failed(error);
        return ok();
    }
    std::vector<dbg_reload_change_t> changes;
    std::string out;
    if (!dbg_reload(c.e, {c.args[0]}, {}, &error, &changes, false, &out)) return dbg_failed(error);
    for (const dbg_reload_change_t &change : changes)
        out += change.text + "\n";
    return ok(out);
}

dbg_result_t cmd_save(const call_t &c) {
    if (c.args.size() != 3) return usage(c);
    uint16_t at;
    uint32_t length;
    if (!address(c.e, c.args[1], &at)) return bad_address(c.args[1]);
    if (!value(c.e, c.args[2], 0x10000, &length)) return dbg_failed("Bad length: " + c.args[2]);
    std::string error;
    if (!dbg_save_memory(c.e, c.args[0], at, length, &error)) return dbg_failed(error);
    return ok();
}

dbg_result_t cmd_reset(const call_t &c) {
    if (!c.args.empty()) return usage(c);
    dbg_reset(c.e);
    return ok();
}

dbg_result_t cmd_screenshot(const call_t &c) {
    if (c.args.size() != 1) return usage(c);
    std::string error;
    if (!dbg_screenshot(c.e, c.args[0], &error)) return dbg_failed(error);
    return ok();
}

dbg_result_t cmd_trace(const call_t &c) {
    if (c.args.size() != 1) return usage(c);
    std::string error;
    if (c.args[0] == "off") {
        return dbg_trace_close(c.e, &error) ? ok() : dbg_failed(error);
    }
    if (!dbg_trace_open(c.e, c.args[0], &error)) return dbg_failed(error);
    return ok();
}

// A command handled by another module (commands_machine.cpp, profile.cpp, coverage.cpp,
// source_commands.cpp) as handler(engine, words, extra...): its row names
// by_module<handler, extra...> and needs no handler here.
template <auto handler, auto... extra> dbg_result_t by_module(const call_t &c) {
    return handler(c.e, c.args, extra...);
}

// print takes the rest of the line as written, so that a decimal "#27" in it is not a comment.
dbg_result_t cmd_print(const call_t &c) {
    // print/x EXPR and print /x EXPR: the format goes first, then the expression as written.
    std::vector<std::string> args;
    std::string rest = c.rest;
    if (!c.args.empty() && c.args[0][0] == '/') {
        args.push_back(c.args[0]);
        if (rest.compare(0, c.args[0].size(), c.args[0]) == 0) {
            const size_t start = rest.find_first_not_of(" \t", c.args[0].size());
            rest = start == std::string::npos ? "" : rest.substr(start);
        }
    }
    if (rest.empty()) return usage(c);
    args.push_back(rest);
    return dbg_cmd_print(c.e, args);
}

dbg_result_t cmd_quit(const call_t &c) {
    if (!c.args.empty()) return usage(c);
    dbg_result_t r = ok();
    r.quit = true;
    return r;
}

dbg_result_t cmd_help(const call_t &c);

// Every command, in the order `help` lists them. A new command is a row here and its handler
// (here, or by_module<...> for one that another module handles).
const command_t commands[] = {
    {"break", "b", "break [PLACE [SKIP]] [if COND]",
     "breakpoint at PLACE: ADDR, FILE:LINE, a label, or a C function\n"
     "(past its opening line); it ignores its first SKIP hits (decimal)\n"
     "and stops only where COND holds; alone: list them",
     cmd_break},
    {"delete", "", "delete [N]", "delete breakpoint or watchpoint N (decimal, as listed), or all",
     cmd_delete},
    {"watch", "", "watch read|write|access C-OBJECT | ADDR [LEN] | watch in|out PORT [if COND]",
     "stop on a read or write of a C object (all its bytes; a write\n"
     "stops once its statement has written it, with old and new values),\n"
     "of memory ADDR..ADDR+LEN-1, or of a port (low 8 bits); with COND\n"
     "only when it holds (value: the byte read or written)",
     cmd_watch},
    {"continue", "c", "continue", "run until a stop", cmd_continue},
    {"pause", "", "pause", "stop the running machine", cmd_pause},
    {"step", "s", "step [N]",
     "run N source lines, entering calls of code with lines (decimal,\n"
     "default 1); where PC has no line: N instructions",
     cmd_step},
    {"stepi", "si", "stepi [N]", "run N instructions (decimal, default 1)", cmd_stepi},
    {"next", "n", "next", "run a source line, over calls; where PC has no line: as nexti",
     cmd_next},
    {"nexti", "ni", "nexti", "step over a CALL, RST, DJNZ or repeating block instruction",
     cmd_nexti},
    {"finish", "", "finish",
     "run until the current routine has returned to its caller\n"
     "(in the caller's line when it has lines); a C function's\n"
     "return value is shown",
     cmd_finish},
    {"until", "", "until PLACE", "run until PC reaches PLACE (as break names it)", cmd_until},
    {"regs", "", "regs", "registers as one JSON object", cmd_regs},
    {"set", "", "set REG VALUE | set var NAME VALUE",
     "a register or pair (a ... iy, af' or af_, sp, pc, i, r),\n"
     "a flag (fs fz fh fp fn fc; s z p n), im, iff1 or iff2;\n"
     "var: a C variable held in memory (VALUE a C expression)",
     cmd_set},
    {"list", "l", "list [FILE:LINE | FUNCTION]",
     "source lines around a place (default: the current line)", by_module<dbg_cmd_list>},
    {"where", "bt", "where", "the call stack, one frame a line", by_module<dbg_cmd_where>},
    {"frame", "", "frame [N]", "select frame N (decimal) for locals and print",
     by_module<dbg_cmd_frame>},
    {"locals", "", "locals", "parameters and locals of the selected frame",
     by_module<dbg_cmd_locals>},
    {"print", "p", "print[/FMT] EXPR",
     "a C expression; FMT: x hexadecimal, d signed, u unsigned,\n"
     "c character, t binary",
     cmd_print},
    {"mem", "", "mem ADDR [LEN]", "LEN bytes as hex and characters (default 40, to FFFF at most)",
     cmd_mem},
    {"poke", "", "poke ADDR BYTE...", "store bytes from ADDR on", cmd_poke},
    {"disasm", "d", "disasm [ADDR [N]]", "N instructions from ADDR (decimal; default: 16 from PC)",
     cmd_disasm},
    {"symbols", "", "symbols FILE",
     "load a pasmo .sym, SDCC .noi, .map or .cdb, or qasm .lines file", cmd_symbols},
    {"type", "", "type TEXT", "type TEXT on the keyboard (\\n Enter, \\t Tab, \\b Backspace)",
     cmd_type},
    {"load", "", "load FILE", "load an Intel HEX image and the debug information beside it",
     cmd_load},
    {"save", "", "save FILE ADDR LEN", "save memory as Intel HEX (raw when FILE ends in .bin)",
     cmd_save},
    {"reset", "", "reset", "reset the processor, sound generator and keyboard", cmd_reset},
    {"screenshot", "", "screenshot FILE.png", "the 320 x 240 frame as PNG", cmd_screenshot},
    {"trace", "", "trace FILE|off", "write a line per instruction to FILE", cmd_trace},
    {"state", "", "state save|load FILE", "save the whole machine to FILE, or continue from one",
     by_module<dbg_command_state>},
    {"press", "", "press KEY", "a key down (A, 1, ENTER, SPACE, SHIFT, CTRL, ...)",
     by_module<dbg_command_press, true>},
    {"release", "", "release KEY", "a key up", by_module<dbg_command_press, false>},
    {"hold", "", "hold KEY MS", "hold a key for MS board milliseconds (decimal) while running",
     by_module<dbg_command_hold>},
    {"wait", "", "wait MS", "run MS board milliseconds (decimal)", by_module<dbg_command_wait>},
    {"cells", "", "cells", "the screen: each cell's character and colour byte",
     by_module<dbg_command_cells>},
    {"profile", "", "profile [start|stop|save FILE|lines]",
     "profile the run; save in callgrind's format;\nalone: the hottest functions; lines: the "
     "hottest source lines",
     by_module<dbg_command_profile>},
    {"coverage", "", "coverage start|stop|save FILE",
     "count the lines run; save as an lcov tracefile", by_module<dbg_command_coverage>},
    {"back", "", "back [N]", "N instructions back in time (decimal, default 1)",
     by_module<dbg_command_back>},
    {"rstep", "rs", "rstep",
     "back to the start of the previous source line (where PC has\n"
     "lines; else one instruction)",
     by_module<dbg_command_rstep>},
    {"rcontinue", "rc", "rcontinue", "back to the previous breakpoint or watchpoint stop",
     by_module<dbg_command_rcontinue>},
    {"history", "", "history [SECONDS]",
     "the history kept for going back; SECONDS (decimal) sets it, 0 off",
     by_module<dbg_command_history>},
    {"quit", "q", "quit", "end", cmd_quit},
    {"help", "?", "help", "this list", cmd_help},
};

const char help_intro[] =
    "Addresses, bytes, lengths and ports are hexadecimal (8000, 0ff, $BC, 0x80, 8000h), and\n"
    "the counts N and SKIP of step, stepi, disasm and break decimal. A word there is a register\n"
    "(pc, sp, hl, ix, iy, with an optional +offset or -offset), else a symbol (also\n"
    "symbol+offset), else a hexadecimal number; one that begins with a digit or $ is always a\n"
    "number. # starts a comment.\n"
    "Expressions (print, set var, COND) are C's: 41 is decimal; 0x29, $29 and 29h hexadecimal;\n"
    "'c' a character; C variables, function::static, registers, symbols and, in a watchpoint,\n"
    "value; every C operator, casts and sizeof, with C's int of 16 bits. A bare word such as FF\n"
    "is no number: write 0xFF or $FF. A memory byte is *(unsigned char *)0x8000.\n"
    "  watch write 3A40 20 if value == 0xFF && pc >= 0x8000\n"
    "Commands:\n";

dbg_result_t cmd_help(const call_t &) {
    constexpr size_t column = 28; // where the help lines start
    std::string out = help_intro;
    for (const command_t &command : commands) {
        std::string left = std::string("  ") + command.usage;
        // A usage too long for the column gets the help line on the lines below it.
        if (left.size() + 1 > column) {
            out += left + "\n";
            left.clear();
        }
        left.resize(column, ' ');
        for (const char *line = command.help; *line;) {
            const char *end = std::strchr(line, '\n');
            const size_t size = end ? static_cast<size_t>(end - line) : std::strlen(line);
            out += left + std::string(line, size) + "\n";
            left.assign(column, ' ');
            line += size + (end ? 1 : 0);
        }
    }
    return ok(out);
}

const command_t *find_command(const std::string &word) {
    for (const command_t &command : commands) {
        if (word == command.name) return &command;
        std::istringstream aliases(command.aliases);
        for (std::string alias; aliases >> alias;)
            if (word == alias) return &command;
    }
    return nullptr;
}

} // namespace

std::string dbg_unescape(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'b' ? '\b' : c;
    }
    return out;
}

namespace {

// The command a line's first word names (its format, print/x, is left aside), or null.
const command_t *command_of(std::istringstream *in, std::string *word, std::string *format) {
    if (!(*in >> *word) || (*word)[0] == '#') return nullptr;
    for (char &c : *word)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const size_t slash = word->find('/');
    if (slash != std::string::npos && slash > 0) {
        *format = word->substr(slash);
        word->resize(slash);
    }
    return find_command(*word);
}

} // namespace

bool dbg_is_command(const std::string &line) {
    std::istringstream in(line);
    std::string word, format;
    return command_of(&in, &word, &format) != nullptr;
}

dbg_result_t dbg_execute(dbg_engine_t *e, const std::string &line) {
    std::istringstream in(line);
    std::string word, format;
    const command_t *command = command_of(&in, &word, &format);
    if (word.empty() || word[0] == '#') return ok();
    if (!command) return dbg_failed("Unknown command: " + word + " (help lists the commands)");
    call_t call{e, command, {}, {}};
    // print/x: the format is the first argument, as in "print /x".
    if (!format.empty()) call.args.push_back(format);
    // A word that begins with '#' starts a comment (type's text is the rest of the line, though).
    for (std::string arg; in >> arg && arg[0] != '#';)
        call.args.push_back(arg);
    // The rest of the line after the command word, as written.
    size_t start = line.find_first_of(" \t", line.find_first_not_of(" \t"));
    if (start != std::string::npos) start = line.find_first_not_of(" \t", start);
    if (start != std::string::npos) call.rest = line.substr(start);
    return command->run(call);
}

namespace {

// A line with its control bytes written as \xNN, at most 80 characters of it, for a message that
// stays one line and sends no raw control byte to a terminal.
std::string escaped_line(const std::string &line) {
    std::string out;
    for (const char c : line) {
        if (out.size() >= 80) return out + "...";
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02X", byte);
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

bool has_control_byte(const std::string &line) {
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7F) return true;
    }
    return false;
}

} // namespace

int dbg_run_script(dbg_engine_t *e, emu_line_reader_t *in, const std::string &name, FILE *out,
                   FILE *err, bool *quit) {
    *quit = false;
    std::string line;
    for (;;) {
        emu_file_error_t reason{};
        int code = 0;
        const int got = emu_reader_next(in, &line, &reason, &code);
        if (dbg_interrupted(e)) return 0;
        if (got < 0 && code == EINTR) continue;
        if (got == 0) return 0;
        if (got < 0) {
            // A line too long names its number; a read error is about the whole file.
            if (reason.line != 0)
                std::fprintf(err, "%s:%u: %s\n", name.c_str(), reason.line, reason.text);
            else
                std::fprintf(err, "%s: %s\n", name.c_str(), reason.text);
            return 1;
        }
        if (has_control_byte(line)) {
            std::fprintf(err, "%s:%u: control character in the line: %s\n", name.c_str(), in->line,
                         escaped_line(line).c_str());
            return 1;
        }
        const dbg_result_t r = dbg_execute(e, line);
        // As a debugger's batch mode does: the first failing line ends the script.
        if (r.error) {
            std::fprintf(err, "%s:%u: %s", name.c_str(), in->line, r.output.c_str());
            return 1;
        }
        std::fputs(r.output.c_str(), out);
        std::fflush(out);
        if (r.quit) {
            *quit = true;
            return 0;
        }
        if (r.stopped && dbg_last_stop(e).cause == DBG_CAUSE_INVALID) return 0;
        if (dbg_interrupted(e)) return 0;
    }
}
