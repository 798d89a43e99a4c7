// The processor record's life cycle and the seven opcode decoders. A decoder only chooses a
// handler: it reads its own opcode byte and nothing else, never moves PC and never sets cycles.
#include "cpu/zcpu.h"

#include <cstring>

#include "cpu/zopcode.h"

// Stand-ins for callbacks a host left out, so that a missing callback cannot crash the core:
// an absent memory or port reads as a floating bus (0xFF) and swallows writes, and an absent
// report or halt callback is simply not told.
static uint8_t z_no_read(z_cpu_t *, uint16_t) {
    return 0xFF;
}
static void z_no_write(z_cpu_t *, uint16_t, uint8_t) {}
static void z_no_exception(z_cpu_t *, const char *) {}
static void z_no_halt(z_cpu_t *) {}

void z_init(z_cpu_t *cpu, z_mem_read_t mem_read, z_mem_write_t mem_write, z_io_read_t io_read,
            z_io_write_t io_write, z_exception_t exception, z_halt_t halt, void *user_data) {
    std::memset(static_cast<void *>(cpu), 0, sizeof *cpu);
    cpu->mem_read = mem_read ? mem_read : z_no_read;
    cpu->mem_write = mem_write ? mem_write : z_no_write;
    cpu->io_read = io_read ? io_read : z_no_read;
    cpu->io_write = io_write ? io_write : z_no_write;
    cpu->exception = exception ? exception : z_no_exception;
    cpu->halt = halt ? halt : z_no_halt;
    cpu->user_data = user_data;
}

void z_reset(z_cpu_t *cpu) {
    cpu->PC = 0;
    cpu->I = 0;
    cpu->R = 0;
    cpu->cycles = 0;
    cpu->im = 0;
    cpu->iff1 = 0;
    cpu->iff2 = 0;
}

// An invalid encoding is reported and otherwise ignored: PC and cycles stay, so the next tick
// decodes the same bytes and reports again until the host resets or moves PC.
static void z_invalid(z_cpu_t *cpu, const char *message) {
    cpu->exception(cpu, message);
}

static inline uint8_t z_opcode_at(z_cpu_t *cpu, uint16_t offset) {
    return cpu->mem_read(cpu, static_cast<uint16_t>(cpu->PC + offset));
}

// clang-format off

