#include "app/main_form_emu.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <exception>
#include <optional>

#include "app/command_line.h"
#include "app/icons.h"
#include "app/time_control.h"
#include "core/errors.h"
#include "debugger/debugger_form.h"
#include "devices/host_keys.h"

namespace lvov {

const QString APP_TITLE = QStringLiteral("ПК ЛЬВОВ");
const QString TITLE_NORMAL = QStringLiteral("NEV еmulator for PK-01 Lvov    1.0Beta");
const QString TITLE_PAUSED = TITLE_NORMAL + QStringLiteral(" (Pause)");
const QString GAMES_PLACEHOLDER = QStringLiteral("(выберите игру)");

namespace {

const QString OPEN_DIALOG_TITLE = QStringLiteral("Открыть файл образа ПК-ЛЬВОВ");
const QString OPEN_FILTER = QStringLiteral("*.lv*;*.sav;*.NevLVE (*.lv* *.sav *.NevLVE)");
const QString SAVE_FILTER = QStringLiteral("*.NevLVE (*.NevLVE)");
constexpr int FPS_FIELD_WIDTH = 41;
constexpr int FREQ_FIELD_WIDTH = 80;
constexpr int FPS_FIELD_LENGTH = 3;  // characters: up to 999 frames per second
constexpr int FREQ_FIELD_LENGTH = 9;  // up to 999,999,999 cycles per frame
constexpr int GAMES_WIDTH = 124;
constexpr int GAMES_ROWS = 30;
constexpr int MAX_CYCLES_PER_FRAME = 2147483647;
constexpr int AUTOSAVE_MS = AUTOSAVE_INTERVAL_MS;

QString utf8(const std::string& text) { return QString::fromStdString(text); }
std::string utf8(const QString& text) { return unescape_file_name(text.toStdU16String()); }  // file names: as given

// Gives a widget one colour in a palette role for every state, enabled or not.
void set_colour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette pal = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, role, colour);
    }
    widget->setPalette(pal);
}

void set_label_colour(QLabel* label, const QColor& colour) {
    // Inside the toolbar a label would take the toolbar's Button role; its own colour
    // is the Window role.
    label->setBackgroundRole(QPalette::Window);
    label->setAutoFillBackground(true);
    set_colour(label, QPalette::Window, colour);
}

QFont bold_font(const QFont& base, int points) {
    QFont f = base;
    f.setBold(true);
    f.setPointSize(points);
    return f;
}

}  // namespace

// The application name, not the display name: Qt appends a display name to every window
// caption, and the main window's caption must read exactly as its title.
void set_application_title() { QGuiApplication::setApplicationName(APP_TITLE); }

// ---------------------------------------------------------------------------------------
// Creation

TMainFormEmu::TMainFormEmu(Emulator& emu, QWidget* parent) : QMainWindow(parent), emu_(emu) {
    setObjectName("MainFormEmu");
    setWindowTitle(TITLE_NORMAL);
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setAcceptDrops(true);
    resize(WINDOW_WIDTH, WINDOW_HEIGHT);

    image_pause_ = make_image(IMAGE_PAUSE);
    image_resume_ = make_image(IMAGE_RESUME);
    image_resume_blink_ = make_image(IMAGE_RESUME_BLINK);

    TimerMain = new QTimer(this);
    TimerMain->setObjectName("TimerMain");
    TimerMain->setTimerType(Qt::PreciseTimer);
    TimerMain->setInterval(emu_.frame_interval);
    connect(TimerMain, &QTimer::timeout, this, &TMainFormEmu::TimerMainTimer);

    TimerAutoSave = new QTimer(this);
    TimerAutoSave->setObjectName("TimerAutoSave");
    TimerAutoSave->setInterval(AUTOSAVE_MS);
    connect(TimerAutoSave, &QTimer::timeout, this, &TMainFormEmu::TimerAutoSaveTimer);

    TimerPause = new QTimer(this);
    TimerPause->setObjectName("TimerPause");
    TimerPause->setInterval(PAUSE_BLINK_MS);
    connect(TimerPause, &QTimer::timeout, this, &TMainFormEmu::TimerPauseTimer);

    build_actions();
    build_menu();
    build_toolbar();
    build_view_menu();

    PictureView_ = new PictureView(*this, emu_.picture);
    PictureView_->setObjectName("PictureView");
    setCentralWidget(PictureView_);
    PictureView_->setFocus();

    // The debugger window: hidden until asked for, sharing the machine.
    DebuggerForm = new TDebuggerForm(emu_.machine, this);
    time_ = new TimeControl(*this);

    // The pause slot written on key presses, at most five times a second.
    PauseSlotWriter = new PauseSlotThrottle([this](MachineState& m) { write_pause_slot(m); }, this);
    connect(PauseSlotWriter, &PauseSlotThrottle::due, this, &TMainFormEmu::flush_pause_slot);

    // The frame timer waits for the start-up sequence; the other two run from the start.
    TimerAutoSave->start();
    TimerPause->start();
}

