// Input and output group. Ports are full 16-bit addresses: A:n for the immediate forms, BC for
// the others (B before the block forms decrement it).
//
//   IN A,(n)   DB n      11   no flags        OUT (n),A  D3 n      11
//   IN r,(C)   ED 40+8r  12   S Z P, H=N=0    OUT (C),r  ED 41+8r  12
//   INI  ED A2  INIR ED B2  IND  ED AA  INDR ED BA      16, or 21 while repeating
//   OUTI ED A3  OTIR ED B3  OUTD ED AB  OTDR ED BB
// Single block forms: Z = (B == 0), N = 1; repeating forms: Z = N = 1; the rest kept.
#include "cpu/zopcode.h"

// IN A,(n) (DB n): 11 T-states.
void z_opcode_in_a_n(z_cpu_t *cpu) {
    const uint8_t n = z_fetch(cpu, 1);
    cpu->A = cpu->io_read(cpu, static_cast<uint16_t>(cpu->A << 8 | n));
    z_done(cpu, 2, 11);
}

// OUT (n),A (D3 n): 11 T-states.
void z_opcode_out_n_a(z_cpu_t *cpu) {
    const uint8_t n = z_fetch(cpu, 1);
    cpu->io_write(cpu, static_cast<uint16_t>(cpu->A << 8 | n), cpu->A);
    z_done(cpu, 2, 11);
}

// IN r,(C) (ED 01rrr000): 12 T-states. ED 70 names no register and reports before any access.
void z_opcode_in_r_c(z_cpu_t *cpu, uint8_t opcode) {
    uint8_t *dst = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_high(opcode));
    if (!dst) return;
    const uint8_t v = cpu->io_read(cpu, cpu->BC);
    *dst = v;
    cpu->F = static_cast<uint8_t>((v & S_FLAG) | (v == 0 ? Z_FLAG : 0) |
                                  (parity_table[v] ? PV_FLAG : 0) |
                                  (cpu->F & (F5_FLAG | F3_FLAG | C_FLAG)));
    z_done(cpu, 2, 12);
}

// OUT (C),r (ED 01rrr001): 12 T-states. ED 71 names no register and reports before any access.
void z_opcode_out_c_r(z_cpu_t *cpu, uint8_t opcode) {
    const uint8_t *src = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_high(opcode));
    if (!src) return;
    cpu->io_write(cpu, cpu->BC, *src);
    z_done(cpu, 2, 12);
}

static inline void z_block_io_finish(z_cpu_t *cpu, bool repeat) {
    if (repeat) {
        cpu->F |= Z_FLAG | N_FLAG;
        if (cpu->B != 0) {
            cpu->cycles = 21;
            return;
        }
    } else {
        cpu->F = static_cast<uint8_t>((cpu->F & 0xBD) | (cpu->B == 0 ? Z_FLAG : 0) | N_FLAG);
    }
    z_done(cpu, 2, 16);
}

static inline void z_block_in(z_cpu_t *cpu, int step, bool repeat) {
    const uint8_t v = cpu->io_read(cpu, cpu->BC);
    z_write(cpu, cpu->HL, v);
    cpu->HL = static_cast<uint16_t>(cpu->HL + step);
    cpu->B = static_cast<uint8_t>(cpu->B - 1);
    z_block_io_finish(cpu, repeat);
}

static inline void z_block_out(z_cpu_t *cpu, int step, bool repeat) {
    const uint8_t v = z_read(cpu, cpu->HL);
    cpu->io_write(cpu, cpu->BC, v);
    cpu->HL = static_cast<uint16_t>(cpu->HL + step);
    cpu->B = static_cast<uint8_t>(cpu->B - 1);
    z_block_io_finish(cpu, repeat);
}

// INI (ED A2): 16 T-states.
void z_opcode_ini(z_cpu_t *cpu) {
    z_block_in(cpu, +1, false);
}
// INIR (ED B2): 21 per repeat, 16 for the last.
void z_opcode_inir(z_cpu_t *cpu) {
    z_block_in(cpu, +1, true);
}
// IND (ED AA): 16 T-states.
void z_opcode_ind(z_cpu_t *cpu) {
    z_block_in(cpu, -1, false);
}
// INDR (ED BA): 21 / 16 T-states.
void z_opcode_indr(z_cpu_t *cpu) {
    z_block_in(cpu, -1, true);
}
// OUTI (ED A3): 16 T-states.
void z_opcode_outi(z_cpu_t *cpu) {
    z_block_out(cpu, +1, false);
}
// OTIR (ED B3): 21 / 16 T-states.
void z_opcode_otir(z_cpu_t *cpu) {
    z_block_out(cpu, +1, true);
}
// OUTD (ED AB): 16 T-states.
void z_opcode_outd(z_cpu_t *cpu) {
    z_block_out(cpu, -1, false);
}
// OTDR (ED BB): 21 / 16 T-states.
void z_opcode_otdr(z_cpu_t *cpu) {
    z_block_out(cpu, -1, true);
}
