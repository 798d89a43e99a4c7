// The machine lock: serialises the processor thread's ticks with reset and with loading and
// saving memory images. Taken ten million times a second by one thread and rarely by another.
#pragma once

#include <atomic>
#include <cstdint>

struct emu_lock_t {
    std::atomic<uint32_t> held;    // 1 while someone is inside
    std::atomic<uint32_t> waiting; // threads other than the processor waiting to get in
};

void emu_lock_init(emu_lock_t *lock);
void emu_lock_enter(emu_lock_t *lock);
void emu_lock_leave(emu_lock_t *lock);
void emu_lock_delete(emu_lock_t *lock);
