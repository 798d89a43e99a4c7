// The command language of both front ends: one command a line, hexadecimal numbers, a symbol
// wherever an address goes, every error one line. `help` lists the commands. The commands live in
// one table in commands.cpp (name, aliases, usage, help line, handler): a new command is a row
// there and its handler, and `help`, the usage errors and the dispatcher follow from the table.
#pragma once

#include "debug/core/result.h"

#include <cstdio>
#include <string>

struct dbg_engine_t;
struct emu_line_reader_t;

// Text as the command line and `type` write it: \n Enter, \t Tab, \b Backspace, \\ a backslash.
std::string dbg_unescape(const std::string &text);

// Executes one line ('#' comments and blank lines do nothing).
dbg_result_t dbg_execute(dbg_engine_t *e, const std::string &line);
// Whether a line's first word names a command (print/x too).
bool dbg_is_command(const std::string &line);

// Runs a script line by line (files/input.h: a regular file or standard input, lines of at most
// 64 KiB), printing each command's output to out. Stops at `quit` (*quit set), the end, an
// invalid opcode, an interrupt (dbg_interrupt), or the first line in error: a command that
// fails, a control byte other than tab (shown as \xNN), a line too long or a read error, reported
// on err as "NAME:LINE: message" (one line). Returns the number of errors (0 or 1).
int dbg_run_script(dbg_engine_t *e, emu_line_reader_t *in, const std::string &name, FILE *out,
                   FILE *err, bool *quit);
