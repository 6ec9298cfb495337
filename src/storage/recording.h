// Input recordings (".NevLVR"): where a session started, and every input it took with the
// position at which the input took effect, so that a replay of the inputs from the same
// start ends in the same machine state, byte for byte. The recording keeps a hash of the
// state it ended in; the replay compares its own final state's hash with it.
//
// File layout, version 1 (every integer little-endian, every block of bytes preceded by
// its length, so a reader never has to guess where a section ends):
//   0   "NevLVRec"                     8 bytes
//   8   version                        u16
//   10  start:
//         snapshot length, snapshot    u32, that many bytes: a snapshot file (SaveSnapshot's
//                                      bytes, the firmware bytes always included)
//         cycles                       i32   what the snapshot leaves out of the machine:
//         kbd_matrix, kbd_extra        8 + 4 bytes
//         warm_sp, warm_pc,
//         basic_start_ptr, basic_end_ptr  u16 each
//         fps, cycles_per_frame        i32 each: the speed settings (fps at least 1)
//         paused                       u8: 1 when the session was paused, else 0
//         key tables                   512 u16: Latin table, then Cyrillic
//         firmware                     16,384 bytes: image 1, which resets put in C000-FFFF
//         held-key count, held keys    u16, then per key: virtual-key code u8 (ascending),
//                                      matrix code u16
//       inputs:
//         count                        u32
//         per input                    frame u64, cycle u32, kind u8, code u8, value i32,
//                                      value2 i32, name length u32, name (UTF-8),
//                                      bytes length u32, bytes
//       frame budgets:
//         count                        u32
//         per change                   frame u64, budget i32: the cycles that frame and the
//                                      ones after it ran with, up to the next change (the
//                                      first change is at frame 0)
//       end:
//         frame u64, cycle u32         where the recording stopped: the frames run, the
//                                      cycles steps ran into the next one
//         state hash                   u64 (state_hash of the final machine)
//   ... checksum                       u64: FNV-1a 64 of every byte before it
//
// A frame's budget is the cycles per frame in effect, or, for a frame that stopped early
// (a breakpoint, a step), the cycles it ran: the interpreter ends a run at the first
// instruction boundary at or past its budget, so a replay that gives the frame those
// cycles stops where the recorded frame stopped, breakpoints or not.
//
// The inputs come in the order they were applied; their positions never go backwards and
// none lies past the end; budget changes come in frame order, each before the end. A file
// that is not a recording, is cut short, damaged (its checksum, a length, a kind or a
// position wrong), or of a newer version is refused with RangeError naming it; reading
// never changes anything but the Recording it returns.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/machine.h"
#include "core/rom.h"
#include "storage/buffers.h"
#include "storage/input.h"

namespace lvov {

constexpr char RECORDING_MAGIC[] = "NevLVRec";
constexpr char RECORDING_EXTENSION[] = ".NevLVR";
constexpr uint16_t RECORDING_VERSION = 1;
// Larger files are refused unread: a recording holds a snapshot and the files loaded.
constexpr uint64_t MAX_RECORDING_SIZE = uint64_t(256) << 20;

constexpr uint64_t FNV_OFFSET_BASIS = 0xCBF29CE484222325;
constexpr uint64_t FNV_PRIME = 0x100000001B3;

// FNV-1a 64 of bytes, continued from hash.
uint64_t fnv1a(std::span<const uint8_t> bytes, uint64_t hash = FNV_OFFSET_BASIS);

// The hash of everything in the machine that decides what it does next: FNV-1a 64 of
// these fields in this order, integers little-endian, so every platform computes the same
// value (another front end recomputes it from the same list):
//   B C D E H L A F, SP, PC            12 bytes: the register block of storage/registers.h
//   cycles                             i32 (two's complement)
//   memory 0000-FFFF                   65,536 bytes
//   vram                               16,384 bytes
//   port latches 00-FF                 256 bytes
//   kbd_matrix, kbd_extra              8 + 4 bytes
//   warm_sp, warm_pc, basic_start_ptr, basic_end_ptr   u16 each
// That is every field of MachineState.
uint64_t state_hash(const MachineState& m);

// A hash as 16 hexadecimal digits, for messages.
std::string hash_text(uint64_t hash);

constexpr uint16_t NO_HELD_KEY = 0xFFFF;

// What the inputs of a recording act on: the whole machine, and the settings of the
// session that decide what an input does (a key's matrix code, a reset's firmware, the
// length of a frame). A replay on another installation gets the recorded key tables and
// firmware, not its own.
struct RecordingStart {
    MachineState machine;
    int32_t fps = 0;  // at least 1 in a recording
    int32_t cycles_per_frame = 0;
    bool paused = false;  // what a debugger command does depends on it
    std::array<uint16_t, 512> key_tables{};  // Latin table, then Cyrillic, as the key-map file
    RomImage firmware{};  // image 1: what a reset puts in C000-FFFF
    std::array<uint16_t, 256> held_keys{};  // per virtual-key code: the matrix code it went down with, or NO_HELD_KEY

