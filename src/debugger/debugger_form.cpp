#include "debugger/debugger_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPainter>
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

namespace lvov {

namespace {

constexpr int GRID_MODEL_ROWS = GRID_ROWS - 1;        // rows below the header row
constexpr int GRID_MODEL_COLUMNS = GRID_COLUMNS - 1;  // columns right of the address column
constexpr int GRID_MODEL_CHAR_COLUMN = GRID_CHAR_COLUMN - 1;
constexpr int LISTING_COLUMNS = 4;
constexpr std::array<int, LISTING_COLUMNS> LISTING_WIDTHS = {60, 150, 60, 60};
constexpr int LISTING_TEXT_INSET = 2;
constexpr int GRID_TEXT_INSET = 2;
constexpr int LISTING_PROGRESS_STEP = 256;
constexpr std::array<int, 3> STATUS_PANEL_WIDTHS = {150, 200, 50};
constexpr int GAUGE_INSET_LEFT = 3;
constexpr int GAUGE_INSET_TOP = 2;
constexpr int STATUS_BAR_HEIGHT = 19;
constexpr int SEARCH_RANGE_MAX = 65535;
constexpr int SPLITTER_HANDLE = 3;
constexpr int PANEL_MARGIN_LEFT = 2;
constexpr int REGISTER_MS = 200;  // the register labels change at most five times a second

const QColor NAVY(0, 0, 128);
const QColor MAROON(128, 0, 0);

const QString FOUND = QStringLiteral("Найдено:");
const QString REMEMBERED = QStringLiteral("Запомнил:");
const QString NOT_FOUND = QStringLiteral("Значение не найдено !!!");
const QString EXACT_VALUE = QStringLiteral("Точное значение");
const QString UNKNOWN_VALUE = QStringLiteral("Неизвестное значение");

const std::array<const char*, REGISTER_LABELS> REGISTER_PREFIXES = {
    "r_B:", "r_C:", "r_D:", "r_E:", "r_H:", "r_L:", "r_A:", "r_F:", "r_PC:", "r_SP:", "clock:"};

QString qs(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

bool is_hex_digit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

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

// The memory grid's cell editor: the grid's key filter runs before the editor sees a key.
class MemoryGridDelegate : public QStyledItemDelegate {
public:
    MemoryGridDelegate(TDebuggerForm& form, QObject* parent) : QStyledItemDelegate(parent), form_(form) {}

    // Cells are plain text: the selection's background and the text, drawn directly
    // rather than through the style, which keeps a frame of the live grid cheap.
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        if (selected) painter->fillRect(option.rect, option.palette.highlight());
        painter->setPen(selected ? option.palette.highlightedText().color() : option.palette.text().color());
        painter->drawText(option.rect.adjusted(GRID_TEXT_INSET, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          index.data(Qt::DisplayRole).toString());
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            auto* editor = qobject_cast<QWidget*>(object);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && editor) {
                // The typed text goes into the cell before the current cell moves on.
                emit commitData(editor);
                emit closeEditor(editor, QAbstractItemDelegate::NoHint);
            }
            if (form_.StringGrid1KeyPress(key)) return true;
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    TDebuggerForm& form_;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Memory grid model

MemoryGridModel::MemoryGridModel(QObject* parent)
    : QAbstractTableModel(parent), cells_(static_cast<size_t>(GRID_MODEL_ROWS) * GRID_MODEL_COLUMNS) {
    for (int v = 0; v < 256; ++v) byte_texts_[static_cast<size_t>(v)] = qs(byte_text(static_cast<uint8_t>(v)));
    row_addresses_.reserve(GRID_MODEL_ROWS);
    for (int r = 1; r < GRID_ROWS; ++r) row_addresses_ << qs(row_address_text(r));
}

int MemoryGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : GRID_MODEL_ROWS; }
int MemoryGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : GRID_MODEL_COLUMNS; }

QVariant MemoryGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
    return cells_[static_cast<size_t>(index.row()) * GRID_MODEL_COLUMNS + static_cast<size_t>(index.column())];
}

bool MemoryGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole) return false;
    cells_[static_cast<size_t>(index.row()) * GRID_MODEL_COLUMNS + static_cast<size_t>(index.column())] =
        value.toString();
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

Qt::ItemFlags MemoryGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

QVariant MemoryGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return row_addresses_.value(section);
    if (section < GRID_BYTES_PER_ROW) return QString(QChar(u"0123456789ABCDEF"[section]));
    return QString();  // the character column has no header
}

