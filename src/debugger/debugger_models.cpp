#include "debugger/debugger_models.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <algorithm>
#include <utility>

#include "core/hex.h"

namespace lvov {

namespace {

constexpr int GRID_TEXT_INSET = 2;
constexpr int LISTING_TEXT_INSET = 2;
constexpr std::array<int, LISTING_COLUMNS> LISTING_WIDTHS = {60, 150, 60, 60};

const QColor NAVY(0, 0, 128);
const QColor MAROON(128, 0, 0);

QString qs(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

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
    if (section < GRID_BYTES_PER_ROW) return QString::fromStdString(hex_digits(static_cast<uint32_t>(section), 1));
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
            const uint8_t byte = m.memory[start + c];
            written_[start + c] = byte;
            const QString& text = byte_texts_[byte];
            if (row[c].constData() != text.constData()) {
                row[c] = text;
                changed = true;
            }
        }
        if (write_chars(m, row, start)) changed = true;
        if (changed) {
            changed_first = std::min(changed_first, r);
            changed_last = r;
        }
    }
    rows_changed(changed_first, changed_last);
}

void MemoryGridModel::follow_rows(const MachineState& m, int first, int last) {
    first = std::max(first, 1);
    last = std::min(last, GRID_LAST_ROW);
    int changed_first = last + 1, changed_last = first - 1;
    for (int r = first; r <= last; ++r) {
        const auto start = static_cast<uint16_t>((r - 1) * GRID_BYTES_PER_ROW);
        QString* row = &cells_[static_cast<size_t>(r - 1) * GRID_MODEL_COLUMNS];
        bool changed = false;
        for (int c = 0; c < GRID_BYTES_PER_ROW; ++c) {
            const uint8_t byte = m.memory[start + c];
            if (written_[start + c] == byte) continue;
            written_[start + c] = byte;
            row[c] = byte_texts_[byte];
            changed = true;
        }
        if (!changed) continue;
        write_chars(m, row, start);
        changed_first = std::min(changed_first, r);
        changed_last = r;
    }
    rows_changed(changed_first, changed_last);
}

bool MemoryGridModel::write_chars(const MachineState& m, QString* row, uint16_t start) {
    const std::string chars = row_chars(m, start);
    const QLatin1StringView chars_view(chars.data(), static_cast<qsizetype>(chars.size()));
    if (row[GRID_MODEL_CHAR_COLUMN] == chars_view) return false;
    row[GRID_MODEL_CHAR_COLUMN] = QString(chars_view);
    return true;
}

void MemoryGridModel::rows_changed(int first, int last) {
    if (first > last) return;
    emit dataChanged(index(first - 1, 0), index(last - 1, GRID_MODEL_COLUMNS - 1), {Qt::DisplayRole});
}

QString MemoryGridModel::text(int column, int row) const {
    if (row == 0) return column >= 1 ? headerData(column - 1, Qt::Horizontal, Qt::DisplayRole).toString() : QString();
    if (column == 0) return headerData(row - 1, Qt::Vertical, Qt::DisplayRole).toString();
    return data(index(row - 1, column - 1), Qt::DisplayRole).toString();
}

// ---------------------------------------------------------------------------------------
// Memory grid delegate and view

MemoryGridDelegate::MemoryGridDelegate(GridKeyFilter key_filter, QObject* parent)
    : QStyledItemDelegate(parent), key_filter_(std::move(key_filter)) {}

// Cells are plain text: the selection's background and the text, drawn directly rather
// than through the style, which keeps a frame of the live grid cheap.
void MemoryGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    if (selected) painter->fillRect(option.rect, option.palette.highlight());
    painter->setPen(selected ? option.palette.highlightedText().color() : option.palette.text().color());
    painter->drawText(option.rect.adjusted(GRID_TEXT_INSET, 0, 0, 0),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, index.data(Qt::DisplayRole).toString());
}

bool MemoryGridDelegate::eventFilter(QObject* object, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* editor = qobject_cast<QWidget*>(object);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && editor) {
            // The typed text goes into the cell before the current cell moves on.
            emit commitData(editor);
            emit closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
        if (key_filter_(key)) return true;
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

MemoryGridView::MemoryGridView(MemoryGridModel* model, GridKeyFilter key_filter, QWidget* parent)
    : QTableView(parent), key_filter_(std::move(key_filter)) {
    setModel(model);
    setItemDelegate(new MemoryGridDelegate(key_filter_, this));
    setShowGrid(false);
    setWordWrap(false);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                    QAbstractItemView::EditKeyPressed);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    auto* hh = horizontalHeader();
    auto* vh = verticalHeader();
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
    const QString header_style = QStringLiteral(
        "QHeaderView::section { background-color: white; border: none; padding: 0px; }"
        "QTableCornerButton::section { background-color: white; border: none; }");
    hh->setStyleSheet(header_style);
    vh->setStyleSheet(header_style);
    setStyleSheet(QStringLiteral("QTableCornerButton::section { background-color: white; border: none; }"));
    setCornerButtonEnabled(false);
    viewport()->setMouseTracking(true);
    setCurrentIndex(model->index(0, 0));
}

void MemoryGridView::keyPressEvent(QKeyEvent* event) {
    if (key_filter_(event)) return;
    QTableView::keyPressEvent(event);
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

ListingView::ListingView(ListingModel* model, QWidget* parent) : QTableView(parent) {
    setModel(model);
    setItemDelegate(new ListingDelegate(this));
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setShowGrid(false);
    setWordWrap(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(GRID_CELL_SIZE);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    reset_column_widths();
}

void ListingView::reset_column_widths() {
    for (int c = 0; c < LISTING_COLUMNS; ++c) setColumnWidth(c, LISTING_WIDTHS[static_cast<size_t>(c)]);
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

}  // namespace lvov
