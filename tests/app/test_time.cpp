// Time under the user's control, in the window and on the command line: rewind in the
// main window, breakpoints, steps, the trace and the cycle counter on the debugger's
// execution page, and --break, --watch and --trace of the headless run.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>

#include "app/command_line.h"
#include "app/time_control.h"
#include "asm/assembler.h"
#include "debugger/debugger_form.h"
#include "debugger/exec_panel.h"
#include "storage/snapshot.h"
#include "test_support.h"

using namespace lvov;
using namespace lvov::test;
namespace fs = std::filesystem;

namespace {

// Sweeps a byte of video memory up every round, counts the rounds at 9000 and calls a
// routine; it reads no keys, so every frame is the same from the same state.
constexpr const char* PROGRAM = R"(
        ORG 8000H
START:  LXI SP,0A000H
        LXI H,4000H
LOOP:   IN 0C2H
        ANI 0FDH
        OUT 0C2H        ; video memory at 4000-7FFF
        MOV A,M
        INR A
        MOV M,A
        INX H
        MOV A,H
        ANI 7FH
        ORI 40H
        MOV H,A
        IN 0C2H
        ORI 02H
        OUT 0C2H        ; RAM again
        LDA 9000H
        INR A
MARK:   STA 9000H
        CALL SUB
AFTER:  JMP LOOP
SUB:    PUSH PSW
        POP PSW
        RET
)";

struct Assembled {
    AssembleResult result = assemble_text(PROGRAM);
    uint16_t at(const char* label) const { return static_cast<uint16_t>(result.symbol(label).value_or(0)); }
    std::vector<uint8_t> bytes() const {
        return {result.memory.begin() + result.lowest(), result.memory.begin() + result.highest() + 1};
    }
};

struct SavedState {
    std::array<uint8_t, MEMORY_SIZE> memory;
    std::array<uint8_t, VRAM_SIZE> vram;
    std::array<uint8_t, 256> latches;
    std::array<uint8_t, 8> registers;
    uint16_t pc, sp;
    explicit SavedState(const MachineState& m)
        : memory(m.memory),
          vram(m.vram),
          latches(m.port_latches),
          registers{m.A, m.F, m.B, m.C, m.D, m.E, m.H, m.L},
          pc(m.PC),
          sp(m.SP) {}
    bool operator==(const SavedState&) const = default;
};

QString hex4(uint16_t v) { return QStringLiteral("%1").arg(v, 4, 16, QChar('0')).toUpper(); }

// Runs work, answering every message box it opens; the texts of those shown over
// window, and "elsewhere: " and the text of any other.
QStringList message_boxes(const QWidget* window, const std::function<void()>& work) {
    QStringList texts;
    QTimer answer;
    answer.setInterval(5);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        const bool over = box->parentWidget() && box->parentWidget()->window() == window;
        texts << (over ? box->text() : QStringLiteral("elsewhere: ") + box->text());
        box->done(QMessageBox::Ok);
    });
    answer.start();
    work();
    return texts;
}

}  // namespace

class TimeTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void rewindStepsThroughThePastAndResumesFromIt();
    void aBreakpointStopsMidFrameAsThePauseCommandDoes();
    void stepsAndTheirKeys();
    void breakpointListListingAndWatchpoints();
    void traceViewAndSave();
    void commandLineBreakWatchTrace();

private:
    fs::path dir() const { return fs::path(tmp_->path().toStdString()); }
    // A started window running the program, the debugger window shown and active.
    std::unique_ptr<TestForm> running_program() {
        auto form = std::make_unique<TestForm>(dir());
        form->FirstPusk();
        const fs::path tape = dir() / "sweep.lvt";
        write_file(tape, tape_image(program_.at("START"), program_.bytes(), program_.at("START")));
        form->session().drop_file(tape.string());
        return form;
    }
    static ExecPanel* panel(TestForm& form) { return form.time_control()->panel(); }
    static void show_debugger(TestForm& form) {
        if (!form.DebuggerForm->isVisible()) form.MenuDebuggerClick();
        form.DebuggerForm->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.DebuggerForm));
    }
    // Frames until the machine stops (pauses); false when it runs on.
    static bool run_until_paused(TestForm& form, int frames = 5) {
        for (int i = 0; i < frames && !form.paused(); ++i) form.TimerMainTimer();
        return form.paused();
    }
    void add_breakpoint(TestForm& form, int kind, uint16_t from, const QString& condition = {}) {
        ExecPanel* p = panel(form);
        p->ComboKind->setCurrentIndex(kind);
        p->EditFrom->setText(hex4(from));
        p->EditCondition->setText(condition);
        p->ButtonAdd->click();
    }

    Assembled program_;
    std::unique_ptr<QTemporaryDir> tmp_;
};

