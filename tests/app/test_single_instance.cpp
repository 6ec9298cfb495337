// One running copy per data folder: a later start hands its file to the copy holding the
// folder, a lock left by a killed copy is taken over, copies started at once hold the
// folder once, and a copy that cannot reach the holder runs without slots.
//
// The test program is also the other copy: "--hold DIR" claims DIR as the program does,
// prints its role, then every file name handed to it (hex of its bytes), and runs until
// it is killed.
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QLocalServer>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <iostream>
#include <memory>

#include "app/single_instance.h"
#include "storage/buffers.h"

using namespace lvov;
namespace fs = std::filesystem;

namespace {

const char* role_name(SingleInstance::Role role) {
    switch (role) {
    case SingleInstance::Role::Owner: return "owner";
    case SingleInstance::Role::HandedOver: return "handed";
    case SingleInstance::Role::WithoutSlots: return "without";
    }
    return "?";
}

QByteArray role(const SingleInstance::Outcome& outcome) { return role_name(outcome.role); }

int hold(const char* dir) {
    QCoreApplication::setApplicationName(QStringLiteral("ПК ЛЬВОВ"));  // as the window names itself
    SingleInstance instance{fs::path(dir)};
    const SingleInstance::Outcome outcome = instance.claim("");
    std::cout << role_name(outcome.role) << std::endl;
    if (outcome.role != SingleInstance::Role::Owner) return 0;
    QObject::connect(&instance, &SingleInstance::file_handed, [](const QString& path) {
        const std::string bytes = unescape_file_name(path.toStdU16String());
        std::cout << "file " << QByteArray::fromStdString(bytes).toHex().toStdString() << std::endl;
    });
    return QCoreApplication::exec();
}

}  // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        tmp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp_->isValid());
    }
    void cleanup() {
        for (auto& p : holders_) {
            p->kill();
            p->waitForFinished();
        }
        holders_.clear();
        QLocalServer::removeServer(instance_server_name(dir()));  // a killed holder's socket
        tmp_.reset();
    }

    void aLaterStartHandsItsFileToTheHolder();
    void aKilledHolderIsTakenOver();
    void copiesStartedAtOnceHoldTheFolderOnce();
    void copiesThatCannotReachTheHolderRunWithoutSlots();

private:
    fs::path dir() const { return fs::path(tmp_->path().toStdString()); }
    // A holder process started on dir, and the role its claim printed.
    QProcess* start_holder() {
        holders_.push_back(std::make_unique<QProcess>());
        QProcess* p = holders_.back().get();
        p->start(QCoreApplication::applicationFilePath(), {"--hold", tmp_->path()});
        return p;
    }
    static QByteArray next_line(QProcess* p) {
        // The event loop runs meanwhile, so a claim may be answered by this process.
        QElapsedTimer timer;
        timer.start();
        while (!p->canReadLine() && timer.elapsed() < 10000) QTest::qWait(10);
        return p->readLine().trimmed();
    }

    std::unique_ptr<QTemporaryDir> tmp_;
    std::vector<std::unique_ptr<QProcess>> holders_;
};

void SingleInstanceTest::aLaterStartHandsItsFileToTheHolder() {
    QProcess* holder = start_holder();
    QCOMPARE(next_line(holder), QByteArray("owner"));
    QVERIFY(fs::exists(dir() / INSTANCE_LOCK_FILE));

    // A name with a byte that is not UTF-8 arrives as it was given; and the folder by
    // another spelling is the same folder.
    const std::string name = (dir() / "game\xff.lvt").string();
    fs::create_directory(dir() / "GAMES");
    SingleInstance second{dir() / "GAMES" / ".."};
    const SingleInstance::Outcome outcome = second.claim(name);
    QCOMPARE(role(outcome), QByteArray("handed"));
    QCOMPARE(next_line(holder), "file " + QByteArray::fromStdString(name).toHex());

    // Without a file, the holder is only brought to the front.
    SingleInstance third{dir()};
    QCOMPARE(role(third.claim("")), QByteArray("handed"));
    QCOMPARE(next_line(holder), QByteArray("file"));

    // A relative name is made absolute before it travels.
    QCOMPARE(absolute_file_name("demo.lvt"), (fs::current_path() / "demo.lvt").string());
}

