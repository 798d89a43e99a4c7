// General-purpose arithmetic and processor control.
//
//   DAA  27     4   decimal adjust after ADD/SUB; S Z H P C, N kept
//   CPL  2F     4   A = ~A; H = 1, N = 1
//   NEG  ED 44  8   A = 0 - A; flags as a subtraction from 0
//   CCF  3F     4   H = old C, N = 0, C = ~C
//   SCF  37     4   H = 0, N = 0, C = 1
//   NOP  00     4
//   HALT 76     4   PC stays on the HALT; the halt callback runs every 4 T-states
//   DI / EI  F3 / FB  4   iff1 = iff2 = 0 / 1 (no interrupt is ever accepted)
//   IM 0/1/2  ED 46 / 56 / 5E  8
#include "cpu/zopcode.h"

// DAA (27): 4 T-states.
void z_opcode_daa(z_cpu_t *cpu) {
    const uint8_t a = cpu->A;
    uint8_t f = cpu->F;
    uint32_t correction = 0;
    if ((a & 0x0F) > 9 || (f & H_FLAG)) correction = 0x06;
    if (a > 0x99 || (f & C_FLAG)) {
        correction += 0x60;
        f |= C_FLAG;
    }
    const uint32_t result = (f & N_FLAG) ? a - correction : a + correction;
    cpu->A = static_cast<uint8_t>(result);
    f = static_cast<uint8_t>((f & (F5_FLAG | F3_FLAG | N_FLAG | C_FLAG)) | (cpu->A & S_FLAG) |
                             (cpu->A == 0 ? Z_FLAG : 0) | ((a ^ correction ^ result) & H_FLAG) |
                             (parity_table[cpu->A] ? PV_FLAG : 0));
    cpu->F = f;
    z_done(cpu, 1, 4);
}

// CPL (2F): 4 T-states.
void z_opcode_cpl(z_cpu_t *cpu) {
    cpu->A = static_cast<uint8_t>(~cpu->A);
    cpu->F |= H_FLAG | N_FLAG;
    z_done(cpu, 1, 4);
}

// NEG (ED 44): 8 T-states.
void z_opcode_neg(z_cpu_t *cpu) {
    const uint8_t old = cpu->A;
    const int32_t result = 0 - static_cast<int32_t>(old);
    z_opcode_set_flags_after_sub(cpu->F, 0, old, result);
    cpu->A = static_cast<uint8_t>(result);
    z_done(cpu, 2, 8);
}

// CCF (3F): 4 T-states.
void z_opcode_ccf(z_cpu_t *cpu) {
    const uint8_t carry = cpu->F & C_FLAG;
    cpu->F = static_cast<uint8_t>((cpu->F & ~(H_FLAG | N_FLAG | C_FLAG)) | (carry ? H_FLAG : 0) |
                                  (carry ? 0 : C_FLAG));
    z_done(cpu, 1, 4);
}

// SCF (37): 4 T-states.
void z_opcode_scf(z_cpu_t *cpu) {
    cpu->F = static_cast<uint8_t>((cpu->F & ~(H_FLAG | N_FLAG)) | C_FLAG);
    z_done(cpu, 1, 4);
}

// NOP (00): 4 T-states.
void z_opcode_nop(z_cpu_t *cpu) {
    z_done(cpu, 1, 4);
}

// HALT (76): 4 T-states, PC unchanged, so the processor halts until it is reset.
void z_opcode_halt(z_cpu_t *cpu) {
    cpu->halt(cpu);
    cpu->cycles = 4;
}

// DI (F3): 4 T-states.
void z_opcode_di(z_cpu_t *cpu) {
    cpu->iff1 = 0;
    cpu->iff2 = 0;
    z_done(cpu, 1, 4);
}

// EI (FB): 4 T-states.
void z_opcode_ei(z_cpu_t *cpu) {
    cpu->iff1 = 1;
    cpu->iff2 = 1;
    z_done(cpu, 1, 4);
}

// IM 0 (ED 46): 8 T-states.
void z_opcode_im0(z_cpu_t *cpu) {
    cpu->im = 0;
    z_done(cpu, 2, 8);
}

// IM 1 (ED 56): 8 T-states.
void z_opcode_im1(z_cpu_t *cpu) {
    cpu->im = 1;
    z_done(cpu, 2, 8);
}

// IM 2 (ED 5E): 8 T-states.
void z_opcode_im2(z_cpu_t *cpu) {
    cpu->im = 2;
    z_done(cpu, 2, 8);
}