void TimeTest::init() {
    tmp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp_->isValid());
    QVERIFY(program_.result.ok());
}

void TimeTest::cleanup() { tmp_.reset(); }

// The rewind actions and their keys; the walk itself is the session's.
void TimeTest::rewindStepsThroughThePastAndResumesFromIt() {
    auto form = running_program();
    Emulator& emu = form->emu();
    QVERIFY(form->time_control()->MenuRewindBack->shortcut().isEmpty());  // keys belong to the machine

    std::map<int, SavedState> at;
    for (int frame = 1; frame <= 120; ++frame) {
        form->TimerMainTimer();
        if (frame == 70 || frame == 120) at.emplace(frame, SavedState(emu.machine));
    }
    form->MenuPauseClick();
    QCOMPARE(form->time_control()->MenuRewindBack->shortcut(), QKeySequence(Qt::Key_Left));
    QCOMPARE(form->time_control()->MenuRewindForward->shortcut(), QKeySequence(Qt::Key_Right));

    // Left: one second (50 frames) back, with its picture; Right: forward again.
    form->time_control()->MenuRewindBack->trigger();
    QVERIFY(SavedState(emu.machine) == at.at(70));
    QVERIFY(emu.picture.vram_shadow == emu.machine.vram);
    form->time_control()->ToolButtonRewindForward->trigger();
    QVERIFY(SavedState(emu.machine) == at.at(120));
    QVERIFY(emu.picture.vram_shadow == emu.machine.vram);
}

void TimeTest::aBreakpointStopsMidFrameAsThePauseCommandDoes() {
    auto form = running_program();
    Emulator& emu = form->emu();
    const uint16_t mark = program_.at("MARK");
    add_breakpoint(*form, 0, mark);
    QVERIFY(!form->DebuggerForm->isVisible());

    QVERIFY(run_until_paused(*form));
    QCOMPARE(emu.machine.PC, mark);
    QVERIFY(emu.machine.cycles < emu.cycles_per_frame);  // in the middle of the frame
    // As by the Pause command: the pause slot holds the machine at the stop.
    ByteBufferBank bank;
    auto slot = std::make_unique<MachineState>();
    QCOMPARE(LoadImageFile(bank, *slot, (dir() / "onPause.NevLVE").string()), LoadResult::Snapshot);
    QCOMPARE(slot->PC, mark);
    // The picture shows video memory as it stands.
    QVERIFY(emu.picture.vram_shadow == emu.machine.vram);
    // The debugger opens on the execution page at PC, with the registers.
    ExecPanel* p = panel(*form);
    QVERIFY(form->DebuggerForm->isVisible());
    QCOMPARE(form->DebuggerForm->PageControlTools->currentWidget(), p);
    QCOMPARE(p->cursor_address(), mark);
    QCOMPARE(p->listing_mark(p->listing_row_of(mark)), QStringLiteral("\u25BA\u25CF"));
    QCOMPARE(form->DebuggerForm->RegisterLabels[8]->text(), QStringLiteral("r_PC:%1").arg(mark));
    QCOMPARE(p->GridBreakpoints->item(0, 5)->text(), QStringLiteral("1"));
    QVERIFY(p->LabelStop->text().contains(QStringLiteral("точка 1")));

    // Continue: the next frame starts afresh, so the next stop, one round later, has
    // counted only that round.
    const uint8_t rounds = emu.machine.memory[0x9000];
    p->ActionContinue->trigger();
    QVERIFY(!form->paused());
    QVERIFY(run_until_paused(*form, 1));
    QCOMPARE(emu.machine.PC, mark);
    QCOMPARE(emu.machine.memory[0x9000], static_cast<uint8_t>(rounds + 1));
    QCOMPARE(int64_t{emu.machine.cycles}, emu.exec.cycles_since_stop());
    QVERIFY(emu.machine.cycles < 300);
    QCOMPARE(p->LabelCycles->text(), QStringLiteral("Тактов: %1").arg(emu.machine.cycles));
    QCOMPARE(p->GridBreakpoints->item(0, 5)->text(), QStringLiteral("2"));
}

