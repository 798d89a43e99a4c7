// The File menu's Open and Save commands: the file dialogs, the save dialog's start and length
// fields, and the image load or save. The file itself is read or written on a thread of its own,
// outside the machine lock, while the window keeps running; only copying the block to save and
// storing the decoded image take the lock.
#pragma once

#include <cstdint>
#include <functional>

#include "files/save_block.h"

struct emu_t;
struct gui_t;

// Identifiers (object names) of the row added to the save dialog.
enum : int {
    EMU_SAVE_START_LABEL_ID = 101,
    EMU_SAVE_START_FIELD_ID = 102,
    EMU_SAVE_LENGTH_LABEL_ID = 103,
    EMU_SAVE_LENGTH_FIELD_ID = 104,
    EMU_SAVE_UNIT_LABEL_ID = 105,
};

// Open: asks for an existing Intel HEX file and loads it into the running machine's memory
// (the records before a bad line too); a failure shows "Unable to load HEX file" with the file
// and the reason. True when the file's records were stored (those before a bad line too), false
// when the dialog was cancelled or the file could not be read at all.
bool emu_open_file(gui_t *gui, emu_t *machine);
// Save: asks for a file name and a block of memory and writes the block as Intel HEX; a failure
// shows "Unable to save HEX file" with the file and the reason. Quitting while a save blocks
// (a pipe nobody reads) leaves the save behind.
void emu_save_file(gui_t *gui, emu_t *machine);

// Runs work on a thread of its own while the window thread waits in a local event loop, so that
// the windows keep drawing, taking keys and ending on a signal while a file blocks (a pipe nobody
// reads or writes). One job at a time: Open, Save and the debugger's console wait for each other.
// True when the work finished; false when the program began to end first, in which case the
// work is left to finish on its own and must touch only what it owns.
bool emu_run_file_job(std::function<void()> work);
// True while a job runs.
bool emu_file_job_running();
