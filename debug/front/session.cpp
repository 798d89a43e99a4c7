#include "debug/front/session.h"

#include "debug/travel/history.h"

dbg_engine_t *dbg_session_attach(emu_t *emu, dbg_mode_t mode, bool start_stopped) {
    dbg_engine_t *e = dbg_attach(emu, mode, start_stopped);
    dbg_history_start(e, DBG_HISTORY_SECONDS);
    return e;
}
