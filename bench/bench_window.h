// What the window benchmarks share: the processor time the process has used, and the
// event loop run as the program runs it.
#pragma once
#include <sys/resource.h>

#include <QEventLoop>
#include <QTimer>

inline double process_cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The event loop for ms milliseconds, sleeping between events, as the program's own.
inline void run_event_loop_for(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}
