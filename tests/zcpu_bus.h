// A bus for processor tests: 64 KB of plain RAM, scripted port input, and a log of every access.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cpu/zcpu.h"

struct bus_access {
    char kind; // 'r' memory read, 'w' memory write, 'i' port in, 'o' port out
    uint16_t address;
    uint8_t value;
    bool operator==(const bus_access &) const = default;
};

struct test_bus {
    z_cpu_t cpu;
    uint8_t memory[65536];
    uint8_t port_value = 0xFF; // what every port read returns
    bool logging = false;
    std::vector<bus_access> log;
    std::vector<std::string> exceptions;
    int halts = 0;

    test_bus() {
        std::memset(memory, 0, sizeof memory);
        z_init(&cpu, read, write, in, out, exception, halt, this);
    }
    test_bus(const test_bus &) = delete;

    static test_bus *of(z_cpu_t *cpu) { return static_cast<test_bus *>(cpu->user_data); }
    static uint8_t read(z_cpu_t *cpu, uint16_t a) {
        test_bus *b = of(cpu);
        if (b->logging) b->log.push_back({'r', a, b->memory[a]});
        return b->memory[a];
    }
    static void write(z_cpu_t *cpu, uint16_t a, uint8_t v) {
        test_bus *b = of(cpu);
        if (b->logging) b->log.push_back({'w', a, v});
        b->memory[a] = v;
    }
    static uint8_t in(z_cpu_t *cpu, uint16_t port) {
        test_bus *b = of(cpu);
        b->log.push_back({'i', port, b->port_value});
        return b->port_value;
    }
    static void out(z_cpu_t *cpu, uint16_t port, uint8_t v) {
        of(cpu)->log.push_back({'o', port, v});
    }
    static void exception(z_cpu_t *cpu, const char *message) {
        of(cpu)->exceptions.emplace_back(message);
    }
    static void halt(z_cpu_t *cpu) { ++of(cpu)->halts; }

    // Places bytes at address and points PC at them.
    void load(uint16_t address, std::initializer_list<uint8_t> bytes) {
        uint16_t a = address;
        for (uint8_t b : bytes)
            memory[a++] = b;
        cpu.PC = address;
    }
    // Executes one instruction; returns its T-states.
    int step() {
        cpu.cycles = 0;
        z_tick(&cpu);
        return cpu.cycles;
    }
    // Executes one instruction with the bus log on; returns the handler's own accesses (the
    // decoder's opcode fetches included, in order).
    std::vector<bus_access> trace() {
        log.clear();
        logging = true;
        step();
        logging = false;
        return log;
    }
};

// The state the page tests run each encoding from: F = 0 (so NZ, NC, PO and P hold), A = 12,
// B = C = 5, and HL, IX, IY and SP pointing at separate areas.
constexpr uint16_t HL0 = 0x8000, IX0 = 0x8100, IY0 = 0x8200, SP0 = 0xF000;

inline void standard_state(test_bus &bus) {
    z_cpu_t &c = bus.cpu;
    c.AF = 0x1200;
    c.BC = 0x0505;
    c.DE = 0x9000;
    c.HL = HL0;
    c.IX = IX0;
    c.IY = IY0;
    c.SP = SP0;
    c.R = 0x10;
}
