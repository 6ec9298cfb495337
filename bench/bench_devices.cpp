// Painter timings: a frame whose video memory did not change, and a palette change
// that repaints all 65,536 pixels.
#include <benchmark/benchmark.h>

#include <memory>

#include "devices/video.h"

namespace {

struct Screen {
    std::unique_ptr<lvov::MachineState> m = std::make_unique<lvov::MachineState>();
    std::unique_ptr<lvov::Picture> pic = std::make_unique<lvov::Picture>();
    lvov::ColorTable colors;
    Screen() {
        lvov::init_RAM(*m);
        m->port_latches.fill(0xFF);
        lvov::CalculateColor(colors);
        for (size_t a = 0; a < lvov::VRAM_SIZE; ++a) m->vram[a] = static_cast<uint8_t>(a * 7 + (a >> 6));
        lvov::paint_screen(*m, colors, *pic);
    }
};

void BM_PaintUnchanged(benchmark::State& state) {
    Screen s;
    for (auto _ : state) benchmark::DoNotOptimize(lvov::paint_screen(*s.m, s.colors, *s.pic));
}
BENCHMARK(BM_PaintUnchanged);

void BM_PaintPaletteChange(benchmark::State& state) {
    Screen s;
    uint8_t palette = 0;
    for (auto _ : state) {
        s.m->port_latches[lvov::LATCH_PALETTE] = palette++;
        benchmark::DoNotOptimize(lvov::paint_screen(*s.m, s.colors, *s.pic));
    }
}
BENCHMARK(BM_PaintPaletteChange);

// A typical game frame: a few dozen bytes changed (a moving sprite).
void BM_PaintFewBytesChanged(benchmark::State& state) {
    Screen s;
    uint8_t v = 0;
    for (auto _ : state) {
        ++v;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 4; ++x) s.m->vram[(100 + y) * 64 + 20 + x] = v;
        benchmark::DoNotOptimize(lvov::paint_screen(*s.m, s.colors, *s.pic));
    }
}
BENCHMARK(BM_PaintFewBytesChanged);

}  // namespace

BENCHMARK_MAIN();
