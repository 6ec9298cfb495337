// The debugger window's execution page: the step buttons, a listing that follows PC,
// the breakpoint list, the trace and the cycle counter.
//
// The page shows an ExecControl and the machine; it does not run anything itself. Its
// buttons (and the keys F5, F10, F11, Shift+F11, F4, bound by the owner to the whole
// debugger window) arm the step in the ExecControl and then ask the owner, through a
// signal, to run or stop the machine. The owner calls show_stop() when the machine has
// stopped or stepped, and refresh_running() after frames while it runs.
//
// The listing reads memory through the memory map, as the processor fetches it. A click
// in its first column toggles an execution breakpoint; its selected row is the cursor of
// Run to cursor. Messages and the file dialog go through replaceable functions, so the
// owner or a test can answer them.
#pragma once
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/exec_control.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QTableWidget;
class QTabWidget;
class QToolBar;

namespace lvov {

class CodeListingModel;

constexpr int EXEC_LISTING_ROWS = 64;  // instructions listed from near PC
constexpr int EXEC_LISTING_CONTEXT = 12;  // bytes before PC the listing may start at

class ExecPanel : public QWidget {
    Q_OBJECT
public:
    ExecPanel(const MachineState& machine, ExecControl& control, QWidget* parent = nullptr);
    ~ExecPanel() override;

    // After a stop or a step: the listing goes to PC, the lists and the counter follow.
    void show_stop(bool paused);
    // After a frame while the machine runs: only the counter, a few times a second.
    void refresh_running();
    // The listing, the breakpoint list and the trace from the current state.
    void refresh_all();

    // The address of the listing's selected row (the cursor of Run to cursor), or PC.
    uint16_t cursor_address() const;
    // Selects the listing row of address, listing around it when it is not shown.
    void set_cursor_address(uint16_t address);
    // The listing's rows, first column text included ("►", "●").
    int listing_row_of(uint16_t address) const;
    const std::vector<CodeLine>& listing_lines() const;
    QString listing_mark(int row) const;
    // A click in the listing's mark column.
    void toggle_breakpoint_at_row(int row);

    // Adds the breakpoint described by the add fields; a message box when they are wrong.
    void AddBreakpointClick();
    void RemoveBreakpointClick();
    void SaveTraceClick();

    // Shows a message; a modal message box unless replaced.
    std::function<void(const QString&)> report_error;
    // Asks for the file to save the trace in ("" = cancelled); a save dialog unless replaced.
    std::function<QString()> ask_trace_file_name;

    // The actions (and their keys) the owner adds to the debugger window.
    QAction* ActionContinue = nullptr;  // F5
    QAction* ActionBreak = nullptr;
    QAction* ActionStep = nullptr;  // F11
    QAction* ActionStepOver = nullptr;  // F10
    QAction* ActionStepOut = nullptr;  // Shift+F11
    QAction* ActionRunToCursor = nullptr;  // F4

    QToolBar* ToolBarExec = nullptr;
    QLabel* LabelCycles = nullptr;
    QLabel* LabelStop = nullptr;
    QTableView* ListingPC = nullptr;
    QTabWidget* PageControlExec = nullptr;
    QTableWidget* GridBreakpoints = nullptr;
    QComboBox* ComboKind = nullptr;
    QLineEdit* EditFrom = nullptr;
    QLineEdit* EditTo = nullptr;
    QLineEdit* EditCondition = nullptr;
    QPushButton* ButtonAdd = nullptr;
    QPushButton* ButtonRemove = nullptr;
    QCheckBox* CheckTrace = nullptr;
    QPushButton* ButtonSaveTrace = nullptr;
    QPlainTextEdit* TraceView = nullptr;

signals:
    void continueRequested();
    void breakRequested();
    void stepRequested();
    void stepOverRequested();
    void stepOutRequested();
    void runToCursorRequested(uint16_t address);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* build_breakpoint_page();
    QWidget* build_trace_page();
    void fit_listing_columns();
    void fit_breakpoint_columns();
    void fill_breakpoints();
    void fill_trace();
    void update_counter();
    void relist(uint16_t around);
    void breakpoint_cell_changed(int row, int column);
    template <class F>
    void guarded(F&& work);
    void show_error(const QString& text);

    const MachineState& machine_;
    ExecControl& control_;
    CodeListingModel* listing_model_ = nullptr;
    bool filling_ = false;
    int frames_since_counter_ = 0;
    int64_t shown_cycles_ = -1;
};

}  // namespace lvov
