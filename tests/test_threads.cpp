// The running machine: the processor and display threads at work while the window thread resets
// the machine, types, and loads and saves images under the lock. Built under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "files/file.h"
#include "harness.h"
#include "machine/emu.h"
#include "machine/process.h"

namespace {

std::atomic<int> frames_presented{0};

int count_frame(gui_t *, const uint8_t *, const gfx_layout_t *) {
    frames_presented.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

uint16_t read_passes(emu_t *emu) {
    auto lo = std::atomic_ref<uint8_t>(emu->memory[0x8000]).load(std::memory_order_relaxed);
    auto hi = std::atomic_ref<uint8_t>(emu->memory[0x8001]).load(std::memory_order_relaxed);
    return static_cast<uint16_t>(lo | hi << 8);
}

template <class Condition> bool wait_for(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(Threads, ResetLoadAndSaveWhileTheProcessorRuns) {
    emu_t *emu = harness_init();
    ASSERT_TRUE(harness_load_bin(QUILLANE_Z80_DIR "/machine_loop.bin", 0));
    emu->gui.display_width = 640;
    emu->gui.display_height = 480;
    emu->gui.present = count_frame;

    char dir[] = "/tmp/quillane-threads-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string image = std::string(dir) + "/image.hex";
    const std::string saved = std::string(dir) + "/saved.hex";
    {
        // Eight bytes at 0x9000, which the running program never touches.
        std::ofstream out(image, std::ios::binary);
        out << ":08900000010203040506070844\r\n";
    }

    ASSERT_EQ(emu_start_threads(emu), 0);
    ASSERT_TRUE(wait_for([&] { return read_passes(emu) > 10; })) << "the processor never ran";

    for (int round = 0; round < 20; ++round) {
        emu_reset(emu);
        kbd_register_keydown(&emu->kbd, 0x41);
        kbd_register_keyup(&emu->kbd, 0x41);

        emu_lock_enter(&emu->lock);
        uint16_t start = 0;
        const int loaded = emu_load_ihex_file(image.c_str(), &start, emu->memory, EMU_MEMORY_SIZE);
        const int written =
            emu_save_ihex_file(saved.c_str(), 0x8000, 0x2000, emu->memory, EMU_MEMORY_SIZE);
        std::vector<uint8_t> snapshot(emu->memory + 0x8000, emu->memory + 0xA000);
        emu_lock_leave(&emu->lock);
        ASSERT_EQ(loaded, 0);
        EXPECT_EQ(start, 0x9000);
        ASSERT_EQ(written, 0);

        // What was saved under the lock is exactly what memory held then.
        std::vector<uint8_t> back(EMU_MEMORY_SIZE, 0);
        uint16_t back_start = 0;
        ASSERT_EQ(emu_load_ihex_file(saved.c_str(), &back_start, back.data(), EMU_MEMORY_SIZE), 0);
        EXPECT_EQ(back_start, 0x8000);
        EXPECT_TRUE(std::equal(snapshot.begin(), snapshot.end(), back.begin() + 0x8000));
        EXPECT_EQ(back[0x9000], 1);
        EXPECT_EQ(back[0x9007], 8);
    }
    // After the last reset the program starts over and keeps counting.
    const uint16_t after_reset = read_passes(emu);
    EXPECT_TRUE(wait_for([&] { return read_passes(emu) != after_reset; }));
    EXPECT_TRUE(wait_for([] { return frames_presented.load() >= 3; })) << "no frames drawn";

    emu_set_running(emu, 0);
    emu_stop_threads(emu);
    EXPECT_TRUE(harness_exceptions().empty());
    unlink(image.c_str());
    unlink(saved.c_str());
    rmdir(dir);
}

} // namespace