void TimeTest::stepsAndTheirKeys() {
    auto form = running_program();
    Emulator& emu = form->emu();
    ExecPanel* p = panel(*form);
    const uint16_t mark = program_.at("MARK");
    add_breakpoint(*form, 0, mark);
    QVERIFY(run_until_paused(*form));
    show_debugger(*form);
    const auto key = [&](int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(p->ListingPC, static_cast<Qt::Key>(k), mods);
    };

    // F11: one instruction, still paused; the memory grid shows what it stored.
    const uint8_t rounds = emu.machine.memory[0x9000];
    form->DebuggerForm->go_to_address(0x9000);
    key(Qt::Key_F11);
    QVERIFY(form->paused());
    QCOMPARE(emu.machine.PC, static_cast<uint16_t>(mark + 3));
    QCOMPARE(emu.machine.memory[0x9000], static_cast<uint8_t>(rounds + 1));
    QTRY_COMPARE(form->DebuggerForm->grid_text(1, 0x901),
                 QStringLiteral("%1").arg(rounds + 1, 2, 16, QChar('0')).toUpper());
    QCOMPARE(emu.machine.cycles, 13);
    QCOMPARE(form->DebuggerForm->RegisterLabels[8]->text(), QStringLiteral("r_PC:%1").arg(mark + 3));
    QCOMPARE(p->cursor_address(), static_cast<uint16_t>(mark + 3));

    // F10 over the CALL: the machine runs and stops after the routine.
    const uint16_t sp = emu.machine.SP;
    key(Qt::Key_F10);
    QVERIFY(!form->paused());
    QVERIFY(run_until_paused(*form, 1));
    QCOMPARE(emu.machine.PC, program_.at("AFTER"));
    QCOMPARE(emu.machine.SP, sp);

    // F4: run to the row chosen in the listing (past MARK, whose breakpoint is switched
    // off in the list meanwhile).
    p->GridBreakpoints->item(0, 1)->setCheckState(Qt::Unchecked);
    p->set_cursor_address(program_.at("SUB"));
    key(Qt::Key_F4);
    QVERIFY(run_until_paused(*form, 1));
    QCOMPARE(emu.machine.PC, program_.at("SUB"));
    QCOMPARE(emu.exec.last_stop(), StopKind::RunToCursor);

    // Shift+F11: out of the routine, back after its CALL.
    key(Qt::Key_F11, Qt::ShiftModifier);
    QVERIFY(run_until_paused(*form, 1));
    QCOMPARE(emu.machine.PC, program_.at("AFTER"));
    QCOMPARE(emu.machine.SP, sp);

    // F5 goes on to the breakpoint; Break stops a running machine where it is.
    p->GridBreakpoints->item(0, 1)->setCheckState(Qt::Checked);
    key(Qt::Key_F5);
    QVERIFY(run_until_paused(*form, 1));
    QCOMPARE(emu.machine.PC, mark);
    emu.exec.remove_all();
    key(Qt::Key_F5);
    form->TimerMainTimer();
    QVERIFY(!form->paused());
    p->ActionBreak->trigger();
    QVERIFY(form->paused());
    QCOMPARE(emu.exec.last_stop(), StopKind::Break);
    QCOMPARE(p->cursor_address(), emu.machine.PC);
}

