// Placeholder until the full decoder lands: every byte disassembles as data.
#include "debug/disasm.h"

#include <cstdio>

dbg_instruction_t dbg_disassemble(const uint8_t *memory, uint16_t address, const dbg_symbols_t *) {
    dbg_instruction_t instruction{};
    instruction.address = address;
    instruction.length = 1;
    instruction.bytes[0] = memory[address];
    instruction.valid = true;
    char text[16];
    std::snprintf(text, sizeof text, "DB %02X", memory[address]);
    instruction.text = text;
    return instruction;
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
