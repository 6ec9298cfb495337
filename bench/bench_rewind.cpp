// Cost of the rewind history: taking a state (every 10 frames while the machine runs;
// it must fit well inside a 20 ms frame) and stepping one second back and forth.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "core/i8080.h"
#include "core/rom.h"
#include "storage/rewind.h"

namespace {

using namespace lvov;

constexpr int32_t FRAME_CYCLES = 68'000;

// The firmware after its boot run, idling at its prompt.
std::unique_ptr<MachineState> booted() {
    auto m = std::make_unique<MachineState>();
    ResetComp(*m, builtin_rom_images());
    i8080_do_opcodes(*m, boot_cycles);
    return m;
}

// The usual case: the firmware runs ten frames between two states.
void BM_CaptureBootedFirmware(benchmark::State& state) {
    auto m = booted();
    RewindHistory h;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < REWIND_FRAMES_PER_STATE; ++i) i8080_do_opcodes(*m, FRAME_CYCLES);
        m->memory[0x9000] ^= 1;  // at least one byte differs, so every state is kept
        state.ResumeTiming();
        h.capture(*m);
    }
    state.counters["states"] = static_cast<double>(h.count());
    state.counters["bytes"] = static_cast<double>(h.memory_bytes());
}
BENCHMARK(BM_CaptureBootedFirmware)->Unit(benchmark::kMicrosecond);

// A game that redraws the whole screen between two states.
void BM_CaptureWholeScreenChanged(benchmark::State& state) {
    auto m = booted();
    RewindHistory h;
    std::mt19937 rng(3);
    for (auto _ : state) {
        state.PauseTiming();
        for (auto& b : m->vram) b = static_cast<uint8_t>(rng());
        for (size_t a = 0x8000; a < 0x8400; ++a) m->memory[a] = static_cast<uint8_t>(rng());
        state.ResumeTiming();
        h.capture(*m);
    }
    state.counters["states"] = static_cast<double>(h.count());
    state.counters["bytes"] = static_cast<double>(h.memory_bytes());
}
BENCHMARK(BM_CaptureWholeScreenChanged)->Unit(benchmark::kMicrosecond);

// The worst coding there is: every other byte of memory and video memory changed.
void BM_CaptureWorstCase(benchmark::State& state) {
    auto m = booted();
    RewindHistory h;
    for (auto _ : state) {
        state.PauseTiming();
        for (size_t a = 0; a < MEMORY_SIZE; a += 2) m->memory[a] ^= 0x55;
        for (size_t a = 0; a < VRAM_SIZE; a += 2) m->vram[a] ^= 0x55;
        state.ResumeTiming();
        h.capture(*m);
    }
    state.counters["states"] = static_cast<double>(h.count());
    state.counters["bytes"] = static_cast<double>(h.memory_bytes());
}
BENCHMARK(BM_CaptureWorstCase)->Unit(benchmark::kMicrosecond);

// One second back and one forward again through a full history of screen redraws.
void BM_StepBackAndForward(benchmark::State& state) {
    auto m = booted();
    RewindHistory h;
    std::mt19937 rng(5);
    for (size_t i = 0; i < REWIND_STATES; ++i) {
        for (size_t k = 0; k < 4000; ++k) m->vram[rng() % VRAM_SIZE] = static_cast<uint8_t>(rng());
        h.capture(*m);
    }
    h.step_back(*m);
    for (auto _ : state) {
        h.step_back(*m);
        h.step_forward(*m);
    }
}
BENCHMARK(BM_StepBackAndForward)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
