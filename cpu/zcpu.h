// Z80 processor core.
//
// How to drive it:
//   z_cpu_t cpu;
//   z_init(&cpu, mem_read, mem_write, io_read, io_write, exception, halt, user_data);
//   for (;;) z_tick(&cpu);             // one call per emulated clock cycle (T-state)
//
// One tick is one T-state. When fewer than two T-states of the current instruction remain, the
// tick executes the whole next instruction at once (z_step) and stores its T-state count in
// `cycles`; the following ticks only count `cycles` down. So an instruction of N T-states occupies
// exactly N ticks and the first tick after z_init or z_reset executes an instruction.
//
// Every memory access, opcode fetches included, goes through mem_read / mem_write one byte at a
// time, in the order the instruction performs it; the core keeps no copy of memory. Ports are full
// 16-bit addresses as the instruction builds them (A or B in the high byte).
//
// What the core never does:
//   - execute undocumented opcodes: each page's other encodings call `exception` with the page's
//     text ("Invalid CB opcode", "Invalid ED opcode", "Invalid DD opcode", "Invalid FD opcode",
//     "Invalid DDCB opcode", "Invalid FDCB opcode") and change nothing but R, so the next tick
//     reports the same instruction again;
//   - accept interrupts (im, iff1 and iff2 are stored for DI, EI, IM, RETN and LD A,I/R only);
//   - compute bits 5 and 3 of F: they keep their values unless F is loaded whole.
//
// The core is single-threaded: the host serialises every call on one record.
#pragma once

#include <cstdint>

struct z_cpu_t;

typedef uint8_t (*z_mem_read_t)(z_cpu_t *cpu, uint16_t address);
typedef void (*z_mem_write_t)(z_cpu_t *cpu, uint16_t address, uint8_t value);
typedef uint8_t (*z_io_read_t)(z_cpu_t *cpu, uint16_t port);
typedef void (*z_io_write_t)(z_cpu_t *cpu, uint16_t port, uint8_t value);
typedef void (*z_exception_t)(z_cpu_t *cpu, const char *message);
typedef void (*z_halt_t)(z_cpu_t *cpu);

// Flag bits of F.
enum : uint8_t {
    C_FLAG = 0x01,
    N_FLAG = 0x02,
    PV_FLAG = 0x04,
    F3_FLAG = 0x08, // undocumented copy bit, never computed
    H_FLAG = 0x10,
    F5_FLAG = 0x20, // undocumented copy bit, never computed
    Z_FLAG = 0x40,
    S_FLAG = 0x80,
};

// The 8-bit registers and their pair share storage (x86 and every host here is little-endian, so
// the first-named register of a pair is the high byte).
#define Z_PAIR(lo, hi, pair)                                                                       \
    union {                                                                                        \
        struct {                                                                                   \
            uint8_t lo;                                                                            \
            uint8_t hi;                                                                            \
        };                                                                                         \
        uint16_t pair;                                                                             \
    }

struct z_cpu_t {
    Z_PAIR(F, A, AF);
    Z_PAIR(C, B, BC);
    Z_PAIR(E, D, DE);
    Z_PAIR(L, H, HL);
    Z_PAIR(F_, A_, AF_);
    Z_PAIR(C_, B_, BC_);
    Z_PAIR(E_, D_, DE_);
    Z_PAIR(L_, H_, HL_);
    uint16_t IX;
    uint16_t IY;
    uint16_t SP;
    uint16_t PC; // address of the first byte (first prefix) of the next instruction
    uint8_t I;
    uint8_t R;
    uint8_t cycles; // T-states still to run for the instruction in progress
    uint8_t im : 2;
    uint8_t iff1 : 1;
    uint8_t iff2 : 1;
    void *user_data; // owned by the host; the core never reads it
    z_mem_read_t mem_read;
    z_mem_write_t mem_write;
    z_io_read_t io_read;
    z_io_write_t io_write;
    z_exception_t exception;
    z_halt_t halt;
};

#undef Z_PAIR

// Zeroes every register and field, then stores the callbacks and user_data. PC = SP = 0.
void z_init(z_cpu_t *cpu, z_mem_read_t mem_read, z_mem_write_t mem_write, z_io_read_t io_read,
            z_io_write_t io_write, z_exception_t exception, z_halt_t halt, void *user_data);

// Power-on state of the Z80: PC, I, R, cycles, im, iff1, iff2 cleared; everything else kept.
void z_reset(z_cpu_t *cpu);

// One clock cycle: executes an instruction when cycles < 2, else counts cycles down by one.
static inline void z_tick(z_cpu_t *cpu);

// Executes exactly one instruction (refreshes R, decodes, runs its handler).
void z_step(z_cpu_t *cpu);

static inline void z_tick(z_cpu_t *cpu) {
    if (cpu->cycles < 2)
        z_step(cpu);
    else
        --cpu->cycles;
}
