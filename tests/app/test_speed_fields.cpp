// The toolbar's speed fields typed into as a user does: a click on the caption unlocks a
// field, keys edit it, Enter or another click locks it and applies both fields.
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "test_support.h"

using namespace lvov;
using namespace lvov::test;
namespace fs = std::filesystem;

class SpeedFieldsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void textsThatAreNoNumberCountAsTheMinimum();
    void aFrameRateBelowOneIsReportedAndChangesNothing();
    void lengthLimitsSignsAndArrows();

private:
    // A started window; frames run only when the test calls them.
    std::unique_ptr<TestForm> started_form() {
        auto form = std::make_unique<TestForm>(fs::path(tmp_->path().toStdString()));
        form->FirstPusk();
        form->TimerMain->stop();
        return form;
    }
    static void click(QWidget* label) { QTest::mouseClick(label, Qt::LeftButton); }
    static void enter(QWidget* field) { QTest::keyClick(field, Qt::Key_Return); }

    std::unique_ptr<QTemporaryDir> tmp_;
};

void SpeedFieldsTest::init() {
    tmp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp_->isValid());
}

void SpeedFieldsTest::cleanup() { tmp_.reset(); }

void SpeedFieldsTest::textsThatAreNoNumberCountAsTheMinimum() {
    auto form = started_form();
    SpeedField* fps = form->SpinEditFPS;
    SpeedField* freq = form->SpinEditFreq;

    // Unlocking selects the value, so typing replaces it.
    click(form->LabelFPS);
    QTest::keyClicks(fps, "abc");
    QCOMPARE(fps->text(), QStringLiteral("abc"));
    enter(fps);
    QCOMPARE(form->TimerMain->interval(), 1000);  // 1 frame per second
    QCOMPARE(fps->text(), QStringLiteral("1"));  // the field shows what runs

    // An emptied field, locked by its "*" label.
    click(form->Label2FPS);
    QTest::keyClicks(fps, "25");
    enter(fps);
    click(form->Label2FPS);
    QTest::keyClick(fps, Qt::Key_Backspace);
    QCOMPARE(fps->text(), QString());
    click(form->Label2FPS);
    QCOMPARE(form->TimerMain->interval(), 1000);

    // Freq/fps counts a non-number as 0: frames run nothing but still paint.
    click(form->LabelFreq);
    QTest::keyClicks(freq, "-");
    enter(freq);
    QCOMPARE(form->emu().cycles_per_frame, 0);
    QCOMPARE(freq->text(), QStringLiteral("0"));
    MachineState& m = form->emu().machine;
    const uint16_t pc = m.PC;
    form->TimerMainTimer();
    QCOMPARE(m.PC, pc);
    QVERIFY(form->errors.isEmpty());
}

void SpeedFieldsTest::aFrameRateBelowOneIsReportedAndChangesNothing() {
    auto form = started_form();
    SpeedField* fps = form->SpinEditFPS;
    SpeedField* freq = form->SpinEditFreq;

    // Both fields are read when one is locked; a refused frame rate applies neither.
    click(form->LabelFreq);
    QTest::keyClicks(freq, "1000");
    click(form->LabelFPS);
    QTest::keyClicks(fps, "0");
    enter(fps);
    QCOMPARE(form->errors.size(), 1);
    QCOMPARE(form->TimerMain->interval(), 20);
    QCOMPARE(form->emu().cycles_per_frame, 68000);
    QCOMPARE(fps->text(), QStringLiteral("50"));
    QCOMPARE(freq->text(), QStringLiteral("68000"));
    QVERIFY(!fps->isEnabled());

    // A negative rate through the label click, the same way.
    click(form->LabelFPS);
    QTest::keyClicks(fps, "-5");
    click(form->LabelFPS);
    QCOMPARE(form->errors.size(), 2);
    QCOMPARE(form->TimerMain->interval(), 20);

    // A refused rate left in an unlocked field does not stop a reset: it is reported,
    // the machine is reset and runs on with the rate in effect.
    click(form->LabelFPS);
    QTest::keyClicks(fps, "0");
    MachineState& m = form->emu().machine;
    m.PC = 0x1234;
    form->MenuFullResetCPUClick();
    QCOMPARE(form->errors.size(), 3);
    QCOMPARE(m.PC, uint16_t(0xC000));
    QVERIFY(!form->paused());
    QCOMPARE(form->TimerMain->interval(), 20);
    form->MenuFullResetCPUClick();  // nothing refused is left behind
    QCOMPARE(form->errors.size(), 3);
}

void SpeedFieldsTest::lengthLimitsSignsAndArrows() {
    auto form = started_form();
    SpeedField* fps = form->SpinEditFPS;
    SpeedField* freq = form->SpinEditFreq;

    // Three characters for the frame rate: a fourth is not taken.
    click(form->LabelFPS);
    QTest::keyClicks(fps, "1234");
    QCOMPARE(fps->text(), QStringLiteral("123"));
    enter(fps);
    QCOMPARE(form->TimerMain->interval(), 8);  // 1000 / 123 = 8.13

    // Nine for cycles per frame; a sign is kept, and a negative budget freezes the
    // processor as 0 does.
    click(form->LabelFreq);
    QTest::keyClicks(freq, "1234567890");
    QCOMPARE(freq->text(), QStringLiteral("123456789"));
    enter(freq);
    QCOMPARE(form->emu().cycles_per_frame, 123456789);
    click(form->LabelFreq);
    QTest::keyClicks(freq, "-5");
    enter(freq);
    QCOMPARE(form->emu().cycles_per_frame, -5);
    QCOMPARE(freq->text(), QStringLiteral("-5"));
    MachineState& m = form->emu().machine;
    const uint16_t pc = m.PC;
    form->TimerMainTimer();
    QCOMPARE(m.PC, pc);

    // Up and Down step within the range, from whatever the text counts as.
    click(form->LabelFPS);
    QTest::keyClicks(fps, "998");
    QTest::keyClick(fps, Qt::Key_Up);
    QTest::keyClick(fps, Qt::Key_Up);
    QCOMPARE(fps->text(), QStringLiteral("999"));
    QTest::keyClicks(fps, "-9");
    QTest::keyClick(fps, Qt::Key_Up);
    QCOMPARE(fps->text(), QStringLiteral("1"));
    enter(fps);
    QCOMPARE(form->TimerMain->interval(), 1000);
    QVERIFY(form->errors.isEmpty());
}

QTEST_MAIN(SpeedFieldsTest)
#include "test_speed_fields.moc"
