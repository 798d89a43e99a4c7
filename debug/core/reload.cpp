// Live reload: images, debug information and breakpoints of a rebuilt program, then a reset.
#include "debug/core/reload.h"

#include <memory>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/info/source.h"
#include "files/file.h"
#include "machine/emu.h"

namespace {

// A breakpoint or watchpoint as it stood before the reload, and how to find its place again.
struct point_t {
    int id;
    bool watch;
    uint16_t address;
    std::string origin; // FILE:LINE or a C function
    std::string symbol; // else the symbol at its address
    std::string object; // a watchpoint's C object in memory (object_key), at offset
    uint16_t offset = 0;
    std::string shown; // the object's name
};

std::string describe(const point_t &p) {
    return std::string(p.watch ? "Watchpoint " : "Breakpoint ") + std::to_string(p.id) + " (" +
           (!p.origin.empty()  ? p.origin
            : !p.shown.empty() ? p.shown
                               : p.symbol) +
           ")";
}

// A C variable held in memory, by its module, function (for a static) and name.
std::string object_key(const dbg_source_t *m, const dbg_variable_t &v) {
    const bool in_function = v.function >= 0 && v.function < static_cast<int>(m->functions.size());
    return v.module + ":" + (in_function ? m->functions[v.function].name : "") + ":" + v.name;
}

// The C variable in memory whose bytes hold address, or null.
const dbg_variable_t *object_at(const dbg_source_t *m, uint16_t address) {
    for (const dbg_variable_t &v : m->variables)
        if (v.place == DBG_VAR_MEMORY && v.type >= 0 &&
            v.type < static_cast<int>(m->types.size()) && address >= v.address &&
            address < v.address + m->types[v.type].size)
            return &v;
    return nullptr;
}

// Where a point stands in the rebuilt program; false with the reason when nowhere.
bool find_again(dbg_engine_t *e, const point_t &p, uint16_t *address, std::string *why) {
    if (!p.object.empty()) {
        const dbg_source_t *m = dbg_source_or_empty(e);
        for (const dbg_variable_t &v : m->variables)
            if (v.place == DBG_VAR_MEMORY && object_key(m, v) == p.object) {
                *address = static_cast<uint16_t>(v.address + p.offset);
                return true;
            }
        *why = "no " + p.shown + " in the rebuilt program";
        return false;
    }
    if (p.origin.empty()) {
        if (dbg_symbol_lookup(dbg_symbol_table(e), p.symbol, address)) return true;
        *why = "no symbol " + p.symbol + " in the rebuilt program";
        return false;
    }
    dbg_place_t place;
    const bool line = p.origin.find(':') != std::string::npos;
    if (!dbg_place_resolve(e, p.origin, &place, why) && line) return false;
    // A function that is gone could still read as a number or a label.
    if (!place.by_source) {
        *why = "no function or line " + p.origin + " in the rebuilt program";
        return false;
    }
    *address = place.address;
    return true;
}

// Drops the source model's contents (its search folders kept), lock held.
std::vector<std::string> clear_source(dbg_engine_t *e) {
    if (!e->source) return {};
    std::vector<std::string> dirs = e->source->search_dirs;
    dbg_source_init(e->source);
    e->source->search_dirs = dirs;
    e->source_frame = 0;
    return dirs;
}

// A watched C object's type in the replaced model, by its name: watched as a plain range when
// the name no longer gives an object of its size where it stands. Its values start afresh.
void object_again(dbg_engine_t *e, dbg_watchpoint_t *w) {
    const z_cpu_t cpu = e->emu->cpu;
    const dbg_source_t *model = dbg_source_or_empty(e);
    dbg_value_t value;
    std::string ignored;
    const bool found =
        dbg_source_print(model, w->object, {e->emu->memory, &cpu, &e->symbols, nullptr, -1}, &value,
                         &ignored) &&
        value.in_memory && value.address == w->address && value.type_index >= 0 &&
        model->types[static_cast<size_t>(value.type_index)].size == w->length;
    w->object_type = found ? value.type_index : -1;
    if (!found) w->object.clear();
    w->old.assign(e->emu->memory + w->address, e->emu->memory + w->address + w->length);
    w->written.clear();
}

} // namespace

