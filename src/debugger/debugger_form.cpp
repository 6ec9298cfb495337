#include "debugger/debugger_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSplitter>
#include <QStatusBar>
#include <QStringListModel>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "core/errors.h"
#include "core/text.h"

namespace lvov {

namespace {

constexpr int LISTING_PROGRESS_STEP = 256;
constexpr std::array<int, 3> STATUS_PANEL_WIDTHS = {150, 200, 50};
constexpr int GAUGE_INSET_LEFT = 3;
constexpr int GAUGE_INSET_TOP = 2;
constexpr int STATUS_BAR_HEIGHT = 19;
constexpr int SEARCH_RANGE_MAX = 65535;
constexpr int SPLITTER_HANDLE = 3;
constexpr int PANEL_MARGIN_LEFT = 2;
constexpr int REGISTER_MS = 200;  // the register labels change at most five times a second
constexpr int PAUSED_FOLLOW_MS = 100;  // while paused, how often the grid is compared with memory

const QString FOUND = QStringLiteral("Найдено:");
const QString REMEMBERED = QStringLiteral("Запомнил:");
const QString NOT_FOUND = QStringLiteral("Значение не найдено !!!");
const QString EXACT_VALUE = QStringLiteral("Точное значение");
const QString UNKNOWN_VALUE = QStringLiteral("Неизвестное значение");

const std::array<const char*, REGISTER_LABELS> REGISTER_PREFIXES = {
    "r_B:", "r_C:", "r_D:", "r_E:", "r_H:", "r_L:", "r_A:", "r_F:", "r_PC:", "r_SP:", "clock:"};

QString qs(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

bool is_hex_digit(QChar c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f'); }

// A typed character, as the host's key-press character: empty for keys that type none
// (arrows, function keys), and for Delete, which edits rather than types.
QChar typed_char(const QKeyEvent& e) {
    if (e.text().isEmpty()) return {};
    const QChar c = e.text().at(0);
    return c == QChar(0x7F) ? QChar() : c;
}

QString std_text(const QLineEdit* field) { return field->text(); }

std::string field_bytes(const QLineEdit* field) { return std_text(field).toStdString(); }

QLabel* caption(const QString& text, QWidget* parent) { return new QLabel(text, parent); }

}  // namespace

// ---------------------------------------------------------------------------------------
// Creation

TDebuggerForm::TDebuggerForm(const MachineState& machine, Poke poke, QWidget* parent)
    : QWidget(parent, Qt::Window),
      machine_(machine),
      poke_(std::move(poke)),
      tracker_(std::make_unique<ValueTracker>()) {
    setObjectName("DebuggerForm");
    setWindowTitle(QStringLiteral("Debugger"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    resize(DEBUGGER_WIDTH, DEBUGGER_HEIGHT);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    SplitterMain = new QSplitter(Qt::Vertical, this);
    SplitterMain->setObjectName("Splitter1");
    SplitterMain->setHandleWidth(SPLITTER_HANDLE);
    SplitterMain->setChildrenCollapsible(false);
    layout->addWidget(SplitterMain);

    SplitterMain->addWidget(build_memory_area());

    auto* lower = new QWidget(SplitterMain);
    auto* lower_layout = new QVBoxLayout(lower);
    lower_layout->setContentsMargins(0, 0, 0, 0);
    lower_layout->setSpacing(0);
    PageControlTools = new QTabWidget(lower);
    PageControlTools->setObjectName("PageControl1");
    PageControlTools->addTab(build_listing_page(), QStringLiteral("Ассемблер"));
    PageControlTools->addTab(build_search_page(), QStringLiteral("Поиск-замена в памяти"));
    PageControlTools->addTab(build_tracker_page(), QStringLiteral("Взлом :-)"));
    PageControlTools->setCurrentIndex(0);
    lower_layout->addWidget(PageControlTools);
    build_status_bar();
    lower_layout->addWidget(StatusBar);
    SplitterMain->addWidget(lower);
    SplitterMain->setStretchFactor(0, 1);
    SplitterMain->setStretchFactor(1, 0);
    SplitterMain->setSizes({DEBUGGER_HEIGHT - DEBUGGER_LOWER_HEIGHT - SPLITTER_HANDLE, DEBUGGER_LOWER_HEIGHT});
}

TDebuggerForm::~TDebuggerForm() = default;

QWidget* TDebuggerForm::build_memory_area() {
    auto* area = new QWidget(this);
    auto* row = new QHBoxLayout(area);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    grid_model_ = new MemoryGridModel(this);
    GridMemory = new MemoryGridView(
        grid_model_, [this](QKeyEvent* event) { return GridMemoryKeyPress(event); }, area);
    GridMemory->setObjectName("StringGrid1");
    GridMemory->viewport()->installEventFilter(this);
    row->addWidget(GridMemory, 1);

    auto* panel = new QWidget(area);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(PANEL_MARGIN_LEFT, 4, 0, 4);
    column->setSpacing(2);
    CheckBoxMem = new QCheckBox(QStringLiteral("Memory RealTime"), panel);
    CheckBoxMem->setObjectName("CheckBoxMem");
    column->addWidget(CheckBoxMem);
    // 115 pixels, or as much as the check box's text needs in the host's font.
    const int panel_width = std::max(DEBUGGER_PANEL_WIDTH, PANEL_MARGIN_LEFT + CheckBoxMem->sizeHint().width());
    panel->setFixedWidth(panel_width);
    QFont bold = font();
    bold.setBold(true);
    for (size_t i = 0; i < RegisterLabels.size(); ++i) {
        auto* label = new QLabel(QString::fromLatin1(REGISTER_PREFIXES[i]), panel);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        label->setFont(bold);
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, Qt::red);
        label->setPalette(p);
        label->setTextFormat(Qt::PlainText);
        // A fixed size: a new value repaints the label alone instead of laying out the
        // window again, 50 times a second.
        label->setFixedSize(panel_width - PANEL_MARGIN_LEFT, label->sizeHint().height());
        RegisterLabels[i] = label;
        column->addWidget(label);
    }
    register_timer_ = new QTimer(this);
    register_timer_->setSingleShot(true);
    connect(register_timer_, &QTimer::timeout, this, &TDebuggerForm::write_registers);
    paused_timer_ = new QTimer(this);
    paused_timer_->setInterval(PAUSED_FOLLOW_MS);
    connect(paused_timer_, &QTimer::timeout, this, &TDebuggerForm::follow_memory);
    column->addStretch(1);
    row->addWidget(panel);
    return area;
}

QLineEdit* TDebuggerForm::hex_field(const QString& text) {
    auto* field = new QLineEdit(text);
    // Only hexadecimal digits can be typed; Backspace and Enter work as usual.
    static const QRegularExpression hex_digits(QStringLiteral("[0-9A-Fa-f]*"));
    field->setValidator(new QRegularExpressionValidator(hex_digits, field));
    return field;
}

QComboBox* TDebuggerForm::pick_only_combo(const QStringList& entries) {
    auto* combo = new QComboBox;
    combo->addItems(entries);
    combo->setCurrentIndex(0);
    combo->installEventFilter(this);  // typed characters are discarded
    return combo;
}

QListView* TDebuggerForm::result_list(QStringListModel*& model) {
    auto* list = new QListView;
    model = new QStringListModel(this);
    list->setModel(model);
    list->setUniformItemSizes(true);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(list, &QListView::pressed, this, [this, list] { ListBoxMouseDown(list); });
    return list;
}

QWidget* TDebuggerForm::build_listing_page() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* strip = new QGridLayout;
    EditListFrom = hex_field(QStringLiteral("0"));
    EditListFrom->setObjectName("Edit4");
    EditListTo = hex_field(QStringLiteral("65535"));
    EditListTo->setObjectName("Edit6");
    ButtonList = new QPushButton(QStringLiteral("Пуск"));
    ButtonList->setObjectName("Button4");
    strip->addWidget(caption(QStringLiteral("Начать с адреса"), page), 0, 0);
    strip->addWidget(caption(QStringLiteral("Закончить адресом"), page), 0, 1);
    strip->addWidget(EditListFrom, 1, 0);
    strip->addWidget(EditListTo, 1, 1);
    strip->addWidget(ButtonList, 1, 2);
    strip->setColumnStretch(3, 1);
    layout->addLayout(strip);

    listing_model_ = new ListingModel(this);
    StringGridAss = new ListingView(listing_model_, page);
    StringGridAss->setObjectName("StringGridAss");
    layout->addWidget(StringGridAss, 1);

    connect(ButtonList, &QPushButton::clicked, this, &TDebuggerForm::ButtonListClick);
    return page;
}

// A value field over its button on the left, the count label over the list of addresses
// found on the right; a mode list, when given, goes above the value with its own caption.
// The search page and the tracker's step 1 are both built here.
TDebuggerForm::ValueSearch TDebuggerForm::build_value_search(QComboBox* mode, const QString& value_text,
                                                             const QString& start_text,
                                                             QStringListModel*& found_model) {
    ValueSearch v{};
    v.page = new QWidget;
    auto* grid = new QGridLayout(v.page);
    v.value = hex_field(value_text);
    v.start = new QPushButton(start_text);
    v.count = new QLabel(FOUND);
    v.found = result_list(found_model);
    int row = 0;
    if (mode) {
        grid->addWidget(caption(QStringLiteral("Ищем"), v.page), row++, 0);
        grid->addWidget(mode, row++, 0);
    }
    grid->addWidget(caption(QStringLiteral("Значение"), v.page), row++, 0);
    grid->addWidget(v.value, row++, 0);
    grid->addWidget(v.start, row++, 0);
    grid->addWidget(v.count, 0, 1);
    grid->addWidget(v.found, 1, 1, row, 1);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 1);
    return v;
}

QWidget* TDebuggerForm::build_search_page() {
    PageControlSearch = new QTabWidget;
    PageControlSearch->setObjectName("PageControl2");

    const ValueSearch search = build_value_search(nullptr, QString(), QStringLiteral("Поиск"), search_found_model_);
    EditSearchValue = search.value;
    EditSearchValue->setObjectName("Edit7");
    ButtonSearch = search.start;
    ButtonSearch->setObjectName("Button1");
    LabelSearchFound = search.count;
    LabelSearchFound->setObjectName("Label23");
    ListBoxSearchFound = search.found;
    ListBoxSearchFound->setObjectName("ListBox2");

    auto* replace = new QWidget;
    auto* r = new QGridLayout(replace);
    EditReplaceAddress = hex_field(QStringLiteral("0"));
    EditReplaceAddress->setObjectName("Edit2");
    EditReplaceValue = hex_field(QStringLiteral("0"));
    EditReplaceValue->setObjectName("Edit3");
    CheckBoxReplaceHex = new QCheckBox(QStringLiteral("В 16-ричной системе"));
    CheckBoxReplaceHex->setObjectName("CheckBox16_10");
    ButtonReplace = new QPushButton(QStringLiteral("Поменять"));
    ButtonReplace->setObjectName("Button3");
    r->addWidget(caption(QStringLiteral("Адрес"), replace), 0, 0);
    r->addWidget(EditReplaceAddress, 1, 0);
    r->addWidget(caption(QStringLiteral("Поменять на"), replace), 0, 1);
    r->addWidget(EditReplaceValue, 1, 1);
    r->addWidget(CheckBoxReplaceHex, 2, 0, 1, 2);
    r->addWidget(ButtonReplace, 3, 0);
    r->setRowStretch(4, 1);
    r->setColumnStretch(2, 1);

    PageControlSearch->addTab(search.page, QStringLiteral("Поиск"));
    PageControlSearch->addTab(replace, QStringLiteral("Замена"));
    PageControlSearch->setCurrentIndex(0);
    connect(ButtonSearch, &QPushButton::clicked, this, &TDebuggerForm::ButtonSearchClick);
    connect(ButtonReplace, &QPushButton::clicked, this, &TDebuggerForm::ButtonReplaceClick);
    return PageControlSearch;
}

QWidget* TDebuggerForm::build_tracker_page() {
    PageControlTracker = new QTabWidget;
    PageControlTracker->setObjectName("PageControl3");
    const QStringList modes = {EXACT_VALUE, UNKNOWN_VALUE};

    ComboBoxTrackMode = pick_only_combo(modes);
    ComboBoxTrackMode->setObjectName("ComboBoxPoisk");
    const ValueSearch step1 =
        build_value_search(ComboBoxTrackMode, QStringLiteral("0"), QStringLiteral("Пуск"), track_found_model_);
    EditTrackValue = step1.value;
    EditTrackValue->setObjectName("Edit1");
    ButtonTrackStart = step1.start;
    ButtonTrackStart->setObjectName("Button5");
    LabelTrackFound = step1.count;
    LabelTrackFound->setObjectName("Label18");
    ListBoxTrackFound = step1.found;
    ListBoxTrackFound->setObjectName("ListBox1");

    auto* step2 = new QWidget;
    auto* g2 = new QGridLayout(step2);
    ComboBoxCompareMode = pick_only_combo(modes);
    ComboBoxCompareMode->setObjectName("ComboBox1");
    ComboBoxCompareChange = new QComboBox;
    ComboBoxCompareChange->setObjectName("ComboBox2");
    ComboBoxCompareChange->addItems({QStringLiteral("Изменилось"), QStringLiteral("Неизменилось"),
                                     QStringLiteral("Увеличилось"), QStringLiteral("Уменьшилось"),
                                     QStringLiteral("Увеличилось на"), QStringLiteral("Меньшилось на")});
    EditCompareBy = new QLineEdit(QStringLiteral("Edit5"));
    EditCompareBy->setObjectName("Edit5");
    ButtonCompare = new QPushButton(QStringLiteral("Пуск"));
    ButtonCompare->setObjectName("Button2");
    ListBoxCompareFound = result_list(compare_found_model_);
    ListBoxCompareFound->setObjectName("ListBox3");
    g2->addWidget(caption(QStringLiteral("Ищем"), step2), 0, 0);
    g2->addWidget(ComboBoxCompareMode, 1, 0);
    g2->addWidget(caption(QStringLiteral("Значение"), step2), 2, 0);
    g2->addWidget(ComboBoxCompareChange, 3, 0);
    g2->addWidget(EditCompareBy, 4, 0);
    g2->addWidget(ButtonCompare, 5, 0);
    g2->addWidget(ListBoxCompareFound, 0, 1, 7, 1);
    g2->setRowStretch(6, 1);
    g2->setColumnStretch(1, 1);

    PageControlTracker->addTab(step1.page, QStringLiteral("Шаг1"));
    PageControlTracker->addTab(step2, QStringLiteral("Шаг2"));
    PageControlTracker->addTab(new QWidget, QStringLiteral("Шаг3"));
    PageControlTracker->setCurrentIndex(1);
    connect(ButtonTrackStart, &QPushButton::clicked, this, &TDebuggerForm::ButtonTrackStartClick);
    connect(ButtonCompare, &QPushButton::clicked, this, &TDebuggerForm::ButtonCompareClick);
    return PageControlTracker;
}

// Three panels, 150, 200 and 50 pixels wide; the progress bar sits in the second, 3
// pixels in from its left edge and 2 below the bar's top.
void TDebuggerForm::build_status_bar() {
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName("StatusBar1");
    StatusBar->setSizeGripEnabled(false);
    StatusBar->setFixedHeight(STATUS_BAR_HEIGHT);
    int left = 0;
    for (size_t i = 0; i < StatusPanels.size(); ++i) {
        auto* panel = new QLabel(StatusBar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setGeometry(left, 0, STATUS_PANEL_WIDTHS[i], STATUS_BAR_HEIGHT);
        StatusPanels[i] = panel;
        left += STATUS_PANEL_WIDTHS[i];
    }
    progress_gauge = new QProgressBar(StatusBar);
    progress_gauge->setObjectName("progress_gauge");
    progress_gauge->setRange(0, 100);
    progress_gauge->setValue(0);
    progress_gauge->setTextVisible(false);
    place_progress_gauge();
}

void TDebuggerForm::place_progress_gauge() {
    const int h = StatusBar->height();
    progress_gauge->setGeometry(STATUS_PANEL_WIDTHS[0] + GAUGE_INSET_LEFT, GAUGE_INSET_TOP,
                                STATUS_PANEL_WIDTHS[1] - GAUGE_INSET_LEFT, h - GAUGE_INSET_TOP);
}

// ---------------------------------------------------------------------------------------
// Errors and messages

template <class F>
void TDebuggerForm::guarded(F&& work) {
    lvov::guarded(work, [this](const std::string& text) { show_error(QString::fromStdString(text)); });
}

void TDebuggerForm::show_message(const QString& text) {
    QMessageBox::information(this, QCoreApplication::applicationName(), text, QMessageBox::Ok);
}

void TDebuggerForm::show_error(const QString& text) {
    QMessageBox::critical(this, QCoreApplication::applicationName(), text, QMessageBox::Ok);
}

// ---------------------------------------------------------------------------------------
// Opening and the per-frame refresh

void TDebuggerForm::MenuDebuggerClick() {
    if (isVisible()) {
        hide();
        return;
    }
    grid_model_->fill_rows(machine_, 1, GRID_LAST_ROW);
    fill_listing(machine_.PC, machine_.PC + LISTING_OPENING_SPAN);
    if (!centred_) {
        centred_ = true;
        if (const QWidget* owner = parentWidget()) {
            move(owner->geometry().center() - QPoint(width() / 2, height() / 2));
        }
    }
    show();
    raise();
    activateWindow();
    write_registers();  // the labels show the machine from the start
}

// A running program changes most registers every frame. Writing and painting eleven
// labels 50 times a second, a screen update each time, cost the window several times its
// own work for numbers nobody can read at that pace; so the labels follow the machine
// at most every REGISTER_MS, and always once more after the last change.
void TDebuggerForm::refresh_debugger() {
    if (!isVisible()) return;
    if (!register_timer_->isActive() && register_values() != shown_values_) {
        const qint64 since = registers_written_.isValid() ? registers_written_.elapsed() : REGISTER_MS;
        register_timer_->start(static_cast<int>(std::clamp<qint64>(REGISTER_MS - since, 0, REGISTER_MS)));
    }
    if (!CheckBoxMem->isChecked()) return;
    const int top = grid_top_row();
    if (top < 1) return;
    grid_model_->fill_rows(machine_, top, top + grid_visible_rows() - 1);
}

void TDebuggerForm::set_paused(bool paused) {
    if (!paused) {
        paused_timer_->stop();
        return;
    }
    paused_timer_->start();
    follow_memory();
}

// A comparison of the few visible rows with memory: cheap enough to make a few times a
// second, and it catches every way memory can change without each having to say so.
void TDebuggerForm::follow_memory() {
    if (!isVisible()) return;
    const int top = grid_top_row();
    if (top < 1) return;
    grid_model_->follow_rows(machine_, top, top + grid_visible_rows());
}

std::array<int64_t, REGISTER_LABELS> TDebuggerForm::register_values() const {
    const MachineState& m = machine_;
    return {m.B, m.C, m.D, m.E, m.H, m.L, m.A, m.F, m.PC, m.SP, m.cycles};
}

// The labels from the machine now; only a label whose value changed is written (and so
// repainted).
void TDebuggerForm::write_registers() {
    register_timer_->stop();
    const std::array<int64_t, REGISTER_LABELS> values = register_values();
    for (size_t i = 0; i < values.size(); ++i) {
        if (shown_values_[i] == values[i]) continue;
        shown_values_[i] = values[i];
        RegisterLabels[i]->setText(QString::fromLatin1(REGISTER_PREFIXES[i]) + QString::number(values[i]));
    }
    registers_written_.restart();
}

int TDebuggerForm::grid_top_row() const { return GridMemory->rowAt(0) + 1; }

int TDebuggerForm::grid_visible_rows() const {
    return std::max(0, GridMemory->viewport()->height() / GridMemory->verticalHeader()->defaultSectionSize());
}

// ---------------------------------------------------------------------------------------
// Grid: current cell, keys, hover

GridCell TDebuggerForm::grid_cell() const {
    const QModelIndex i = GridMemory->currentIndex();
    return i.isValid() ? GridCell{i.column() + 1, i.row() + 1} : GridCell{};
}

void TDebuggerForm::set_grid_cell(GridCell cell) {
    const QModelIndex i = grid_model_->index(cell.row - 1, cell.column - 1);
    if (!i.isValid()) return;
    GridMemory->setCurrentIndex(i);
    GridMemory->scrollTo(i);
}

void TDebuggerForm::go_to_address(int n) {
    set_grid_cell(cell_of_address(static_cast<uint16_t>(n)));
    GridMemory->setFocus(Qt::OtherFocusReason);
}

// Enter moves the current cell on; hexadecimal digits reach the cell editor; every
// other typed character, Backspace included, is dropped. Keys that type nothing
// (arrows, Delete, Tab) keep their usual meaning.
bool TDebuggerForm::GridMemoryKeyPress(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        set_grid_cell(cell_after_enter(grid_cell()));
        return true;
    }
    if (event->key() == Qt::Key_Backspace) return true;
    const QChar c = typed_char(*event);
    if (c.isNull() || c.unicode() < 32) return false;
    return !is_hex_digit(c);
}

void TDebuggerForm::GridMemoryMouseMove(const QPoint& viewport_pos) {
    const QModelIndex i = GridMemory->indexAt(viewport_pos);
    if (!i.isValid() || i.column() >= GRID_BYTES_PER_ROW) return;  // the character column
    const auto address = static_cast<uint16_t>(i.row() * GRID_BYTES_PER_ROW + i.column());
    StatusPanels[0]->setText(qs(hover_text(machine_, address)));
}

bool TDebuggerForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == GridMemory->viewport() && event->type() == QEvent::MouseMove) {
        GridMemoryMouseMove(static_cast<QMouseEvent*>(event)->position().toPoint());
    } else if ((watched == ComboBoxTrackMode || watched == ComboBoxCompareMode) && event->type() == QEvent::KeyPress) {
        // The mode lists are set by picking an entry only: typed characters are dropped.
        const QChar c = typed_char(*static_cast<QKeyEvent*>(event));
        if (!c.isNull()) return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------
// Listing

void TDebuggerForm::fill_listing(int32_t start, int32_t end) {
    listing_model_->set_rows({});
    StringGridAss->reset_column_widths();
    progress_gauge->setRange(0, listing_progress_range(start, end));
    progress_gauge->setValue(0);
    // The bar repaints at once on every move; a step every LISTING_PROGRESS_STEP rows
    // keeps that from costing more than the listing itself.
    auto rows = listing_rows(machine_, start, end, [&](int n) {
        if (n % LISTING_PROGRESS_STEP == 0) progress_gauge->setValue(n);
    });
    listing_model_->set_rows(std::move(rows));
    progress_gauge->setValue(0);
}

void TDebuggerForm::ButtonListClick() {
    guarded([&] {
        const int32_t end = StrToInt(field_bytes(EditListTo));  // the end field is read first
        const int32_t start = StrToInt(field_bytes(EditListFrom));
        fill_listing(start, end);
    });
}

// ---------------------------------------------------------------------------------------
// Search and replace

QStringList TDebuggerForm::list_texts(const QListView* list) {
    const auto* model = qobject_cast<const QStringListModel*>(list->model());
    return model ? model->stringList() : QStringList();
}

namespace {
QStringList decimal_entries(const std::vector<uint32_t>& addresses) {
    QStringList entries;
    entries.reserve(static_cast<qsizetype>(addresses.size()));
    for (uint32_t a : addresses) entries << QString::number(a);
    return entries;
}
}  // namespace

// The start shared by the search and step 1: the progress range, the list emptied, then
// the value field read (a bad text stops here, leaving the list empty).
int32_t TDebuggerForm::start_search(QStringListModel* list, const QLineEdit* field) {
    progress_gauge->setRange(0, SEARCH_RANGE_MAX);
    progress_gauge->setValue(0);
    list->setStringList({});
    return StrToInt(field_bytes(field));
}

// Lists every address holding the value and counts them in the label, or says that
// nothing was found and leaves the label alone.
void TDebuggerForm::list_matches(int32_t value, QStringListModel* list, QLabel* label) {
    const std::vector<uint32_t> found = search_memory(machine_, value);
    if (found.empty()) {
        show_message(NOT_FOUND);
        return;
    }
    list->setStringList(decimal_entries(found));
    progress_gauge->setValue(static_cast<int>(found.back()));  // stays at the last match
    label->setText(FOUND + QString::number(found.size()));
}

void TDebuggerForm::ButtonSearchClick() {
    guarded([&] {
        list_matches(start_search(search_found_model_, EditSearchValue), search_found_model_, LabelSearchFound);
    });
}

void TDebuggerForm::ButtonReplaceClick() {
    guarded([&] {
        const bool hex = CheckBoxReplaceHex->isChecked();
        const int32_t value = hex ? HexToInt(field_bytes(EditReplaceValue)) : StrToInt(field_bytes(EditReplaceValue));
        const int32_t address =
            hex ? HexToInt(field_bytes(EditReplaceAddress)) : StrToInt(field_bytes(EditReplaceAddress));
        poke_(address, value);
    });
}

void TDebuggerForm::ListBoxMouseDown(QListView* list) {
    const QModelIndex i = list->currentIndex();
    if (list->model()->rowCount() == 0 || !i.isValid()) return;
    guarded([&] { go_to_address(StrToInt(i.data().toString().toStdString())); });
}

// ---------------------------------------------------------------------------------------
// Value tracker

void TDebuggerForm::ButtonTrackStartClick() {
    guarded([&] {
        const int32_t value = start_search(track_found_model_, EditTrackValue);  // read in both modes
        if (ComboBoxTrackMode->currentIndex() == 0) {
            list_matches(value, track_found_model_, LabelTrackFound);
        } else {
            LabelTrackFound->setText(REMEMBERED + QString::number(tracker_->remember(machine_)));
        }
    });
}

void TDebuggerForm::ButtonCompareClick() {
    const QStringList found = decimal_entries(tracker_->decreased_by_one(machine_));
    if (found.isEmpty()) return;
    compare_found_model_->setStringList(compare_found_model_->stringList() + found);
}

}  // namespace lvov
