// The main window on the offscreen platform: start-up, keys, the pause bracket, speed
// fields, dropped files, file commands and the games list, each in a temporary program
// directory.
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "core/i8080.h"
#include "debugger/debugger_form.h"
#include "devices/key_codes.h"
#include "storage/snapshot.h"
#include "test_support.h"

using namespace lvov;
using namespace lvov::test;
namespace fs = std::filesystem;

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startupWithoutCloseFile();
    void startupRestoresTheCloseFile();
    void aFailedStartUpKeepsTheLastSession();
    void aDamagedCloseFileIsReportedAndTheMachineBoots();
    void keysAreReleasedWhereTheyWerePressed();
    void gamesListLeavesKeysAndProgramAlone();
    void keysReachTheMatrixByPosition();
    void pauseBracketTitlesAndShortcuts();
    void speedFieldsLockAndApply();
    void droppedFileLoadsFirstOnly();
    void aFileOnTheCommandLineRunsOnTheStartedFirmware();
    void openReopenAndSaveDialogs();
    void quickCommandsAndResets();
    void gamesListChoosesAndResets();
    void aboutAndDebugger();
    void runningKeysStayWithTheMachine();
    void closingAndDestroyingAShownWindow();
    void aCopyWithoutSlotsWritesNoneAndTakesHandedFiles();

private:
    fs::path dir() const { return fs::path(tmp_->path().toStdString()); }
    std::unique_ptr<TestForm> new_form() { return std::make_unique<TestForm>(dir()); }
    // A form after its start-up sequence.
    std::unique_ptr<TestForm> started_form() {
        auto form = new_form();
        form->FirstPusk();
        return form;
    }
    fs::path write_tape(const std::string& name, uint16_t start, const std::vector<uint8_t>& bytes) {
        const fs::path path = dir() / name;
        write_file(path, tape_image(start, bytes, start));
        return path;
    }
    static QString qpath(const fs::path& p) { return QString::fromStdString(p.string()); }
    static std::string file_bytes(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // A byte of RAM as a snapshot file holds it.
    static uint8_t ram_in_snapshot(const fs::path& file, uint16_t address) {
        ByteBufferBank bank;
        auto m = std::make_unique<MachineState>();
        if (LoadImageFile(bank, *m, path_text(file)) != LoadResult::Snapshot) return 0xEE;
        return m->memory[address];
    }
    static bool all_keys_released(const MachineState& m) {
        return m.kbd_matrix == std::array<uint8_t, 8>{} && m.kbd_extra == std::array<uint8_t, 4>{};
    }
    // A drag from the file manager entering the window, then the drop.
    static void drop_onto(QWidget* target, const QMimeData& mime) {
        QDragEnterEvent enter(QPoint(10, 40), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 40), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    }

    std::unique_ptr<QTemporaryDir> tmp_;
};

void MainWindowTest::init() {
    tmp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp_->isValid());
}

void MainWindowTest::cleanup() { tmp_.reset(); }

void MainWindowTest::startupWithoutCloseFile() {
    fs::create_directories(dir() / "GAMES");
    std::ofstream(dir() / "GAMES" / "index.ini") << "[Games]\nRace=race.lvt\nDemo=demo.sav\n";
    fs::create_directories(dir() / "firmware");
    write_file(dir() / "firmware" / "image2.rom", std::vector<uint8_t>(100, 0));

    auto form = new_form();
    QVERIFY(form->first_activation());
    QCOMPARE(form->windowTitle(), QStringLiteral("NEV еmulator for PK-01 Lvov    1.0Beta"));
    form->FirstPusk();

    QVERIFY(!form->first_activation());
    QVERIFY(form->errors.isEmpty());
    QCOMPARE(form->messages.size(), 1);  // the refused firmware file, once
    QVERIFY(form->messages[0].contains("image2.rom"));
    QVERIFY(!form->paused());
    QVERIFY(form->TimerMain->isActive());
    QVERIFY(!form->TimerPause->isActive());
    QCOMPARE(form->TimerMain->interval(), 20);
    QCOMPARE(form->emu().cycles_per_frame, 68000);
    // Reset without a boot run: the firmware starts at the next frame.
    QCOMPARE(form->emu().machine.PC, uint16_t(0xC000));
    QCOMPARE(form->ComboBoxGames->count(), 2);
    QCOMPARE(form->ComboBoxGames->itemText(0), QStringLiteral("Race"));
    QCOMPARE(form->ComboBoxGames->currentText(), QStringLiteral("(выберите игру)"));
    QVERIFY(!form->ComboBoxGames->isEnabled());
    QVERIFY(!fs::exists(dir() / "OnClose.NevLVE"));

    // A second start-up does nothing.
    form->emu().machine.PC = 0x1234;
    form->FirstPusk();
    QCOMPARE(form->emu().machine.PC, uint16_t(0x1234));
}

