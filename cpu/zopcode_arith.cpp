// 8-bit arithmetic and logic group.
//
//   op      r       n        (HL)    (IX+d)        flags
//   ADD A   80+r 4  C6 n 7   86 7    DD 86 d 19    S Z H V N=0 C
//   ADC A   88+r    CE n     8E      DD 8E d       S Z H V N=0 C   (adds the carry)
//   SUB     90+r    D6 n     96      DD 96 d       S Z H V N=1 C
//   SBC A   98+r    DE n     9E      DD 9E d       S Z H V N=1 C   (subtracts the carry)
//   AND     A0+r    E6 n     A6      DD A6 d       S Z H=1 P N=0 C=0
//   XOR     A8+r    EE n     AE      DD AE d       S Z H=0 P N=0 C=0
//   OR      B0+r    F6 n     B6      DD B6 d       S Z H=0 P N=0 C=0
//   CP      B8+r    FE n     BE      DD BE d       as SUB, A unchanged
//   INC     04+8r 4          34 11   DD 34 d 23    S Z H V(old=7F) N=0, C kept
//   DEC     05+8r 4          35 11   DD 35 d 23    S Z H V(old=80) N=1, C kept
// (IY forms: FD instead of DD.) Bits 5 and 3 of F are never changed.
#include "cpu/zopcode.h"

static inline void z_alu_add(z_cpu_t *cpu, uint8_t s) {
    const uint32_t sum = static_cast<uint32_t>(cpu->A) + s;
    z_opcode_set_flags_after_add(cpu->F, cpu->A, s, sum);
    cpu->A = static_cast<uint8_t>(sum);
}

static inline void z_alu_adc(z_cpu_t *cpu, uint8_t s) {
    const uint32_t sum = static_cast<uint32_t>(cpu->A) + s + (cpu->F & C_FLAG);
    z_opcode_set_flags_after_add(cpu->F, cpu->A, s, sum);
    cpu->A = static_cast<uint8_t>(sum);
}

static inline void z_alu_sub(z_cpu_t *cpu, uint8_t s) {
    const int32_t diff = static_cast<int32_t>(cpu->A) - s;
    z_opcode_set_flags_after_sub(cpu->F, cpu->A, s, diff);
    cpu->A = static_cast<uint8_t>(diff);
}

static inline void z_alu_sbc(z_cpu_t *cpu, uint8_t s) {
    const int32_t diff = static_cast<int32_t>(cpu->A) - s - (cpu->F & C_FLAG);
    z_opcode_set_flags_after_sub(cpu->F, cpu->A, s, diff);
    cpu->A = static_cast<uint8_t>(diff);
}

static inline void z_alu_and(z_cpu_t *cpu, uint8_t s) {
    cpu->A &= s;
    z_opcode_set_flags_after_and(cpu);
}

static inline void z_alu_xor(z_cpu_t *cpu, uint8_t s) {
    cpu->A ^= s;
    z_opcode_set_flags_after_or_xor(cpu);
}

static inline void z_alu_or(z_cpu_t *cpu, uint8_t s) {
    cpu->A |= s;
    z_opcode_set_flags_after_or_xor(cpu);
}

static inline void z_alu_cp(z_cpu_t *cpu, uint8_t s) {
    z_opcode_set_flags_after_sub(cpu->F, cpu->A, s, static_cast<int32_t>(cpu->A) - s);
}

// ADD A,r (80+r): 4 T-states.
void z_opcode_add_a_r(z_cpu_t *cpu, uint8_t opcode) {
    const uint8_t *s = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_low(opcode));
    if (!s) return;
    z_alu_add(cpu, *s);
    z_done(cpu, 1, 4);
}

// ADD A,n (C6 n): 7 T-states.
void z_opcode_add_a_n(z_cpu_t *cpu) {
    z_alu_add(cpu, z_fetch(cpu, 1));
    z_done(cpu, 2, 7);
}

// ADD A,(HL) (86): 7 T-states.
void z_opcode_add_a_hl(z_cpu_t *cpu) {
    z_alu_add(cpu, z_read(cpu, cpu->HL));
    z_done(cpu, 1, 7);
}

