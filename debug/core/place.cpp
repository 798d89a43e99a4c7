// The one place resolver: how break, until, quillane-run's --break, DAP breakpoints and the
// window's margin turn what the user names into the address a run stops at.
#include <string>
#include <vector>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/info/source.h"
#include "debug/info/symbols.h"

bool dbg_place_resolve(dbg_engine_t *e, const std::string &text, dbg_place_t *place,
                       std::string *error) {
    *place = dbg_place_t{};
    error->clear();
    const dbg_source_t *model = dbg_source_or_empty(e);
    const bool named_function = dbg_source_function(model, text) != nullptr;
    if (text.find(':') != std::string::npos || named_function) {
        int file = -1, line = 0, code_line = 0;
        if (!dbg_source_location(model, text, -1, &file, &line, &place->address, &code_line, error))
            return false;
        if (code_line == 0) {
            *error = text + ": no code at or after that line";
            return false;
        }
        place->file = file;
        place->line = code_line;
        place->by_source = true;
        if (code_line != line && !named_function)
            place->note = "; line " + std::to_string(line) + " has no code";
        return true;
    }
    const z_cpu_t registers = dbg_registers(e);
    bool found = dbg_parse_address(&e->symbols, text, &place->address, &registers);
    if (!found) {
        // An expression, in C: "&points", "buffer + 4".
        dbg_expr_t expr;
        std::string ignored;
        int64_t value = 0;
        const std::vector<uint8_t> memory = dbg_memory(e);
        const dbg_eval_context_t context{memory.data(), &registers, &e->symbols, nullptr, -1};
        found = dbg_expr_parse(model, text, &expr, &ignored) &&
                dbg_expr_number(model, expr, context, &value, &ignored) && value >= 0 &&
                value <= 0xFFFF;
        place->address = static_cast<uint16_t>(value);
    }
    if (!found) {
        *error = "Bad address: " + text +
                 " (a register, a known symbol, a hexadecimal number, FILE:LINE, a function or an "
                 "expression)";
        return false;
    }
    if (const dbg_line_range_t *range =
            e->source ? dbg_source_line_at(e->source, place->address) : nullptr) {
        place->file = range->file;
        place->line = range->line;
    }
    return true;
}

std::string dbg_place_of_line(const dbg_engine_t *e, int file, int line) {
    if (!e->source || file < 0 || file >= static_cast<int>(e->source->files.size())) return "";
    return e->source->files[file].name + ":" + std::to_string(line);
}

int dbg_break_add_place(dbg_engine_t *e, const std::string &text, uint32_t skip,
                        const std::string &cond, dbg_place_t *place, std::string *error) {
    if (!dbg_place_resolve(e, text, place, error)) return -1;
    const int id = dbg_break_add_if(e, place->address, skip, cond, error);
    if (id < 0) {
        *error = "Bad condition: " + *error;
        return -1;
    }
    if (place->by_source) dbg_break_set_origin(e, id, text);
    return id;
}