void TMainFormEmu::build_actions() {
    const auto action = [this](const char* name, const QString& text, int image, void (TMainFormEmu::*slot)()) {
        auto* a = new QAction(text, this);
        a->setObjectName(name);
        if (image >= 0) a->setIcon(make_image(image));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    MenuOpen = action("MenuOpen", "Open", IMAGE_OPEN, &TMainFormEmu::MenuOpenClick);
    MenuReOpen = action("MenuReOpen", "ReOpen", -1, &TMainFormEmu::MenuReOpenClick);
    MenuReOpen->setEnabled(false);
    MenuQuickOpen = action("MenuQuickOpen", "QuickOpen", -1, &TMainFormEmu::MenuQuickOpenClick);
    MenuQuickSave = action("MenuQuickSave", "QuickSave", -1, &TMainFormEmu::MenuQuickSaveClick);
    MenuSave = action("MenuSave", "Save...", -1, &TMainFormEmu::MenuSaveClick);
    MenuFullResetCPU =
        action("MenuFullResetCPU", "Full Reset CPU", IMAGE_FULL_RESET_MENU, &TMainFormEmu::MenuFullResetCPUClick);
    MenuQuickResetCPU = action("MenuQuickResetCPU", "Quick Reset CPU", -1, &TMainFormEmu::ToolButtonQuickResetCPUClick);
    MenuPause = action("MenuPause", "Pause", IMAGE_PAUSE, &TMainFormEmu::MenuPauseClick);
    MenuExit = action("MenuExit", "Exit", IMAGE_EXIT, &TMainFormEmu::MenuExitClick);
    MenuExit->setShortcut(QKeySequence(QStringLiteral("Alt+F4")));
    MenuDebugger = action("MenuDebugger", "Debugger ...", IMAGE_DEBUGGER, &TMainFormEmu::MenuDebuggerClick);
    MenuAbout = action("MenuAbout", "About", -1, &TMainFormEmu::MenuAboutClick);

    ToolButtonOpen = action("ToolButtonOpen", "Open", IMAGE_OPEN, &TMainFormEmu::MenuOpenClick);
    ToolButtonFullResetCPU =
        action("ToolButtonFullResetCPU", "Full Reset CPU", IMAGE_FULL_RESET, &TMainFormEmu::MenuFullResetCPUClick);
    ToolButtonQuickResetCPU = action("ToolButtonQuickResetCPU", "Quick Reset CPU", IMAGE_QUICK_RESET,
                                     &TMainFormEmu::ToolButtonQuickResetCPUClick);
    ToolButtonPause = action("ToolButtonPause", "Pause", IMAGE_PAUSE, &TMainFormEmu::MenuPauseClick);
    ToolButtonDebugger = action("ToolButtonDebugger", "Debugger", IMAGE_DEBUGGER, &TMainFormEmu::MenuDebuggerClick);
    ToolExit = action("ToolExit", "Exit", IMAGE_EXIT, &TMainFormEmu::MenuExitClick);
}

void TMainFormEmu::build_menu() {
    QMenuBar* bar = menuBar();
    bar->setStyle(NoAltMenuStyle::instance());

    QMenu* file = bar->addMenu("File");
    file->setObjectName("MenuFile");
    file->addAction(MenuOpen);
    file->addAction(MenuReOpen);
    file->addSeparator();
    file->addAction(MenuQuickOpen);
    file->addAction(MenuQuickSave);
    file->addSeparator();
    file->addAction(MenuSave);
    file->addSeparator();
    file->addAction(MenuFullResetCPU);
    file->addAction(MenuQuickResetCPU);
    file->addAction(MenuPause);
    file->addSeparator();
    file->addAction(MenuExit);

    QMenu* tools = bar->addMenu("Tools");
    tools->setObjectName("MenuTools");
    tools->addAction(MenuDebugger);

    bar->addAction(MenuAbout);
}

void TMainFormEmu::build_toolbar() {
    ToolBar1 = addToolBar("ToolBar1");
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(IMAGE_SIZE, IMAGE_SIZE));
    ToolBar1->setFixedHeight(TOOLBAR_HEIGHT);
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    ToolBar1->setFocusPolicy(Qt::NoFocus);

    const auto label = [this](const char* name, const QString& text, int points) {
        auto* l = new ClickableLabel(text, this);
        l->setObjectName(name);
        l->setFont(bold_font(font(), points));
        l->setFocusPolicy(Qt::NoFocus);
        set_label_colour(l, button_face_colour());
        return l;
    };
    const auto spin = [this](const char* name, int minimum, int maximum, int length, int value, int width) {
        auto* s = new SpeedField(minimum, maximum, length, this);
        s->setObjectName(name);
        s->setValue(value);
        s->setFixedWidth(width);
        s->setEnabled(false);
        s->setFocusPolicy(Qt::ClickFocus);
        s->installEventFilter(this);
        set_colour(s, QPalette::Base, button_face_colour());
        return s;
    };

    ToolBar1->addAction(ToolButtonOpen);
    ToolBar1->addSeparator();
    ToolBar1->addAction(ToolButtonFullResetCPU);
    ToolBar1->addAction(ToolButtonQuickResetCPU);
    ToolBar1->addAction(ToolButtonPause);
    ToolBar1->addSeparator();
    ToolBar1->addAction(ToolButtonDebugger);
    ToolBar1->addSeparator();

    LabelFPS = label("LabelFPS", " FPS:", 10);
    SpinEditFPS = spin("SpinEditFPS", MIN_FPS, MAX_FPS, FPS_FIELD_LENGTH, DEFAULT_FPS, FPS_FIELD_WIDTH);
    Label2FPS = label("Label2FPS", "*", 15);
    ToolBar1->addWidget(LabelFPS);
    ToolBar1->addWidget(SpinEditFPS);
    ToolBar1->addWidget(Label2FPS);
    ToolBar1->addSeparator();

    LabelFreq = label("LabelFreq", " Freq/fps=", 10);
    SpinEditFreq =
        spin("SpinEditFreq", 0, MAX_CYCLES_PER_FRAME, FREQ_FIELD_LENGTH, DEFAULT_CYCLES_PER_FRAME, FREQ_FIELD_WIDTH);
    Label2FREQ = label("Label2FREQ", "*", 15);
    ToolBar1->addWidget(LabelFreq);
    ToolBar1->addWidget(SpinEditFreq);
    ToolBar1->addWidget(Label2FREQ);
    ToolBar1->addSeparator();

    ComboBoxGames = new GamesComboBox(this);
    ComboBoxGames->setObjectName("ComboBoxGames");
    ComboBoxGames->setEditable(true);
    ComboBoxGames->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxGames->setMaxVisibleItems(GAMES_ROWS);
    ComboBoxGames->setFixedWidth(GAMES_WIDTH);
    ComboBoxGames->setEnabled(false);
    ComboBoxGames->setFocusPolicy(Qt::ClickFocus);
    // A title counts only when typed whole (in any letter case): an inline completion
    // would turn a first letter into the first title that starts with it and load that.
    ComboBoxGames->setCompleter(nullptr);
    set_games_text(GAMES_PLACEHOLDER);
    LabelGames = label("LabelGames", "*", 15);
    ToolBar1->addWidget(ComboBoxGames);
    ToolBar1->addWidget(LabelGames);
    ToolBar1->addAction(ToolExit);

    // Enter and Space must reach the emulated keyboard, never press a toolbar button.
    for (QAction* a : ToolBar1->actions()) {
        if (QWidget* w = ToolBar1->widgetForAction(a); w && qobject_cast<QToolButton*>(w)) {
            w->setFocusPolicy(Qt::NoFocus);
        }
    }
    for (QToolButton* b : ToolBar1->findChildren<QToolButton*>()) b->setFocusPolicy(Qt::NoFocus);

    connect(LabelFPS, &ClickableLabel::clicked, this, &TMainFormEmu::LabelFPSClick);
    connect(Label2FPS, &ClickableLabel::clicked, this, &TMainFormEmu::LabelFPSClick);
    connect(LabelFreq, &ClickableLabel::clicked, this, &TMainFormEmu::LabelFreqClick);
    connect(Label2FREQ, &ClickableLabel::clicked, this, &TMainFormEmu::LabelFreqClick);
    connect(LabelGames, &ClickableLabel::clicked, this, &TMainFormEmu::LabelGamesClick);
    // The list reports its closing also while the window's children are destroyed; these
    // connections end with the window's own members, before that.
    connect(ComboBoxGames, &QComboBox::editTextChanged, &members_alive_, [this](const QString& text) {
        if (!updating_games_) ComboBoxGamesChange(text);
    });
    connect(ComboBoxGames, &GamesComboBox::closedUp, &members_alive_, [this] {
        if (!updating_games_) ComboBoxGamesCloseUp();
    });
}

