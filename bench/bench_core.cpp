// Speed of the machine core: emulated clock cycles per second on the 8080 exerciser,
// on CPUTEST and on a built-in mixed loop, and the time of one boot run.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "core/i8080.h"
#include "core/rom.h"
#include "cpm_machine.h"

namespace {

using namespace lvov;

std::optional<std::filesystem::path> diagnostic(const char* name) {
    std::vector<std::filesystem::path> dirs;
    if (const char* env = std::getenv("LVOV_CPU_TESTS")) dirs.emplace_back(env);
    dirs.emplace_back(std::filesystem::path(LVOV_SOURCE_DIR) / ".." / "shared" / "cpu-tests");
    dirs.emplace_back("/work/shared/cpu-tests");
    for (const auto& dir : dirs) {
        std::error_code ec;
        if (std::filesystem::exists(dir / name, ec)) return dir / name;
    }
    return std::nullopt;
}

// Runs a CP/M program in budgets of `budget` cycles, starting it again whenever it ends.
void run_program(benchmark::State& state, const std::vector<uint8_t>& program, int32_t budget) {
    auto m = std::make_unique<MachineState>();
    cpm_setup(*m, program);
    int64_t cycles = 0;
    for (auto _ : state) {
        i8080_do_opcodes(*m, budget);
        cycles += m->cycles;
        cpm_drain_output(*m);
        if (cpm_finished(*m)) {
            state.PauseTiming();
            cpm_setup(*m, program);
            state.ResumeTiming();
        }
    }
    state.counters["cycles/s"] = benchmark::Counter(static_cast<double>(cycles), benchmark::Counter::kIsRate);
}

void run_diagnostic(benchmark::State& state, const char* name, int32_t budget) {
    const auto path = diagnostic(name);
    if (!path) {
        state.SkipWithError("the 8080 diagnostics folder (shared/cpu-tests) is absent; set LVOV_CPU_TESTS");
        for (auto _ : state) {
        }
        return;
    }
    run_program(state, read_cpm_program(*path), budget);
}

// The exerciser's instruction mix: 200 million cycles per iteration.
void BM_Exerciser(benchmark::State& state) { run_diagnostic(state, "8080EXM-SZPC.COM", 200'000'000); }
BENCHMARK(BM_Exerciser)->Unit(benchmark::kMillisecond);

// CPUTEST to its end (about 256 million cycles).
void BM_Cputest(benchmark::State& state) { run_diagnostic(state, "CPUTEST.COM", 300'000'000); }
BENCHMARK(BM_Cputest)->Unit(benchmark::kMillisecond);

// A built-in loop in the manner of CPUTEST: loads, stores, arithmetic, rotates, the
// stack and a subroutine, with no end; needs no external file.
void BM_MixedLoop(benchmark::State& state) {
    const std::vector<uint8_t> program = {
        0x31, 0x00, 0x90,  // 0100 LXI SP,9000
        0x21, 0x00, 0x20,  // 0103 LXI H,2000     outer:
        0x11, 0x00, 0x30,  // 0106 LXI D,3000
        0x06, 0x00,        // 0109 MVI B,0
        0x7E,              // 010B MOV A,M         inner:
        0x80,              // 010C ADD B
        0xA9,              // 010D XRA C
        0x07,              // 010E RLC
        0x4F,              // 010F MOV C,A
        0x12,              // 0110 STAX D
        0x23,              // 0111 INX H
        0x13,              // 0112 INX D
        0xC5,              // 0113 PUSH B
        0xCD, 0x20, 0x01,  // 0114 CALL 0120
        0xC1,              // 0117 POP B
        0x05,              // 0118 DCR B
        0xC2, 0x0B, 0x01,  // 0119 JNZ inner
        0xC3, 0x03, 0x01,  // 011C JMP outer
        0x00,              // 011F
        0xE6, 0x0F,        // 0120 ANI 0F
        0xB7,              // 0122 ORA A
        0xC8,              // 0123 RZ
        0xFE, 0x05,        // 0124 CPI 5
        0xC9,              // 0126 RET
    };
    run_program(state, program, 68'000 * 50);  // one emulated second per iteration
}
BENCHMARK(BM_MixedLoop)->Unit(benchmark::kMillisecond);

// ResetComp and the 11,000,000-cycle boot run with the built-in firmware.
void BM_BootRun(benchmark::State& state) {
    const RomImages roms = builtin_rom_images();
    auto m = std::make_unique<MachineState>();
    for (auto _ : state) {
        ResetComp(*m, roms);
        i8080_do_opcodes(*m, boot_cycles);
        benchmark::DoNotOptimize(m->PC);
    }
    state.counters["cycles/s"] =
        benchmark::Counter(static_cast<double>(boot_cycles) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BootRun)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
