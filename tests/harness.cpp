// Headless machine harness: the real machine record and bus callbacks, ticked on the caller's
// thread, with the traffic recorded for the tests.
#include "harness.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "devices/ay8913.h"
#include "devices/graphics.h"
#include "devices/keyboard.h"
#include "files/file.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

uint64_t tick_count = 0;
uint64_t halt_count = 0;
bool stopped = false;
std::vector<std::string> exception_texts;
std::vector<harness_port_event> port_log;
// A program that polls the keyboard all the time would otherwise fill memory.
constexpr size_t max_port_events = 1 << 20;

uint8_t harness_io_read(z_cpu_t *cpu, uint16_t port) {
    const uint8_t value = emu_io_read_callback(cpu, port);
    if (port_log.size() < max_port_events)
        port_log.push_back({false, port, value, tick_count});
    return value;
}

void harness_io_write(z_cpu_t *cpu, uint16_t port, uint8_t value) {
    if (port_log.size() < max_port_events)
        port_log.push_back({true, port, value, tick_count});
    emu_io_write_callback(cpu, port, value);
}

void harness_exception(z_cpu_t *cpu, const char *message) {
    emu_exception_callback(cpu, message);
    // An invalid instruction reports again on every tick; keep each episode once.
    if (exception_texts.size() < 1000)
        exception_texts.emplace_back(message);
    stopped = true;
}

void harness_halt(z_cpu_t *cpu) {
    emu_halt_callback(cpu);
    ++halt_count;
    stopped = true;
}

} // namespace

emu_t *harness_init() {
    emu_t *emu = &emu_state;
    std::memset(emu->memory, 0, sizeof emu->memory);
    emu->cpu_clock_hz = 10000000.0f;
    emu->frame_rate_hz = 60.0f;
    z_init(&emu->cpu, emu_mem_read_callback, emu_mem_write_callback, harness_io_read,
           harness_io_write, harness_exception, harness_halt, emu->memory);
    ay_init(&emu->psg, EMU_PSG_CLOCK_HZ, EMU_PSG_SAMPLE_RATE_HZ);
    emu_set_running(emu, 1);
    gfx_initialize(&emu->gfx, emu->memory + EMU_VIDEO_MEMORY);
    kbd_initialize(&emu->kbd);
    emu_lock_init(&emu->lock);
    tick_count = 0;
    halt_count = 0;
    stopped = false;
    exception_texts.clear();
    port_log.clear();
    return emu;
}

int harness_load_hex(const std::string &path, uint16_t *start, bool set_pc) {
    uint16_t address = 0xFFFF;
    const int result = emu_load_ihex_file(path.c_str(), &address, emu_state.memory, EMU_MEMORY_SIZE);
    if (start)
        *start = address;
    if (result == 0 && set_pc)
        emu_state.cpu.PC = address;
    return result;
}

bool harness_load_bin(const std::string &path, uint16_t address) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (address + bytes.size() > EMU_MEMORY_SIZE)
        return false;
    std::memcpy(emu_state.memory + address, bytes.data(), bytes.size());
    return true;
}

void harness_set_pc(uint16_t pc) { emu_state.cpu.PC = pc; }

void harness_run_ticks(uint64_t ticks) {
    z_cpu_t *cpu = &emu_state.cpu;
    for (uint64_t i = 0; i < ticks; ++i)
        z_tick(cpu);
    tick_count += ticks;
}

bool harness_run_until_halt(uint64_t max_ticks) {
    z_cpu_t *cpu = &emu_state.cpu;
    stopped = false;
    for (uint64_t i = 0; i < max_ticks; ++i) {
        z_tick(cpu);
        ++tick_count;
        if (stopped)
            return halt_count > 0 && exception_texts.empty();
    }
    return false;
}

uint64_t harness_ticks() { return tick_count; }
uint64_t harness_halts() { return halt_count; }
const std::vector<std::string> &harness_exceptions() { return exception_texts; }
const std::vector<harness_port_event> &harness_port_log() { return port_log; }
void harness_clear_port_log() { port_log.clear(); }
uint8_t harness_peek(uint16_t address) { return emu_state.memory[address]; }
void harness_poke(uint16_t address, uint8_t value) { emu_state.memory[address] = value; }
void harness_key_down(uint8_t vk) { kbd_register_keydown(&emu_state.kbd, vk); }
void harness_key_up(uint8_t vk) { kbd_register_keyup(&emu_state.kbd, vk); }

void harness_tap_key(uint8_t vk, uint64_t hold_ticks, uint64_t gap_ticks) {
    harness_key_down(vk);
    harness_run_ticks(hold_ticks);
    harness_key_up(vk);
    harness_run_ticks(gap_ticks);
}
