// The machine's time under the user's control, on the window side: the debugger's
// execution page (breakpoints, steps, trace) and rewind in the main window.
//
// The main window creates one TimeControl after its components and calls three hooks:
// after_frame() after every frame tick, pause_changed() from pause(), and nothing else.
// TimeControl adds the execution page to the debugger window, binds F5, F10, F11,
// Shift+F11 and F4 there, and adds "Rewind 1 s" and "Forward 1 s" to the File menu and
// the toolbar (Left and Right while paused).
//
// A breakpoint that stops the machine in the middle of a frame pauses it as the Pause
// command does; the picture then shows video memory as it stands, and the debugger
// window opens on the execution page with the listing at PC. Continue starts a fresh
// frame: the rest of the interrupted one is not run.
//
// Step runs one instruction at once, while paused. Step over (of a call), Step out and
// Run to cursor resume the machine with their stop armed, so that a long routine runs in
// real time and can still be stopped with Break.
#pragma once
#include <QObject>
#include <cstdint>

class QAction;

namespace lvov {

class ExecPanel;
class TMainFormEmu;
struct Emulator;

class TimeControl : public QObject {
    Q_OBJECT
public:
    explicit TimeControl(TMainFormEmu& form);

    // Hooks of the main window.
    void after_frame();
    void pause_changed(bool paused);

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
    Emulator& emu();
    // The machine stopped (breakpoint, step) or stepped: show where it is.
    void show_stop();
    // Pauses a running machine as the Pause command does; true when it was running.
    bool pause_if_running();
    void resume();
    void show_rewound();

    TMainFormEmu& form_;
    ExecPanel* panel_ = nullptr;
    bool commanded_ = false;  // a step or Continue is resuming the machine
};

}  // namespace lvov
