// Every operand form of the 8-bit arithmetic, increment, shift and bit groups against a small
// reference model written from the flag rules in their plainest form (nibble sums for H, signed
// sums for overflow, a bit count for parity), over a spread of operands, both carry values and
// two incoming F patterns (the copy bits 5 and 3 set, or every other bit set).
#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "zcpu_bus.h"

namespace {

const uint8_t operands[] = {0x00, 0x01, 0x0F, 0x10, 0x3C, 0x5A, 0x7F,
                            0x80, 0x81, 0x99, 0xA5, 0xF0, 0xFE, 0xFF};
const uint8_t flags_in[] = {0x28, 0xD6}; // with C added or not

uint8_t sz(uint8_t v) {
    return static_cast<uint8_t>((v & 0x80) | (v == 0 ? Z_FLAG : 0));
}
uint8_t parity(uint8_t v) {
    return std::popcount(v) % 2 == 0 ? PV_FLAG : 0;
}

struct outcome {
    uint8_t value, f;
};

// op: 0 ADD, 1 ADC, 2 SUB, 3 SBC, 4 AND, 5 XOR, 6 OR, 7 CP (the order of opcode bits 5-3).
outcome alu_model(int op, uint8_t a, uint8_t b, uint8_t f) {
    const int c = (op == 1 || op == 3) ? (f & C_FLAG) : 0;
    const uint8_t kept = f & 0x28;
    if (op == 0 || op == 1) {
        const uint8_t r = static_cast<uint8_t>(a + b + c);
        const int signed_sum = int8_t(a) + int8_t(b) + c;
        return {r, static_cast<uint8_t>(kept | sz(r) | ((a & 15) + (b & 15) + c > 15 ? H_FLAG : 0) |
                                        (signed_sum < -128 || signed_sum > 127 ? PV_FLAG : 0) |
                                        (a + b + c > 255 ? C_FLAG : 0))};
    }
    if (op == 2 || op == 3 || op == 7) {
        const uint8_t r = static_cast<uint8_t>(a - b - c);
        const int signed_diff = int8_t(a) - int8_t(b) - c;
        const uint8_t flags =
            static_cast<uint8_t>(kept | sz(r) | ((a & 15) < (b & 15) + c ? H_FLAG : 0) |
                                 (signed_diff < -128 || signed_diff > 127 ? PV_FLAG : 0) | N_FLAG |
                                 (a < b + c ? C_FLAG : 0));
        return {op == 7 ? a : r, flags};
    }
    const uint8_t r = static_cast<uint8_t>(op == 4 ? a & b : op == 5 ? a ^ b : a | b);
    return {r, static_cast<uint8_t>(kept | sz(r) | (op == 4 ? H_FLAG : 0) | parity(r))};
}

// The memory operand of every form lives at one of these, reached as (HL), (IX-2) and (IY+5).
constexpr uint16_t AT_HL = 0x5000, AT_IX = 0x6000, AT_IY = 0x7000;

void point_registers(z_cpu_t &c) {
    c.HL = AT_HL;
    c.IX = AT_IX + 2;
    c.IY = AT_IY - 5;
}

// The forms of one instruction: bytes with the register field r (0-7, 6 = (HL)), then the
// indexed forms, which put the memory opcode behind a prefix and a displacement.
struct form {
    std::string name;
    std::vector<uint8_t> code;
    int reg;          // register field of the r forms, -1 for the memory forms
    uint16_t address; // memory operand, for the memory forms
};

std::vector<form> register_and_memory_forms(uint8_t base, int shift, bool cb) {
    std::vector<form> forms;
    const char *names = "BCDEHL?A";
    for (int r = 0; r < 8; ++r) {
        const uint8_t op = static_cast<uint8_t>(base | r << shift);
        std::vector<uint8_t> code = cb ? std::vector<uint8_t>{0xCB, op} : std::vector<uint8_t>{op};
        if (r == 6)
            forms.push_back({"(HL)", code, -1, AT_HL});
        else
            forms.push_back({std::string(1, names[r]), code, r, 0});
    }
    const uint8_t mem = static_cast<uint8_t>(base | 6 << shift);
    if (cb) {
        forms.push_back({"(IX+d)", {0xDD, 0xCB, 0xFE, mem}, -1, AT_IX});
        forms.push_back({"(IY+d)", {0xFD, 0xCB, 0x05, mem}, -1, AT_IY});
    } else {
        forms.push_back({"(IX+d)", {0xDD, mem, 0xFE}, -1, AT_IX});
        forms.push_back({"(IY+d)", {0xFD, mem, 0x05}, -1, AT_IY});
    }
    return forms;
}

uint8_t &register_by_field(z_cpu_t &c, int r) {
    uint8_t *regs[] = {&c.B, &c.C, &c.D, &c.E, &c.H, &c.L, nullptr, &c.A};
    return *regs[r];
}

// Runs one form with the operand v; returns the operand's location afterwards.
uint8_t run_form(test_bus &bus, const form &k, uint8_t a, uint8_t v, uint8_t f) {
    z_cpu_t &c = bus.cpu;
    c.A = a;
    c.F = f;
    point_registers(c);
    bus.memory[AT_HL] = bus.memory[AT_IX] = bus.memory[AT_IY] = 0;
    if (k.reg >= 0)
        register_by_field(c, k.reg) = v; // for r = 7 this is A itself
    else
        bus.memory[k.address] = v;
    std::copy(k.code.begin(), k.code.end(), bus.memory + 0x100);
    c.PC = 0x100;
    bus.step();
    EXPECT_EQ(c.PC, 0x100 + k.code.size());
    EXPECT_TRUE(bus.exceptions.empty());
    return k.reg >= 0 ? register_by_field(c, k.reg) : bus.memory[k.address];
}

TEST(OperandForms, AccumulatorOperations) {
    const char *ops[] = {"ADD", "ADC", "SUB", "SBC", "AND", "XOR", "OR", "CP"};
    test_bus bus;
    for (int op = 0; op < 8; ++op) {
        const uint8_t base = static_cast<uint8_t>(0x80 | op << 3);
        for (const form &k : register_and_memory_forms(base, 0, false)) {
            SCOPED_TRACE(std::string(ops[op]) + " " + k.name);
            for (uint8_t a : operands)
                for (uint8_t v : operands)
                    for (uint8_t f : flags_in)
                        for (uint8_t carry : {0, 1}) {
                            run_form(bus, k, a, v, f | carry);
                            // With A as the operand register both operands are v.
                            const outcome want = alu_model(op, k.reg == 7 ? v : a, v, f | carry);
                            ASSERT_EQ(bus.cpu.A, want.value) << int(a) << " " << int(v);
                            ASSERT_EQ(bus.cpu.F, want.f) << int(a) << " " << int(v);
                        }
        }
        SCOPED_TRACE(std::string(ops[op]) + " n");
        for (uint8_t a : operands)
            for (uint8_t v : operands)
                for (uint8_t f : flags_in)
                    for (uint8_t carry : {0, 1}) {
                        bus.cpu.A = a;
                        bus.cpu.F = f | carry;
                        bus.load(0x100, {static_cast<uint8_t>(0xC6 | op << 3), v});
                        bus.step();
                        const outcome want = alu_model(op, a, v, f | carry);
                        ASSERT_EQ(bus.cpu.A, want.value) << int(a) << " " << int(v);
                        ASSERT_EQ(bus.cpu.F, want.f) << int(a) << " " << int(v);
                        ASSERT_EQ(bus.cpu.PC, 0x102);
                    }
    }
}

TEST(OperandForms, IncrementAndDecrement) {
    test_bus bus;
    for (int dec = 0; dec < 2; ++dec)
        for (const form &k : register_and_memory_forms(dec ? 0x05 : 0x04, 3, false)) {
            SCOPED_TRACE(std::string(dec ? "DEC " : "INC ") + k.name);
            for (int v = 0; v < 256; ++v)
                for (uint8_t f : {uint8_t{0x28}, uint8_t{0xD7}}) {
                    const uint8_t old = static_cast<uint8_t>(v);
                    const uint8_t r = run_form(bus, k, 0x42, old, f);
                    const uint8_t want = static_cast<uint8_t>(dec ? old - 1 : old + 1);
                    const bool half = dec ? (old & 15) == 0 : (old & 15) == 15;
                    const bool overflow = old == (dec ? 0x80 : 0x7F);
                    ASSERT_EQ(r, want) << v;
                    ASSERT_EQ(bus.cpu.F, (f & (0x28 | C_FLAG)) | sz(want) | (half ? H_FLAG : 0) |
                                             (overflow ? PV_FLAG : 0) | (dec ? N_FLAG : 0))
                        << v;
                }
        }
}

// op: 0 RLC, 1 RRC, 2 RL, 3 RR, 4 SLA, 5 SRA, 7 SRL (opcode bits 5-3 of the CB page).
outcome shift_model(int op, uint8_t v, uint8_t f) {
    const int carry_in = f & C_FLAG;
    int r = 0, carry = 0;
    switch (op) {
    case 0: r = v << 1 | v >> 7, carry = v >> 7; break;
    case 1: r = v >> 1 | (v & 1) << 7, carry = v & 1; break;
    case 2: r = v << 1 | carry_in, carry = v >> 7; break;
    case 3: r = v >> 1 | carry_in << 7, carry = v & 1; break;
    case 4: r = v << 1, carry = v >> 7; break;
    case 5: r = v >> 1 | (v & 0x80), carry = v & 1; break;
    case 7: r = v >> 1, carry = v & 1; break;
    }
    const uint8_t result = static_cast<uint8_t>(r);
    return {result, static_cast<uint8_t>((f & 0x28) | sz(result) | parity(result) | carry)};
}

TEST(OperandForms, RotatesAndShifts) {
    const char *ops[] = {"RLC", "RRC", "RL", "RR", "SLA", "SRA", "", "SRL"};
    test_bus bus;
    for (int op : {0, 1, 2, 3, 4, 5, 7})
        for (const form &k : register_and_memory_forms(static_cast<uint8_t>(op << 3), 0, true)) {
            SCOPED_TRACE(std::string(ops[op]) + " " + k.name);
            for (int v = 0; v < 256; ++v)
                for (uint8_t f : {uint8_t{0x28}, uint8_t{0xD7}}) {
                    const uint8_t r = run_form(bus, k, 0x42, static_cast<uint8_t>(v), f);
                    const outcome want = shift_model(op, static_cast<uint8_t>(v), f);
                    ASSERT_EQ(r, want.value) << v;
                    ASSERT_EQ(bus.cpu.F, want.f) << v;
                }
        }
    // The accumulator rotates are the same operations on A with only C, H and N written.
    const uint8_t accumulator_ops[][2] = {{0x07, 0}, {0x0F, 1}, {0x17, 2}, {0x1F, 3}};
    for (const auto &[opcode, op] : accumulator_ops)
        for (int v = 0; v < 256; ++v)
            for (uint8_t f : {uint8_t{0x28}, uint8_t{0xD7}}) {
                bus.cpu.A = static_cast<uint8_t>(v);
                bus.cpu.F = f;
                bus.load(0x100, {opcode});
                bus.step();
                const outcome want = shift_model(op, static_cast<uint8_t>(v), f);
                ASSERT_EQ(bus.cpu.A, want.value) << int(opcode) << " " << v;
                ASSERT_EQ(bus.cpu.F, (f & 0xEC) | (want.f & C_FLAG)) << int(opcode) << " " << v;
            }
}

TEST(OperandForms, BitTestSetAndReset) {
    test_bus bus;
    for (int b = 0; b < 8; ++b) {
        const uint8_t mask = static_cast<uint8_t>(1 << b);
        for (const char *what : {"BIT", "RES", "SET"}) {
            const int group = what[0] == 'B' ? 1 : what[0] == 'R' ? 2 : 3;
            const uint8_t base = static_cast<uint8_t>(group << 6 | b << 3);
            for (const form &k : register_and_memory_forms(base, 0, true)) {
                SCOPED_TRACE(std::string(what) + " " + std::to_string(b) + "," + k.name);
                for (uint8_t v : operands)
                    for (uint8_t f : {uint8_t{0x28}, uint8_t{0xD7}}) {
                        const uint8_t r = run_form(bus, k, 0x42, v, f);
                        if (group == 1) {
                            ASSERT_EQ(r, v);
                            ASSERT_EQ(bus.cpu.F, (f & 0xAD) | H_FLAG | ((v & mask) ? 0 : Z_FLAG));
                        } else {
                            ASSERT_EQ(r, group == 2 ? (v & ~mask) : (v | mask));
                            ASSERT_EQ(bus.cpu.F, f);
                        }
                    }
            }
        }
    }
}

} // namespace
