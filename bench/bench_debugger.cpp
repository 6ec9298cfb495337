// Debugger timings: opening the window (the whole memory grid and the listing at PC),
// the per-frame refresh with and without Memory RealTime, a listing of the whole address
// space and the tools' scans; and the processor time the running main window takes with
// the debugger hidden and shown. The windows run on Qt's offscreen platform unless
// QT_QPA_PLATFORM names another (xcb under Xvfb gives the cost of a real display).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>
#include <memory>

#include "app/main_form_emu.h"
#include "bench_window.h"
#include "debugger/debugger_form.h"

namespace {

std::unique_ptr<lvov::MachineState> busy_machine() {
    auto m = std::make_unique<lvov::MachineState>();
    for (size_t a = 0; a < lvov::MEMORY_SIZE; ++a) m->memory[a] = static_cast<uint8_t>(a * 7 + (a >> 8));
    return m;
}

void BM_OpenWindow(benchmark::State& state) {
    auto m = busy_machine();
    lvov::TDebuggerForm form(*m, {});
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
    lvov::TDebuggerForm form(*m, {});
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

// A running program's frame without Memory RealTime: the registers and the clock change,
// memory is not looked at.
void BM_RefreshRegisters(benchmark::State& state) {
    auto m = busy_machine();
    lvov::TDebuggerForm form(*m, {});
    form.MenuDebuggerClick();
    for (auto _ : state) {
        m->PC = static_cast<uint16_t>(m->PC + 3);
        ++m->A;
        m->cycles = 68000 + (m->cycles + 1) % 17;
        form.refresh_debugger();
        QCoreApplication::processEvents();  // layout and repaint of what changed
    }
}
BENCHMARK(BM_RefreshRegisters)->Unit(benchmark::kMicrosecond);

// The main window running the built-in monitor (its cursor blinking, nothing else moving)
// for two seconds of wall time per iteration: the debugger hidden (0), shown (1), shown
// with Memory RealTime (2). cpu_percent is the process's processor time over wall time.
void BM_WindowCpu(benchmark::State& state) {
    QTemporaryDir dir;
    const auto session = std::make_unique<lvov::Session>(std::filesystem::path(dir.path().toStdString()));
    lvov::TMainFormEmu form(*session);
    form.show();
    while (form.first_activation()) run_event_loop_for(10);
    if (state.range(0) >= 1) form.MenuDebuggerClick();
    if (state.range(0) == 2) form.DebuggerForm->CheckBoxMem->setChecked(true);
    run_event_loop_for(500);  // the boot and the first pictures
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double cpu0 = process_cpu_seconds();
        QElapsedTimer t;
        t.start();
        run_event_loop_for(2000);
        const double seconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        cpu += process_cpu_seconds() - cpu0;
        wall += seconds;
    }
    state.counters["cpu_percent"] = 100.0 * cpu / wall;
    form.close();
}
BENCHMARK(BM_WindowCpu)->Arg(0)->Arg(1)->Arg(2)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_ListWholeSpaceInWindow(benchmark::State& state) {
    auto m = busy_machine();
    lvov::TDebuggerForm form(*m, {});
    form.MenuDebuggerClick();
    for (auto _ : state) form.fill_listing(0, 65535);
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
