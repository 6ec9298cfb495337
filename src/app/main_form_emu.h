// The main window: the emulated screen, the menu bar, the toolbar with the speed fields
// and the games list, the host keyboard, dropped files and the three timers of the
// frame loop.
//
// The window shows one Emulator, which its creator owns and keeps alive longer than the
// window, and forwards the user's commands to it. It owns the debugger window (created
// hidden, sharing the Emulator's machine) and the timers: TimerMain runs a frame per
// tick and then refreshes the debugger, TimerAutoSave writes the quick-save slot every
// minute, TimerPause blinks the title while paused.
//
// Every handler runs through command() (load, save, reset: inside the pause bracket
// pause(true) ... Restorepause(), which does not nest) or guarded(): the emulator's
// errors are caught at the handler's edge and shown in one modal message box; the
// handler stops at the failing step (a command then leaves the machine paused) and the
// program goes on. Dialogs and message boxes go through virtual functions so tests can
// answer them.
#pragma once
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QProxyStyle>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/emulator.h"
#include "app/pause_slot_throttle.h"
#include "app/picture_view.h"
#include "app/speed_field.h"
#include "app/widgets.h"
#include "core/errors.h"

class QAction;
class QToolBar;

namespace lvov {

class TMainFormEmu;
class TDebuggerForm;
class TimeControl;

// The caption and the two titles of the main window. The letter after "NEV " is the
// Cyrillic е, as the machine's makers wrote it.
extern const QString APP_TITLE;  // "ПК ЛЬВОВ"
extern const QString TITLE_NORMAL;  // "NEV еmulator for PK-01 Lvov    1.0Beta"
extern const QString TITLE_PAUSED;  // TITLE_NORMAL + " (Pause)"
extern const QString GAMES_PLACEHOLDER;  // "(выберите игру)"

// Names the program for the host (task bar, window class) with APP_TITLE; called once
// after the application object exists.
void set_application_title();

constexpr int WINDOW_WIDTH = 776;
constexpr int WINDOW_HEIGHT = 558;
constexpr int TOOLBAR_HEIGHT = 25;
constexpr int PAUSE_BLINK_MS = 500;

class TMainFormEmu : public QMainWindow {
    Q_OBJECT
    friend class TimeControl;  // reports its errors through the window's one message box
public:
    // emu must outlive the window.
    explicit TMainFormEmu(Emulator& emu, QWidget* parent = nullptr);

    Emulator& emu() { return emu_; }
    // Breakpoints, steps and rewind (the debugger's execution page, menu items, buttons).
    TimeControl* time_control() const { return time_; }
    bool paused() const { return paused_; }
    bool paused_before() const { return paused_before_; }
    bool pause_blink() const { return pause_blink_; }
    bool first_activation() const { return first_activation_; }
    QRect picture_rect() const { return PictureView_->picture_rect(); }
    QString about_text() const;

    // A file given on the command line, loaded as a dropped file after start-up.
    void set_startup_file(const QString& path) { startup_file_ = path; }
    // A notice shown once start-up is done (a copy that writes no slot says so).
    void set_startup_notice(const QString& text) { startup_notice_ = text; }
    // A later start of the program handed its file over ("" for none): loaded as a
    // dropped file (after start-up, when that has not run yet), and the window comes to
    // the front.
    void take_handed_file(const QString& path);

    // Pause control.
    void pause(bool value);
    // Pauses a running machine, resumes a paused one (Delete, Pause; the pause command).
    void toggle_pause() { pause(!paused_); }
    void Restorepause() { pause(paused_before_); }
    // Frame interval and cycles per frame from the two speed fields.
    void apply_speed_settings();
    // The machine has been reset: the speed settings and the picture rectangle are read
    // again and the games list shows no game.
    void after_reset();
    // LoadImageFile, then a paint.
    void NewLoadFile(const std::string& path_utf8);
    // Repaints the picture into the window when it changed or a redraw was asked for.
    void paint_screen();
    void request_repaint() { emu_.request_repaint(); }

    // The start-up sequence of the first activation; runs once.
    void FirstPusk();

    // Event handlers; public so that tests can drive them.
    void TimerMainTimer();
    void TimerAutoSaveTimer();
    void TimerPauseTimer();
    void MenuOpenClick();
    void MenuReOpenClick();
    void MenuQuickOpenClick();
    void MenuQuickSaveClick();
    void MenuSaveClick();
    void MenuFullResetCPUClick();
    void ToolButtonQuickResetCPUClick();
    void MenuPauseClick();
    void MenuExitClick();
    void MenuDebuggerClick();
    void MenuAboutClick();
    void FormKeyDown(uint8_t vk);
    void FormKeyUp(uint8_t vk);
    void FormMouseDown();
    void FormResize();
    void DropFile(const QString& path);
    void LabelFPSClick();
    void LabelFreqClick();
    void SpinEditEnter(SpeedField* field);
    void LabelGamesClick();
    void ComboBoxGamesChange(const QString& text);
    void ComboBoxGamesCloseUp();
    // View menu and Save Picture (main_form_view.cpp).
    void MenuFullScreenClick();
    void leave_full_screen();
    void set_picture_scale(PictureScale scale);
    void MenuSavePictureClick();

