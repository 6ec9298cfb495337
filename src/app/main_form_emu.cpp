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
#include "core/version.h"
#include "debugger/debugger_form.h"
#include "devices/host_keys.h"

namespace lvov {

const QString APP_TITLE = QStringLiteral("ПК ЛЬВОВ");
const QString TITLE_NORMAL = QStringLiteral("NEV еmulator for PK-01 Lvov    ") + QString::fromLatin1(PROGRAM_VERSION);
const QString TITLE_PAUSED = TITLE_NORMAL + QStringLiteral(" (Pause)");
const QString GAMES_PLACEHOLDER = QStringLiteral("(выберите игру)");

namespace {

const QString OPEN_DIALOG_TITLE = QStringLiteral("Открыть файл образа ПК-ЛЬВОВ");
const QString OPEN_FILTER = QStringLiteral("*.lv*;*.sav;*.NevLVE (*.lv* *.sav *.NevLVE)");
const QString SAVE_FILTER = QStringLiteral("*.NevLVE (*.NevLVE)");
constexpr int AUTOSAVE_MS = AUTOSAVE_INTERVAL_MS;

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
    if (!startup_notice_.isEmpty()) show_message(APP_TITLE, startup_notice_);
    if (!startup_file_.isEmpty()) DropFile(startup_file_);
}

// The emulator's start-up sequence, resuming the last session. Firmware problems are
// told first; a broken key map or games index, or a close file that cannot be restored,
// is reported once all is done, over the machine start-up made without it.
void TMainFormEmu::FirstPusk() {
    if (!first_activation_) return;
    first_activation_ = false;
    command([&] {
        // A file to load after start-up needs the firmware started under it, as after a
        // restored session or in the headless run.
        const StartupReport report = emu_.start_up({.boot = !startup_file_.isEmpty()});
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
            emu_.autosave();
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

void TMainFormEmu::take_handed_file(const QString& path) {
    if (!path.isEmpty()) {
        if (first_activation_)
            startup_file_ = path;  // start-up would reset the machine under it
        else
            DropFile(path);
    }
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
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

}  // namespace lvov
