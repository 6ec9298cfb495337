// Snapshot slots and autosave.
//
// The fixed snapshot files live in the program's directory:
//   QuickSave.NevLVE  QuickSave command and the autosave timer; read by QuickOpen
//   onPause.NevLVE    entering the pause and every key press while running; digit 0
//   OnReset.NevLVE    the two reset commands (before the reset)
//   OnClose.NevLVE    closing the main window; read back at the next start-up
//   AutoSave/<date>_<time>.NevLVE  a copy of every quick-save file; digits 1..9
// recent_snapshots[0] is the pause file once a quick save or autosave has been
// recorded; entries 1..9 are the last nine autosave copies, oldest first.
//
// Everything here is free of the window toolkit and never runs the processor: the
// emulator's commands call these (resetting and booting where a command needs it), and
// the window shows the message of any IoError or RangeError thrown. Every write is atomic
// (temporary file + rename), and a missing AutoSave folder is created.
//
// No slot is written before the machine holds a session: until the start-up reset
// (start_session) the machine is empty, and a quick save, autosave copy, pause, reset
// or close file written from it would replace the user's last session. Until then
// SaveSnapshotSlot and every command that writes a slot do nothing.
//
// A copy of the program that shares its folder with another running copy writes no slot
// at all (stop_writing): the slots belong to the other copy's session. The automatic
// writes (autosave, pause, key press, reset, close) then do nothing, and the QuickSave
// the user asks for is refused with the reason.
#pragma once
#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/machine.h"
#include "core/rom.h"
#include "storage/buffers.h"
#include "storage/snapshot.h"

namespace lvov {

constexpr char QUICK_SAVE_SLOT[] = "QuickSave.NevLVE";
constexpr char PAUSE_SLOT[] = "onPause.NevLVE";
constexpr char RESET_SLOT[] = "OnReset.NevLVE";
constexpr char CLOSE_SLOT[] = "OnClose.NevLVE";
constexpr char AUTOSAVE_FOLDER[] = "AutoSave";
constexpr int RECENT_COUNT = 10;
constexpr int AUTOSAVE_INTERVAL_MS = 60000;

struct LocalTime {
    int day = 1, month = 1, year = 2000, hour = 0, minute = 0, second = 0;
};
using Clock = std::function<LocalTime()>;

// The host's local time now.
LocalTime local_now();

// Name of an autosave copy: the Russian short date (dd.MM.yyyy), "_", the long time
// (H:mm:ss), with ' ' -> '_', '.' -> '-', ':' -> '-', then ".NevLVE":
// 1:37:08 on 7 December 2026 -> "07-12-2026_1-37-08.NevLVE". Never holds '/' or ':'.
// A second copy within the same second is numbered: copy 2 -> "07-12-2026_1-37-08-2.NevLVE".
std::string autosave_name(const LocalTime& t, int copy = 1);

class SnapshotSlots {
public:
    explicit SnapshotSlots(std::filesystem::path program_dir, Clock clock = local_now);

    const std::filesystem::path& program_dir() const { return program_dir_; }
    std::filesystem::path slot(std::string_view name) const;  // program_dir / name
    std::filesystem::path autosave_dir() const;  // program_dir / "AutoSave"

    // SaveSnapshot to path, then, with_copy, WriteAutosaveCopy of the same bytes.
    // Nothing before the session has started.
    // durable: flushed to the disk (see write_file_atomically); every slot is but the
    // pause slot written on key presses, which is rewritten at typing speed.
    void SaveSnapshotSlot(ByteBufferBank& bank, const MachineState& m, const RomImages& roms,
                          const std::filesystem::path& path, bool with_copy, bool durable = true);
    // Writes buffer 1 (the snapshot just saved) under AutoSave with a dated name, creating
    // the folder when missing, and numbered when the name is taken (an existing copy is
    // never replaced); sets last_autosave.
    void WriteAutosaveCopy(ByteBufferBank& bank);
    // When an autosave copy exists: entries 2..9 move to 1..8, 9 := last_autosave,
    // 0 := the pause file.
    void RecordAutosave();

