// Rotate and shift group.
//
//   RLCA RRCA RLA RRA   07 0F 17 1F        4   C = bit out, H = N = 0; S Z P/V kept
//   RLC  r / (HL) / (IX+d)   CB 00+r 8 / CB 06 15 / DD CB d 06 23
//   RRC                      CB 08+r   / CB 0E    / DD CB d 0E
//   RL                       CB 10+r   / CB 16    / DD CB d 16
//   RR                       CB 18+r   / CB 1E    / DD CB d 1E
//   SLA                      CB 20+r   / CB 26    / DD CB d 26
//   SRA                      CB 28+r   / CB 2E    / DD CB d 2E
//   SRL                      CB 38+r   / CB 3E    / DD CB d 3E
//     all: S Z P/V from the result, H = N = 0, C = bit out
//   RLD / RRD   ED 6F / ED 67   18   S Z P/V from the new A, H = N = 0, C kept
// (IY forms: FD instead of DD.) Bits 5 and 3 of F are never changed.
#include "cpu/zopcode.h"

// Each operation returns the 8-bit result and leaves the bit shifted out in `carry`.
static inline uint8_t z_rlc(uint8_t v, uint8_t, uint8_t &carry) {
    carry = v >> 7;
    return static_cast<uint8_t>(v << 1 | carry);
}

static inline uint8_t z_rrc(uint8_t v, uint8_t, uint8_t &carry) {
    carry = v & 1;
    return static_cast<uint8_t>(v >> 1 | carry << 7);
}

static inline uint8_t z_rl(uint8_t v, uint8_t carry_in, uint8_t &carry) {
    carry = v >> 7;
    return static_cast<uint8_t>(v << 1 | carry_in);
}

static inline uint8_t z_rr(uint8_t v, uint8_t carry_in, uint8_t &carry) {
    carry = v & 1;
    return static_cast<uint8_t>(v >> 1 | carry_in << 7);
}

static inline uint8_t z_sla(uint8_t v, uint8_t, uint8_t &carry) {
    carry = v >> 7;
    return static_cast<uint8_t>(v << 1);
}

static inline uint8_t z_sra(uint8_t v, uint8_t, uint8_t &carry) {
    carry = v & 1;
    return static_cast<uint8_t>(v >> 1 | (v & 0x80));
}

static inline uint8_t z_srl(uint8_t v, uint8_t, uint8_t &carry) {
    carry = v & 1;
    return static_cast<uint8_t>(v >> 1);
}

// The accumulator rotates write only C, H and N.
#define Z_ACCUMULATOR_ROTATE(name, op)                                                             \
    void name(z_cpu_t *cpu) {                                                                      \
        uint8_t carry;                                                                             \
        cpu->A = op(cpu->A, cpu->F & C_FLAG, carry);                                               \
        cpu->F = static_cast<uint8_t>((cpu->F & 0xEC) | carry);                                    \
        z_done(cpu, 1, 4);                                                                         \
    }

// RLCA (07): 4 T-states.
Z_ACCUMULATOR_ROTATE(z_opcode_rlca, z_rlc)
// RRCA (0F): 4 T-states.
Z_ACCUMULATOR_ROTATE(z_opcode_rrca, z_rrc)
// RLA (17): 4 T-states.
Z_ACCUMULATOR_ROTATE(z_opcode_rla, z_rl)
// RRA (1F): 4 T-states.
Z_ACCUMULATOR_ROTATE(z_opcode_rra, z_rr)

// One CB operation on a value: the result with C, S, Z, P/V set and H, N cleared.
template <uint8_t (*op)(uint8_t, uint8_t, uint8_t &)>
static inline uint8_t z_shift(z_cpu_t *cpu, uint8_t v) {
    uint8_t carry;
    const uint8_t result = op(v, cpu->F & C_FLAG, carry);
    cpu->F = static_cast<uint8_t>((cpu->F & ~C_FLAG) | carry);
    z_opcode_set_flags_after_shift_rotate(cpu->F, result);
    return result;
}

