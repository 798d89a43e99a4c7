// The disassembler against the processor (every encoding of every page), against pasmo (a
// source of every instruction form), and its exact texts where the two cannot tell: displacement
// signs, relative targets across FFFF, symbols, undocumented encodings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "debug/info/disasm.h"
#include "debug/info/symbols.h"
#include "zcpu_bus.h"

namespace {

constexpr uint16_t ORIGIN = 0x4000, RETURN_ADDRESS = 0x5678;

struct run_result {
    bool valid;
    uint16_t pc, sp, pushed;
    uint8_t b;
};

// Runs one instruction on the processor from a fixed state with the given F.
run_result run(const std::vector<uint8_t> &bytes, uint8_t f) {
    test_bus bus;
    std::copy(bytes.begin(), bytes.end(), bus.memory + ORIGIN);
    bus.memory[SP0] = RETURN_ADDRESS & 0xFF;
    bus.memory[SP0 + 1] = RETURN_ADDRESS >> 8;
    standard_state(bus);
    z_cpu_t &c = bus.cpu;
    c.PC = ORIGIN;
    c.F = f;
    bus.step();
    const uint16_t sp = c.SP;
    return {bus.exceptions.empty(), c.PC, sp,
            static_cast<uint16_t>(bus.memory[sp] | bus.memory[uint16_t(sp + 1)] << 8), c.B};
}

// Over every value of every page: valid exactly when the processor executes it; where PC goes
// is the next instruction, or a place one of the flags names (F = 00 and F = FF take each
// condition one way); calls push the next instruction's address, returns reach the popped one.
TEST(Disasm, AgreesWithTheProcessorOnEveryEncoding) {
    const std::vector<std::vector<uint8_t>> pages = {{}, {0xCB}, {0xED}, {0xDD}, {0xFD}};
    int valid_count = 0;
    for (int page = 0; page < 7; ++page)
        for (int op = 0; op < 256; ++op) {
            std::vector<uint8_t> bytes;
            if (page < 5) {
                bytes = pages[page];
                bytes.insert(bytes.end(), {static_cast<uint8_t>(op), 0x34, 0x12});
            } else {
                bytes = {page == 5 ? uint8_t{0xDD} : uint8_t{0xFD}, 0xCB, 0x34,
                         static_cast<uint8_t>(op)};
            }
            const bool prefix =
                (page == 0 && (op == 0xCB || op == 0xDD || op == 0xED || op == 0xFD)) ||
                ((page == 3 || page == 4) && op == 0xCB);
            if (prefix) continue;
            SCOPED_TRACE("page " + std::to_string(page) + " opcode " + std::to_string(op));
            uint8_t memory[65536] = {};
            std::copy(bytes.begin(), bytes.end(), memory + ORIGIN);
            const dbg_instruction_t in = dbg_disassemble(memory, ORIGIN, nullptr);
            EXPECT_TRUE(std::equal(in.bytes, in.bytes + in.length, bytes.begin()));
            const uint16_t next = static_cast<uint16_t>(ORIGIN + in.length);
            bool reached_target = false, returned = false, called = false, repeated = false;
            bool through_register = false, popped = false;
            for (uint8_t f : {0x00, 0xFF}) {
                const run_result r = run(bytes, f);
                ASSERT_EQ(in.valid, r.valid);
                if (!in.valid) continue;
                const bool jumped = r.pc != next;
                reached_target |= in.has_target && r.pc == in.target;
                returned |= r.pc == RETURN_ADDRESS;
                called |= jumped && r.sp == SP0 - 2 && r.pushed == next;
                repeated |= (r.pc == ORIGIN && in.text != "HALT") || (jumped && r.b == 4);
                through_register |= jumped && r.sp == SP0 && !in.has_target &&
                                    (r.pc == HL0 || r.pc == IX0 || r.pc == IY0);
                popped |= !jumped && (r.sp == SP0 + 1 || r.sp == SP0 + 2);
                const bool explained =
                    !jumped || (in.has_target && r.pc == in.target) ||
                    (in.is_return && r.pc == RETURN_ADDRESS) || (in.is_repeat && r.pc == ORIGIN) ||
                    (in.text == "HALT" && r.pc == ORIGIN) ||
                    (in.text.rfind("JP (", 0) == 0 && (r.pc == HL0 || r.pc == IX0 || r.pc == IY0));
                EXPECT_TRUE(explained) << in.text << " went to " << r.pc;
            }
            if (!in.valid) {
                EXPECT_EQ(in.text, "?");
                EXPECT_EQ(in.length, page >= 5 ? 4 : 2);
                continue;
            }
            ++valid_count;
            EXPECT_NE(in.text, "?");
            EXPECT_EQ(in.has_target, reached_target) << in.text;
            EXPECT_EQ(in.is_return, returned) << in.text;
            EXPECT_EQ(in.is_call, called) << in.text;
            EXPECT_EQ(in.is_repeat, repeated) << in.text;
            // The classifier of calls and returns, from the bytes alone, as the processor ran it.
            const dbg_flow_t flow = called             ? DBG_FLOW_CALL
                                    : returned         ? DBG_FLOW_RETURN
                                    : through_register ? DBG_FLOW_JUMP_REG
                                    : popped           ? DBG_FLOW_POP
                                                       : DBG_FLOW_NONE;
            EXPECT_EQ(flow, in.flow) << in.text;
            EXPECT_EQ(flow, dbg_flow(memory, ORIGIN)) << in.text;
        }
    // 252 main, 248 CB, 58 ED, 39 on each of DD and FD, 31 on each of DD CB and FD CB.
    EXPECT_EQ(valid_count, 252 + 248 + 58 + 39 + 39 + 31 + 31);
}

dbg_instruction_t at(uint16_t address, std::initializer_list<uint8_t> bytes,
                     const dbg_symbols_t *symbols = nullptr) {
    static uint8_t memory[65536];
    std::fill(std::begin(memory), std::end(memory), 0);
    uint16_t a = address;
    for (uint8_t b : bytes)
        memory[a++] = b;
    return dbg_disassemble(memory, address, symbols);
}

TEST(Disasm, ExactTexts) {
    struct {
        uint16_t address;
        std::initializer_list<uint8_t> bytes;
        const char *text;
    } cases[] = {
        {0x8000, {0x20, 0x02}, "JR NZ,$8004"},
        {0xFFF0, {0x18, 0x20}, "JR $0012"},   // forwards across FFFF
        {0x0010, {0x10, 0x80}, "DJNZ $FF92"}, // backwards across 0000
        {0xFFFF, {0x3E, 0x05}, "LD A,$05"},   // operand bytes wrap too
        // No number reads as a register.
        {0x0000, {0x3E, 0xBC}, "LD A,$BC"},
        {0x0000, {0xFE, 0xDE}, "CP $DE"},
        {0x0000, {0x01, 0xAF, 0x00}, "LD BC,$00AF"},
        {0x0000, {0xD3, 0x0C}, "OUT ($0C),A"},
        {0x0000, {0xFF}, "RST $38"},
        {0x0000, {0xED, 0x5E}, "IM 2"},
        {0x0000, {0xDD, 0x7E, 0x05}, "LD A,(IX+$05)"},
        {0x0000, {0xDD, 0x36, 0xFD, 0x7F}, "LD (IX-$03),$7F"},
        {0x0000, {0xFD, 0x74, 0x80}, "LD (IY-$80),H"},
        {0x0000, {0xFD, 0xCB, 0x00, 0x7E}, "BIT 7,(IY+$00)"},
        {0x0000, {0xDD, 0xCB, 0xFF, 0xC6}, "SET 0,(IX-$01)"},
        {0x0000, {0xED, 0x6B, 0x00, 0x20}, "LD HL,($2000)"},
        {0x0000, {0xCB, 0x30}, "?"},             // SLL
        {0x0000, {0xED, 0x70}, "?"},             // IN (C)
        {0x0000, {0xDD, 0x64}, "?"},             // LD H,IXH
        {0x0000, {0xDD, 0xCB, 0x05, 0x07}, "?"}, // RLC (IX+05),A
    };
    for (const auto &c : cases)
        EXPECT_EQ(at(c.address, c.bytes).text, c.text);

    const dbg_instruction_t wrapped = at(0xFFFF, {0x3E, 0x05});
    EXPECT_EQ(dbg_instruction_bytes(wrapped), "3E 05");
    const dbg_instruction_t undocumented = at(0x1000, {0xFD, 0xCB, 0x05, 0x07});
    EXPECT_FALSE(undocumented.valid);
    EXPECT_EQ(dbg_instruction_bytes(undocumented), "FD CB 05 07");
    EXPECT_EQ(dbg_instruction_bytes(at(0x1000, {0xFD, 0xFD})), "FD FD");
}

// Address operands are named by a symbol exactly at them; 8-bit immediates, ports, RST numbers
// and addresses a symbol only comes near stay numbers.
TEST(Disasm, SymbolsNameAddressOperands) {
    dbg_symbols_t symbols;
    dbg_symbols_add(&symbols, "main", 0x8000);
    dbg_symbols_add(&symbols, "buffer", 0x9000);
    dbg_symbols_add(&symbols, "start", 0x0012);
    dbg_symbols_add(&symbols, "low", 0x0038);
    const struct {
        uint16_t address;
        std::initializer_list<uint8_t> bytes;
        const char *text;
    } cases[] = {
        {0x1000, {0xCD, 0x00, 0x80}, "CALL main"},
        {0x1000, {0xCA, 0x00, 0x80}, "JP Z,main"},
        {0xFFF0, {0x18, 0x20}, "JR start"},
        {0x1000, {0x21, 0x00, 0x90}, "LD HL,buffer"},
        {0x1000, {0x32, 0x00, 0x90}, "LD (buffer),A"},
        {0x1000, {0xFD, 0x2A, 0x00, 0x90}, "LD IY,(buffer)"},
        {0x1000, {0xED, 0x43, 0x00, 0x90}, "LD (buffer),BC"},
        {0x1000, {0x21, 0x01, 0x90}, "LD HL,$9001"},
        {0x1000, {0x3E, 0x38}, "LD A,$38"},
        {0x1000, {0xDB, 0x38}, "IN A,($38)"},
        {0x1000, {0xFF}, "RST $38"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(at(c.address, c.bytes, &symbols).text, c.text);
    const dbg_instruction_t call = at(0x1000, {0xCD, 0x00, 0x80}, &symbols);
    EXPECT_TRUE(call.has_target);
    EXPECT_EQ(call.target, 0x8000);
}

// Source text as the disassembler writes it: upper case, $ for 0x, no blanks after commas.
std::string normalised(std::string line) {
    line = line.substr(0, line.find(';'));
    std::string out;
    bool blank = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(line[i])));
        if (c == '0' && i + 1 < line.size() && (line[i + 1] == 'x' || line[i + 1] == 'X')) {
            ++i;
            if (blank) out += ' ';
            blank = false;
            out += '$';
            continue;
        }
        if (c == ' ' || c == '\t') {
            blank = !out.empty() && out.back() != ',';
            continue;
        }
        if (blank && c != ',') out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

// pasmo assembles one line per instruction form; disassembling its binary gives back each line.
TEST(Disasm, ReadsBackWhatPasmoAssembled) {
    std::ifstream bin(QUILLANE_Z80_DIR "/disasm_forms.bin", std::ios::binary);
    std::ifstream source(QUILLANE_SOURCE_DIR "/tests/z80/disasm_forms.asm");
    ASSERT_TRUE(bin && source);
    const std::vector<uint8_t> image((std::istreambuf_iterator<char>(bin)),
                                     std::istreambuf_iterator<char>());
    uint8_t memory[65536] = {};
    std::copy(image.begin(), image.end(), memory + 0x8000);
    uint16_t address = 0x8000;
    int lines = 0;
    std::string line;
    while (std::getline(source, line)) {
        const std::string expected = normalised(line);
        if (expected.empty() || expected.rfind("ORG ", 0) == 0) continue;
        const dbg_instruction_t in = dbg_disassemble(memory, address, nullptr);
        EXPECT_TRUE(in.valid) << expected;
        EXPECT_EQ(in.text, expected) << "at " << std::hex << address;
        address = static_cast<uint16_t>(address + in.length);
        ++lines;
    }
    EXPECT_EQ(address, 0x8000 + image.size()) << "every byte read, none left over";
    EXPECT_GT(lines, 190);
}

} // namespace