QColor TMainFormEmu::unlocked_colour() { return QColor(Qt::red); }
QColor TMainFormEmu::button_face_colour() const { return QGuiApplication::palette().color(QPalette::Button); }
QColor TMainFormEmu::window_colour() const { return QGuiApplication::palette().color(QPalette::Base); }

// ---------------------------------------------------------------------------------------
// Errors and dialogs

// One message box at a time: an error raised while one is open (a timer keeps ticking
// under a modal box) is not stacked on top of it.
void TMainFormEmu::report_error(const QString& text) {
    if (error_shown_) return;
    error_shown_ = true;
    show_error(text);
    error_shown_ = false;
}

QString TMainFormEmu::ask_open_file_name(const QString& title, const QString& dir, const QString& filter) {
    return QFileDialog::getOpenFileName(this, title, dir, filter);
}

QString TMainFormEmu::ask_save_file_name(const QString& dir, const QString& filter) {
    return QFileDialog::getSaveFileName(this, QString(), dir, filter);
}

void TMainFormEmu::show_error(const QString& text) { QMessageBox::critical(this, APP_TITLE, text, QMessageBox::Ok); }

void TMainFormEmu::show_message(const QString& caption, const QString& text) {
    QMessageBox::information(this, caption, text, QMessageBox::Ok);
}

