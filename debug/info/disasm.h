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

// How an instruction passes control between routines: the one classifier of calls and returns
// that stepping, the stack walk, `finish` and the profiler share.
enum dbg_flow_t : uint8_t {
    DBG_FLOW_NONE,
    DBG_FLOW_CALL,     // CALL nn, CALL cc,nn, RST p: pushes its return address and jumps
    DBG_FLOW_RETURN,   // RET, RET cc, RETI, RETN
    DBG_FLOW_JUMP_REG, // JP (HL), JP (IX), JP (IY): SDCC's call through a function pointer
                       // (___sdcc_call_hl, ___sdcc_call_iy) and the end of SDCC's return through
                       // POP HL / INC SP / JP (HL)
    DBG_FLOW_POP,      // POP rr, POP IX, POP IY, INC SP: frees stack; the start of that return
};

struct dbg_instruction_t {
    uint16_t address;
    uint8_t length;   // 1 to 4 bytes; for an invalid encoding, the prefix(es) and opcode byte
    uint8_t bytes[4]; // the first `length` bytes are the instruction's
    bool valid;       // false for an encoding the processor reports as invalid
    bool is_data;     // bytes the symbol table marks as data: "DB $48,$65 ; \"He\""
    dbg_flow_t flow;  // see dbg_flow_t
    bool is_call;     // flow is DBG_FLOW_CALL: runs a routine that returns after it
    bool is_return;   // flow is DBG_FLOW_RETURN
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

// The flow of the instruction at address, read from its bytes alone (no text is made): cheap
// enough for every instruction of a profiled run. An invalid encoding is DBG_FLOW_NONE.
dbg_flow_t dbg_flow(const uint8_t *memory, uint16_t address);
// Whether an instruction's flow can leave a routine: a return or a JP (HL), JP (IX), JP (IY).
static inline bool dbg_flow_leaves(dbg_flow_t flow) {
    return flow == DBG_FLOW_RETURN || flow == DBG_FLOW_JUMP_REG;
}
// Whether address can be a return address: the bytes before it are a CALL nn, CALL cc,nn (3
// bytes) or an RST (1). The routine called in *entry (may be null).
bool dbg_return_site(const uint8_t *memory, uint16_t address, uint16_t *entry = nullptr);
