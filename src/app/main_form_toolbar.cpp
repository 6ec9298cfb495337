// The main window's toolbar: the two speed fields with their lockable captions, the games
// list and its lock label, and the colours that show which of them are unlocked.
#include <QGuiApplication>
#include <QKeyEvent>
#include <QToolBar>
#include <QToolButton>

#include "app/icons.h"
#include "app/main_form_emu.h"

namespace lvov {

namespace {

constexpr int FPS_FIELD_WIDTH = 41;
constexpr int FREQ_FIELD_WIDTH = 80;
constexpr int FPS_FIELD_LENGTH = 3;  // characters: up to 999 frames per second
constexpr int FREQ_FIELD_LENGTH = 9;  // up to 999,999,999 cycles per frame
constexpr int GAMES_WIDTH = 124;
constexpr int GAMES_ROWS = 30;
constexpr int MAX_CYCLES_PER_FRAME = 2147483647;

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

// The settings the fields ask for, read as they stand, locked or not: when a field is
// locked and whenever the session resets the machine.
std::optional<SpeedSettings> TMainFormEmu::asked_speed() {
    return SpeedSettings{SpinEditFPS->value(), SpinEditFreq->value()};
}

// Both fields show the settings in effect, so a refused text does not stay behind to
// fail again at the next reset.
void TMainFormEmu::speed_changed(const SpeedSettings& applied) {
    TimerMain->setInterval(session_.view().frame_interval);
    SpinEditFPS->setValue(applied.fps);
    SpinEditFreq->setValue(applied.cycles_per_frame);
}

void TMainFormEmu::games_listed() {
    updating_games_ = true;
    ComboBoxGames->clear();
    for (const std::string& title : session_.view().games.names) ComboBoxGames->addItem(utf8(cp1251_to_utf8(title)));
    ComboBoxGames->setEditText(GAMES_PLACEHOLDER);
    updating_games_ = false;
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
    session_.apply_speed_settings();
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
    session_.apply_speed_settings();
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
    set_games_text(utf8(cp1251_to_utf8(session_.view().games.current_title)));
}

// The catalogue bytes a text of the list stands for: a picked entry by its own
// window-1251 bytes (byte 98 has no Unicode form, so its text would not convert back);
// typed text converted, or nothing when it holds a character window-1251 lacks.
std::optional<std::string> TMainFormEmu::games_text_bytes(const QString& text) const {
    const int item = ComboBoxGames->currentIndex();
    const auto& names = session_.view().games.names;
    if (item >= 0 && item < static_cast<int>(names.size()) && ComboBoxGames->itemText(item) == text) return names[item];
    const std::string typed = text.toStdString();
    if (!fits_cp1251(typed)) return std::nullopt;
    return utf8_to_cp1251(typed);
}

// Text that names no title changes nothing: the list stays open for more typing and the
// machine runs on. The title already shown closes the list. Another title resets the
// machine (the reset slot written first), boots it and loads the game.
void TMainFormEmu::ComboBoxGamesChange(const QString& text) {
    const std::optional<std::string> selected = games_text_bytes(text);
    if (!selected) return;
    const GamesCatalogue& games = session_.view().games;
    if (*selected == games.current_title) {
        ComboBoxGamesCloseUp();
        return;
    }
    const int index = games.find(*selected);
    if (index < 0) return;
    close_games_list();
    session_.choose_game(index);
}

void TMainFormEmu::ComboBoxGamesCloseUp() {
    close_games_list();
    set_games_text(utf8(cp1251_to_utf8(session_.view().games.current_title)));
    session_.repaint();
}

}  // namespace lvov
