// The emulator: the one owner of everything the machine is made of, free of any window.
//
// An Emulator holds the machine state, the firmware images, the file buffers, the
// colour table and picture, the key tables, the snapshot slots and the games catalogue
// of one program directory, and the steps the session's commands are made of (start-up,
// reset, the slots, files and games read and checked before they are taken, a frame).
// The session (app/session.h) owns one and decides when each step runs; front ends talk
// to the session. Tests create as many as they like: there is no global state.
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/data_dirs.h"
#include "app/exec_control.h"
#include "core/machine.h"
#include "core/rom.h"
#include "devices/keyboard.h"
#include "devices/speed.h"
#include "devices/video.h"
#include "storage/buffers.h"
#include "storage/games.h"
#include "storage/input.h"
#include "storage/recording.h"
#include "storage/rewind.h"
#include "storage/slots.h"
#include "storage/snapshot.h"

namespace lvov {

// Quick: the reset and the firmware's boot run, so the machine is ready at once.
// Full: the reset alone; the firmware then starts up as the frames run.
enum class ResetKind { Quick, Full };

struct StartupOptions {
    bool read_games = true;  // the games catalogue, for the window's list
    bool restore_session = true;  // the close slot of the last run, when it exists
    bool boot = false;  // the boot run even when no session is restored
};

// Something start-up could not use, and what it did instead; start-up always goes on.
struct StartupProblem {
    enum class Source { KeyMap, GamesIndex, CloseFile };
    Source source;
    std::string error;  // the error's own text, naming the file
    std::string outcome;  // what the machine uses instead
};

struct StartupReport {
    std::vector<std::string> firmware;  // firmware files missing or refused: built-in images used
    std::vector<StartupProblem> problems;
    bool restored = false;  // the close slot of the last run was loaded
    const StartupProblem* find(StartupProblem::Source source) const;
};

struct Emulator {
    // Everything in program_dir.
    explicit Emulator(const std::filesystem::path& program_dir, Clock clock = local_now);
    // Slots and key map in dirs.writable; firmware and games looked for along dirs.
    explicit Emulator(const DataDirs& dirs, Clock clock = local_now);
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    DataDirs dirs;
    std::filesystem::path program_dir;  // dirs.writable
    MachineState machine;
    RomImages roms = builtin_rom_images();
    ByteBufferBank bank;
    ColorTable colors;  // filled once by the constructor
    Picture picture;
    KeyTables keys = default_key_tables();
    HeldKeys held_keys;
    SnapshotSlots snapshot_slots;
    GamesCatalogue games;
    ExecControl exec;  // breakpoints, steps and the trace of the frames
    RewindHistory rewind;  // the recent past: a state every 10 frames
    bool rewind_enabled = true;
    bool stopped = false;  // the last frame stopped early, at a breakpoint or a step

    int32_t cycles_per_frame = DEFAULT_CYCLES_PER_FRAME;
    int frame_interval = frame_interval_ms(DEFAULT_FPS);  // milliseconds

    // Frame interval and cycles per frame from the two speed settings; an fps of 0 or
    // less throws RangeError and changes nothing.
    void apply_speed(int fps, int32_t cycles);

    // One frame: the interpreter for cycles_per_frame (or budget), then the painter. True
    // when the picture changed or a redraw was asked for.
    // With breakpoints, a step or the trace armed, the frame may stop early (stopped);
    // every frame counts towards the rewind history.
    bool run_frame() { return run_frame(cycles_per_frame); }
    bool run_frame(int32_t budget);

    // The firmware's start-up in one interpreter run, without painting.
    void boot_run();

    // Brings the picture up to date; true when the window must redraw it.
    bool paint();
    // Marks the whole picture for a redraw at the next paint.
    void request_repaint() { picture.repaint_pending = true; }

    // A host key by its virtual-key code: pressed through the table the firmware has
    // chosen, released where it was pressed.
    void press_key(uint8_t vk) { press_host_key(machine, keys, held_keys, vk); }
    void release_key(uint8_t vk) { release_host_key(machine, held_keys, vk); }
    // Both matrices cleared.
    void release_all() { release_all_keys(machine, held_keys); }

    // Commands. Each leaves the machine as it was when it throws (IoError, RangeError),
    // unless it says otherwise; none paints.

    // The start-up sequence, of the window and the headless run alike: firmware images,
    // key map and (read_games) the games index; then stale temporary files of killed
    // writes are removed and the machine is reset, which starts the session (slots may be
    // written from then on); with restore_session and a close slot, the boot run and its
    // load; otherwise the boot run when boot is asked for. A key map, games index or close
    // file that cannot be used is reported and start-up goes on: the built-in key tables,
    // the games read before the fault, a reset and booted machine.
    StartupReport start_up(const StartupOptions& options);

    // ResetComp, then the boot run for a quick reset. The game shown is forgotten.
    void reset(ResetKind kind);
    // The reset commands' slot, written with the state before the reset. When it cannot be
    // written the failure's text is returned (the reset slot keeps its previous contents).
    std::optional<std::string> save_reset_slot();

    // Files read for loading. Each reads the file once and checks that it loads, on a copy
    // of the machine, and returns the input that loads it (its bytes embedded); the machine
    // and the game shown stay as they were until load() takes the input. A file that is
    // missing, no regular file, taken by no reader or damaged throws IoError or RangeError
    // naming it.
    //
    // A file by its UTF-8 path (Open, a drop, the command line).
    Input read_file(const std::string& path_utf8);
    // The quick-save slot (IoError naming it when there is none).
    Input read_quick_slot();
    // A digit key while paused: recent_snapshots[digit]; nullopt when unset.
    std::optional<Input> read_recent(int digit);
    // A game of the catalogue, checked on a machine reset and booted aside; nullopt for
    // no such entry.
    std::optional<Input> read_game(int index);
    // Takes a LoadFile input (the file over the machine; the game shown forgotten) or a
    // ChooseGame input (the machine reset and booted, the game loaded and shown). A file
    // that does not load throws, naming it, and leaves everything as it was.
    LoadResult load(const Input& input);

    // The quick-save slot written with its dated copy: the QuickSave command (refused
    // when slots are not written) and the autosave tick (then nothing).
    void quick_save();
    void autosave();
    // A snapshot at path (".NevLVE" completed); returns the path written.
    std::string save_as(const std::string& path_utf8);

    // The pause command's slot: written when the machine is about to pause (not paused
    // yet), and flushed to the disk.
    void save_pause_slot(bool paused);
    // The pause slot of a key press: m is the machine as it was before the key (perhaps
    // a copy kept for a while), not flushed.
    void save_key_press_slot(const MachineState& m);
    // The close slot, written when the window closes.
    void save_close_slot();

    // Recording and replay. A recording starts here: the machine and the settings its
    // inputs act through (the session adds the frame rate and the pause state); the
    // rewind history starts afresh, as the replay's will.
    RecordingStart begin_recording();
    // The start of a recording put in place: machine, speed, key tables, firmware image 1
    // and held keys; the rewind history starts afresh and on (a replay may rewind), the
    // game shown is forgotten. A speed the program does not accept throws RangeError and
    // changes nothing.
    void begin_replay(const RecordingStart& start);

private:
    // The input of the file just read into buffer 1.
    Input read_input(InputKind kind, const std::string& name) const;
};

}  // namespace lvov
