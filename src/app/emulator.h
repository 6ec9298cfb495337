// The emulator's one owner of everything the machine is made of, free of any window.
//
// An Emulator holds the machine state, the firmware images, the file buffers, the
// colour table and picture, the key tables, the snapshot slots and the games catalogue
// of one program directory. The main window drives one through its timers and
// handlers; the headless runner drives one frame after frame without a window. Tests
// create as many as they like: there is no global state.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

#include "app/data_dirs.h"
#include "core/machine.h"
#include "core/rom.h"
#include "debugger/exec_control.h"
#include "devices/keyboard.h"
#include "devices/speed.h"
#include "devices/video.h"
#include "storage/buffers.h"
#include "storage/games.h"
#include "storage/rewind.h"
#include "storage/slots.h"
#include "storage/snapshot.h"

namespace lvov {

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
    ExecControl exec;      // breakpoints, steps and the trace of the frames
    RewindHistory rewind;  // the recent past: a state every 10 frames
    bool rewind_enabled = true;
    bool stopped = false;  // the last frame stopped early, at a breakpoint or a step

    int32_t cycles_per_frame = 0;  // set by the first apply_speed
    int frame_interval = 20;       // milliseconds

    // Frame interval and cycles per frame from the two speed settings; an fps of 0 or
    // less throws RangeError and changes nothing.
    void apply_speed(int fps, int32_t cycles);

    // One frame: the interpreter for cycles_per_frame, then the painter. True when the
    // picture changed or a redraw was asked for.
    // With breakpoints, a step or the trace armed, the frame may stop early (stopped);
    // every frame counts towards the rewind history.
    bool run_frame();

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

    // LoadImageFile of a UTF-8 path (no paint). IoError or RangeError leave the machine
    // unchanged.
    LoadResult load_image(const std::string& path_utf8);
};

}  // namespace lvov
