// Bit test, set and reset group. The opcode carries the bit number in bits 5-3.
//
//   BIT b,r / (HL) / (IX+d)   CB 40+8b+r 8 / CB 46+8b 12 / DD CB d 46+8b 20
//     Z = NOT bit, H = 1, N = 0; S, P/V, C, 5, 3 kept
//   SET b,r / (HL) / (IX+d)   CB C0+8b+r 8 / CB C6+8b 15 / DD CB d C6+8b 23   no flags
//   RES b,r / (HL) / (IX+d)   CB 80+8b+r 8 / CB 86+8b 15 / DD CB d 86+8b 23   no flags
// (IY forms: FD instead of DD.)
#include "cpu/zopcode.h"

static inline uint8_t z_bit_mask(uint8_t opcode) {
    return static_cast<uint8_t>(1u << z_field_r_high(opcode));
}

static inline void z_bit_test(z_cpu_t *cpu, uint8_t opcode, uint8_t v) {
    cpu->F =
        static_cast<uint8_t>((cpu->F & 0xAD) | H_FLAG | ((v & z_bit_mask(opcode)) ? 0 : Z_FLAG));
}

// BIT b,r (CB 01bbbrrr): 8 T-states.
void z_opcode_bit_b_r(z_cpu_t *cpu, uint8_t opcode) {
    const uint8_t *reg = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_low(opcode));
    if (!reg) return;
    z_bit_test(cpu, opcode, *reg);
    z_done(cpu, 2, 8);
}

// BIT b,(HL) (CB 01bbb110): 12 T-states.
void z_opcode_bit_b_hl(z_cpu_t *cpu, uint8_t opcode) {
    z_bit_test(cpu, opcode, z_read(cpu, cpu->HL));
    z_done(cpu, 2, 12);
}

// BIT b,(IX+d) (DD CB d 01bbb110): 20 T-states.
void z_opcode_bit_b_ixd(z_cpu_t *cpu, uint8_t opcode) {
    z_bit_test(cpu, opcode, z_read(cpu, z_index_address(cpu, cpu->IX)));
    z_done(cpu, 4, 20);
}

// BIT b,(IY+d) (FD CB d 01bbb110): 20 T-states.
void z_opcode_bit_b_iyd(z_cpu_t *cpu, uint8_t opcode) {
    z_bit_test(cpu, opcode, z_read(cpu, z_index_address(cpu, cpu->IY)));
    z_done(cpu, 4, 20);
}

static inline uint8_t z_set(uint8_t opcode, uint8_t v) {
    return static_cast<uint8_t>(v | z_bit_mask(opcode));
}

static inline uint8_t z_res(uint8_t opcode, uint8_t v) {
    return static_cast<uint8_t>(v & ~z_bit_mask(opcode));
}

// The memory forms of SET and RES write the changed byte back to the address they read.
template <uint8_t (*change)(uint8_t, uint8_t)>
static inline void z_change_memory(z_cpu_t *cpu, uint8_t opcode, uint16_t address) {
    z_write(cpu, address, change(opcode, z_read(cpu, address)));
}

template <uint8_t (*change)(uint8_t, uint8_t)>
static inline void z_change_register(z_cpu_t *cpu, uint8_t opcode) {
    uint8_t *reg = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_low(opcode));
    if (!reg) return;
    *reg = change(opcode, *reg);
    z_done(cpu, 2, 8);
}

// SET b,r (CB C0+8b+r): 8 T-states.
void z_opcode_set_b_r(z_cpu_t *cpu, uint8_t opcode) {
    z_change_register<z_set>(cpu, opcode);
}

// SET b,(HL) (CB C6+8b): 15 T-states.
void z_opcode_set_b_hl(z_cpu_t *cpu, uint8_t opcode) {
    z_change_memory<z_set>(cpu, opcode, cpu->HL);
    z_done(cpu, 2, 15);
}

// SET b,(IX+d) (DD CB d C6+8b): 23 T-states.
void z_opcode_set_b_ixd(z_cpu_t *cpu, uint8_t opcode) {
    z_change_memory<z_set>(cpu, opcode, z_index_address(cpu, cpu->IX));
    z_done(cpu, 4, 23);
}

// SET b,(IY+d) (FD CB d C6+8b): 23 T-states.
void z_opcode_set_b_iyd(z_cpu_t *cpu, uint8_t opcode) {
    z_change_memory<z_set>(cpu, opcode, z_index_address(cpu, cpu->IY));
    z_done(cpu, 4, 23);
}

// RES b,r (CB 80+8b+r): 8 T-states.
void z_opcode_res_b_r(z_cpu_t *cpu, uint8_t opcode) {
    z_change_register<z_res>(cpu, opcode);
}

// RES b,(HL) (CB 86+8b): 15 T-states.
void z_opcode_res_b_hl(z_cpu_t *cpu, uint8_t opcode) {
    z_change_memory<z_res>(cpu, opcode, cpu->HL);
    z_done(cpu, 2, 15);
}

// RES b,(IX+d) (DD CB d 86+8b): 23 T-states.
void z_opcode_res_b_ixd(z_cpu_t *cpu, uint8_t opcode) {
    z_change_memory<z_res>(cpu, opcode, z_index_address(cpu, cpu->IX));
    z_done(cpu, 4, 23);
}

// RES b,(IY+d) (FD CB d 86+8b): 23 T-states.
void z_opcode_res_b_iyd(z_cpu_t *cpu, uint8_t opcode) {
    z_change_memory<z_res>(cpu, opcode, z_index_address(cpu, cpu->IY));
    z_done(cpu, 4, 23);
}
