// The emulator's parts of the commands without a window: the start-up sequence the window
// and the headless run share, the reset slot, the files, games and recent snapshots read
// and checked before they are taken, each telling what failed and leaving the machine as
// the command promises.
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <iterator>
#include <memory>

#include "app/emulator.h"
#include "core/i8080.h"
#include "test_support.h"

using namespace lvov;
using namespace lvov::test;
namespace fs = std::filesystem;

class EmulatorTest : public QObject {
    Q_OBJECT
private slots:
    void init() { tmp_ = std::make_unique<QTemporaryDir>(); }
    void cleanup() { tmp_.reset(); }

    void startUpResumesTheLastSessionOrStartsAfresh();
    void startUpGoesOnPastWhatItCannotUse();
    void resetsHappenEvenWhenTheirSlotCannotBeWritten();
    void aGameThatCannotBeLoadedChangesNothing();
    void gamesAndRecentSnapshotsTellWhatTheMachineRuns();

private:
    fs::path dir() const { return fs::path(tmp_->path().toStdString()); }
    std::unique_ptr<Emulator> started(StartupOptions options = {}) {
        auto emu = std::make_unique<Emulator>(dir());
        emu->start_up(options);
        return emu;
    }
    std::unique_ptr<QTemporaryDir> tmp_;
};

void EmulatorTest::startUpResumesTheLastSessionOrStartsAfresh() {
    // No close slot: the machine is reset and not booted; the firmware starts as frames run.
    auto first = std::make_unique<Emulator>(dir());
    StartupReport report = first->start_up({});
    QVERIFY(!report.restored);
    QVERIFY(report.problems.empty());
    QCOMPARE(first->machine.PC, uint16_t(0xC000));
    QCOMPARE(first->machine.cycles, 0);
    QVERIFY(first->snapshot_slots.session_started());

    // A session to resume: booted first, then the close slot over it.
    first->boot_run();
    first->machine.memory[0x4000] = 0x5A;
    first->machine.PC = 0x4000;
    first->save_close_slot();
    auto second = std::make_unique<Emulator>(dir());
    report = second->start_up({});
    QVERIFY(report.restored);
    QCOMPARE(second->machine.memory[0x4000], uint8_t(0x5A));
    QCOMPARE(second->machine.PC, uint16_t(0x4000));

    // The headless run's start-up: booted, the last session left alone.
    auto headless = std::make_unique<Emulator>(dir());
    report = headless->start_up({.read_games = false, .restore_session = false, .boot = true});
    QVERIFY(!report.restored);
    QVERIFY(headless->machine.cycles >= boot_cycles);
    QCOMPARE(headless->machine.memory[0x4000], uint8_t(0));
}

void EmulatorTest::startUpGoesOnPastWhatItCannotUse() {
    write_file(dir() / "NEVEmulator.key", std::vector<uint8_t>(10, 0xFF));  // far too short
    fs::create_directories(dir() / "GAMES");
    std::ofstream(dir() / "GAMES" / "index.ini") << "A=a.lvt\n" << std::string(300, 't') << "=long.lvt\n";
    write_file(dir() / "OnClose.NevLVE", {'N', 'e', 'v'});  // cut short

    auto emu = std::make_unique<Emulator>(dir());
    const StartupReport report = emu->start_up({});
    QCOMPARE(int(report.problems.size()), 3);
    const StartupProblem* keys = report.find(StartupProblem::Source::KeyMap);
    const StartupProblem* games = report.find(StartupProblem::Source::GamesIndex);
    const StartupProblem* close = report.find(StartupProblem::Source::CloseFile);
    QVERIFY(keys && games && close);
    QVERIFY(keys->error.find("NEVEmulator.key") != std::string::npos);
    QVERIFY(keys->outcome.find("built-in key tables") != std::string::npos);
    QVERIFY(close->error.find("OnClose.NevLVE") != std::string::npos);
    QVERIFY(emu->keys.latin == default_key_tables().latin);
    QCOMPARE(emu->games.game_count(), 1);  // the entry before the fault stays
    QVERIFY(!report.restored);
    QVERIFY(emu->machine.cycles >= boot_cycles);  // booted for the load that failed
    QVERIFY(emu->snapshot_slots.session_started());
    // The damaged close file is moved aside, named in the message, and a new one is
    // written at the close beside it.
    std::vector<fs::path> aside;
    for (const auto& entry : fs::directory_iterator(dir()))
        if (entry.path().filename().string().rfind("OnClose.NevLVE.unreadable-", 0) == 0) aside.push_back(entry.path());
    QCOMPARE(int(aside.size()), 1);
    QCOMPARE(fs::file_size(aside[0]), uintmax_t(3));
    QVERIFY2(close->error.find(path_text(aside[0])) != std::string::npos, close->error.c_str());
    QVERIFY(!fs::exists(dir() / "OnClose.NevLVE"));
    emu->save_close_slot();
    QVERIFY(fs::file_size(dir() / "OnClose.NevLVE") > 3 && fs::file_size(aside[0]) == 3);
}

