// The debugger window driven through its buttons, fields, grid and lists.
#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QtTest>
#include <memory>
#include <utility>
#include <vector>

#include "app/exec_control.h"
#include "debugger/debugger_form.h"
#include "debugger/exec_panel.h"

namespace lvov {
namespace {

// The window with its message boxes answered by the test.
class TestDebugger : public TDebuggerForm {
public:
    using TDebuggerForm::TDebuggerForm;
    QStringList messages, errors;

protected:
    void show_message(const QString& text) override { messages << text; }
    void show_error(const QString& text) override { errors << text; }
};

}  // namespace

class DebuggerFormTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_ = std::make_unique<MachineState>();
        form_ = std::make_unique<TestDebugger>(
            *m_, [this](int64_t address, int32_t value) { replace_byte(*m_, address, value); });
    }
    void cleanup() { form_.reset(); }
    void openingFillsTheGridAndListsFromPC();
    void refreshFollowsMemoryOnlyWithRealTime();
    void whilePausedTheGridFollowsMemory();
    void hoverReadsMemoryNotTheCell();
    void keyFilters();
    void listingSearchAndReplaceButtons();
    void valueTrackerSteps();
    void resultEntriesGoToTheAddress();
    void widgetsKeepTheirNamesAndTabOrder();
    void executionListingShowsPortsAndEnabledMarks();

private:
    std::unique_ptr<MachineState> m_;
    std::unique_ptr<TestDebugger> form_;
    QModelIndex grid_index(int column, int row) const { return form_->GridMemory->model()->index(row - 1, column - 1); }
    void mouse_move(const QPoint& pos) {
        QMouseEvent move(QEvent::MouseMove, pos, form_->GridMemory->viewport()->mapToGlobal(pos), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(form_->GridMemory->viewport(), &move);
    }
};

void DebuggerFormTest::openingFillsTheGridAndListsFromPC() {
    TestDebugger& f = *form_;
    QCOMPARE(f.windowTitle(), QStringLiteral("Debugger"));
    QCOMPARE(f.size(), QSize(609, 571));
    QCOMPARE(f.PageControlTracker->tabText(f.PageControlTracker->currentIndex()), QStringLiteral("Шаг2"));
    QCOMPARE(f.grid_text(0, 4096), QStringLiteral("FFF0:"));
    QCOMPARE(f.grid_text(1, 1), QString());  // bytes wait for the first opening

    m_->PC = 0xC000;
    m_->cycles = 68004;
    const uint8_t code[] = {0xC3, 0x00, 0xC0};
    std::copy(std::begin(code), std::end(code), m_->memory.begin() + 0xC000);
    m_->memory[0x10] = 'A';
    m_->memory[0x11] = 0x7F;
    m_->memory[0x12] = 0x80;
    f.MenuDebuggerClick();
    QVERIFY(f.isVisible());
    QCOMPARE(f.grid_text(1, 0), QStringLiteral("0"));
    QCOMPARE(f.grid_text(16, 0), QStringLiteral("F"));
    QCOMPARE(f.grid_text(17, 0), QString());
    QCOMPARE(f.grid_text(1, 3073), QStringLiteral("C3"));
    QCOMPARE(f.grid_text(16, 4096), QStringLiteral("00"));
    QCOMPARE(f.grid_text(17, 2), QStringLiteral("A\x7f..............").left(16));
    QCOMPARE(f.RegisterLabels[8]->text(), QStringLiteral("r_PC:49152"));
    QCOMPARE(f.RegisterLabels[10]->text(), QStringLiteral("clock:68004"));
    // JMP at C000, then one NOP per byte up to C064 inclusive, and the empty last row.
    const auto& rows = f.listing().rows();
    QCOMPARE(rows.size(), size_t{99});
    QCOMPARE(QString::fromStdString(rows.front().mnemonic + rows.front().operand), QStringLiteral("JMP C000"));
    QCOMPARE(QString::fromStdString(rows.back().address), QStringLiteral("C064:"));
    QCOMPARE(f.StringGridAss->model()->rowCount(), 100);
    QCOMPARE(f.progress_gauge->value(), 0);

    f.MenuDebuggerClick();
    QVERIFY(!f.isVisible());
    m_->memory[0xC000] = 0x00;
    m_->PC = 0xFFF0;  // PC + 100 lies past the top: the listing stops at FFFF
    f.MenuDebuggerClick();
    QCOMPARE(f.grid_text(1, 3073), QStringLiteral("00"));
    QCOMPARE(f.listing().rows().size(), size_t{16});
}

