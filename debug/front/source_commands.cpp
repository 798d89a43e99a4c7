// Source-level commands: list, where, frame, locals, print, set var.
#include "debug/front/source_commands.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "debug/core/engine.h"
#include "debug/front/view_rows.h"
#include "debug/info/source.h"
#include "debug/info/symbols.h"

namespace {

const char *no_model = "no debug information loaded (a C program's .cdb)";

// What a command looks at: copies of memory and registers, the stack, the selected frame.
struct view_t : dbg_stack_view_t {
    int selected = 0;
};

view_t take_view(dbg_engine_t *e) {
    view_t v;
    static_cast<dbg_stack_view_t &>(v) = dbg_stack_view(e);
    if (dbg_selected_frame(e) < static_cast<int>(v.frames.size()))
        v.selected = dbg_selected_frame(e);
    return v;
}

dbg_eval_context_t context_of(dbg_engine_t *e, const view_t &v) {
    return v.context(v.frames.empty() ? -1 : v.selected, dbg_symbol_table(e));
}

std::string frame_line(const dbg_frame_row_t &row, int index) {
    std::string text = "#" + std::to_string(index) + "  " + row.name;
    if (!row.place.empty()) text += " (" + row.place + ")";
    return text + " " + dbg_hex4(row.pc) + "\n";
}

// A value and, for structs and arrays, its members indented below it.
void format_value(const dbg_value_t &value, int indent, std::string *out) {
    out->append(static_cast<size_t>(indent), ' ');
    if (value.name == "..." && value.text.empty()) { // elements left out
        *out += "...\n";
        return;
    }
    *out += value.name + " = " + value.text;
    if (indent == 0 && !value.type.empty()) *out += "  (" + value.type + ")";
    *out += "\n";
    if (indent >= 8) return;
    for (const auto &child : value.children)
        format_value(child, indent + 2, out);
}

} // namespace

dbg_result_t dbg_cmd_list(dbg_engine_t *e, const std::vector<std::string> &args) {
    dbg_source_t *model = dbg_source_model(e);
    if (!model) return dbg_failed(no_model);
    if (args.size() > 1) return dbg_failed("usage: list [FILE:LINE | FUNCTION | LINE]");
    const view_t v = take_view(e);
    const dbg_frame_t *frame = v.frames.empty() ? nullptr : &v.frames[v.selected];
    int file = frame ? frame->file : -1, line = frame ? frame->line : 0;
    const int current_file = file, current_line = line;
    std::string error;
    uint16_t address = 0;
    int code_line = 0;
    if (!args.empty() && !dbg_source_location(model, args[0], current_file, &file, &line, &address,
                                              &code_line, &error))
        return dbg_failed(error);
    if (file < 0) return dbg_failed("no source line here (" + dbg_hex4(v.cpu.PC) + ")");
    const auto &text = dbg_source_text(model, file);
    const std::string &name = model->files[file].name;
    if (text.empty() && !model->files[file].problem.empty())
        return dbg_failed(model->files[file].problem);
    if (text.empty()) return dbg_failed(name + ": source file not found");
    const int first = std::max(1, line - 5);
    const int last = std::min(static_cast<int>(text.size()), first + 9);
    if (line > static_cast<int>(text.size()))
        return dbg_failed(name + " has " + std::to_string(text.size()) + " lines");
    std::string out;
    for (int n = first; n <= last; ++n) {
        bool breakpoint = false;
        for (const dbg_line_range_t *range : dbg_source_ranges_of(model, file, n))
            breakpoint |= dbg_has_breakpoint(e, range->address);
        const bool here = file == current_file && n == current_line;
        char number[16];
        std::snprintf(number, sizeof number, "%5d", n);
        out += std::string(here ? "=>" : "  ") + (breakpoint ? "*" : " ") + number + "  " +
               text[n - 1] + "\n";
    }
    return dbg_done(out);
}

