// The inputs of a session: everything from outside that changes what the machine does.
//
// The session controller turns every key, speed change, reset, file, game, rewind, pause,
// debugger patch and execution command into one Input and applies it in one place, so a
// recording of these values, with the position at which each took effect, replays the
// session exactly.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace lvov {

enum class InputKind : uint8_t {
    KeyDown = 1,  // code: virtual-key code
    KeyUp = 2,  // code: virtual-key code
    Speed = 3,  // value: frames per second, value2: cycles per frame
    Reset = 4,  // code: 0 full, 1 quick
    LoadFile = 5,  // name: the file's name as shown, bytes: its contents
    ChooseGame = 6,  // name: the title, bytes: the game file's contents
    RewindBack = 7,
    RewindForward = 8,
    Pause = 9,
    Resume = 10,
    Poke = 11,  // value: address, code: the byte written
    Step = 12,  // one instruction
    StepOver = 13,
    StepOut = 14,
    RunTo = 15,  // value: address
    Continue = 16,
    Break = 17,
};

struct Input {
    InputKind kind = InputKind::KeyDown;
    uint8_t code = 0;
    int32_t value = 0;
    int32_t value2 = 0;
    std::string name;
    std::vector<uint8_t> bytes;

    bool operator==(const Input&) const = default;
};

// Where in the session an input took effect: after `frame` whole frames since the start
// of the recording, and `cycle` clock cycles into the next one (0 between frames; more
// when steps have run the machine part of the way).
struct InputPosition {
    uint64_t frame = 0;
    uint32_t cycle = 0;

    bool operator==(const InputPosition&) const = default;
};

struct RecordedInput {
    InputPosition at;
    Input input;

    bool operator==(const RecordedInput&) const = default;
};

}  // namespace lvov