void DebuggerFormTest::refreshFollowsMemoryOnlyWithRealTime() {
    TestDebugger& f = *form_;
    f.refresh_debugger();  // hidden: nothing happens
    QCOMPARE(f.RegisterLabels[0]->text(), QStringLiteral("r_B:"));
    f.MenuDebuggerClick();
    QVERIFY(f.grid_visible_rows() > 3);
    m_->B = 7;
    m_->memory[0x0000] = 0xAB;
    m_->memory[0x0031] = 'Z';
    f.refresh_debugger();
    QCOMPARE(f.grid_text(1, 1), QStringLiteral("00"));
    // The labels follow within a fifth of a second, ending with the last frame's state.
    QTRY_COMPARE(f.RegisterLabels[0]->text(), QStringLiteral("r_B:7"));
    m_->B = 8;
    f.refresh_debugger();
    m_->B = 9;
    f.refresh_debugger();
    QTRY_COMPARE(f.RegisterLabels[0]->text(), QStringLiteral("r_B:9"));

    f.CheckBoxMem->setChecked(true);
    f.refresh_debugger();
    QCOMPARE(f.grid_text(1, 1), QStringLiteral("AB"));
    QCOMPARE(f.grid_text(17, 4), QStringLiteral(".Z.............."));
    // Rows off screen keep their text until they are scrolled into view.
    m_->memory[0xC000] = 0x3E;
    f.refresh_debugger();
    QCOMPARE(f.grid_text(1, 3073), QStringLiteral("00"));
    f.go_to_address(0xC000);
    m_->memory[0x0001] = 0x11;
    f.refresh_debugger();
    QVERIFY(f.grid_top_row() <= 3073 && 3073 < f.grid_top_row() + f.grid_visible_rows());
    QCOMPARE(f.grid_text(1, 3073), QStringLiteral("3E"));
    QCOMPARE(f.grid_text(2, 1), QStringLiteral("00"));
}

// Paused, no frame refreshes the window: the visible rows follow memory by themselves,
// whatever changed it, and a row scrolled into view shows memory as it is now.
void DebuggerFormTest::whilePausedTheGridFollowsMemory() {
    TestDebugger& f = *form_;
    f.MenuDebuggerClick();
    f.set_paused(true);
    m_->memory[0x0003] = 'A';
    QTRY_COMPARE(f.grid_text(4, 1), QStringLiteral("41"));
    QCOMPARE(f.grid_text(17, 1), QStringLiteral("...A............"));
    // A text typed into a cell stays while its byte does.
    f.GridMemory->model()->setData(grid_index(1, 1), QStringLiteral("77"));
    m_->memory[0x0011] = 0x22;
    QTRY_COMPARE(f.grid_text(2, 2), QStringLiteral("22"));
    QCOMPARE(f.grid_text(1, 1), QStringLiteral("77"));

    // A found address far below, then a replacement there.
    m_->memory[0x8046] = 0x99;
    f.PageControlTools->setCurrentIndex(1);
    f.EditSearchValue->setText("153");
    QTest::mouseClick(f.ButtonSearch, Qt::LeftButton);
    const QAbstractItemModel* found = f.ListBoxSearchFound->model();
    QTest::mouseClick(f.ListBoxSearchFound->viewport(), Qt::LeftButton, {},
                      f.ListBoxSearchFound->visualRect(found->index(0, 0)).center());
    QCOMPARE(f.grid_cell(), (GridCell{7, 0x805}));
    QTRY_COMPARE(f.grid_text(7, 0x805), QStringLiteral("99"));
    f.CheckBoxReplaceHex->setChecked(true);
    f.EditReplaceAddress->setText("8047");
    f.EditReplaceValue->setText("FF");
    QTest::mouseClick(f.ButtonReplace, Qt::LeftButton);
    QTRY_COMPARE(f.grid_text(8, 0x805), QStringLiteral("FF"));

    // Running again, the frames decide: without Memory RealTime the grid keeps its texts.
    f.set_paused(false);
    m_->memory[0x8048] = 0x55;
    QTest::qWait(250);
    QCOMPARE(f.grid_text(9, 0x805), QStringLiteral("00"));
}