// ---------------------------------------------------------------------------------------
// Pause, speed, painting

void TMainFormEmu::pause(bool value) {
    if (value) rest_pause_slot();
    paused_before_ = paused_;
    paused_ = value;
    if (value) {
        TimerMain->stop();
        TimerAutoSave->stop();
        if (!TimerPause->isActive()) TimerPause->start();
        ToolButtonPause->setIcon(image_resume_);
        emu_.release_all();
        set_menu_shortcuts(true);
    } else {
        if (!TimerMain->isActive()) TimerMain->start();
        if (!TimerAutoSave->isActive()) TimerAutoSave->start();
        TimerPause->stop();
        ToolButtonPause->setIcon(image_pause_);
        setWindowTitle(TITLE_NORMAL);
        set_menu_shortcuts(false);
    }
    if (time_) time_->pause_changed(value);
    request_repaint();
    paint_screen();
}

// While paused the menu answers to keys; while running every key but Alt+F4 belongs to
// the emulated keyboard.
void TMainFormEmu::set_menu_shortcuts(bool on) {
    const auto set = [on](QAction* a, const char* keys) {
        a->setShortcut(on ? QKeySequence(QString::fromLatin1(keys)) : QKeySequence());
    };
    set(MenuOpen, "Ctrl+O");
    set(MenuSave, "Ctrl+S");
    set(MenuReOpen, "Alt+O");
    set(MenuQuickOpen, "O");
    set(MenuQuickSave, "S");
    set(MenuFullResetCPU, "Ctrl+Alt+R");
    set(MenuQuickResetCPU, "Ctrl+R");
    set(MenuPause, "Del");
    set(MenuDebugger, "Ctrl+D");
    set_view_shortcuts(on);
}

