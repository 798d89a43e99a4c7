// Views of what the engine holds and how it runs (engine.h), for the front ends.
#include <algorithm>

#include "debug/core/engine_internal.h"
#include "machine/emu.h"

dbg_source_t *dbg_source_model(const dbg_engine_t *e) {
    return e->source;
}

const dbg_symbols_t *dbg_symbol_table(const dbg_engine_t *e) {
    return &e->symbols;
}

int dbg_symbols_file_load(dbg_engine_t *e, const std::string &path,
                          std::vector<std::string> *warnings, std::string *error) {
    dbg_lock(e);
    const std::vector<std::string> before = dbg_symbol_warnings(&e->symbols);
    const int added = dbg_symbols_load(&e->symbols, path, error);
    // A C program's functions may end at the next symbol of code without lines.
    if (added >= 0 && e->source) dbg_source_scan_code(e->source, e->emu->memory, &e->symbols);
    if (added >= 0 && warnings)
        for (const std::string &warning : dbg_symbol_warnings(&e->symbols))
            if (std::find(before.begin(), before.end(), warning) == before.end())
                warnings->push_back(warning);
    dbg_unlock(e);
    return added;
}

dbg_mode_t dbg_mode(const dbg_engine_t *e) {
    return e->mode;
}

uint32_t dbg_clock_hz(const dbg_engine_t *e) {
    return static_cast<uint32_t>(e->emu->cpu_clock_hz);
}

bool dbg_interrupted(const dbg_engine_t *e) {
    return e->interrupted.load(std::memory_order_relaxed);
}

bool dbg_has_breakpoint(dbg_engine_t *e, uint16_t address) {
    return dbg_locked(e, [&] { return e->break_at[address] != 0; });
}
