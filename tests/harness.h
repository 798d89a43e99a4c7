// Headless machine harness: a thin layer over the debug engine in inline mode (the real machine
// record, its bus callbacks and devices, run on the test's own thread; no window).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct emu_t;

struct harness_port_event {
    bool write;
    uint16_t port;
    uint8_t value;
    uint64_t tick; // harness tick count when it happened
};

// Brings the machine to its start-up state: memory cleared, processor initialised with the
// machine's bus callbacks, sound generator, keyboard and display initialised, running = 1.
emu_t *harness_init();
// Loads an Intel HEX image into memory; returns the loader's result (0 success) and the start
// address. Sets PC to the start address when set_pc is true.
int harness_load_hex(const std::string &path, uint16_t *start = nullptr, bool set_pc = true);
// Copies a raw binary file into memory at address (directly, as a loader would).
bool harness_load_bin(const std::string &path, uint16_t address);
void harness_set_pc(uint16_t pc);
// Runs ticks; stops early and returns false when the processor executes HALT or reports an
// exception and stop_on_halt is set.
void harness_run_ticks(uint64_t ticks);
bool harness_run_until_halt(uint64_t max_ticks);
uint64_t harness_ticks();
uint64_t harness_halts();
// Exception texts reported by the processor since harness_init.
const std::vector<std::string> &harness_exceptions();
// Port traffic since harness_init (or the last harness_clear_port_log), up to 2^20 events.
const std::vector<harness_port_event> &harness_port_log();
void harness_clear_port_log();
uint8_t harness_peek(uint16_t address);
void harness_poke(uint16_t address, uint8_t value);
// Key events into the keyboard matrix, by host virtual-key code (as the window delivers them).
void harness_key_down(uint8_t vk);
void harness_key_up(uint8_t vk);
// Presses a key, runs hold_ticks, releases it, runs gap_ticks.
void harness_tap_key(uint8_t vk, uint64_t hold_ticks = 400000, uint64_t gap_ticks = 400000);