    // Components, by their form names.
    QTimer* TimerMain = nullptr;
    QTimer* TimerAutoSave = nullptr;
    QTimer* TimerPause = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QAction* MenuOpen = nullptr;
    QAction* MenuReOpen = nullptr;
    QAction* MenuQuickOpen = nullptr;
    QAction* MenuQuickSave = nullptr;
    QAction* MenuSave = nullptr;
    QAction* MenuFullResetCPU = nullptr;
    QAction* MenuQuickResetCPU = nullptr;
    QAction* MenuPause = nullptr;
    QAction* MenuExit = nullptr;
    QAction* MenuDebugger = nullptr;
    QAction* MenuAbout = nullptr;
    QAction* MenuSavePicture = nullptr;
    QAction* MenuFullScreen = nullptr;
    QAction* MenuLeaveFullScreen = nullptr;  // Esc while paused; in no menu
    QAction* MenuScaleWhole = nullptr;
    QAction* MenuScaleFill = nullptr;
    QAction* MenuScaleSmooth = nullptr;
    QAction* ToolButtonOpen = nullptr;
    QAction* ToolButtonFullResetCPU = nullptr;
    QAction* ToolButtonQuickResetCPU = nullptr;
    QAction* ToolButtonPause = nullptr;
    QAction* ToolButtonDebugger = nullptr;
    QAction* ToolExit = nullptr;
    ClickableLabel* LabelFPS = nullptr;
    SpeedField* SpinEditFPS = nullptr;
    ClickableLabel* Label2FPS = nullptr;
    ClickableLabel* LabelFreq = nullptr;
    SpeedField* SpinEditFreq = nullptr;
    ClickableLabel* Label2FREQ = nullptr;
    GamesComboBox* ComboBoxGames = nullptr;
    ClickableLabel* LabelGames = nullptr;
    PictureView* PictureView_ = nullptr;
    TDebuggerForm* DebuggerForm = nullptr;  // hidden until MenuDebuggerClick
    PauseSlotThrottle* PauseSlotWriter = nullptr;  // the pause slot of key presses, paced

    // Colours of the lockable fields and labels.
    static QColor unlocked_colour();
    QColor button_face_colour() const;
    QColor window_colour() const;

protected:
    // Dialogs and message boxes; tests override them to answer without a modal loop.
    virtual QString ask_open_file_name(const QString& title, const QString& dir, const QString& filter);
    virtual QString ask_save_file_name(const QString& dir, const QString& filter);
    // The Save Picture dialog: the file name ("" when cancelled) and, in chosen, the
    // index of the filter picked.
    virtual QString ask_picture_file_name(const QString& dir, const QStringList& filters, int& chosen);
    virtual void show_error(const QString& text);
    virtual void show_message(const QString& caption, const QString& text);

    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A handler's work with its errors reported; and a command's, inside the pause bracket.
    template <class F>
    void guarded(F&& work);
    template <class F>
    void command(F&& work);
    void report_error(const QString& text);
    void build_actions();
    void build_menu();
    void build_toolbar();
    void set_menu_shortcuts(bool on);
    void build_view_menu();
    void set_view_shortcuts(bool on);
    void toggle_speed_field(SpeedField* field, QLabel* caption, QLabel* star);
    void show_applied_speed();
    void set_games_text(const QString& text);
    void close_games_list();
    void fill_games_combo();
    void show_current_game();
    void reset_command(ResetKind kind);
    std::optional<std::string> games_text_bytes(const QString& text) const;
    void start_once();
    void write_pause_slot_on_key();
    void flush_pause_slot();
    void rest_pause_slot();
    void write_pause_slot(MachineState& m);

    Emulator& emu_;
    // The context of connections from child widgets that may signal while the base class
    // destroys them: destroyed with the members, it disconnects them first.
    QObject members_alive_;
    TimeControl* time_ = nullptr;
    bool paused_ = false;
    bool paused_before_ = false;
    bool pause_blink_ = false;
    bool first_activation_ = true;
    bool error_shown_ = false;
    bool pause_slot_failed_ = false;  // the last pause-slot write on a key press failed
    int applied_fps_ = DEFAULT_FPS;  // the frame rate in effect
    bool autosave_failed_ = false;  // the last autosave failed
    bool updating_games_ = false;
    bool centred_ = false;
    QString startup_file_;
    QString startup_notice_;
    Qt::WindowStates state_before_full_screen_;
    QIcon image_pause_, image_resume_, image_resume_blink_;
};

template <class F>
void TMainFormEmu::guarded(F&& work) {
    lvov::guarded(work, [this](const std::string& text) { report_error(QString::fromStdString(text)); });
}

// A failing step leaves the machine paused: the user sees the message over the state the
// command stopped in.
template <class F>
void TMainFormEmu::command(F&& work) {
    guarded([&] {
        pause(true);
        work();
        Restorepause();
    });
}

}  // namespace lvov
