// The processor's registers by name: one table that every debugger view, the command language
// and the expression evaluator share.
//
// Each entry reads and writes one field (or part of one) of z_cpu_t. Names are lower case; a
// lookup takes any case and the alternates as af' or af_. The flags are one-bit views of F
// (fs fz fh fp fn fc), and ixh ixl iyh iyl the halves of the index registers, as SDCC names them.
#pragma once

#include <cstdint>
#include <string_view>

#include "cpu/zcpu.h"

struct z_register_t {
    const char *name; // "a", "af", "af_" (its alternate spelling is "af'")
    uint8_t bits;     // 16, 8, 2 (im) or 1 (a flag, iff1, iff2)
    uint16_t max;     // the largest value a write takes (im: 2)
    uint16_t (*read)(const z_cpu_t &cpu);
    void (*write)(z_cpu_t &cpu, uint16_t value); // value is at most max
};

// Every register, in the order: 8-bit, pairs, alternates, index and pointers, halves of the index
// registers, interrupt state, flags.
extern const z_register_t z_registers[];
extern const int z_register_count;

// The register a name means (any case, ' or _ for the alternates); null when it is none.
const z_register_t *z_register_find(std::string_view name);