void MainWindowTest::startupRestoresTheCloseFile() {
    {
        auto first = started_form();
        MachineState& m = first->emu().machine;
        m.memory[0x9000] = 0x5A;
        m.vram[0x123] = 0xA5;
        m.B = 0x12;
        m.SP = 0xA000;
        first->MenuPauseClick();  // closing while paused still writes the close file
        QVERIFY(first->paused());
        first->close();
        QVERIFY(first->errors.isEmpty());
    }
    QVERIFY(fs::exists(dir() / "OnClose.NevLVE"));

    auto second = started_form();
    const MachineState& m = second->emu().machine;
    QVERIFY(second->errors.isEmpty());
    QCOMPARE(m.memory[0x9000], uint8_t(0x5A));
    QCOMPARE(m.vram[0x123], uint8_t(0xA5));
    QCOMPARE(m.B, uint8_t(0x12));
    QCOMPARE(m.SP, uint16_t(0xA000));
    QVERIFY(!second->paused());  // the pause state is not restored
    QVERIFY(second->TimerMain->isActive());
    QCOMPARE(second->emu().cycles_per_frame, 68000);
    QVERIFY(fs::exists(dir() / "OnClose.NevLVE"));
}

// A broken key map or games index is reported and start-up carries on: the machine is
// reset and the last session restored, so the autosave and the close write that session
// back, never an empty machine.
void MainWindowTest::aFailedStartUpKeepsTheLastSession() {
    const fs::path close_file = dir() / "OnClose.NevLVE";
    const fs::path quick_file = dir() / "QuickSave.NevLVE";
    const fs::path key_map = dir() / "NEVEmulator.key";
    const fs::path index = dir() / "GAMES" / "index.ini";
    {
        auto first = started_form();
        first->emu().machine.memory[0x9000] = 0x5A;
        first->close();
    }
    fs::create_directories(dir() / "GAMES");
    std::string many;
    for (int i = 1; i <= 301; ++i) many += "G" + std::to_string(i) + "=g.lvt\n";
    struct Cause {
        const char* names;
        std::function<void()> make;
        int games_listed;
    };
    const Cause causes[] = {
        {"NEVEmulator.key", [&] { write_file(key_map, std::vector<uint8_t>(10, 0xFF)); }, 0},
        {"NEVEmulator.key", [&] { fs::create_directory(key_map); }, 0},
        {"index.ini", [&] { std::ofstream(index) << many; }, 300},
        {"index.ini", [&] { std::ofstream(index) << "A=a.lvt\n"
                                                 << std::string(255, 't') << "=long.lvt\n"; }, 1},
        {"index.ini", [&] { fs::create_directory(index); }, 0},
    };
    for (const Cause& cause : causes) {
        cause.make();
        {
            auto form = started_form();
            const MachineState& m = form->emu().machine;
            QCOMPARE(form->errors.size(), 1);
            QVERIFY2(form->errors[0].contains(cause.names), qPrintable(form->errors[0]));
            QCOMPARE(m.memory[0x9000], uint8_t(0x5A));  // the last session, restored
            QVERIFY(!form->paused());
            QVERIFY(form->TimerMain->isActive());
            QCOMPARE(form->ComboBoxGames->count(), cause.games_listed);
            press(form->PictureView_, Qt::Key_A, SCAN_A);  // the built-in tables stand in
            QVERIFY(main_key_held(m, 6, 4));
            release(form->PictureView_, Qt::Key_A, SCAN_A);
            form->session().autosave();
            form->close();
            QCOMPARE(form->errors.size(), 1);
        }
        QCOMPARE(ram_in_snapshot(quick_file, 0x9000), uint8_t(0x5A));
        QCOMPARE(ram_in_snapshot(close_file, 0x9000), uint8_t(0x5A));
        fs::remove_all(key_map);
        fs::remove_all(index);
        fs::remove(quick_file);
        fs::remove_all(dir() / "AutoSave");
    }
    auto next = started_form();
    QVERIFY(next->errors.isEmpty());
    QCOMPARE(next->emu().machine.memory[0x9000], uint8_t(0x5A));
}

void MainWindowTest::aDamagedCloseFileIsReportedAndTheMachineBoots() {
    const fs::path close_file = dir() / "OnClose.NevLVE";
    {
        auto first = started_form();
        first->close();
    }
    const std::string whole = file_bytes(close_file);
    // Cut short in its coded data, and too short for any loader to take it.
    for (const std::string& damaged : {whole.substr(0, whole.size() / 2), std::string("Nev")}) {
        std::ofstream(close_file, std::ios::binary | std::ios::trunc) << damaged;
        auto form = started_form();
        const MachineState& m = form->emu().machine;
        QCOMPARE(form->errors.size(), 1);
        QVERIFY2(form->errors[0].contains("OnClose.NevLVE"), qPrintable(form->errors[0]));
        QVERIFY(!form->paused());
        QVERIFY(form->TimerMain->isActive());
        QVERIFY(m.cycles >= boot_cycles);  // reset and booted
        // The firmware's screen is up, not a black picture.
        const auto& pixels = form->emu().picture.pixels;
        QVERIFY(std::any_of(pixels.begin(), pixels.end(), [&](uint32_t p) { return p != pixels[0]; }));
        // Moved aside, never written over; the close writes a new one.
        QVERIFY(!fs::exists(close_file));
        const QString aside = form->errors[0].section('"', 3, 3);
        QVERIFY2(aside.contains("OnClose.NevLVE.unreadable-"), qPrintable(form->errors[0]));
        QCOMPARE(file_bytes(aside.toStdString()), damaged);
        fs::remove(aside.toStdString());
        form->close();
        QVERIFY(file_bytes(close_file).size() > 3);
    }
}

