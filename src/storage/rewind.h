// Rewind: the machine's recent past, kept in memory while it runs.
//
// Every REWIND_FRAMES_PER_STATE frames the running machine hands its state to a
// RewindHistory, which keeps the last REWIND_STATES of them (60 emulated seconds at 50
// frames a second) within REWIND_MAX_BYTES. While paused the user walks through them
// with step_back and step_forward, each of which puts the state it reaches into the
// machine; resume() then makes the state shown the present and drops the ones after it.
//
// Storage: the newest state is kept whole; every older state is kept as the difference
// to the state after it (its bytes XOR the newer state's bytes), zero-run coded with the
// snapshot codec's tokens (a non-zero byte stands for itself, 00 lo hi for a run of
// zeros). Between two states 0.2 s apart most bytes are equal, so a difference is mostly
// one run token. Dropping the oldest state is dropping its difference; walking back is
// applying differences to a working copy, walking forward applying them again.
//
// A state is memory 0000-FFFF (the firmware area included), video memory, the port
// latches, the registers, the cycle counter and the warm-start constants. The keyboard
// matrices are not part of it: keys belong to the host, and a pause has released them.
// Nothing here writes a file or touches the snapshot slots.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "core/machine.h"
#include "storage/registers.h"

namespace lvov {

constexpr int REWIND_FRAMES_PER_STATE = 10;
constexpr size_t REWIND_STATES = 300;  // 60 s at 50 frames a second
constexpr size_t REWIND_MAX_BYTES = size_t{32} << 20;  // everything the history holds
constexpr int REWIND_STEP_STATES = 5;  // one second at 50 frames a second

// Bytes of one whole state.
constexpr size_t REWIND_STATE_SIZE = MEMORY_SIZE + VRAM_SIZE + 256 + REGISTER_BLOCK_SIZE + 4 + 8;

class RewindHistory {
public:
    RewindHistory();

    // Counts a frame the machine has completed; every REWIND_FRAMES_PER_STATE-th frame
    // takes a state. Does nothing while the user is walking through the history.
    void frame_done(const MachineState& m);

    // Takes the machine's state now as the newest one (not while walking the history).
    // A state equal to the newest one is not kept twice.
    void capture(const MachineState& m);

    // Walks `states` states back (towards the oldest) or forward (towards the newest) and
    // puts the state reached into m; false, with m untouched, when there is none in that
    // direction. The first step back takes the machine's present state first, so that
    // stepping forward again ends exactly where the pause began.
    bool step_back(MachineState& m, int states = REWIND_STEP_STATES);
    bool step_forward(MachineState& m, int states = REWIND_STEP_STATES);

    // The machine goes on from the state shown: the states after it are dropped and it
    // becomes the newest. Without a step back before, nothing changes.
    void resume();

    // Forgets every state.
    void clear();

    size_t count() const { return states_.size(); }
    // Index of the state shown while walking (0 = oldest); count() - 1 otherwise.
    size_t position() const { return browsing_ ? position_ : states_.size() - 1; }
    bool browsing() const { return browsing_; }
    // Frames between the state shown and the newest one (0 when not walking).
    uint64_t frames_behind() const;
    // Frames counted by frame_done so far.
    uint64_t frames() const { return frames_; }
    // Heap bytes the history holds: coded differences and its working buffers.
    size_t memory_bytes() const;

    // The state's bytes: packed from a machine, and put back into one.
    static void pack(const MachineState& m, uint8_t* out);
    static void unpack(const uint8_t* in, MachineState& m);

private:
    struct Entry {
        uint64_t frame = 0;
        std::vector<uint8_t> diff;  // this state XOR the next newer one, coded; empty for the newest
    };
    void add_state(uint64_t frame);
    void enforce_bounds();
    void walk_to(size_t target);

    std::deque<Entry> states_;
    std::vector<uint8_t> newest_;  // the newest state, whole
    std::vector<uint8_t> shown_;  // the state shown while walking
    std::vector<uint8_t> scratch_;  // a state being taken
    std::vector<uint8_t> coded_;  // a difference being coded, worst case size
    size_t diff_bytes_ = 0;
    size_t position_ = 0;
    uint64_t frames_ = 0;
    bool browsing_ = false;
};

// The zero-run coded difference a XOR b of n bytes, written to out (room for
// 2 * n + 3 bytes); returns the bytes written.
size_t encode_xor_runs(const uint8_t* a, const uint8_t* b, size_t n, uint8_t* out);
// XORs a difference coded by encode_xor_runs into dst (n bytes); tokens that would
// reach past dst's end are ignored.
void apply_xor_runs(const uint8_t* code, size_t code_size, uint8_t* dst, size_t n);

}  // namespace lvov