// Reads both fields as they stand, locked or not. A frame rate below 1 is reported and
// changes nothing; the command that asked (a lock, a reset, a game chosen) goes on. Either
// way both fields then show the settings in effect, so a refused text does not stay
// behind to fail again at the next reset.
void TMainFormEmu::apply_speed_settings() {
    const int fps = SpinEditFPS->value();
    const int cycles = SpinEditFreq->value();
    try {
        emu_.apply_speed(fps, cycles);
    } catch (const EmuError& e) {
        show_applied_speed();
        report_error(QString::fromUtf8(e.what()));
        return;
    }
    applied_fps_ = fps;
    TimerMain->setInterval(emu_.frame_interval);
    show_applied_speed();
}

void TMainFormEmu::show_applied_speed() {
    SpinEditFPS->setValue(applied_fps_);
    SpinEditFreq->setValue(emu_.cycles_per_frame);
}

void TMainFormEmu::after_reset() {
    show_current_game();
    apply_speed_settings();
    PictureView_->update_picture_rect();
}

// The closed list shows the game the machine runs: none once a reset or a loaded file
// has replaced it, so choosing that title again loads it again.
void TMainFormEmu::show_current_game() {
    if (!ComboBoxGames->isEnabled()) set_games_text(utf8(cp1251_to_utf8(emu_.games.current_title)));
}

// The reset commands and the games list. A reset slot that cannot be written is reported
// after the reset, which happens as asked.
void TMainFormEmu::reset_command(ResetKind kind) {
    const std::optional<std::string> failure = emu_.reset_with_slot(kind);
    after_reset();
    if (failure) report_error(utf8(*failure));
}

void TMainFormEmu::paint_screen() {
    if (emu_.paint()) PictureView_->update();
}

void TMainFormEmu::NewLoadFile(const std::string& path_utf8) {
    emu_.open_file(path_utf8);
    show_current_game();
    paint_screen();
}

// ---------------------------------------------------------------------------------------
// Start-up

bool TMainFormEmu::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && first_activation_) {
        QTimer::singleShot(0, this, &TMainFormEmu::start_once);
    }
    return QMainWindow::event(event);
}

void TMainFormEmu::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!centred_) {
        centred_ = true;
        // The window's outer size, frame included, is 776 x 558 where the host reports
        // its frame; it is centred on the desktop.
        const QSize frame = frameGeometry().size() - geometry().size();
        if (frame.isValid() && !frame.isNull()) resize(QSize(WINDOW_WIDTH, WINDOW_HEIGHT) - frame);
        if (QScreen* screen = this->screen()) {
            QRect outer = frameGeometry();
            outer.moveCenter(screen->availableGeometry().center());
            move(outer.topLeft());
        }
    }
    // Without a window manager the window may never be activated; the first show
    // starts the machine then.
    if (first_activation_) QTimer::singleShot(0, this, &TMainFormEmu::start_once);
}

void TMainFormEmu::start_once() {
    if (!first_activation_) return;
    FirstPusk();
    if (!startup_file_.isEmpty()) DropFile(startup_file_);
}

void TMainFormEmu::fill_games_combo() {
    updating_games_ = true;
    ComboBoxGames->clear();
    for (const std::string& title : emu_.games.names) ComboBoxGames->addItem(utf8(cp1251_to_utf8(title)));
    ComboBoxGames->setEditText(GAMES_PLACEHOLDER);
    updating_games_ = false;
}

