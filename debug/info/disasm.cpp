// Z80 disassembler. Which encodings exist and how long they are comes from the processor's own
// page table (cpu/zpages.h); the text follows the Zilog manual's x/y/z split of the opcode.
// The DD and FD pages reuse the main page's text with IX or IY written for HL and (IX+d) or
// (IY+d) for (HL): every documented index instruction is such a main-page instruction.
#include "debug/info/disasm.h"

#include <cstdio>

#include "cpu/zpages.h"
#include "debug/info/symbols.h"

namespace {

const char *const r_names[8] = {"B", "C", "D", "E", "H", "L", "(HL)", "A"};
const char *const rp_names[4] = {"BC", "DE", "HL", "SP"};
const char *const rp2_names[4] = {"BC", "DE", "HL", "AF"};
const char *const cc_names[8] = {"NZ", "Z", "NC", "C", "PO", "PE", "P", "M"};
const char *const alu_names[8] = {"ADD A,", "ADC A,", "SUB ", "SBC A,",
                                  "AND ",   "XOR ",   "OR ",  "CP "};
const char *const shift_names[8] = {"RLC", "RRC", "RL", "RR", "SLA", "SRA", "SLL", "SRL"};
const char *const x0z7_names[8] = {"RLCA", "RRCA", "RLA", "RRA", "DAA", "CPL", "SCF", "CCF"};
const char *const block_names[4][4] = {{"LDI", "CPI", "INI", "OUTI"},
                                       {"LDD", "CPD", "IND", "OUTD"},
                                       {"LDIR", "CPIR", "INIR", "OTIR"},
                                       {"LDDR", "CPDR", "INDR", "OTDR"}};

// Numbers carry a "$" so that none reads as a register ("LD A,$BC", not "LD A,BC").
std::string hex8(uint8_t value) {
    char text[4];
    std::snprintf(text, sizeof text, "$%02X", value);
    return text;
}

std::string hex16(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "$%04X", value);
    return text;
}

// What a main-page (or index-page) instruction's text is built from.
struct operands {
    const dbg_symbols_t *symbols;
    const char *hl;    // "HL", "IX" or "IY"
    std::string mem;   // "(HL)", "(IX+05)" or "(IY-03)"
    uint8_t n;         // the last byte of the instruction
    uint16_t nn;       // the last two bytes, little-endian
    uint16_t relative; // a relative jump's destination
};

// An address operand: the symbol exactly at it, else four hex digits. Zero is a count or a
// cleared pointer far more often than the reset address, so it keeps its number.
std::string address_text(const operands &o, uint16_t value) {
    if (value == 0) return hex16(value);
    std::string name = dbg_symbol_at(o.symbols, value);
    return name.empty() ? hex16(value) : name;
}

std::string reg(const operands &o, int r) {
    return r == 6 ? o.mem : r_names[r];
}

std::string pair(const operands &o, int p) {
    return p == 2 ? o.hl : rp_names[p];
}

std::string main_text(int op, const operands &o) {
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
    const std::string hl = o.hl;
    auto nn = [&o] { return address_text(o, o.nn); }; // looked up only where there is one
    if (x == 1) return op == 0x76 ? "HALT" : "LD " + reg(o, y) + "," + reg(o, z);
    if (x == 2) return alu_names[y] + reg(o, z);
    if (x == 0) {
        switch (z) {
        case 0:
            if (y == 0) return "NOP";
            if (y == 1) return "EX AF,AF'";
            if (y == 2) return "DJNZ " + address_text(o, o.relative);
            if (y == 3) return "JR " + address_text(o, o.relative);
            return std::string("JR ") + cc_names[y - 4] + "," + address_text(o, o.relative);
        case 1: return q == 0 ? "LD " + pair(o, p) + "," + nn() : "ADD " + hl + "," + pair(o, p);
        case 2: {
            const std::string memory = p == 0 ? "(BC)" : p == 1 ? "(DE)" : "(" + nn() + ")";
            const std::string value = p == 2 ? hl : "A";
            return q == 0 ? "LD " + memory + "," + value : "LD " + value + "," + memory;
        }
        case 3: return (q == 0 ? "INC " : "DEC ") + pair(o, p);
        case 4: return "INC " + reg(o, y);
        case 5: return "DEC " + reg(o, y);
        case 6: return "LD " + reg(o, y) + "," + hex8(o.n);
        default: return x0z7_names[y];
        }
    }
    switch (z) {
    case 0: return std::string("RET ") + cc_names[y];
    case 1:
        if (q == 0) return std::string("POP ") + (p == 2 ? hl : rp2_names[p]);
        if (p == 0) return "RET";
        if (p == 1) return "EXX";
        return p == 2 ? "JP (" + hl + ")" : "LD SP," + hl;
    case 2: return std::string("JP ") + cc_names[y] + "," + nn();
    case 3:
        switch (y) {
        case 0: return "JP " + nn();
        case 2: return "OUT (" + hex8(o.n) + "),A";
        case 3: return "IN A,(" + hex8(o.n) + ")";
        case 4: return "EX (SP)," + hl;
        case 5: return "EX DE,HL";
        case 6: return "DI";
        default: return "EI";
        }
    case 4: return std::string("CALL ") + cc_names[y] + "," + nn();
    case 5: return q == 0 ? std::string("PUSH ") + (p == 2 ? hl : rp2_names[p]) : "CALL " + nn();
    case 6: return alu_names[y] + hex8(o.n);
    default: return "RST " + hex8(static_cast<uint8_t>(y * 8));
    }
}

