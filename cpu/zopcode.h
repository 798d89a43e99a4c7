// Internal header of the processor core: operand selectors, stack, conditions, flag helpers and
// the declarations of every instruction handler. All helpers are small and expanded in place.
#pragma once

#include <array>
#include <cstdint>

#include "cpu/zcpu.h"

// parity_table[v] is 1 when v has an even number of 1 bits (P/V = 1 means even parity).
inline constexpr std::array<uint8_t, 256> parity_table = [] {
    std::array<uint8_t, 256> table{};
    for (unsigned v = 0; v < 256; ++v) {
        unsigned ones = 0;
        for (unsigned bits = v; bits != 0; bits >>= 1)
            ones += bits & 1;
        table[v] = (ones % 2 == 0) ? 1 : 0;
    }
    return table;
}();

// ---------------------------------------------------------------------------------------------
// Bus access shorthands.

static inline uint8_t z_read(z_cpu_t *cpu, uint16_t address) {
    return cpu->mem_read(cpu, address);
}

static inline void z_write(z_cpu_t *cpu, uint16_t address, uint8_t value) {
    cpu->mem_write(cpu, address, value);
}

// The byte at PC + offset (the instruction's own operand bytes).
static inline uint8_t z_fetch(z_cpu_t *cpu, uint16_t offset) {
    return cpu->mem_read(cpu, static_cast<uint16_t>(cpu->PC + offset));
}

// A little-endian word at PC + offset: low byte first.
static inline uint16_t z_fetch_word(z_cpu_t *cpu, uint16_t offset) {
    const uint8_t lo = z_fetch(cpu, offset);
    const uint8_t hi = z_fetch(cpu, static_cast<uint16_t>(offset + 1));
    return static_cast<uint16_t>(hi << 8 | lo);
}

// (IX+d) or (IY+d): d is the signed byte at PC + 2, behind the prefix and the opcode.
static inline uint16_t z_index_address(z_cpu_t *cpu, uint16_t index) {
    const int8_t d = static_cast<int8_t>(z_fetch(cpu, 2));
    return static_cast<uint16_t>(index + d);
}

static inline void z_done(z_cpu_t *cpu, uint16_t length, uint8_t t_states) {
    cpu->PC = static_cast<uint16_t>(cpu->PC + length);
    cpu->cycles = t_states;
}

// ---------------------------------------------------------------------------------------------
// Operand selectors. Each returns the selected register, or reports the code through the
// exception callback and returns nullptr.

static inline uint8_t *z_opcode_get_register_ptr_by_r_index(z_cpu_t *cpu, uint8_t code) {
    switch (code) {
    case 0: return &cpu->B;
    case 1: return &cpu->C;
    case 2: return &cpu->D;
    case 3: return &cpu->E;
    case 4: return &cpu->H;
    case 5: return &cpu->L;
    case 7: return &cpu->A;
    default: cpu->exception(cpu, "Invalid r register selector"); return nullptr;
    }
}

static inline uint16_t *z_opcode_get_register_ptr_by_dd_index(z_cpu_t *cpu, uint8_t code) {
    switch (code) {
    case 0: return &cpu->BC;
    case 1: return &cpu->DE;
    case 2: return &cpu->HL;
    case 3: return &cpu->SP;
    default: cpu->exception(cpu, "Invalid dd register selector"); return nullptr;
    }
}

static inline uint16_t *z_opcode_get_register_ptr_by_qq_index(z_cpu_t *cpu, uint8_t code) {
    switch (code) {
    case 0: return &cpu->BC;
    case 1: return &cpu->DE;
    case 2: return &cpu->HL;
    case 3: return &cpu->AF;
    default: cpu->exception(cpu, "Invalid qq register selector"); return nullptr;
    }
}

static inline uint16_t *z_opcode_get_register_ptr_by_pp_index(z_cpu_t *cpu, uint8_t code) {
    switch (code) {
    case 0: return &cpu->BC;
    case 1: return &cpu->DE;
    case 2: return &cpu->IX;
    case 3: return &cpu->SP;
    default: cpu->exception(cpu, "Invalid pp register selector"); return nullptr;
    }
}

static inline uint16_t *z_opcode_get_register_ptr_by_rr_index(z_cpu_t *cpu, uint8_t code) {
    switch (code) {
    case 0: return &cpu->BC;
    case 1: return &cpu->DE;
    case 2: return &cpu->IY;
    case 3: return &cpu->SP;
    default: cpu->exception(cpu, "Invalid rr register selector"); return nullptr;
    }
}