// The emulator's start-up sequence, resuming the last session. Firmware problems are
// told first; a broken key map or games index, or a close file that cannot be restored,
// is reported once all is done, over the machine start-up made without it.
void TMainFormEmu::FirstPusk() {
    if (!first_activation_) return;
    first_activation_ = false;
    command([&] {
        const StartupReport report = emu_.start_up(StartupOptions{});
        if (!report.firmware.empty()) {
            QStringList lines;
            for (const std::string& p : report.firmware) lines << utf8(p);
            show_message(APP_TITLE, lines.join("\n"));
        }
        fill_games_combo();
        after_reset();
        paint_screen();
        QStringList problems;
        for (const StartupProblem& p : report.problems) problems << utf8(p.error + "\n" + p.outcome);
        if (!problems.isEmpty()) report_error(problems.join(QStringLiteral("\n\n")));
    });
}

// ---------------------------------------------------------------------------------------
// Timers

void TMainFormEmu::TimerMainTimer() {
    if (paused_) return;  // a tick queued before the pause began
    guarded([&] {
        if (emu_.run_frame()) PictureView_->update();
        DebuggerForm->refresh_debugger();
        time_->after_frame();  // a stop at a breakpoint pauses here
    });
}

// The autosave every minute. A failing write is reported once, not a message box every
// minute; the next write that works re-arms the report.
void TMainFormEmu::TimerAutoSaveTimer() {
    if (paused_) return;
    guarded([&] {
        try {
            emu_.quick_save();
            autosave_failed_ = false;
        } catch (const EmuError&) {
            if (autosave_failed_) return;
            autosave_failed_ = true;
            throw;
        }
    });
}

void TMainFormEmu::TimerPauseTimer() {
    if (!pause_blink_) {
        ToolButtonPause->setIcon(image_resume_);
        setWindowTitle(TITLE_NORMAL);
        pause_blink_ = true;
    } else {
        ToolButtonPause->setIcon(image_resume_blink_);
        setWindowTitle(TITLE_PAUSED);
        pause_blink_ = false;
    }
}

// ---------------------------------------------------------------------------------------
// File menu

void TMainFormEmu::MenuOpenClick() {
    command([&] {
        const QString chosen = ask_open_file_name(OPEN_DIALOG_TITLE, utf8(path_text(emu_.program_dir)), OPEN_FILTER);
        if (!chosen.isEmpty()) {
            NewLoadFile(utf8(chosen));
            emu_.snapshot_slots.last_opened = utf8(chosen);
        }
        if (!emu_.snapshot_slots.last_opened.empty()) MenuReOpen->setEnabled(true);
    });
}

void TMainFormEmu::MenuReOpenClick() {
    command([&] { NewLoadFile(emu_.snapshot_slots.last_opened); });
}

void TMainFormEmu::MenuQuickOpenClick() {
    command([&] {
        emu_.quick_open();
        show_current_game();
    });
}

void TMainFormEmu::MenuQuickSaveClick() {
    command([&] { emu_.quick_save(); });
}

void TMainFormEmu::MenuSaveClick() {
    command([&] {
        const QString chosen = ask_save_file_name(utf8(path_text(emu_.program_dir)), SAVE_FILTER);
        if (!chosen.isEmpty()) emu_.save_as(utf8(chosen));
    });
}

void TMainFormEmu::MenuFullResetCPUClick() {
    command([&] { reset_command(ResetKind::Full); });
}

void TMainFormEmu::ToolButtonQuickResetCPUClick() {
    command([&] { reset_command(ResetKind::Quick); });
}

// On the way into the pause the pause slot is written first. A failed write is reported,
// but the machine pauses all the same: the snapshot is a by-product of the command, the
// pause is what the user asked for.
void TMainFormEmu::MenuPauseClick() {
    guarded([&] {
        if (!paused_) PauseSlotWriter->drop();  // the pause writes a newer state itself
        try {
            emu_.save_pause_slot(paused_);
        } catch (const EmuError&) {
            toggle_pause();
            throw;
        }
        toggle_pause();
    });
}

