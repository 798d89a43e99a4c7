// Source-level commands of the command language, over the engine's source model (e->source):
// each takes the words after the command's name and returns what the command prints. The
// command table hooks them in; they read the machine through the engine's copies (dbg_memory,
// dbg_registers), so they work in both modes.
//
//   list [FILE:LINE | FUNCTION | LINE]  ten lines around the place (default: the selected
//                                       frame's line); "=>" marks that line, "*" a breakpoint
//   where                               the call stack: "#1  sum_points (prog.c:32) 80B0"
//   frame N                             selects frame N for locals and print
//   locals                              parameters and locals of the selected frame
//   print EXPR                          an expression's value (see debug/info/source.h), structs
//   and
//                                       arrays one member a line
//   set var NAME VALUE                  writes a variable held in memory
#pragma once

#include <string>
#include <vector>

#include "debug/front/commands.h"

struct dbg_engine_t;

dbg_result_t dbg_cmd_list(dbg_engine_t *e, const std::vector<std::string> &args);
dbg_result_t dbg_cmd_where(dbg_engine_t *e, const std::vector<std::string> &args);
dbg_result_t dbg_cmd_frame(dbg_engine_t *e, const std::vector<std::string> &args);
dbg_result_t dbg_cmd_locals(dbg_engine_t *e, const std::vector<std::string> &args);
dbg_result_t dbg_cmd_print(dbg_engine_t *e, const std::vector<std::string> &args);
// args: "var", NAME, VALUE... (the value's words are joined by spaces).
dbg_result_t dbg_cmd_set_var(dbg_engine_t *e, const std::vector<std::string> &args);
