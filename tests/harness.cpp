// Headless machine harness: a thin layer over the debug engine in inline mode (the real machine
// record and bus callbacks, ticked on the caller's thread), with the port traffic recorded for
// the tests through the engine's port observer.
#include "harness.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/front/session.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

dbg_engine_t *engine = nullptr;
std::vector<std::string> exception_texts;
std::vector<harness_port_event> port_log;
// A program that polls the keyboard all the time would otherwise fill memory.
constexpr size_t max_port_events = 1 << 20;

void log_port(bool write, uint16_t port, uint8_t value, uint64_t tick) {
    if (port_log.size() < max_port_events) port_log.push_back({write, port, value, tick});
}

// Runs until the tick count reaches end or, with stop_on_halt, a HALT. An invalid opcode stops
// the processor for good (it reports the same instruction on every tick): it is recorded once
// and the rest of the ticks pass with the processor stuck.
bool run_to(uint64_t end, bool stop_on_halt) {
    engine->stop_on_halt = stop_on_halt;
    const uint64_t halts = engine->halts;
    while (dbg_ticks(engine) < end) {
        const dbg_stop_t stop = dbg_run_ticks(engine, end - dbg_ticks(engine));
        if (stop.cause == DBG_CAUSE_INVALID) {
            exception_texts.push_back(engine->last_invalid);
            engine->emu->ticks = end;
            return false;
        }
        if (stop.cause == DBG_CAUSE_HALT) return true;
    }
    return stop_on_halt && engine->halts > halts;
}

} // namespace

emu_t *harness_init() {
    emu_t *emu = &emu_state;
    emu_power_on(emu);
    engine = dbg_session_attach(emu, DBG_INLINE);
    dbg_symbols_clear(&engine->symbols);
    dbg_set_port_observer(engine, log_port);
    exception_texts.clear();
    port_log.clear();
    return emu;
}

int harness_load_hex(const std::string &path, uint16_t *start, bool set_pc) {
    std::string error;
    return dbg_load_hex(&emu_state, path, set_pc, start, &error);
}

bool harness_load_bin(const std::string &path, uint16_t address) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (address + bytes.size() > EMU_MEMORY_SIZE) return false;
    std::memcpy(emu_state.memory + address, bytes.data(), bytes.size());
    return true;
}

void harness_set_pc(uint16_t pc) {
    emu_state.cpu.PC = pc;
}

void harness_run_ticks(uint64_t ticks) {
    run_to(dbg_ticks(engine) + ticks, false);
}

bool harness_run_until_halt(uint64_t max_ticks) {
    return run_to(dbg_ticks(engine) + max_ticks, true) && exception_texts.empty();
}

uint64_t harness_ticks() {
    return dbg_ticks(engine);
}
uint64_t harness_halts() {
    return engine->halts;
}
const std::vector<std::string> &harness_exceptions() {
    return exception_texts;
}
const std::vector<harness_port_event> &harness_port_log() {
    return port_log;
}
void harness_clear_port_log() {
    port_log.clear();
}
uint8_t harness_peek(uint16_t address) {
    return dbg_peek(engine, address);
}
void harness_poke(uint16_t address, uint8_t value) {
    dbg_poke(engine, address, value);
}
void harness_key_down(uint8_t vk) {
    dbg_key(engine, vk, true);
}
void harness_key_up(uint8_t vk) {
    dbg_key(engine, vk, false);
}

void harness_tap_key(uint8_t vk, uint64_t hold_ticks, uint64_t gap_ticks) {
    harness_key_down(vk);
    harness_run_ticks(hold_ticks);
    harness_key_up(vk);
    harness_run_ticks(gap_ticks);
}
