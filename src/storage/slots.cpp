#include "storage/slots.h"

#include <algorithm>
#include <ctime>
#include <system_error>
#include <vector>

#include "core/errors.h"
#include "host/files.h"

namespace lvov {

namespace {

std::string two_digits(int v) { return (v >= 0 && v < 10 ? "0" : "") + std::to_string(v); }

}  // namespace

LocalTime local_now() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &now);
#else
    localtime_r(&now, &tm);
#endif
    return LocalTime{tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string autosave_name(const LocalTime& t, int copy) {
    // Russian short date and long time: dd.MM.yyyy and H:mm:ss.
    std::string year = std::to_string(t.year);
    if (year.size() < 4) year.insert(0, 4 - year.size(), '0');
    std::string name = two_digits(t.day) + "." + two_digits(t.month) + "." + year + "_" + std::to_string(t.hour) + ":" +
                       two_digits(t.minute) + ":" + two_digits(t.second);
    for (char& c : name) {
        if (c == ' ')
            c = '_';
        else if (c == '.' || c == ':' || c == '/' || c == '\\')
            c = '-';  // keep it one valid file name
    }
    if (copy > 1) name += "-" + std::to_string(copy);
    return name + SNAPSHOT_EXTENSION;
}

SnapshotSlots::SnapshotSlots(std::filesystem::path program_dir, Clock clock)
    : program_dir_(std::move(program_dir)), clock_(std::move(clock)) {}

std::filesystem::path SnapshotSlots::slot(std::string_view name) const { return program_dir_ / host_path(name); }

std::filesystem::path SnapshotSlots::autosave_dir() const { return program_dir_ / AUTOSAVE_FOLDER; }

void SnapshotSlots::SaveSnapshotSlot(ByteBufferBank& bank, const MachineState& m, const RomImages& roms,
                                     const std::filesystem::path& path, bool with_copy, bool durable) {
    if (!session_started_) return;  // an empty machine must not replace a saved session
    if (writes_stopped()) return;  // the slots are another running copy's
    // A file this run could not read is the user's to judge, never written over.
    const std::filesystem::path slot_path = slot_of(path);
    if (std::find(unreadable_.begin(), unreadable_.end(), slot_path) != unreadable_.end()) {
        set_aside(slot_path);
        if (std::find(unreadable_.begin(), unreadable_.end(), slot_path) != unreadable_.end()) {
            throw IoError("Cannot write \"" + path_text(slot_path) +
                          "\": the file there could not be read in this run and cannot be moved aside, so it is "
                          "kept as it is");
        }
    }
    SaveSnapshot(bank, m, roms, path_text(path), durable);
    if (with_copy) WriteAutosaveCopy(bank);
}

void SnapshotSlots::WriteAutosaveCopy(ByteBufferBank& bank) {
    const std::filesystem::path dir = autosave_dir();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);  // a missing folder is made, not an error every minute
    if (ec) throw IoError("Cannot create folder \"" + path_text(dir) + "\": " + ec.message());
    // A copy never replaces an older one: a name already taken (two saves within one
    // second) gets the next free number.
    const LocalTime now = clock_();
    std::filesystem::path path = dir / autosave_name(now);
    for (int copy = 2; std::filesystem::exists(std::filesystem::symlink_status(path, ec)); ++copy)
        path = dir / autosave_name(now, copy);
    bank.SaveBufferToFile(1, path);  // buffer 1 still holds the snapshot just written
    last_autosave = path_text(path);
}

void SnapshotSlots::RecordAutosave() {
    if (last_autosave.empty()) return;
    for (int i = 1; i < RECENT_COUNT - 1; ++i) recent_snapshots[i] = recent_snapshots[i + 1];
    recent_snapshots[RECENT_COUNT - 1] = last_autosave;
    recent_snapshots[0] = path_text(slot(PAUSE_SLOT));
}

void SnapshotSlots::QuickSave(ByteBufferBank& bank, const MachineState& m, const RomImages& roms) {
    if (writes_stopped())
        throw IoError("Quick save is off in this window: " + no_writes_reason_ +
                      "\nUse Save... to write the machine to a file of your choice.");
    SaveSnapshotSlot(bank, m, roms, slot(QUICK_SAVE_SLOT), true);
    RecordAutosave();
}

void SnapshotSlots::Autosave(ByteBufferBank& bank, const MachineState& m, const RomImages& roms) {
    if (!writes_stopped()) QuickSave(bank, m, roms);
}

