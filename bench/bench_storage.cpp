// Snapshot write and read of a typical machine: the firmware booted, a program and a
// picture in memory. Each iteration goes through the file system: a temporary folder
// under $LVOV_BENCH_DIR when set (to measure a particular disk), else the system's.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>

#include <filesystem>
#include <memory>
#include <random>

#include "core/i8080.h"
#include "core/rom.h"
#include "storage/snapshot.h"

namespace {

using namespace lvov;

struct Fixture {
    RomImages roms = builtin_rom_images();
    ByteBufferBank bank;
    std::unique_ptr<MachineState> m = std::make_unique<MachineState>();
    std::unique_ptr<MachineState> target = std::make_unique<MachineState>();
    std::filesystem::path dir;
    std::string path;

    Fixture() {
        ResetComp(*m, roms);
        i8080_do_opcodes(*m, boot_cycles);
        std::mt19937 rng(42);
        // A 12 KiB program at 8000 and its data, a picture in the top half of the screen.
        for (uint32_t a = 0x8000; a < 0xB000; ++a) m->memory[a] = static_cast<uint8_t>(rng() % 4 ? rng() : 0);
        for (uint32_t a = 0; a < VRAM_SIZE / 2; ++a) m->vram[a] = static_cast<uint8_t>(rng() % 3 ? rng() : 0);
        m->PC = 0x8123;
        m->SP = 0xAFBF;
        *target = *m;
        const char* base = std::getenv("LVOV_BENCH_DIR");
        std::string tmpl = ((base && *base ? std::filesystem::path(base) : std::filesystem::temp_directory_path()) /
                            "lvov-bench-XXXXXX")
                               .string();
        if (!mkdtemp(tmpl.data())) std::abort();
        dir = tmpl;
        path = (dir / "bench.NevLVE").string();
    }
    ~Fixture() { std::filesystem::remove_all(dir); }
};

void BM_SaveAndLoadSnapshot(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        SaveSnapshot(f.bank, *f.m, f.roms, f.path, false);
        benchmark::DoNotOptimize(LoadImageFile(f.bank, *f.target, f.path));
    }
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(f.path));
}
BENCHMARK(BM_SaveAndLoadSnapshot)->Unit(benchmark::kMicrosecond);

// The QuickSave command and QuickOpen: the snapshot, its dated copy under AutoSave, and
// the load; argument 1 flushes both files and their folders to the disk (as QuickSave
// does), 0 does not (as the pause slot of key presses).
void BM_QuickSaveAndLoad(benchmark::State& state) {
    Fixture f;
    const bool durable = state.range(0) != 0;
    std::filesystem::create_directories(f.dir / "AutoSave");
    const auto copy = f.dir / "AutoSave" / "07-12-2026_1-37-08.NevLVE";
    for (auto _ : state) {
        SaveSnapshot(f.bank, *f.m, f.roms, f.path, durable);
        f.bank.SaveBufferToFile(1, copy, durable);
        benchmark::DoNotOptimize(LoadImageFile(f.bank, *f.target, f.path));
    }
}
BENCHMARK(BM_QuickSaveAndLoad)->ArgName("flush")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_SaveSnapshot(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) SaveSnapshot(f.bank, *f.m, f.roms, f.path, false);
}
BENCHMARK(BM_SaveSnapshot)->Unit(benchmark::kMicrosecond);

void BM_LoadSnapshot(benchmark::State& state) {
    Fixture f;
    SaveSnapshot(f.bank, *f.m, f.roms, f.path);
    for (auto _ : state) benchmark::DoNotOptimize(LoadImageFile(f.bank, *f.target, f.path));
}
BENCHMARK(BM_LoadSnapshot)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
