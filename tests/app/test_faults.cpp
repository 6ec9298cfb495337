// Faults of the file system met through the main window's handlers: a full disk, a
// read-only program folder, a write killed in the middle, files that are FIFOs, devices
// or folders, a program folder named like a snapshot, and file names that are not UTF-8.
// Each time the error is reported, the files written before stay as they were, nothing
// waits, and the program goes on working.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "scratch_mount.h"
#include "storage/buffers.h"
#include "test_support.h"

using namespace lvov;
using namespace lvov::test;
namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::vector<uint8_t>>;

// Every file under a folder (relative name -> bytes).
Files files_under(const fs::path& root) {
    Files files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path(), std::ios::binary);
        files[fs::relative(e.path(), root).string()] =
            std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

}  // namespace

class FaultsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void fullDiskKeepsEverySavedFile();
    void readOnlyFolderKeepsEverySavedFile();
    void killedWriteLeavesTheLastSnapshotAndItsTemporaryGoes();
    void filesThatAreNotFilesGetAMessageAtOnce();
    void programFolderNamedLikeASnapshot();
    void fileNamesThatAreNotUtf8();

private:
    fs::path dir() const { return fs::path(tmp_->path().toStdString()); }
    // A window over `folder` after its start-up, the machine booted and running.
    static std::unique_ptr<TestForm> started(const fs::path& folder) {
        auto form = std::make_unique<TestForm>(folder);
        form->FirstPusk();
        return form;
    }
    // Every command that writes a file, each expected to fail with a message while the
    // files already written stay byte for byte.
    static void every_write_fails_and_changes_nothing(TestForm& form, const fs::path& folder);

    std::unique_ptr<QTemporaryDir> tmp_;
};

void FaultsTest::init() {
    tmp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp_->isValid());
}

void FaultsTest::cleanup() {
    // Names that are not UTF-8 are beyond QTemporaryDir's own removal.
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir(), ec)) fs::remove_all(e.path(), ec);
    tmp_.reset();
}

void FaultsTest::every_write_fails_and_changes_nothing(TestForm& form, const fs::path& folder) {
    const Files before = files_under(folder);
    for (int i = 0; i < 5; ++i) form.TimerMainTimer();  // the machine moves on

    const auto fails = [&](const char* what, auto&& command) {
        const qsizetype errors = form.errors.size();
        command();
        QVERIFY2(form.errors.size() == errors + 1, what);
        QVERIFY2(files_under(folder) == before, what);
    };
    fails("QuickSave", [&] { form.MenuQuickSaveClick(); });
    form.pause(false);
    fails("autosave", [&] { form.session().autosave(); });
    form.save_answer = QString::fromStdString((folder / "mine.NevLVE").string());
    fails("Save...", [&] { form.MenuSaveClick(); });
    form.pause(false);
    fails("Full Reset", [&] { form.MenuFullResetCPUClick(); });
    form.pause(false);
    fails("Quick Reset", [&] { form.ToolButtonQuickResetCPUClick(); });
    fails("close", [&] { form.close(); });
}

void FaultsTest::fullDiskKeepsEverySavedFile() {
    ScratchMount disk("512k");
    if (!disk.ok()) QSKIP("cannot mount a tmpfs here");
    {
        auto form = started(disk.path());
        form->MenuQuickSaveClick();  // QuickSave.NevLVE and an AutoSave copy
        form->save_answer = QString::fromStdString((disk / "mine.NevLVE").string());
        form->MenuSaveClick();
        form->MenuFullResetCPUClick();
        form->close();
        QVERIFY2(form->errors.isEmpty(), qPrintable(form->errors.join('\n')));
    }
    auto form = started(disk.path());
    QVERIFY(form->errors.isEmpty());
    disk.fill();
    every_write_fails_and_changes_nothing(*form, disk.path());
    QVERIFY(form->errors.first().contains("QuickSave.NevLVE"));

    // With room again the same window runs and saves as before.
    disk.unfill();
    form->errors.clear();
    form->pause(false);
    form->emu().machine.cycles = 0;  // each frame counts its own cycles from 0
    form->TimerMainTimer();
    QVERIFY(form->emu().machine.cycles >= form->emu().cycles_per_frame);
    form->MenuQuickSaveClick();
    QVERIFY2(form->errors.isEmpty(), qPrintable(form->errors.join('\n')));
    QVERIFY(!form->paused());
}

void FaultsTest::readOnlyFolderKeepsEverySavedFile() {
    ScratchMount disk("512k");
    if (!disk.ok()) QSKIP("cannot mount a tmpfs here");
    {
        auto form = started(disk.path());
        form->MenuQuickSaveClick();
        form->close();
        QVERIFY(form->errors.isEmpty());
    }
    if (!disk.make_read_only()) QSKIP("cannot remount read-only here");
    auto form = started(disk.path());  // the close snapshot is still read
    QVERIFY2(form->errors.isEmpty(), qPrintable(form->errors.join('\n')));
    every_write_fails_and_changes_nothing(*form, disk.path());
    QVERIFY2(form->errors.first().contains("Read-only"), qPrintable(form->errors.first()));
}