// Ctrl makes the firmware switch tables while keys are held; every key is still
// released where it went down, and a pause clears both matrices.
void MainWindowTest::keysAreReleasedWhereTheyWerePressed() {
    auto form = started_form();
    MachineState& m = form->emu().machine;
    form->emu().boot_run();
    const auto cyrillic = [&] { return (m.memory[FIRMWARE_KBD_MODE] & KBD_MODE_CYRILLIC) != 0; };
    const auto run_until = [&](bool want) {
        for (int i = 0; i < 20 && cyrillic() != want; ++i) form->TimerMainTimer();
        return cyrillic() == want;
    };
    QVERIFY(run_until(false));

    form->FormKeyDown('A');
    form->FormKeyDown(VK_CONTROL);
    QVERIFY(run_until(true));  // the firmware saw Ctrl and chose the Cyrillic letters
    form->FormKeyDown(VK_CONTROL);  // an auto-repeat
    form->FormKeyUp(VK_CONTROL);
    form->FormKeyUp('A');
    QVERIFY(all_keys_released(m));

    // Ctrl alone goes down at the Cyrillic table's position, switching back, and leaves
    // nothing held behind.
    form->FormKeyDown(VK_CONTROL);
    QVERIFY(run_until(false));
    form->FormKeyUp(VK_CONTROL);
    QVERIFY(all_keys_released(m));
    for (int i = 0; i < 5; ++i) form->TimerMainTimer();
    QVERIFY(!cyrillic());

    // A pause clears both matrices, whatever pressed the keys and whatever table is chosen.
    form->FormKeyDown('A');
    form->FormKeyDown(VK_UP);
    m.memory[FIRMWARE_KBD_MODE] |= KBD_MODE_CYRILLIC;
    kbd(m, 0x3315, true);  // main 3/3 and extra row 5, which no table reaches
    form->MenuPauseClick();
    QVERIFY(all_keys_released(m));
    QVERIFY(form->errors.isEmpty());
}

// Unlocking the games list leaves the keyboard with the machine; typing changes nothing
// until the text names a title, which then replaces the running program only after the
// reset slot has kept it.
void MainWindowTest::gamesListLeavesKeysAndProgramAlone() {
    fs::create_directories(dir() / "GAMES");
    const std::string index = "Race=race.lvt\nOdd\x98=odd.lvt\n";  // byte 98: no Unicode form
    write_file(dir() / "GAMES" / "index.ini", std::vector<uint8_t>(index.begin(), index.end()));
    write_file(dir() / "GAMES" / "race.lvt", tape_image(0x8000, {0xAB, 0xCD}, 0x8000));
    write_file(dir() / "GAMES" / "odd.lvt", tape_image(0x8100, {0xEE}, 0x8100));
    const fs::path reset_file = dir() / "OnReset.NevLVE";
    auto form = new_form();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QTRY_VERIFY(!form->first_activation());
    form->PictureView_->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), form->PictureView_);
    MachineState& m = form->emu().machine;
    QComboBox* list = form->ComboBoxGames;
    m.memory[0x9000] = 0x77;  // the running program

    form->LabelGamesClick();
    QVERIFY(list->isEnabled());
    QCOMPARE(QApplication::focusWidget(), form->PictureView_);
    QTest::keyPress(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(main_key_held(m, 3, 0));
    QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Space);

    // Clicked into, the list takes typing; its text selected and typed over, "r" and "ra"
    // name no title: nothing happens.
    QTest::keyClick(list->lineEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(list->lineEdit(), "ra");
    QCOMPARE(list->currentText(), QStringLiteral("ra"));
    QVERIFY(list->isEnabled());
    QCOMPARE(m.memory[0x9000], uint8_t(0x77));
    QVERIFY(!fs::exists(reset_file));
    QVERIFY(!form->paused());
    QTest::keyClicks(list->lineEdit(), "ce");  // "race": the title, in another case
    QCOMPARE(m.memory[0x8000], uint8_t(0xAB));
    QCOMPARE(m.memory[0x9000], uint8_t(0));
    QCOMPARE(ram_in_snapshot(reset_file, 0x9000), uint8_t(0x77));
    QCOMPARE(list->currentText(), QStringLiteral("Race"));
    QVERIFY(!list->isEnabled());
    QCOMPARE(QApplication::focusWidget(), form->PictureView_);

    // A reset replaces the game: the list forgets it, and choosing it again loads it again.
    form->MenuFullResetCPUClick();
    QCOMPARE(list->currentText(), GAMES_PLACEHOLDER);
    form->ComboBoxGamesChange("Race");
    QCOMPARE(m.memory[0x8000], uint8_t(0xAB));
    // So does a loaded file.
    form->DropFile(qpath(dir() / "GAMES" / "odd.lvt"));
    QCOMPARE(list->currentText(), GAMES_PLACEHOLDER);
    m.memory[0x8000] = 0;
    form->ComboBoxGamesChange("Race");
    QCOMPARE(m.memory[0x8000], uint8_t(0xAB));

    // The title holding byte 98 is picked by its own bytes.
    m.memory[0x8100] = 0;
    form->LabelGamesClick();
    list->setCurrentIndex(1);
    QCOMPARE(m.memory[0x8100], uint8_t(0xEE));
    QCOMPARE(list->currentText(), list->itemText(1));
    QVERIFY(form->errors.isEmpty());
}