void DebuggerFormTest::hoverReadsMemoryNotTheCell() {
    TestDebugger& f = *form_;
    f.MenuDebuggerClick();
    m_->memory[0xC000] = 0x3E;
    f.go_to_address(0xC000);
    f.GridMemory->model()->setData(grid_index(1, 3073), QStringLiteral("77"));
    mouse_move(f.GridMemory->visualRect(grid_index(1, 3073)).center());
    QCOMPARE(f.StatusPanels[0]->text(), QStringLiteral("Adress:C000 Byte:3E"));
    QCOMPARE(f.grid_text(1, 3073), QStringLiteral("77"));
    QCOMPARE(m_->memory[0xC000], uint8_t{0x3E});
    mouse_move(f.GridMemory->visualRect(grid_index(17, 3073)).center());
    QCOMPARE(f.StatusPanels[0]->text(), QStringLiteral("Adress:C000 Byte:3E"));
    mouse_move(f.GridMemory->visualRect(grid_index(16, 3073)).center());
    QCOMPARE(f.StatusPanels[0]->text(), QStringLiteral("Adress:C00F Byte:00"));
}

void DebuggerFormTest::keyFilters() {
    TestDebugger& f = *form_;
    f.MenuDebuggerClick();
    QTest::keyClicks(f.EditSearchValue, QStringLiteral("1g-A z.f"));
    QCOMPARE(f.EditSearchValue->text(), QStringLiteral("1Af"));
    QTest::keyClick(f.EditSearchValue, Qt::Key_Backspace);
    QCOMPARE(f.EditSearchValue->text(), QStringLiteral("1A"));
    QTest::keyClicks(f.EditCompareBy, QStringLiteral("xy"));
    QVERIFY(f.EditCompareBy->text().endsWith("xy"));
    QKeyEvent cyrillic(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("Н"));
    QApplication::sendEvent(f.ComboBoxTrackMode, &cyrillic);
    QTest::keyClicks(f.ComboBoxTrackMode, QStringLiteral("N"));
    QCOMPARE(f.ComboBoxTrackMode->currentIndex(), 0);

    // The grid: other characters and Backspace are dropped; a digit opens the editor.
    f.set_grid_cell({3, 5});
    QTest::keyClick(f.GridMemory, Qt::Key_G, Qt::NoModifier);
    QTest::keyClick(f.GridMemory, Qt::Key_Backspace);
    QVERIFY(!f.GridMemory->indexWidget(grid_index(3, 5)));
    QTest::keyClick(f.GridMemory, Qt::Key_A, Qt::NoModifier);
    QWidget* editor = f.GridMemory->indexWidget(grid_index(3, 5));
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("x9"));
    QTest::keyClick(editor, Qt::Key_Backspace);
    QTest::keyClick(editor, Qt::Key_Return);
    QCOMPARE(f.grid_text(3, 5), QStringLiteral("a9"));
    QCOMPARE(m_->memory[0x42], uint8_t{0});
    QCOMPARE(f.grid_cell(), (GridCell{4, 5}));
    f.set_grid_cell({17, 4095});
    QTest::keyClick(f.GridMemory, Qt::Key_Enter);
    QCOMPARE(f.grid_cell(), (GridCell{1, 4096}));
    f.set_grid_cell({17, 4096});
    QTest::keyClick(f.GridMemory, Qt::Key_Return);
    QCOMPARE(f.grid_cell(), (GridCell{1, 1}));
}