std::filesystem::path SnapshotSlots::slot_of(const std::filesystem::path& path) const {
    for (const char* name : {QUICK_SAVE_SLOT, PAUSE_SLOT, RESET_SLOT, CLOSE_SLOT}) {
        const std::filesystem::path fixed = slot(name);
        if (path == fixed) return fixed;
        // The same slot reached by another way (an absolute path of a dropped file).
        std::error_code ec;
        const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
        if (path.filename() == fixed.filename() && std::filesystem::equivalent(folder, program_dir_, ec)) return fixed;
    }
    return {};
}

void SnapshotSlots::note_unreadable(const std::filesystem::path& path) {
    const std::filesystem::path slot_path = slot_of(path);
    std::error_code ec;
    if (slot_path.empty() || !std::filesystem::is_regular_file(slot_path, ec)) return;
    if (std::find(unreadable_.begin(), unreadable_.end(), slot_path) == unreadable_.end())
        unreadable_.push_back(slot_path);
}

std::string SnapshotSlots::set_aside(const std::filesystem::path& path) {
    const auto marked = std::find(unreadable_.begin(), unreadable_.end(), path);
    if (marked == unreadable_.end()) return "";
    const LocalTime t = clock_();
    std::string stamp = std::to_string(t.year);
    if (stamp.size() < 4) stamp.insert(0, 4 - stamp.size(), '0');
    stamp += two_digits(t.month) + two_digits(t.day) + "-" + two_digits(t.hour) + two_digits(t.minute) +
             two_digits(t.second);
    try {
        const std::filesystem::path moved = move_aside(path, ".unreadable-" + stamp);
        unreadable_.erase(marked);
        return "The file was moved aside as \"" + path_text(moved) + "\"; \"" + path_text(path) +
               "\" will be written afresh.";
    } catch (const IoError& e) {
        return std::string(e.what()) + ". It is kept as it is and not written over.";
    }
}

LoadResult SnapshotSlots::load_slot_file(ByteBufferBank& bank, MachineState& m, const std::string& path) {
    const auto told = [&](const EmuError& e) {
        note_unreadable(host_path(path));
        const std::string aside = set_aside(slot_of(host_path(path)));
        return aside.empty() ? std::string(e.what()) : std::string(e.what()) + "\n" + aside;
    };
    try {
        return LoadRecognisedImageFile(bank, m, path);
    } catch (const IoError& e) {
        throw IoError(told(e));
    } catch (const RangeError& e) {
        throw RangeError(told(e));
    }
}

LoadResult SnapshotSlots::QuickOpen(ByteBufferBank& bank, MachineState& m) {
    return load_slot_file(bank, m, path_text(slot(QUICK_SAVE_SLOT)));
}

void SnapshotSlots::PauseCommand(ByteBufferBank& bank, const MachineState& m, const RomImages& roms, bool paused) {
    if (!paused) SaveSnapshotSlot(bank, m, roms, slot(PAUSE_SLOT), false);
}

void SnapshotSlots::SaveKeyPressSlot(ByteBufferBank& bank, const MachineState& m, const RomImages& roms) {
    SaveSnapshotSlot(bank, m, roms, slot(PAUSE_SLOT), false, false);
}

std::optional<LoadResult> SnapshotSlots::LoadRecent(ByteBufferBank& bank, MachineState& m, int digit) {
    if (digit < 0 || digit >= RECENT_COUNT || recent_snapshots[digit].empty()) return std::nullopt;
    return load_slot_file(bank, m, recent_snapshots[digit]);
}

void SnapshotSlots::SaveResetSlot(ByteBufferBank& bank, const MachineState& m, const RomImages& roms) {
    SaveSnapshotSlot(bank, m, roms, slot(RESET_SLOT), false);
}

void SnapshotSlots::SaveCloseSlot(ByteBufferBank& bank, const MachineState& m, const RomImages& roms) {
    SaveSnapshotSlot(bank, m, roms, slot(CLOSE_SLOT), false);
}

int SnapshotSlots::RemoveStaleTemporaries() const {
    std::vector<std::filesystem::path> folders = {program_dir_, autosave_dir()};
    for (const char* name : {QUICK_SAVE_SLOT, PAUSE_SLOT, RESET_SLOT, CLOSE_SLOT}) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(slot(name), ec)) continue;
        const std::filesystem::path target = std::filesystem::weakly_canonical(slot(name), ec);
        if (!ec) folders.push_back(target.parent_path());
    }
    int removed = 0;
    for (const auto& folder : folders) removed += remove_stale_temporaries(folder);
    return removed;
}

bool SnapshotSlots::HasCloseSlot() const {
    std::error_code ec;
    return std::filesystem::exists(slot(CLOSE_SLOT), ec);
}

void SnapshotSlots::LoadCloseSlot(ByteBufferBank& bank, MachineState& m) {
    load_slot_file(bank, m, path_text(slot(CLOSE_SLOT)));
}

}  // namespace lvov