void MainWindowTest::keysReachTheMatrixByPosition() {
    auto form = started_form();
    QWidget* view = form->PictureView_;
    const MachineState& m = form->emu().machine;

    press(view, Qt::Key_A, SCAN_A);
    QVERIFY(main_key_held(m, 6, 4));  // A is main 6/4 in the Latin table
    QVERIFY(fs::exists(dir() / "onPause.NevLVE"));  // every key press while running writes it
    press(view, Qt::Key_S, SCAN_S);
    QVERIFY(main_key_held(m, 7, 7));
    release(view, Qt::Key_A, SCAN_A);
    QVERIFY(!main_key_held(m, 6, 4));
    QVERIFY(main_key_held(m, 7, 7));

    // An auto-repeat's release is not a release.
    QKeyEvent repeat = key_event(QEvent::KeyRelease, Qt::Key_S, SCAN_S, true);
    QApplication::sendEvent(view, &repeat);
    QVERIFY(main_key_held(m, 7, 7));
    release(view, Qt::Key_S, SCAN_S);
    QVERIFY(!main_key_held(m, 7, 7));

    // Under a Russian layout Qt reports Ф for the same key: the same matrix key.
    press(view, 0x0424, SCAN_A);
    QVERIFY(main_key_held(m, 6, 4));
    release(view, 0x0424, SCAN_A);
    QVERIFY(!main_key_held(m, 6, 4));

    // Tab is a key of the emulated keyboard (main 0/4), not a focus move.
    press(view, Qt::Key_Tab, SCAN_TAB);
    QVERIFY(main_key_held(m, 0, 4));
    release(view, Qt::Key_Tab, SCAN_TAB);
    QVERIFY(!main_key_held(m, 0, 4));

    // The firmware's mode bit switches to the Cyrillic table: Q presses J's position.
    form->emu().machine.memory[FIRMWARE_KBD_MODE] |= KBD_MODE_CYRILLIC;
    press(view, Qt::Key_Q, SCAN_Q);
    QVERIFY(main_key_held(m, 5, 2));
    QVERIFY(!main_key_held(m, 7, 1));

    // Delete pauses; while paused the Pause key resumes.
    press(view, Qt::Key_Delete, SCAN_DELETE);
    QVERIFY(form->paused());
    press(view, Qt::Key_Pause, SCAN_PAUSE);
    QVERIFY(!form->paused());
    QVERIFY(form->errors.isEmpty());
}
void MainWindowTest::pauseBracketTitlesAndShortcuts() {
    auto form = started_form();
    const QString normal = QStringLiteral("NEV еmulator for PK-01 Lvov    1.0Beta");
    QAction* const with_shortcuts[] = {form->MenuOpen,          form->MenuSave,      form->MenuReOpen,
                                       form->MenuQuickOpen,     form->MenuQuickSave, form->MenuFullResetCPU,
                                       form->MenuQuickResetCPU, form->MenuPause,     form->MenuDebugger};
    const char* const keys[] = {"Ctrl+O", "Ctrl+S", "Alt+O", "O", "S", "Ctrl+Alt+R", "Ctrl+R", "Del", "Ctrl+D"};

    for (QAction* a : with_shortcuts) QVERIFY2(a->shortcut().isEmpty(), qPrintable(a->objectName()));
    QCOMPARE(form->MenuExit->shortcut(), QKeySequence("Alt+F4"));

    form->pause(true);
    QVERIFY(!form->TimerMain->isActive());
    QVERIFY(form->TimerPause->isActive());
    for (size_t i = 0; i < std::size(keys); ++i) QCOMPARE(with_shortcuts[i]->shortcut(), QKeySequence(keys[i]));
    QCOMPARE(form->MenuExit->shortcut(), QKeySequence("Alt+F4"));

    // A frame tick queued before the pause runs nothing.
    form->emu().machine.cycles = 0;
    form->TimerMainTimer();
    QCOMPARE(form->emu().machine.cycles, 0);

    // The blink alternates the two titles every tick.
    form->TimerPauseTimer();
    const QString first = form->windowTitle();
    form->TimerPauseTimer();
    const QString second = form->windowTitle();
    QVERIFY(first != second);
    QVERIFY((first == normal && second == normal + " (Pause)") || (second == normal && first == normal + " (Pause)"));
    if (form->windowTitle() != normal + " (Pause)") form->TimerPauseTimer();
    form->MenuAboutClick();
    QVERIFY(form->messages.last().startsWith(normal + " (Pause)\r\n("));

    // Back to running: plain title at once.
    form->session().restore_pause();
    QVERIFY(!form->paused());
    QCOMPARE(form->windowTitle(), normal);
    QVERIFY(form->TimerMain->isActive());
    QVERIFY(!form->TimerPause->isActive());
    for (QAction* a : with_shortcuts) QVERIFY(a->shortcut().isEmpty());
}

