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
const QString TITLE_NORMAL = QString::fromStdString(window_title());
const QString TITLE_PAUSED = TITLE_NORMAL + QStringLiteral(" (Pause)");
const QString GAMES_PLACEHOLDER = QStringLiteral("(выберите игру)");

namespace {

const QString OPEN_DIALOG_TITLE = QStringLiteral("Открыть файл образа ПК-ЛЬВОВ");
const QString OPEN_FILTER = QStringLiteral("*.lv*;*.sav;*.NevLVE (*.lv* *.sav *.NevLVE)");
const QString SAVE_FILTER = QStringLiteral("*.NevLVE (*.NevLVE)");

}  // namespace

// The application name, not the display name: Qt appends a display name to every window
// caption, and the main window's caption must read exactly as its title.
void set_application_title() { QGuiApplication::setApplicationName(APP_TITLE); }

// ---------------------------------------------------------------------------------------
// Creation

TMainFormEmu::TMainFormEmu(Session& session, QWidget* parent) : QMainWindow(parent), session_(session) {
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
    TimerMain->setInterval(session_.view().frame_interval);
    connect(TimerMain, &QTimer::timeout, this, &TMainFormEmu::TimerMainTimer);

    TimerPause = new QTimer(this);
    TimerPause->setObjectName("TimerPause");
    TimerPause->setInterval(PAUSE_BLINK_MS);
    connect(TimerPause, &QTimer::timeout, this, &TMainFormEmu::TimerPauseTimer);

    PauseSlotWake = new QTimer(this);
    PauseSlotWake->setObjectName("PauseSlotWake");
    PauseSlotWake->setSingleShot(true);
    connect(PauseSlotWake, &QTimer::timeout, this, [this] { session_.wake(); });

    build_actions();
    build_menu();
    build_toolbar();
    build_view_menu();

    PictureView_ = new PictureView(*this, session_.view().picture);
    PictureView_->setObjectName("PictureView");
    setCentralWidget(PictureView_);
    PictureView_->setFocus();

    // The debugger window: hidden until asked for, reading the machine; its patches go
    // through the session.
    DebuggerForm = new TDebuggerForm(
        session_.machine(), [this](int64_t address, int32_t value) { session_.poke(address, value); }, this);
    time_ = new TimeControl(*this);

    // The frame timer waits for the start-up sequence; the blink runs from the start.
    TimerPause->start();
    session_.set_listener(this);
}

TMainFormEmu::~TMainFormEmu() { session_.set_listener(nullptr); }

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

// The session paused or resumed: the frame timer, the blink and the menu's keys follow.
void TMainFormEmu::pause_changed(bool paused) {
    if (paused) {
        TimerMain->stop();
        if (!TimerPause->isActive()) TimerPause->start();
        ToolButtonPause->setIcon(image_resume_);
        set_menu_shortcuts(true);
    } else {
        if (!TimerMain->isActive()) TimerMain->start();
        TimerPause->stop();
        ToolButtonPause->setIcon(image_pause_);
        set_menu_shortcuts(false);
    }
    if (time_) time_->pause_changed(paused);
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

// The closed list shows the game the machine runs: none once a reset or a loaded file
// has replaced it, so choosing that title again loads it again.
void TMainFormEmu::show_current_game() {
    if (!ComboBoxGames->isEnabled()) set_games_text(utf8(cp1251_to_utf8(session_.view().games.current_title)));
}

void TMainFormEmu::game_changed(const std::string&) {
    show_current_game();
    PictureView_->update_picture_rect();
}

void TMainFormEmu::picture_changed() { PictureView_->update(); }

void TMainFormEmu::frame_done() {
    DebuggerForm->refresh_debugger();
    time_->frame_done();
}

void TMainFormEmu::stopped_at(uint16_t) { time_->show_stop(); }

void TMainFormEmu::state_replaced() { time_->show_rewound(); }

void TMainFormEmu::message(const SessionMessage& message) {
    if (message.kind == SessionMessage::Kind::Error) {
        report_error(utf8(message.text));
    } else {
        show_message(message.caption.empty() ? APP_TITLE : utf8(message.caption), utf8(message.text));
    }
}

// A title that names a file shows its bytes as the host gave them.
void TMainFormEmu::title_changed(const std::string& title) {
    setWindowTitle(QString::fromStdU16String(escape_file_name(title)));
}

void TMainFormEmu::reopen_changed(bool available) { MenuReOpen->setEnabled(available); }

void TMainFormEmu::wake_after(int ms) { PauseSlotWake->start(ms); }

QString TMainFormEmu::program_dir_text() const { return utf8(path_text(session_.view().program_dir)); }

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
    // A file to load after start-up needs the firmware started under it, as after a
    // restored session or in the headless run.
    session_.start_up(!startup_file_.isEmpty());
}

// ---------------------------------------------------------------------------------------
// Timers

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
    session_.open([this] {
        const QString chosen = ask_open_file_name(OPEN_DIALOG_TITLE, program_dir_text(), OPEN_FILTER);
        return chosen.isEmpty() ? std::string() : utf8(chosen);
    });
}

void TMainFormEmu::MenuReOpenClick() { session_.reopen(); }
void TMainFormEmu::MenuQuickOpenClick() { session_.quick_open(); }
void TMainFormEmu::MenuQuickSaveClick() { session_.quick_save(); }

void TMainFormEmu::MenuSaveClick() {
    session_.save_as([this] {
        const QString chosen = ask_save_file_name(program_dir_text(), SAVE_FILTER);
        return chosen.isEmpty() ? std::string() : utf8(chosen);
    });
}

void TMainFormEmu::MenuFullResetCPUClick() { session_.reset_command(ResetKind::Full); }
void TMainFormEmu::ToolButtonQuickResetCPUClick() { session_.reset_command(ResetKind::Quick); }
void TMainFormEmu::MenuPauseClick() { session_.pause_command(); }

void TMainFormEmu::MenuExitClick() { close(); }

void TMainFormEmu::MenuDebuggerClick() {
    session_.guarded([&] { DebuggerForm->MenuDebuggerClick(); });
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

void TMainFormEmu::FormKeyDown(uint8_t vk) { session_.key_down(vk); }
void TMainFormEmu::FormKeyUp(uint8_t vk) { session_.key_up(vk); }
void TMainFormEmu::FormMouseDown() { session_.repaint(); }

void TMainFormEmu::FormResize() {
    PictureView_->update_picture_rect();
    session_.repaint();
}

void TMainFormEmu::DropFile(const QString& path) { session_.drop_file(utf8(path)); }

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
    session_.close();
    TimerMain->stop();
    TimerPause->stop();
    PauseSlotWake->stop();
    event->accept();
}

}  // namespace lvov
