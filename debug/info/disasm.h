// Disassembler for the documented Z80 instruction set that the processor executes. Encodings the
// processor reports as invalid disassemble as their bytes with the text "?".
//
// Numbers are upper-case hexadecimal with a "$" prefix, so that no immediate reads as a register
// (bytes "3E BC" are "LD A,$BC") and the command language reads them back: "LD HL,$2000",
// "LD A,(IX+$05)", "JR NZ,$8004", "OUT ($0C),A", "RST $38"; IM and bit numbers stay decimal. An
// address operand that a symbol names is shown by the symbol instead ("CALL print"; "JP main+3"
// is never made: only exact matches are substituted). Addresses the symbol table marks as data
// (dbg_symbols_add_data) disassemble as bytes: "DB $48,$65,$6C,$6C ; \"Hell\"".
#pragma once

#include <cstdint>
#include <string>

struct dbg_symbols_t;

struct dbg_instruction_t {
    uint16_t address;
    uint8_t length;   // 1 to 4 bytes; for an invalid encoding, the prefix(es) and opcode byte
    uint8_t bytes[4]; // the first `length` bytes are the instruction's
    bool valid;       // false for an encoding the processor reports as invalid
    bool is_data;     // bytes the symbol table marks as data: "DB $48,$65 ; \"He\""
    bool is_call;     // CALL nn, CALL cc,nn, RST p: runs a routine that returns after it
    bool is_return;   // RET, RET cc, RETI, RETN
    bool is_repeat;   // DJNZ and the repeating block instructions (LDIR, CPIR, INIR, OTIR, ...)
    bool has_target;  // a jump, call or RST with a fixed destination
    uint16_t target;
    std::string text; // "LD A,(IX+$05)"; "?" when invalid
};

// Disassembles the instruction at address of a 64 KB memory array (addresses wrap at FFFF).
// Reads the array only: no bus callback runs, so no watchpoint fires. symbols may be null.
dbg_instruction_t dbg_disassemble(const uint8_t *memory, uint16_t address,
                                  const dbg_symbols_t *symbols);

// "ED 30", "3E 05": the instruction's bytes as upper-case hex pairs separated by spaces.
std::string dbg_instruction_bytes(const dbg_instruction_t &instruction);
