// The register table: every name reads and writes the field of z_cpu_t it stands for and nothing
// else, names are found in any case and with either spelling of the alternates, and writes are
// bounded by each register's width.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <set>
#include <string>

#include "cpu/zregs.h"

namespace {

// A processor whose every register holds a different value. F = S H N (92).
z_cpu_t sample() {
    z_cpu_t c{};
    c.A = 0x12, c.F = 0x92, c.B = 0x34, c.C = 0x56, c.D = 0x78, c.E = 0x9A, c.H = 0xBC, c.L = 0xDE;
    c.A_ = 0x21, c.F_ = 0x43, c.B_ = 0x65, c.C_ = 0x87, c.D_ = 0xA9, c.E_ = 0xCB, c.H_ = 0xED;
    c.L_ = 0x0F, c.IX = 0x1357, c.IY = 0x2468, c.SP = 0xFFF0, c.PC = 0x8001, c.I = 0x3F;
    c.R = 0x7E, c.im = 2, c.iff1 = 1, c.iff2 = 0;
    return c;
}

// What each name means, stated field by field: its value in sample() and how a test sets it.
struct expected_t {
    const char *name;
    int bits;
    uint16_t in_sample;
    void (*set)(z_cpu_t &c, uint16_t v);
};

void flag(z_cpu_t &c, uint8_t mask, uint16_t v) {
    c.F = static_cast<uint8_t>(v ? c.F | mask : c.F & ~mask);
}

const expected_t expected[] = {
    {"a", 8, 0x12, [](z_cpu_t &c, uint16_t v) { c.A = static_cast<uint8_t>(v); }},
    {"f", 8, 0x92, [](z_cpu_t &c, uint16_t v) { c.F = static_cast<uint8_t>(v); }},
    {"b", 8, 0x34, [](z_cpu_t &c, uint16_t v) { c.B = static_cast<uint8_t>(v); }},
    {"c", 8, 0x56, [](z_cpu_t &c, uint16_t v) { c.C = static_cast<uint8_t>(v); }},
    {"d", 8, 0x78, [](z_cpu_t &c, uint16_t v) { c.D = static_cast<uint8_t>(v); }},
    {"e", 8, 0x9A, [](z_cpu_t &c, uint16_t v) { c.E = static_cast<uint8_t>(v); }},
    {"h", 8, 0xBC, [](z_cpu_t &c, uint16_t v) { c.H = static_cast<uint8_t>(v); }},
    {"l", 8, 0xDE, [](z_cpu_t &c, uint16_t v) { c.L = static_cast<uint8_t>(v); }},
    {"i", 8, 0x3F, [](z_cpu_t &c, uint16_t v) { c.I = static_cast<uint8_t>(v); }},
    {"r", 8, 0x7E, [](z_cpu_t &c, uint16_t v) { c.R = static_cast<uint8_t>(v); }},
    {"af", 16, 0x1292, [](z_cpu_t &c, uint16_t v) { c.A = v >> 8, c.F = v & 0xFF; }},
    {"bc", 16, 0x3456, [](z_cpu_t &c, uint16_t v) { c.B = v >> 8, c.C = v & 0xFF; }},
    {"de", 16, 0x789A, [](z_cpu_t &c, uint16_t v) { c.D = v >> 8, c.E = v & 0xFF; }},
    {"hl", 16, 0xBCDE, [](z_cpu_t &c, uint16_t v) { c.H = v >> 8, c.L = v & 0xFF; }},
    {"af_", 16, 0x2143, [](z_cpu_t &c, uint16_t v) { c.A_ = v >> 8, c.F_ = v & 0xFF; }},
    {"bc_", 16, 0x6587, [](z_cpu_t &c, uint16_t v) { c.B_ = v >> 8, c.C_ = v & 0xFF; }},
    {"de_", 16, 0xA9CB, [](z_cpu_t &c, uint16_t v) { c.D_ = v >> 8, c.E_ = v & 0xFF; }},
    {"hl_", 16, 0xED0F, [](z_cpu_t &c, uint16_t v) { c.H_ = v >> 8, c.L_ = v & 0xFF; }},
    {"ix", 16, 0x1357, [](z_cpu_t &c, uint16_t v) { c.IX = v; }},
    {"iy", 16, 0x2468, [](z_cpu_t &c, uint16_t v) { c.IY = v; }},
    {"sp", 16, 0xFFF0, [](z_cpu_t &c, uint16_t v) { c.SP = v; }},
    {"pc", 16, 0x8001, [](z_cpu_t &c, uint16_t v) { c.PC = v; }},
    {"ixh", 8, 0x13, [](z_cpu_t &c, uint16_t v) { c.IX = static_cast<uint16_t>(v << 8 | 0x57); }},
    {"ixl", 8, 0x57, [](z_cpu_t &c, uint16_t v) { c.IX = static_cast<uint16_t>(0x1300 | v); }},
    {"iyh", 8, 0x24, [](z_cpu_t &c, uint16_t v) { c.IY = static_cast<uint16_t>(v << 8 | 0x68); }},
    {"iyl", 8, 0x68, [](z_cpu_t &c, uint16_t v) { c.IY = static_cast<uint16_t>(0x2400 | v); }},
    {"im", 2, 2, [](z_cpu_t &c, uint16_t v) { c.im = v & 3; }},
    {"iff1", 1, 1, [](z_cpu_t &c, uint16_t v) { c.iff1 = v & 1; }},
    {"iff2", 1, 0, [](z_cpu_t &c, uint16_t v) { c.iff2 = v & 1; }},
    {"fs", 1, 1, [](z_cpu_t &c, uint16_t v) { flag(c, 0x80, v); }},
    {"fz", 1, 0, [](z_cpu_t &c, uint16_t v) { flag(c, 0x40, v); }},
    {"fh", 1, 1, [](z_cpu_t &c, uint16_t v) { flag(c, 0x10, v); }},
    {"fp", 1, 0, [](z_cpu_t &c, uint16_t v) { flag(c, 0x04, v); }},
    {"fn", 1, 1, [](z_cpu_t &c, uint16_t v) { flag(c, 0x02, v); }},
    {"fc", 1, 0, [](z_cpu_t &c, uint16_t v) { flag(c, 0x01, v); }},
};

// The registers' part of the record (the callbacks are not registers).
bool same_registers(const z_cpu_t &x, const z_cpu_t &y) {
    return std::memcmp(&x, &y, offsetof(z_cpu_t, user_data)) == 0;
}

TEST(Registers, EveryNameReadsAndWritesItsOwnField) {
    std::set<std::string> names;
    for (int i = 0; i < z_register_count; ++i)
        names.insert(z_registers[i].name);
    EXPECT_EQ(std::size(expected), names.size());
    EXPECT_EQ(static_cast<int>(std::size(expected)), z_register_count);
    for (const expected_t &x : expected) {
        SCOPED_TRACE(x.name);
        const z_register_t *r = z_register_find(x.name);
        ASSERT_NE(nullptr, r);
        EXPECT_EQ(x.bits, r->bits);
        EXPECT_EQ(x.in_sample, r->read(sample()));
        // A value unlike the sample's in every bit the register has: the write must reach the
        // field that the test sets itself, and no other.
        const uint16_t value = static_cast<uint16_t>(~x.in_sample & r->max & 0xFFFF);
        z_cpu_t written = sample(), wanted = sample();
        r->write(written, value);
        x.set(wanted, value);
        EXPECT_TRUE(same_registers(wanted, written));
        EXPECT_EQ(value, r->read(written));
    }
}

TEST(Registers, NamesInAnyCaseAlternatesEitherWayAndBoundedWrites) {
    EXPECT_EQ(z_register_find("hl"), z_register_find("HL"));
    EXPECT_EQ(z_register_find("iff1"), z_register_find("IfF1"));
    EXPECT_EQ(z_register_find("af_"), z_register_find("af'"));
    EXPECT_EQ(z_register_find("hl_"), z_register_find("HL'"));
    for (const char *none : {"", "s", "z", "p", "n", "x", "a'", "afx", "pcx", "ixhl", "iff12"})
        EXPECT_EQ(nullptr, z_register_find(none)) << none;
    for (int i = 0; i < z_register_count; ++i) {
        const z_register_t &r = z_registers[i];
        SCOPED_TRACE(r.name);
        const unsigned most = std::string(r.name) == "im" ? 2u : (1u << r.bits) - 1;
        EXPECT_EQ(most, r.max);
    }
}

} // namespace
