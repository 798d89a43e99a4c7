// 16-bit load, stack and exchange group.
//
//   LD dd,nn     01+16dd lo hi   10    PUSH qq      C5+16qq       11
//   LD HL,(nn)   2A lo hi        16    POP qq       C1+16qq       10
//   LD (nn),HL   22 lo hi        16    PUSH IX/IY   DD/FD E5      15
//   LD dd,(nn)   ED 4B+16dd      20    POP IX/IY    DD/FD E1      14
//   LD (nn),dd   ED 43+16dd      20    EX DE,HL     EB            4
//   LD IX,nn     DD 21 lo hi     14    EX AF,AF'    08            4
//   LD IX,(nn)   DD 2A lo hi     20    EXX          D9            4
//   LD (nn),IX   DD 22 lo hi     20    EX (SP),HL   E3            19
//   LD SP,HL     F9              6     EX (SP),IX   DD E3         23
//   LD SP,IX     DD F9           10    (IY forms: FD instead of DD)
// No flag changes, except that POP AF and EX AF,AF' replace F whole.
#include <utility>

#include "cpu/zopcode.h"

static inline uint16_t z_read_word(z_cpu_t *cpu, uint16_t address) {
    const uint8_t lo = z_read(cpu, address);
    const uint8_t hi = z_read(cpu, static_cast<uint16_t>(address + 1));
    return static_cast<uint16_t>(hi << 8 | lo);
}

static inline void z_write_word(z_cpu_t *cpu, uint16_t address, uint16_t value) {
    z_write(cpu, address, static_cast<uint8_t>(value));
    z_write(cpu, static_cast<uint16_t>(address + 1), static_cast<uint8_t>(value >> 8));
}

// LD dd,nn (00dd0001 lo hi): 10 T-states.
void z_opcode_ld_ddnn(z_cpu_t *cpu, uint8_t opcode) {
    uint16_t *dst = z_opcode_get_register_ptr_by_dd_index(cpu, z_field_pair(opcode));
    if (!dst) return;
    *dst = z_fetch_word(cpu, 1);
    z_done(cpu, 3, 10);
}

// LD IX,nn (DD 21 lo hi): 14 T-states.
void z_opcode_ld_ixnn(z_cpu_t *cpu) {
    cpu->IX = z_fetch_word(cpu, 2);
    z_done(cpu, 4, 14);
}

// LD IY,nn (FD 21 lo hi): 14 T-states.
void z_opcode_ld_iynn(z_cpu_t *cpu) {
    cpu->IY = z_fetch_word(cpu, 2);
    z_done(cpu, 4, 14);
}

// LD HL,(nn) (2A lo hi): 16 T-states.
void z_opcode_ld_hlnnm(z_cpu_t *cpu) {
    const uint16_t address = z_fetch_word(cpu, 1);
    cpu->HL = z_read_word(cpu, address);
    z_done(cpu, 3, 16);
}

// LD dd,(nn) (ED 01dd1011 lo hi): 20 T-states.
void z_opcode_ld_ddnnm(z_cpu_t *cpu, uint8_t opcode) {
    uint16_t *dst = z_opcode_get_register_ptr_by_dd_index(cpu, z_field_pair(opcode));
    if (!dst) return;
    const uint16_t address = z_fetch_word(cpu, 2);
    *dst = z_read_word(cpu, address);
    z_done(cpu, 4, 20);
}

// LD IX,(nn) (DD 2A lo hi): 20 T-states.
void z_opcode_ld_ixnnm(z_cpu_t *cpu) {
    const uint16_t address = z_fetch_word(cpu, 2);
    cpu->IX = z_read_word(cpu, address);
    z_done(cpu, 4, 20);
}

// LD IY,(nn) (FD 2A lo hi): 20 T-states.
void z_opcode_ld_iynnm(z_cpu_t *cpu) {
    const uint16_t address = z_fetch_word(cpu, 2);
    cpu->IY = z_read_word(cpu, address);
    z_done(cpu, 4, 20);
}

// LD (nn),HL (22 lo hi): 16 T-states.
void z_opcode_ld_mnnhl(z_cpu_t *cpu) {
    const uint16_t address = z_fetch_word(cpu, 1);
    z_write_word(cpu, address, cpu->HL);
    z_done(cpu, 3, 16);
}

// LD (nn),dd (ED 01dd0011 lo hi): 20 T-states.
void z_opcode_ld_mnndd(z_cpu_t *cpu, uint8_t opcode) {
    uint16_t *src = z_opcode_get_register_ptr_by_dd_index(cpu, z_field_pair(opcode));
    if (!src) return;
    const uint16_t address = z_fetch_word(cpu, 2);
    z_write_word(cpu, address, *src);
    z_done(cpu, 4, 20);
}