void FaultsTest::killedWriteLeavesTheLastSnapshotAndItsTemporaryGoes() {
    auto first = started(dir());
    first->MenuQuickSaveClick();
    const uint16_t saved_pc = first->emu().machine.PC;
    const auto saved = files_under(dir()).at("QuickSave.NevLVE");
    first.reset();

    // The program writes over QuickSave.NevLVE and is killed in the middle of the write
    // (a file size limit far below a snapshot's size).
    QProcess p;
    p.setChildProcessModifier([] {
        ::signal(SIGXFSZ, SIG_DFL);
        rlimit small{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &small);
    });
    p.start(QStringLiteral(NEVEMULATOR_PATH),
            {"--headless", "--dir", tmp_->path(), "--frames", "0", "--save-snapshot", tmp_->path() + "/QuickSave"});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::CrashExit);
    const Files after_kill = files_under(dir());
    QCOMPARE(after_kill.at("QuickSave.NevLVE"), saved);
    QCOMPARE(after_kill.size(), files_under(dir()).size());
    const auto stray = std::count_if(after_kill.begin(), after_kill.end(),
                                     [](const auto& f) { return f.first.rfind(".lvov-", 0) == 0; });
    QCOMPARE(stray, 1);

    // The next start removes the stray file, and QuickOpen loads the last snapshot.
    auto next = started(dir());
    for (const auto& f : files_under(dir())) QVERIFY2(f.first.rfind(".lvov-", 0) != 0, f.first.c_str());
    next->emu().machine.PC = 0x1234;
    next->MenuQuickOpenClick();
    QVERIFY2(next->errors.isEmpty(), qPrintable(next->errors.join('\n')));
    QCOMPARE(next->emu().machine.PC, saved_pc);
}

void FaultsTest::filesThatAreNotFilesGetAMessageAtOnce() {
    // A FIFO as the close slot froze the start-up, waiting for a writer.
    QVERIFY(mkfifo((dir() / "OnClose.NevLVE").c_str(), 0644) == 0);
    QVERIFY(mkfifo((dir() / "QuickSave.NevLVE").c_str(), 0644) == 0);
    fs::create_directory(dir() / "folder");
    auto form = started(dir());
    QCOMPARE(form->errors.size(), 1);
    QVERIFY2(form->errors.first().contains("OnClose.NevLVE"), qPrintable(form->errors.first()));
    // No promise that the close replaces it: nothing replaces a FIFO.
    QVERIFY2(!form->errors.first().contains("replaced"), qPrintable(form->errors.first()));
    QVERIFY2(form->errors.first().contains("until this is removed"), qPrintable(form->errors.first()));

    const auto refused = [&](const char* what, auto&& command) {
        const qsizetype errors = form->errors.size();
        command();
        QVERIFY2(form->errors.size() == errors + 1, what);
        QVERIFY2(form->errors.last().contains("not a regular file"), qPrintable(form->errors.last()));
    };
    refused("QuickOpen of a FIFO", [&] { form->MenuQuickOpenClick(); });
    refused("QuickSave over a FIFO", [&] { form->MenuQuickSaveClick(); });
    form->open_answer = QString::fromStdString((dir() / "folder").string());
    refused("Open of a folder", [&] { form->MenuOpenClick(); });
    refused("dropped device", [&] { form->DropFile(QStringLiteral("/dev/zero")); });
    refused("close over a FIFO", [&] { form->close(); });
    QVERIFY(fs::is_fifo(dir() / "QuickSave.NevLVE"));
    QVERIFY(fs::is_fifo(dir() / "OnClose.NevLVE"));
}

void FaultsTest::programFolderNamedLikeASnapshot() {
    const fs::path folder = dir() / "x.NevLVE";
    fs::create_directory(folder);
    auto form = started(folder);
    form->MenuQuickSaveClick();
    form->MenuFullResetCPUClick();
    form->close();
    QVERIFY(form->errors.isEmpty());
    QVERIFY(fs::is_regular_file(folder / "QuickSave.NevLVE"));
    QVERIFY(fs::is_regular_file(folder / "OnReset.NevLVE"));
    QVERIFY(fs::is_regular_file(folder / "OnClose.NevLVE"));
    QVERIFY(!fs::exists(folder / "QuickSave.NevLVE.NevLVE"));
}

void FaultsTest::fileNamesThatAreNotUtf8() {
    // A tape named in window-1251, given on the command line: the window gets its name
    // as main() passes it and loads the very file.
    const std::string name = (dir() / "\xC8\xE3\xF0\xE0.lvt").string();
    write_file(name, tape_image(0x8000, {0xC3, 0x00, 0x80}, 0x8000));
    auto form = started(dir());
    form->DropFile(QString::fromStdU16String(escape_file_name(name)));
    QVERIFY2(form->errors.isEmpty(), qPrintable(form->errors.join('\n')));
    QCOMPARE(form->emu().machine.PC, uint16_t(0x8000));
    QCOMPARE(form->emu().machine.memory[0x8000], uint8_t(0xC3));
}

QTEST_MAIN(FaultsTest)
#include "test_faults.moc"
