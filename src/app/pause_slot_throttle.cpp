#include "app/pause_slot_throttle.h"

#include <QElapsedTimer>

namespace lvov {

namespace {
qint64 monotonic_ms() {
    static QElapsedTimer since_start = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return since_start.elapsed();
}
}  // namespace

PauseSlotThrottle::PauseSlotThrottle(Write write, QObject* parent)
    : QObject(parent), write_(std::move(write)), clock_(monotonic_ms) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (pending_) emit due();
    });
}

PauseSlotThrottle::~PauseSlotThrottle() = default;

void PauseSlotThrottle::key_pressed(MachineState& m) {
    const qint64 now = clock_();
    const qint64 since = now - last_write_;
    if (!written_ || since >= GAP_MS) {
        drop();
        write(m);
        return;
    }
    if (!kept_) kept_ = std::make_unique<MachineState>();
    *kept_ = m;
    pending_ = true;
    if (!timer_.isActive()) timer_.start(static_cast<int>(GAP_MS - since));
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

void PauseSlotThrottle::drop() {
    pending_ = false;
    timer_.stop();
}

void PauseSlotThrottle::write(MachineState& m) {
    written_ = true;
    last_write_ = clock_();
    write_(m);
}

}  // namespace lvov