void DebuggerFormTest::listingSearchAndReplaceButtons() {
    TestDebugger& f = *form_;
    // Listing: the end field is read first; a bad text keeps the previous listing.
    f.EditListFrom->setText("5");
    f.EditListTo->setText("4");
    QTest::mouseClick(f.ButtonList, Qt::LeftButton);
    QCOMPARE(f.StringGridAss->model()->rowCount(), 1);
    f.EditListFrom->setText("EE");
    f.EditListTo->setText("FF");
    QTest::mouseClick(f.ButtonList, Qt::LeftButton);
    QCOMPARE(f.errors, QStringList{"'FF' is not a valid integer value"});
    f.EditListFrom->setText("0");
    f.EditListTo->setText("65535");
    QTest::mouseClick(f.ButtonList, Qt::LeftButton);
    QCOMPARE(f.StringGridAss->model()->rowCount(), 65537);

    // Search: low 8 bits of a decimal value, every address, the count in the label.
    m_->memory.fill(0x11);
    m_->memory[0x100] = 0x2C;
    m_->memory[0xC000] = 0x2C;
    QTest::mouseClick(f.ButtonSearch, Qt::LeftButton);  // EditSearchValue is empty
    QCOMPARE(f.errors.last(), QStringLiteral("'' is not a valid integer value"));
    f.EditSearchValue->setText("300");
    QTest::mouseClick(f.ButtonSearch, Qt::LeftButton);
    QCOMPARE(TDebuggerForm::list_texts(f.ListBoxSearchFound), (QStringList{"256", "49152"}));
    QCOMPARE(f.LabelSearchFound->text(), QStringLiteral("Найдено:2"));
    QCOMPARE(f.progress_gauge->maximum(), 65535);
    QCOMPARE(f.progress_gauge->value(), 49152);
    f.EditSearchValue->setText("7");
    QTest::mouseClick(f.ButtonSearch, Qt::LeftButton);
    QCOMPARE(f.messages, QStringList{"Значение не найдено !!!"});
    QCOMPARE(f.LabelSearchFound->text(), QStringLiteral("Найдено:2"));
    QVERIFY(TDebuggerForm::list_texts(f.ListBoxSearchFound).isEmpty());

    // Replace: decimal or hexadecimal, ROM included; bad texts and addresses write nothing.
    f.EditReplaceAddress->setText("49152");
    f.EditReplaceValue->setText("511");
    QTest::mouseClick(f.ButtonReplace, Qt::LeftButton);
    QCOMPARE(m_->memory[0xC000], uint8_t{0xFF});
    f.CheckBoxReplaceHex->setChecked(true);
    f.EditReplaceAddress->setText("c001");
    f.EditReplaceValue->setText("ab");
    QTest::mouseClick(f.ButtonReplace, Qt::LeftButton);
    QCOMPARE(m_->memory[0xC001], uint8_t{0xAB});
    const auto before = m_->memory;
    f.EditReplaceAddress->setText("10000");
    QTest::mouseClick(f.ButtonReplace, Qt::LeftButton);
    QCOMPARE(f.errors.last(), QStringLiteral("Address 65536 (hex 10000) is outside the address space 0000-FFFF"));
    f.EditReplaceAddress->setText("0");
    f.EditReplaceValue->setText("");
    QTest::mouseClick(f.ButtonReplace, Qt::LeftButton);
    QCOMPARE(f.errors.last(), QStringLiteral("'$' is not a valid integer value"));
    QVERIFY(m_->memory == before);
    QCOMPARE(f.messages.size(), 1);
}

