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
template <uint8_t (*op)(uint8_t, uint8_t, uint8_t &)>
static inline void z_rotate_accumulator(z_cpu_t *cpu) {
    uint8_t carry;
    cpu->A = op(cpu->A, cpu->F & C_FLAG, carry);
    cpu->F = static_cast<uint8_t>((cpu->F & ~(H_FLAG | N_FLAG | C_FLAG)) | carry);
    z_done(cpu, 1, 4);
}

// RLCA (07): 4 T-states.
void z_opcode_rlca(z_cpu_t *cpu) {
    z_rotate_accumulator<z_rlc>(cpu);
}

// RRCA (0F): 4 T-states.
void z_opcode_rrca(z_cpu_t *cpu) {
    z_rotate_accumulator<z_rrc>(cpu);
}

// RLA (17): 4 T-states.
void z_opcode_rla(z_cpu_t *cpu) {
    z_rotate_accumulator<z_rl>(cpu);
}

// RRA (1F): 4 T-states.
void z_opcode_rra(z_cpu_t *cpu) {
    z_rotate_accumulator<z_rr>(cpu);
}

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

// The register form; r = 6 cannot come from the decoder and is reported by the selector.
template <uint8_t (*op)(uint8_t, uint8_t, uint8_t &)>
static inline void z_shift_register(z_cpu_t *cpu, uint8_t opcode) {
    uint8_t *reg = z_opcode_get_register_ptr_by_r_index(cpu, z_field_r_low(opcode));
    if (!reg) return;
    *reg = z_shift<op>(cpu, *reg);
    z_done(cpu, 2, 8);
}

// RLC r (CB 00+r): 8 T-states.
void z_opcode_rlc_r(z_cpu_t *cpu, uint8_t opcode) {
    z_shift_register<z_rlc>(cpu, opcode);
}

// RLC (HL) (CB 06): 15 T-states.
void z_opcode_rlc_hl(z_cpu_t *cpu) {
    z_shift_memory<z_rlc>(cpu, cpu->HL);
    z_done(cpu, 2, 15);
}

// RLC (IX+d) (DD CB d 06): 23 T-states.
void z_opcode_rlc_ixd(z_cpu_t *cpu) {
    z_shift_memory<z_rlc>(cpu, z_index_address(cpu, cpu->IX));
    z_done(cpu, 4, 23);
}

// RLC (IY+d) (FD CB d 06): 23 T-states.
void z_opcode_rlc_iyd(z_cpu_t *cpu) {
    z_shift_memory<z_rlc>(cpu, z_index_address(cpu, cpu->IY));
    z_done(cpu, 4, 23);
}

// RRC r (CB 08+r): 8 T-states.
void z_opcode_rrc_r(z_cpu_t *cpu, uint8_t opcode) {
    z_shift_register<z_rrc>(cpu, opcode);
}

// RRC (HL) (CB 0E): 15 T-states.
void z_opcode_rrc_hl(z_cpu_t *cpu) {
    z_shift_memory<z_rrc>(cpu, cpu->HL);
    z_done(cpu, 2, 15);
}

// RRC (IX+d) (DD CB d 0E): 23 T-states.
void z_opcode_rrc_ixd(z_cpu_t *cpu) {
    z_shift_memory<z_rrc>(cpu, z_index_address(cpu, cpu->IX));
    z_done(cpu, 4, 23);
}

// RRC (IY+d) (FD CB d 0E): 23 T-states.
void z_opcode_rrc_iyd(z_cpu_t *cpu) {
    z_shift_memory<z_rrc>(cpu, z_index_address(cpu, cpu->IY));
    z_done(cpu, 4, 23);
}

// RL r (CB 10+r): 8 T-states.
void z_opcode_rl_r(z_cpu_t *cpu, uint8_t opcode) {
    z_shift_register<z_rl>(cpu, opcode);
}

// RL (HL) (CB 16): 15 T-states.
void z_opcode_rl_hl(z_cpu_t *cpu) {
    z_shift_memory<z_rl>(cpu, cpu->HL);
    z_done(cpu, 2, 15);
}

// RL (IX+d) (DD CB d 16): 23 T-states.
void z_opcode_rl_ixd(z_cpu_t *cpu) {
    z_shift_memory<z_rl>(cpu, z_index_address(cpu, cpu->IX));
    z_done(cpu, 4, 23);
}