// ADD A,(IX+d) (DD 86 d): 19 T-states.
void z_opcode_add_a_ixd(z_cpu_t *cpu) {
    z_alu_add(cpu, z_read(cpu, z_index_address(cpu, cpu->IX)));
    z_done(cpu, 3, 19);
}

// ADD A,(IY+d) (FD 86 d): 19 T-states.
void z_opcode_add_a_iyd(z_cpu_t *cpu) {
    z_alu_add(cpu, z_read(cpu, z_index_address(cpu, cpu->IY)));
    z_done(cpu, 3, 19);
}

// ADC A,r (88+r): 4 T-states.
void z_opcode_adc_a_r(z_cpu_t *cpu, uint8_t opcode) {
    const uint8_t *s = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_low(opcode));
    if (!s) return;
    z_alu_adc(cpu, *s);
    z_done(cpu, 1, 4);
}

// ADC A,n (CE n): 7 T-states.
void z_opcode_adc_a_n(z_cpu_t *cpu) {
    z_alu_adc(cpu, z_fetch(cpu, 1));
    z_done(cpu, 2, 7);
}

// ADC A,(HL) (8E): 7 T-states.
void z_opcode_adc_a_hl(z_cpu_t *cpu) {
    z_alu_adc(cpu, z_read(cpu, cpu->HL));
    z_done(cpu, 1, 7);
}

// ADC A,(IX+d) (DD 8E d): 19 T-states.
void z_opcode_adc_a_ixd(z_cpu_t *cpu) {
    z_alu_adc(cpu, z_read(cpu, z_index_address(cpu, cpu->IX)));
    z_done(cpu, 3, 19);
}

// ADC A,(IY+d) (FD 8E d): 19 T-states.
void z_opcode_adc_a_iyd(z_cpu_t *cpu) {
    z_alu_adc(cpu, z_read(cpu, z_index_address(cpu, cpu->IY)));
    z_done(cpu, 3, 19);
}

// SUB r (90+r): 4 T-states.
void z_opcode_sub_r(z_cpu_t *cpu, uint8_t opcode) {
    const uint8_t *s = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_low(opcode));
    if (!s) return;
    z_alu_sub(cpu, *s);
    z_done(cpu, 1, 4);
}

// SUB n (D6 n): 7 T-states.
void z_opcode_sub_n(z_cpu_t *cpu) {
    z_alu_sub(cpu, z_fetch(cpu, 1));
    z_done(cpu, 2, 7);
}

// SUB (HL) (96): 7 T-states.
void z_opcode_sub_hl(z_cpu_t *cpu) {
    z_alu_sub(cpu, z_read(cpu, cpu->HL));
    z_done(cpu, 1, 7);
}

// SUB (IX+d) (DD 96 d): 19 T-states.
void z_opcode_sub_ixd(z_cpu_t *cpu) {
    z_alu_sub(cpu, z_read(cpu, z_index_address(cpu, cpu->IX)));
    z_done(cpu, 3, 19);
}

// SUB (IY+d) (FD 96 d): 19 T-states.
void z_opcode_sub_iyd(z_cpu_t *cpu) {
    z_alu_sub(cpu, z_read(cpu, z_index_address(cpu, cpu->IY)));
    z_done(cpu, 3, 19);
}

// SBC A,r (98+r): 4 T-states.
void z_opcode_sbc_a_r(z_cpu_t *cpu, uint8_t opcode) {
    const uint8_t *s = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_low(opcode));
    if (!s) return;
    z_alu_sbc(cpu, *s);
    z_done(cpu, 1, 4);
}

// SBC A,n (DE n): 7 T-states.
void z_opcode_sbc_a_n(z_cpu_t *cpu) {
    z_alu_sbc(cpu, z_fetch(cpu, 1));
    z_done(cpu, 2, 7);
}

// SBC A,(HL) (9E): 7 T-states.
void z_opcode_sbc_a_hl(z_cpu_t *cpu) {
    z_alu_sbc(cpu, z_read(cpu, cpu->HL));
    z_done(cpu, 1, 7);
}

// SBC A,(IX+d) (DD 9E d): 19 T-states.
void z_opcode_sbc_a_ixd(z_cpu_t *cpu) {
    z_alu_sbc(cpu, z_read(cpu, z_index_address(cpu, cpu->IX)));
    z_done(cpu, 3, 19);
}

