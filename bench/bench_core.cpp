// Speed of the machine core: emulated clock cycles per second on the 8080 exerciser,
// on CPUTEST and on a built-in mixed loop, and the time of one boot run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "core/exec_hooks.h"
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

// Runs a CP/M program one run(m) after another (a budget of cycles each), starting it
// again whenever it ends.
template <class Run>
void run_program(benchmark::State& state, const std::vector<uint8_t>& program, Run&& run) {
    auto m = std::make_unique<MachineState>();
    cpm_setup(*m, program);
    int64_t cycles = 0;
    for (auto _ : state) {
        run(*m);
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

// The plain interpreter, budget cycles a run.
auto plain(int32_t budget) {
    return [budget](MachineState& m) { i8080_do_opcodes(m, budget); };
}

// run_program of one of the public diagnostics, skipped when they are absent.
template <class Run>
void run_diagnostic(benchmark::State& state, const char* name, Run&& run) {
    const auto path = diagnostic(name);
    if (!path) {
        state.SkipWithError("the 8080 diagnostics folder (shared/cpu-tests) is absent; set LVOV_CPU_TESTS");
        for (auto _ : state) {}
        return;
    }
    run_program(state, read_cpm_program(*path), run);
}

// The exerciser's instruction mix: 200 million cycles per iteration.
void BM_Exerciser(benchmark::State& state) { run_diagnostic(state, "8080EXM-SZPC.COM", plain(200'000'000)); }
BENCHMARK(BM_Exerciser)->Unit(benchmark::kMillisecond);

// CPUTEST to its end (about 256 million cycles).
void BM_Cputest(benchmark::State& state) { run_diagnostic(state, "CPUTEST.COM", plain(300'000'000)); }
BENCHMARK(BM_Cputest)->Unit(benchmark::kMillisecond);

// The checking copy of the loop on CPUTEST: execution breakpoints and a watchpoint that
// are never met (0), and the trace of every instruction as well (1).
class NeverStop : public ExecHooks {
public:
    bool exec_hit(const MachineState&) override { return false; }
    bool access_hit(const MachineState&, const Access*, int) override { return false; }
};

void BM_CputestChecked(benchmark::State& state) {
    auto hooks = std::make_unique<NeverStop>();
    for (uint16_t a : {0x0038, 0x0040, 0xC000, 0xFFFF}) hooks->address_flags[a] |= BREAK_EXEC;  // never reached
    for (uint32_t a = 0xE000; a < 0xE100; ++a) hooks->address_flags[a] |= WATCH_WRITE;
    hooks->set_armed(true);
    hooks->trace_on = state.range(0) == 1;
    run_diagnostic(state, "CPUTEST.COM", [&hooks](MachineState& m) { i8080_run_checked(m, 300'000'000, *hooks); });
}
BENCHMARK(BM_CputestChecked)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A built-in loop in the manner of CPUTEST: loads, stores, arithmetic, rotates, the
// stack and a subroutine, with no end; needs no external file. Assembled for `base`,
// reading from `src` and writing to `dst`.
std::vector<uint8_t> mixed_loop(uint16_t base, uint16_t src, uint16_t dst, uint16_t stack) {
    auto lo = [](unsigned v) { return static_cast<uint8_t>(v); };
    auto hi = [](unsigned v) { return static_cast<uint8_t>(v >> 8); };
    const unsigned outer = base + 3, inner = base + 11, sub = base + 32;
    return {
        0x31, lo(stack), hi(stack),  // +00 LXI SP,stack
        0x21, lo(src),   hi(src),  // +03 LXI H,src       outer:
        0x11, lo(dst),   hi(dst),  // +06 LXI D,dst
        0x06, 0x00,  // +09 MVI B,0
        0x7E,  // +0B MOV A,M          inner:
        0x80,  // +0C ADD B
        0xA9,  // +0D XRA C
        0x07,  // +0E RLC
        0x4F,  // +0F MOV C,A
        0x12,  // +10 STAX D
        0x23,  // +11 INX H
        0x13,  // +12 INX D
        0xC5,  // +13 PUSH B
        0xCD, lo(sub),   hi(sub),  // +14 CALL sub
        0xC1,  // +17 POP B
        0x05,  // +18 DCR B
        0xC2, lo(inner), hi(inner),  // +19 JNZ inner
        0xC3, lo(outer), hi(outer),  // +1C JMP outer
        0x00,  // +1F
        0xE6, 0x0F,  // +20 ANI 0F       sub:
        0xB7,  // +22 ORA A
        0xC8,  // +23 RZ
        0xFE, 0x05,  // +24 CPI 5
        0xC9,  // +26 RET
    };
}

// In RAM mode, as a CP/M program at 0100.
void BM_MixedLoop(benchmark::State& state) {
    // One emulated second a run.
    run_program(state, mixed_loop(0x0100, 0x2000, 0x3000, 0x9000), plain(68'000 * 50));
}
BENCHMARK(BM_MixedLoop)->Unit(benchmark::kMillisecond);

// In video mode, the way the machine's own programs draw: code and stack in 8000-BFFF,
// data in video memory.
void BM_MixedLoopVideoMode(benchmark::State& state) {
    auto m = std::make_unique<MachineState>();
    init_RAM(*m);  // every latch 00: video mode
    const auto program = mixed_loop(0x8000, 0x4000, 0x5000, 0xA000);
    std::copy(program.begin(), program.end(), m->memory.begin() + 0x8000);
    m->PC = 0x8000;
    int64_t cycles = 0;
    for (auto _ : state) {
        i8080_do_opcodes(*m, 68'000 * 50);
        cycles += m->cycles;
    }
    state.counters["cycles/s"] = benchmark::Counter(static_cast<double>(cycles), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MixedLoopVideoMode)->Unit(benchmark::kMillisecond);

// ResetComp and the 11,000,000-cycle boot run with the built-in firmware.
void BM_BootRun(benchmark::State& state) {
    const RomImages roms = builtin_rom_images();
    auto m = std::make_unique<MachineState>();
    for (auto _ : state) {
        ResetComp(*m, roms);
        i8080_do_opcodes(*m, boot_cycles);
        benchmark::DoNotOptimize(m->PC);
    }
    state.counters["cycles/s"] = benchmark::Counter(
        static_cast<double>(boot_cycles) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BootRun)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
