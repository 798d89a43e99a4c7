// 8-bit load group. No flag changes, except LD A,I and LD A,R.
//
//   LD r,r'        40+8r+r'     4      LD r,(IX+d)    DD 46+8r d     19
//   LD r,n         06+8r n      7      LD (IX+d),r    DD 70+r d      19
//   LD r,(HL)      46+8r        7      LD (IX+d),n    DD 36 d n      19
//   LD (HL),r      70+r         7      LD A,(nn)      3A lo hi       13  (hi fetched first)
//   LD (HL),n      36 n         10     LD (nn),A      32 lo hi       13  (hi fetched first)
//   LD A,(BC/DE)   0A / 1A      7      LD I,A / R,A   ED 47 / ED 4F  9
//   LD (BC/DE),A   02 / 12      7      LD A,I / A,R   ED 57 / ED 5F  9
//   (IY forms: FD instead of DD.) LD A,I and LD A,R: S, Z from the value, H = 0, P/V = iff2,
//   N = 0; C, 5, 3 kept.
#include "cpu/zopcode.h"

// LD r,r' (01rrrsss): 4 T-states.
void z_opcode_ld_rr(z_cpu_t *cpu, uint8_t opcode) {
    uint8_t *dst = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_high(opcode));
    uint8_t *src = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_low(opcode));
    if (!dst || !src) return;
    *dst = *src;
    z_done(cpu, 1, 4);
}

// LD r,n (00rrr110 n): 7 T-states.
void z_opcode_ld_rn(z_cpu_t *cpu, uint8_t opcode) {
    uint8_t *dst = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_high(opcode));
    if (!dst) return;
    *dst = z_fetch(cpu, 1);
    z_done(cpu, 2, 7);
}

// LD r,(HL) (01rrr110): 7 T-states.
void z_opcode_ld_rhl(z_cpu_t *cpu, uint8_t opcode) {
    uint8_t *dst = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_high(opcode));
    if (!dst) return;
    *dst = z_read(cpu, cpu->HL);
    z_done(cpu, 1, 7);
}

// LD r,(IX+d) / LD r,(IY+d): the displacement is read before the selector is checked, so
// DD 76 / FD 76 fetch it and then report.
static inline void z_ld_r_indexed(z_cpu_t *cpu, uint8_t opcode, uint16_t index) {
    const uint16_t address = z_index_address(cpu, index);
    uint8_t *dst = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_high(opcode));
    if (!dst) return;
    *dst = z_read(cpu, address);
    z_done(cpu, 3, 19);
}

// LD r,(IX+d) (DD 01rrr110 d): 19 T-states.
void z_opcode_ld_rixd(z_cpu_t *cpu, uint8_t opcode) {
    z_ld_r_indexed(cpu, opcode, cpu->IX);
}
// LD r,(IY+d) (FD 01rrr110 d): 19 T-states.
void z_opcode_ld_riyd(z_cpu_t *cpu, uint8_t opcode) {
    z_ld_r_indexed(cpu, opcode, cpu->IY);
}

// LD (HL),r (01110rrr): 7 T-states.
void z_opcode_ld_hlr(z_cpu_t *cpu, uint8_t opcode) {
    uint8_t *src = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_low(opcode));
    if (!src) return;
    z_write(cpu, cpu->HL, *src);
    z_done(cpu, 1, 7);
}

static inline void z_ld_indexed_r(z_cpu_t *cpu, uint8_t opcode, uint16_t index) {
    const uint16_t address = z_index_address(cpu, index);
    uint8_t *src = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_low(opcode));
    if (!src) return;
    z_write(cpu, address, *src);
    z_done(cpu, 3, 19);
}

// LD (IX+d),r (DD 01110rrr d): 19 T-states.
void z_opcode_ld_ixdr(z_cpu_t *cpu, uint8_t opcode) {
    z_ld_indexed_r(cpu, opcode, cpu->IX);
}
// LD (IY+d),r (FD 01110rrr d): 19 T-states.
void z_opcode_ld_iydr(z_cpu_t *cpu, uint8_t opcode) {
    z_ld_indexed_r(cpu, opcode, cpu->IY);
}

