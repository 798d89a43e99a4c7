// Block transfer and search group. One call is one iteration; a repeating form that has more to
// do leaves PC on its ED prefix (21 T-states) so that the decoder runs it again, and the last
// iteration steps past it (16 T-states). BC counts the bytes, tested after its decrement.
//
//   LDI  ED A0   LDIR ED B0   (HL) -> (DE), HL+1, DE+1, BC-1   H = 0, N = 0, P/V = (BC != 0)
//   LDD  ED A8   LDDR ED B8   (HL) -> (DE), HL-1, DE-1, BC-1   as LDI
//   CPI  ED A1   CPIR ED B1   A - (HL), HL+1, BC-1   S Z H from it, P/V = (BC != 0), N = 1
//   CPD  ED A9   CPDR ED B9   A - (HL), HL-1, BC-1   as CPI; CPIR and CPDR also stop on a match
//   Bits 5 and 3 are kept by all; C by all; S and Z by the transfers.
#include "cpu/zopcode.h"

static inline void z_block_transfer(z_cpu_t *cpu, int step, bool repeat) {
    const uint8_t v = z_read(cpu, cpu->HL);
    z_write(cpu, cpu->DE, v);
    cpu->DE = static_cast<uint16_t>(cpu->DE + step);
    cpu->HL = static_cast<uint16_t>(cpu->HL + step);
    cpu->BC = static_cast<uint16_t>(cpu->BC - 1);
    cpu->F = static_cast<uint8_t>((cpu->F & 0xE9) | (cpu->BC != 0 ? PV_FLAG : 0));
    if (repeat && cpu->BC != 0)
        cpu->cycles = 21;
    else
        z_done(cpu, 2, 16);
}

static inline void z_block_search(z_cpu_t *cpu, int step, bool repeat) {
    const uint8_t m = z_read(cpu, cpu->HL);
    cpu->HL = static_cast<uint16_t>(cpu->HL + step);
    cpu->BC = static_cast<uint16_t>(cpu->BC - 1);
    const uint32_t diff = static_cast<uint32_t>(cpu->A - m);
    cpu->F = static_cast<uint8_t>((diff & S_FLAG) | (cpu->A == m ? Z_FLAG : 0) |
                                  ((cpu->A ^ m ^ diff) & H_FLAG) | (cpu->BC != 0 ? PV_FLAG : 0) |
                                  N_FLAG | (cpu->F & (F5_FLAG | F3_FLAG | C_FLAG)));
    if (repeat && cpu->BC != 0 && cpu->A != m)
        cpu->cycles = 21;
    else
        z_done(cpu, 2, 16);
}

// LDI (ED A0): 16 T-states.
void z_opcode_ldi(z_cpu_t *cpu) {
    z_block_transfer(cpu, +1, false);
}
// LDIR (ED B0): 21 T-states per repeat, 16 for the last.
void z_opcode_ldir(z_cpu_t *cpu) {
    z_block_transfer(cpu, +1, true);
}
// LDD (ED A8): 16 T-states.
void z_opcode_ldd(z_cpu_t *cpu) {
    z_block_transfer(cpu, -1, false);
}
// LDDR (ED B8): 21 / 16 T-states.
void z_opcode_lddr(z_cpu_t *cpu) {
    z_block_transfer(cpu, -1, true);
}
// CPI (ED A1): 16 T-states.
void z_opcode_cpi(z_cpu_t *cpu) {
    z_block_search(cpu, +1, false);
}
// CPIR (ED B1): 21 / 16 T-states.
void z_opcode_cpir(z_cpu_t *cpu) {
    z_block_search(cpu, +1, true);
}
// CPD (ED A9): 16 T-states.
void z_opcode_cpd(z_cpu_t *cpu) {
    z_block_search(cpu, -1, false);
}
// CPDR (ED B9): 21 / 16 T-states.
void z_opcode_cpdr(z_cpu_t *cpu) {
    z_block_search(cpu, -1, true);
}
