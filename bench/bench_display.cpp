// The display thread at work for five seconds: the real thread function decoding video memory
// and handing frames to a presenter that only notes the time. Prints the average frame rate and
// the longest gap between two frames (target: 60 Hz on average, no gap above 20 ms when the
// machine is otherwise idle).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "devices/graphics.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

using bench_clock = std::chrono::steady_clock;
std::vector<bench_clock::time_point> frames;

int note_frame(gui_t *, const uint8_t *, const gfx_layout_t *) {
    frames.push_back(bench_clock::now());
    return 0;
}

} // namespace

int main() {
    emu_t *emu = &emu_state;
    frames.reserve(1000);
    emu->frame_rate_hz = 60.0f;
    gfx_initialize(&emu->gfx, emu->memory + EMU_VIDEO_MEMORY);
    emu->gui.display_width = 640;
    emu->gui.display_height = 480;
    emu->gui.present = note_frame;
    emu_set_running(emu, 1);
    std::thread display(emu_vdp_thread_handler, emu);
    std::this_thread::sleep_for(std::chrono::seconds(5));
    emu_set_running(emu, 0);
    display.join();
    if (frames.size() < 2) {
        std::printf("display thread: no frames\n");
        return 1;
    }
    double longest = 0, sum = 0;
    for (size_t i = 1; i < frames.size(); ++i) {
        const double ms =
            std::chrono::duration<double, std::milli>(frames[i] - frames[i - 1]).count();
        longest = std::max(longest, ms);
        sum += ms;
    }
    const double mean = sum / (frames.size() - 1);
    std::printf("display thread: %zu frames in 5 s, %.3f Hz on average (interval %.3f ms), "
                "longest interval %.3f ms\n",
                frames.size(), 1000.0 / mean, mean, longest);
    return 0;
}
