// Read-only views of the engine's debug information (engine.h).
#include "debug/core/engine.h"

dbg_source_t *dbg_source_model(const dbg_engine_t *e) {
    return e->source;
}

const dbg_symbols_t *dbg_symbol_table(const dbg_engine_t *e) {
    return &e->symbols;
}
