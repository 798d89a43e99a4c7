// Fatal errors of start-up.
#pragma once

// Shows "Fatal error occurred in function NAME(): TEXT" (caption "Critical Error"), where TEXT is
// the host's text for the last error (errno, or the text set with emu_set_last_error_text), and
// ends the process with that error code (1 when there is none). Never returns.
[[noreturn]] void exit_with_fatal_error(const char *function_name);

// A library call that fails without errno (SDL, Qt) records its own text and code here.
void emu_set_last_error_text(const char *text, int code);

// How the message reaches the user: the window layer installs a message box; by default the text
// goes to stderr.
typedef void (*emu_error_box_t)(const char *caption, const char *text);
void emu_set_error_box(emu_error_box_t box);
void emu_show_error_box(const char *caption, const char *text);