void TMainFormEmu::MenuExitClick() { close(); }

void TMainFormEmu::MenuDebuggerClick() {
    guarded([&] { DebuggerForm->MenuDebuggerClick(); });
}

// The title, then the program's name and version and, when the program's folder has it
// at hand, where its README lives from there.
QString TMainFormEmu::about_text() const {
    QString about = QString::fromLatin1(PROGRAM_NAME_VERSION);
    const std::string readme =
        readme_beside_program(host_path(unescape_file_name(QCoreApplication::applicationDirPath().toStdU16String())));
    if (!readme.empty()) about += QStringLiteral(", ") + utf8(readme);
    return windowTitle() + QStringLiteral("\r\n(") + about + QStringLiteral(")");
}

void TMainFormEmu::MenuAboutClick() { show_message(APP_TITLE, about_text()); }

// ---------------------------------------------------------------------------------------
// Keyboard, mouse, resize, drop, close

void TMainFormEmu::FormKeyDown(uint8_t vk) {
    guarded([&] {
        if (vk == VK_DELETE || vk == VK_PAUSE) toggle_pause();
        if (!paused_) {
            write_pause_slot_on_key();
            emu_.press_key(vk);
        } else if (vk >= VK_0 && vk <= VK_9) {  // a recent snapshot; the key is consumed, set or not
            emu_.open_recent(vk - VK_0);
            show_current_game();
            paint_screen();
        }
    });
}

// Every key press while running keeps the pause slot current, paced by PauseSlotWriter:
// written at once, or a copy of the machine written a little later.
void TMainFormEmu::write_pause_slot_on_key() { PauseSlotWriter->key_pressed(emu_.machine); }

// When a pause-slot write fails (a read-only program folder, a full disk) the first
// failure is reported, and stops the key when it was written at the press; later
// failures stay silent and the keys go on reaching the machine, so the emulated keyboard
// never goes dead. A successful write re-arms the report.
void TMainFormEmu::write_pause_slot(MachineState& m) {
    try {
        emu_.save_key_press_slot(m);
        pause_slot_failed_ = false;
    } catch (const EmuError&) {
        if (pause_slot_failed_) return;
        pause_slot_failed_ = true;
        throw;
    }
}

// A kept key-press state reaches the file: when its time has come, and before anything
// that pauses, loads or closes.
void TMainFormEmu::flush_pause_slot() {
    guarded([&] { PauseSlotWriter->flush(); });
}

// Keys stop reaching the machine (a pause, the close): the kept state is written, and
// the first press after the pause is written at once.
void TMainFormEmu::rest_pause_slot() {
    guarded([&] { PauseSlotWriter->rest(); });
}

void TMainFormEmu::FormKeyUp(uint8_t vk) {
    if (!paused_) emu_.release_key(vk);
}

void TMainFormEmu::FormMouseDown() {
    request_repaint();
    paint_screen();
}

void TMainFormEmu::FormResize() {
    PictureView_->update_picture_rect();
    request_repaint();
    paint_screen();
}

void TMainFormEmu::DropFile(const QString& path) {
    flush_pause_slot();  // the dropped file may be the pause slot
    setWindowTitle(path);
    guarded([&] { NewLoadFile(utf8(path)); });
}

void TMainFormEmu::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TMainFormEmu::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty()) return;
    const QString path = urls.first().toLocalFile();
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    DropFile(path);
}

void TMainFormEmu::closeEvent(QCloseEvent* event) {
    rest_pause_slot();
    guarded([&] { emu_.save_close_slot(); });
    TimerMain->stop();
    TimerAutoSave->stop();
    TimerPause->stop();
    event->accept();
}

// ---------------------------------------------------------------------------------------
// Speed fields and the games list

