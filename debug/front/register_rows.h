// The registers as a view shows them: the rows that the debugger window's register pane and the
// DAP Registers scope both render, so that they show the same names and values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cpu/zcpu.h"

struct dbg_register_row_t {
    const char *name;  // as the command language takes it: "af", "af_", "im", "fz"
    const char *label; // as the window labels it: "AF", "AF'", "IM", "Z"
    int bits;          // 16, 8, 2 or 1
    bool flag;         // a flag of F (the window draws a check box)
    uint16_t value;
};

// AF BC DE HL AF' BC' DE' HL' IX IY SP PC I R IM IFF1 IFF2, then the flags S Z H P/V N C.
std::vector<dbg_register_row_t> dbg_register_rows(const z_cpu_t &cpu);

// A row's value as DAP shows it: "$12AB" for 16 bits, "$0F" for 8, decimal for IM, IFF1, IFF2 and
// the flags.
std::string dbg_register_text(const dbg_register_row_t &row);
