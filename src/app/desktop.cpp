#include "app/desktop.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <csignal>

namespace lvov {

const QString DESKTOP_ID = QStringLiteral("org.nevemulator.NevEmulator");

QIcon application_icon() {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/hicolor/%1x%1/%2.png").arg(size).arg(DESKTOP_ID), QSize(size, size));
    }
    return icon;
}

void set_desktop_identity() {
    QGuiApplication::setWindowIcon(application_icon());
    QGuiApplication::setDesktopFileName(DESKTOP_ID);
}

namespace {

// The write end of the pair the signal handler reports through; the handler may only
// call async-signal-safe functions, so the work happens in the event loop.
int signal_fd[2] = {-1, -1};
volatile std::sig_atomic_t signals_seen = 0;

extern "C" void on_termination_signal(int sig) {
    if (signals_seen != 0) {
        // Asked again while the close is under way (or stuck): stop now.
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    signals_seen = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signal_fd[1], &byte, 1);
}

}  // namespace

void close_on_termination_signals(QWidget& window) {
    if (signal_fd[0] >= 0) return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signal_fd) != 0) return;
    ::fcntl(signal_fd[1], F_SETFL, O_NONBLOCK);
    auto* notifier = new QSocketNotifier(signal_fd[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window, notifier] {
        char byte;
        [[maybe_unused]] const ssize_t got = ::read(signal_fd[0], &byte, 1);
        notifier->setEnabled(false);
        // Queued behind whatever the event loop holds already (the start-up among it).
        QMetaObject::invokeMethod(&window, &QWidget::close, Qt::QueuedConnection);
    });
    struct sigaction action {};
    action.sa_handler = on_termination_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

}  // namespace lvov