void TimeTest::breakpointListListingAndWatchpoints() {
    auto form = running_program();
    Emulator& emu = form->emu();
    ExecPanel* p = panel(*form);

    // A read watch with a condition: LDA 9000 reads it; A is the count before INR.
    add_breakpoint(*form, 1, 0x9000, QStringLiteral("A=03"));
    QCOMPARE(p->GridBreakpoints->rowCount(), 1);
    QCOMPARE(p->GridBreakpoints->item(0, 2)->text(), QStringLiteral("чтение"));
    QCOMPARE(p->GridBreakpoints->item(0, 4)->text(), QStringLiteral("A=03"));
    QVERIFY(run_until_paused(*form));
    QCOMPARE(emu.machine.PC, static_cast<uint16_t>(program_.at("MARK") - 1));  // after LDA
    QCOMPARE(emu.machine.A, 3);

    // Wrong fields: a message over the debugger window, nothing added.
    QStringList refused = message_boxes(form->DebuggerForm, [&] {
        add_breakpoint(*form, 0, 0x8000, QStringLiteral("Q=1"));
        p->EditFrom->setText(QStringLiteral("12345"));
        p->ButtonAdd->click();
    });
    QCOMPARE(refused.size(), 2);
    QVERIFY2(refused.filter(QStringLiteral("elsewhere")).isEmpty(), qPrintable(refused.join('\n')));
    QCOMPARE(emu.exec.breakpoints().size(), size_t{1});

    // Unchecking the box disables it; a condition typed into its cell replaces the old.
    p->GridBreakpoints->item(0, 1)->setCheckState(Qt::Unchecked);
    QVERIFY(!emu.exec.breakpoints()[0].enabled);
    p->GridBreakpoints->item(0, 4)->setText(QStringLiteral("A=10"));
    QCOMPARE(emu.exec.breakpoints()[0].condition_text, std::string("A=10"));
    refused =
        message_boxes(form->DebuggerForm, [&] { p->GridBreakpoints->item(0, 4)->setText(QStringLiteral("A==")); });
    QCOMPARE(refused.size(), 1);
    QVERIFY2(!refused[0].startsWith(QStringLiteral("elsewhere")), qPrintable(refused[0]));
    QVERIFY(form->errors.isEmpty());
    QCOMPARE(p->GridBreakpoints->item(0, 4)->text(), QStringLiteral("A=10"));

    // A click in the listing's first column sets an execution breakpoint there; a second
    // click takes it away.
    show_debugger(*form);
    const int row = p->listing_row_of(program_.at("AFTER"));
    QVERIFY(row >= 0);
    const QRect cell = p->ListingPC->visualRect(p->ListingPC->model()->index(row, 0));
    QTest::mouseClick(p->ListingPC->viewport(), Qt::LeftButton, {}, cell.center());
    QVERIFY(emu.exec.exec_at(program_.at("AFTER")) != nullptr);
    QCOMPARE(p->GridBreakpoints->rowCount(), 2);
    QVERIFY(p->listing_mark(row).contains(QStringLiteral("\u25CF")));
    QTest::mouseClick(p->ListingPC->viewport(), Qt::LeftButton, {}, cell.center());
    QVERIFY(emu.exec.exec_at(program_.at("AFTER")) == nullptr);

    // Remove takes the selected row away.
    p->GridBreakpoints->selectRow(0);
    p->ButtonRemove->click();
    QCOMPARE(p->GridBreakpoints->rowCount(), 0);
    QVERIFY(emu.exec.breakpoints().empty());
}

void TimeTest::traceViewAndSave() {
    auto form = running_program();
    Emulator& emu = form->emu();
    ExecPanel* p = panel(*form);
    p->CheckTrace->setChecked(true);
    add_breakpoint(*form, 0, program_.at("MARK"));
    QVERIFY(run_until_paused(*form));
    p->PageControlExec->setCurrentIndex(1);

    // Every instruction since the trace was switched on, up to the stop.
    const auto lines = emu.exec.trace_lines();
    QVERIFY(lines.size() > 10);
    QCOMPARE(lines.size(), static_cast<size_t>(emu.exec.instructions));
    const QStringList shown = p->TraceView->toPlainText().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(shown.size(), static_cast<qsizetype>(lines.size()));
    QCOMPARE(shown.last(), QString::fromStdString(lines.back()));
    QVERIFY(shown.last().startsWith(hex4(program_.at("MARK") - 1) + ": 3C"));  // INR A, just before the stop
    QVERIFY(shown.last().contains(QStringLiteral("INR A")));

    const fs::path saved = dir() / "trace.txt";
    p->ask_trace_file_name = [&] { return QString::fromStdString(saved.string()); };
    p->ButtonSaveTrace->click();
    std::ifstream in(saved);
    std::string text(std::istreambuf_iterator<char>(in), {});
    std::string expected;
    for (const auto& l : lines) expected += l + "\n";
    QCOMPARE(text, expected);

    p->ask_trace_file_name = [&] { return QString::fromStdString((dir() / "absent" / "t.txt").string()); };
    const QStringList failed = message_boxes(form->DebuggerForm, [&] { p->ButtonSaveTrace->click(); });
    QCOMPARE(failed.size(), 1);
    QVERIFY2(!failed[0].startsWith(QStringLiteral("elsewhere")), qPrintable(failed[0]));
}

