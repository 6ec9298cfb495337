#include "app/pause_slot_throttle.h"

namespace lvov {

PauseSlotThrottle::PauseSlotThrottle(Write write, Clock clock, Wake wake)
    : write_(std::move(write)), clock_(std::move(clock)), wake_(std::move(wake)) {}

PauseSlotThrottle::~PauseSlotThrottle() = default;

void PauseSlotThrottle::key_pressed(const MachineState& m) {
    const int64_t since = clock_() - last_write_;
    if (!written_ || since >= GAP_MS) {
        drop();
        write(m);
        return;
    }
    if (!kept_) kept_ = std::make_unique<MachineState>();
    *kept_ = m;
    if (!pending_) wake_(static_cast<int>(GAP_MS - since));  // one wake-up per kept copy
    pending_ = true;
}

void PauseSlotThrottle::flush() {
    if (!pending_) return;
    drop();
    write(*kept_);
}

void PauseSlotThrottle::rest() {
    try {
        flush();
    } catch (...) {
        written_ = false;
        throw;
    }
    written_ = false;
}

void PauseSlotThrottle::write(const MachineState& m) {
    written_ = true;
    last_write_ = clock_();
    write_(m);
}

}  // namespace lvov