// Opcode fields.
static inline uint8_t z_field_r_low(uint8_t opcode) {
    return opcode & 0x07;
}
static inline uint8_t z_field_r_high(uint8_t opcode) {
    return (opcode >> 3) & 0x07;
}
static inline uint8_t z_field_pair(uint8_t opcode) {
    return (opcode >> 4) & 0x03;
}

// ---------------------------------------------------------------------------------------------
// Stack and conditions.

static inline void z_opcode_push_to_stack(z_cpu_t *cpu, uint16_t value) {
    cpu->SP = static_cast<uint16_t>(cpu->SP - 1);
    z_write(cpu, cpu->SP, static_cast<uint8_t>(value >> 8));
    cpu->SP = static_cast<uint16_t>(cpu->SP - 1);
    z_write(cpu, cpu->SP, static_cast<uint8_t>(value));
}

static inline uint16_t z_opcode_pop_from_stack(z_cpu_t *cpu) {
    const uint16_t low_address = cpu->SP;
    cpu->SP = static_cast<uint16_t>(cpu->SP + 1);
    const uint8_t lo = z_read(cpu, low_address);
    const uint16_t high_address = cpu->SP;
    cpu->SP = static_cast<uint16_t>(cpu->SP + 1);
    const uint8_t hi = z_read(cpu, high_address);
    return static_cast<uint16_t>(hi << 8 | lo);
}

