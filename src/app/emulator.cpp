#include "app/emulator.h"

#include "core/errors.h"
#include "core/i8080.h"

namespace lvov {

const StartupProblem* StartupReport::find(StartupProblem::Source source) const {
    for (const StartupProblem& p : problems) {
        if (p.source == source) return &p;
    }
    return nullptr;
}

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

// ---------------------------------------------------------------------------------------
// Start-up and reset

StartupReport Emulator::start_up(const StartupOptions& options) {
    StartupReport report;
    using Source = StartupProblem::Source;
    const auto note = [&report](Source source, const EmuError& error, const char* outcome) {
        report.problems.push_back({source, error.what(), outcome});
    };

    roms = load_rom_images(dirs.firmware);
    report.firmware = roms.problems;
    try {
        keys = load_key_map(dirs.writable);
    } catch (const EmuError& error) {
        keys = default_key_tables();
        note(Source::KeyMap, error, "The built-in key tables are used.");
    }
    if (options.read_games) {
        try {
            games.FillGamesList(dirs.games_root());
        } catch (const EmuError& error) {
            note(Source::GamesIndex, error, "The games read before this are listed.");  // they stay in the catalogue
        }
    }

    // The machine holds a session from the reset on; nothing writes a slot before it.
    snapshot_slots.RemoveStaleTemporaries();
    const bool restore = options.restore_session && snapshot_slots.HasCloseSlot();
    // The firmware sets up its RAM before a saved state is restored over it.
    reset(restore || options.boot ? ResetKind::Quick : ResetKind::Full);
    snapshot_slots.start_session();
    if (restore) {
        // A close file that fails leaves the machine reset and booted; it is replaced at
        // the next close.
        try {
            snapshot_slots.LoadCloseSlot(bank, machine);
            report.restored = true;
        } catch (const EmuError& error) {
            // A damaged file is replaced at the next close; a folder or a FIFO in its place
            // is not (no write replaces anything but a file), so the message must not
            // promise that.
            std::error_code ec;
            const bool file = std::filesystem::is_regular_file(snapshot_slots.slot(CLOSE_SLOT), ec);
            note(Source::CloseFile, error,
                 file ? "The machine starts afresh; this file is replaced when the window closes."
                      : "The machine starts afresh. The session cannot be kept at the close until this is "
                        "removed.");
        }
    }
    request_repaint();
    return report;
}

void Emulator::reset(ResetKind kind) {
    ResetComp(machine, roms);
    if (kind == ResetKind::Quick) boot_run();
    games.forget_current();
}

std::optional<std::string> Emulator::reset_with_slot(ResetKind kind) {
    std::optional<std::string> failure;
    try {
        snapshot_slots.SaveResetSlot(bank, machine, roms);
    } catch (const EmuError& e) {
        failure = e.what();
    }
    reset(kind);
    return failure;
}

std::optional<std::string> Emulator::choose_game(int index) {
    std::optional<std::string> failure = reset_with_slot(ResetKind::Quick);
    try {
        games.LoadGame(bank, machine, index);
    } catch (const EmuError& e) {
        if (!failure) throw;
        throw EmuError(*failure + "\n\n" + e.what());  // both are told
    }
    return failure;
}

// ---------------------------------------------------------------------------------------
// Files and slots

// A file taken replaces the game the machine ran.
LoadResult Emulator::taken(LoadResult result) {
    if (result != LoadResult::NotRecognised) games.forget_current();
    return result;
}

LoadResult Emulator::open_file(const std::string& path_utf8) { return taken(LoadImageFile(bank, machine, path_utf8)); }

LoadResult Emulator::quick_open() { return taken(snapshot_slots.QuickOpen(bank, machine)); }

void Emulator::quick_save() { snapshot_slots.QuickSave(bank, machine, roms); }

void Emulator::autosave() { snapshot_slots.Autosave(bank, machine, roms); }

std::string Emulator::save_as(const std::string& path_utf8) { return SaveSnapshot(bank, machine, roms, path_utf8); }

std::optional<LoadResult> Emulator::open_recent(int digit) {
    const std::optional<LoadResult> result = snapshot_slots.LoadRecent(bank, machine, digit);
    if (result) taken(*result);
    return result;
}

void Emulator::save_pause_slot(bool paused) { snapshot_slots.PauseCommand(bank, machine, roms, paused); }

void Emulator::save_key_press_slot(const MachineState& m) { snapshot_slots.SaveKeyPressSlot(bank, m, roms); }

void Emulator::save_close_slot() { snapshot_slots.SaveCloseSlot(bank, machine, roms); }

}  // namespace lvov
