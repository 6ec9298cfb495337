// What the window costs the user: the pause slot of a held key written a few times a
// second yet always ending with the last press, and no text cut off at the default size.
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "../texts_fit.h"
#include "app/exec_control.h"
#include "debugger/debugger_form.h"
#include "storage/snapshot.h"
#include "test_support.h"

using namespace lvov;
using namespace lvov::test;
namespace fs = std::filesystem;

class WindowCostTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void aHeldKeyWritesThePauseSlotFiveTimesASecond();
    void aKeptPressReachesTheFileBeforePauseCloseAndDrop();
    void mainWindowTextsFitAtDefaultSize();

private:
    fs::path dir() const { return fs::path(tmp_->path().toStdString()); }
    fs::path pause_file() const { return dir() / "onPause.NevLVE"; }
    // A started window whose frames run only when the test calls them, on a clock the
    // test moves.
    std::unique_ptr<TestForm> started_form() {
        auto form = std::make_unique<TestForm>(dir());
        form->FirstPusk();
        form->TimerMain->stop();
        form->clock = [this] { return now_; };
        return form;
    }
    // The key press number n, the machine marked with n first.
    void press_marked(TestForm& form, int n, bool auto_repeat) {
        form.emu().machine.memory[MARK] = static_cast<uint8_t>(n);
        QKeyEvent e = key_event(QEvent::KeyPress, Qt::Key_A, SCAN_A, auto_repeat);
        QApplication::sendEvent(form.PictureView_, &e);
    }
    // The mark of the state the pause slot holds.
    int slot_mark() const {
        ByteBufferBank bank;
        auto m = std::make_unique<MachineState>();
        LoadImageFile(bank, *m, pause_file().string());
        return m->memory[MARK];
    }

    static constexpr uint16_t MARK = 0x9F00;
    std::unique_ptr<QTemporaryDir> tmp_;
    qint64 now_ = 0;
};

void WindowCostTest::init() {
    tmp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp_->isValid());
    now_ = 100000;
}

void WindowCostTest::cleanup() { tmp_.reset(); }

void WindowCostTest::aHeldKeyWritesThePauseSlotFiveTimesASecond() {
    auto form = started_form();
    // A key held for one second: the press and 24 auto-repeats, 40 ms apart.
    // Every press carries its own mark, so every write shows as a new mark in the file.
    int writes = 0;
    int mark = -1;
    for (int n = 0; n < 25; ++n, now_ += 40) {
        press_marked(*form, n, n > 0);
        if (fs::exists(pause_file()) && slot_mark() != mark) {
            ++writes;
            mark = slot_mark();
            QCOMPARE(mark, n);  // a write at the press holds that press
        }
    }
    QCOMPARE(writes, 5);
    QVERIFY(form->session().pause_slot_pending());
    // The last press (24) reaches the file shortly after, without another key.
    QTRY_COMPARE_WITH_TIMEOUT(slot_mark(), 24, 2000);
    QVERIFY(!form->session().pause_slot_pending());
    QVERIFY(main_key_held(form->emu().machine, 6, 4));  // every press reached the machine
    QVERIFY(form->errors.isEmpty());
}

void WindowCostTest::aKeptPressReachesTheFileBeforePauseCloseAndDrop() {
    // Pausing with the Delete key: the slot holds the last press, not an older one.
    {
        auto form = started_form();
        press_marked(*form, 1, false);
        now_ += 50;
        press_marked(*form, 2, true);
        QCOMPARE(slot_mark(), 1);
        press(form->PictureView_, Qt::Key_Delete, SCAN_DELETE);
        QVERIFY(form->paused());
        QCOMPARE(slot_mark(), 2);
        QVERIFY(!form->session().pause_slot_pending());

        // The Pause command writes the machine as it is then, over a kept press.
        form->toggle_pause();
        now_ += 1000;
        press_marked(*form, 3, false);
        now_ += 50;
        press_marked(*form, 4, true);
        form->emu().machine.memory[MARK] = 5;
        form->MenuPauseClick();
        QCOMPARE(slot_mark(), 5);
    }
    // Closing the window.
    {
        auto form = started_form();
        now_ += 1000;
        press_marked(*form, 6, false);
        now_ += 50;
        press_marked(*form, 7, true);
        form->close();
        QCOMPARE(slot_mark(), 7);
    }
    // Dropping the pause slot itself onto the running window loads the last press.
    {
        auto form = started_form();
        now_ += 1000;
        press_marked(*form, 8, false);
        now_ += 50;
        press_marked(*form, 9, true);
        form->emu().machine.memory[MARK] = 10;
        form->DropFile(QString::fromStdString(pause_file().string()));
        QCOMPARE(form->emu().machine.memory[MARK], uint8_t(9));
    }
}