    // Commands and events.
    // QuickSave command and autosave tick: the quick-save slot with a copy, then RecordAutosave.
    // A copy that writes no slot throws IoError with the reason.
    void QuickSave(ByteBufferBank& bank, const MachineState& m, const RomImages& roms);
    // The autosave tick: QuickSave, but nothing at all in a copy that writes no slot.
    void Autosave(ByteBufferBank& bank, const MachineState& m, const RomImages& roms);
    // QuickOpen command: loads the quick-save slot (IoError naming it when there is none).
    LoadResult QuickOpen(ByteBufferBank& bank, MachineState& m);
    // Pause command: writes the pause slot when entering the pause (not paused yet);
    // the window toggles the pause afterwards.
    void PauseCommand(ByteBufferBank& bank, const MachineState& m, const RomImages& roms, bool paused);
    // A key press while running: the pause slot, not flushed (it is rewritten at typing
    // speed), holding the machine as it was before the key.
    void SaveKeyPressSlot(ByteBufferBank& bank, const MachineState& m, const RomImages& roms);
    // Loads recent_snapshots[digit] (a digit key while paused); nullopt when that entry
    // is empty or digit is outside 0..9.
    std::optional<LoadResult> LoadRecent(ByteBufferBank& bank, MachineState& m, int digit);
    // The reset commands' slot, written before the reset; and the close slot.
    void SaveResetSlot(ByteBufferBank& bank, const MachineState& m, const RomImages& roms);
    void SaveCloseSlot(ByteBufferBank& bank, const MachineState& m, const RomImages& roms);
    // Start-up: whether the close slot of the last run exists, and its load (into a
    // machine the caller has reset and booted). A close slot that cannot be read, is cut
    // short or is no file the loaders take throws IoError or RangeError naming it (and,
    // once set aside, where it went), and the machine is unchanged.
    bool HasCloseSlot() const;
    void LoadCloseSlot(ByteBufferBank& bank, MachineState& m);

    // Slot files this run could not read. A slot file (one of the four fixed slots, a
    // regular file or a symbolic link to one) that a load failed on is never replaced by a
    // later write: it is moved aside in its folder, the link itself and never its target,
    // as "<slot>.unreadable-YYYYMMDD-HHMMSS" (numbered when the name is taken), and the
    // write then makes a new regular file. The slot commands (QuickOpen, a digit, the
    // close slot at start-up) move it at once and say where in their error; a load by
    // name (Open, a drop) only marks it, and the next write to that slot moves it first.
    // A write to a marked slot whose file cannot be moved throws IoError and writes nothing.
    //
    // Marks path when it is a slot file that exists as a regular file (a folder or FIFO is
    // never replaced anyway; a missing file holds nothing).
    void note_unreadable(const std::filesystem::path& path);
    // Moves a marked slot file aside now; returns the sentence that tells the user where
    // it went, or why it stays ("" when path is not marked).
    std::string set_aside(const std::filesystem::path& path);

    // Whether the machine holds a session (reset or restored), so slots may be written.
    bool session_started() const { return session_started_; }
    // Marks the machine as holding a session: the start-up reset does it.
    void start_session() { session_started_ = true; }

    // From now on no slot is written; reason (why, for the user) is told when a quick
    // save is asked for.
    void stop_writing(std::string reason) { no_writes_reason_ = std::move(reason); }
    bool writes_stopped() const { return !no_writes_reason_.empty(); }

    // Removes this program's temporary files left by a write that was killed in the
    // middle, in every folder the slots are written to (the program's folder, AutoSave,
    // and the folders slot files that are symbolic links point into). Start-up calls it;
    // returns how many were removed.
    int RemoveStaleTemporaries() const;

    std::array<std::string, RECENT_COUNT> recent_snapshots;  // UTF-8 paths, "" = none
    std::string last_autosave;  // "" until the first copy
    std::string last_opened;  // last path of the Open dialog

private:
    // LoadRecognisedImageFile; a slot file it fails on is set aside, the error saying where.
    LoadResult load_slot_file(ByteBufferBank& bank, MachineState& m, const std::string& path);
    // The fixed slot path names, or an empty path.
    std::filesystem::path slot_of(const std::filesystem::path& path) const;

    std::filesystem::path program_dir_;
    Clock clock_;
    bool session_started_ = false;
    std::vector<std::filesystem::path> unreadable_;  // slot paths marked, not yet moved
    std::string no_writes_reason_;  // "" while slots are written
};

}  // namespace lvov