void TimeTest::commandLineBreakWatchTrace() {
    // Parsing.
    const auto parse = [](QStringList args) {
        std::vector<std::string> v;
        for (const QString& a : args) v.push_back(a.toStdString());
        return parse_command_line(v);
    };
    const auto ok = parse({"--headless", "--break", "C000", "--break=0x12ab", "--watch", "ff", "--trace", "10"});
    QVERIFY(ok.error.empty());
    QCOMPARE(ok.options.breaks, (std::vector<uint16_t>{0xC000, 0x12AB}));
    QCOMPARE(ok.options.watches, (std::vector<uint16_t>{0x00FF}));
    QCOMPARE(ok.options.trace, 10);
    for (const QStringList& bad :
         {QStringList{"--headless", "--break", "10000"}, QStringList{"--headless", "--break", "xyz"},
          QStringList{"--headless", "--watch", ""}, QStringList{"--headless", "--trace", "4097"},
          QStringList{"--break", "C000"}, QStringList{"--trace", "5"}}) {
        QVERIFY2(!parse(bad).error.empty(), qPrintable(bad.join(' ')));
    }

    // The program itself.
    const QString d = QString::fromStdString(dir().string());
    const fs::path tape = dir() / "sweep.lvt";
    write_file(tape, tape_image(program_.at("START"), program_.bytes(), program_.at("START")));
    const auto run = [&](const QStringList& extra, QString* out, QString* err = nullptr) {
        QProcess proc;
        proc.start(QStringLiteral(NEVEMULATOR_PATH), QStringList{"--headless", "--dir", d, "--frames", "20"} + extra +
                                                         QStringList{QString::fromStdString(tape.string())});
        proc.waitForFinished(30000);
        *out = QString::fromUtf8(proc.readAllStandardOutput());
        if (err) *err = QString::fromUtf8(proc.readAllStandardError());
        return proc.exitStatus() == QProcess::NormalExit ? proc.exitCode() : -1;
    };
    const QRegularExpression registers(
        QStringLiteral("^PC=([0-9A-F]{4}) SP=([0-9A-F]{4}) A=([0-9A-F]{2}) F=[0-9A-F]{2} BC=[0-9A-F]{4} DE=[0-9A-F]{4} "
                       "HL=[0-9A-F]{4} cycles=(\\d+)$"));

    QString out, err;
    const QString snapshot = d + "/stop.NevLVE";
    QCOMPARE(run({"--break", hex4(program_.at("MARK")), "--break", "0000", "--trace", "3", "--save-snapshot", snapshot},
                 &out),
             EXIT_OK);
    QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    // The three instructions before MARK: OUT 0C2H, LDA 9000H, INR A.
    QVERIFY2(lines[0].startsWith(hex4(program_.at("MARK") - 6) + ": D3 C2"), qPrintable(lines[0]));
    QVERIFY(lines[1].contains(QStringLiteral("LDA")));
    QVERIFY(lines[2].contains(QStringLiteral("INR A")));
    auto match = registers.match(lines[3]);
    QVERIFY2(match.hasMatch(), qPrintable(lines[3]));
    QCOMPARE(match.captured(1), hex4(program_.at("MARK")));
    QCOMPARE(match.captured(2), QStringLiteral("A000"));
    ByteBufferBank bank;
    auto saved = std::make_unique<MachineState>();
    QCOMPARE(LoadImageFile(bank, *saved, snapshot.toStdString()), LoadResult::Snapshot);
    QCOMPARE(saved->PC, program_.at("MARK"));

    // --watch stops after the write.
    QCOMPARE(run({"--watch", "9000"}, &out), EXIT_OK);
    match = registers.match(out.trimmed());
    QVERIFY2(match.hasMatch(), qPrintable(out));
    QCOMPARE(match.captured(1), hex4(program_.at("MARK") + 3));

    // Frames that run out before any stop: status 3, no register line.
    QCOMPARE(run({"--break", "0000", "--trace", "2"}, &out, &err), EXIT_NOT_STOPPED);
    QCOMPARE(out.split('\n', Qt::SkipEmptyParts).size(), 2);
    QVERIFY(!err.isEmpty());
    // --trace alone prints the last instructions and ends as usual.
    QCOMPARE(run({"--trace", "1"}, &out), EXIT_OK);
    QCOMPARE(out.split('\n', Qt::SkipEmptyParts).size(), 1);
}

QTEST_MAIN(TimeTest)
#include "test_time.moc"
