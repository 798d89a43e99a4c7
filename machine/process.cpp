// The emulation threads, machine reset and the thread side of start-up and shutdown.
#include "machine/process.h"

#include <cerrno>
#include <system_error>

#include "devices/ay8913.h"
#include "devices/graphics.h"
#include "devices/keyboard.h"
#include "machine/counter.h"
#include "machine/emu.h"
#include "machine/pacing.h"
#include "machine/relaxed.h"

int32_t emu_get_running(const emu_t *emu) {
    return emu_relaxed_load(emu->running);
}

void emu_set_running(emu_t *emu, int32_t value) {
    emu_relaxed_store(emu->running, value);
}

// Between instructions the boundary hook is called only while it asks for attention; otherwise
// a tick that ends an instruction costs one relaxed load more.
int emu_cpu_thread_handler(emu_t *emu) {
    auto tick = [emu] {
        emu_lock_enter(&emu->lock);
        z_tick(&emu->cpu);
        ++emu->ticks;
        if (emu->cpu.cycles < 2) emu_boundary_check(&emu->boundary, emu->ticks);
        emu_lock_leave(&emu->lock);
    };
    if (emu_counter_tsc_usable())
        emu_pace_ticks<emu_tsc_counter>(&emu->running, emu->cpu_clock_hz, tick);
    else
        emu_pace_ticks<emu_clock_counter>(&emu->running, emu->cpu_clock_hz, tick);
    return 0;
}

int emu_vdp_thread_handler(emu_t *emu) {
    auto render = [emu] { gfx_render(&emu->gfx, &emu->gui); };
    emu_pace_frames<emu_clock_counter>(&emu->running, emu->frame_rate_hz, render);
    return 0;
}

void emu_reset(emu_t *emu) {
    emu_lock_enter(&emu->lock);
    z_reset(&emu->cpu);
    ay_reset(&emu->psg);
    kbd_reset(&emu->kbd);
    emu_lock_leave(&emu->lock);
}

static int emu_create_thread(std::thread *thread, int (*handler)(emu_t *), emu_t *emu) {
    try {
        *thread = std::thread(handler, emu);
    } catch (const std::system_error &e) {
        errno = e.code().value();
        return 1;
    }
    return 0;
}

int emu_start_threads(emu_t *emu) {
    emu_lock_init(&emu->lock);
    if (emu_create_thread(&emu->cpu_thread, emu_cpu_thread_handler, emu)) return 1;
    if (emu_create_thread(&emu->vdp_thread, emu_vdp_thread_handler, emu)) return 1;
    return 0;
}

void emu_stop_threads(emu_t *emu) {
    if (emu->vdp_thread.joinable()) emu->vdp_thread.join();
    if (emu->cpu_thread.joinable()) emu->cpu_thread.join();
    emu_lock_delete(&emu->lock);
}
