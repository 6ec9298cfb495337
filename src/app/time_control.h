// The machine's time under the user's control, on the window side: the debugger's
// execution page (breakpoints, steps, trace) and rewind in the main window.
//
// The main window creates one TimeControl after its components. TimeControl adds the
// execution page to the debugger window, binds F5, F10, F11, Shift+F11 and F4 there, and
// adds "Rewind 1 s" and "Forward 1 s" to the File menu and the toolbar (Left and Right
// while paused). Its actions call the session's commands; the window passes on what the
// session reports: frame_done() after every frame, pause_changed(), show_stop() when the
// machine stopped or stepped, show_rewound() when rewind replaced the state.
//
// The session decides: a breakpoint that stops the machine in the middle of a frame
// pauses it as the Pause command does, and the debugger window then opens on the
// execution page with the listing at PC.
#pragma once
#include <QObject>
#include <cstdint>

class QAction;

namespace lvov {

class ExecPanel;
class TMainFormEmu;
class Session;

class TimeControl : public QObject {
    Q_OBJECT
public:
    explicit TimeControl(TMainFormEmu& form);

    // What the session reported, passed on by the main window.
    void frame_done();
    void pause_changed(bool paused);
    // The machine stopped (breakpoint, step, Break): show where it is.
    void show_stop();
    void show_rewound();

    // Commands; public so that tests can drive them.
    void Continue();
    void Break();
    void Step();
    void StepOver();
    void StepOut();
    void RunToCursor(uint16_t address);
    void RewindBack();
    void RewindForward();

    ExecPanel* panel() const { return panel_; }
    QAction* MenuRewindBack = nullptr;
    QAction* MenuRewindForward = nullptr;
    QAction* ToolButtonRewindBack = nullptr;
    QAction* ToolButtonRewindForward = nullptr;

private:
    Session& session();

    TMainFormEmu& form_;
    ExecPanel* panel_ = nullptr;
};

}  // namespace lvov
