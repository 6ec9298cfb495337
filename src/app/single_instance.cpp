#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <system_error>

#include "host/files.h"
#include "storage/buffers.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace lvov {

namespace {

// A request: the magic, the name's length (4 bytes, big-endian), the name's bytes. The
// answer: one byte, once the request is taken.
constexpr char MAGIC[] = "NEV1";
constexpr qsizetype MAGIC_SIZE = 4;
constexpr qsizetype HEADER_SIZE = MAGIC_SIZE + 4;
constexpr quint32 MAX_NAME_BYTES = 64 * 1024;
constexpr char ANSWER = 'K';
// A connection that has not sent its request by then is dropped.
constexpr int REQUEST_MS = 10000;
// A lock file without the holder's details, older than this, was cut short by a crash:
// QLockFile writes them at once after creating it.
constexpr qint64 UNREADABLE_LOCK_STALE_MS = 30000;
constexpr int RETRY_MS = 50;
constexpr int CONNECT_MS = 200;

std::string quoted_path(const std::filesystem::path& p) { return "\"" + path_text(p) + "\""; }

}  // namespace

QString instance_server_name(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(folder, ec);
    if (ec) canonical = folder;
    const std::string text = path_text(canonical);
    QByteArray key(text.data(), static_cast<qsizetype>(text.size()));
#ifdef _WIN32
    key += '\n' + qgetenv("USERNAME");
#else
    key += '\n' + QByteArray::number(static_cast<qulonglong>(::getuid()));
#endif
    const QString name =
        QStringLiteral("nevemulator-") + QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16);
#ifndef _WIN32
    // A name alone lands in the shared temporary folder; the runtime folder is the user's.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && runtime.startsWith('/') && QFileInfo(runtime).isDir() && runtime.size() < 80)
        return runtime + '/' + name;
#endif
    return name;
}

std::string absolute_file_name(const std::string& bytes) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(host_path(bytes), ec);
    return ec ? bytes : path_text(absolute);
}

SingleInstance::SingleInstance(std::filesystem::path folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder)), server_name_(instance_server_name(folder_)) {}

SingleInstance::~SingleInstance() = default;

SingleInstance::Outcome SingleInstance::claim(const std::string& file) {
    const std::filesystem::path lock_path = folder_ / INSTANCE_LOCK_FILE;
    const QString lock_name = QString::fromStdU16String(escape_file_name(path_text(lock_path)));
    lock_ = std::make_unique<QLockFile>(lock_name);
    // Only a holder that is gone makes a lock stale, never its age: a copy may run for weeks.
    lock_->setStaleLockTime(0);

    // The lock records the process's PID, program name and boot: a later start takes it
    // over when that process is gone, or its PID now runs another program.
    const QDeadlineTimer deadline(reach_ms);
    for (;;) {
        if (lock_->tryLock(0)) return {Role::Owner, listen()};
        if (lock_->error() != QLockFile::LockFailedError) {
            // No lock, so no copy holding the folder can be known; one may still be listening.
            if (hand_over(file, 0) == Handing::Done) return {Role::HandedOver, {}};
            return {Role::WithoutSlots, "the lock file " + quoted_path(lock_path) +
                                            " cannot be created (the folder is read-only or missing), so another "
                                            "copy of the emulator may be using the folder"};
        }
        // A lock file a crash left without its holder's details is removed once it is old.
        qint64 pid = 0;
        QString host, app;
        if (!lock_->getLockInfo(&pid, &host, &app)) {
            const QFileInfo info(lock_name);
            if (info.isReadable() &&
                info.lastModified().msecsTo(QDateTime::currentDateTime()) > UNREADABLE_LOCK_STALE_MS &&
                lock_->removeStaleLockFile())
                continue;
        }
        switch (hand_over(file, CONNECT_MS)) {
        case Handing::Done: return {Role::HandedOver, {}};
        case Handing::NoAnswer:
            return {Role::WithoutSlots, "another copy of the emulator" + holder_text() + " uses the folder " +
                                            quoted_path(folder_) + " and does not answer"};
        case Handing::NoServer: break;  // the holder may be about to listen, or about to be gone
        }
        if (deadline.hasExpired())
            return {Role::WithoutSlots, "another copy of the emulator" + holder_text() + " uses the folder " +
                                            quoted_path(folder_) + " and cannot be reached"};
        QThread::msleep(RETRY_MS);
    }
}

std::string SingleInstance::without_slots_notice(const std::string& reason) {
    return "This window writes no snapshot slot (quick save, autosave, pause, reset and close files): " + reason +
           ".\nUse Save... to keep the machine in a file of your choice.";
}

std::string SingleInstance::holder_text() const {
    qint64 pid = 0;
    QString host, app;
    if (!lock_ || !lock_->getLockInfo(&pid, &host, &app)) return {};
    return " (process " + std::to_string(pid) + (host.isEmpty() ? "" : " on " + host.toStdString()) + ")";
}

SingleInstance::Handing SingleInstance::hand_over(const std::string& file, int connect_ms) {
    QLocalSocket socket;
    socket.connectToServer(server_name_);
    if (!socket.waitForConnected(connect_ms) && socket.state() != QLocalSocket::ConnectedState)
        return Handing::NoServer;
    QByteArray request(MAGIC, MAGIC_SIZE);
    char length[4];
    qToBigEndian(static_cast<quint32>(file.size()), length);
    request.append(length, 4);
    request.append(file.data(), static_cast<qsizetype>(file.size()));
    socket.write(request);
    const QDeadlineTimer deadline(answer_ms);
    while (socket.bytesToWrite() > 0 && !deadline.hasExpired())
        if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) break;
    while (socket.bytesAvailable() < 1 && !deadline.hasExpired())
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) break;
    char answer = 0;
    if (socket.bytesAvailable() < 1 || !socket.getChar(&answer) || answer != ANSWER) return Handing::NoAnswer;
    socket.disconnectFromServer();
    return Handing::Done;
}

std::string SingleInstance::listen() {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket a killed holder left behind: the lock says that holder is gone.
    QLocalServer::removeServer(server_name_);
    if (!server_->listen(server_name_))
        return "later starts on this folder cannot hand their files to this copy: " +
               server_->errorString().toStdString();
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::accept_connections);
    return {};
}

void SingleInstance::accept_connections() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read_request(socket); });
        QTimer::singleShot(REQUEST_MS, socket, [socket] { socket->abort(); });
        read_request(socket);
    }
}

void SingleInstance::read_request(QLocalSocket* socket) {
    if (socket->bytesAvailable() < HEADER_SIZE) return;
    const QByteArray header = socket->peek(HEADER_SIZE);
    const quint32 size = qFromBigEndian<quint32>(header.constData() + MAGIC_SIZE);
    if (header.left(MAGIC_SIZE) != QByteArray(MAGIC, MAGIC_SIZE) || size > MAX_NAME_BYTES) {
        socket->abort();  // not a start of this program
        return;
    }
    if (socket->bytesAvailable() < HEADER_SIZE + size) return;
    socket->skip(HEADER_SIZE);
    const QByteArray name = socket->read(size);
    socket->putChar(ANSWER);
    socket->flush();
    // Told after the answer: loading may open a message box, and the other start must
    // not wait for the user.
    const QString path = QString::fromStdU16String(escape_file_name(std::string_view(name.constData(), name.size())));
    QMetaObject::invokeMethod(
        this, [this, path] { emit file_handed(path); }, Qt::QueuedConnection);
}

}  // namespace lvov