void DebuggerFormTest::valueTrackerSteps() {
    TestDebugger& f = *form_;
    m_->memory[0x100] = 0x2C;
    m_->memory[0x200] = 0x2C;
    f.EditTrackValue->setText("44");
    QTest::mouseClick(f.ButtonTrackStart, Qt::LeftButton);
    QCOMPARE(TDebuggerForm::list_texts(f.ListBoxTrackFound), (QStringList{"256", "512"}));
    QCOMPARE(f.LabelTrackFound->text(), QStringLiteral("Найдено:2"));

    // Unknown value: the field must still be a number, then the whole space is kept.
    f.ComboBoxTrackMode->setCurrentIndex(1);
    f.EditTrackValue->setText("");
    QTest::mouseClick(f.ButtonTrackStart, Qt::LeftButton);
    QCOMPARE(f.errors, QStringList{"'' is not a valid integer value"});
    QVERIFY(TDebuggerForm::list_texts(f.ListBoxTrackFound).isEmpty());
    QCOMPARE(f.tracker().memory_snapshot[0x100], uint8_t{0});
    QTest::mouseClick(f.ButtonCompare, Qt::LeftButton);  // nothing remembered yet: nothing found
    QVERIFY(TDebuggerForm::list_texts(f.ListBoxCompareFound).isEmpty());
    f.EditTrackValue->setText("5");
    QTest::mouseClick(f.ButtonTrackStart, Qt::LeftButton);
    QCOMPARE(f.LabelTrackFound->text(), QStringLiteral("Запомнил:65536"));

    m_->memory[0x100] = 0x2B;  // down by one
    m_->memory[0x200] = 0x2A;  // down by two
    m_->memory[0x300] = 0xFF;  // 00 -> FF
    QTest::mouseClick(f.ButtonCompare, Qt::LeftButton);
    QTest::mouseClick(f.ButtonCompare, Qt::LeftButton);
    QCOMPARE(TDebuggerForm::list_texts(f.ListBoxCompareFound), (QStringList{"256", "256"}));
    QVERIFY(f.messages.isEmpty());
}

void DebuggerFormTest::resultEntriesGoToTheAddress() {
    TestDebugger& f = *form_;
    f.MenuDebuggerClick();
    f.PageControlTools->setCurrentIndex(1);
    m_->memory[0xC000] = 0x99;
    m_->memory[0x0010] = 0x99;
    f.EditSearchValue->setText("153");
    QTest::mouseClick(f.ButtonSearch, Qt::LeftButton);
    const QAbstractItemModel* model = f.ListBoxSearchFound->model();
    QTest::mouseClick(f.ListBoxSearchFound->viewport(), Qt::LeftButton, {},
                      f.ListBoxSearchFound->visualRect(model->index(1, 0)).center());
    QCOMPARE(f.grid_cell(), (GridCell{1, 3073}));
    QTest::mouseClick(f.ListBoxSearchFound->viewport(), Qt::RightButton, {},
                      f.ListBoxSearchFound->visualRect(model->index(0, 0)).center());
    QCOMPARE(f.grid_cell(), (GridCell{1, 2}));
}

