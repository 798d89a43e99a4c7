// The stack's, the locals' and the breakpoints' view models.
#include "debug/front/view_rows.h"

#include "debug/core/engine.h"

std::vector<dbg_frame_row_t> dbg_frame_rows(const dbg_source_t *model,
                                            const std::vector<dbg_frame_t> &frames) {
    std::vector<dbg_frame_row_t> rows;
    for (const dbg_frame_t &f : frames) {
        dbg_frame_row_t row{f.name.empty() ? "??" : f.name, f.file, f.line, "", f.pc};
        if (model && f.file >= 0 && f.file < static_cast<int>(model->files.size()))
            row.place = model->files[f.file].name + ":" + std::to_string(f.line);
        rows.push_back(row);
    }
    return rows;
}

dbg_eval_context_t dbg_stack_view_t::context(int index, const dbg_symbols_t *symbols) const {
    const dbg_frame_t *frame =
        index >= 0 && index < static_cast<int>(frames.size()) ? &frames[index] : nullptr;
    return {memory.data(), &cpu, symbols, frame, -1};
}

dbg_stack_view_t dbg_stack_view(dbg_engine_t *e, int max_frames) {
    dbg_stack_view_t v;
    v.memory = dbg_memory(e);
    v.cpu = dbg_registers(e);
    v.frames = dbg_source_frames(dbg_source_or_empty(e), v.memory.data(), v.cpu,
                                 dbg_symbol_table(e), max_frames);
    return v;
}

std::vector<dbg_value_t> dbg_frame_locals(const dbg_source_t *model,
                                          const dbg_eval_context_t &context) {
    if (!model || !context.frame || context.frame->function < 0) return {};
    return dbg_source_locals(model, context);
}

dbg_breakpoint_row_t dbg_breakpoint_row(dbg_engine_t *e, uint16_t address) {
    dbg_breakpoint_row_t row{0, address, -1, 0, dbg_place_name(e, address), "", 0};
    if (const dbg_line_range_t *range = dbg_source_line_at(dbg_source_or_empty(e), address)) {
        row.file = range->file;
        row.line = range->line;
    }
    return row;
}

std::vector<dbg_breakpoint_row_t> dbg_breakpoint_rows(dbg_engine_t *e) {
    std::vector<dbg_breakpoint_row_t> rows;
    for (const dbg_breakpoint_t &b : dbg_breakpoint_list(e)) {
        dbg_breakpoint_row_t row = dbg_breakpoint_row(e, b.address);
        row.id = b.id;
        row.condition = b.condition;
        row.hits = b.hits;
        rows.push_back(row);
    }
    return rows;
}

bool dbg_watch_object_place(dbg_engine_t *e, const std::string &lvalue, int frame,
                            uint16_t *address, int *type, std::string *error) {
    const dbg_source_t *model = dbg_source_model(e);
    if (!model) {
        *error = "no debug information loaded (a C program's .cdb)";
        return false;
    }
    const dbg_stack_view_t v = dbg_stack_view(e);
    dbg_value_t value;
    if (!dbg_source_print(model, lvalue, v.context(frame, dbg_symbol_table(e)), &value, error))
        return false;
    if (!value.in_memory || value.type_index < 0) {
        *error = lvalue + " has no place in memory to watch";
        return false;
    }
    *address = value.address;
    *type = value.type_index;
    return true;
}