void z_step(z_cpu_t *cpu) {
    // Only the low seven bits of R count; bit 7 is whatever LD R,A last stored.
    cpu->R = static_cast<uint8_t>((cpu->R & 0x80) | ((cpu->R + 1) & 0x7F));
    const uint8_t op = z_opcode_at(cpu, 0);
    switch (op) {
    case 0x00: return z_opcode_nop(cpu);
    case 0x01: case 0x11: case 0x21: case 0x31: return z_opcode_ld_ddnn(cpu, op);
    case 0x02: return z_opcode_ld_bca(cpu);
    case 0x03: case 0x13: case 0x23: case 0x33: return z_opcode_inc_ss(cpu, op);
    case 0x04: case 0x0C: case 0x14: case 0x1C: case 0x24: case 0x2C: case 0x3C:
        return z_opcode_inc_r(cpu, op);
    case 0x05: case 0x0D: case 0x15: case 0x1D: case 0x25: case 0x2D: case 0x3D:
        return z_opcode_dec_r(cpu, op);
    case 0x06: case 0x0E: case 0x16: case 0x1E: case 0x26: case 0x2E: case 0x3E:
        return z_opcode_ld_rn(cpu, op);
    case 0x07: return z_opcode_rlca(cpu);
    case 0x08: return z_opcode_ex_af_af(cpu);
    case 0x09: case 0x19: case 0x29: case 0x39: return z_opcode_add_hlss(cpu, op);
    case 0x0A: return z_opcode_ld_abc(cpu);
    case 0x0B: case 0x1B: case 0x2B: case 0x3B: return z_opcode_dec_ss(cpu, op);
    case 0x0F: return z_opcode_rrca(cpu);
    case 0x10: return z_opcode_djnz_e(cpu);
    case 0x12: return z_opcode_ld_dea(cpu);
    case 0x17: return z_opcode_rla(cpu);
    case 0x18: return z_opcode_jr_e(cpu);
    case 0x1A: return z_opcode_ld_ade(cpu);
    case 0x1F: return z_opcode_rra(cpu);
    case 0x20: case 0x28: case 0x30: case 0x38: return z_opcode_jr_cc_e(cpu, op);
    case 0x22: return z_opcode_ld_mnnhl(cpu);
    case 0x27: return z_opcode_daa(cpu);
    case 0x2A: return z_opcode_ld_hlnnm(cpu);
    case 0x2F: return z_opcode_cpl(cpu);
    case 0x32: return z_opcode_ld_mnna(cpu);
    case 0x34: return z_opcode_inc_hl(cpu);
    case 0x35: return z_opcode_dec_hl(cpu);
    case 0x36: return z_opcode_ld_hln(cpu);
    case 0x37: return z_opcode_scf(cpu);
    case 0x3A: return z_opcode_ld_annm(cpu);
    case 0x3F: return z_opcode_ccf(cpu);

    case 0x40: case 0x41: case 0x42: case 0x43: case 0x44: case 0x45: case 0x47:
    case 0x48: case 0x49: case 0x4A: case 0x4B: case 0x4C: case 0x4D: case 0x4F:
    case 0x50: case 0x51: case 0x52: case 0x53: case 0x54: case 0x55: case 0x57:
    case 0x58: case 0x59: case 0x5A: case 0x5B: case 0x5C: case 0x5D: case 0x5F:
    case 0x60: case 0x61: case 0x62: case 0x63: case 0x64: case 0x65: case 0x67:
    case 0x68: case 0x69: case 0x6A: case 0x6B: case 0x6C: case 0x6D: case 0x6F:
    case 0x78: case 0x79: case 0x7A: case 0x7B: case 0x7C: case 0x7D: case 0x7F:
        return z_opcode_ld_rr(cpu, op);
    case 0x46: case 0x4E: case 0x56: case 0x5E: case 0x66: case 0x6E: case 0x7E:
        return z_opcode_ld_rhl(cpu, op);
    case 0x70: case 0x71: case 0x72: case 0x73: case 0x74: case 0x75: case 0x77:
        return z_opcode_ld_hlr(cpu, op);
    case 0x76: return z_opcode_halt(cpu);

    case 0x80: case 0x81: case 0x82: case 0x83: case 0x84: case 0x85: case 0x87:
        return z_opcode_add_a_r(cpu, op);
    case 0x86: return z_opcode_add_a_hl(cpu);
    case 0x88: case 0x89: case 0x8A: case 0x8B: case 0x8C: case 0x8D: case 0x8F:
        return z_opcode_adc_a_r(cpu, op);
    case 0x8E: return z_opcode_adc_a_hl(cpu);
    case 0x90: case 0x91: case 0x92: case 0x93: case 0x94: case 0x95: case 0x97:
        return z_opcode_sub_r(cpu, op);
    case 0x96: return z_opcode_sub_hl(cpu);
    case 0x98: case 0x99: case 0x9A: case 0x9B: case 0x9C: case 0x9D: case 0x9F:
        return z_opcode_sbc_a_r(cpu, op);
    case 0x9E: return z_opcode_sbc_a_hl(cpu);
    case 0xA0: case 0xA1: case 0xA2: case 0xA3: case 0xA4: case 0xA5: case 0xA7:
        return z_opcode_and_r(cpu, op);
    case 0xA6: return z_opcode_and_hl(cpu);
    case 0xA8: case 0xA9: case 0xAA: case 0xAB: case 0xAC: case 0xAD: case 0xAF:
        return z_opcode_xor_r(cpu, op);
    case 0xAE: return z_opcode_xor_hl(cpu);
    case 0xB0: case 0xB1: case 0xB2: case 0xB3: case 0xB4: case 0xB5: case 0xB7:
        return z_opcode_or_r(cpu, op);
    case 0xB6: return z_opcode_or_hl(cpu);
    case 0xB8: case 0xB9: case 0xBA: case 0xBB: case 0xBC: case 0xBD: case 0xBF:
        return z_opcode_cp_r(cpu, op);
    case 0xBE: return z_opcode_cp_hl(cpu);

    case 0xC0: case 0xC8: case 0xD0: case 0xD8: case 0xE0: case 0xE8: case 0xF0: case 0xF8:
        return z_opcode_ret_cc(cpu, op);
    case 0xC1: case 0xD1: case 0xE1: case 0xF1: return z_opcode_pop_qq(cpu, op);
    case 0xC2: case 0xCA: case 0xD2: case 0xDA: case 0xE2: case 0xEA: case 0xF2: case 0xFA:
        return z_opcode_jp_cc_nn(cpu, op);
    case 0xC3: return z_opcode_jp_nn(cpu);
    case 0xC4: case 0xCC: case 0xD4: case 0xDC: case 0xE4: case 0xEC: case 0xF4: case 0xFC:
        return z_opcode_call_cc_nn(cpu, op);
    case 0xC5: case 0xD5: case 0xE5: case 0xF5: return z_opcode_push_qq(cpu, op);
    case 0xC6: return z_opcode_add_a_n(cpu);
    case 0xC7: case 0xCF: case 0xD7: case 0xDF: case 0xE7: case 0xEF: case 0xF7: case 0xFF:
        return z_opcode_rst_p(cpu, op);
    case 0xC9: return z_opcode_ret(cpu);
    case 0xCB: return z_step_cb(cpu);
    case 0xCD: return z_opcode_call_nn(cpu);
    case 0xCE: return z_opcode_adc_a_n(cpu);
    case 0xD3: return z_opcode_out_n_a(cpu);
    case 0xD6: return z_opcode_sub_n(cpu);
    case 0xD9: return z_opcode_exx(cpu);
    case 0xDB: return z_opcode_in_a_n(cpu);
    case 0xDD: return z_step_dd(cpu);
    case 0xDE: return z_opcode_sbc_a_n(cpu);
    case 0xE3: return z_opcode_ex_sp_hl(cpu);
    case 0xE6: return z_opcode_and_n(cpu);
    case 0xE9: return z_opcode_jp_hl(cpu);
    case 0xEB: return z_opcode_ex_de_hl(cpu);
    case 0xED: return z_step_ed(cpu);
    case 0xEE: return z_opcode_xor_n(cpu);
    case 0xF3: return z_opcode_di(cpu);
    case 0xF6: return z_opcode_or_n(cpu);
    case 0xF9: return z_opcode_ld_sphl(cpu);
    case 0xFB: return z_opcode_ei(cpu);
    case 0xFD: return z_step_fd(cpu);
    case 0xFE: return z_opcode_cp_n(cpu);
    }
}

