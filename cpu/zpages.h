// The processor's instruction set as data: for each of the seven opcode pages, the length in
// bytes (prefixes included) of every encoding the decoders in zcpu.cpp execute, and 0 for every
// encoding they report as invalid. A prefix that opens another page (CB, DD, ED, FD on the main
// page, CB on the DD and FD pages) is 0 on the page that holds it.
//
// The decoders themselves stay plain switches, so reading this table costs the processor
// nothing; the disassembler reads it, and the tests run the processor on every encoding of every
// page to hold the two together.
#pragma once

#include <array>
#include <cstdint>

enum z_page_t : uint8_t {
    Z_PAGE_MAIN, // op
    Z_PAGE_CB,   // CB op
    Z_PAGE_ED,   // ED op
    Z_PAGE_DD,   // DD op
    Z_PAGE_FD,   // FD op
    Z_PAGE_DDCB, // DD CB d op
    Z_PAGE_FDCB, // FD CB d op
    Z_PAGE_COUNT
};

namespace z_pages_detail {

// The opcode fields as the Zilog manual's tables split them: x = bits 7-6, y = bits 5-3,
// z = bits 2-0, p = bits 5-4, q = bit 3.
constexpr int x_of(int op) {
    return op >> 6;
}
constexpr int y_of(int op) {
    return (op >> 3) & 7;
}
constexpr int z_of(int op) {
    return op & 7;
}

constexpr uint8_t main_length(int op) {
    const int x = x_of(op), y = y_of(op), z = z_of(op), p = y >> 1, q = y & 1;
    if (x == 1 || x == 2) return 1; // LD r,r' and HALT, the 8-bit ALU on registers and (HL)
    if (x == 0) {
        switch (z) {
        case 0: return y < 2 ? 1 : 2;  // NOP, EX AF,AF' / DJNZ, JR, JR cc
        case 1: return q == 0 ? 3 : 1; // LD dd,nn / ADD HL,ss
        case 2: return p < 2 ? 1 : 3;  // LD (BC),A ... / LD (nn),HL ...
        case 6: return 2;              // LD r,n
        default: return 1;             // INC/DEC, rotates, DAA, CPL, SCF, CCF
        }
    }
    switch (z) {
    case 0:
    case 1: return 1; // RET cc / POP, RET, EXX, JP (HL), LD SP,HL
    case 2:
    case 4: return 3; // JP cc,nn / CALL cc,nn
    case 3:
        if (y == 1) return 0; // CB prefix
        return y == 0 ? 3 : (y == 2 || y == 3) ? 2 : 1;
    case 5:
        if (q == 0) return 1;  // PUSH
        return p == 0 ? 3 : 0; // CALL nn / DD, ED, FD prefixes
    case 6: return 2;          // ALU n
    default: return 1;         // RST
    }
}

constexpr uint8_t cb_length(int op) {
    return x_of(op) == 0 && y_of(op) == 6 ? 0 : 2; // the undocumented shift SLL is left out
}

constexpr uint8_t ed_length(int op) {
    const int x = x_of(op), y = y_of(op), z = z_of(op);
    if (x == 2) return (y >= 4 && z <= 3) ? 2 : 0; // the block instructions
    if (x != 1) return 0;
    switch (z) {
    case 0:
    case 1: return y == 6 ? 0 : 2; // IN r,(C) / OUT (C),r, without the (C)-only forms
    case 2: return 2;              // SBC HL,ss / ADC HL,ss
    case 3: return 4;              // LD (nn),dd / LD dd,(nn)
    case 4: return op == 0x44 ? 2 : 0;
    case 5: return (op == 0x45 || op == 0x4D) ? 2 : 0;
    case 6: return (op == 0x46 || op == 0x56 || op == 0x5E) ? 2 : 0;
    default: return y <= 5 ? 2 : 0; // LD I,A  LD R,A  LD A,I  LD A,R  RRD  RLD
    }
}

// DD op and FD op: the HL forms of the main page with IX or IY in place of HL and (IX+d) or
// (IY+d) in place of (HL); never H or L alone.
constexpr uint8_t index_length(int op) {
    switch (op) {
    case 0x09:
    case 0x19:
    case 0x29:
    case 0x39:
    case 0x23:
    case 0x2B:
    case 0xE1:
    case 0xE3:
    case 0xE5:
    case 0xE9:
    case 0xF9: return 2;
    case 0x21:
    case 0x22:
    case 0x2A:
    case 0x36: return 4;
    case 0x34:
    case 0x35: return 3;
    case 0x76: return 0;
    }
    const int x = x_of(op), y = y_of(op), z = z_of(op);
    if ((x == 1 && (z == 6 || y == 6)) || (x == 2 && z == 6)) return 3;
    return 0;
}

constexpr uint8_t index_cb_length(int op) {
    return z_of(op) == 6 && cb_length(op) ? 4 : 0; // memory forms only
}

} // namespace z_pages_detail

inline constexpr std::array<std::array<uint8_t, 256>, Z_PAGE_COUNT> z_instruction_lengths = [] {
    using namespace z_pages_detail;
    std::array<std::array<uint8_t, 256>, Z_PAGE_COUNT> table{};
    for (int op = 0; op < 256; ++op) {
        table[Z_PAGE_MAIN][op] = main_length(op);
        table[Z_PAGE_CB][op] = cb_length(op);
        table[Z_PAGE_ED][op] = ed_length(op);
        table[Z_PAGE_DD][op] = table[Z_PAGE_FD][op] = index_length(op);
        table[Z_PAGE_DDCB][op] = table[Z_PAGE_FDCB][op] = index_cb_length(op);
    }
    return table;
}();