// Memory forms read the byte, set F and then write the result back to the same address only.
template <uint8_t (*op)(uint8_t, uint8_t, uint8_t &)>
static inline void z_shift_memory(z_cpu_t *cpu, uint16_t address) {
    z_write(cpu, address, z_shift<op>(cpu, z_read(cpu, address)));
}

// The four operand forms of one CB operation.
#define Z_SHIFT_FORMS(name, op)                                                                    \
    void z_opcode_##name##_r(z_cpu_t *cpu, uint8_t opcode) {                                       \
        uint8_t *reg = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_low(opcode));           \
        if (!reg) return;                                                                          \
        *reg = z_shift<op>(cpu, *reg);                                                             \
        z_done(cpu, 2, 8);                                                                         \
    }                                                                                              \
    void z_opcode_##name##_hl(z_cpu_t *cpu) {                                                      \
        z_shift_memory<op>(cpu, cpu->HL);                                                          \
        z_done(cpu, 2, 15);                                                                        \
    }                                                                                              \
    void z_opcode_##name##_ixd(z_cpu_t *cpu) {                                                     \
        z_shift_memory<op>(cpu, z_index_address(cpu, cpu->IX));                                    \
        z_done(cpu, 4, 23);                                                                        \
    }                                                                                              \
    void z_opcode_##name##_iyd(z_cpu_t *cpu) {                                                     \
        z_shift_memory<op>(cpu, z_index_address(cpu, cpu->IY));                                    \
        z_done(cpu, 4, 23);                                                                        \
    }

// RLC r 8, RLC (HL) 15, RLC (IX+d) / (IY+d) 23 T-states.
Z_SHIFT_FORMS(rlc, z_rlc)
// RRC r 8, RRC (HL) 15, RRC (IX+d) / (IY+d) 23 T-states.
Z_SHIFT_FORMS(rrc, z_rrc)
// RL r 8, RL (HL) 15, RL (IX+d) / (IY+d) 23 T-states.
Z_SHIFT_FORMS(rl, z_rl)
// RR r 8, RR (HL) 15, RR (IX+d) / (IY+d) 23 T-states.
Z_SHIFT_FORMS(rr, z_rr)
// SLA r 8, SLA (HL) 15, SLA (IX+d) / (IY+d) 23 T-states.
Z_SHIFT_FORMS(sla, z_sla)
// SRA r 8, SRA (HL) 15, SRA (IX+d) / (IY+d) 23 T-states.
Z_SHIFT_FORMS(sra, z_sra)
// SRL r 8, SRL (HL) 15, SRL (IX+d) / (IY+d) 23 T-states.
Z_SHIFT_FORMS(srl, z_srl)

// RLD (ED 6F): 18 T-states. Low digit of (HL) to its high digit, high digit to A's low digit,
// A's low digit to the low digit of (HL).
void z_opcode_rld(z_cpu_t *cpu) {
    const uint8_t m = z_read(cpu, cpu->HL);
    const uint8_t a = cpu->A;
    cpu->A = static_cast<uint8_t>((a & 0xF0) | (m >> 4));
    z_opcode_set_flags_after_shift_rotate(cpu->F, cpu->A);
    z_write(cpu, cpu->HL, static_cast<uint8_t>(m << 4 | (a & 0x0F)));
    z_done(cpu, 2, 18);
}

// RRD (ED 67): 18 T-states. Low digit of (HL) to A's low digit, A's low digit to the high digit
// of (HL), high digit of (HL) to its low digit.
void z_opcode_rrd(z_cpu_t *cpu) {
    const uint8_t m = z_read(cpu, cpu->HL);
    const uint8_t a = cpu->A;
    cpu->A = static_cast<uint8_t>((a & 0xF0) | (m & 0x0F));
    z_opcode_set_flags_after_shift_rotate(cpu->F, cpu->A);
    z_write(cpu, cpu->HL, static_cast<uint8_t>((a & 0x0F) << 4 | m >> 4));
    z_done(cpu, 2, 18);
}
