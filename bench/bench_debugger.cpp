// Debugger timings: opening the window (the whole memory grid and the listing at PC),
// the per-frame refresh with Memory RealTime, a listing of the whole address space and
// the tools' scans. The window runs on Qt's offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <memory>

#include "debugger/debugger_form.h"

namespace {

std::unique_ptr<lvov::MachineState> busy_machine() {
    auto m = std::make_unique<lvov::MachineState>();
    for (size_t a = 0; a < lvov::MEMORY_SIZE; ++a) m->memory[a] = static_cast<uint8_t>(a * 7 + (a >> 8));
    return m;
}

void BM_OpenWindow(benchmark::State& state) {
    auto m = busy_machine();
    lvov::TDebuggerForm form(*m);
    for (auto _ : state) {
        form.MenuDebuggerClick();  // fill and list
        state.PauseTiming();
        form.MenuDebuggerClick();  // hide
        for (auto& byte : m->memory) ++byte;  // every cell of the next opening changes
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenWindow)->Unit(benchmark::kMillisecond);

void BM_RefreshRealTime(benchmark::State& state) {
    auto m = busy_machine();
    lvov::TDebuggerForm form(*m);
    form.CheckBoxMem->setChecked(true);
    form.MenuDebuggerClick();
    // Every visible row changes each frame: the worst case of a frame's refresh.
    for (auto _ : state) {
        for (int a = 0; a < 16 * form.grid_visible_rows(); a += 16) ++m->memory[static_cast<size_t>(a)];
        form.refresh_debugger();
        QCoreApplication::processEvents();  // the repaint of the changed rows
    }
    state.counters["rows"] = form.grid_visible_rows();
}
BENCHMARK(BM_RefreshRealTime)->Unit(benchmark::kMicrosecond);

void BM_ListWholeSpaceInWindow(benchmark::State& state) {
    auto m = busy_machine();
    lvov::TDebuggerForm form(*m);
    form.MenuDebuggerClick();
    for (auto _ : state) form.AssFromTo(0, 65535);
}
BENCHMARK(BM_ListWholeSpaceInWindow)->Unit(benchmark::kMillisecond);

void BM_SearchAndTrack(benchmark::State& state) {
    auto m = busy_machine();
    auto tracker = std::make_unique<lvov::ValueTracker>();
    tracker->remember(*m);
    for (auto _ : state) {
        benchmark::DoNotOptimize(lvov::search_memory(*m, 0x2C));
        benchmark::DoNotOptimize(tracker->decreased_by_one(*m));
    }
}
BENCHMARK(BM_SearchAndTrack)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
