// Snapshot slots, autosave copies, the recent snapshots and the close slot.
#include "core/errors.h"
#include "core/i8080.h"
#include "storage/slots.h"
#include "storage_test_util.h"

namespace lvov {
namespace {

using test::Bytes;

class SlotsTest : public ::testing::Test {
protected:
    RomImages roms = builtin_rom_images();
    test::TempDir dir;
    ByteBufferBank bank;
    LocalTime now{7, 12, 2026, 1, 37, 8};
    SnapshotSlots slots{dir.path(), [this] { return now; }};
    std::unique_ptr<MachineState> m = test::reset_machine(roms);

    SlotsTest() { slots.start_session(); }
    std::string text(const std::filesystem::path& p) { return path_text(p); }
};

TEST(AutosaveName, RussianDateAndTimeMadeIntoAFileName) {
    EXPECT_EQ(autosave_name({7, 12, 2026, 1, 37, 8}), "07-12-2026_1-37-08.NevLVE");
    const std::string late = autosave_name({31, 1, 2027, 23, 5, 59});
    EXPECT_EQ(late, "31-01-2027_23-05-59.NevLVE");
    EXPECT_EQ(late.find_first_of("/:\\ "), std::string::npos);
}

TEST_F(SlotsTest, QuickSaveWritesTheSlotAndADatedCopyCreatingTheFolder) {
    ASSERT_FALSE(std::filesystem::exists(dir / "AutoSave"));
    slots.QuickSave(bank, *m, roms);
    const auto copy = dir / "AutoSave" / "07-12-2026_1-37-08.NevLVE";
    ASSERT_TRUE(std::filesystem::exists(copy));
    EXPECT_EQ(test::read_file(copy), test::read_file(dir / "QuickSave.NevLVE"));
    EXPECT_EQ(slots.last_autosave, text(copy));
    EXPECT_EQ(slots.recent_snapshots[0], text(dir / "onPause.NevLVE"));
    EXPECT_EQ(slots.recent_snapshots[9], text(copy));
    EXPECT_EQ(slots.recent_snapshots[1], "");
}

TEST_F(SlotsTest, AFailedCopyStopsBeforeTheRecentListChanges) {
    test::write_file(dir / "AutoSave", Bytes{1});  // a file where the folder belongs
    EXPECT_THROW(slots.QuickSave(bank, *m, roms), IoError);
    EXPECT_TRUE(std::filesystem::exists(dir / "QuickSave.NevLVE"));
    EXPECT_EQ(slots.recent_snapshots[0], "");
    // A slot whose name is taken by a folder: the folder stays, the error names the slot.
    std::filesystem::create_directory(dir / "OnClose.NevLVE");
    try {
        slots.SaveCloseSlot(bank, *m, roms);
        ADD_FAILURE() << "no error";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find("OnClose.NevLVE"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir / "OnClose.NevLVE"));
}

TEST_F(SlotsTest, RecentSnapshotsReloadByDigit) {
    const auto before = std::make_unique<MachineState>(*m);
    EXPECT_FALSE(slots.LoadRecent(bank, *m, 0)) << "nothing recorded yet";
    EXPECT_FALSE(slots.LoadRecent(bank, *m, 10));
    EXPECT_FALSE(slots.LoadRecent(bank, *m, -1));
    test::expect_unchanged(*before, *m);

    for (int i = 1; i <= 11; ++i) {
        m->memory[0x0100] = static_cast<uint8_t>(i);
        now.second = 10 + i;
        slots.QuickSave(bank, *m, roms);
    }
    for (int digit = 1; digit <= 9; ++digit) {
        EXPECT_EQ(slots.recent_snapshots[digit],
                  text(dir / "AutoSave" / autosave_name({7, 12, 2026, 1, 37, 12 + digit})));
    }
    EXPECT_EQ(slots.LoadRecent(bank, *m, 1), LoadResult::Snapshot);
    EXPECT_EQ(m->memory[0x0100], 3);
    slots.LoadRecent(bank, *m, 9);
    EXPECT_EQ(m->memory[0x0100], 11);

    // Entry 0 is the pause file, which no key press has written yet.
    EXPECT_THROW(slots.LoadRecent(bank, *m, 0), IoError);
    EXPECT_EQ(m->memory[0x0100], 11);
    m->memory[0x0100] = 0x42;
    slots.SaveKeyPressSlot(bank, *m, roms);
    m->memory[0x0100] = 0;
    slots.LoadRecent(bank, *m, 0);
    EXPECT_EQ(m->memory[0x0100], 0x42);

    // Copies within one second are numbered: none replaces another, and each digit
    // reloads its own.
    for (uint8_t marker : {0xA1, 0xA2, 0xA3}) {
        m->memory[0x0100] = marker;
        slots.QuickSave(bank, *m, roms);
    }
    EXPECT_EQ(slots.recent_snapshots[6], text(dir / "AutoSave" / "07-12-2026_1-37-21.NevLVE"));
    EXPECT_EQ(slots.recent_snapshots[7], text(dir / "AutoSave" / "07-12-2026_1-37-21-2.NevLVE"));
    EXPECT_EQ(slots.recent_snapshots[9], text(dir / "AutoSave" / "07-12-2026_1-37-21-4.NevLVE"));
    for (int digit = 6; digit <= 9; ++digit) {
        slots.LoadRecent(bank, *m, digit);
        EXPECT_EQ(m->memory[0x0100], digit == 6 ? 11 : 0xA1 + digit - 7) << digit;
    }
}

TEST_F(SlotsTest, PauseFileIsWrittenOnPauseNotOnResume) {
    slots.PauseCommand(bank, *m, roms, false);
    EXPECT_TRUE(std::filesystem::exists(dir / "onPause.NevLVE"));
    std::filesystem::remove(dir / "onPause.NevLVE");
    slots.PauseCommand(bank, *m, roms, true);
    EXPECT_FALSE(std::filesystem::exists(dir / "onPause.NevLVE"));
}

TEST_F(SlotsTest, QuickOpenNeedsAQuickSave) {
    test::scramble(*m, 4);
    const auto before = std::make_unique<MachineState>(*m);
    try {
        slots.QuickOpen(bank, *m);
        ADD_FAILURE() << "no error";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find("QuickSave.NevLVE"), std::string::npos) << e.what();
    }
    test::expect_unchanged(*before, *m);
    slots.QuickSave(bank, *m, roms);
    m = test::reset_machine(roms);
    EXPECT_EQ(slots.QuickOpen(bank, *m), LoadResult::Snapshot);
    test::expect_same_state(*before, *m);
}

TEST_F(SlotsTest, TheCloseSlotIsReadBackOrRefusedByName) {
    EXPECT_FALSE(slots.HasCloseSlot());
    test::scramble(*m, 8);
    const auto closing = std::make_unique<MachineState>(*m);
    slots.SaveCloseSlot(bank, *m, roms);
    ASSERT_TRUE(slots.HasCloseSlot());
    auto next_run = test::reset_machine(roms);
    slots.LoadCloseSlot(bank, *next_run);
    test::expect_same_state(*closing, *next_run);

    // Cut short to a length no loader takes: refused by name, the machine unchanged.
    std::filesystem::resize_file(dir / "OnClose.NevLVE", 5);
    const auto before = std::make_unique<MachineState>(*next_run);
    try {
        slots.LoadCloseSlot(bank, *next_run);
        ADD_FAILURE() << "no error";
    } catch (const RangeError& e) {
        EXPECT_NE(std::string(e.what()).find("OnClose.NevLVE"), std::string::npos) << e.what();
    }
    test::expect_unchanged(*before, *next_run);
}

// A slot file the program could not read is the user's: moved aside (a link itself,
// never its target), never written over, and a fresh regular slot written after it.
TEST_F(SlotsTest, AnUnreadableSlotIsMovedAsideNotWrittenOver) {
    namespace fs = std::filesystem;
    const Bytes notes = {'d', 'e', 'a', 'r', ' ', 'd', 'i', 'a', 'r', 'y', '\n'};
    test::write_file(dir / "notes.txt", notes);
    fs::create_symlink("notes.txt", dir / "OnClose.NevLVE");
    const auto before = std::make_unique<MachineState>(*m);
    const fs::path close_aside = dir / "OnClose.NevLVE.unreadable-20261207-013708";
    try {
        slots.LoadCloseSlot(bank, *m);
        ADD_FAILURE() << "no error";
    } catch (const RangeError& e) {
        EXPECT_NE(std::string(e.what()).find(text(dir / "OnClose.NevLVE")), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(text(close_aside)), std::string::npos) << e.what();
    }
    test::expect_unchanged(*before, *m);
    EXPECT_TRUE(fs::is_symlink(close_aside));
    slots.SaveCloseSlot(bank, *m, roms);
    EXPECT_FALSE(fs::is_symlink(dir / "OnClose.NevLVE"));
    EXPECT_TRUE(fs::is_regular_file(dir / "OnClose.NevLVE"));
    EXPECT_EQ(test::read_file(dir / "notes.txt"), notes);

    // QuickOpen of a cut file, its aside name already taken: numbered, nothing replaced.
    slots.QuickSave(bank, *m, roms);
    fs::resize_file(dir / "QuickSave.NevLVE", 40);
    const Bytes cut = test::read_file(dir / "QuickSave.NevLVE");
    test::write_file(dir / "QuickSave.NevLVE.unreadable-20261207-013708", notes);
    EXPECT_THROW(slots.QuickOpen(bank, *m), RangeError);
    EXPECT_EQ(test::read_file(dir / "QuickSave.NevLVE.unreadable-20261207-013708"), notes);
    EXPECT_EQ(test::read_file(dir / "QuickSave.NevLVE.unreadable-20261207-013708-2"), cut);
    slots.QuickSave(bank, *m, roms);
    EXPECT_EQ(slots.QuickOpen(bank, *m), LoadResult::Snapshot);

    // A slot only marked (a load by name) is moved aside by the write that would replace it.
    test::write_file(dir / "onPause.NevLVE", notes);
    slots.note_unreadable(dir / "onPause.NevLVE");
    slots.SaveKeyPressSlot(bank, *m, roms);
    EXPECT_EQ(test::read_file(dir / "onPause.NevLVE.unreadable-20261207-013708"), notes);
    EXPECT_EQ(slots.LoadRecent(bank, *m, 0), LoadResult::Snapshot);
    slots.PauseCommand(bank, *m, roms, false);  // written over now: it was never unreadable
    EXPECT_FALSE(fs::exists(dir / "onPause.NevLVE.unreadable-20261207-013708-2"));
}

// Before the start-up reset the machine is empty: no command or event may write it over
// the slots of the last session.
TEST_F(SlotsTest, NoSlotIsWrittenBeforeTheSessionStarts) {
    SnapshotSlots fresh{dir.path(), [this] { return now; }};
    auto empty = std::make_unique<MachineState>();
    fresh.QuickSave(bank, *empty, roms);
    fresh.PauseCommand(bank, *empty, roms, false);
    fresh.SaveKeyPressSlot(bank, *empty, roms);
    fresh.SaveResetSlot(bank, *empty, roms);
    fresh.SaveCloseSlot(bank, *empty, roms);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_EQ(fresh.recent_snapshots[0], "");

    fresh.start_session();
    EXPECT_TRUE(fresh.session_started());
    fresh.SaveCloseSlot(bank, *empty, roms);
    EXPECT_TRUE(std::filesystem::exists(dir / "OnClose.NevLVE"));
}

// A copy sharing its folder with a running one leaves that copy's session alone: the
// automatic writes do nothing, and the quick save asked for is refused with the reason.
TEST_F(SlotsTest, AfterStopWritingNoSlotChanges) {
    slots.QuickSave(bank, *m, roms);  // the other copy's session
    const Bytes quick = test::read_file(dir / "QuickSave.NevLVE");
    const auto recent = slots.recent_snapshots;
    slots.stop_writing("another copy uses the folder");
    m->memory[0x0100] = 0x99;

    slots.Autosave(bank, *m, roms);
    slots.PauseCommand(bank, *m, roms, false);
    slots.SaveKeyPressSlot(bank, *m, roms);
    slots.SaveResetSlot(bank, *m, roms);
    slots.SaveCloseSlot(bank, *m, roms);
    try {
        slots.QuickSave(bank, *m, roms);
        ADD_FAILURE() << "no error";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find("another copy uses the folder"), std::string::npos) << e.what();
    }
    EXPECT_EQ(test::read_file(dir / "QuickSave.NevLVE"), quick);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "AutoSave"), {}), 1);
    for (const char* name : {"onPause.NevLVE", "OnReset.NevLVE", "OnClose.NevLVE"})
        EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
    EXPECT_EQ(slots.recent_snapshots, recent);
}

}  // namespace
}  // namespace lvov