// CB op, and DD CB d op / FD CB d op with mem the indexed operand.
std::string cb_text(int op, const operands &o) {
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
    const std::string target = reg(o, z);
    if (x == 0) return std::string(shift_names[y]) + " " + target;
    static const char *const bit_names[4] = {"", "BIT ", "RES ", "SET "};
    return bit_names[x] + std::to_string(y) + "," + target;
}

std::string ed_text(int op, const operands &o) {
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
    if (x == 2) return block_names[y - 4][z];
    switch (z) {
    case 0: return "IN " + reg(o, y) + ",(C)";
    case 1: return "OUT (C)," + reg(o, y);
    case 2: return (q == 0 ? "SBC HL," : "ADC HL,") + pair(o, p);
    case 3: {
        const std::string memory = "(" + address_text(o, o.nn) + ")";
        return q == 0 ? "LD " + memory + "," + pair(o, p) : "LD " + pair(o, p) + "," + memory;
    }
    case 4: return "NEG";
    case 5: return op == 0x45 ? "RETN" : "RETI";
    case 6: return "IM " + std::to_string(op == 0x46 ? 0 : op == 0x56 ? 1 : 2);
    default: {
        static const char *const names[6] = {"LD I,A", "LD R,A", "LD A,I", "LD A,R", "RRD", "RLD"};
        return names[y];
    }
    }
}

std::string indexed(const char *index, uint8_t displacement) {
    const int d = static_cast<int8_t>(displacement);
    return std::string("(") + index + (d < 0 ? "-" : "+") +
           hex8(static_cast<uint8_t>(d < 0 ? -d : d)) + ")";
}

// Which page an encoding's opcode is on, and where its opcode byte is.
z_page_t page_of(const uint8_t *memory, uint16_t address, int *op_at) {
    const uint8_t first = memory[address];
    const uint8_t second = memory[static_cast<uint16_t>(address + 1)];
    *op_at = 1;
    switch (first) {
    case 0xCB: return Z_PAGE_CB;
    case 0xED: return Z_PAGE_ED;
    case 0xDD:
    case 0xFD:
        if (second == 0xCB) {
            *op_at = 3;
            return first == 0xDD ? Z_PAGE_DDCB : Z_PAGE_FDCB;
        }
        return first == 0xDD ? Z_PAGE_DD : Z_PAGE_FD;
    }
    *op_at = 0;
    return Z_PAGE_MAIN;
}

dbg_flow_t flow_of(z_page_t page, int op) {
    const int x = op >> 6, z = op & 7;
    switch (page) {
    case Z_PAGE_MAIN:
        if (op == 0xCD || (x == 3 && (z == 4 || z == 7))) return DBG_FLOW_CALL;
        if (op == 0xC9 || (x == 3 && z == 0)) return DBG_FLOW_RETURN;
        if (op == 0xE9) return DBG_FLOW_JUMP_REG;
        if ((op & 0xCF) == 0xC1 || op == 0x33) return DBG_FLOW_POP;
        return DBG_FLOW_NONE;
    case Z_PAGE_DD:
    case Z_PAGE_FD:
        if (op == 0xE9) return DBG_FLOW_JUMP_REG;
        if (op == 0xE1) return DBG_FLOW_POP;
        return DBG_FLOW_NONE;
    case Z_PAGE_ED: return op == 0x45 || op == 0x4D ? DBG_FLOW_RETURN : DBG_FLOW_NONE;
    default: return DBG_FLOW_NONE;
    }
}