// CB op: one case per group of eight encodings (bits 7-3); bits 2-0 = 6 are the (HL) forms.
void z_step_cb(z_cpu_t *cpu) {
    const uint8_t op = z_opcode_at(cpu, 1);
    const bool hl = (op & 0x07) == 6;
    switch (op & 0xF8) {
    case 0x00: return hl ? z_opcode_rlc_hl(cpu) : z_opcode_rlc_r(cpu, op);
    case 0x08: return hl ? z_opcode_rrc_hl(cpu) : z_opcode_rrc_r(cpu, op);
    case 0x10: return hl ? z_opcode_rl_hl(cpu) : z_opcode_rl_r(cpu, op);
    case 0x18: return hl ? z_opcode_rr_hl(cpu) : z_opcode_rr_r(cpu, op);
    case 0x20: return hl ? z_opcode_sla_hl(cpu) : z_opcode_sla_r(cpu, op);
    case 0x28: return hl ? z_opcode_sra_hl(cpu) : z_opcode_sra_r(cpu, op);
    case 0x30: return z_invalid(cpu, "Invalid CB opcode"); // undocumented shift
    case 0x38: return hl ? z_opcode_srl_hl(cpu) : z_opcode_srl_r(cpu, op);
    case 0x40: case 0x48: case 0x50: case 0x58: case 0x60: case 0x68: case 0x70: case 0x78:
        return hl ? z_opcode_bit_b_hl(cpu, op) : z_opcode_bit_b_r(cpu, op);
    case 0x80: case 0x88: case 0x90: case 0x98: case 0xA0: case 0xA8: case 0xB0: case 0xB8:
        return hl ? z_opcode_res_b_hl(cpu, op) : z_opcode_res_b_r(cpu, op);
    default: // 0xC0-0xF8
        return hl ? z_opcode_set_b_hl(cpu, op) : z_opcode_set_b_r(cpu, op);
    }
}

