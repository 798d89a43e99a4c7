// Every value of every opcode page: whether it is an instruction, where PC goes and how many
// T-states it takes, against a table written from the Zilog manual's instruction lists.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "zcpu_bus.h"

namespace {

enum page_t { MAIN, CB, ED, DD, FD, DDCB, FDCB };
const char *const page_names[] = {"main", "CB", "ED", "DD", "FD", "DDCB", "FDCB"};
const char *const invalid_texts[] = {"",
                                     "Invalid CB opcode",
                                     "Invalid ED opcode",
                                     "Invalid DD opcode",
                                     "Invalid FD opcode",
                                     "Invalid DDCB opcode",
                                     "Invalid FDCB opcode"};

constexpr uint16_t ORIGIN = 0x4000;

// What one instruction should do from standard_state (zcpu_bus.h): F = 0 (so NZ, NC, PO and P
// hold, Z, C, PE and M do not), B = 5, operand bytes all 0 (nn = 0, e = 0, d = 0, n = 0).
struct expectation {
    bool valid;
    const char *text; // the report of an invalid encoding
    uint16_t next_pc;
    int t_states;
};

expectation ok(int length, int t) {
    return {true, nullptr, static_cast<uint16_t>(ORIGIN + length), t};
}
expectation to(uint16_t pc, int t) {
    return {true, nullptr, pc, t};
}
expectation bad(const char *text) {
    return {false, text, ORIGIN, 0};
}

bool condition_holds(int cc) {
    return cc % 2 == 0;
} // NZ NC PO P hold with F = 0

expectation main_page(int op) {
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
    if (x == 1) return op == 0x76 ? to(ORIGIN, 4) : (y == 6 || z == 6) ? ok(1, 7) : ok(1, 4);
    if (x == 2) return z == 6 ? ok(1, 7) : ok(1, 4);
    if (x == 0) {
        switch (z) {
        case 0:
            if (y == 0 || y == 1) return ok(1, 4); // NOP, EX AF,AF'
            if (y == 2) return ok(2, 13);          // DJNZ, taken (B = 5)
            if (y == 3) return ok(2, 12);          // JR
            return condition_holds(y - 4) ? ok(2, 12) : ok(2, 7);
        case 1: return q == 0 ? ok(3, 10) : ok(1, 11); // LD dd,nn / ADD HL,ss
        case 2:
            if (p < 2) return ok(1, 7);     // LD (BC),A etc.
            return ok(3, p == 2 ? 16 : 13); // LD (nn),HL / HL,(nn) / (nn),A / A,(nn)
        case 3: return ok(1, 6);            // INC ss / DEC ss
        case 4:
        case 5: return y == 6 ? ok(1, 11) : ok(1, 4);
        case 6: return y == 6 ? ok(2, 10) : ok(2, 7);
        default: return ok(1, 4); // rotates, DAA, CPL, SCF, CCF
        }
    }
    switch (z) {
    case 0: return condition_holds(y) ? to(0, 11) : ok(1, 5); // RET cc (pops 0)
    case 1:
        if (q == 0) return ok(1, 10);                          // POP
        if (p == 0) return to(0, 10);                          // RET
        if (p == 1) return ok(1, 4);                           // EXX
        return p == 2 ? to(HL0, 4) : ok(1, 6);                 // JP (HL), LD SP,HL
    case 2: return condition_holds(y) ? to(0, 10) : ok(3, 10); // JP cc
    case 3:
        switch (y) {
        case 0: return to(0, 10); // JP nn
        case 2:
        case 3: return ok(2, 11); // OUT (n),A / IN A,(n)
        case 4: return ok(1, 19); // EX (SP),HL
        case 5:
        case 6:
        case 7: return ok(1, 4); // EX DE,HL / DI / EI
        default: return {};      // CB prefix
        }
    case 4: return condition_holds(y) ? to(0, 17) : ok(3, 10);              // CALL cc
    case 5: return q == 0 ? ok(1, 11) : p == 0 ? to(0, 17) : expectation{}; // PUSH / CALL
    case 6: return ok(2, 7);                                                // ALU n
    default: return to(static_cast<uint16_t>(y * 8), 11);                   // RST
    }
}

expectation cb_page(int op) {
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
    if (x == 0 && y == 6) return bad("Invalid CB opcode");
    if (z != 6) return ok(2, 8);
    return ok(2, x == 1 ? 12 : 15);
}

expectation ed_page(int op) {
    const int y = (op >> 3) & 7;
    if (op >= 0x40 && op < 0x80) {
        switch (op & 7) {
        case 0:
        case 1: return y == 6 ? bad("Invalid r register selector") : ok(2, 12);
        case 2: return ok(2, 15);
        case 3: return ok(4, 20);
        case 4:
            if (op == 0x44) return ok(2, 8);
            break;
        case 5:
            if (op == 0x45 || op == 0x4D) return to(0, 14);
            break;
        case 6:
            if (op == 0x46 || op == 0x56 || op == 0x5E) return ok(2, 8);
            break;
        case 7:
            if (op == 0x47 || op == 0x4F || op == 0x57 || op == 0x5F) return ok(2, 9);
            if (op == 0x67 || op == 0x6F) return ok(2, 18);
            break;
        }
        return bad("Invalid ED opcode");
    }
    if ((op & 0xE4) == 0xA0)                             // A0-A3, A8-AB, B0-B3, B8-BB
        return (op & 0x10) ? to(ORIGIN, 21) : ok(2, 16); // the repeats go round again
    return bad("Invalid ED opcode");
}

expectation index_page(int op, uint16_t index, const char *text) {
    switch (op) {
    case 0x09:
    case 0x19:
    case 0x29:
    case 0x39: return ok(2, 15);
    case 0x21: return ok(4, 14);
    case 0x22:
    case 0x2A: return ok(4, 20);
    case 0x23:
    case 0x2B: return ok(2, 10);
    case 0x34:
    case 0x35: return ok(3, 23);
    case 0x36: return ok(4, 19);
    case 0x76: return bad("Invalid r register selector");
    case 0xE1: return ok(2, 14);
    case 0xE3: return ok(2, 23);
    case 0xE5: return ok(2, 15);
    case 0xE9: return to(index, 8);
    case 0xF9: return ok(2, 10);
    }
    if ((op & 0xC7) == 0x46 || (op & 0xF8) == 0x70 || (op & 0xC7) == 0x86) return ok(3, 19);
    return bad(text);
}

expectation index_cb_page(int op, const char *text) {
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
    if (z != 6 || (x == 0 && y == 6)) return bad(text);
    return ok(4, x == 1 ? 20 : 23);
}

void expect_same_registers(const z_cpu_t &a, const z_cpu_t &b) {
    EXPECT_EQ(a.AF, b.AF);
    EXPECT_EQ(a.BC, b.BC);
    EXPECT_EQ(a.DE, b.DE);
    EXPECT_EQ(a.HL, b.HL);
    EXPECT_EQ(a.AF_, b.AF_);
    EXPECT_EQ(a.BC_, b.BC_);
    EXPECT_EQ(a.DE_, b.DE_);
    EXPECT_EQ(a.HL_, b.HL_);
    EXPECT_EQ(a.IX, b.IX);
    EXPECT_EQ(a.IY, b.IY);
    EXPECT_EQ(a.SP, b.SP);
    EXPECT_EQ(a.PC, b.PC);
    EXPECT_EQ(a.I, b.I);
    EXPECT_EQ(a.im, b.im);
    EXPECT_EQ(a.iff1, b.iff1);
    EXPECT_EQ(a.iff2, b.iff2);
}

void check_page(page_t page) {
    for (int op = 0; op < 256; ++op) {
        SCOPED_TRACE(std::string(page_names[page]) + " opcode " + std::to_string(op));
        test_bus bus;
        standard_state(bus);
        expectation e;
        switch (page) {
        case MAIN:
            if (op == 0xCB || op == 0xDD || op == 0xED || op == 0xFD)
                continue; // prefixes: their pages below
            bus.load(ORIGIN, {static_cast<uint8_t>(op)});
            e = main_page(op);
            break;
        case CB:
            bus.load(ORIGIN, {0xCB, static_cast<uint8_t>(op)});
            e = cb_page(op);
            break;
        case ED:
            bus.load(ORIGIN, {0xED, static_cast<uint8_t>(op)});
            e = ed_page(op);
            break;
        case DD:
            if (op == 0xCB) continue;
            bus.load(ORIGIN, {0xDD, static_cast<uint8_t>(op)});
            e = index_page(op, IX0, "Invalid DD opcode");
            break;
        case FD:
            if (op == 0xCB) continue;
            bus.load(ORIGIN, {0xFD, static_cast<uint8_t>(op)});
            e = index_page(op, IY0, "Invalid FD opcode");
            break;
        case DDCB:
            bus.load(ORIGIN, {0xDD, 0xCB, 0x00, static_cast<uint8_t>(op)});
            e = index_cb_page(op, "Invalid DDCB opcode");
            break;
        case FDCB:
            bus.load(ORIGIN, {0xFD, 0xCB, 0x00, static_cast<uint8_t>(op)});
            e = index_cb_page(op, "Invalid FDCB opcode");
            break;
        }
        const z_cpu_t before = bus.cpu;
        const int t = bus.step();
        if (!(page == ED && op == 0x4F)) { // LD R,A loads R itself
            EXPECT_EQ(bus.cpu.R, 0x11) << "one refresh per instruction";
        }
        if (e.valid) {
            EXPECT_TRUE(bus.exceptions.empty()) << bus.exceptions.front();
            EXPECT_EQ(bus.cpu.PC, e.next_pc);
            EXPECT_EQ(t, e.t_states);
        } else {
            ASSERT_EQ(bus.exceptions.size(), 1u);
            EXPECT_EQ(bus.exceptions[0], e.text);
            EXPECT_EQ(t, 0) << "cycles untouched";
            expect_same_registers(before, bus.cpu);
            // The next tick reports the same instruction again.
            bus.step();
            EXPECT_EQ(bus.exceptions.size(), 2u);
            EXPECT_EQ(bus.cpu.PC, ORIGIN);
        }
    }
}

TEST(OpcodePages, Unprefixed) {
    check_page(MAIN);
}
TEST(OpcodePages, CB) {
    check_page(CB);
}
TEST(OpcodePages, ED) {
    check_page(ED);
}
TEST(OpcodePages, DD) {
    check_page(DD);
}
TEST(OpcodePages, FD) {
    check_page(FD);
}
TEST(OpcodePages, DDCB) {
    check_page(DDCB);
}
TEST(OpcodePages, FDCB) {
    check_page(FDCB);
}

// The bus accesses of every encoding, in order, from the member tables' bus columns. The state
// is the standard one with operand bytes 0x34, 0x12 behind the opcode (n = e = d = 0x34,
// nn = 0x1234); F = 0, so the even condition codes hold and the jumps, calls and returns
// that test them are taken. Invalid encodings make only the decoders' fetches.
struct access {
    char kind;
    uint16_t address;
    bool operator==(const access &) const = default;
};
using accesses = std::vector<access>;
void PrintTo(const access &a, std::ostream *os) {
    *os << a.kind << ' ' << std::hex << a.address;
}

constexpr uint16_t NN = 0x1234, PORT_N = 0x1234, BC0 = 0x0505, DE0 = 0x9000;

access rd(int a) {
    return {'r', static_cast<uint16_t>(a)};
}
access wr(int a) {
    return {'w', static_cast<uint16_t>(a)};
}
access in(int p) {
    return {'i', static_cast<uint16_t>(p)};
}
access out(int p) {
    return {'o', static_cast<uint16_t>(p)};
}

accesses then(accesses head, std::initializer_list<access> tail) {
    head.insert(head.end(), tail);
    return head;
}

accesses main_bus(int op) {
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
    const accesses f = {rd(ORIGIN)};
    const accesses push = {wr(SP0 - 1), wr(SP0 - 2)}, pop = {rd(SP0), rd(SP0 + 1)};
    const accesses call = {rd(ORIGIN), rd(ORIGIN + 1), rd(ORIGIN + 2), wr(SP0 - 1), wr(SP0 - 2)};
    if (x == 1) {
        if (op == 0x76) return f;
        if (z == 6) return then(f, {rd(HL0)});
        return y == 6 ? then(f, {wr(HL0)}) : f;
    }
    if (x == 2) return z == 6 ? then(f, {rd(HL0)}) : f;
    if (x == 0) {
        switch (z) {
        case 0:
            if (y < 2) return f;
            if (y < 4 || condition_holds(y - 4)) return then(f, {rd(ORIGIN + 1)});
            return f;
        case 1: return q == 0 ? then(f, {rd(ORIGIN + 1), rd(ORIGIN + 2)}) : f;
        case 2:
            if (p < 2) return then(f, {access{q ? 'r' : 'w', p == 0 ? BC0 : DE0}});
            if (p == 2)
                return q == 0 ? then(f, {rd(ORIGIN + 1), rd(ORIGIN + 2), wr(NN), wr(NN + 1)})
                              : then(f, {rd(ORIGIN + 1), rd(ORIGIN + 2), rd(NN), rd(NN + 1)});
            // LD (nn),A and LD A,(nn) fetch the high address byte first.
            return then(f, {rd(ORIGIN + 2), rd(ORIGIN + 1), access{q ? 'r' : 'w', NN}});
        case 4:
        case 5: return y == 6 ? then(f, {rd(HL0), wr(HL0)}) : f;
        case 6: return y == 6 ? then(f, {rd(ORIGIN + 1), wr(HL0)}) : then(f, {rd(ORIGIN + 1)});
        default: return f;
        }
    }
    switch (z) {
    case 0: return condition_holds(y) ? then(f, {pop[0], pop[1]}) : f;
    case 1: return q == 0 || p == 0 ? then(f, {pop[0], pop[1]}) : f;
    case 2: return condition_holds(y) ? then(f, {rd(ORIGIN + 1), rd(ORIGIN + 2)}) : f;
    case 3:
        switch (y) {
        case 0: return then(f, {rd(ORIGIN + 1), rd(ORIGIN + 2)});
        case 2: return then(f, {rd(ORIGIN + 1), out(PORT_N)});
        case 3: return then(f, {rd(ORIGIN + 1), in(PORT_N)});
        case 4: return then(f, {rd(SP0), rd(SP0 + 1), wr(SP0), wr(SP0 + 1)});
        default: return f;
        }
    case 4: return condition_holds(y) ? call : f;
    case 5: return q == 0 ? then(f, {push[0], push[1]}) : call;
    case 6: return then(f, {rd(ORIGIN + 1)});
    default: return then(f, {push[0], push[1]});
    }
}

accesses cb_bus(int op) {
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
    const accesses f = {rd(ORIGIN), rd(ORIGIN + 1)};
    if ((x == 0 && y == 6) || z != 6) return f;
    return x == 1 ? then(f, {rd(HL0)}) : then(f, {rd(HL0), wr(HL0)});
}

accesses ed_bus(int op) {
    const int y = (op >> 3) & 7, z = op & 7;
    const accesses f = {rd(ORIGIN), rd(ORIGIN + 1)};
    if (op >= 0x40 && op < 0x80) {
        if (z == 0) return y == 6 ? f : then(f, {in(BC0)});
        if (z == 1) return y == 6 ? f : then(f, {out(BC0)});
        if (z == 3)
            return (y & 1) == 0 ? then(f, {rd(ORIGIN + 2), rd(ORIGIN + 3), wr(NN), wr(NN + 1)})
                                : then(f, {rd(ORIGIN + 2), rd(ORIGIN + 3), rd(NN), rd(NN + 1)});
        if (op == 0x45 || op == 0x4D) return then(f, {rd(SP0), rd(SP0 + 1)});
        if (op == 0x67 || op == 0x6F) return then(f, {rd(HL0), wr(HL0)});
        return f;
    }
    if ((op & 0xE4) != 0xA0) return f;
    switch (op & 3) {
    case 0: return then(f, {rd(HL0), wr(DE0)});   // LDI and company
    case 1: return then(f, {rd(HL0)});            // CPI
    case 2: return then(f, {in(BC0), wr(HL0)});   // INI
    default: return then(f, {rd(HL0), out(BC0)}); // OUTI
    }
}

accesses index_bus(int op, uint16_t index) {
    const accesses f = {rd(ORIGIN), rd(ORIGIN + 1)};
    const int ea = index + 0x34;
    switch (op) {
    case 0x21: return then(f, {rd(ORIGIN + 2), rd(ORIGIN + 3)});
    case 0x22: return then(f, {rd(ORIGIN + 2), rd(ORIGIN + 3), wr(NN), wr(NN + 1)});
    case 0x2A: return then(f, {rd(ORIGIN + 2), rd(ORIGIN + 3), rd(NN), rd(NN + 1)});
    case 0x34:
    case 0x35: return then(f, {rd(ORIGIN + 2), rd(ea), wr(ea)});
    case 0x36: return then(f, {rd(ORIGIN + 2), rd(ORIGIN + 3), wr(ea)});
    case 0x76: return then(f, {rd(ORIGIN + 2)}); // the displacement, then the report
    case 0xE1: return then(f, {rd(SP0), rd(SP0 + 1)});
    case 0xE3: return then(f, {rd(SP0), rd(SP0 + 1), wr(SP0), wr(SP0 + 1)});
    case 0xE5: return then(f, {wr(SP0 - 1), wr(SP0 - 2)});
    }
    if ((op & 0xC7) == 0x46 || (op & 0xC7) == 0x86) return then(f, {rd(ORIGIN + 2), rd(ea)});
    if ((op & 0xF8) == 0x70) return then(f, {rd(ORIGIN + 2), wr(ea)});
    return f;
}

accesses index_cb_bus(int op, uint16_t index) {
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
    // The decoders read the prefix, CB and the opcode behind the displacement.
    const accesses f = {rd(ORIGIN), rd(ORIGIN + 1), rd(ORIGIN + 3)};
    const int ea = index + 0x34;
    if (z != 6 || (x == 0 && y == 6)) return f;
    return x == 1 ? then(f, {rd(ORIGIN + 2), rd(ea)}) : then(f, {rd(ORIGIN + 2), rd(ea), wr(ea)});
}

void check_bus_order(page_t page) {
    for (int op = 0; op < 256; ++op) {
        SCOPED_TRACE(std::string(page_names[page]) + " opcode " + std::to_string(op));
        const uint8_t o = static_cast<uint8_t>(op);
        test_bus bus;
        standard_state(bus);
        accesses expected;
        switch (page) {
        case MAIN:
            if (op == 0xCB || op == 0xDD || op == 0xED || op == 0xFD) continue;
            bus.load(ORIGIN, {o, 0x34, 0x12});
            expected = main_bus(op);
            break;
        case CB:
            bus.load(ORIGIN, {0xCB, o});
            expected = cb_bus(op);
            break;
        case ED:
            bus.load(ORIGIN, {0xED, o, 0x34, 0x12});
            expected = ed_bus(op);
            break;
        case DD:
        case FD:
            if (op == 0xCB) continue;
            bus.load(ORIGIN, {page == DD ? uint8_t{0xDD} : uint8_t{0xFD}, o, 0x34, 0x12});
            expected = index_bus(op, page == DD ? IX0 : IY0);
            break;
        case DDCB:
        case FDCB:
            bus.load(ORIGIN, {page == DDCB ? uint8_t{0xDD} : uint8_t{0xFD}, 0xCB, 0x34, o});
            expected = index_cb_bus(op, page == DDCB ? IX0 : IY0);
            break;
        }
        accesses seen;
        for (const bus_access &a : bus.trace())
            seen.push_back({a.kind, a.address});
        EXPECT_EQ(seen, expected);
    }
}

TEST(BusOrder, EveryPage) {
    for (page_t page : {MAIN, CB, ED, DD, FD, DDCB, FDCB})
        check_bus_order(page);
}

TEST(OpcodePages, InvalidEncodingCounts) {
    // 60 ED instructions, 41 DD and FD ones (with DD CB), 31 on each DD CB / FD CB page.
    int ed_valid = 0, dd_valid = 0, ddcb_valid = 0;
    for (int op = 0; op < 256; ++op) {
        ed_valid += ed_page(op).valid || op == 0x70 || op == 0x71;
        dd_valid += op == 0xCB || index_page(op, 0, "").valid || op == 0x76;
        ddcb_valid += index_cb_page(op, "").valid;
    }
    EXPECT_EQ(ed_valid, 60);
    EXPECT_EQ(256 - dd_valid, 215);
    EXPECT_EQ(256 - ddcb_valid, 225);
}

} // namespace