// Widgets are still found by the names they have always had, and Tab goes from a value
// field to its button and on to the list of found addresses on both value searches.
void DebuggerFormTest::widgetsKeepTheirNamesAndTabOrder() {
    TestDebugger& f = *form_;
    const std::vector<std::pair<const char*, QWidget*>> named = {{"Splitter1", f.SplitterMain},
                                                                 {"StringGrid1", f.GridMemory},
                                                                 {"PageControl1", f.PageControlTools},
                                                                 {"Edit4", f.EditListFrom},
                                                                 {"Edit6", f.EditListTo},
                                                                 {"Button4", f.ButtonList},
                                                                 {"PageControl2", f.PageControlSearch},
                                                                 {"Edit7", f.EditSearchValue},
                                                                 {"Button1", f.ButtonSearch},
                                                                 {"Label23", f.LabelSearchFound},
                                                                 {"ListBox2", f.ListBoxSearchFound},
                                                                 {"Edit2", f.EditReplaceAddress},
                                                                 {"Edit3", f.EditReplaceValue},
                                                                 {"CheckBox16_10", f.CheckBoxReplaceHex},
                                                                 {"Button3", f.ButtonReplace},
                                                                 {"PageControl3", f.PageControlTracker},
                                                                 {"ComboBoxPoisk", f.ComboBoxTrackMode},
                                                                 {"Edit1", f.EditTrackValue},
                                                                 {"Button5", f.ButtonTrackStart},
                                                                 {"Label18", f.LabelTrackFound},
                                                                 {"ListBox1", f.ListBoxTrackFound},
                                                                 {"ComboBox1", f.ComboBoxCompareMode},
                                                                 {"ComboBox2", f.ComboBoxCompareChange},
                                                                 {"Edit5", f.EditCompareBy},
                                                                 {"Button2", f.ButtonCompare},
                                                                 {"ListBox3", f.ListBoxCompareFound},
                                                                 {"StatusBar1", f.StatusBar},
                                                                 {"Label9", f.RegisterLabels[8]}};
    for (const auto& [name, widget] : named) {
        QVERIFY2(widget && f.findChild<QWidget*>(name) == widget, name);
    }

    const auto next_tab_stop = [](QWidget* w) {
        do w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
        return w;
    };
    QCOMPARE(next_tab_stop(f.EditSearchValue), f.ButtonSearch);
    QCOMPARE(next_tab_stop(f.ButtonSearch), f.ListBoxSearchFound);
    QCOMPARE(next_tab_stop(f.ComboBoxTrackMode), f.EditTrackValue);
    QCOMPARE(next_tab_stop(f.EditTrackValue), f.ButtonTrackStart);
    QCOMPARE(next_tab_stop(f.ButtonTrackStart), f.ListBoxTrackFound);
}

// The execution page lists the port of IN and OUT (the Ассемблер page keeps its own
// text), and marks an address where any breakpoint is enabled as enabled.
void DebuggerFormTest::executionListingShowsPortsAndEnabledMarks() {
    ExecControl exec;
    auto* panel = new ExecPanel(*m_, exec, form_.get());
    const uint8_t code[] = {0xD3, 0xC2, 0xDB, 0xC1, 0x00};
    std::copy(std::begin(code), std::end(code), m_->memory.begin() + 0x8000);
    m_->PC = 0x8000;
    panel->refresh_all();
    const int row = panel->listing_row_of(0x8000);  // a few instructions lead up to PC
    const auto& lines = panel->listing_lines();
    QCOMPARE(QString::fromStdString(lines.at(row).row.mnemonic), QStringLiteral("OUT C2"));
    QCOMPARE(QString::fromStdString(lines.at(row + 1).row.mnemonic), QStringLiteral("IN C1"));
    form_->fill_listing(0x8000, 0x8002);
    QCOMPARE(QString::fromStdString(form_->listing().rows().at(0).mnemonic), QStringLiteral("OUT port"));

    const int off = exec.add(BreakKind::Exec, 0x8002, 0x8002);
    const int on = exec.add(BreakKind::Exec, 0x8002, 0x8002);
    exec.set_enabled(off, false);
    QCOMPARE(panel->listing_mark(row + 1), QStringLiteral("\u25CF"));
    exec.set_enabled(on, false);
    QCOMPARE(panel->listing_mark(row + 1), QStringLiteral("\u25CB"));
    exec.set_enabled(off, true);
    QCOMPARE(panel->listing_mark(row + 1), QStringLiteral("\u25CF"));
}

}  // namespace lvov

QTEST_MAIN(lvov::DebuggerFormTest)
#include "test_debugger_form.moc"
