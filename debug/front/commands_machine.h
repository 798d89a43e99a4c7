// Commands of the command language for save states, scripted keys and the screen's cells. Each
// takes the words after the command name and returns what dbg_execute returns.
#pragma once

#include <string>
#include <vector>

#include "debug/front/commands.h"

struct dbg_engine_t;

// state save FILE | state load FILE
dbg_result_t dbg_command_state(dbg_engine_t *e, const std::vector<std::string> &args);
// press KEY, release KEY
dbg_result_t dbg_command_press(dbg_engine_t *e, const std::vector<std::string> &args, bool down);
// hold KEY MS: the key held for MS board milliseconds (decimal) while the machine runs
dbg_result_t dbg_command_hold(dbg_engine_t *e, const std::vector<std::string> &args);
// wait MS: MS board milliseconds (decimal) pass
dbg_result_t dbg_command_wait(dbg_engine_t *e, const std::vector<std::string> &args);
// cells: the screen's characters and colour bytes
dbg_result_t dbg_command_cells(dbg_engine_t *e, const std::vector<std::string> &args);
// back [N]: N instructions back in the history (decimal, default 1)
dbg_result_t dbg_command_back(dbg_engine_t *e, const std::vector<std::string> &args);
// rstep: back to the start of the previous source line (dbg_back_by)
dbg_result_t dbg_command_rstep(dbg_engine_t *e, const std::vector<std::string> &args);
// rcontinue: back to the previous breakpoint or watchpoint stop
dbg_result_t dbg_command_rcontinue(dbg_engine_t *e, const std::vector<std::string> &args);
// history [SECONDS]: what the history keeps; SECONDS (decimal, 0 off) restarts it with that span
dbg_result_t dbg_command_history(dbg_engine_t *e, const std::vector<std::string> &args);