// RL (IY+d) (FD CB d 16): 23 T-states.
void z_opcode_rl_iyd(z_cpu_t *cpu) {
    z_shift_memory<z_rl>(cpu, z_index_address(cpu, cpu->IY));
    z_done(cpu, 4, 23);
}

// RR r (CB 18+r): 8 T-states.
void z_opcode_rr_r(z_cpu_t *cpu, uint8_t opcode) {
    z_shift_register<z_rr>(cpu, opcode);
}

// RR (HL) (CB 1E): 15 T-states.
void z_opcode_rr_hl(z_cpu_t *cpu) {
    z_shift_memory<z_rr>(cpu, cpu->HL);
    z_done(cpu, 2, 15);
}

// RR (IX+d) (DD CB d 1E): 23 T-states.
void z_opcode_rr_ixd(z_cpu_t *cpu) {
    z_shift_memory<z_rr>(cpu, z_index_address(cpu, cpu->IX));
    z_done(cpu, 4, 23);
}

// RR (IY+d) (FD CB d 1E): 23 T-states.
void z_opcode_rr_iyd(z_cpu_t *cpu) {
    z_shift_memory<z_rr>(cpu, z_index_address(cpu, cpu->IY));
    z_done(cpu, 4, 23);
}

// SLA r (CB 20+r): 8 T-states.
void z_opcode_sla_r(z_cpu_t *cpu, uint8_t opcode) {
    z_shift_register<z_sla>(cpu, opcode);
}

// SLA (HL) (CB 26): 15 T-states.
void z_opcode_sla_hl(z_cpu_t *cpu) {
    z_shift_memory<z_sla>(cpu, cpu->HL);
    z_done(cpu, 2, 15);
}

// SLA (IX+d) (DD CB d 26): 23 T-states.
void z_opcode_sla_ixd(z_cpu_t *cpu) {
    z_shift_memory<z_sla>(cpu, z_index_address(cpu, cpu->IX));
    z_done(cpu, 4, 23);
}

// SLA (IY+d) (FD CB d 26): 23 T-states.
void z_opcode_sla_iyd(z_cpu_t *cpu) {
    z_shift_memory<z_sla>(cpu, z_index_address(cpu, cpu->IY));
    z_done(cpu, 4, 23);
}

// SRA r (CB 28+r): 8 T-states.
void z_opcode_sra_r(z_cpu_t *cpu, uint8_t opcode) {
    z_shift_register<z_sra>(cpu, opcode);
}

// SRA (HL) (CB 2E): 15 T-states.
void z_opcode_sra_hl(z_cpu_t *cpu) {
    z_shift_memory<z_sra>(cpu, cpu->HL);
    z_done(cpu, 2, 15);
}

// SRA (IX+d) (DD CB d 2E): 23 T-states.
void z_opcode_sra_ixd(z_cpu_t *cpu) {
    z_shift_memory<z_sra>(cpu, z_index_address(cpu, cpu->IX));
    z_done(cpu, 4, 23);
}

// SRA (IY+d) (FD CB d 2E): 23 T-states.
void z_opcode_sra_iyd(z_cpu_t *cpu) {
    z_shift_memory<z_sra>(cpu, z_index_address(cpu, cpu->IY));
    z_done(cpu, 4, 23);
}

// SRL r (CB 38+r): 8 T-states.
void z_opcode_srl_r(z_cpu_t *cpu, uint8_t opcode) {
    z_shift_register<z_srl>(cpu, opcode);
}

// SRL (HL) (CB 3E): 15 T-states.
void z_opcode_srl_hl(z_cpu_t *cpu) {
    z_shift_memory<z_srl>(cpu, cpu->HL);
    z_done(cpu, 2, 15);
}

// SRL (IX+d) (DD CB d 3E): 23 T-states.
void z_opcode_srl_ixd(z_cpu_t *cpu) {
    z_shift_memory<z_srl>(cpu, z_index_address(cpu, cpu->IX));
    z_done(cpu, 4, 23);
}

// SRL (IY+d) (FD CB d 3E): 23 T-states.
void z_opcode_srl_iyd(z_cpu_t *cpu) {
    z_shift_memory<z_srl>(cpu, z_index_address(cpu, cpu->IY));
    z_done(cpu, 4, 23);
}

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
