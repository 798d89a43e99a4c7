// Cost of decoding one frame of video memory (the display thread does it 60 times a second).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "devices/graphics.h"

static void BM_decode_frame(benchmark::State &state) {
    std::vector<uint8_t> video(GFX_VIDEO_MEMORY_SIZE);
    std::mt19937 random(1);
    for (uint8_t &b : video)
        b = static_cast<uint8_t>(random());
    static gfx_t gfx;
    gfx_initialize(&gfx, video.data());
    for (auto _ : state) {
        gfx_decode_frame(&gfx);
        benchmark::DoNotOptimize(gfx.frame_pixels[24 * 960 + 96]);
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_decode_frame)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
