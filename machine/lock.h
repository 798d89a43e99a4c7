// The machine lock: serialises the processor thread's ticks with reset and with loading and
// saving memory images. It is taken ten million times a second by the processor thread and rarely
// by the window thread, so it is a ticket spin lock: one atomic increment to enter, one plain store
// to leave, and first come first served, so the window thread gets in right after the tick in
// progress instead of racing the processor thread for it.
#pragma once

#include <atomic>
#include <cstdint>

struct emu_lock_t {
    std::atomic<uint32_t> next_ticket;
    std::atomic<uint32_t> now_serving;
};

void emu_lock_init(emu_lock_t *lock);
void emu_lock_delete(emu_lock_t *lock);

static inline void emu_lock_pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

static inline void emu_lock_enter(emu_lock_t *lock) {
    const uint32_t ticket = lock->next_ticket.fetch_add(1, std::memory_order_relaxed);
    while (lock->now_serving.load(std::memory_order_acquire) != ticket)
        emu_lock_pause();
}

static inline void emu_lock_leave(emu_lock_t *lock) {
    // Only the holder writes now_serving, so a load and a store suffice.
    const uint32_t serving = lock->now_serving.load(std::memory_order_relaxed);
    lock->now_serving.store(serving + 1, std::memory_order_release);
}
