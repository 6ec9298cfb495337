#include "app/emulator.h"

#include "core/i8080.h"

namespace lvov {

Emulator::Emulator(const std::filesystem::path& dir, Clock clock) : Emulator(DataDirs::beside(dir), std::move(clock)) {}

Emulator::Emulator(const DataDirs& data_dirs, Clock clock)
    : dirs(data_dirs), program_dir(data_dirs.writable), snapshot_slots(data_dirs.writable, std::move(clock)) {
    CalculateColor(colors);
}

void Emulator::apply_speed(int fps, int32_t cycles) {
    const int interval = frame_interval_ms(fps);  // throws before anything changes
    frame_interval = interval;
    cycles_per_frame = cycles;
}

bool Emulator::run_frame() {
    stopped = exec.run(machine, cycles_per_frame);
    if (rewind_enabled) rewind.frame_done(machine);
    return paint_screen(machine, colors, picture);
}

void Emulator::boot_run() { i8080_do_opcodes(machine, boot_cycles); }

bool Emulator::paint() { return paint_screen(machine, colors, picture); }

LoadResult Emulator::load_image(const std::string& path_utf8) {
    return LoadImageFile(bank, machine, path_utf8);
}

}  // namespace lvov