void SingleInstanceTest::aKilledHolderIsTakenOver() {
    QProcess* holder = start_holder();
    QCOMPARE(next_line(holder), QByteArray("owner"));
    holder->kill();  // SIGKILL: the lock file and the socket stay behind
    QVERIFY(holder->waitForFinished());
    QVERIFY(fs::exists(dir() / INSTANCE_LOCK_FILE));

    // Its PID now runs another program: still a lock of a copy that is gone.
    QProcess other;
    other.start("sleep", {"30"});
    QVERIFY(other.waitForStarted());
    QFile lock(tmp_->path() + "/" + INSTANCE_LOCK_FILE);
    QVERIFY(lock.open(QIODevice::ReadOnly));
    QByteArray text = lock.readAll();
    lock.close();
    text = QByteArray::number(other.processId()) + text.mid(text.indexOf('\n'));
    QVERIFY(lock.open(QIODevice::WriteOnly | QIODevice::Truncate));
    lock.write(text);
    lock.close();

    SingleInstance next{dir()};
    next.reach_ms = 500;
    const SingleInstance::Outcome outcome = next.claim("");
    QCOMPARE(role(outcome), QByteArray("owner"));
    QCOMPARE(outcome.reason, std::string());  // it listens where the killed one did

    // Later starts reach the new holder.
    QSignalSpy handed(&next, &SingleInstance::file_handed);
    QCOMPARE(next_line(start_holder()), QByteArray("handed"));
    QTRY_COMPARE(handed.count(), 1);
    QCOMPARE(handed[0][0].toString(), QString());
    other.kill();
    other.waitForFinished();
}

// Four copies at the same instant, over the stale lock of a killed one: one holds the
// folder, the others hand over to it.
void SingleInstanceTest::copiesStartedAtOnceHoldTheFolderOnce() {
    QProcess* killed = start_holder();
    QCOMPARE(next_line(killed), QByteArray("owner"));
    killed->kill();
    QVERIFY(killed->waitForFinished());

    std::vector<QProcess*> copies;
    for (int i = 0; i < 4; ++i) copies.push_back(start_holder());
    QStringList roles;
    for (QProcess* p : copies) roles << QString::fromLatin1(next_line(p));
    roles.sort();
    QCOMPARE(roles, QStringList({"handed", "handed", "handed", "owner"}));
}

void SingleInstanceTest::copiesThatCannotReachTheHolderRunWithoutSlots() {
    // The holder is alive (this process) but does not listen: another user's copy looks so.
    {
        QLockFile held(tmp_->path() + "/" + INSTANCE_LOCK_FILE);
        QVERIFY(held.tryLock(0));
        SingleInstance copy{dir()};
        copy.reach_ms = 300;
        const SingleInstance::Outcome outcome = copy.claim("");
        QCOMPARE(role(outcome), QByteArray("without"));
        QVERIFY2(QString::fromStdString(outcome.reason).contains(tmp_->path()), outcome.reason.c_str());
        QVERIFY2(QString::fromStdString(outcome.reason).contains(QString::number(QCoreApplication::applicationPid())),
                 outcome.reason.c_str());
        QVERIFY(!SingleInstance::without_slots_notice(outcome.reason).empty());

        // A holder that listens but never answers.
        QLocalServer silent;
        QLocalServer::removeServer(instance_server_name(dir()));
        QVERIFY(silent.listen(instance_server_name(dir())));
        SingleInstance waiting{dir()};
        waiting.answer_ms = 300;
        const SingleInstance::Outcome unanswered = waiting.claim("x.lvt");
        QCOMPARE(role(unanswered), QByteArray("without"));
        QVERIFY2(unanswered.reason.find("does not answer") != std::string::npos, unanswered.reason.c_str());
    }

    // A folder where the lock cannot be made.
    SingleInstance missing{dir() / "absent"};
    const SingleInstance::Outcome no_lock = missing.claim("");
    QCOMPARE(role(no_lock), QByteArray("without"));
    QVERIFY2(no_lock.reason.find("absent") != std::string::npos, no_lock.reason.c_str());

    // A lock file a crash cut short names no holder: it holds the folder while it is new,
    // and is taken over once it is old.
    QFile cut(tmp_->path() + "/" + INSTANCE_LOCK_FILE);
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.close();
    SingleInstance early{dir()};
    early.reach_ms = 200;
    QCOMPARE(role(early.claim("")), QByteArray("without"));
    QVERIFY(cut.open(QIODevice::ReadWrite));
    QVERIFY(cut.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    cut.close();
    SingleInstance late{dir()};
    QCOMPARE(role(late.claim("")), QByteArray("owner"));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "--hold") return hold(argv[2]);
    SingleInstanceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_single_instance.moc"
