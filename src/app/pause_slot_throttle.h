// Paces the pause-slot writes of key presses.
//
// Every key press while the machine runs keeps the pause slot current with the machine as
// it was just before that press. A held key repeats some 25 times a second, and each
// write is a file written and renamed on the interface thread, so the writes are spaced
// at least GAP_MS apart: a press is written at once when the last write is that old;
// otherwise the machine is copied and the copy written when the gap has passed (a
// single-shot timer), a later press replacing the copy. The file thus always ends up
// with the state before the last press. The window flushes a kept copy before anything
// that pauses, loads or closes, so no command ever sees an older slot.
#pragma once
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

#include "core/machine.h"

namespace lvov {

class PauseSlotThrottle : public QObject {
    Q_OBJECT
public:
    static constexpr int GAP_MS = 200;  // at most five writes a second
    using Clock = std::function<qint64()>;  // monotonic milliseconds
    using Write = std::function<void(MachineState&)>;  // may throw; a failure still counts as a write

    explicit PauseSlotThrottle(Write write, QObject* parent = nullptr);
    ~PauseSlotThrottle() override;

    // Tests set a clock of their own.
    void set_clock(Clock clock) { clock_ = std::move(clock); }

    // The machine just before a key press: written now, or kept for the timer.
    void key_pressed(MachineState& m);
    // Writes a kept copy now, if there is one. The copy is gone afterwards even when the
    // write fails.
    void flush();
    // The keys have stopped reaching the machine (a pause): flush(), and the next press
    // is written at once, however soon it comes.
    void rest();
    // Forgets a kept copy: for a caller that is about to write a newer state itself.
    void drop();
    bool pending() const { return pending_; }

signals:
    // The gap has passed and a copy is waiting; the window answers with flush().
    void due();

private:
    void write(MachineState& m);

    Write write_;
    Clock clock_;
    QTimer timer_;
    std::unique_ptr<MachineState> kept_;  // allocated at the first kept press
    bool pending_ = false;
    bool written_ = false;
    qint64 last_write_ = 0;
};

}  // namespace lvov
