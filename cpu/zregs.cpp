// The register table.
#include "cpu/zregs.h"

#include <cctype>

namespace {

// A whole field of z_cpu_t.
#define Z_FIELD(name, bits, field)                                                                 \
    {                                                                                              \
        name, bits, (1u << bits) - 1, [](const z_cpu_t &c) -> uint16_t { return c.field; },        \
            [](z_cpu_t &c, uint16_t v) { c.field = static_cast<decltype(c.field)>(v); }            \
    }
// A half of an index register.
#define Z_HALF(name, field, shift)                                                                 \
    {                                                                                              \
        name, 8, 0xFF, [](const z_cpu_t &c) -> uint16_t { return (c.field >> shift) & 0xFF; },     \
            [](z_cpu_t &c, uint16_t v) {                                                           \
                c.field = static_cast<uint16_t>((c.field & ~(0xFF << shift)) | v << shift);        \
            }                                                                                      \
    }
// A bit field of z_cpu_t (im, iff1, iff2).
#define Z_BITS(name, bits, most, field)                                                            \
    {                                                                                              \
        name, bits, most, [](const z_cpu_t &c) -> uint16_t { return c.field; },                    \
            [](z_cpu_t &c, uint16_t v) { c.field = v & ((1u << bits) - 1); }                       \
    }
// A flag of F.
#define Z_FLAG_BIT(name, mask)                                                                     \
    {                                                                                              \
        name, 1, 1, [](const z_cpu_t &c) -> uint16_t { return (c.F & mask) != 0; },                \
            [](z_cpu_t &c, uint16_t v) {                                                           \
                c.F = static_cast<uint8_t>(v ? c.F | mask : c.F & ~mask);                          \
            }                                                                                      \
    }

} // namespace

const z_register_t z_registers[] = {
    Z_FIELD("a", 8, A),         Z_FIELD("f", 8, F),         Z_FIELD("b", 8, B),
    Z_FIELD("c", 8, C),         Z_FIELD("d", 8, D),         Z_FIELD("e", 8, E),
    Z_FIELD("h", 8, H),         Z_FIELD("l", 8, L),         Z_FIELD("i", 8, I),
    Z_FIELD("r", 8, R),         Z_FIELD("af", 16, AF),      Z_FIELD("bc", 16, BC),
    Z_FIELD("de", 16, DE),      Z_FIELD("hl", 16, HL),      Z_FIELD("af_", 16, AF_),
    Z_FIELD("bc_", 16, BC_),    Z_FIELD("de_", 16, DE_),    Z_FIELD("hl_", 16, HL_),
    Z_FIELD("ix", 16, IX),      Z_FIELD("iy", 16, IY),      Z_FIELD("sp", 16, SP),
    Z_FIELD("pc", 16, PC),      Z_HALF("ixh", IX, 8),       Z_HALF("ixl", IX, 0),
    Z_HALF("iyh", IY, 8),       Z_HALF("iyl", IY, 0),       Z_BITS("im", 2, 2, im),
    Z_BITS("iff1", 1, 1, iff1), Z_BITS("iff2", 1, 1, iff2), Z_FLAG_BIT("fs", S_FLAG),
    Z_FLAG_BIT("fz", Z_FLAG),   Z_FLAG_BIT("fh", H_FLAG),   Z_FLAG_BIT("fp", PV_FLAG),
    Z_FLAG_BIT("fn", N_FLAG),   Z_FLAG_BIT("fc", C_FLAG),
};

const int z_register_count = static_cast<int>(sizeof z_registers / sizeof z_registers[0]);

const z_register_t *z_register_find(std::string_view name) {
    if (name.empty() || name.size() > 4) return nullptr;
    char lower[5] = {};
    for (size_t i = 0; i < name.size(); ++i)
        lower[i] = name[i] == '\''
                       ? '_'
                       : static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
    const std::string_view key(lower, name.size());
    for (const z_register_t &r : z_registers)
        if (key == r.name) return &r;
    return nullptr;
}