void TMainFormEmu::toggle_speed_field(SpeedField* field, QLabel* caption, QLabel* star) {
    if (!field->isEnabled()) {
        field->setEnabled(true);
        set_colour(field, QPalette::Base, unlocked_colour());
        set_label_colour(caption, unlocked_colour());
        set_label_colour(star, unlocked_colour());
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();  // typing replaces the old value
        return;
    }
    field->setEnabled(false);
    set_colour(field, QPalette::Base, button_face_colour());
    set_label_colour(caption, button_face_colour());
    set_label_colour(star, button_face_colour());
    PictureView_->setFocus(Qt::OtherFocusReason);
    apply_speed_settings();
}

void TMainFormEmu::LabelFPSClick() { toggle_speed_field(SpinEditFPS, LabelFPS, Label2FPS); }
void TMainFormEmu::LabelFreqClick() { toggle_speed_field(SpinEditFreq, LabelFreq, Label2FREQ); }

// Enter in an unlocked field locks it again; its "*" label stays red.
void TMainFormEmu::SpinEditEnter(SpeedField* field) {
    QLabel* caption = field == SpinEditFPS ? LabelFPS : LabelFreq;
    field->setEnabled(false);
    set_colour(field, QPalette::Base, button_face_colour());
    set_label_colour(caption, button_face_colour());
    PictureView_->setFocus(Qt::OtherFocusReason);
    apply_speed_settings();
}

bool TMainFormEmu::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == SpinEditFPS || watched == SpinEditFreq)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            SpinEditEnter(static_cast<SpeedField*>(watched));
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainFormEmu::set_games_text(const QString& text) {
    const bool was = updating_games_;
    updating_games_ = true;
    ComboBoxGames->setEditText(text);
    updating_games_ = was;
}

void TMainFormEmu::close_games_list() {
    ComboBoxGames->setEnabled(false);
    set_colour(ComboBoxGames, QPalette::Base, window_colour());
    set_label_colour(LabelGames, button_face_colour());
    PictureView_->setFocus(Qt::OtherFocusReason);
}

void TMainFormEmu::LabelGamesClick() {
    if (!ComboBoxGames->isEnabled()) {
        ComboBoxGames->setEnabled(true);
        set_colour(ComboBoxGames, QPalette::Base, unlocked_colour());
        set_label_colour(LabelGames, unlocked_colour());
        // The keyboard stays with the machine until the user clicks into the list's text.
        return;
    }
    close_games_list();
    set_games_text(utf8(cp1251_to_utf8(emu_.games.current_title)));
}

// The catalogue bytes a text of the list stands for: a picked entry by its own
// window-1251 bytes (byte 98 has no Unicode form, so its text would not convert back);
// typed text converted, or nothing when it holds a character window-1251 lacks.
std::optional<std::string> TMainFormEmu::games_text_bytes(const QString& text) const {
    const int item = ComboBoxGames->currentIndex();
    const auto& names = emu_.games.names;
    if (item >= 0 && item < static_cast<int>(names.size()) && ComboBoxGames->itemText(item) == text) return names[item];
    const std::string typed = text.toStdString();
    if (!fits_cp1251(typed)) return std::nullopt;
    return utf8_to_cp1251(typed);
}

// Text that names no title changes nothing: the list stays open for more typing and the
// machine runs on. The title already shown closes the list. Another title resets the
// machine (the reset slot written first), boots it and loads the game.
void TMainFormEmu::ComboBoxGamesChange(const QString& text) {
    guarded([&] {
        const std::optional<std::string> selected = games_text_bytes(text);
        if (!selected) return;
        GamesCatalogue& games = emu_.games;
        if (*selected == games.current_title) {
            close_games_list();
            set_games_text(utf8(cp1251_to_utf8(games.current_title)));
            request_repaint();
            paint_screen();
            return;
        }
        const int index = games.find(*selected);
        if (index < 0) return;
        command([&] {
            close_games_list();
            const std::optional<std::string> failure = emu_.choose_game(index);
            after_reset();
            paint_screen();
            if (failure) report_error(utf8(*failure));
        });
    });
}

void TMainFormEmu::ComboBoxGamesCloseUp() {
    close_games_list();
    set_games_text(utf8(cp1251_to_utf8(emu_.games.current_title)));
    request_repaint();
    paint_screen();
}

}  // namespace lvov