void z_step_ed(z_cpu_t *cpu) {
    const uint8_t op = z_opcode_at(cpu, 1);
    switch (op) {
    // ED 70 and ED 71 (register field 6) reach the handlers, which report the selector.
    case 0x40: case 0x48: case 0x50: case 0x58: case 0x60: case 0x68: case 0x70: case 0x78:
        return z_opcode_in_r_c(cpu, op);
    case 0x41: case 0x49: case 0x51: case 0x59: case 0x61: case 0x69: case 0x71: case 0x79:
        return z_opcode_out_c_r(cpu, op);
    case 0x42: case 0x52: case 0x62: case 0x72: return z_opcode_sbc_hlss(cpu, op);
    case 0x43: case 0x53: case 0x63: case 0x73: return z_opcode_ld_mnndd(cpu, op);
    case 0x44: return z_opcode_neg(cpu);
    case 0x45: return z_opcode_retn(cpu);
    case 0x46: return z_opcode_im0(cpu);
    case 0x47: return z_opcode_ld_ia(cpu);
    case 0x4A: case 0x5A: case 0x6A: case 0x7A: return z_opcode_adc_hlss(cpu, op);
    case 0x4B: case 0x5B: case 0x6B: case 0x7B: return z_opcode_ld_ddnnm(cpu, op);
    case 0x4D: return z_opcode_reti(cpu);
    case 0x4F: return z_opcode_ld_ra(cpu);
    case 0x56: return z_opcode_im1(cpu);
    case 0x57: return z_opcode_ld_ai(cpu);
    case 0x5E: return z_opcode_im2(cpu);
    case 0x5F: return z_opcode_ld_ar(cpu);
    case 0x67: return z_opcode_rrd(cpu);
    case 0x6F: return z_opcode_rld(cpu);
    case 0xA0: return z_opcode_ldi(cpu);
    case 0xA1: return z_opcode_cpi(cpu);
    case 0xA2: return z_opcode_ini(cpu);
    case 0xA3: return z_opcode_outi(cpu);
    case 0xA8: return z_opcode_ldd(cpu);
    case 0xA9: return z_opcode_cpd(cpu);
    case 0xAA: return z_opcode_ind(cpu);
    case 0xAB: return z_opcode_outd(cpu);
    case 0xB0: return z_opcode_ldir(cpu);
    case 0xB1: return z_opcode_cpir(cpu);
    case 0xB2: return z_opcode_inir(cpu);
    case 0xB3: return z_opcode_otir(cpu);
    case 0xB8: return z_opcode_lddr(cpu);
    case 0xB9: return z_opcode_cpdr(cpu);
    case 0xBA: return z_opcode_indr(cpu);
    case 0xBB: return z_opcode_otdr(cpu);
    default: return z_invalid(cpu, "Invalid ED opcode");
    }
}

// DD op: only the forms with a memory operand or the whole of IX exist; the undocumented
// halves of IX, a second prefix and everything else are invalid.
void z_step_dd(z_cpu_t *cpu) {
    const uint8_t op = z_opcode_at(cpu, 1);
    switch (op) {
    case 0x09: case 0x19: case 0x29: case 0x39: return z_opcode_add_ixpp(cpu, op);
    case 0x21: return z_opcode_ld_ixnn(cpu);
    case 0x22: return z_opcode_ld_mnnix(cpu);
    case 0x23: return z_opcode_inc_ix(cpu);
    case 0x2A: return z_opcode_ld_ixnnm(cpu);
    case 0x2B: return z_opcode_dec_ix(cpu);
    case 0x34: return z_opcode_inc_ixd(cpu);
    case 0x35: return z_opcode_dec_ixd(cpu);
    case 0x36: return z_opcode_ld_ixdn(cpu);
    // 0x76 matches the pattern too; the handler reports register field 6.
    case 0x46: case 0x4E: case 0x56: case 0x5E: case 0x66: case 0x6E: case 0x76: case 0x7E:
        return z_opcode_ld_rixd(cpu, op);
    case 0x70: case 0x71: case 0x72: case 0x73: case 0x74: case 0x75: case 0x77:
        return z_opcode_ld_ixdr(cpu, op);
    case 0x86: return z_opcode_add_a_ixd(cpu);
    case 0x8E: return z_opcode_adc_a_ixd(cpu);
    case 0x96: return z_opcode_sub_ixd(cpu);
    case 0x9E: return z_opcode_sbc_a_ixd(cpu);
    case 0xA6: return z_opcode_and_ixd(cpu);
    case 0xAE: return z_opcode_xor_ixd(cpu);
    case 0xB6: return z_opcode_or_ixd(cpu);
    case 0xBE: return z_opcode_cp_ixd(cpu);
    case 0xCB: return z_step_ddcb(cpu);
    case 0xE1: return z_opcode_pop_ix(cpu);
    case 0xE3: return z_opcode_ex_sp_ix(cpu);
    case 0xE5: return z_opcode_push_ix(cpu);
    case 0xE9: return z_opcode_jp_ix(cpu);
    case 0xF9: return z_opcode_ld_spix(cpu);
    default: return z_invalid(cpu, "Invalid DD opcode");
    }
}