// LD (nn),IX (DD 22 lo hi): 20 T-states.
void z_opcode_ld_mnnix(z_cpu_t *cpu) {
    const uint16_t address = z_fetch_word(cpu, 2);
    z_write_word(cpu, address, cpu->IX);
    z_done(cpu, 4, 20);
}

// LD (nn),IY (FD 22 lo hi): 20 T-states.
void z_opcode_ld_mnniy(z_cpu_t *cpu) {
    const uint16_t address = z_fetch_word(cpu, 2);
    z_write_word(cpu, address, cpu->IY);
    z_done(cpu, 4, 20);
}

// LD SP,HL (F9): 6 T-states.
void z_opcode_ld_sphl(z_cpu_t *cpu) {
    cpu->SP = cpu->HL;
    z_done(cpu, 1, 6);
}

// LD SP,IX (DD F9): 10 T-states.
void z_opcode_ld_spix(z_cpu_t *cpu) {
    cpu->SP = cpu->IX;
    z_done(cpu, 2, 10);
}

// LD SP,IY (FD F9): 10 T-states.
void z_opcode_ld_spiy(z_cpu_t *cpu) {
    cpu->SP = cpu->IY;
    z_done(cpu, 2, 10);
}

// PUSH qq (11qq0101): 11 T-states.
void z_opcode_push_qq(z_cpu_t *cpu, uint8_t opcode) {
    uint16_t *src = z_opcode_get_register_ptr_by_qq_index(cpu, z_field_pair(opcode));
    if (!src) return;
    z_opcode_push_to_stack(cpu, *src);
    z_done(cpu, 1, 11);
}

// PUSH IX (DD E5): 15 T-states.
void z_opcode_push_ix(z_cpu_t *cpu) {
    z_opcode_push_to_stack(cpu, cpu->IX);
    z_done(cpu, 2, 15);
}

// PUSH IY (FD E5): 15 T-states.
void z_opcode_push_iy(z_cpu_t *cpu) {
    z_opcode_push_to_stack(cpu, cpu->IY);
    z_done(cpu, 2, 15);
}

// POP qq (11qq0001): 10 T-states.
void z_opcode_pop_qq(z_cpu_t *cpu, uint8_t opcode) {
    uint16_t *dst = z_opcode_get_register_ptr_by_qq_index(cpu, z_field_pair(opcode));
    if (!dst) return;
    *dst = z_opcode_pop_from_stack(cpu);
    z_done(cpu, 1, 10);
}

// POP IX (DD E1): 14 T-states.
void z_opcode_pop_ix(z_cpu_t *cpu) {
    cpu->IX = z_opcode_pop_from_stack(cpu);
    z_done(cpu, 2, 14);
}

// POP IY (FD E1): 14 T-states.
void z_opcode_pop_iy(z_cpu_t *cpu) {
    cpu->IY = z_opcode_pop_from_stack(cpu);
    z_done(cpu, 2, 14);
}

// EX DE,HL (EB): 4 T-states.
void z_opcode_ex_de_hl(z_cpu_t *cpu) {
    std::swap(cpu->DE, cpu->HL);
    z_done(cpu, 1, 4);
}

// EX AF,AF' (08): 4 T-states.
void z_opcode_ex_af_af(z_cpu_t *cpu) {
    std::swap(cpu->AF, cpu->AF_);
    z_done(cpu, 1, 4);
}

// EXX (D9): 4 T-states.
void z_opcode_exx(z_cpu_t *cpu) {
    std::swap(cpu->BC, cpu->BC_);
    std::swap(cpu->DE, cpu->DE_);
    std::swap(cpu->HL, cpu->HL_);
    z_done(cpu, 1, 4);
}

// EX (SP),rr: the word at SP becomes the register, then the old register goes to SP.
static inline void z_ex_sp(z_cpu_t *cpu, uint16_t &reg) {
    const uint16_t old = reg;
    reg = z_read_word(cpu, cpu->SP);
    z_write_word(cpu, cpu->SP, old);
}

// EX (SP),HL (E3): 19 T-states.
void z_opcode_ex_sp_hl(z_cpu_t *cpu) {
    z_ex_sp(cpu, cpu->HL);
    z_done(cpu, 1, 19);
}

// EX (SP),IX (DD E3): 23 T-states.
void z_opcode_ex_sp_ix(z_cpu_t *cpu) {
    z_ex_sp(cpu, cpu->IX);
    z_done(cpu, 2, 23);
}

// EX (SP),IY (FD E3): 23 T-states.
void z_opcode_ex_sp_iy(z_cpu_t *cpu) {
    z_ex_sp(cpu, cpu->IY);
    z_done(cpu, 2, 23);
}