// LD (HL),n (36 n): 10 T-states.
void z_opcode_ld_hln(z_cpu_t *cpu) {
    const uint8_t n = z_fetch(cpu, 1);
    z_write(cpu, cpu->HL, n);
    z_done(cpu, 2, 10);
}

static inline void z_ld_indexed_n(z_cpu_t *cpu, uint16_t index) {
    const uint16_t address = z_index_address(cpu, index);
    const uint8_t n = z_fetch(cpu, 3);
    z_write(cpu, address, n);
    z_done(cpu, 4, 19);
}

// LD (IX+d),n (DD 36 d n): 19 T-states.
void z_opcode_ld_ixdn(z_cpu_t *cpu) {
    z_ld_indexed_n(cpu, cpu->IX);
}
// LD (IY+d),n (FD 36 d n): 19 T-states.
void z_opcode_ld_iydn(z_cpu_t *cpu) {
    z_ld_indexed_n(cpu, cpu->IY);
}

// LD A,(BC) (0A): 7 T-states.
void z_opcode_ld_abc(z_cpu_t *cpu) {
    cpu->A = z_read(cpu, cpu->BC);
    z_done(cpu, 1, 7);
}

// LD A,(DE) (1A): 7 T-states.
void z_opcode_ld_ade(z_cpu_t *cpu) {
    cpu->A = z_read(cpu, cpu->DE);
    z_done(cpu, 1, 7);
}

// The address operand of LD A,(nn) and LD (nn),A, fetched high byte first.
static inline uint16_t z_fetch_word_high_first(z_cpu_t *cpu) {
    const uint8_t hi = z_fetch(cpu, 2);
    const uint8_t lo = z_fetch(cpu, 1);
    return static_cast<uint16_t>(hi << 8 | lo);
}

// LD A,(nn) (3A lo hi): 13 T-states.
void z_opcode_ld_annm(z_cpu_t *cpu) {
    const uint16_t address = z_fetch_word_high_first(cpu);
    cpu->A = z_read(cpu, address);
    z_done(cpu, 3, 13);
}

// LD (BC),A (02): 7 T-states.
void z_opcode_ld_bca(z_cpu_t *cpu) {
    z_write(cpu, cpu->BC, cpu->A);
    z_done(cpu, 1, 7);
}

// LD (DE),A (12): 7 T-states.
void z_opcode_ld_dea(z_cpu_t *cpu) {
    z_write(cpu, cpu->DE, cpu->A);
    z_done(cpu, 1, 7);
}

// LD (nn),A (32 lo hi): 13 T-states.
void z_opcode_ld_mnna(z_cpu_t *cpu) {
    const uint16_t address = z_fetch_word_high_first(cpu);
    z_write(cpu, address, cpu->A);
    z_done(cpu, 3, 13);
}

static inline void z_ld_a_special(z_cpu_t *cpu, uint8_t v) {
    cpu->A = v;
    cpu->F = static_cast<uint8_t>((v & S_FLAG) | (v == 0 ? Z_FLAG : 0) | (cpu->iff2 ? PV_FLAG : 0) |
                                  (cpu->F & (F5_FLAG | F3_FLAG | C_FLAG)));
    z_done(cpu, 2, 9);
}

// LD A,I (ED 57): 9 T-states.
void z_opcode_ld_ai(z_cpu_t *cpu) {
    z_ld_a_special(cpu, cpu->I);
}
// LD A,R (ED 5F): 9 T-states; R has already been refreshed for this instruction.
void z_opcode_ld_ar(z_cpu_t *cpu) {
    z_ld_a_special(cpu, cpu->R);
}

// LD I,A (ED 47): 9 T-states.
void z_opcode_ld_ia(z_cpu_t *cpu) {
    cpu->I = cpu->A;
    z_done(cpu, 2, 9);
}

// LD R,A (ED 4F): 9 T-states.
void z_opcode_ld_ra(z_cpu_t *cpu) {
    cpu->R = cpu->A;
    z_done(cpu, 2, 9);
}
