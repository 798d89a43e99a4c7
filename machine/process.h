// Start-up, the two emulation threads, machine reset and shutdown.
#pragma once

#include <cstdint>

struct emu_t;
struct emu_file_error_t;

// The monitor image loaded at start-up from the current directory.
#define EMU_ROM_FILE_NAME "tessik.hex"
// The version both programs print for --version.
#define QUILLANE_VERSION "1.0"

// Brings the record to its power-on state, the one way every program and test builds the board:
// memory cleared, rates set, ticks = 0, the processor initialised with the board's bus callbacks
// (PC 0), the sound generator, display and keyboard initialised, the lock created, running = 1.
// Creates no host object and no thread.
void emu_power_on(emu_t *emu);

// Start-up steps up to the window: reads the ROM image, powers the board on (emu_power_on), stores
// the image and sets the start PC. Returns 0, or 1 when the ROM image cannot be loaded or holds no
// data record (the machine is untouched then); *error, when given, then says why.
int emu_startup(emu_t *emu, const char *rom_path, emu_file_error_t *error = nullptr);

// Creates the lock, then the processor thread and the display thread. Returns 0, or 1 when a
// thread cannot be created (errno says why).
int emu_start_threads(emu_t *emu);

// Waits for the display thread, then the processor thread, and deletes the lock.
void emu_stop_threads(emu_t *emu);

// Machine reset: under the lock, resets the processor, the sound generator and the keyboard.
// Memory is kept.
void emu_reset(emu_t *emu);

// Thread functions; both return 0 once `running` is no longer 1.
int emu_cpu_thread_handler(emu_t *emu);
int emu_vdp_thread_handler(emu_t *emu);

// The run flag, shared without the lock.
int32_t emu_get_running(const emu_t *emu);
void emu_set_running(emu_t *emu, int32_t value);
