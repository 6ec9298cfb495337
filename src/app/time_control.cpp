#include "app/time_control.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>

#include "app/icons.h"
#include "app/main_form_emu.h"
#include "core/i8080.h"
#include "debugger/debugger_form.h"
#include "debugger/exec_panel.h"

namespace lvov {

namespace {

const QString EXEC_PAGE_TITLE = QStringLiteral("Выполнение");

// Puts action right after `after` in a menu or a toolbar (at the end when it is absent).
void insert_after(QWidget* container, QAction* after, QAction* action) {
    const QList<QAction*> actions = container->actions();
    const qsizetype at = actions.indexOf(after);
    if (at >= 0 && at + 1 < actions.size()) {
        container->insertAction(actions[at + 1], action);
    } else {
        container->addAction(action);
    }
}

}  // namespace

TimeControl::TimeControl(TMainFormEmu& form) : QObject(&form), form_(form) {
    setObjectName("TimeControl");
    TDebuggerForm* debugger = form_.DebuggerForm;
    panel_ = new ExecPanel(session().machine(), session().emu().exec, debugger);
    debugger->PageControlTools->addTab(panel_, EXEC_PAGE_TITLE);
    // The keys work wherever the focus is in the debugger window.
    for (QAction* a : {panel_->ActionContinue, panel_->ActionBreak, panel_->ActionStep, panel_->ActionStepOver,
                       panel_->ActionStepOut, panel_->ActionRunToCursor}) {
        debugger->addAction(a);
    }
    connect(panel_, &ExecPanel::continueRequested, this, &TimeControl::Continue);
    connect(panel_, &ExecPanel::breakRequested, this, &TimeControl::Break);
    connect(panel_, &ExecPanel::stepRequested, this, &TimeControl::Step);
    connect(panel_, &ExecPanel::stepOverRequested, this, &TimeControl::StepOver);
    connect(panel_, &ExecPanel::stepOutRequested, this, &TimeControl::StepOut);
    connect(panel_, &ExecPanel::runToCursorRequested, this, &TimeControl::RunToCursor);

    const auto action = [this](const char* name, const QString& text, int image, void (TimeControl::*slot)()) {
        auto* a = new QAction(text, &form_);
        a->setObjectName(name);
        a->setIcon(make_image(image));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    MenuRewindBack = action("MenuRewindBack", "Rewind 1 s", IMAGE_REWIND_BACK, &TimeControl::RewindBack);
    MenuRewindForward = action("MenuRewindForward", "Forward 1 s", IMAGE_REWIND_FORWARD, &TimeControl::RewindForward);
    ToolButtonRewindBack = action("ToolButtonRewindBack", "Rewind 1 s", IMAGE_REWIND_BACK, &TimeControl::RewindBack);
    ToolButtonRewindForward =
        action("ToolButtonRewindForward", "Forward 1 s", IMAGE_REWIND_FORWARD, &TimeControl::RewindForward);
    if (auto* file = form_.menuBar()->findChild<QMenu*>("MenuFile")) {
        insert_after(file, form_.MenuPause, MenuRewindBack);
        insert_after(file, MenuRewindBack, MenuRewindForward);
    }
    insert_after(form_.ToolBar1, form_.ToolButtonPause, ToolButtonRewindBack);
    insert_after(form_.ToolBar1, ToolButtonRewindBack, ToolButtonRewindForward);
    // Keys belong to the emulated keyboard: the buttons never take the focus.
    for (QAction* a : {ToolButtonRewindBack, ToolButtonRewindForward}) {
        if (QWidget* w = form_.ToolBar1->widgetForAction(a)) w->setFocusPolicy(Qt::NoFocus);
    }
    pause_changed(form_.paused());
}

Session& TimeControl::session() { return form_.session(); }

// ---------------------------------------------------------------------------------------
// Reports

void TimeControl::frame_done() {
    if (!session().view().stopped) panel_->refresh_running();
}

void TimeControl::pause_changed(bool paused) {
    form_.DebuggerForm->set_paused(paused);
    MenuRewindBack->setShortcut(paused ? QKeySequence(Qt::Key_Left) : QKeySequence());
    MenuRewindForward->setShortcut(paused ? QKeySequence(Qt::Key_Right) : QKeySequence());
    if (paused && panel_->isVisible()) panel_->show_stop(true);
}

void TimeControl::show_stop() {
    TDebuggerForm* debugger = form_.DebuggerForm;
    if (!debugger->isVisible()) debugger->MenuDebuggerClick();
    debugger->PageControlTools->setCurrentWidget(panel_);
    debugger->refresh_debugger();
    debugger->refresh_registers_now();
    panel_->show_stop(form_.paused());
}

void TimeControl::show_rewound() {
    form_.DebuggerForm->refresh_debugger();
    if (form_.DebuggerForm->isVisible()) form_.DebuggerForm->refresh_registers_now();
    if (panel_->isVisible()) panel_->show_stop(true);
}

// ---------------------------------------------------------------------------------------
// Commands

void TimeControl::Continue() { session().continue_run(); }
void TimeControl::Break() { session().break_run(); }
void TimeControl::Step() { session().step(); }
void TimeControl::StepOver() { session().step_over(); }
void TimeControl::StepOut() { session().step_out(); }
void TimeControl::RunToCursor(uint16_t address) { session().run_to(address); }
void TimeControl::RewindBack() { session().rewind_back(); }
void TimeControl::RewindForward() { session().rewind_forward(); }

}  // namespace lvov
