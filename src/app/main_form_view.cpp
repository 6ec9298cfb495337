// The main window's View menu and Save Picture: full screen, the picture's scaling, and
// the picture written as PNG.
#include <QAction>
#include <QActionGroup>
#include <QBuffer>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include "app/main_form_emu.h"
#include "core/errors.h"
#include "host/files.h"
#include "storage/buffers.h"

namespace lvov {

namespace {

const QString PICTURE_FILTER_256 = QStringLiteral("PNG 256 x 256 (*.png)");
const QString PICTURE_FILTER_SHOWN = QStringLiteral("PNG as the window shows it (*.png)");

}  // namespace

void TMainFormEmu::build_view_menu() {
    const auto action = [this](const char* name, const QString& text, auto slot) {
        auto* a = new QAction(text, this);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    MenuSavePicture = action("MenuSavePicture", "Save Picture...", &TMainFormEmu::MenuSavePictureClick);
    MenuFullScreen = action("MenuFullScreen", "Full Screen", &TMainFormEmu::MenuFullScreenClick);
    MenuFullScreen->setCheckable(true);
    MenuLeaveFullScreen = action("MenuLeaveFullScreen", "Leave Full Screen", &TMainFormEmu::leave_full_screen);
    MenuScaleWhole = action("MenuScaleWhole", "Whole Multiples", [this] { set_picture_scale(PictureScale::Whole); });
    MenuScaleFill = action("MenuScaleFill", "Fill", [this] { set_picture_scale(PictureScale::Fill); });
    MenuScaleSmooth = action("MenuScaleSmooth", "Fill Smoothly", [this] { set_picture_scale(PictureScale::Smooth); });
    auto* scales = new QActionGroup(this);
    for (QAction* a : {MenuScaleWhole, MenuScaleFill, MenuScaleSmooth}) {
        a->setCheckable(true);
        scales->addAction(a);
    }
    MenuScaleWhole->setChecked(true);

    // Save Picture... follows Save... in the File menu.
    if (auto* file = menuBar()->findChild<QMenu*>(QStringLiteral("MenuFile"))) {
        const QList<QAction*> items = file->actions();
        const qsizetype save = items.indexOf(MenuSave);
        file->insertAction(save >= 0 && save + 1 < items.size() ? items[save + 1] : nullptr, MenuSavePicture);
    }
    QMenu* view = new QMenu(QStringLiteral("View"), menuBar());
    view->setObjectName("MenuView");
    view->addAction(MenuFullScreen);
    view->addSeparator();
    view->addActions(scales->actions());
    const QList<QAction*> top = menuBar()->actions();
    menuBar()->insertMenu(top.size() > 1 ? top[1] : nullptr, view);  // after File

    // Esc leaves full screen only from the window itself.
    addAction(MenuLeaveFullScreen);
}

// The view's shortcuts follow the others: only while paused.
void TMainFormEmu::set_view_shortcuts(bool on) {
    if (!MenuFullScreen) return;  // the View menu is not built yet
    const auto set = [on](QAction* a, const char* keys) {
        a->setShortcut(on ? QKeySequence(QString::fromLatin1(keys)) : QKeySequence());
    };
    set(MenuSavePicture, "Ctrl+P");
    set(MenuFullScreen, "F11");
    set(MenuLeaveFullScreen, "Esc");
}

// Full screen shows only the picture, centred on black; the menu bar and the toolbar
// come back when it is left, and so does a maximised window.
void TMainFormEmu::MenuFullScreenClick() {
    if (isFullScreen()) {
        menuBar()->show();
        ToolBar1->show();
        setWindowState(state_before_full_screen_ & ~Qt::WindowFullScreen);
    } else {
        state_before_full_screen_ = windowState();
        // The window itself carries every menu command, so their shortcuts keep working
        // while the menu bar is hidden (items added to the menus since are taken too).
        for (QAction* item : menuBar()->actions()) {
            if (item->menu()) addActions(item->menu()->actions());
        }
        menuBar()->hide();
        ToolBar1->hide();
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowFullScreen);
    }
    MenuFullScreen->setChecked(isFullScreen());
    PictureView_->setFocus(Qt::OtherFocusReason);
}

void TMainFormEmu::leave_full_screen() {
    if (isFullScreen()) MenuFullScreenClick();
}

void TMainFormEmu::set_picture_scale(PictureScale scale) {
    PictureView_->set_scale(scale);
    MenuScaleWhole->setChecked(scale == PictureScale::Whole);
    MenuScaleFill->setChecked(scale == PictureScale::Fill);
    MenuScaleSmooth->setChecked(scale == PictureScale::Smooth);
}

QString TMainFormEmu::ask_picture_file_name(const QString& dir, const QStringList& filters, int& chosen) {
    QString selected = filters.value(0);
    QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Save Picture"), dir,
                                                filters.join(QStringLiteral(";;")), &selected);
    chosen = std::max<int>(0, static_cast<int>(filters.indexOf(selected)));
    return name;
}

// Writes the picture as it is when the command is given, 256 x 256 or as the window
// shows it, as PNG; ".png" is added to a name without it. The file is replaced only
// once complete. A failure is reported and leaves the machine paused, as the other file
// commands do.
void TMainFormEmu::MenuSavePictureClick() {
    session_.command([&] {
        const QImage plain = PictureView_->picture();
        const QImage shown = PictureView_->shown_picture();
        int chosen = 0;
        const QString dir = QString::fromStdU16String(escape_file_name(path_text(session_.view().program_dir)));
        QString name = ask_picture_file_name(dir, {PICTURE_FILTER_256, PICTURE_FILTER_SHOWN}, chosen);
        if (!name.isEmpty()) {
            if (!name.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) name += QStringLiteral(".png");
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            if (!(chosen == 1 ? shown : plain).save(&buffer, "PNG")) throw IoError("Cannot encode the picture as PNG.");
            write_file_atomically(host_path(unescape_file_name(name.toStdU16String())),
                                  reinterpret_cast<const uint8_t*>(bytes.constData()),
                                  static_cast<size_t>(bytes.size()), true);
        }
    });
}

}  // namespace lvov