    RecordingStart() { held_keys.fill(NO_HELD_KEY); }
};

// From `frame` on, frames run `budget` cycles (until the next change).
struct FrameBudget {
    uint64_t frame = 0;
    int32_t budget = 0;

    bool operator==(const FrameBudget&) const = default;
};

struct Recording {
    RecordingStart start;
    std::vector<RecordedInput> inputs;  // in the order applied
    std::vector<FrameBudget> budgets;  // in frame order, the first at frame 0 when a frame ran
    InputPosition end;
    uint64_t final_hash = 0;  // state_hash of the machine at end
};

// The file's bytes. The snapshot is encoded through buffer 1 of bank, with the firmware
// bytes always included.
std::vector<uint8_t> encode_recording(ByteBufferBank& bank, const Recording& recording);
// Reads a recording from a file's bytes; name is the file named in messages.
Recording decode_recording(std::span<const uint8_t> file, const std::string& name);

// The file written atomically and flushed (IoError naming it when it cannot be), at path
// as given: no extension is added.
void save_recording(ByteBufferBank& bank, const Recording& recording, const std::string& path_utf8);
// IoError when the file cannot be read (or is no regular file), RangeError when it is no
// recording, damaged, cut short, newer or larger than MAX_RECORDING_SIZE.
Recording load_recording(const std::string& path_utf8);

// Collects a session's inputs and frames from the start it is given. The session calls
// input() for every input it takes, with its position, and frame_done() after every
// frame; finish() ends the recording with the final state.
class Recorder {
public:
    // Records from origin, the session's position when the recording starts; positions
    // are kept counted from there.
    explicit Recorder(RecordingStart start, InputPosition origin = {});

    // An input taken at the session's position at. A position before the last input's,
    // or at another frame than the frames recorded, throws RangeError and records nothing.
    void input(const InputPosition& at, const Input& input);
    // A frame run with budget cycles (see above: a frame that stopped early gives the
    // cycles it ran).
    void frame_done(int32_t budget);

    uint64_t frames() const { return frames_; }
    size_t input_count() const { return recording_.inputs.size(); }

    // The recording so far, ending at the session's position at, with the hash of final.
    // The recorder goes on recording.
    Recording finish(const MachineState& final, const InputPosition& at) const;

private:
    InputPosition relative(const InputPosition& at) const;

    Recording recording_;
    InputPosition origin_;
    InputPosition last_;
    uint64_t frames_ = 0;
};

// Plays a recording back: hands out the inputs due before each frame and the frame's
// budget, counts the frames, and checks the final state. A replay is: while at_end() is
// false, every take_due() input applied, then (unless at the end) one frame of
// frame_budget() cycles and frame_done().
class Replayer {
public:
    explicit Replayer(Recording recording);

    const RecordingStart& start() const { return recording_.start; }
    const Recording& recording() const { return recording_; }

    // The next input recorded before the frame now due, marked as applied; nullptr when
    // the frame is to run (or the replay has ended).
    const Input* take_due();
    // The cycles the frame now due runs.
    int32_t frame_budget() const;
    void frame_done();

    uint64_t frames_done() const { return frames_; }
    // Every input applied and every frame run: the machine should now hold the recorded
    // final state.
    bool at_end() const;
    bool matches(const MachineState& final) const { return state_hash(final) == recording_.final_hash; }

private:
    Recording recording_;
    size_t next_ = 0;
    size_t budget_ = 0;  // the entry of the frame now due
    uint64_t frames_ = 0;
};

}  // namespace lvov