// Calls, returns, repeats and fixed destinations of the main and ED pages.
void classify(dbg_instruction_t *in, z_page_t page, int op, uint16_t relative, uint16_t nn) {
    const int x = op >> 6, z = op & 7;
    in->flow = flow_of(page, op);
    in->is_call = in->flow == DBG_FLOW_CALL;
    in->is_return = in->flow == DBG_FLOW_RETURN;
    if (page == Z_PAGE_ED) {
        in->is_repeat = op >= 0xB0;
        return;
    }
    if (page != Z_PAGE_MAIN) return;
    in->is_repeat = op == 0x10;
    if (op == 0x10 || op == 0x18 || (x == 0 && z == 0 && op >= 0x20)) {
        in->has_target = true;
        in->target = relative;
    } else if (op == 0xC3 || op == 0xCD || (x == 3 && (z == 2 || z == 4))) {
        in->has_target = true;
        in->target = nn;
    } else if (x == 3 && z == 7) {
        in->has_target = true;
        in->target = static_cast<uint16_t>(op & 0x38);
    }
}

} // namespace

dbg_instruction_t dbg_disassemble(const uint8_t *memory, uint16_t address,
                                  const dbg_symbols_t *symbols) {
    auto at = [&](int offset) { return memory[static_cast<uint16_t>(address + offset)]; };
    dbg_instruction_t in{};
    in.address = address;

    // Data (as the symbol table marks it): up to 4 bytes, to the range's end or the next label.
    if (const uint32_t end = dbg_symbols_data_end(symbols, address)) {
        std::string values, text;
        while (in.length < 4 && address + in.length < end &&
               (in.length == 0 ||
                dbg_symbol_at(symbols, static_cast<uint16_t>(address + in.length)).empty())) {
            const uint8_t byte = at(in.length);
            in.bytes[in.length++] = byte;
            char value[8];
            std::snprintf(value, sizeof value, "%s$%02X", values.empty() ? "" : ",", byte);
            values += value;
            text += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
        }
        in.valid = true;
        in.is_data = true;
        in.text = "DB " + values + " ; \"" + text + "\"";
        return in;
    }

    // Which page, where its opcode byte is, and how long an invalid encoding counts.
    int op_at = 0;
    const z_page_t page = page_of(memory, address, &op_at);
    const int invalid_length = page == Z_PAGE_MAIN ? 1 : op_at == 3 ? 4 : 2;
    const char *index = page == Z_PAGE_DD || page == Z_PAGE_DDCB   ? "IX"
                        : page == Z_PAGE_FD || page == Z_PAGE_FDCB ? "IY"
                                                                   : nullptr;
    const int op = at(op_at);
    const int length = z_instruction_lengths[page][op];
    in.valid = length != 0;
    in.length = static_cast<uint8_t>(in.valid ? length : invalid_length);
    for (int i = 0; i < in.length; ++i)
        in.bytes[i] = at(i);
    if (!in.valid) {
        in.text = "?";
        return in;
    }

    operands o{symbols,
               index ? index : "HL",
               index ? indexed(index, at(2)) : "(HL)",
               at(length - 1),
               static_cast<uint16_t>(at(length - 1) << 8 | at(length - 2)),
               static_cast<uint16_t>(address + length + static_cast<int8_t>(at(length - 1)))};
    switch (page) {
    case Z_PAGE_MAIN:
    case Z_PAGE_DD:
    case Z_PAGE_FD: in.text = main_text(op, o); break;
    case Z_PAGE_ED: in.text = ed_text(op, o); break;
    default: in.text = cb_text(op, o); break;
    }
    classify(&in, page, op, o.relative, o.nn);
    return in;
}

std::string dbg_instruction_bytes(const dbg_instruction_t &instruction) {
    std::string out;
    char pair[4];
    for (int i = 0; i < instruction.length; ++i) {
        std::snprintf(pair, sizeof pair, i ? " %02X" : "%02X", instruction.bytes[i]);
        out += pair;
    }
    return out;
}

dbg_flow_t dbg_flow(const uint8_t *memory, uint16_t address) {
    int op_at = 0;
    const z_page_t page = page_of(memory, address, &op_at);
    const uint8_t op = memory[static_cast<uint16_t>(address + op_at)];
    if (z_instruction_lengths[page][op] == 0) return DBG_FLOW_NONE;
    return flow_of(page, op);
}

bool dbg_return_site(const uint8_t *memory, uint16_t address, uint16_t *entry) {
    for (const uint8_t length : {3, 1}) {
        const dbg_instruction_t in =
            dbg_disassemble(memory, static_cast<uint16_t>(address - length), nullptr);
        if (in.is_call && in.length == length) {
            if (entry) *entry = in.target;
            return true;
        }
    }
    return false;
}