static inline bool z_opcode_evaluate_jump_call_ret_condition(z_cpu_t *cpu, uint8_t cc) {
    switch (cc) {
    case 0: return !(cpu->F & Z_FLAG);
    case 1: return cpu->F & Z_FLAG;
    case 2: return !(cpu->F & C_FLAG);
    case 3: return cpu->F & C_FLAG;
    case 4: return !(cpu->F & PV_FLAG);
    case 5: return cpu->F & PV_FLAG;
    case 6: return !(cpu->F & S_FLAG);
    case 7: return cpu->F & S_FLAG;
    default: cpu->exception(cpu, "Invalid condition selector"); return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Flag helpers. None of them derives bits 5 and 3: they keep what they held.

static inline void z_opcode_set_flags_sign_zero(uint8_t &f, uint32_t v) {
    f = static_cast<uint8_t>((f & 0x3F) | (v & 0x80) | ((v & 0xFF) == 0 ? Z_FLAG : 0));
}

static inline void z_opcode_set_flags_parity(uint8_t &f, uint32_t v) {
    f = static_cast<uint8_t>((f & ~PV_FLAG) | (parity_table[v & 0xFF] ? PV_FLAG : 0));
}

static inline void z_opcode_set_flags_overflow(uint8_t &f, uint32_t x, uint32_t y, uint32_t z) {
    f = static_cast<uint8_t>((f & ~PV_FLAG) | ((((x ^ y) & (x ^ z)) & 0x80) ? PV_FLAG : 0));
}

static inline void z_opcode_set_flags_after_add(uint8_t &f, uint32_t a, uint32_t b, uint32_t r) {
    a &= 0xFF;
    b &= 0xFF;
    f = static_cast<uint8_t>((f & (F5_FLAG | F3_FLAG)) | (r & S_FLAG) |
                             ((r & 0xFF) == 0 ? Z_FLAG : 0) | ((a ^ b ^ r) & H_FLAG) |
                             ((~(a ^ b) & (a ^ r) & 0x80) ? PV_FLAG : 0) | ((r >> 8) & C_FLAG));
}

// r is a - b (- 1) computed in a wider signed integer; bit 8 of its two's complement is the borrow.
static inline void z_opcode_set_flags_after_sub(uint8_t &f, uint32_t a, uint32_t b, int32_t r) {
    a &= 0xFF;
    b &= 0xFF;
    const uint32_t u = static_cast<uint32_t>(r);
    f = static_cast<uint8_t>((f & (F5_FLAG | F3_FLAG)) | (u & S_FLAG) |
                             ((u & 0xFF) == 0 ? Z_FLAG : 0) | ((a ^ b ^ u) & H_FLAG) |
                             (((a ^ b) & (a ^ u) & 0x80) ? PV_FLAG : 0) | N_FLAG |
                             ((u >> 8) & C_FLAG));
}

static inline void z_opcode_set_flags_after_and(z_cpu_t *cpu) {
    const uint8_t a = cpu->A;
    cpu->F = static_cast<uint8_t>((cpu->F & (F5_FLAG | F3_FLAG)) | (a & S_FLAG) |
                                  (a == 0 ? Z_FLAG : 0) | H_FLAG | (parity_table[a] ? PV_FLAG : 0));
}

static inline void z_opcode_set_flags_after_or_xor(z_cpu_t *cpu) {
    const uint8_t a = cpu->A;
    cpu->F = static_cast<uint8_t>((cpu->F & (F5_FLAG | F3_FLAG)) | (a & S_FLAG) |
                                  (a == 0 ? Z_FLAG : 0) | (parity_table[a] ? PV_FLAG : 0));
}

static inline void z_opcode_set_flags_after_inc(uint8_t &f, uint8_t b, uint8_t r) {
    f = static_cast<uint8_t>((f & (F5_FLAG | F3_FLAG | C_FLAG)) | (r & S_FLAG) |
                             (r == 0 ? Z_FLAG : 0) | ((b ^ r) & H_FLAG) |
                             (b == 0x7F ? PV_FLAG : 0));
}

static inline void z_opcode_set_flags_after_dec(uint8_t &f, uint8_t b, uint8_t r) {
    f = static_cast<uint8_t>((f & (F5_FLAG | F3_FLAG | C_FLAG)) | (r & S_FLAG) |
                             (r == 0 ? Z_FLAG : 0) | ((b ^ r) & H_FLAG) |
                             (b == 0x80 ? PV_FLAG : 0) | N_FLAG);
}

static inline void z_opcode_set_flags_after_shift_rotate(uint8_t &f, uint8_t r) {
    f = static_cast<uint8_t>((f & (F5_FLAG | F3_FLAG | C_FLAG)) | (r & S_FLAG) |
                             (r == 0 ? Z_FLAG : 0) | (parity_table[r] ? PV_FLAG : 0));
}

// ---------------------------------------------------------------------------------------------
// Decoders.
void z_step_cb(z_cpu_t *cpu);
void z_step_ed(z_cpu_t *cpu);
void z_step_dd(z_cpu_t *cpu);
void z_step_fd(z_cpu_t *cpu);
void z_step_ddcb(z_cpu_t *cpu);
void z_step_fdcb(z_cpu_t *cpu);

// ---------------------------------------------------------------------------------------------
// Handlers, by instruction group.

// 8-bit loads.
void z_opcode_ld_rr(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_ld_rn(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_ld_rhl(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_ld_rixd(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_ld_riyd(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_ld_hlr(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_ld_ixdr(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_ld_iydr(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_ld_hln(z_cpu_t *cpu);
void z_opcode_ld_ixdn(z_cpu_t *cpu);
void z_opcode_ld_iydn(z_cpu_t *cpu);
void z_opcode_ld_abc(z_cpu_t *cpu);
void z_opcode_ld_ade(z_cpu_t *cpu);
void z_opcode_ld_annm(z_cpu_t *cpu);
void z_opcode_ld_bca(z_cpu_t *cpu);
void z_opcode_ld_dea(z_cpu_t *cpu);
void z_opcode_ld_mnna(z_cpu_t *cpu);
void z_opcode_ld_ai(z_cpu_t *cpu);
void z_opcode_ld_ar(z_cpu_t *cpu);
void z_opcode_ld_ia(z_cpu_t *cpu);
void z_opcode_ld_ra(z_cpu_t *cpu);

// 16-bit loads, stack and exchanges.
void z_opcode_ld_ddnn(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_ld_ixnn(z_cpu_t *cpu);
void z_opcode_ld_iynn(z_cpu_t *cpu);
void z_opcode_ld_hlnnm(z_cpu_t *cpu);
void z_opcode_ld_ddnnm(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_ld_ixnnm(z_cpu_t *cpu);
void z_opcode_ld_iynnm(z_cpu_t *cpu);
void z_opcode_ld_mnnhl(z_cpu_t *cpu);
void z_opcode_ld_mnndd(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_ld_mnnix(z_cpu_t *cpu);
void z_opcode_ld_mnniy(z_cpu_t *cpu);
void z_opcode_ld_sphl(z_cpu_t *cpu);
void z_opcode_ld_spix(z_cpu_t *cpu);
void z_opcode_ld_spiy(z_cpu_t *cpu);
void z_opcode_push_qq(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_push_ix(z_cpu_t *cpu);
void z_opcode_push_iy(z_cpu_t *cpu);
void z_opcode_pop_qq(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_pop_ix(z_cpu_t *cpu);
void z_opcode_pop_iy(z_cpu_t *cpu);
void z_opcode_ex_de_hl(z_cpu_t *cpu);
void z_opcode_ex_af_af(z_cpu_t *cpu);
void z_opcode_exx(z_cpu_t *cpu);
void z_opcode_ex_sp_hl(z_cpu_t *cpu);
void z_opcode_ex_sp_ix(z_cpu_t *cpu);
void z_opcode_ex_sp_iy(z_cpu_t *cpu);

// Block transfer and search.
void z_opcode_ldi(z_cpu_t *cpu);
void z_opcode_ldir(z_cpu_t *cpu);
void z_opcode_ldd(z_cpu_t *cpu);
void z_opcode_lddr(z_cpu_t *cpu);
void z_opcode_cpi(z_cpu_t *cpu);
void z_opcode_cpir(z_cpu_t *cpu);
void z_opcode_cpd(z_cpu_t *cpu);
void z_opcode_cpdr(z_cpu_t *cpu);

// 8-bit arithmetic and logic.
void z_opcode_add_a_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_add_a_n(z_cpu_t *cpu);
void z_opcode_add_a_hl(z_cpu_t *cpu);
void z_opcode_add_a_ixd(z_cpu_t *cpu);
void z_opcode_add_a_iyd(z_cpu_t *cpu);
void z_opcode_adc_a_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_adc_a_n(z_cpu_t *cpu);
void z_opcode_adc_a_hl(z_cpu_t *cpu);
void z_opcode_adc_a_ixd(z_cpu_t *cpu);
void z_opcode_adc_a_iyd(z_cpu_t *cpu);
void z_opcode_sub_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_sub_n(z_cpu_t *cpu);
void z_opcode_sub_hl(z_cpu_t *cpu);
void z_opcode_sub_ixd(z_cpu_t *cpu);
void z_opcode_sub_iyd(z_cpu_t *cpu);
void z_opcode_sbc_a_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_sbc_a_n(z_cpu_t *cpu);
void z_opcode_sbc_a_hl(z_cpu_t *cpu);
void z_opcode_sbc_a_ixd(z_cpu_t *cpu);
void z_opcode_sbc_a_iyd(z_cpu_t *cpu);
void z_opcode_and_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_and_n(z_cpu_t *cpu);
void z_opcode_and_hl(z_cpu_t *cpu);
void z_opcode_and_ixd(z_cpu_t *cpu);
void z_opcode_and_iyd(z_cpu_t *cpu);
void z_opcode_xor_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_xor_n(z_cpu_t *cpu);
void z_opcode_xor_hl(z_cpu_t *cpu);
void z_opcode_xor_ixd(z_cpu_t *cpu);
void z_opcode_xor_iyd(z_cpu_t *cpu);
void z_opcode_or_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_or_n(z_cpu_t *cpu);
void z_opcode_or_hl(z_cpu_t *cpu);
void z_opcode_or_ixd(z_cpu_t *cpu);
void z_opcode_or_iyd(z_cpu_t *cpu);
void z_opcode_cp_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_cp_n(z_cpu_t *cpu);
void z_opcode_cp_hl(z_cpu_t *cpu);
void z_opcode_cp_ixd(z_cpu_t *cpu);
void z_opcode_cp_iyd(z_cpu_t *cpu);
void z_opcode_inc_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_inc_hl(z_cpu_t *cpu);
void z_opcode_inc_ixd(z_cpu_t *cpu);
void z_opcode_inc_iyd(z_cpu_t *cpu);
void z_opcode_dec_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_dec_hl(z_cpu_t *cpu);
void z_opcode_dec_ixd(z_cpu_t *cpu);
void z_opcode_dec_iyd(z_cpu_t *cpu);

// General-purpose arithmetic and processor control.
void z_opcode_daa(z_cpu_t *cpu);
void z_opcode_cpl(z_cpu_t *cpu);
void z_opcode_neg(z_cpu_t *cpu);
void z_opcode_ccf(z_cpu_t *cpu);
void z_opcode_scf(z_cpu_t *cpu);
void z_opcode_nop(z_cpu_t *cpu);
void z_opcode_halt(z_cpu_t *cpu);
void z_opcode_di(z_cpu_t *cpu);
void z_opcode_ei(z_cpu_t *cpu);
void z_opcode_im0(z_cpu_t *cpu);
void z_opcode_im1(z_cpu_t *cpu);
void z_opcode_im2(z_cpu_t *cpu);

// 16-bit arithmetic.
void z_opcode_add_hlss(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_adc_hlss(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_sbc_hlss(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_add_ixpp(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_add_iyrr(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_inc_ss(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_dec_ss(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_inc_ix(z_cpu_t *cpu);
void z_opcode_inc_iy(z_cpu_t *cpu);
void z_opcode_dec_ix(z_cpu_t *cpu);
void z_opcode_dec_iy(z_cpu_t *cpu);

// Rotates and shifts.
void z_opcode_rlca(z_cpu_t *cpu);
void z_opcode_rla(z_cpu_t *cpu);
void z_opcode_rrca(z_cpu_t *cpu);
void z_opcode_rra(z_cpu_t *cpu);
void z_opcode_rlc_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_rlc_hl(z_cpu_t *cpu);
void z_opcode_rlc_ixd(z_cpu_t *cpu);
void z_opcode_rlc_iyd(z_cpu_t *cpu);
void z_opcode_rrc_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_rrc_hl(z_cpu_t *cpu);
void z_opcode_rrc_ixd(z_cpu_t *cpu);
void z_opcode_rrc_iyd(z_cpu_t *cpu);
void z_opcode_rl_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_rl_hl(z_cpu_t *cpu);
void z_opcode_rl_ixd(z_cpu_t *cpu);
void z_opcode_rl_iyd(z_cpu_t *cpu);
void z_opcode_rr_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_rr_hl(z_cpu_t *cpu);
void z_opcode_rr_ixd(z_cpu_t *cpu);
void z_opcode_rr_iyd(z_cpu_t *cpu);
void z_opcode_sla_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_sla_hl(z_cpu_t *cpu);
void z_opcode_sla_ixd(z_cpu_t *cpu);
void z_opcode_sla_iyd(z_cpu_t *cpu);
void z_opcode_sra_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_sra_hl(z_cpu_t *cpu);
void z_opcode_sra_ixd(z_cpu_t *cpu);
void z_opcode_sra_iyd(z_cpu_t *cpu);
void z_opcode_srl_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_srl_hl(z_cpu_t *cpu);
void z_opcode_srl_ixd(z_cpu_t *cpu);
void z_opcode_srl_iyd(z_cpu_t *cpu);
void z_opcode_rld(z_cpu_t *cpu);
void z_opcode_rrd(z_cpu_t *cpu);

// Bit test, set and reset.
void z_opcode_bit_b_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_bit_b_hl(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_bit_b_ixd(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_bit_b_iyd(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_set_b_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_set_b_hl(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_set_b_ixd(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_set_b_iyd(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_res_b_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_res_b_hl(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_res_b_ixd(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_res_b_iyd(z_cpu_t *cpu, uint8_t opcode);

// Jumps, calls and returns.
void z_opcode_jp_nn(z_cpu_t *cpu);
void z_opcode_jp_cc_nn(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_jr_e(z_cpu_t *cpu);
void z_opcode_jr_cc_e(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_jp_hl(z_cpu_t *cpu);
void z_opcode_jp_ix(z_cpu_t *cpu);
void z_opcode_jp_iy(z_cpu_t *cpu);
void z_opcode_djnz_e(z_cpu_t *cpu);
void z_opcode_call_nn(z_cpu_t *cpu);
void z_opcode_call_cc_nn(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_ret(z_cpu_t *cpu);
void z_opcode_ret_cc(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_reti(z_cpu_t *cpu);
void z_opcode_retn(z_cpu_t *cpu);
void z_opcode_rst_p(z_cpu_t *cpu, uint8_t opcode);

// Input and output.
void z_opcode_in_a_n(z_cpu_t *cpu);
void z_opcode_in_r_c(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_ini(z_cpu_t *cpu);
void z_opcode_inir(z_cpu_t *cpu);
void z_opcode_ind(z_cpu_t *cpu);
void z_opcode_indr(z_cpu_t *cpu);
void z_opcode_out_n_a(z_cpu_t *cpu);
void z_opcode_out_c_r(z_cpu_t *cpu, uint8_t opcode);
void z_opcode_outi(z_cpu_t *cpu);
void z_opcode_otir(z_cpu_t *cpu);
void z_opcode_outd(z_cpu_t *cpu);
void z_opcode_otdr(z_cpu_t *cpu);
