// Jump, call and return group. No flag is changed; a condition that fails reads no operand.
//
//   JP nn     C3           10        JR e       18         12       DJNZ e   10   13 / 8
//   JP cc,nn  11ccc010     10 / 10   JR cc,e    20/28/30/38 12 / 7
//   JP (HL)   E9           4         JP (IX)    DD E9      8        JP (IY)  FD E9  8
//   CALL nn   CD           17        CALL cc,nn 11ccc100   17 / 10
//   RET       C9           10        RET cc     11ccc000   11 / 5
//   RETI      ED 4D        14        RETN       ED 45      14 (iff1 = iff2)
//   RST p     11ttt111     11
#include "cpu/zopcode.h"

static inline void z_relative_jump(z_cpu_t *cpu) {
    const int8_t e = static_cast<int8_t>(z_fetch(cpu, 1));
    cpu->PC = static_cast<uint16_t>(cpu->PC + 2 + e);
}

static inline void z_call(z_cpu_t *cpu) {
    const uint16_t target = z_fetch_word(cpu, 1);
    z_opcode_push_to_stack(cpu, static_cast<uint16_t>(cpu->PC + 3));
    cpu->PC = target;
}

// JP nn (C3 lo hi): 10 T-states.
void z_opcode_jp_nn(z_cpu_t *cpu) {
    cpu->PC = z_fetch_word(cpu, 1);
    cpu->cycles = 10;
}

// JP cc,nn (11ccc010 lo hi): 10 T-states taken or not.
void z_opcode_jp_cc_nn(z_cpu_t *cpu, uint8_t opcode) {
    if (z_opcode_evaluate_jump_call_ret_condition(cpu, z_field_r_high(opcode))) {
        cpu->PC = z_fetch_word(cpu, 1);
        cpu->cycles = 10;
    } else {
        z_done(cpu, 3, 10);
    }
}

// JR e (18 e): 12 T-states.
void z_opcode_jr_e(z_cpu_t *cpu) {
    z_relative_jump(cpu);
    cpu->cycles = 12;
}

// JR cc,e (001cc000 e, cc = NZ Z NC C as field values 4-7): 12 taken, 7 not.
void z_opcode_jr_cc_e(z_cpu_t *cpu, uint8_t opcode) {
    const uint8_t field = z_field_r_high(opcode);
    if (field < 4 || field > 7) {
        cpu->exception(cpu, "Invalid jr condition selector");
        return;
    }
    if (z_opcode_evaluate_jump_call_ret_condition(cpu, static_cast<uint8_t>(field - 4))) {
        z_relative_jump(cpu);
        cpu->cycles = 12;
    } else {
        z_done(cpu, 2, 7);
    }
}

// JP (HL) (E9): 4 T-states.
void z_opcode_jp_hl(z_cpu_t *cpu) {
    cpu->PC = cpu->HL;
    cpu->cycles = 4;
}

// JP (IX) (DD E9): 8 T-states.
void z_opcode_jp_ix(z_cpu_t *cpu) {
    cpu->PC = cpu->IX;
    cpu->cycles = 8;
}

// JP (IY) (FD E9): 8 T-states.
void z_opcode_jp_iy(z_cpu_t *cpu) {
    cpu->PC = cpu->IY;
    cpu->cycles = 8;
}

// DJNZ e (10 e): B - 1, jump while not 0: 13 taken, 8 not.
void z_opcode_djnz_e(z_cpu_t *cpu) {
    cpu->B = static_cast<uint8_t>(cpu->B - 1);
    if (cpu->B != 0) {
        z_relative_jump(cpu);
        cpu->cycles = 13;
    } else {
        z_done(cpu, 2, 8);
    }
}

// CALL nn (CD lo hi): 17 T-states.
void z_opcode_call_nn(z_cpu_t *cpu) {
    z_call(cpu);
    cpu->cycles = 17;
}

// CALL cc,nn (11ccc100 lo hi): 17 taken, 10 not.
void z_opcode_call_cc_nn(z_cpu_t *cpu, uint8_t opcode) {
    if (z_opcode_evaluate_jump_call_ret_condition(cpu, z_field_r_high(opcode))) {
        z_call(cpu);
        cpu->cycles = 17;
    } else {
        z_done(cpu, 3, 10);
    }
}

// RET (C9): 10 T-states.
void z_opcode_ret(z_cpu_t *cpu) {
    cpu->PC = z_opcode_pop_from_stack(cpu);
    cpu->cycles = 10;
}

// RET cc (11ccc000): 11 taken, 5 not.
void z_opcode_ret_cc(z_cpu_t *cpu, uint8_t opcode) {
    if (z_opcode_evaluate_jump_call_ret_condition(cpu, z_field_r_high(opcode))) {
        cpu->PC = z_opcode_pop_from_stack(cpu);
        cpu->cycles = 11;
    } else {
        z_done(cpu, 1, 5);
    }
}

// RETI (ED 4D): 14 T-states; no device listens for it on this board.
void z_opcode_reti(z_cpu_t *cpu) {
    cpu->PC = z_opcode_pop_from_stack(cpu);
    cpu->cycles = 14;
}

// RETN (ED 45): 14 T-states.
void z_opcode_retn(z_cpu_t *cpu) {
    cpu->iff1 = cpu->iff2;
    cpu->PC = z_opcode_pop_from_stack(cpu);
    cpu->cycles = 14;
}

// RST p (11ttt111): 11 T-states.
void z_opcode_rst_p(z_cpu_t *cpu, uint8_t opcode) {
    z_opcode_push_to_stack(cpu, static_cast<uint16_t>(cpu->PC + 1));
    cpu->PC = opcode & 0x38;
    cpu->cycles = 11;
}