// SBC A,(IY+d) (FD 9E d): 19 T-states.
void z_opcode_sbc_a_iyd(z_cpu_t *cpu) {
    z_alu_sbc(cpu, z_read(cpu, z_index_address(cpu, cpu->IY)));
    z_done(cpu, 3, 19);
}

// AND r (A0+r): 4 T-states.
void z_opcode_and_r(z_cpu_t *cpu, uint8_t opcode) {
    const uint8_t *s = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_low(opcode));
    if (!s) return;
    z_alu_and(cpu, *s);
    z_done(cpu, 1, 4);
}

// AND n (E6 n): 7 T-states.
void z_opcode_and_n(z_cpu_t *cpu) {
    z_alu_and(cpu, z_fetch(cpu, 1));
    z_done(cpu, 2, 7);
}

// AND (HL) (A6): 7 T-states.
void z_opcode_and_hl(z_cpu_t *cpu) {
    z_alu_and(cpu, z_read(cpu, cpu->HL));
    z_done(cpu, 1, 7);
}

// AND (IX+d) (DD A6 d): 19 T-states.
void z_opcode_and_ixd(z_cpu_t *cpu) {
    z_alu_and(cpu, z_read(cpu, z_index_address(cpu, cpu->IX)));
    z_done(cpu, 3, 19);
}

// AND (IY+d) (FD A6 d): 19 T-states.
void z_opcode_and_iyd(z_cpu_t *cpu) {
    z_alu_and(cpu, z_read(cpu, z_index_address(cpu, cpu->IY)));
    z_done(cpu, 3, 19);
}

// XOR r (A8+r): 4 T-states.
void z_opcode_xor_r(z_cpu_t *cpu, uint8_t opcode) {
    const uint8_t *s = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_low(opcode));
    if (!s) return;
    z_alu_xor(cpu, *s);
    z_done(cpu, 1, 4);
}

// XOR n (EE n): 7 T-states.
void z_opcode_xor_n(z_cpu_t *cpu) {
    z_alu_xor(cpu, z_fetch(cpu, 1));
    z_done(cpu, 2, 7);
}

// XOR (HL) (AE): 7 T-states.
void z_opcode_xor_hl(z_cpu_t *cpu) {
    z_alu_xor(cpu, z_read(cpu, cpu->HL));
    z_done(cpu, 1, 7);
}

// XOR (IX+d) (DD AE d): 19 T-states.
void z_opcode_xor_ixd(z_cpu_t *cpu) {
    z_alu_xor(cpu, z_read(cpu, z_index_address(cpu, cpu->IX)));
    z_done(cpu, 3, 19);
}

// XOR (IY+d) (FD AE d): 19 T-states.
void z_opcode_xor_iyd(z_cpu_t *cpu) {
    z_alu_xor(cpu, z_read(cpu, z_index_address(cpu, cpu->IY)));
    z_done(cpu, 3, 19);
}

// OR r (B0+r): 4 T-states.
void z_opcode_or_r(z_cpu_t *cpu, uint8_t opcode) {
    const uint8_t *s = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_low(opcode));
    if (!s) return;
    z_alu_or(cpu, *s);
    z_done(cpu, 1, 4);
}

// OR n (F6 n): 7 T-states.
void z_opcode_or_n(z_cpu_t *cpu) {
    z_alu_or(cpu, z_fetch(cpu, 1));
    z_done(cpu, 2, 7);
}

// OR (HL) (B6): 7 T-states.
void z_opcode_or_hl(z_cpu_t *cpu) {
    z_alu_or(cpu, z_read(cpu, cpu->HL));
    z_done(cpu, 1, 7);
}

// OR (IX+d) (DD B6 d): 19 T-states.
void z_opcode_or_ixd(z_cpu_t *cpu) {
    z_alu_or(cpu, z_read(cpu, z_index_address(cpu, cpu->IX)));
    z_done(cpu, 3, 19);
}

// OR (IY+d) (FD B6 d): 19 T-states.
void z_opcode_or_iyd(z_cpu_t *cpu) {
    z_alu_or(cpu, z_read(cpu, z_index_address(cpu, cpu->IY)));
    z_done(cpu, 3, 19);
}

