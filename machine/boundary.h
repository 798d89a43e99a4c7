// The machine's instruction-boundary hook: whoever watches the machine between instructions (the
// debug engine) installs a function here, and the processor thread calls it at each boundary
// while `attention` is nonzero, and at the first boundary at or after the tick `due`. The machine
// knows nothing of what the function does.
#pragma once

#include <atomic>
#include <cstdint>

typedef void (*emu_boundary_fn_t)(void *user);

struct emu_boundary_t {
    // Nonzero while the installed function wants to be called; relaxed. The processor thread
    // tests it once per instruction boundary: that load is the whole cost of an idle hook.
    std::atomic<uint32_t> attention;
    emu_boundary_fn_t fn; // null while none is installed; changed only under the machine lock
    void *user;
    // The tick from which the function wants a call whatever attention says (periodic work due
    // by board time); UINT64_MAX for none. Changed only under the machine lock.
    uint64_t due = UINT64_MAX;
};

// Both with the machine lock held (or before the processor thread starts).
static inline void emu_boundary_install(emu_boundary_t *b, emu_boundary_fn_t fn, void *user) {
    b->fn = fn;
    b->user = user;
}
static inline void emu_boundary_remove(emu_boundary_t *b) {
    b->fn = nullptr;
    b->user = nullptr;
    b->due = UINT64_MAX;
    b->attention.store(0, std::memory_order_relaxed);
}

// The processor thread's check after a tick that ends an instruction, lock held.
static inline void emu_boundary_check(emu_boundary_t *b, uint64_t ticks) {
    if ((b->attention.load(std::memory_order_relaxed) != 0 || ticks >= b->due) && b->fn)
        b->fn(b->user);
}