void MainWindowTest::speedFieldsLockAndApply() {
    auto form = started_form();
    const QColor red(Qt::red);
    // The colour a label shows, read from its pixels: inside the toolbar a palette
    // colour alone is not enough.
    const auto window_colour = [](QWidget* w) { return QColor(w->grab().toImage().pixel(1, 1)); };
    const auto base_colour = [](QWidget* w) { return w->palette().color(QPalette::Base); };
    const auto enter = [](QWidget* field) {
        QKeyEvent e(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(field, &e);
    };
    QVERIFY(!form->SpinEditFPS->isEnabled());
    QVERIFY(!form->SpinEditFreq->isEnabled());
    QCOMPARE(form->SpinEditFPS->minimum(), 1);
    QCOMPARE(form->SpinEditFPS->maximum(), 999);
    QCOMPARE(form->SpinEditFreq->minimum(), 0);
    QCOMPARE(form->SpinEditFreq->maximum(), 2147483647);

    form->LabelFPSClick();
    QVERIFY(form->SpinEditFPS->isEnabled());
    QCOMPARE(window_colour(form->LabelFPS), red);
    QCOMPARE(window_colour(form->Label2FPS), red);
    QCOMPARE(base_colour(form->SpinEditFPS), red);
    form->SpinEditFPS->setValue(16);
    // Unlocking the other field applies nothing.
    form->LabelFreqClick();
    form->SpinEditFreq->setValue(1000);
    QCOMPARE(form->TimerMain->interval(), 20);
    QCOMPARE(form->emu().cycles_per_frame, 68000);

    // Enter locks the field and applies; the "*" label stays red.
    enter(form->SpinEditFPS);
    QVERIFY(!form->SpinEditFPS->isEnabled());
    QCOMPARE(form->TimerMain->interval(), 62);  // 62.5 to even
    QVERIFY(window_colour(form->LabelFPS) != red);
    QCOMPARE(window_colour(form->Label2FPS), red);
    QCOMPARE(form->emu().cycles_per_frame, 1000);  // both fields are read

    // Locking by the label returns all three to normal.
    form->LabelFreqClick();
    QVERIFY(!form->SpinEditFreq->isEnabled());
    QVERIFY(window_colour(form->LabelFreq) != red);
    QVERIFY(window_colour(form->Label2FREQ) != red);
    QVERIFY(base_colour(form->SpinEditFreq) != red);

    // A frame runs the new budget.
    form->TimerMainTimer();
    QVERIFY(form->emu().machine.cycles >= 1000 && form->emu().machine.cycles < 1018);

    // A value left in an unlocked field is applied by the next full reset.
    form->LabelFPSClick();
    form->SpinEditFPS->setValue(400);
    QCOMPARE(form->TimerMain->interval(), 62);
    form->MenuFullResetCPUClick();
    QCOMPARE(form->TimerMain->interval(), 2);  // 2.5 to even
    form->SpinEditFPS->setValue(80);
    enter(form->SpinEditFPS);
    QCOMPARE(form->TimerMain->interval(), 12);
    QVERIFY(form->errors.isEmpty());
}

void MainWindowTest::droppedFileLoadsFirstOnly() {
    auto form = started_form();
    const fs::path first = write_tape("first.lvt", 0x8000, {0xC3, 0x00, 0x80});
    const fs::path second = write_tape("second.lvt", 0x8100, {0x3E, 0x01});
    MachineState& m = form->emu().machine;

    QMimeData mime;
    mime.setUrls(
        {QUrl::fromLocalFile(qpath(first)), QUrl::fromLocalFile(qpath(second)), QUrl::fromLocalFile(qpath(second))});
    drop_onto(form.get(), mime);

    QCOMPARE(form->windowTitle(), qpath(first));
    QCOMPARE(m.memory[0x8000], uint8_t(0xC3));
    QCOMPARE(m.PC, uint16_t(0x8000));
    QVERIFY(m.memory[0x8100] != 0x3E);
    QVERIFY(!form->paused());  // loaded without a pause
    QVERIFY(form->TimerMain->isActive());
    form->TimerMainTimer();  // the loop goes on with the loaded program
    QCOMPARE(m.PC, uint16_t(0x8000));

    form->MenuPauseClick();
    form->MenuPauseClick();
    QCOMPARE(form->windowTitle(), QStringLiteral("NEV еmulator for PK-01 Lvov    1.0Beta"));

    // A dropped file that is gone: a message naming it; the machine keeps its state.
    const fs::path gone = dir() / "gone.lvt";
    mime.setUrls({QUrl::fromLocalFile(qpath(gone))});
    drop_onto(form.get(), mime);
    QCOMPARE(form->errors.size(), 1);
    QVERIFY(form->errors[0].contains("gone.lvt"));
    QCOMPARE(m.memory[0x8000], uint8_t(0xC3));
    // One that no reader takes is told too.
    write_file(dir() / "notes.txt", {'h', 'e', 'l', 'l', 'o', '\n'});
    form->DropFile(qpath(dir() / "notes.txt"));
    QCOMPARE(form->errors.size(), 2);
    QVERIFY2(form->errors[1].contains("notes.txt") && form->errors[1].contains("nothing was loaded"),
             qPrintable(form->errors[1]));
    QCOMPARE(m.memory[0x8000], uint8_t(0xC3));
}

// The first start with a FILE: the firmware's boot run comes before the file, so the
// program finds the screen and the variables the firmware sets up, as in a headless run.
void MainWindowTest::aFileOnTheCommandLineRunsOnTheStartedFirmware() {
    const fs::path tape = write_tape("loop.lvt", 0x8000, {0xC3, 0x00, 0x80});  // touches no screen
    auto form = new_form();
    form->set_startup_file(qpath(tape));
    form->show();
    QTRY_VERIFY(!form->first_activation() && form->emu().machine.memory[0x8000] == 0xC3);
    QVERIFY(form->errors.isEmpty());
    QVERIFY(!fs::exists(dir() / "OnClose.NevLVE"));  // a first start: no session to resume

    QTemporaryDir elsewhere;
    Emulator headless(fs::path(elsewhere.path().toStdString()));
    headless.start_up({.read_games = false, .restore_session = false, .boot = true});
    headless.load(headless.read_file(path_text(tape)));
    form->pause(true);
    QVERIFY(form->emu().machine.vram == headless.machine.vram);
    QVERIFY(std::equal(form->emu().machine.memory.begin(), form->emu().machine.memory.begin() + 0x8000,
                       headless.machine.memory.begin()));
}

void MainWindowTest::openReopenAndSaveDialogs() {
    auto form = started_form();
    MachineState& m = form->emu().machine;
    const fs::path tape = write_tape("prog.lvt", 0x8000, {0x11, 0x22, 0x33});

    // A cancelled first Open leaves ReOpen disabled.
    form->MenuOpenClick();
    QCOMPARE(form->open_dialogs, 1);
    QCOMPARE(form->open_title, QStringLiteral("Открыть файл образа ПК-ЛЬВОВ"));
    QVERIFY(form->open_filter.startsWith("*.lv*;*.sav;*.NevLVE"));
    QVERIFY(!form->MenuReOpen->isEnabled());
    QVERIFY(!form->paused());

    form->open_answer = qpath(tape);
    form->MenuOpenClick();
    QCOMPARE(m.memory[0x8001], uint8_t(0x22));
    QVERIFY(form->MenuReOpen->isEnabled());
    QVERIFY(!form->paused());

    // Cancelling later keeps ReOpen on the last confirmed file.
    form->open_answer.clear();
    form->MenuOpenClick();
    m.memory[0x8001] = 0;
    form->MenuReOpenClick();
    QCOMPARE(m.memory[0x8001], uint8_t(0x22));

    // Save... completes the extension and writes no autosave copy.
    form->save_answer = qpath(dir() / "mine");
    form->MenuSaveClick();
    QVERIFY(fs::exists(dir() / "mine.NevLVE"));
    QVERIFY(!fs::exists(dir() / "AutoSave"));
    m.memory[0x8001] = 0;
    form->open_answer = qpath(dir() / "mine.NevLVE");
    form->MenuOpenClick();
    QCOMPARE(m.memory[0x8001], uint8_t(0x22));
    QVERIFY(form->errors.isEmpty());
}

void MainWindowTest::quickCommandsAndResets() {
    auto form = started_form();
    MachineState& m = form->emu().machine;

    // QuickOpen before any QuickSave: a message naming the file, the machine unchanged,
    // and the command stops inside its pause.
    m.memory[0x9000] = 7;
    form->MenuQuickOpenClick();
    QCOMPARE(form->errors.size(), 1);
    QVERIFY(form->errors[0].contains("QuickSave.NevLVE"));
    QCOMPARE(m.memory[0x9000], uint8_t(7));
    QVERIFY(form->paused());

    form->MenuQuickSaveClick();
    QVERIFY(fs::exists(dir() / "QuickSave.NevLVE"));
    QCOMPARE(std::distance(fs::directory_iterator(dir() / "AutoSave"), fs::directory_iterator()), 1);
    m.memory[0x9000] = 8;
    form->MenuQuickOpenClick();
    QCOMPARE(m.memory[0x9000], uint8_t(7));
    QVERIFY(form->paused());  // the bracket returns to the pause it found

    // Full reset while paused: the reset file is written, the machine reset, still paused.
    form->MenuFullResetCPUClick();
    QVERIFY(fs::exists(dir() / "OnReset.NevLVE"));
    QCOMPARE(m.PC, uint16_t(0xC000));
    QCOMPARE(m.memory[0x9000], uint8_t(0));
    QVERIFY(form->paused());

    // Quick reset boots the firmware in one run.
    form->MenuPauseClick();
    form->ToolButtonQuickResetCPUClick();
    QVERIFY(m.cycles >= boot_cycles && m.cycles < boot_cycles + 18);
    QVERIFY(!form->paused());
    QCOMPARE(form->errors.size(), 1);
}

void MainWindowTest::gamesListChoosesAndResets() {
    fs::create_directories(dir() / "GAMES");
    std::ofstream(dir() / "GAMES" / "index.ini") << "Race=race.lvt\nLost=lost.lvt\n";
    write_file(dir() / "GAMES" / "race.lvt", tape_image(0x8000, {0xAB, 0xCD}, 0x8000));
    auto form = started_form();
    MachineState& m = form->emu().machine;
    const QColor red(Qt::red);

    form->LabelGamesClick();
    QVERIFY(form->ComboBoxGames->isEnabled());
    QCOMPARE(form->LabelGames->palette().color(QPalette::Window), red);
    QCOMPARE(form->ComboBoxGames->palette().color(QPalette::Base), red);
    form->LabelGamesClick();  // twice: locked again, text reset
    QVERIFY(!form->ComboBoxGames->isEnabled());
    QVERIFY(form->LabelGames->palette().color(QPalette::Window) != red);

    form->LabelGamesClick();
    form->ComboBoxGames->setCurrentIndex(0);  // picking "Race" changes the text
    QVERIFY(!form->ComboBoxGames->isEnabled());
    QCOMPARE(m.memory[0x8000], uint8_t(0xAB));
    QCOMPARE(m.PC, uint16_t(0x8000));
    QCOMPARE(form->ComboBoxGames->currentText(), QStringLiteral("Race"));
    QVERIFY(!form->paused());

    // The title already shown does nothing: no reset.
    m.memory[0x9000] = 9;
    form->ComboBoxGamesChange("Race");
    QCOMPARE(m.memory[0x9000], uint8_t(9));

    // A title whose file is missing: a message naming the file; the machine runs on
    // untouched, no reset slot is written and the list still shows Race.
    const fs::path reset_file = dir() / "OnReset.NevLVE";
    const std::string reset_before = file_bytes(reset_file);
    form->LabelGamesClick();
    form->ComboBoxGames->setCurrentIndex(1);
    QCOMPARE(form->errors.size(), 1);
    QVERIFY2(form->errors[0].contains("lost.lvt"), qPrintable(form->errors[0]));
    QCOMPARE(m.memory[0x9000], uint8_t(9));
    QCOMPARE(m.memory[0x8000], uint8_t(0xAB));
    QCOMPARE(file_bytes(reset_file), reset_before);
    QCOMPARE(form->ComboBoxGames->currentText(), QStringLiteral("Race"));
    QVERIFY(!form->ComboBoxGames->isEnabled());
    QCOMPARE(form->emu().cycles_per_frame, 68000);
}

void MainWindowTest::aboutAndDebugger() {
    auto form = started_form();
    form->MenuAboutClick();
    QCOMPARE(form->messages.size(), 1);
    QVERIFY(form->messages[0].startsWith(QStringLiteral("NEV еmulator for PK-01 Lvov    1.0Beta\r\n(")));
    // The name and version, and no path of the machine the program was built on.
    QVERIFY(form->messages[0].endsWith(QStringLiteral("\r\n(nevemulator 1.0Beta)")));

    // The debugger window exists hidden from the start; the command toggles it, and
    // while it is shown every frame brings its register labels up to date.
    TDebuggerForm* debugger = form->DebuggerForm;
    QVERIFY(debugger && !debugger->isVisible());
    form->MenuDebuggerClick();
    QVERIFY(debugger->isVisible());
    QCOMPARE(form->messages.size(), 1);
    QVERIFY(!form->paused());
    form->TimerMain->stop();  // frames run only when the test calls them
    form->TimerMainTimer();
    const MachineState& m = form->emu().machine;
    QVERIFY(m.cycles >= 68000);
    // The labels follow within a fifth of a second.
    QTRY_COMPARE(debugger->RegisterLabels[8]->text(), QStringLiteral("r_PC:%1").arg(m.PC));
    QCOMPARE(debugger->RegisterLabels[10]->text(), QStringLiteral("clock:%1").arg(m.cycles));
    form->MenuDebuggerClick();
    QVERIFY(!debugger->isVisible());

    // The program carries the title "ПК ЛЬВОВ" without a display name, which the host
    // would append to every window caption ("NEV еmulator ... — ПК ЛЬВОВ"): with none
    // set, the display name follows the application name.
    set_application_title();
    QCOMPARE(QGuiApplication::applicationName(), APP_TITLE);
    QGuiApplication::setApplicationName(QStringLiteral("probe"));
    QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("probe"));
    set_application_title();
}

