// How the program ends from outside. SIGINT, SIGTERM and SIGHUP end it through the Quit command's
// path (the handler only writes the signal's number into a pipe that the message loop watches);
// SIGPIPE and SIGXFSZ are ignored, so a pipe whose reader went away or a file size limit fails a
// save instead of ending the program; and an exit from inside the window system (the display server
// went away) stops and joins the emulation threads first, says so in one line and leaves without
// running destructors.
#pragma once

struct emu_t;

// Installs all of the above; call once the window exists and before the threads start.
int gui_signals_install(emu_t *emu);

// True once the connection to the X server has broken; the window system's own warnings then
// give way to the one line this module prints.
bool gui_display_connection_lost();

// The program's exit status: 128 + the signal's number when a signal ended it, else
// loop_result.
int gui_signals_exit_status(int loop_result);
