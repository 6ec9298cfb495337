// What rewind and breakpoints cost the running window: the processor time of the main
// window over two seconds of wall time, with the rewind history off and on, and with
// breakpoints armed that are never met (the checking loop runs). The machine runs the
// built-in monitor waiting for a key (its cursor blinking), or a program that redraws
// part of the screen all the time, so that every state taken differs from the one
// before. The window runs on Qt's offscreen platform unless QT_QPA_PLATFORM names
// another (xcb under Xvfb gives the cost of a real display).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/main_form_emu.h"
#include "bench_window.h"

namespace {

// A tape image of a loop at 8000 that adds one to every byte of the top eighth of video
// memory, over and over (the picture and the states change all the time).
std::vector<uint8_t> sweeping_tape() {
    const std::vector<uint8_t> code = {
        0x31, 0x00, 0xA0,  // LXI SP,A000
        0xDB, 0xC2,  // IN C2
        0xE6, 0xFD,  // ANI FD
        0xD3, 0xC2,  // OUT C2: video memory at 4000-7FFF
        0x21, 0x00, 0x40,  // LXI H,4000        again:
        0x34,  // INR M             next:
        0x23,  // INX H
        0x7C,  // MOV A,H
        0xFE, 0x48,  // CPI 48
        0xC2, 0x0C, 0x80,  // JNZ next
        0xC3, 0x09, 0x80,  // JMP again
    };
    std::vector<uint8_t> image = {'L', 'V', 'O', 'V', '/', '2', '.', '0', '/', 0xD0, 0, 0, 0, 0, 0, 0};
    const uint16_t start = 0x8000, end = static_cast<uint16_t>(start + code.size() - 1);
    for (uint16_t w : {start, end, start}) {
        image.push_back(static_cast<uint8_t>(w));
        image.push_back(static_cast<uint8_t>(w >> 8));
    }
    image.insert(image.end(), code.begin(), code.end());
    return image;
}

// Arguments: the machine (0 the monitor, 1 the redrawing program); 0 rewind off, 1 rewind
// on (the default), 2 rewind on and breakpoints armed.
void BM_WindowCpu(benchmark::State& state) {
    QTemporaryDir dir;
    const std::filesystem::path folder(dir.path().toStdString());
    const auto tape = sweeping_tape();
    std::ofstream(folder / "sweep.lvt", std::ios::binary)
        .write(reinterpret_cast<const char*>(tape.data()), static_cast<std::streamsize>(tape.size()));
    const auto session = std::make_unique<lvov::Session>(folder);
    lvov::TMainFormEmu form(*session);
    form.show();
    while (form.first_activation()) run_event_loop_for(10);
    if (state.range(0) == 1) session->drop_file((folder / "sweep.lvt").string());
    lvov::Emulator& emu = session->emu();
    emu.rewind_enabled = state.range(1) >= 1;
    if (state.range(1) == 2) {
        emu.exec.add(lvov::BreakKind::Exec, 0x0000, 0x0000);
        emu.exec.add(lvov::BreakKind::Write, 0xB000, 0xB0FF);
    }
    run_event_loop_for(500);
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
    state.counters["states"] = static_cast<double>(emu.rewind.count());
    state.counters["rewind_MB"] = static_cast<double>(emu.rewind.memory_bytes()) / (1 << 20);
    form.close();
}
BENCHMARK(BM_WindowCpu)
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->ArgNames({"program", "mode"})
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
