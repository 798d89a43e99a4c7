// The typing queue to and from the bytes of a save state.
#include "debug/core/key_queue.h"

void dbg_typing_state_write(bool wait, uint32_t port_reads, const dbg_key_queue_t &keys,
                            emu_byte_writer_t *w) {
    emu_put_u8(w, wait ? 1 : 0);
    emu_put_u32(w, port_reads);
    emu_put_u32(w, static_cast<uint32_t>(keys.size()));
    for (const dbg_key_event_t &k : keys) {
        emu_put_u64(w, k.tick);
        emu_put_u8(w, k.vk);
        emu_put_u8(w, k.down ? 1 : 0);
    }
}

bool dbg_typing_state_read(bool *wait, uint32_t *port_reads, dbg_key_queue_t *keys,
                           emu_byte_reader_t *r) {
    const uint8_t waits = emu_get_u8(r);
    const uint32_t reads = emu_get_u32(r);
    const uint32_t count = emu_get_u32(r);
    // Only queued keys wait for the keyboard.
    if (r->overrun || waits > 1 || (waits == 1 && count == 0) || count > DBG_MAX_KEY_EVENTS ||
        emu_bytes_left(r) < uint64_t{count} * DBG_KEY_EVENT_STATE_SIZE)
        return false;
    dbg_key_queue_t next;
    for (uint32_t i = 0; i < count; ++i) {
        dbg_key_event_t event;
        event.tick = emu_get_u64(r);
        event.vk = emu_get_u8(r);
        const uint8_t down = emu_get_u8(r);
        if (down > 1) return false;
        event.down = down == 1;
        next.push_back(event);
    }
    *wait = waits == 1;
    *port_reads = reads;
    *keys = std::move(next);
    return true;
}