void MemoryGridModel::fill_rows(const MachineState& m, int first, int last) {
    first = std::max(first, 1);
    last = std::min(last, GRID_LAST_ROW);
    if (first > last) return;
    // Only the rows whose texts change are repainted: a byte cell that still shares the
    // text of its byte is unchanged, and the character text is compared before it is set.
    int changed_first = last + 1, changed_last = first - 1;
    for (int r = first; r <= last; ++r) {
        const auto start = static_cast<uint16_t>((r - 1) * GRID_BYTES_PER_ROW);
        QString* row = &cells_[static_cast<size_t>(r - 1) * GRID_MODEL_COLUMNS];
        bool changed = false;
        for (int c = 0; c < GRID_BYTES_PER_ROW; ++c) {
            const QString& text = byte_texts_[m.memory[start + c]];
            if (row[c].constData() != text.constData()) {
                row[c] = text;
                changed = true;
            }
        }
        const std::string chars = row_chars(m, start);
        const QLatin1StringView chars_view(chars.data(), static_cast<qsizetype>(chars.size()));
        if (row[GRID_MODEL_CHAR_COLUMN] != chars_view) {
            row[GRID_MODEL_CHAR_COLUMN] = QString(chars_view);
            changed = true;
        }
        if (changed) {
            changed_first = std::min(changed_first, r);
            changed_last = r;
        }
    }
    if (changed_first <= changed_last) {
        emit dataChanged(index(changed_first - 1, 0), index(changed_last - 1, GRID_MODEL_COLUMNS - 1), {Qt::DisplayRole});
    }
}

QString MemoryGridModel::text(int column, int row) const {
    if (row == 0) return column >= 1 ? headerData(column - 1, Qt::Horizontal, Qt::DisplayRole).toString() : QString();
    if (column == 0) return headerData(row - 1, Qt::Vertical, Qt::DisplayRole).toString();
    return data(index(row - 1, column - 1), Qt::DisplayRole).toString();
}

// ---------------------------------------------------------------------------------------
// Listing model and its colours

int ListingModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size()) + 1;  // the empty last row
}
int ListingModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : LISTING_COLUMNS; }

QVariant ListingModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole || index.row() >= static_cast<int>(rows_.size())) return {};
    const ListingRow& r = rows_[static_cast<size_t>(index.row())];
    switch (index.column()) {
        case 0: return qs(r.address);
        case 1: return qs(r.bytes);
        case 2: return qs(r.mnemonic);
        default: return qs(r.operand);
    }
}

