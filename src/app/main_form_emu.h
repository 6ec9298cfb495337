// The main window: the emulated screen, the menu bar, the toolbar with the speed fields
// and the games list, the host keyboard, dropped files and the three timers of the
// frame loop.
//
// The window shows one Session, which its creator owns and keeps alive longer than the
// window: it turns the user's input into the session's commands and shows what the
// session reports (SessionListener). The session decides; the window decides nothing
// about pausing, slots or autosave. It owns the debugger window (created hidden, reading
// the machine) and the timers: TimerMain calls the session's frame tick, TimerPause
// blinks the title while paused, PauseSlotWake wakes the session when a paced pause-slot
// write is due.
//
// The session's errors reach report_error, which shows one modal message box at a time.
// Dialogs and message boxes go through virtual functions so tests can answer them.
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

#include "app/picture_view.h"
#include "app/session.h"
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

class TMainFormEmu : public QMainWindow, public SessionListener {
    Q_OBJECT
    friend class TimeControl;  // reports its errors through the window's one message box
public:
    // session must outlive the window.
    explicit TMainFormEmu(Session& session, QWidget* parent = nullptr);
    ~TMainFormEmu() override;

    Session& session() { return session_; }
    // Breakpoints, steps and rewind (the debugger's execution page, menu items, buttons).
    TimeControl* time_control() const { return time_; }
    bool paused() const { return session_.paused(); }
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

    // Pause control, plainly (no slot written).
    void pause(bool value) { session_.pause(value); }
    void toggle_pause() { session_.toggle_pause(); }

    // The start-up sequence of the first activation; runs once.
    void FirstPusk();

    // Event handlers; public so that tests can drive them.
    void TimerMainTimer() { session_.frame_tick(); }
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
    QTimer* TimerPause = nullptr;
    QTimer* PauseSlotWake = nullptr;  // single shot: a paced pause-slot write is due
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

    // SessionListener
    void picture_changed() override;
    void frame_done() override;
    void pause_changed(bool paused) override;
    void stopped_at(uint16_t pc) override;
    void state_replaced() override;
    void message(const SessionMessage& message) override;
    void title_changed(const std::string& title) override;
    void game_changed(const std::string& title_cp1251) override;
    void games_listed() override;
    void speed_changed(const SpeedSettings& applied) override;
    void reopen_changed(bool available) override;
    std::optional<SpeedSettings> asked_speed() override;
    void wake_after(int ms) override;

    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void report_error(const QString& text);
    void build_actions();
    void build_menu();
    void build_toolbar();
    void set_menu_shortcuts(bool on);
    void build_view_menu();
    void set_view_shortcuts(bool on);
    void toggle_speed_field(SpeedField* field, QLabel* caption, QLabel* star);
    void set_games_text(const QString& text);
    void close_games_list();
    void show_current_game();
    std::optional<std::string> games_text_bytes(const QString& text) const;
    void start_once();
    QString program_dir_text() const;

    Session& session_;
    // The context of connections from child widgets that may signal while the base class
    // destroys them: destroyed with the members, it disconnects them first.
    QObject members_alive_;
    TimeControl* time_ = nullptr;
    bool pause_blink_ = false;
    bool first_activation_ = true;
    bool error_shown_ = false;
    bool updating_games_ = false;
    bool centred_ = false;
    QString startup_file_;
    QString startup_notice_;
    Qt::WindowStates state_before_full_screen_;
    QIcon image_pause_, image_resume_, image_resume_blink_;
};

}  // namespace lvov