// Shown and active: the window's own start-up runs, and Alt, Tab, Space and Enter go to
// the emulated keyboard rather than to the menu, the focus chain or the toolbar.
void MainWindowTest::runningKeysStayWithTheMachine() {
    auto form = new_form();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QTRY_VERIFY(!form->first_activation());
    QVERIFY(!form->paused());
    form->PictureView_->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), form->PictureView_);

    QCOMPARE(form->menuBar()->style()->styleHint(QStyle::SH_MenuBar_AltKeyNavigation, nullptr, form->menuBar()), 0);
    QTest::keyClick(form->PictureView_, Qt::Key_Alt);
    QVERIFY(form->menuBar()->activeAction() == nullptr);
    QCOMPARE(QApplication::focusWidget(), form->PictureView_);

    QTest::keyPress(form->PictureView_, Qt::Key_Tab);
    QVERIFY(main_key_held(form->emu().machine, 0, 4));
    QTest::keyRelease(form->PictureView_, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form->PictureView_);

    for (QToolButton* b : form->ToolBar1->findChildren<QToolButton*>()) QCOMPARE(b->focusPolicy(), Qt::NoFocus);
    QTest::keyPress(form->PictureView_, Qt::Key_Space);
    QVERIFY(main_key_held(form->emu().machine, 3, 0));
    QTest::keyRelease(form->PictureView_, Qt::Key_Space);
    QTest::keyClick(form->PictureView_, Qt::Key_Return);
    QVERIFY(!form->paused());
    QCOMPARE(QApplication::focusWidget(), form->PictureView_);
    QVERIFY(form->errors.isEmpty());
}