void ListingModel::set_rows(std::vector<ListingRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

// The platform draws the cell (background, selection); the text goes on top in the
// column's colour: address navy bold, bytes navy, mnemonic black bold, operand maroon bold.
void ListingDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget* widget = opt.widget;
    (widget ? widget->style() : QApplication::style())->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    static const std::array<QColor, LISTING_COLUMNS> colours = {NAVY, NAVY, QColor(Qt::black), MAROON};
    static const std::array<bool, LISTING_COLUMNS> bold = {true, false, true, true};
    const int column = std::clamp(index.column(), 0, LISTING_COLUMNS - 1);
    QFont font = opt.font;
    font.setBold(bold[static_cast<size_t>(column)]);
    painter->save();
    painter->setFont(font);
    painter->setPen(colours[static_cast<size_t>(column)]);
    const QRect r = option.rect.adjusted(LISTING_TEXT_INSET, LISTING_TEXT_INSET, 0, 0);
    painter->drawText(r, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    painter->restore();
}

// ---------------------------------------------------------------------------------------
// Memory grid view

MemoryGridView::MemoryGridView(TDebuggerForm& form, QWidget* parent) : QTableView(parent), form_(form) {}

void MemoryGridView::keyPressEvent(QKeyEvent* event) {
    if (form_.StringGrid1KeyPress(event)) return;
    QTableView::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------------
// Creation

TDebuggerForm::TDebuggerForm(MachineState& machine, QWidget* parent)
    : QWidget(parent, Qt::Window), machine_(machine), tracker_(std::make_unique<ValueTracker>()) {
    setObjectName("DebuggerForm");
    setWindowTitle(QStringLiteral("Debugger"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    resize(DEBUGGER_WIDTH, DEBUGGER_HEIGHT);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Splitter1 = new QSplitter(Qt::Vertical, this);
    Splitter1->setObjectName("Splitter1");
    Splitter1->setHandleWidth(SPLITTER_HANDLE);
    Splitter1->setChildrenCollapsible(false);
    layout->addWidget(Splitter1);

    Splitter1->addWidget(build_memory_area());

    auto* lower = new QWidget(Splitter1);
    auto* lower_layout = new QVBoxLayout(lower);
    lower_layout->setContentsMargins(0, 0, 0, 0);
    lower_layout->setSpacing(0);
    PageControl1 = new QTabWidget(lower);
    PageControl1->setObjectName("PageControl1");
    PageControl1->addTab(build_listing_page(), QStringLiteral("Ассемблер"));
    PageControl1->addTab(build_search_page(), QStringLiteral("Поиск-замена в памяти"));
    PageControl1->addTab(build_tracker_page(), QStringLiteral("Взлом :-)"));
    PageControl1->setCurrentIndex(0);
    lower_layout->addWidget(PageControl1);
    build_status_bar();
    lower_layout->addWidget(StatusBar1);
    Splitter1->addWidget(lower);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({DEBUGGER_HEIGHT - DEBUGGER_LOWER_HEIGHT - SPLITTER_HANDLE, DEBUGGER_LOWER_HEIGHT});
}

TDebuggerForm::~TDebuggerForm() = default;

QWidget* TDebuggerForm::build_memory_area() {
    auto* area = new QWidget(this);
    auto* row = new QHBoxLayout(area);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    grid_model_ = new MemoryGridModel(this);
    StringGrid1 = new MemoryGridView(*this, area);
    StringGrid1->setObjectName("StringGrid1");
    StringGrid1->setModel(grid_model_);
    StringGrid1->setItemDelegate(new MemoryGridDelegate(*this, StringGrid1));
    StringGrid1->setShowGrid(false);
    StringGrid1->setWordWrap(false);
    StringGrid1->setSelectionMode(QAbstractItemView::ContiguousSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                                 QAbstractItemView::EditKeyPressed);
    StringGrid1->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    StringGrid1->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    auto* hh = StringGrid1->horizontalHeader();
    auto* vh = StringGrid1->verticalHeader();
    hh->setSectionResizeMode(QHeaderView::Fixed);
    vh->setSectionResizeMode(QHeaderView::Fixed);
    hh->setMinimumSectionSize(1);
    vh->setMinimumSectionSize(1);
    hh->setDefaultSectionSize(GRID_CELL_SIZE);
    vh->setDefaultSectionSize(GRID_CELL_SIZE);
    hh->setFixedHeight(GRID_CELL_SIZE);
    vh->setFixedWidth(GRID_ADDRESS_WIDTH);
    hh->resizeSection(GRID_MODEL_CHAR_COLUMN, GRID_CHARS_WIDTH);
    hh->setHighlightSections(false);
    vh->setHighlightSections(false);
    hh->setSectionsClickable(false);
    vh->setSectionsClickable(false);
    // The fixed header row and column are white and carry no frames.
    const QString header_style = QStringLiteral("QHeaderView::section { background-color: white; border: none; padding: 0px; }"
                                                "QTableCornerButton::section { background-color: white; border: none; }");
    hh->setStyleSheet(header_style);
    vh->setStyleSheet(header_style);
    StringGrid1->setStyleSheet(QStringLiteral("QTableCornerButton::section { background-color: white; border: none; }"));
    StringGrid1->setCornerButtonEnabled(false);
    StringGrid1->viewport()->setMouseTracking(true);
    StringGrid1->viewport()->installEventFilter(this);
    StringGrid1->setCurrentIndex(grid_model_->index(0, 0));
    row->addWidget(StringGrid1, 1);

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
    Edit4 = hex_field(QStringLiteral("0"));
    Edit4->setObjectName("Edit4");
    Edit6 = hex_field(QStringLiteral("65535"));
    Edit6->setObjectName("Edit6");
    Button4 = new QPushButton(QStringLiteral("Пуск"));
    Button4->setObjectName("Button4");
    strip->addWidget(caption(QStringLiteral("Начать с адреса"), page), 0, 0);
    strip->addWidget(caption(QStringLiteral("Закончить адресом"), page), 0, 1);
    strip->addWidget(Edit4, 1, 0);
    strip->addWidget(Edit6, 1, 1);
    strip->addWidget(Button4, 1, 2);
    strip->setColumnStretch(3, 1);
    layout->addLayout(strip);

    listing_model_ = new ListingModel(this);
    StringGridAss = new QTableView(page);
    StringGridAss->setObjectName("StringGridAss");
    StringGridAss->setModel(listing_model_);
    StringGridAss->setItemDelegate(new ListingDelegate(StringGridAss));
    StringGridAss->horizontalHeader()->hide();
    StringGridAss->verticalHeader()->hide();
    StringGridAss->setShowGrid(false);
    StringGridAss->setWordWrap(false);
    StringGridAss->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGridAss->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGridAss->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGridAss->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGridAss->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGridAss->verticalHeader()->setDefaultSectionSize(GRID_CELL_SIZE);
    StringGridAss->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    for (int c = 0; c < LISTING_COLUMNS; ++c) StringGridAss->setColumnWidth(c, LISTING_WIDTHS[static_cast<size_t>(c)]);
    layout->addWidget(StringGridAss, 1);

    connect(Button4, &QPushButton::clicked, this, &TDebuggerForm::Button4Click);
    return page;
}

QWidget* TDebuggerForm::build_search_page() {
    PageControl2 = new QTabWidget;
    PageControl2->setObjectName("PageControl2");

    auto* search = new QWidget;
    auto* s = new QGridLayout(search);
    Edit7 = hex_field(QString());
    Edit7->setObjectName("Edit7");
    Button1 = new QPushButton(QStringLiteral("Поиск"));
    Button1->setObjectName("Button1");
    Label23 = new QLabel(FOUND);
    Label23->setObjectName("Label23");
    ListBox2 = result_list(list2_model_);
    ListBox2->setObjectName("ListBox2");
    s->addWidget(caption(QStringLiteral("Значение"), search), 0, 0);
    s->addWidget(Edit7, 1, 0);
    s->addWidget(Button1, 2, 0);
    s->addWidget(Label23, 0, 1);
    s->addWidget(ListBox2, 1, 1, 3, 1);
    s->setRowStretch(3, 1);
    s->setColumnStretch(1, 1);

    auto* replace = new QWidget;
    auto* r = new QGridLayout(replace);
    Edit2 = hex_field(QStringLiteral("0"));
    Edit2->setObjectName("Edit2");
    Edit3 = hex_field(QStringLiteral("0"));
    Edit3->setObjectName("Edit3");
    CheckBox16_10 = new QCheckBox(QStringLiteral("В 16-ричной системе"));
    CheckBox16_10->setObjectName("CheckBox16_10");
    Button3 = new QPushButton(QStringLiteral("Поменять"));
    Button3->setObjectName("Button3");
    r->addWidget(caption(QStringLiteral("Адрес"), replace), 0, 0);
    r->addWidget(Edit2, 1, 0);
    r->addWidget(caption(QStringLiteral("Поменять на"), replace), 0, 1);
    r->addWidget(Edit3, 1, 1);
    r->addWidget(CheckBox16_10, 2, 0, 1, 2);
    r->addWidget(Button3, 3, 0);
    r->setRowStretch(4, 1);
    r->setColumnStretch(2, 1);

    PageControl2->addTab(search, QStringLiteral("Поиск"));
    PageControl2->addTab(replace, QStringLiteral("Замена"));
    PageControl2->setCurrentIndex(0);
    connect(Button1, &QPushButton::clicked, this, &TDebuggerForm::Button1Click);
    connect(Button3, &QPushButton::clicked, this, &TDebuggerForm::Button3Click);
    return PageControl2;
}

QWidget* TDebuggerForm::build_tracker_page() {
    PageControl3 = new QTabWidget;
    PageControl3->setObjectName("PageControl3");
    const QStringList modes = {EXACT_VALUE, UNKNOWN_VALUE};

    auto* step1 = new QWidget;
    auto* g1 = new QGridLayout(step1);
    ComboBoxPoisk = pick_only_combo(modes);
    ComboBoxPoisk->setObjectName("ComboBoxPoisk");
    Edit1 = hex_field(QStringLiteral("0"));
    Edit1->setObjectName("Edit1");
    Button5 = new QPushButton(QStringLiteral("Пуск"));
    Button5->setObjectName("Button5");
    Label18 = new QLabel(FOUND);
    Label18->setObjectName("Label18");
    ListBox1 = result_list(list1_model_);
    ListBox1->setObjectName("ListBox1");
    g1->addWidget(caption(QStringLiteral("Ищем"), step1), 0, 0);
    g1->addWidget(ComboBoxPoisk, 1, 0);
    g1->addWidget(caption(QStringLiteral("Значение"), step1), 2, 0);
    g1->addWidget(Edit1, 3, 0);
    g1->addWidget(Button5, 4, 0);
    g1->addWidget(Label18, 0, 1);
    g1->addWidget(ListBox1, 1, 1, 5, 1);
    g1->setRowStretch(5, 1);
    g1->setColumnStretch(1, 1);

    auto* step2 = new QWidget;
    auto* g2 = new QGridLayout(step2);
    ComboBox1 = pick_only_combo(modes);
    ComboBox1->setObjectName("ComboBox1");
    ComboBox2 = new QComboBox;
    ComboBox2->setObjectName("ComboBox2");
    ComboBox2->addItems({QStringLiteral("Изменилось"), QStringLiteral("Неизменилось"), QStringLiteral("Увеличилось"),
                         QStringLiteral("Уменьшилось"), QStringLiteral("Увеличилось на"),
                         QStringLiteral("Меньшилось на")});
    Edit5 = new QLineEdit(QStringLiteral("Edit5"));
    Edit5->setObjectName("Edit5");
    Button2 = new QPushButton(QStringLiteral("Пуск"));
    Button2->setObjectName("Button2");
    ListBox3 = result_list(list3_model_);
    ListBox3->setObjectName("ListBox3");
    g2->addWidget(caption(QStringLiteral("Ищем"), step2), 0, 0);
    g2->addWidget(ComboBox1, 1, 0);
    g2->addWidget(caption(QStringLiteral("Значение"), step2), 2, 0);
    g2->addWidget(ComboBox2, 3, 0);
    g2->addWidget(Edit5, 4, 0);
    g2->addWidget(Button2, 5, 0);
    g2->addWidget(ListBox3, 0, 1, 7, 1);
    g2->setRowStretch(6, 1);
    g2->setColumnStretch(1, 1);

    PageControl3->addTab(step1, QStringLiteral("Шаг1"));
    PageControl3->addTab(step2, QStringLiteral("Шаг2"));
    PageControl3->addTab(new QWidget, QStringLiteral("Шаг3"));
    PageControl3->setCurrentIndex(1);
    connect(Button5, &QPushButton::clicked, this, &TDebuggerForm::Button5Click);
    connect(Button2, &QPushButton::clicked, this, &TDebuggerForm::Button2Click);
    return PageControl3;
}

// Three panels, 150, 200 and 50 pixels wide; the progress bar sits in the second, 3
// pixels in from its left edge and 2 below the bar's top.
void TDebuggerForm::build_status_bar() {
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setFixedHeight(STATUS_BAR_HEIGHT);
    int left = 0;
    for (size_t i = 0; i < StatusPanels.size(); ++i) {
        auto* panel = new QLabel(StatusBar1);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setGeometry(left, 0, STATUS_PANEL_WIDTHS[i], STATUS_BAR_HEIGHT);
        StatusPanels[i] = panel;
        left += STATUS_PANEL_WIDTHS[i];
    }
    progress_gauge = new QProgressBar(StatusBar1);
    progress_gauge->setObjectName("progress_gauge");
    progress_gauge->setRange(0, 100);
    progress_gauge->setValue(0);
    progress_gauge->setTextVisible(false);
    place_progress_gauge();
}

void TDebuggerForm::place_progress_gauge() {
    const int h = StatusBar1->height();
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
    AssFromTo(machine_.PC, machine_.PC + LISTING_OPENING_SPAN);
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

int TDebuggerForm::grid_top_row() const { return StringGrid1->rowAt(0) + 1; }

int TDebuggerForm::grid_visible_rows() const {
    return std::max(0, StringGrid1->viewport()->height() / StringGrid1->verticalHeader()->defaultSectionSize());
}

// ---------------------------------------------------------------------------------------
// Grid: current cell, keys, hover

GridCell TDebuggerForm::grid_cell() const {
    const QModelIndex i = StringGrid1->currentIndex();
    return i.isValid() ? GridCell{i.column() + 1, i.row() + 1} : GridCell{};
}

void TDebuggerForm::set_grid_cell(GridCell cell) {
    const QModelIndex i = grid_model_->index(cell.row - 1, cell.column - 1);
    if (!i.isValid()) return;
    StringGrid1->setCurrentIndex(i);
    StringGrid1->scrollTo(i);
}

void TDebuggerForm::go_to_address(int n) {
    set_grid_cell(cell_of_address(static_cast<uint16_t>(n)));
    StringGrid1->setFocus(Qt::OtherFocusReason);
}

// Enter moves the current cell on; hexadecimal digits reach the cell editor; every
// other typed character, Backspace included, is dropped. Keys that type nothing
// (arrows, Delete, Tab) keep their usual meaning.
bool TDebuggerForm::StringGrid1KeyPress(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        set_grid_cell(cell_after_enter(grid_cell()));
        return true;
    }
    if (event->key() == Qt::Key_Backspace) return true;
    const QChar c = typed_char(*event);
    if (c.isNull() || c.unicode() < 32) return false;
    return !is_hex_digit(c);
}

void TDebuggerForm::StringGrid1MouseMove(const QPoint& viewport_pos) {
    const QModelIndex i = StringGrid1->indexAt(viewport_pos);
    if (!i.isValid() || i.column() >= GRID_BYTES_PER_ROW) return;  // the character column
    const auto address = static_cast<uint16_t>(i.row() * GRID_BYTES_PER_ROW + i.column());
    StatusPanels[0]->setText(qs(hover_text(machine_, address)));
}

bool TDebuggerForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == StringGrid1->viewport() && event->type() == QEvent::MouseMove) {
        StringGrid1MouseMove(static_cast<QMouseEvent*>(event)->position().toPoint());
    } else if ((watched == ComboBoxPoisk || watched == ComboBox1) && event->type() == QEvent::KeyPress) {
        // The mode lists are set by picking an entry only: typed characters are dropped.
        const QChar c = typed_char(*static_cast<QKeyEvent*>(event));
        if (!c.isNull()) return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------
// Listing

void TDebuggerForm::AssFromTo(int32_t start, int32_t end) {
    listing_model_->set_rows({});
    for (int c = 0; c < LISTING_COLUMNS; ++c) StringGridAss->setColumnWidth(c, LISTING_WIDTHS[static_cast<size_t>(c)]);
    progress_gauge->setRange(0, listing_progress_range(start, end));
    progress_gauge->setValue(0);
    // The bar repaints at once on every move; a step every LISTING_PROGRESS_STEP rows
    // keeps that from costing more than the listing itself.
    auto rows = lvov::AssFromTo(machine_, start, end, [&](int n) {
        if (n % LISTING_PROGRESS_STEP == 0) progress_gauge->setValue(n);
    });
    listing_model_->set_rows(std::move(rows));
    progress_gauge->setValue(0);
}

void TDebuggerForm::Button4Click() {
    guarded([&] {
        const int32_t end = StrToInt(field_bytes(Edit6));  // the end field is read first
        const int32_t start = StrToInt(field_bytes(Edit4));
        AssFromTo(start, end);
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

void TDebuggerForm::Button1Click() {
    guarded([&] { list_matches(start_search(list2_model_, Edit7), list2_model_, Label23); });
}

void TDebuggerForm::Button3Click() {
    guarded([&] {
        const bool hex = CheckBox16_10->isChecked();
        const int32_t value = hex ? HexToInt(field_bytes(Edit3)) : StrToInt(field_bytes(Edit3));
        const int32_t address = hex ? HexToInt(field_bytes(Edit2)) : StrToInt(field_bytes(Edit2));
        replace_byte(machine_, address, value);
    });
}

void TDebuggerForm::ListBoxMouseDown(QListView* list) {
    const QModelIndex i = list->currentIndex();
    if (list->model()->rowCount() == 0 || !i.isValid()) return;
    guarded([&] { go_to_address(StrToInt(i.data().toString().toStdString())); });
}

// ---------------------------------------------------------------------------------------
// Value tracker

void TDebuggerForm::Button5Click() {
    guarded([&] {
        const int32_t value = start_search(list1_model_, Edit1);  // read in both modes
        if (ComboBoxPoisk->currentIndex() == 0) {
            list_matches(value, list1_model_, Label18);
        } else {
            Label18->setText(REMEMBERED + QString::number(tracker_->remember(machine_)));
        }
    });
}

void TDebuggerForm::Button2Click() {
    const QStringList found = decimal_entries(tracker_->decreased_by_one(machine_));
    if (found.isEmpty()) return;
    list3_model_->setStringList(list3_model_->stringList() + found);
}

}  // namespace lvov
