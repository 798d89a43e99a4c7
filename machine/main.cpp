// The machine record, its bus callbacks and the start-up steps that need no window.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>

#include "devices/ay8913.h"
#include "devices/graphics.h"
#include "devices/keyboard.h"
#include "devices/sound.h"
#include "files/file.h"
#include "machine/emu.h"
#include "machine/lock.h"
#include "machine/process.h"
#include "machine/relaxed.h"

emu_t emu_state;

uint8_t emu_mem_read_callback(z_cpu_t *cpu, uint16_t address) {
    return static_cast<const uint8_t *>(cpu->user_data)[address];
}

// Writes below 0x2000 hit ROM and are dropped. The display thread reads video memory without the
// lock, so the store is a relaxed atomic one (a plain byte store on x86).
void emu_mem_write_callback(z_cpu_t *cpu, uint16_t address, uint8_t value) {
    if (address < EMU_ROM_SIZE) return;
    uint8_t *memory = static_cast<uint8_t *>(cpu->user_data);
    emu_relaxed_store(memory[address], value);
}

// Only the low 8 bits of a port address are decoded.
uint8_t emu_io_read_callback(z_cpu_t *, uint16_t port) {
    const uint8_t p = static_cast<uint8_t>(port);
    if (p == 0x08 || p == 0x09) return 0xFF;
    if (p >= 0x10 && p <= 0x13) return kbd_pio_io_read(&emu_state.kbd, p);
    return 0x00;
}

void emu_io_write_callback(z_cpu_t *, uint16_t port, uint8_t value) {
    const uint8_t p = static_cast<uint8_t>(port);
    if (p == 0x0C)
        snd_write_value(&emu_state.psg, value);
    else if (p == 0x0D)
        snd_write_register(&emu_state.psg, value);
    else if (p >= 0x10 && p <= 0x13)
        kbd_pio_io_write(&emu_state.kbd, p, value);
}

// Invalid opcodes stop the program where it stands (the processor does not advance past them);
// the board has no way to report them.
void emu_exception_callback(z_cpu_t *, const char *) {}

void emu_halt_callback(z_cpu_t *) {}

void emu_power_on(emu_t *emu) {
    std::memset(emu->memory, 0, sizeof emu->memory);
    emu->cpu_clock_hz = 10000000.0f;
    emu->frame_rate_hz = 60.0f;
    emu->ticks = 0;
    z_init(&emu->cpu, emu_mem_read_callback, emu_mem_write_callback, emu_io_read_callback,
           emu_io_write_callback, emu_exception_callback, emu_halt_callback, emu->memory);
    ay_init(&emu->psg, EMU_PSG_CLOCK_HZ, EMU_PSG_SAMPLE_RATE_HZ);
    // Neither holds a host object, so neither can fail.
    gfx_initialize(&emu->gfx, emu->memory + EMU_VIDEO_MEMORY);
    kbd_initialize(&emu->kbd);
    emu_lock_init(&emu->lock);
    emu_set_running(emu, 1);
}

int emu_startup(emu_t *emu, const char *rom_path, emu_file_error_t *error) {
    auto image = std::make_unique<emu_ihex_image_t>();
    // A file without a single data record fails the read: the processor would start on empty
    // memory and do nothing. The image is read whole before the machine is touched.
    if (emu_read_ihex_file(rom_path, image.get(), EMU_MEMORY_SIZE, error) != 0) return 1;
    emu_power_on(emu);
    emu_store_ihex_image(image.get(), emu->memory, EMU_MEMORY_SIZE);
    emu->cpu.PC = image->start;
    return 0;
}