void EmulatorTest::resetsHappenEvenWhenTheirSlotCannotBeWritten() {
    auto emu = started();
    emu->boot_run();
    emu->machine.memory[0x4000] = 0x77;
    QVERIFY(!emu->save_reset_slot());
    emu->reset(ResetKind::Full);
    QCOMPARE(emu->machine.PC, uint16_t(0xC000));
    QCOMPARE(emu->machine.cycles, 0);
    QVERIFY(fs::exists(dir() / "OnReset.NevLVE"));

    // The slot taken by a folder: the quick reset still resets and boots; the failure is told.
    fs::remove(dir() / "OnReset.NevLVE");
    fs::create_directory(dir() / "OnReset.NevLVE");
    emu->machine.PC = 0x1234;
    const std::optional<std::string> failure = emu->save_reset_slot();
    emu->reset(ResetKind::Quick);
    QVERIFY(failure && failure->find("OnReset.NevLVE") != std::string::npos);
    QVERIFY(emu->machine.cycles >= boot_cycles);
    QVERIFY(fs::is_directory(dir() / "OnReset.NevLVE"));

    // A game taken: reset, booted and loaded.
    fs::create_directories(dir() / "GAMES");
    std::ofstream(dir() / "GAMES" / "index.ini") << "Loop=loop.lvt\n";
    write_file(dir() / "GAMES" / "loop.lvt", tape_image(0x8000, {0xC3, 0x00, 0x80}, 0x8000));
    auto with_games = started();
    with_games->machine.memory[0x9000] = 0x77;
    with_games->load(*with_games->read_game(0));
    QCOMPARE(with_games->machine.memory[0x9000], uint8_t(0));
    QCOMPARE(with_games->machine.PC, uint16_t(0x8000));
    QVERIFY(with_games->machine.cycles >= boot_cycles);
    QCOMPARE(with_games->games.current_title, std::string("Loop"));
}

void EmulatorTest::aGameThatCannotBeLoadedChangesNothing() {
    // Missing, outside the folder, no image, cut short, a folder: one rule for all.
    fs::create_directories(dir() / "GAMES" / "folder");
    std::ofstream(dir() / "GAMES" / "index.ini") << "Loop=loop.lvt\nMissing=nothere.lvt\n"
                                                 << "Passwd=../../../../etc/passwd\nNotes=notes.txt\n"
                                                 << "Broken=broken.lvt\nFolder=folder\n";
    write_file(dir() / "GAMES" / "loop.lvt", tape_image(0x8000, {0xC3, 0x00, 0x80}, 0x8000));
    write_file(dir() / "GAMES" / "notes.txt", {'d', 'e', 'a', 'r', ' ', 'd', 'i', 'a', 'r', 'y', '\n'});
    write_file(dir() / "GAMES" / "broken.lvt", {'L', 'V', 'O', 'V', '/', '2', '.', '0', '/', 0xD0, 0, 0x80});
    auto emu = started();
    emu->load(*emu->read_game(0));
    emu->machine.memory[0x9000] = 0x5A;
    const auto before = std::make_unique<MachineState>(emu->machine);
    const fs::path reset_file = dir() / "OnReset.NevLVE";
    const auto bytes = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const std::string reset_before = bytes(reset_file);
    const std::pair<const char*, const char*> refused[] = {
        {"Missing", "nothere.lvt"}, {"Passwd", "passwd"}, {"Notes", "notes.txt"},
        {"Broken", "broken.lvt"},   {"Folder", "folder"},
    };
    for (const auto& [title, file] : refused) {
        const int index = emu->games.find(title);
        try {
            emu->read_game(index);
            QFAIL(file);
        } catch (const EmuError& e) {
            QVERIFY2(std::string(e.what()).find(file) != std::string::npos, e.what());
        }
        QVERIFY(emu->machine.memory == before->memory && emu->machine.PC == before->PC);
        QCOMPARE(emu->machine.cycles, before->cycles);
        QCOMPARE(emu->games.current_title, std::string("Loop"));
        QVERIFY(bytes(reset_file) == reset_before);
    }
}

void EmulatorTest::gamesAndRecentSnapshotsTellWhatTheMachineRuns() {
    fs::create_directories(dir() / "GAMES");
    std::ofstream(dir() / "GAMES" / "index.ini") << "Loop=loop.lvt\n";
    write_file(dir() / "GAMES" / "loop.lvt", tape_image(0x8000, {0xC3, 0x00, 0x80}, 0x8000));
    auto emu = started();
    const std::optional<Input> game = emu->read_game(0);
    QVERIFY(game && game->kind == InputKind::ChooseGame);
    QCOMPARE(emu->games.current_title, GamesCatalogue::placeholder());  // read, not taken yet
    emu->load(*game);
    QCOMPARE(emu->games.current_title, std::string("Loop"));
    QCOMPARE(emu->machine.PC, uint16_t(0x8000));

    // A quick save, then a recent snapshot loaded by its digit: the game shown is forgotten.
    emu->quick_save();
    QVERIFY(!emu->read_recent(5));  // not set
    QCOMPARE(emu->games.current_title, std::string("Loop"));
    QCOMPARE(emu->load(*emu->read_recent(9)), LoadResult::Snapshot);
    QCOMPARE(emu->games.current_title, GamesCatalogue::placeholder());

    // A file no loader takes is refused by name and leaves the game shown as it is.
    emu->load(*game);
    write_file(dir() / "junk.bin", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    try {
        emu->read_file(path_text(dir() / "junk.bin"));
        QFAIL("no error");
    } catch (const RangeError& e) {
        QVERIFY2(std::string(e.what()).find("junk.bin") != std::string::npos, e.what());
    }
    QCOMPARE(emu->games.current_title, std::string("Loop"));
    emu->reset(ResetKind::Full);
    QCOMPARE(emu->games.current_title, GamesCatalogue::placeholder());
}

QTEST_MAIN(EmulatorTest)
#include "test_emulator.moc"
