// 16-bit arithmetic group.
//
//   ADD HL,ss  09+16ss     11   H (carry from bit 11), N = 0, C
//   ADC HL,ss  ED 4A+16ss  15   S Z H V N=0 C
//   SBC HL,ss  ED 42+16ss  15   S Z H V N=1 C
//   ADD IX,pp  DD 09+16pp  15   H N=0 C       ADD IY,rr  FD 09+16rr  15
//   INC ss / DEC ss  03+16ss / 0B+16ss  6, no flags
//   INC IX / DEC IX  DD 23 / DD 2B      10, no flags (IY: FD)
#include "cpu/zopcode.h"

// The additions that only touch H, N and C.
static inline uint16_t z_add16(z_cpu_t *cpu, uint16_t a, uint16_t v) {
    const uint32_t sum = static_cast<uint32_t>(a) + v;
    cpu->F = static_cast<uint8_t>((cpu->F & (S_FLAG | Z_FLAG | F5_FLAG | F3_FLAG | PV_FLAG)) |
                                  (((a ^ v ^ sum) >> 8) & H_FLAG) | ((sum >> 16) & C_FLAG));
    return static_cast<uint16_t>(sum);
}

// ADD HL,ss (00ss1001): 11 T-states.
void z_opcode_add_hlss(z_cpu_t *cpu, uint8_t opcode) {
    const uint16_t *src = z_opcode_get_register_ptr_by_dd_index(cpu, z_field_pair(opcode));
    if (!src) return;
    cpu->HL = z_add16(cpu, cpu->HL, *src);
    z_done(cpu, 1, 11);
}

// ADD IX,pp (DD 00pp1001): 15 T-states.
void z_opcode_add_ixpp(z_cpu_t *cpu, uint8_t opcode) {
    const uint16_t *src = z_opcode_get_register_ptr_by_pp_index(cpu, z_field_pair(opcode));
    if (!src) return;
    cpu->IX = z_add16(cpu, cpu->IX, *src);
    z_done(cpu, 2, 15);
}

// ADD IY,rr (FD 00rr1001): 15 T-states.
void z_opcode_add_iyrr(z_cpu_t *cpu, uint8_t opcode) {
    const uint16_t *src = z_opcode_get_register_ptr_by_rr_index(cpu, z_field_pair(opcode));
    if (!src) return;
    cpu->IY = z_add16(cpu, cpu->IY, *src);
    z_done(cpu, 2, 15);
}

// ADC HL,ss (ED 01ss1010): 15 T-states.
void z_opcode_adc_hlss(z_cpu_t *cpu, uint8_t opcode) {
    const uint16_t *src = z_opcode_get_register_ptr_by_dd_index(cpu, z_field_pair(opcode));
    if (!src) return;
    const uint32_t hl = cpu->HL, v = *src;
    const uint32_t sum = hl + v + (cpu->F & C_FLAG);
    cpu->F = static_cast<uint8_t>(
        (cpu->F & (F5_FLAG | F3_FLAG)) | ((sum >> 8) & S_FLAG) |
        ((sum & 0xFFFF) == 0 ? Z_FLAG : 0) | (((hl ^ v ^ sum) >> 8) & H_FLAG) |
        ((~(hl ^ v) & (hl ^ sum) & 0x8000) ? PV_FLAG : 0) | ((sum >> 16) & C_FLAG));
    cpu->HL = static_cast<uint16_t>(sum);
    z_done(cpu, 2, 15);
}

// SBC HL,ss (ED 01ss0010): 15 T-states.
void z_opcode_sbc_hlss(z_cpu_t *cpu, uint8_t opcode) {
    const uint16_t *src = z_opcode_get_register_ptr_by_dd_index(cpu, z_field_pair(opcode));
    if (!src) return;
    const uint32_t hl = cpu->HL, v = *src;
    const uint32_t diff = hl - v - (cpu->F & C_FLAG); // two's complement: bit 16 is the borrow
    cpu->F = static_cast<uint8_t>(
        (cpu->F & (F5_FLAG | F3_FLAG)) | ((diff >> 8) & S_FLAG) |
        ((diff & 0xFFFF) == 0 ? Z_FLAG : 0) | (((hl ^ v ^ diff) >> 8) & H_FLAG) |
        (((hl ^ v) & (hl ^ diff) & 0x8000) ? PV_FLAG : 0) | N_FLAG | ((diff >> 16) & C_FLAG));
    cpu->HL = static_cast<uint16_t>(diff);
    z_done(cpu, 2, 15);
}

// INC ss (00ss0011): 6 T-states.
void z_opcode_inc_ss(z_cpu_t *cpu, uint8_t opcode) {
    uint16_t *reg = z_opcode_get_register_ptr_by_dd_index(cpu, z_field_pair(opcode));
    if (!reg) return;
    ++*reg;
    z_done(cpu, 1, 6);
}

// DEC ss (00ss1011): 6 T-states.
void z_opcode_dec_ss(z_cpu_t *cpu, uint8_t opcode) {
    uint16_t *reg = z_opcode_get_register_ptr_by_dd_index(cpu, z_field_pair(opcode));
    if (!reg) return;
    --*reg;
    z_done(cpu, 1, 6);
}

// INC IX (DD 23): 10 T-states.
void z_opcode_inc_ix(z_cpu_t *cpu) {
    ++cpu->IX;
    z_done(cpu, 2, 10);
}

// INC IY (FD 23): 10 T-states.
void z_opcode_inc_iy(z_cpu_t *cpu) {
    ++cpu->IY;
    z_done(cpu, 2, 10);
}

// DEC IX (DD 2B): 10 T-states.
void z_opcode_dec_ix(z_cpu_t *cpu) {
    --cpu->IX;
    z_done(cpu, 2, 10);
}

// DEC IY (FD 2B): 10 T-states.
void z_opcode_dec_iy(z_cpu_t *cpu) {
    --cpu->IY;
    z_done(cpu, 2, 10);
}
