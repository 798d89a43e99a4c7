// The emulated board: one statically allocated record that owns the processor, the devices, the
// 64 KB memory (ROM below 0x2000, video memory from 0x2000), the machine lock and the two
// emulation threads.
#pragma once

#include <cstdint>
#include <thread>

#include "cpu/zcpu.h"
#include "devices/ay8913.h"
#include "devices/graphics.h"
#include "devices/keyboard.h"
#include "devices/present.h"
#include "devices/sound.h"
#include "machine/boundary.h"
#include "machine/lock.h"

enum : uint32_t {
    EMU_MEMORY_SIZE = 65536,
    EMU_ROM_SIZE = 0x2000,
    EMU_VIDEO_MEMORY = 0x2000,
    EMU_PSG_CLOCK_HZ = 1789772,
    EMU_PSG_SAMPLE_RATE_HZ = 44100,
};

struct emu_t {
    z_cpu_t cpu;
    ay_t psg;
    gui_t gui;
    gfx_t gfx;
    snd_t snd;
    kbd_t kbd;
    int32_t running; // the emulation threads loop while this is exactly 1
    float cpu_clock_hz;
    float frame_rate_hz;
    uint64_t ticks; // emulated T-states run; written under the lock by whoever runs the processor
    uint8_t memory[EMU_MEMORY_SIZE];
    emu_boundary_t boundary; // called between instructions while it asks for attention
    emu_lock_t lock;
    std::thread cpu_thread;
    std::thread vdp_thread;
};

extern emu_t emu_state;

// Bus callbacks installed in the processor.
uint8_t emu_mem_read_callback(z_cpu_t *cpu, uint16_t address);
void emu_mem_write_callback(z_cpu_t *cpu, uint16_t address, uint8_t value);
uint8_t emu_io_read_callback(z_cpu_t *cpu, uint16_t port);
void emu_io_write_callback(z_cpu_t *cpu, uint16_t port, uint8_t value);
void emu_exception_callback(z_cpu_t *cpu, const char *message);
void emu_halt_callback(z_cpu_t *cpu);