// FD op: the DD page with IY.
void z_step_fd(z_cpu_t *cpu) {
    const uint8_t op = z_opcode_at(cpu, 1);
    switch (op) {
    case 0x09: case 0x19: case 0x29: case 0x39: return z_opcode_add_iyrr(cpu, op);
    case 0x21: return z_opcode_ld_iynn(cpu);
    case 0x22: return z_opcode_ld_mnniy(cpu);
    case 0x23: return z_opcode_inc_iy(cpu);
    case 0x2A: return z_opcode_ld_iynnm(cpu);
    case 0x2B: return z_opcode_dec_iy(cpu);
    case 0x34: return z_opcode_inc_iyd(cpu);
    case 0x35: return z_opcode_dec_iyd(cpu);
    case 0x36: return z_opcode_ld_iydn(cpu);
    case 0x46: case 0x4E: case 0x56: case 0x5E: case 0x66: case 0x6E: case 0x76: case 0x7E:
        return z_opcode_ld_riyd(cpu, op);
    case 0x70: case 0x71: case 0x72: case 0x73: case 0x74: case 0x75: case 0x77:
        return z_opcode_ld_iydr(cpu, op);
    case 0x86: return z_opcode_add_a_iyd(cpu);
    case 0x8E: return z_opcode_adc_a_iyd(cpu);
    case 0x96: return z_opcode_sub_iyd(cpu);
    case 0x9E: return z_opcode_sbc_a_iyd(cpu);
    case 0xA6: return z_opcode_and_iyd(cpu);
    case 0xAE: return z_opcode_xor_iyd(cpu);
    case 0xB6: return z_opcode_or_iyd(cpu);
    case 0xBE: return z_opcode_cp_iyd(cpu);
    case 0xCB: return z_step_fdcb(cpu);
    case 0xE1: return z_opcode_pop_iy(cpu);
    case 0xE3: return z_opcode_ex_sp_iy(cpu);
    case 0xE5: return z_opcode_push_iy(cpu);
    case 0xE9: return z_opcode_jp_iy(cpu);
    case 0xF9: return z_opcode_ld_spiy(cpu);
    default: return z_invalid(cpu, "Invalid FD opcode");
    }
}

// DD CB d op: the opcode is the fourth byte, behind the displacement. Only the memory forms
// (bits 2-0 = 6) exist; the undocumented copies into a register are invalid.
void z_step_ddcb(z_cpu_t *cpu) {
    const uint8_t op = z_opcode_at(cpu, 3);
    switch (op) {
    case 0x06: return z_opcode_rlc_ixd(cpu);
    case 0x0E: return z_opcode_rrc_ixd(cpu);
    case 0x16: return z_opcode_rl_ixd(cpu);
    case 0x1E: return z_opcode_rr_ixd(cpu);
    case 0x26: return z_opcode_sla_ixd(cpu);
    case 0x2E: return z_opcode_sra_ixd(cpu);
    case 0x3E: return z_opcode_srl_ixd(cpu);
    case 0x46: case 0x4E: case 0x56: case 0x5E: case 0x66: case 0x6E: case 0x76: case 0x7E:
        return z_opcode_bit_b_ixd(cpu, op);
    case 0x86: case 0x8E: case 0x96: case 0x9E: case 0xA6: case 0xAE: case 0xB6: case 0xBE:
        return z_opcode_res_b_ixd(cpu, op);
    case 0xC6: case 0xCE: case 0xD6: case 0xDE: case 0xE6: case 0xEE: case 0xF6: case 0xFE:
        return z_opcode_set_b_ixd(cpu, op);
    default: return z_invalid(cpu, "Invalid DDCB opcode");
    }
}

// FD CB d op: the DD CB page with IY.
void z_step_fdcb(z_cpu_t *cpu) {
    const uint8_t op = z_opcode_at(cpu, 3);
    switch (op) {
    case 0x06: return z_opcode_rlc_iyd(cpu);
    case 0x0E: return z_opcode_rrc_iyd(cpu);
    case 0x16: return z_opcode_rl_iyd(cpu);
    case 0x1E: return z_opcode_rr_iyd(cpu);
    case 0x26: return z_opcode_sla_iyd(cpu);
    case 0x2E: return z_opcode_sra_iyd(cpu);
    case 0x3E: return z_opcode_srl_iyd(cpu);
    case 0x46: case 0x4E: case 0x56: case 0x5E: case 0x66: case 0x6E: case 0x76: case 0x7E:
        return z_opcode_bit_b_iyd(cpu, op);
    case 0x86: case 0x8E: case 0x96: case 0x9E: case 0xA6: case 0xAE: case 0xB6: case 0xBE:
        return z_opcode_res_b_iyd(cpu, op);
    case 0xC6: case 0xCE: case 0xD6: case 0xDE: case 0xE6: case 0xEE: case 0xF6: case 0xFE:
        return z_opcode_set_b_iyd(cpu, op);
    default: return z_invalid(cpu, "Invalid FDCB opcode");
    }
}

// clang-format on
