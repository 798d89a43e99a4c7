// The processor core, group by group: results, flags, PC, T-states and bus order.
#include <gtest/gtest.h>

#include "cpu/zopcode.h"
#include "zcpu_bus.h"

namespace {

using log_t = std::vector<bus_access>;

TEST(Core, InitResetAndTick) {
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    EXPECT_EQ(c.PC, 0);
    EXPECT_EQ(c.SP, 0);
    // The first tick executes; a 4 T-state instruction then counts 3, 2, 1, and the fourth tick
    // after it executes the next one.
    bus.memory[0] = 0x00;
    bus.memory[1] = 0x00;
    z_tick(&c);
    EXPECT_EQ(c.PC, 1);
    EXPECT_EQ(c.cycles, 4);
    z_tick(&c);
    z_tick(&c);
    EXPECT_EQ(c.cycles, 2);
    z_tick(&c);
    EXPECT_EQ(c.cycles, 1);
    EXPECT_EQ(c.PC, 1);
    z_tick(&c);
    EXPECT_EQ(c.PC, 2);
    c.cycles = 0;
    z_tick(&c);
    EXPECT_EQ(c.PC, 3) << "cycles 0 executes too";

    c.AF = 0x1234;
    c.BC = 0x5678;
    c.HL_ = 0x9ABC;
    c.IX = 0x1111;
    c.SP = 0x2222;
    c.I = 5;
    c.R = 7;
    c.im = 2;
    c.iff1 = c.iff2 = 1;
    c.cycles = 9;
    z_reset(&c);
    EXPECT_EQ(c.PC, 0);
    EXPECT_EQ(c.I, 0);
    EXPECT_EQ(c.R, 0);
    EXPECT_EQ(c.cycles, 0);
    EXPECT_EQ(c.im, 0);
    EXPECT_EQ(c.iff1 + c.iff2, 0);
    EXPECT_EQ(c.AF, 0x1234);
    EXPECT_EQ(c.BC, 0x5678);
    EXPECT_EQ(c.HL_, 0x9ABC);
    EXPECT_EQ(c.IX, 0x1111);
    EXPECT_EQ(c.SP, 0x2222);
}

TEST(Core, MissingCallbacksAreHarmless) {
    // No bus at all: memory floats at 0xFF, which is RST 38h, and the push goes nowhere.
    z_cpu_t bare;
    z_init(&bare, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    z_tick(&bare);
    EXPECT_EQ(bare.PC, 0x0038);
    EXPECT_EQ(bare.SP, 0xFFFE);
    EXPECT_EQ(bare.cycles, 11);
    // Memory only: ports float too, and reports and halts are simply not delivered.
    test_bus bus;
    z_init(&bus.cpu, test_bus::read, test_bus::write, nullptr, nullptr, nullptr, nullptr, &bus);
    bus.load(0x100, {0xDB, 0x10, 0xD3, 0x11, 0xED, 0x77});
    bus.step();
    EXPECT_EQ(bus.cpu.A, 0xFF);
    bus.step();
    bus.step();
    EXPECT_EQ(bus.cpu.PC, 0x104) << "the invalid ED 77 still stops the program";
    bus.load(0x200, {0x76});
    EXPECT_EQ(bus.step(), 4);
    EXPECT_EQ(bus.cpu.PC, 0x200);
    EXPECT_TRUE(bus.log.empty());
    EXPECT_TRUE(bus.exceptions.empty());
}

TEST(Core, RegisterViewsShareStorage) {
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    *z_opcode_get_register_ptr_by_r_index(&c, 4) = 0xAB; // H
    EXPECT_EQ(c.HL >> 8, 0xAB);
    *z_opcode_get_register_ptr_by_dd_index(&c, 2) = 0x1234;
    EXPECT_EQ(c.H, 0x12);
    EXPECT_EQ(c.L, 0x34);
    c.A = 0x56;
    c.F = 0x78;
    EXPECT_EQ(*z_opcode_get_register_ptr_by_qq_index(&c, 3), 0x5678);
    EXPECT_EQ(z_opcode_get_register_ptr_by_pp_index(&c, 2), &c.IX);
    EXPECT_EQ(z_opcode_get_register_ptr_by_rr_index(&c, 2), &c.IY);
    EXPECT_EQ(z_opcode_get_register_ptr_by_r_index(&c, 6), nullptr);
    EXPECT_EQ(z_opcode_get_register_ptr_by_r_index(&c, 9), nullptr);
    EXPECT_FALSE(z_opcode_evaluate_jump_call_ret_condition(&c, 8));
    const std::vector<std::string> reports = {
        "Invalid r register selector", "Invalid r register selector", "Invalid condition selector"};
    EXPECT_EQ(bus.exceptions, reports);
}

TEST(Core, RefreshRegister) {
    test_bus bus;
    bus.cpu.R = 0x7F;
    bus.step();
    EXPECT_EQ(bus.cpu.R, 0x00);
    bus.cpu.R = 0xFF;
    bus.step();
    EXPECT_EQ(bus.cpu.R, 0x80);
    // A DD CB instruction refreshes once.
    bus.load(0x100, {0xDD, 0xCB, 0x00, 0x46});
    bus.cpu.R = 0x10;
    bus.step();
    EXPECT_EQ(bus.cpu.R, 0x11);
    // LD R,A then LD A,R: bit 7 stays, bits 0-6 count the LD A,R itself.
    bus.load(0x200, {0x3E, 0xFF, 0xED, 0x4F, 0xED, 0x5F});
    bus.step();
    bus.step();
    bus.step();
    EXPECT_EQ(bus.cpu.A, 0x80);
    EXPECT_TRUE(bus.cpu.F & S_FLAG);
}

struct flag_case {
    uint32_t a, b;
    int32_t r;
    uint8_t expected; // S Z H PV N C, bits 5 and 3 clear in and out
};

TEST(Flags, AddAndSubHelpers) {
    const flag_case adds[] = {{0x7F, 0x01, 0x080, S_FLAG | H_FLAG | PV_FLAG},
                              {0xFF, 0x01, 0x100, Z_FLAG | H_FLAG | C_FLAG}};
    for (const flag_case &c : adds) {
        uint8_t f = 0;
        z_opcode_set_flags_after_add(f, c.a, c.b, static_cast<uint32_t>(c.r));
        EXPECT_EQ(f, c.expected);
    }
    const flag_case subs[] = {{0x80, 0x01, 0x07F, H_FLAG | PV_FLAG | N_FLAG},
                              {0x00, 0x01, -1, S_FLAG | H_FLAG | N_FLAG | C_FLAG},
                              {0x42, 0x42, 0, Z_FLAG | N_FLAG}};
    for (const flag_case &c : subs) {
        uint8_t f = 0;
        z_opcode_set_flags_after_sub(f, c.a, c.b, c.r);
        EXPECT_EQ(f, c.expected);
    }
    // The copy bits survive every helper.
    uint8_t f = 0x28;
    z_opcode_set_flags_after_add(f, 1, 2, 3);
    EXPECT_EQ(f & 0x28, 0x28);
    f = 0xFF;
    z_opcode_set_flags_sign_zero(f, 0x01);
    EXPECT_EQ(f, 0x3F);
    f = 0x28 | C_FLAG;
    z_opcode_set_flags_after_inc(f, 0x7F, 0x80);
    EXPECT_EQ(f, 0x28 | S_FLAG | H_FLAG | PV_FLAG | C_FLAG);
    f = 0;
    z_opcode_set_flags_after_dec(f, 0x80, 0x7F);
    EXPECT_EQ(f, H_FLAG | PV_FLAG | N_FLAG);
    f = 0;
    z_opcode_set_flags_after_dec(f, 0x01, 0x00);
    EXPECT_EQ(f, Z_FLAG | N_FLAG);
    f = 0;
    z_opcode_set_flags_overflow(f, 0x80, 0x7F, 0x7F);
    EXPECT_EQ(f, PV_FLAG);
}

TEST(Flags, ParityTable) {
    const uint8_t start[] = {1, 0, 0, 1, 0, 1, 1, 0};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(parity_table[i], start[i]);
    for (int i = 0; i < 256; ++i) {
        int bits = 0;
        for (int v = i; v; v >>= 1)
            bits += v & 1;
        EXPECT_EQ(parity_table[i], bits % 2 == 0) << i;
    }
}

TEST(Loads, EightBitForms) {
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    c.A = 0x5A;
    c.F = 0xD7;
    bus.load(0x100, {0x47}); // LD B,A
    EXPECT_EQ(bus.step(), 4);
    EXPECT_EQ(c.B, 0x5A);
    EXPECT_EQ(c.F, 0xD7);
    // LD H,(IX+d) loads H, not a half of IX; d = 0xFF reads IX - 1.
    c.IX = 0x3000;
    bus.memory[0x2FFF] = 0x99;
    bus.load(0x100, {0xDD, 0x66, 0xFF});
    EXPECT_EQ(bus.step(), 19);
    EXPECT_EQ(c.H, 0x99);
    EXPECT_EQ(c.IX, 0x3000);
    EXPECT_EQ(c.PC, 0x103);
    // Index arithmetic wraps both ways.
    c.IX = 0x0000;
    bus.memory[0xFF80] = 0x11;
    bus.load(0x100, {0xDD, 0x7E, 0x80});
    bus.step();
    EXPECT_EQ(c.A, 0x11);
    c.IY = 0xFFFF;
    bus.memory[0x0000] = 0x22;
    bus.load(0x100, {0xFD, 0x7E, 0x01});
    bus.step();
    EXPECT_EQ(c.A, 0x22);
    // LD (IX+d),n takes d from PC+2 and n from PC+3.
    c.IX = 0x5000;
    bus.load(0x100, {0xDD, 0x36, 0x03, 0xAB});
    EXPECT_EQ(bus.step(), 19);
    EXPECT_EQ(bus.memory[0x5003], 0xAB);
    EXPECT_EQ(c.PC, 0x104);
}

TEST(Loads, AbsoluteAddressIsFetchedHighByteFirst) {
    test_bus bus;
    bus.load(0x100, {0x3A, 0x34, 0x12}); // LD A,(1234)
    bus.memory[0x1234] = 0x77;
    EXPECT_EQ(
        bus.trace(),
        (log_t{{'r', 0x100, 0x3A}, {'r', 0x102, 0x12}, {'r', 0x101, 0x34}, {'r', 0x1234, 0x77}}));
    EXPECT_EQ(bus.cpu.A, 0x77);
    EXPECT_EQ(bus.cpu.cycles, 13);
    bus.load(0xFFFE, {0x32, 0x00}); // LD (xx00),A with the high byte at 0x0000
    bus.memory[0x0000] = 0x40;
    EXPECT_EQ(
        bus.trace(),
        (log_t{
            {'r', 0xFFFE, 0x32}, {'r', 0x0000, 0x40}, {'r', 0xFFFF, 0x00}, {'w', 0x4000, 0x77}}));
    EXPECT_EQ(bus.cpu.PC, 0x0001);
}

TEST(Loads, SpecialRegisters) {
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    c.F = 0x29; // C and the copy bits must survive
    c.I = 0x00;
    c.iff2 = 1;
    bus.load(0x100, {0xED, 0x57});
    EXPECT_EQ(bus.step(), 9);
    EXPECT_EQ(c.A, 0);
    EXPECT_EQ(c.F, 0x29 | Z_FLAG | PV_FLAG);
    c.I = 0x80;
    bus.load(0x100, {0xF3, 0xED, 0x57}); // DI, LD A,I
    bus.step();
    bus.step();
    EXPECT_EQ(c.F, 0x29 | S_FLAG);
    c.A = 0x7F;
    bus.load(0x100, {0xED, 0x4F, 0xED, 0x5F}); // LD R,A; LD A,R
    bus.step();
    bus.step();
    EXPECT_EQ(c.A, 0x00);
    EXPECT_TRUE(c.F & Z_FLAG);
}

TEST(Loads16, StackAndWords) {
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    c.BC = 0x1234;
    c.SP = 0x0000;
    bus.load(0x100, {0xC5}); // PUSH BC
    EXPECT_EQ(bus.trace(), (log_t{{'r', 0x100, 0xC5}, {'w', 0xFFFF, 0x12}, {'w', 0xFFFE, 0x34}}));
    EXPECT_EQ(c.SP, 0xFFFE);
    EXPECT_EQ(c.cycles, 11);
    c.SP = 0xFFFF;
    bus.memory[0xFFFF] = 0xCD;
    bus.memory[0x0000] = 0xAB;
    bus.load(0x100, {0xE1}); // POP HL
    bus.step();
    EXPECT_EQ(c.HL, 0xABCD);
    EXPECT_EQ(c.SP, 0x0001);
    // PUSH AF / POP BC, and POP AF loads all eight flag bits.
    c.AF = 0x12FF;
    c.SP = 0x8000;
    bus.load(0x100, {0xF5, 0xC1, 0xC5, 0xF1});
    bus.step();
    EXPECT_EQ(bus.memory[0x7FFF], 0x12);
    EXPECT_EQ(bus.memory[0x7FFE], 0xFF);
    bus.step();
    EXPECT_EQ(c.BC, 0x12FF);
    c.AF = 0;
    bus.step();
    bus.step();
    EXPECT_EQ(c.A, 0x12);
    EXPECT_EQ(c.F, 0xFF);
    // LD (nn),HL in both encodings stores the same bytes.
    c.HL = 0xBEEF;
    bus.load(0x100, {0x22, 0x00, 0x90, 0xED, 0x63, 0x02, 0x90});
    EXPECT_EQ(bus.step(), 16);
    EXPECT_EQ(bus.step(), 20);
    EXPECT_EQ(c.PC, 0x107);
    EXPECT_EQ(bus.memory[0x9000], 0xEF);
    EXPECT_EQ(bus.memory[0x9001], 0xBE);
    EXPECT_EQ(bus.memory[0x9002], 0xEF);
    EXPECT_EQ(bus.memory[0x9003], 0xBE);
    // LD SP,(nn) and LD HL,(nn) with nn = 0xFFFF wraps.
    bus.memory[0xFFFF] = 0x34;
    bus.memory[0x0000] = 0x12;
    bus.load(0x100, {0xED, 0x7B, 0xFF, 0xFF, 0x2A, 0xFF, 0xFF});
    bus.step();
    bus.step();
    EXPECT_EQ(c.SP, 0x1234);
    EXPECT_EQ(c.HL, 0x1234);
}

TEST(Loads16, Exchanges) {
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    c.SP = 0xFFFF;
    c.HL = 0x1122;
    bus.memory[0xFFFF] = 0x33;
    bus.memory[0x0000] = 0x44;
    bus.load(0x100, {0xE3});
    EXPECT_EQ(bus.trace(), (log_t{{'r', 0x100, 0xE3},
                                  {'r', 0xFFFF, 0x33},
                                  {'r', 0x0000, 0x44},
                                  {'w', 0xFFFF, 0x22},
                                  {'w', 0x0000, 0x11}}));
    EXPECT_EQ(c.HL, 0x4433);
    EXPECT_EQ(c.SP, 0xFFFF);
    EXPECT_EQ(c.cycles, 19);
    c.AF = 1;
    c.AF_ = 2;
    c.BC = 3;
    c.BC_ = 4;
    c.IX = 5;
    bus.load(0x100, {0x08, 0xD9});
    bus.step();
    bus.step();
    EXPECT_EQ(c.AF, 2);
    EXPECT_EQ(c.AF_, 1);
    EXPECT_EQ(c.BC, 4);
    EXPECT_EQ(c.BC_, 3);
    EXPECT_EQ(c.IX, 5);
}

TEST(Block, TransfersRepeatOneByteAtATime) {
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    for (int i = 0; i < 3; ++i)
        bus.memory[0x5000 + i] = static_cast<uint8_t>(0xA0 + i);
    c.HL = 0x5000;
    c.DE = 0x6000;
    c.BC = 3;
    c.F = 0xC1 | 0x28; // S Z C and the copy bits are kept
    bus.load(0x100, {0xED, 0xB0});
    const int expected_t[] = {21, 21, 16};
    const int expected_pv[] = {1, 1, 0};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(bus.step(), expected_t[i]);
        EXPECT_EQ((c.F & PV_FLAG) != 0, expected_pv[i] != 0);
        EXPECT_EQ(c.PC, i < 2 ? 0x100 : 0x102);
    }
    EXPECT_EQ(c.F & 0xE9, 0xC1 | 0x28);
    EXPECT_EQ(bus.memory[0x6002], 0xA2);
    EXPECT_EQ(c.BC, 0);
    // DE = HL + 1 replicates the first byte; LDDR steps HL below 0.
    bus.memory[0x7000] = 0x5A;
    c.HL = 0x7000;
    c.DE = 0x7001;
    c.BC = 4;
    bus.load(0x100, {0xED, 0xB0});
    while (c.PC == 0x100)
        bus.step();
    EXPECT_EQ(bus.memory[0x7004], 0x5A);
    c.HL = 0x0000;
    c.DE = 0x8000;
    c.BC = 1;
    bus.load(0x100, {0xED, 0xB8});
    EXPECT_EQ(bus.step(), 16);
    EXPECT_EQ(c.HL, 0xFFFF);
    EXPECT_EQ(c.DE, 0x7FFF);
}

TEST(Block, LdirWithZeroCountMoves64K) {
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    c.HL = 0x0000;
    c.DE = 0x0000;
    c.BC = 0;
    bus.load(0x100, {0xED, 0xB0});
    int iterations = 0;
    do {
        bus.step();
        ++iterations;
    } while (c.PC == 0x100 && iterations < 70000);
    EXPECT_EQ(iterations, 65536);
}

TEST(Block, Searches) {
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    const uint8_t data[] = {0x10, 0x20, 0x30, 0x40, 0x50};
    std::memcpy(bus.memory + 0x5000, data, sizeof data);
    // Match on the first byte.
    c.A = 0x10;
    c.HL = 0x5000;
    c.BC = 5;
    c.F = C_FLAG;
    bus.load(0x100, {0xED, 0xB1});
    EXPECT_EQ(bus.step(), 16);
    EXPECT_EQ(c.HL, 0x5001);
    EXPECT_EQ(c.BC, 4);
    EXPECT_EQ(c.F, Z_FLAG | PV_FLAG | N_FLAG | C_FLAG);
    EXPECT_EQ(c.PC, 0x102);
    // Match on the last byte of the count: Z = 1 and P/V = 0 together.
    c.A = 0x30;
    c.HL = 0x5000;
    c.BC = 3;
    bus.load(0x100, {0xED, 0xB1});
    EXPECT_EQ(bus.step(), 21);
    EXPECT_EQ(bus.step(), 21);
    EXPECT_EQ(bus.step(), 16);
    EXPECT_TRUE(c.F & Z_FLAG);
    EXPECT_FALSE(c.F & PV_FLAG);
    // CPI flags: A = 0x10 against 0x01 borrows from bit 4; A = 0 against 0x01 is negative.
    bus.memory[0x6000] = 0x01;
    c.A = 0x10;
    c.HL = 0x6000;
    c.BC = 2;
    c.F = 0;
    bus.load(0x100, {0xED, 0xA1});
    bus.step();
    EXPECT_EQ(c.F, H_FLAG | PV_FLAG | N_FLAG);
    c.A = 0x00;
    c.HL = 0x6000;
    c.F = C_FLAG;
    bus.load(0x100, {0xED, 0xA9}); // CPD
    bus.step();
    EXPECT_EQ(c.F, S_FLAG | H_FLAG | N_FLAG | C_FLAG);
    EXPECT_EQ(c.HL, 0x5FFF);
}

struct alu_case {
    std::initializer_list<uint8_t> code;
    uint8_t a, f_in;
    uint8_t a_out, f_out;
};

TEST(Arithmetic, AccumulatorOperations) {
    const alu_case cases[] = {
        {{0xC6, 0x01}, 0x7F, 0, 0x80, S_FLAG | H_FLAG | PV_FLAG}, // ADD A,n
        {{0xC6, 0x01}, 0xFF, 0, 0x00, Z_FLAG | H_FLAG | C_FLAG},
        {{0xCE, 0x00}, 0x0F, C_FLAG, 0x10, H_FLAG}, // ADC A,n
        {{0xCE, 0x00}, 0xFF, C_FLAG, 0x00, Z_FLAG | H_FLAG | C_FLAG},
        {{0xD6, 0x01}, 0x80, 0, 0x7F, H_FLAG | PV_FLAG | N_FLAG}, // SUB n
        {{0xD6, 0x01}, 0x00, 0, 0xFF, S_FLAG | H_FLAG | N_FLAG | C_FLAG},
        {{0xDE, 0xFF}, 0x00, C_FLAG, 0x00, Z_FLAG | H_FLAG | N_FLAG | C_FLAG}, // SBC A,n
        {{0xFE, 0x40}, 0x40, 0x28, 0x40, 0x28 | Z_FLAG | N_FLAG},              // CP keeps bits 5, 3
        {{0xFE, 0x28}, 0x00, 0, 0x00, S_FLAG | H_FLAG | N_FLAG | C_FLAG}, // ... not from operand
        {{0xE6, 0x0F}, 0xF0, C_FLAG, 0x00, Z_FLAG | H_FLAG | PV_FLAG},    // AND n
        {{0xAF}, 0x5A, 0xFF, 0x00, 0x28 | Z_FLAG | PV_FLAG},              // XOR A
        {{0xF6, 0x02}, 0x01, 0, 0x03, PV_FLAG},                           // OR n
        {{0xF6, 0x06}, 0x01, 0, 0x07, 0},
        {{0x3C}, 0x7F, C_FLAG, 0x80, S_FLAG | H_FLAG | PV_FLAG | C_FLAG}, // INC A
        {{0x3C}, 0xFF, 0, 0x00, Z_FLAG | H_FLAG},
        {{0x3D}, 0x80, 0, 0x7F, H_FLAG | PV_FLAG | N_FLAG}, // DEC A
        {{0x3D}, 0x00, C_FLAG, 0xFF, S_FLAG | H_FLAG | N_FLAG | C_FLAG},
        {{0xED, 0x44}, 0x00, 0, 0x00, Z_FLAG | N_FLAG}, // NEG
        {{0xED, 0x44}, 0x80, 0, 0x80, S_FLAG | PV_FLAG | N_FLAG | C_FLAG},
        {{0xED, 0x44}, 0x01, 0, 0xFF, S_FLAG | H_FLAG | N_FLAG | C_FLAG},
    };
    for (const alu_case &k : cases) {
        test_bus bus;
        bus.cpu.A = k.a;
        bus.cpu.F = k.f_in;
        bus.load(0x100, k.code);
        bus.step();
        EXPECT_EQ(bus.cpu.A, k.a_out) << int(*k.code.begin()) << " A=" << int(k.a);
        EXPECT_EQ(bus.cpu.F, k.f_out) << int(*k.code.begin()) << " A=" << int(k.a);
        EXPECT_EQ(bus.cpu.PC, 0x100 + k.code.size());
    }
}

TEST(Arithmetic, OperandForms) {
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    // ADD A,r with every register, ADD A,(HL), (IX+d), (IY+d) all add the same operand.
    c.HL = 0x5000;
    c.IX = 0x5010;
    c.IY = 0x4FF0;
    bus.memory[0x5000] = 0x22;
    bus.load(0x100, {0x86, 0xDD, 0x86, 0xF0, 0xFD, 0x86, 0x10, 0xDD, 0x34, 0xF0, 0x35});
    c.A = 0;
    EXPECT_EQ(bus.step(), 7);
    EXPECT_EQ(bus.step(), 19);
    EXPECT_EQ(bus.step(), 19);
    EXPECT_EQ(c.A, 0x66);
    // INC (IX+d): read d, read, write, with F set before the write; then DEC (HL).
    EXPECT_EQ(bus.trace(), (log_t{{'r', 0x107, 0xDD},
                                  {'r', 0x108, 0x34},
                                  {'r', 0x109, 0xF0},
                                  {'r', 0x5000, 0x22},
                                  {'w', 0x5000, 0x23}}));
    EXPECT_EQ(c.cycles, 23);
    EXPECT_EQ(bus.step(), 11);
    EXPECT_EQ(bus.memory[0x5000], 0x22);
    // ADD A,(IX+d) at 0xFFFE takes d from 0x0000 and ends at 0x0001.
    bus.load(0xFFFE, {0xDD, 0x86});
    bus.memory[0x0000] = 0x00;
    c.IX = 0x5000;
    bus.step();
    EXPECT_EQ(c.PC, 0x0001);
}

TEST(Arithmetic, DecimalAdjust) {
    struct daa_case {
        uint8_t a, f_in, a_out, f_out;
    };
    const daa_case cases[] = {
        {0x3C, 0, 0x42, H_FLAG | PV_FLAG}, // 0x15 + 0x27
        {0x9A, 0, 0x00, Z_FLAG | H_FLAG | PV_FLAG | C_FLAG},
        {0x0A, N_FLAG | H_FLAG, 0x04, N_FLAG}, // 0x10 - 0x06
        {0x00, N_FLAG | C_FLAG, 0xA0, S_FLAG | PV_FLAG | N_FLAG | C_FLAG},
    };
    for (const daa_case &k : cases) {
        test_bus bus;
        bus.cpu.A = k.a;
        bus.cpu.F = k.f_in;
        bus.load(0x100, {0x27});
        EXPECT_EQ(bus.step(), 4);
        EXPECT_EQ(bus.cpu.A, k.a_out);
        EXPECT_EQ(bus.cpu.F, k.f_out) << int(k.a);
    }
}

TEST(Control, CarryComplementHaltAndInterruptFlags) {
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    c.F = C_FLAG;
    bus.load(0x100, {0x3F, 0x3F, 0x37, 0x2F});
    bus.step();
    EXPECT_EQ(c.F, H_FLAG);
    bus.step();
    EXPECT_EQ(c.F, C_FLAG);
    bus.step();
    EXPECT_EQ(c.F, C_FLAG);
    c.A = 0x5A;
    c.F = 0;
    bus.step();
    EXPECT_EQ(c.A, 0xA5);
    EXPECT_EQ(c.F, 0x12);
    // HALT stays put and reports every fourth tick, even after EI.
    bus.load(0x1234, {0xFB, 0x76});
    c.cycles = 0;
    z_tick(&c);
    for (int i = 0; i < 16; ++i)
        z_tick(&c);
    EXPECT_EQ(c.PC, 0x1235);
    EXPECT_EQ(bus.halts, 4);
    EXPECT_EQ(c.iff1 + c.iff2, 2);
    bus.load(0x100, {0xF3, 0xED, 0x5E});
    bus.step();
    bus.step();
    EXPECT_EQ(c.iff1 + c.iff2, 0);
    EXPECT_EQ(c.im, 2);
    z_reset(&c);
    EXPECT_EQ(c.im, 0);
}

TEST(Arithmetic16, AddAdcSbc) {
    struct case16 {
        std::initializer_list<uint8_t> code;
        uint16_t hl, operand;
        uint8_t f_in;
        uint16_t hl_out;
        uint8_t f_out;
    };
    const uint8_t kept = S_FLAG | Z_FLAG | PV_FLAG | 0x28;
    const case16 cases[] = {
        {{0x19}, 0x0FFF, 0x0001, kept, 0x1000, kept | H_FLAG}, // ADD HL,DE
        {{0x19}, 0xFFFF, 0x0001, 0, 0x0000, H_FLAG | C_FLAG},  // Z untouched
        {{0xED, 0x5A}, 0x7FFF, 0x0000, C_FLAG, 0x8000, S_FLAG | H_FLAG | PV_FLAG},
        {{0xED, 0x5A}, 0xFFFF, 0x0000, C_FLAG, 0x0000, Z_FLAG | H_FLAG | C_FLAG},
        {{0xED, 0x52}, 0x8000, 0x0001, 0, 0x7FFF, H_FLAG | PV_FLAG | N_FLAG},
        {{0xED, 0x52}, 0x0000, 0xFFFF, C_FLAG, 0x0000, Z_FLAG | H_FLAG | N_FLAG | C_FLAG},
    };
    for (const case16 &k : cases) {
        test_bus bus;
        bus.cpu.HL = k.hl;
        bus.cpu.DE = k.operand;
        bus.cpu.F = k.f_in;
        bus.load(0x100, k.code);
        EXPECT_EQ(bus.step(), k.code.size() == 1 ? 11 : 15);
        EXPECT_EQ(bus.cpu.HL, k.hl_out);
        EXPECT_EQ(bus.cpu.F, k.f_out) << std::hex << k.hl;
    }
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    c.HL = 0x8000;
    bus.load(0x100, {0x29, 0xED, 0x6A}); // ADD HL,HL; SBC HL,HL with carry
    bus.step();
    EXPECT_EQ(c.HL, 0);
    EXPECT_EQ(c.F, C_FLAG);
    c.HL = 0x1234;
    c.PC = 0x101;
    bus.memory[0x101] = 0xED;
    bus.memory[0x102] = 0x62;
    bus.step();
    EXPECT_EQ(c.HL, 0xFFFF);
    EXPECT_EQ(c.F, S_FLAG | H_FLAG | N_FLAG | C_FLAG);
    // ADD IX,IX doubles IX; INC SP and DEC BC wrap without touching F.
    c.IX = 0x4000;
    c.SP = 0xFFFF;
    c.BC = 0;
    c.F = 0;
    bus.load(0x100, {0xDD, 0x29, 0x33, 0x0B, 0xDD, 0x23});
    EXPECT_EQ(bus.step(), 15);
    EXPECT_EQ(c.IX, 0x8000);
    bus.step();
    bus.step();
    EXPECT_EQ(c.SP, 0);
    EXPECT_EQ(c.BC, 0xFFFF);
    EXPECT_EQ(c.F, 0);
    EXPECT_EQ(bus.step(), 10);
    EXPECT_EQ(c.PC, 0x106);
}

TEST(Rotates, AccumulatorAndCbForms) {
    struct rot_case {
        std::initializer_list<uint8_t> code;
        uint8_t v, f_in, v_out, f_out;
    };
    const rot_case cases[] = {
        {{0x07}, 0x80, Z_FLAG | H_FLAG | N_FLAG, 0x01, Z_FLAG | C_FLAG}, // RLCA keeps Z
        {{0x17}, 0x80, 0, 0x00, C_FLAG},                                 // RLA: no Z
        {{0x1F}, 0x01, C_FLAG, 0x80, C_FLAG},                            // RRA
        {{0x0F}, 0x01, 0, 0x80, C_FLAG},                                 // RRCA
        {{0xCB, 0x07}, 0x80, 0, 0x01, C_FLAG},                           // RLC A
        {{0xCB, 0x17}, 0x80, 0, 0x00, Z_FLAG | PV_FLAG | C_FLAG},        // RL A
        {{0xCB, 0x27}, 0x80, 0, 0x00, Z_FLAG | PV_FLAG | C_FLAG},        // SLA A
        {{0xCB, 0x2F}, 0x81, 0, 0xC0, S_FLAG | PV_FLAG | C_FLAG},        // SRA A
        {{0xCB, 0x3F}, 0x01, 0, 0x00, Z_FLAG | PV_FLAG | C_FLAG},        // SRL A
        {{0xCB, 0x3F}, 0xFF, 0x28, 0x7F, 0x28 | C_FLAG},                 // SRL keeps 5, 3
        {{0xCB, 0x1F}, 0x01, C_FLAG, 0x80, S_FLAG | C_FLAG},             // RR A
        {{0xCB, 0x0F}, 0x02, C_FLAG, 0x01, 0},                           // RRC A
    };
    for (const rot_case &k : cases) {
        test_bus bus;
        bus.cpu.A = k.v;
        bus.cpu.F = k.f_in;
        bus.load(0x100, k.code);
        EXPECT_EQ(bus.step(), k.code.size() == 1 ? 4 : 8);
        EXPECT_EQ(bus.cpu.A, k.v_out) << int(*(k.code.end() - 1));
        EXPECT_EQ(bus.cpu.F, k.f_out) << int(*(k.code.end() - 1));
    }
}

TEST(Rotates, MemoryFormsAndDigits) {
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    // DD CB FF 06: RLC (IX-1); the decoder reads the opcode at PC+3 before the handler reads d.
    c.IX = 0x5001;
    bus.memory[0x5000] = 0x81;
    c.A = 0x11;
    c.B = 0x22;
    bus.load(0x100, {0xDD, 0xCB, 0xFF, 0x06});
    EXPECT_EQ(bus.trace(), (log_t{{'r', 0x100, 0xDD},
                                  {'r', 0x101, 0xCB},
                                  {'r', 0x103, 0x06},
                                  {'r', 0x102, 0xFF},
                                  {'r', 0x5000, 0x81},
                                  {'w', 0x5000, 0x03}}));
    EXPECT_EQ(c.cycles, 23);
    EXPECT_EQ(c.PC, 0x104);
    EXPECT_EQ(c.A, 0x11);
    EXPECT_EQ(c.B, 0x22);
    EXPECT_TRUE(c.F & C_FLAG);
    // RLD and RRD.
    c.A = 0x12;
    c.HL = 0x6000;
    bus.memory[0x6000] = 0x34;
    c.F = C_FLAG;
    bus.load(0x100, {0xED, 0x6F});
    EXPECT_EQ(bus.step(), 18);
    EXPECT_EQ(c.A, 0x13);
    EXPECT_EQ(bus.memory[0x6000], 0x42);
    EXPECT_EQ(c.F, C_FLAG);
    c.A = 0x12;
    bus.memory[0x6000] = 0x34;
    bus.load(0x100, {0xED, 0x67});
    bus.step();
    EXPECT_EQ(c.A, 0x14);
    EXPECT_EQ(bus.memory[0x6000], 0x23);
    EXPECT_EQ(c.F, C_FLAG | PV_FLAG);
}

TEST(Bits, TestSetReset) {
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    c.A = 0x80;
    c.F = 0x2D;                    // 5, 3, P/V and C kept; S kept as 0
    bus.load(0x100, {0xCB, 0x7F}); // BIT 7,A
    EXPECT_EQ(bus.step(), 8);
    EXPECT_EQ(c.F, 0x2D | H_FLAG);
    c.B = 0xFE;
    bus.load(0x100, {0xCB, 0x40}); // BIT 0,B
    bus.step();
    EXPECT_EQ(c.F, 0x2D | H_FLAG | Z_FLAG);
    c.A = 0x00;
    c.F = 0;
    bus.load(0x100, {0xCB, 0xDF, 0xCB, 0x9F}); // SET 3,A; RES 3,A
    bus.step();
    EXPECT_EQ(c.A, 0x08);
    bus.step();
    EXPECT_EQ(c.A, 0x00);
    EXPECT_EQ(c.F, 0);
    // DD CB 05 46 tests bit 0 of (IX+5); FD CB FF 86 clears bit 0 of (IY-1); wrapping SET.
    c.IX = 0x7000;
    c.IY = 0x7100;
    bus.memory[0x7005] = 0x01;
    bus.memory[0x70FF] = 0xFF;
    bus.load(0x100, {0xDD, 0xCB, 0x05, 0x46, 0xFD, 0xCB, 0xFF, 0x86});
    EXPECT_EQ(bus.step(), 20);
    EXPECT_FALSE(c.F & Z_FLAG);
    EXPECT_EQ(bus.step(), 23);
    EXPECT_EQ(bus.memory[0x70FF], 0xFE);
    EXPECT_EQ(c.PC, 0x108);
    c.IX = 0xFFFF;
    bus.memory[0x0000] = 0x00;
    bus.load(0x100, {0xDD, 0xCB, 0x01, 0xC6});
    bus.step();
    EXPECT_EQ(bus.memory[0x0000], 0x01);
    c.HL = 0x7200;
    bus.load(0x100, {0xCB, 0x7E, 0xCB, 0xFE});
    EXPECT_EQ(bus.step(), 12);
    EXPECT_EQ(bus.step(), 15);
    EXPECT_EQ(bus.memory[0x7200], 0x80);
}

TEST(Jumps, RelativeConditionalAndLoops) {
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    bus.load(0xFFF0, {0x18, 0x7F}); // JR wraps
    EXPECT_EQ(bus.step(), 12);
    EXPECT_EQ(c.PC, 0x0071);
    bus.load(0x100, {0x18, 0xFE}); // JR to itself
    bus.step();
    EXPECT_EQ(c.PC, 0x100);
    c.F = Z_FLAG;
    bus.load(0x100, {0x20, 0x10}); // JR NZ not taken: the operand is not read
    EXPECT_EQ(bus.trace(), (log_t{{'r', 0x100, 0x20}}));
    EXPECT_EQ(c.cycles, 7);
    EXPECT_EQ(c.PC, 0x102);
    c.F = 0;
    bus.load(0x100, {0xE2, 0x00, 0x90}); // JP PO taken
    EXPECT_EQ(bus.step(), 10);
    EXPECT_EQ(c.PC, 0x9000);
    bus.load(0x100, {0xFA, 0x00, 0x90}); // JP M not taken, still 10
    EXPECT_EQ(bus.step(), 10);
    EXPECT_EQ(c.PC, 0x103);
    c.B = 1;
    bus.load(0x100, {0x10, 0xFE});
    EXPECT_EQ(bus.step(), 8);
    EXPECT_EQ(c.B, 0);
    EXPECT_EQ(c.PC, 0x102);
    bus.load(0x100, {0x10, 0xFE});
    EXPECT_EQ(bus.step(), 13);
    EXPECT_EQ(c.B, 0xFF);
    EXPECT_EQ(c.PC, 0x100);
    c.HL = 0x1234;
    c.IY = 0x5678;
    bus.load(0x100, {0xE9});
    EXPECT_EQ(bus.trace(), (log_t{{'r', 0x100, 0xE9}}));
    EXPECT_EQ(c.cycles, 4);
    EXPECT_EQ(c.PC, 0x1234);
    bus.load(0x100, {0xFD, 0xE9});
    EXPECT_EQ(bus.step(), 8);
    EXPECT_EQ(c.PC, 0x5678);
    // A JR opcode whose condition field is out of range reports and changes nothing.
    bus.load(0x100, {0x18, 0x00});
    z_opcode_jr_cc_e(&c, 0x18);
    EXPECT_EQ(bus.exceptions.back(), "Invalid jr condition selector");
    EXPECT_EQ(c.PC, 0x100);
}

TEST(Jumps, CallsReturnsAndRestarts) {
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    c.SP = 0x0000;
    bus.load(0x8000, {0xCD, 0x34, 0x12});
    bus.memory[0x1234] = 0xC9;
    EXPECT_EQ(bus.trace(), (log_t{{'r', 0x8000, 0xCD},
                                  {'r', 0x8001, 0x34},
                                  {'r', 0x8002, 0x12},
                                  {'w', 0xFFFF, 0x80},
                                  {'w', 0xFFFE, 0x03}}));
    EXPECT_EQ(c.cycles, 17);
    EXPECT_EQ(c.SP, 0xFFFE);
    EXPECT_EQ(c.PC, 0x1234);
    EXPECT_EQ(bus.step(), 10);
    EXPECT_EQ(c.PC, 0x8003);
    EXPECT_EQ(c.SP, 0x0000);
    c.F = 0;
    bus.load(0x100, {0xD8}); // RET C not taken
    EXPECT_EQ(bus.step(), 5);
    EXPECT_EQ(c.PC, 0x101);
    EXPECT_EQ(c.SP, 0);
    bus.load(0x100, {0xDC, 0x00, 0x20}); // CALL C not taken
    EXPECT_EQ(bus.step(), 10);
    EXPECT_EQ(c.PC, 0x103);
    c.SP = 0x9000;
    bus.load(0x4000, {0xFF}); // RST 38
    EXPECT_EQ(bus.step(), 11);
    EXPECT_EQ(c.PC, 0x0038);
    EXPECT_EQ(bus.memory[0x8FFF], 0x40);
    EXPECT_EQ(bus.memory[0x8FFE], 0x01);
    c.iff1 = 0;
    c.iff2 = 1;
    bus.load(0x100, {0xED, 0x45}); // RETN
    EXPECT_EQ(bus.step(), 14);
    EXPECT_EQ(c.iff1, 1);
    EXPECT_EQ(c.PC, 0x4001);
    c.SP = 0x8FFE;
    c.iff1 = 0;
    bus.load(0x100, {0xED, 0x4D}); // RETI
    bus.step();
    EXPECT_EQ(c.iff1, 0);
    EXPECT_EQ(c.iff2, 1);
}

TEST(InputOutput, PortsAndFlags) {
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    c.A = 0x12;
    c.F = 0xFF;
    bus.port_value = 0x99;
    bus.load(0x100, {0xDB, 0x34});
    bus.step();
    EXPECT_EQ(bus.log.back(), (bus_access{'i', 0x1234, 0x99}));
    EXPECT_EQ(c.A, 0x99);
    EXPECT_EQ(c.F, 0xFF);
    c.A = 0x07;
    bus.load(0x100, {0xD3, 0x0D});
    EXPECT_EQ(bus.step(), 11);
    EXPECT_EQ(bus.log.back(), (bus_access{'o', 0x070D, 0x07}));
    struct in_case {
        uint8_t v, f;
    };
    for (in_case k : {in_case{0x00, Z_FLAG | PV_FLAG | C_FLAG}, in_case{0x80, S_FLAG | C_FLAG},
                      in_case{0x03, PV_FLAG | C_FLAG}}) {
        bus.port_value = k.v;
        c.F = C_FLAG | H_FLAG | N_FLAG;
        c.BC = 0xAB0C;
        bus.load(0x100, {0xED, 0x50}); // IN D,(C)
        EXPECT_EQ(bus.step(), 12);
        EXPECT_EQ(bus.log.back(), (bus_access{'i', 0xAB0C, k.v}));
        EXPECT_EQ(c.D, k.v);
        EXPECT_EQ(c.F, k.f);
    }
    // ED 70 and ED 71 report before touching any port.
    bus.log.clear();
    bus.load(0x100, {0xED, 0x70});
    EXPECT_EQ(bus.step(), 0);
    EXPECT_EQ(bus.exceptions.back(), "Invalid r register selector");
    EXPECT_TRUE(bus.log.empty());
    EXPECT_EQ(c.PC, 0x100);
}

TEST(InputOutput, BlockForms) {
    test_bus bus;
    z_cpu_t &c = bus.cpu;
    bus.memory[0x5000] = 1;
    bus.memory[0x5001] = 2;
    bus.memory[0x5002] = 3;
    c.B = 3;
    c.C = 0x0C;
    c.HL = 0x5000;
    c.F = S_FLAG | H_FLAG | PV_FLAG | C_FLAG;
    bus.load(0x100, {0xED, 0xB3}); // OTIR
    EXPECT_EQ(bus.step(), 21);
    EXPECT_EQ(bus.step(), 21);
    EXPECT_EQ(bus.step(), 16);
    const log_t outs = {{'o', 0x030C, 1}, {'o', 0x020C, 2}, {'o', 0x010C, 3}};
    log_t seen;
    for (const bus_access &a : bus.log)
        if (a.kind == 'o') seen.push_back(a);
    EXPECT_EQ(seen, outs);
    EXPECT_EQ(c.B, 0);
    EXPECT_EQ(c.F, S_FLAG | Z_FLAG | H_FLAG | PV_FLAG | N_FLAG | C_FLAG);
    // INI counts B down, Z only at zero; the others are kept.
    const uint8_t counts[] = {1, 2, 0};
    const uint8_t after[] = {0, 1, 0xFF};
    for (int i = 0; i < 3; ++i) {
        c.B = counts[i];
        c.HL = 0x6000;
        c.F = S_FLAG | C_FLAG;
        bus.load(0x100, {0xED, 0xA2});
        EXPECT_EQ(bus.step(), 16);
        EXPECT_EQ(c.B, after[i]);
        EXPECT_EQ(c.F, S_FLAG | C_FLAG | N_FLAG | (after[i] == 0 ? Z_FLAG : 0));
        EXPECT_EQ(c.HL, 0x6001);
    }
    // INIR with B = 0 reads 256 bytes; INDR steps HL below zero.
    c.B = 0;
    c.HL = 0x7000;
    bus.load(0x100, {0xED, 0xB2});
    int n = 0;
    do {
        bus.step();
        ++n;
    } while (c.PC == 0x100);
    EXPECT_EQ(n, 256);
    c.B = 1;
    c.HL = 0x0000;
    bus.load(0x100, {0xED, 0xBA});
    bus.step();
    EXPECT_EQ(c.HL, 0xFFFF);
}

TEST(Decoder, InvalidOpcodeStaysUntilReset) {
    test_bus bus;
    bus.load(0x300, {0xED, 0x77});
    for (int i = 0; i < 5; ++i)
        z_tick(&bus.cpu);
    EXPECT_EQ(bus.exceptions.size(), 5u);
    EXPECT_EQ(bus.cpu.PC, 0x300);
    z_reset(&bus.cpu);
    bus.memory[0] = 0x00;
    z_tick(&bus.cpu);
    EXPECT_EQ(bus.cpu.PC, 1);
    EXPECT_EQ(bus.exceptions.size(), 5u);
}

} // namespace
