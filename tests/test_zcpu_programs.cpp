// Real Z80 programs, assembled with pasmo at build time, run from reset to their HALT on the
// test bus; the results are checked against the same computation done here.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "zcpu_bus.h"

namespace {

// Loads NAME.bin at 0x0000 and ticks until the first HALT; returns the T-states it took.
uint64_t run_program(test_bus &bus, const std::string &name) {
    std::ifstream in(std::string(QUILLANE_Z80_DIR) + "/" + name + ".bin", std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::copy(bytes.begin(), bytes.end(), bus.memory);
    uint64_t ticks = 0;
    while (bus.halts == 0 && ticks < 50000000) {
        z_tick(&bus.cpu);
        ++ticks;
    }
    EXPECT_EQ(bus.halts, 1) << name << " did not reach its HALT";
    EXPECT_TRUE(bus.exceptions.empty()) << name;
    return ticks;
}

TEST(Programs, BubbleSort) {
    test_bus bus;
    run_program(bus, "sort");
    std::vector<uint8_t> expected(bus.memory + 0x0200, bus.memory + 0x0240);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(std::vector<uint8_t>(bus.memory + 0x9000, bus.memory + 0x9040), expected);
}

TEST(Programs, Crc16) {
    test_bus bus;
    run_program(bus, "crc16");
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < 100; ++i) {
        crc ^= static_cast<uint16_t>(bus.memory[0x0200 + i] << 8);
        for (int b = 0; b < 8; ++b)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    EXPECT_EQ(bus.memory[0x9000] | bus.memory[0x9001] << 8, crc);
}

uint32_t bcd_value(const uint8_t *p) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v * 100 + (p[i] >> 4) * 10 + (p[i] & 0x0F);
    return v;
}

TEST(Programs, BcdWithDaa) {
    test_bus bus;
    run_program(bus, "bcd");
    const uint32_t x = bcd_value(bus.memory + 0x0200), y = bcd_value(bus.memory + 0x0204);
    ASSERT_EQ(x, 23456789u);
    ASSERT_EQ(y, 76549998u);
    const uint32_t sum = x + y, difference = (x + 100000000 - y) % 100000000;
    EXPECT_EQ(bcd_value(bus.memory + 0x9000), sum % 100000000);
    EXPECT_EQ(bus.memory[0x9008], sum >= 100000000 ? 1 : 0);
    EXPECT_EQ(bcd_value(bus.memory + 0x9004), difference);
    EXPECT_EQ(bus.memory[0x9009], x < y ? 1 : 0);
}

TEST(Programs, BlockMovesAndSearches) {
    test_bus bus;
    run_program(bus, "blocks");
    const std::string text(reinterpret_cast<const char *>(bus.memory + 0x0200), 32);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(bus.memory + 0x9005), 32), text);
    // The first five bytes keep what LDIR put there before the overlapping move.
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(bus.memory + 0x9000), 5),
              text.substr(0, 5));
    const size_t q = text.find('q'), o = text.rfind('o');
    auto word = [&](uint16_t a) { return bus.memory[a] | bus.memory[a + 1] << 8; };
    EXPECT_EQ(word(0x9100), 0x9005 + q);
    EXPECT_EQ(word(0x9104), 32 - q - 1);
    EXPECT_EQ(word(0x9102), 0x9005 + o);
    EXPECT_EQ(word(0x9106), o);
}

TEST(Programs, SieveOfEratosthenes) {
    test_bus bus;
    run_program(bus, "sieve");
    bool composite[2048] = {true, true};
    int primes = 0;
    for (int n = 2; n < 2048; ++n) {
        if (composite[n]) continue;
        ++primes;
        for (int m = 2 * n; m < 2048; m += n)
            composite[m] = true;
    }
    for (int n = 0; n < 2048; ++n)
        ASSERT_EQ((bus.memory[0x9000 + n / 8] >> (n % 8)) & 1, composite[n] ? 1 : 0) << n;
    EXPECT_EQ(bus.memory[0x9100] | bus.memory[0x9101] << 8, primes);
}

TEST(Programs, MultiplyAndDivideSubroutines) {
    test_bus bus;
    run_program(bus, "muldiv");
    auto word = [&](int a) {
        return static_cast<uint32_t>(bus.memory[a] | bus.memory[a + 1] << 8);
    };
    uint16_t quotient_sum = 0;
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const uint32_t a = word(0x0200 + 4 * i), b = word(0x0202 + 4 * i);
        const int record = 0x9000 + 8 * i;
        EXPECT_EQ(word(record) | word(record + 2) << 16, a * b);
        EXPECT_EQ(word(record + 4), a / b);
        EXPECT_EQ(word(record + 6), a % b);
        quotient_sum = static_cast<uint16_t>(quotient_sum + a / b);
    }
    EXPECT_EQ(word(0x9100), quotient_sum);
    EXPECT_EQ(bus.cpu.SP, 0) << "every call returned and every push was popped";
}

} // namespace