// A shown window is destroyed while its widgets still report to it (the games list
// reports its closing when hidden); the emulator must outlive those reports.
void MainWindowTest::closingAndDestroyingAShownWindow() {
    auto form = new_form();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QTRY_VERIFY(!form->first_activation());
    form->LabelGamesClick();
    form->ComboBoxGames->showPopup();
    form.reset();

    auto closed = new_form();
    closed->show();
    QVERIFY(QTest::qWaitForWindowExposed(closed.get()));
    QTRY_VERIFY(!closed->first_activation());
    closed->MenuExitClick();
    QVERIFY(!closed->isVisible());
    QVERIFY(fs::exists(dir() / "OnClose.NevLVE"));
    QVERIFY(closed->errors.isEmpty());
}
// A copy sharing its folder with a running one says so once started, writes no slot
// whatever happens, refuses the quick save with the reason and saves to a chosen file.
// Files handed over by later starts load as dropped ones, one handed during start-up
// after it.
void MainWindowTest::aCopyWithoutSlotsWritesNoneAndTakesHandedFiles() {
    const fs::path first = write_tape("first.lvt", 0x8000, {0xC3, 0x00, 0x80});
    const fs::path second = write_tape("second.lvt", 0x8100, {0x3E, 0x01});
    auto form = new_form();
    form->emu().snapshot_slots.stop_writing("another copy uses the folder");
    form->set_startup_notice("No slot is written");
    form->take_handed_file(qpath(first));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QTRY_VERIFY(!form->first_activation());
    MachineState& m = form->emu().machine;
    QCOMPARE(form->messages, QStringList{"No slot is written"});
    QCOMPARE(m.memory[0x8000], uint8_t(0xC3));
    QCOMPARE(form->windowTitle(), qpath(first));

    qint64 now = 0;
    form->clock = [&now] { return now += 1000; };
    press(form->PictureView_, Qt::Key_A, SCAN_A);
    release(form->PictureView_, Qt::Key_A, SCAN_A);
    form->session().autosave();
    form->MenuPauseClick();
    form->MenuPauseClick();
    form->ToolButtonQuickResetCPUClick();
    form->MenuQuickSaveClick();
    QCOMPARE(form->errors.size(), 1);
    QVERIFY(form->errors[0].contains("another copy uses the folder"));
    form->save_answer = qpath(dir() / "mine.NevLVE");
    form->MenuSaveClick();

    form->take_handed_file(qpath(second));
    QCOMPARE(m.memory[0x8100], uint8_t(0x3E));
    QCOMPARE(form->windowTitle(), qpath(second));
    form->take_handed_file(QString());  // only brings the window to the front
    QCOMPARE(m.memory[0x8100], uint8_t(0x3E));
    form->close();
    QCOMPARE(form->errors.size(), 1);

    QStringList names;
    for (const auto& entry : fs::directory_iterator(dir())) names << qpath(entry.path().filename());
    names.sort();
    QCOMPARE(names, QStringList({"first.lvt", "mine.NevLVE", "second.lvt"}));
}

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