// CP r (B8+r): 4 T-states.
void z_opcode_cp_r(z_cpu_t *cpu, uint8_t opcode) {
    const uint8_t *s = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_low(opcode));
    if (!s) return;
    z_alu_cp(cpu, *s);
    z_done(cpu, 1, 4);
}

// CP n (FE n): 7 T-states.
void z_opcode_cp_n(z_cpu_t *cpu) {
    z_alu_cp(cpu, z_fetch(cpu, 1));
    z_done(cpu, 2, 7);
}

// CP (HL) (BE): 7 T-states.
void z_opcode_cp_hl(z_cpu_t *cpu) {
    z_alu_cp(cpu, z_read(cpu, cpu->HL));
    z_done(cpu, 1, 7);
}

// CP (IX+d) (DD BE d): 19 T-states.
void z_opcode_cp_ixd(z_cpu_t *cpu) {
    z_alu_cp(cpu, z_read(cpu, z_index_address(cpu, cpu->IX)));
    z_done(cpu, 3, 19);
}

// CP (IY+d) (FD BE d): 19 T-states.
void z_opcode_cp_iyd(z_cpu_t *cpu) {
    z_alu_cp(cpu, z_read(cpu, z_index_address(cpu, cpu->IY)));
    z_done(cpu, 3, 19);
}

static inline uint8_t z_inc(z_cpu_t *cpu, uint8_t old) {
    const uint8_t r = static_cast<uint8_t>(old + 1);
    z_opcode_set_flags_after_inc(cpu->F, old, r);
    return r;
}

static inline uint8_t z_dec(z_cpu_t *cpu, uint8_t old) {
    const uint8_t r = static_cast<uint8_t>(old - 1);
    z_opcode_set_flags_after_dec(cpu->F, old, r);
    return r;
}

// INC r (00rrr100): 4 T-states.
void z_opcode_inc_r(z_cpu_t *cpu, uint8_t opcode) {
    uint8_t *reg = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_high(opcode));
    if (!reg) return;
    *reg = z_inc(cpu, *reg);
    z_done(cpu, 1, 4);
}

// DEC r (00rrr101): 4 T-states.
void z_opcode_dec_r(z_cpu_t *cpu, uint8_t opcode) {
    uint8_t *reg = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_high(opcode));
    if (!reg) return;
    *reg = z_dec(cpu, *reg);
    z_done(cpu, 1, 4);
}

// INC (HL) (34): 11 T-states.
void z_opcode_inc_hl(z_cpu_t *cpu) {
    z_write(cpu, cpu->HL, z_inc(cpu, z_read(cpu, cpu->HL)));
    z_done(cpu, 1, 11);
}

// DEC (HL) (35): 11 T-states.
void z_opcode_dec_hl(z_cpu_t *cpu) {
    z_write(cpu, cpu->HL, z_dec(cpu, z_read(cpu, cpu->HL)));
    z_done(cpu, 1, 11);
}

// INC (IX+d) (DD 34 d): 23 T-states.
void z_opcode_inc_ixd(z_cpu_t *cpu) {
    const uint16_t address = z_index_address(cpu, cpu->IX);
    z_write(cpu, address, z_inc(cpu, z_read(cpu, address)));
    z_done(cpu, 3, 23);
}

// INC (IY+d) (FD 34 d): 23 T-states.
void z_opcode_inc_iyd(z_cpu_t *cpu) {
    const uint16_t address = z_index_address(cpu, cpu->IY);
    z_write(cpu, address, z_inc(cpu, z_read(cpu, address)));
    z_done(cpu, 3, 23);
}

// DEC (IX+d) (DD 35 d): 23 T-states.
void z_opcode_dec_ixd(z_cpu_t *cpu) {
    const uint16_t address = z_index_address(cpu, cpu->IX);
    z_write(cpu, address, z_dec(cpu, z_read(cpu, address)));
    z_done(cpu, 3, 23);
}

// DEC (IY+d) (FD 35 d): 23 T-states.
void z_opcode_dec_iyd(z_cpu_t *cpu) {
    const uint16_t address = z_index_address(cpu, cpu->IY);
    z_write(cpu, address, z_dec(cpu, z_read(cpu, address)));
    z_done(cpu, 3, 23);
}
