#include "app/emulator.h"

#include <algorithm>
#include <memory>

#include "core/errors.h"
#include "core/i8080.h"
#include "storage/program_files.h"

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

bool Emulator::run_frame(int32_t budget) {
    stopped = exec.run(machine, budget);
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
        // A close file that fails leaves the machine reset and booted. A damaged file has
        // been moved aside (the error says where) and a new one is written at the close; a
        // folder or a FIFO in its place is not replaced (no write replaces anything but a
        // file), so the message must not promise a saved session.
        try {
            snapshot_slots.LoadCloseSlot(bank, machine);
            report.restored = true;
        } catch (const EmuError& error) {
            std::error_code ec;
            const auto close_file = std::filesystem::status(snapshot_slots.slot(CLOSE_SLOT), ec);
            note(Source::CloseFile, error,
                 std::filesystem::exists(close_file)
                     ? "The machine starts afresh. The session cannot be kept at the close until this is removed."
                     : "The machine starts afresh.");
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

std::optional<std::string> Emulator::save_reset_slot() {
    try {
        snapshot_slots.SaveResetSlot(bank, machine, roms);
    } catch (const EmuError& e) {
        return e.what();
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------
// Files and slots

Input Emulator::read_input(InputKind kind, const std::string& name) const {
    const std::span<const uint8_t> bytes = bank.loaded_bytes(1);
    Input input;
    input.kind = kind;
    input.name = name;
    input.bytes.assign(bytes.begin(), bytes.end());
    return input;
}

Input Emulator::read_file(const std::string& path_utf8) {
    try {
        auto trial = std::make_unique<MachineState>(machine);
        LoadRecognisedImageFile(bank, *trial, path_utf8);
    } catch (const EmuError&) {
        snapshot_slots.note_unreadable(host_path(path_utf8));  // a slot file: kept from the next write
        throw;
    }
    return read_input(InputKind::LoadFile, path_utf8);
}

Input Emulator::read_quick_slot() {
    auto trial = std::make_unique<MachineState>(machine);
    snapshot_slots.QuickOpen(bank, *trial);
    return read_input(InputKind::LoadFile, path_text(snapshot_slots.slot(QUICK_SAVE_SLOT)));
}

std::optional<Input> Emulator::read_recent(int digit) {
    auto trial = std::make_unique<MachineState>(machine);
    if (!snapshot_slots.LoadRecent(bank, *trial, digit)) return std::nullopt;
    return read_input(InputKind::LoadFile, snapshot_slots.recent_snapshots[static_cast<size_t>(digit)]);
}

std::optional<Input> Emulator::read_game(int index) {
    // The game is loaded into a machine reset and booted aside, so a file that is missing,
    // taken by no reader or damaged is refused before anything changes.
    auto trial = std::make_unique<MachineState>(machine);
    ResetComp(*trial, roms);
    i8080_do_opcodes(*trial, boot_cycles);
    const std::string shown = games.current_title;
    const std::string title = games.LoadGame(bank, *trial, index);
    games.current_title = shown;  // until the input is taken
    if (title.empty()) return std::nullopt;  // no such entry
    return read_input(InputKind::ChooseGame, title);
}

LoadResult Emulator::load(const Input& input) {
    auto next = std::make_unique<MachineState>(machine);
    if (input.kind == InputKind::ChooseGame) {
        ResetComp(*next, roms);
        i8080_do_opcodes(*next, boot_cycles);
    }
    const LoadResult result = LoadImageBytes(input.bytes, *next, input.name);
    if (result == LoadResult::NotRecognised)
        throw RangeError("Cannot load \"" + input.name + "\": it is not a tape image, dump or snapshot");
    machine = *next;
    if (input.kind == InputKind::ChooseGame) {
        games.current_title = input.name;
    } else {
        games.forget_current();  // a file taken replaces the game the machine ran
    }
    return result;
}

void Emulator::quick_save() { snapshot_slots.QuickSave(bank, machine, roms); }

void Emulator::autosave() { snapshot_slots.Autosave(bank, machine, roms); }

std::string Emulator::save_as(const std::string& path_utf8) { return SaveSnapshot(bank, machine, roms, path_utf8); }

void Emulator::save_pause_slot(bool paused) { snapshot_slots.PauseCommand(bank, machine, roms, paused); }

void Emulator::save_key_press_slot(const MachineState& m) { snapshot_slots.SaveKeyPressSlot(bank, m, roms); }

void Emulator::save_close_slot() { snapshot_slots.SaveCloseSlot(bank, machine, roms); }

// ---------------------------------------------------------------------------------------
// Recording and replay

RecordingStart Emulator::begin_recording() {
    rewind.clear();
    RecordingStart start;
    start.machine = machine;
    start.cycles_per_frame = cycles_per_frame;
    std::copy(keys.latin.begin(), keys.latin.end(), start.key_tables.begin());
    std::copy(keys.cyrillic.begin(), keys.cyrillic.end(), start.key_tables.begin() + keys.latin.size());
    start.firmware = roms.image[0] ? *roms.image[0] : builtin_firmware();
    start.held_keys = held_keys.codes;
    return start;
}

void Emulator::begin_replay(const RecordingStart& start) {
    apply_speed(start.fps, start.cycles_per_frame);  // the one check: throws before anything changes
    machine = start.machine;
    std::copy(start.key_tables.begin(), start.key_tables.begin() + keys.latin.size(), keys.latin.begin());
    std::copy(start.key_tables.begin() + keys.latin.size(), start.key_tables.end(), keys.cyrillic.begin());
    roms.image[0] = start.firmware;
    roms.image1_builtin = start.firmware == builtin_firmware();
    held_keys.codes = start.held_keys;
    rewind.clear();
    rewind_enabled = true;
    stopped = false;
    games.forget_current();
    request_repaint();
}

}  // namespace lvov
