// Helpers shared by the source model's files (source.cpp, cdb.cpp, source_values.cpp).
#pragma once

#include <cstdint>
#include <string>

#include "debug/info/source.h"

// The index of a file by basename, added when new.
int src_file_add(dbg_source_t *model, const std::string &name);

// What a function's code did to the stack between its entry and pc.
struct src_stack_state_t {
    int32_t depth;  // bytes pushed since the entry (SP = SP at entry - depth)
    bool ix_saved;  // the entry's PUSH IX ran and its POP IX has not
    bool ix_active; // IX holds the frame base (the entry's ADD IX,SP ran)
};
src_stack_state_t src_stack_state(const dbg_function_t &function, const uint8_t *memory,
                                  uint16_t pc);
