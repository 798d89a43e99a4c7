#include "machine/lock.h"

void emu_lock_init(emu_lock_t *lock) {
    lock->next_ticket.store(0, std::memory_order_relaxed);
    lock->now_serving.store(0, std::memory_order_release);
}

// Nothing to release: the lock holds no host object.
void emu_lock_delete(emu_lock_t *) {}
