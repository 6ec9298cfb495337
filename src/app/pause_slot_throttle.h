// Paces the pause-slot writes of key presses.
//
// Every key press while the machine runs keeps the pause slot current with the machine as
// it was just before that press. A held key repeats some 25 times a second, and each
// write is a file written and renamed on the interface thread, so the writes are spaced
// at least GAP_MS apart: a press is written at once when the last write is that old;
// otherwise the machine is copied and the copy written when the gap has passed, a later
// press replacing the copy. The file thus always ends up with the state before the last
// press. The session flushes a kept copy before anything that pauses, loads or closes,
// so no command ever sees an older slot.
//
// No timer lives here: when a copy is kept, `wake` is told how many milliseconds the gap
// has left, and the front end calls flush() then (a single-shot timer of the window).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "core/machine.h"

namespace lvov {

class PauseSlotThrottle {
public:
    static constexpr int GAP_MS = 200;  // at most five writes a second
    using Clock = std::function<int64_t()>;  // monotonic milliseconds
    using Write = std::function<void(const MachineState&)>;  // may throw; a failure still counts as a write
    using Wake = std::function<void(int ms)>;  // flush() is due in ms milliseconds

    PauseSlotThrottle(Write write, Clock clock, Wake wake);
    ~PauseSlotThrottle();

    // The machine just before a key press: written now, or kept until the gap has passed.
    void key_pressed(const MachineState& m);
    // Writes a kept copy now, if there is one. The copy is gone afterwards even when the
    // write fails.
    void flush();
    // The keys have stopped reaching the machine (a pause): flush(), and the next press
    // is written at once, however soon it comes.
    void rest();
    // Forgets a kept copy: for a caller that is about to write a newer state itself.
    void drop() { pending_ = false; }
    bool pending() const { return pending_; }

private:
    void write(const MachineState& m);

    Write write_;
    Clock clock_;
    Wake wake_;
    std::unique_ptr<MachineState> kept_;  // allocated at the first kept press
    bool pending_ = false;
    bool written_ = false;
    int64_t last_write_ = 0;
};

}  // namespace lvov
