// Feeds arbitrary bytes to a debug adapter session (framing, JSON, every request's fields) over a
// machine with a small program and its symbols loaded: the session answers or closes the stream,
// and never crashes, hangs or reads outside memory. The debug console is off (its commands write
// files) and a step or a run slice lasts a few thousand T-states.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "debug/core/engine.h"
#include "debug/core/engine_internal.h"
#include "debug/front/dap.h"
#include "debug/front/session.h"
#include "debug/info/symbols.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

// 8000: LD SP,FF00 / loop: CALL count / JR loop / NOP / count: LD A,(9000) / INC A /
// LD (9000),A / RET
const uint8_t program[] = {0x31, 0x00, 0xFF, 0xCD, 0x09, 0x80, 0x18, 0xFB, 0x00,
                           0x3A, 0x00, 0x90, 0x3C, 0x32, 0x00, 0x90, 0xC9};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    emu_t *emu = &emu_state;
    emu_power_on(emu);
    std::memcpy(emu->memory + 0x8000, program, sizeof program);
    emu->cpu.PC = 0x8000;
    dbg_engine_t *e = dbg_session_attach(emu, DBG_INLINE);
    dbg_set_realtime(e, false); // a launch may have asked for it
    dbg_symbols_clear(&e->symbols);
    dbg_symbols_add(&e->symbols, "main", 0x8000);
    dbg_symbols_add(&e->symbols, "loop", 0x8003);
    dbg_symbols_add(&e->symbols, "count", 0x8009);
    dbg_symbols_add(&e->symbols, "total", 0x9000);

    dbg_dap_t *s = dbg_dap_new(e, std::string());
    dbg_dap_limits_t limits;
    limits.step_ticks = 5000;
    limits.console_ticks = 5000;
    limits.console = false;
    dbg_dap_set_limits(s, limits);
    // In two pieces, so that a message split across reads is taken too.
    const size_t half = size / 2;
    if (dbg_dap_feed(s, reinterpret_cast<const char *>(data), half))
        dbg_dap_feed(s, reinterpret_cast<const char *>(data) + half, size - half);
    dbg_dap_run_slice(s, 5000);
    dbg_dap_take_output(s);
    dbg_dap_free(s);
    return 0;
}