void WindowCostTest::mainWindowTextsFitAtDefaultSize() {
    TestForm form(dir());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTRY_VERIFY(!form.first_activation());
    // Every item of the toolbar is on it, none pushed into an overflow menu.
    for (QWidget* w : {static_cast<QWidget*>(form.LabelFPS), static_cast<QWidget*>(form.SpinEditFreq),
                       static_cast<QWidget*>(form.LabelGames)}) {
        QVERIFY2(w->isVisible(), qPrintable(w->objectName()));
    }
    const QStringList clipped = clipped_texts(&form);
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join("\n")));

    // The speed fields show their longest entries whole.
    for (SpeedField* field : {form.SpinEditFPS, form.SpinEditFreq}) {
        const QString widest(field->max_length(), QLatin1Char('8'));
        QVERIFY2(field->fontMetrics().horizontalAdvance(widest) <= field->findChild<QLineEdit*>()->width() - 4,
                 qPrintable(field->objectName()));
    }

    // The debugger at its default size, with wide register values and a hover text.
    MachineState& m = form.emu().machine;
    m.PC = 0xFFFF;
    m.SP = 0xFFFF;
    m.cycles = 68017;
    form.MenuDebuggerClick();
    TDebuggerForm* debugger = form.DebuggerForm;
    QVERIFY(QTest::qWaitForWindowExposed(debugger));
    // Its opening size, or wider where its pages need more in the host's font.
    QVERIFY(debugger->width() >= DEBUGGER_WIDTH);
    QCOMPARE(debugger->height(), DEBUGGER_HEIGHT);
    debugger->GridMemoryMouseMove(QPoint(GRID_CELL_SIZE * 15 + 5, 5));
    const QStringList clipped_debugger = clipped_texts(debugger);
    QVERIFY2(clipped_debugger.isEmpty(), qPrintable(clipped_debugger.join("\n")));

    // The execution page after a stop at a breakpoint, with the widest instructions
    // listed and breakpoints of the widest kind, range and conditions.
    const uint8_t code[] = {0x01, 0xDD, 0x0B,  // LXI B,0BDD
                            0x36, 0xDD,  // MVI M,DD: the stop
                            0xF5,  // PUSH PSW
                            0xD3, 0xDD, 0xDB, 0xDD,  // OUT DD, IN DD
                            0xDD, 0xDD, 0xDD,  // the undocumented call
                            0xCD, 0xBC, 0xDD};  // CALL DDBC
    std::copy(std::begin(code), std::end(code), m.memory.begin() + 0x8000);
    m.PC = 0x8000;
    ExecControl& exec = form.emu().exec;
    exec.add(BreakKind::ReadWrite, 0xDDDD, 0xFFFF, "SP!=0xDDDD");
    exec.add(BreakKind::Exec, 0x8003, 0x8003, "HL!=0xDDDD");
    for (int i = 0; i < 3 && !form.paused(); ++i) form.TimerMainTimer();
    QVERIFY(form.paused());
    QCOMPARE(m.PC, uint16_t{0x8003});
    QVERIFY(debugger->isVisible());
    const QStringList clipped_stop = clipped_texts(debugger);
    QVERIFY2(clipped_stop.isEmpty(), qPrintable(clipped_stop.join("\n")));
}

QTEST_MAIN(WindowCostTest)
#include "test_window_cost.moc"
