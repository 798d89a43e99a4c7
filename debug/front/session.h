// How every front end (quillane-run, the window, the tests' harness) attaches the engine: with
// the add-ons a session starts with.
#pragma once

#include "debug/core/engine.h"

// Attaches the engine (dbg_attach) and starts the history of time travel, keeping
// DBG_HISTORY_SECONDS of board time.
dbg_engine_t *dbg_session_attach(emu_t *emu, dbg_mode_t mode, bool start_stopped = false);