bool dbg_reload(dbg_engine_t *e, const std::vector<std::string> &images,
                const std::vector<std::string> &type, std::string *error,
                std::vector<dbg_reload_change_t> *changes, bool reset, std::string *report) {
    std::vector<std::unique_ptr<emu_ihex_image_t>> read;
    for (const std::string &path : images) {
        auto image = std::make_unique<emu_ihex_image_t>();
        emu_file_error_t why{};
        if (emu_read_ihex_file(path.c_str(), image.get(), EMU_MEMORY_SIZE, &why) != 0) {
            *error = "Unable to load HEX file: " + path + " (" + why.text +
                     (why.line ? ", line " + std::to_string(why.line) : std::string()) + ")";
            return false;
        }
        read.push_back(std::move(image));
    }
    std::vector<point_t> points;
    dbg_lock(e);
    for (const dbg_breakpoint_t &b : e->breakpoints) {
        point_t p{b.id, false, b.address, b.origin, "", "", 0, ""};
        if (p.origin.empty()) p.symbol = dbg_symbol_at(&e->symbols, b.address);
        if (!p.origin.empty() || !p.symbol.empty()) points.push_back(p);
    }
    for (const dbg_watchpoint_t &w : e->watchpoints) {
        if (w.kind == DBG_WATCH_IN || w.kind == DBG_WATCH_OUT) continue;
        point_t p{w.id, true, w.address, "", dbg_symbol_at(&e->symbols, w.address), "", 0, ""};
        if (const dbg_variable_t *v = e->source ? object_at(e->source, w.address) : nullptr) {
            p.object = object_key(e->source, *v);
            p.offset = static_cast<uint16_t>(w.address - v->address);
            p.shown = v->name;
        }
        if (!p.symbol.empty() || !p.object.empty()) points.push_back(p);
    }
    for (const auto &image : read)
        emu_store_ihex_image(image.get(), e->emu->memory, EMU_MEMORY_SIZE);
    dbg_symbols_clear(&e->symbols);
    e->monitor_symbols = false;
    const std::vector<std::string> dirs = clear_source(e);
    // Queued keys belong to the program that was running; without a reset they still go to it.
    if (reset) {
        e->keys.clear();
        e->typing_wait = false;
    }
    dbg_unlock(e);

    // The monitor is not rebuilt: its names load first, so that the program's own win at a shared
    // address, as at start; then each image's own files.
    std::string monitor;
    dbg_debug_info_load(e, "", dirs, &monitor);
    std::string lines;
    for (const std::string &image : images)
        for (const std::string &path : dbg_debug_files_beside(image)) {
            std::string line;
            if (!dbg_debug_file_load(e, path, dirs, &line)) lines += line + "\n";
        }
    if (report) *report = lines;

    for (const point_t &p : points) {
        uint16_t address = p.address;
        std::string why;
        if (!find_again(e, p, &address, &why)) {
            // One at a symbol that is gone stays, as one set by its address does; one on a C
            // object that is gone is deleted.
            if (p.origin.empty() && p.object.empty()) continue;
            dbg_delete(e, p.id);
            if (changes)
                changes->push_back({p.id, true, p.address, describe(p) + " deleted: " + why});
            continue;
        }
        if (address == p.address) continue;
        dbg_locked(e, [&] { dbg_point_move(e, p.id, address); });
        if (changes)
            changes->push_back(
                {p.id, false, address,
                 describe(p) + " moved from " + dbg_hex4(p.address) + " to " + dbg_hex4(address)});
    }
    // Conditions name variables of the model that was replaced.
    auto reparse = [e](auto &point) {
        dbg_expr_t expr;
        std::string ignored;
        if (!point.condition.empty() &&
            dbg_expr_parse(dbg_source_or_empty(e), point.condition, &expr, &ignored))
            point.expr = std::move(expr);
    };
    dbg_lock(e);
    for (dbg_breakpoint_t &b : e->breakpoints)
        reparse(b);
    for (dbg_watchpoint_t &w : e->watchpoints) {
        reparse(w);
        if (w.object_type >= 0) object_again(e, &w);
    }
    dbg_unlock(e);
    if (!reset) return true;
    dbg_reset(e);
    for (const std::string &text : type)
        if (!dbg_type(e, text, true, error)) return false;
    return true;
}