dbg_result_t dbg_cmd_where(dbg_engine_t *e, const std::vector<std::string> &args) {
    if (!args.empty()) return dbg_failed("usage: where");
    dbg_source_t *model = dbg_source_model(e);
    if (!model) return dbg_failed(no_model);
    const view_t v = take_view(e);
    std::string out;
    const std::vector<dbg_frame_row_t> rows = dbg_frame_rows(model, v.frames);
    for (size_t i = 0; i < rows.size(); ++i)
        out += frame_line(rows[i], static_cast<int>(i));
    return dbg_done(out);
}

dbg_result_t dbg_cmd_frame(dbg_engine_t *e, const std::vector<std::string> &args) {
    dbg_source_t *model = dbg_source_model(e);
    if (!model) return dbg_failed(no_model);
    const view_t v = take_view(e);
    int index = v.selected;
    if (args.size() > 1) return dbg_failed("usage: frame [N]");
    if (args.size() == 1) {
        char *end = nullptr;
        index = static_cast<int>(std::strtol(args[0].c_str(), &end, 10));
        if (args[0].empty() || *end || index < 0 || index >= static_cast<int>(v.frames.size()))
            return dbg_failed("no frame " + args[0] + " (frames 0-" +
                              std::to_string(v.frames.size() - 1) + ")");
    }
    dbg_select_frame(e, index);
    return dbg_done(frame_line(dbg_frame_rows(model, v.frames)[index], index));
}

dbg_result_t dbg_cmd_locals(dbg_engine_t *e, const std::vector<std::string> &args) {
    if (!args.empty()) return dbg_failed("usage: locals");
    dbg_source_t *model = dbg_source_model(e);
    if (!model) return dbg_failed(no_model);
    const view_t v = take_view(e);
    if (v.frames.empty() || v.frames[v.selected].function < 0)
        return dbg_failed("no C function in this frame");
    std::string out;
    for (const auto &value : dbg_frame_locals(model, context_of(e, v)))
        format_value(value, 0, &out);
    return dbg_done(out.empty() ? "no locals\n" : out);
}

dbg_result_t dbg_cmd_print(dbg_engine_t *e, const std::vector<std::string> &args) {
    // print/x EXPR (or print /x EXPR): x hexadecimal, d signed, u unsigned, c character, t binary.
    char format = 0;
    size_t first = 0;
    if (!args.empty() && args[0][0] == '/') {
        if (args[0].size() != 2 || !std::strchr("xduct", args[0][1]))
            return dbg_failed("Unknown format " + args[0] + " (/x /d /u /c /t)");
        format = args[0][1];
        first = 1;
    }
    if (args.size() == first) return dbg_failed("usage: print[/FMT] EXPR");
    std::string text;
    for (size_t i = first; i < args.size(); ++i)
        text += (text.empty() ? "" : " ") + args[i];
    // Registers, memory and symbols work without debug information too.
    const dbg_source_t *model = dbg_source_or_empty(e);
    const view_t v = take_view(e);
    dbg_value_t value;
    std::string error;
    if (!dbg_source_print(model, text, context_of(e, v), &value, &error, format))
        return dbg_failed(error);
    std::string out;
    format_value(value, 0, &out);
    return dbg_done(out);
}

dbg_result_t dbg_cmd_set_var(dbg_engine_t *e, const std::vector<std::string> &args) {
    if (args.size() < 3 || args[0] != "var") return dbg_failed("usage: set var NAME VALUE");
    dbg_source_t *model = dbg_source_model(e);
    if (!model) return dbg_failed(no_model);
    std::string value;
    for (size_t i = 2; i < args.size(); ++i)
        value += (i > 2 ? " " : "") + args[i];
    const view_t v = take_view(e);
    uint16_t address = 0;
    std::vector<uint8_t> bytes;
    std::string error;
    if (!dbg_source_assign(model, args[1], value, context_of(e, v), &address, &bytes, &error))
        return dbg_failed(error);
    for (size_t i = 0; i < bytes.size(); ++i)
        dbg_poke(e, static_cast<uint16_t>(address + i), bytes[i]);
    return dbg_done("");
}
