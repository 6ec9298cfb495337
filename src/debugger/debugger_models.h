// The debugger window's item models, delegates and the memory grid's view: the memory
// grid's cell texts, the disassembly listing and how their cells are drawn and edited.
//
// Grid coordinates follow the window's original string grid: row 0 and column 0 are the
// fixed headers (the table's header views here), row r >= 1 and column c >= 1 are model
// row r - 1 and model column c - 1.
#pragma once
#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QTableView>
#include <array>
#include <functional>
#include <vector>

#include "debugger/debugger_tools.h"

class QKeyEvent;

namespace lvov {

constexpr int GRID_MODEL_ROWS = GRID_ROWS - 1;  // rows below the header row
constexpr int GRID_MODEL_COLUMNS = GRID_COLUMNS - 1;  // columns right of the address column
constexpr int GRID_MODEL_CHAR_COLUMN = GRID_CHAR_COLUMN - 1;
constexpr int LISTING_COLUMNS = 4;
constexpr int GRID_CELL_SIZE = 20;  // a byte cell is square; listing rows are as high
constexpr int GRID_ADDRESS_WIDTH = 40;
constexpr int GRID_CHARS_WIDTH = 120;

// The grid's key filter: true when the key was used up and goes no further.
using GridKeyFilter = std::function<bool(QKeyEvent*)>;

// The memory grid's cell texts, 4096 rows of 16 byte cells and the character cell.
// Cells hold text only: editing a cell changes the text, never memory.
class MemoryGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit MemoryGridModel(QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Rewrites the byte and character cells of grid rows first..last from memory.
    void fill_rows(const MachineState& m, int first, int last);
    // Rewrites, in rows first..last, the cells whose byte in memory is no longer the one
    // last written there, and the character cells of their rows; a text typed into a
    // cell stays while its byte does.
    void follow_rows(const MachineState& m, int first, int last);
    QString text(int column, int row) const;  // grid coordinates, headers included

private:
    // Rewrites the character cell of the row at start; true when its text changed.
    bool write_chars(const MachineState& m, QString* row, uint16_t start);
    // Marks rows first..last changed for the views.
    void rows_changed(int first, int last);

    std::vector<QString> cells_;  // GRID_MODEL_ROWS x GRID_MODEL_COLUMNS
    std::array<uint8_t, MEMORY_SIZE> written_{};  // the byte each cell was last written from
    std::array<QString, 256> byte_texts_;  // shared texts "00".."FF"
    QStringList row_addresses_;
};

// The memory grid's cells: plain text drawn directly, and a cell editor whose keys pass
// the grid's key filter first.
class MemoryGridDelegate : public QStyledItemDelegate {
public:
    MemoryGridDelegate(GridKeyFilter key_filter, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    GridKeyFilter key_filter_;
};

// The memory grid's view of model, its first byte current: fixed square cells under
// white frameless headers, the character column wide. Keys go through the key filter
// first, in the view and in the cell editor alike.
class MemoryGridView : public QTableView {
public:
    MemoryGridView(MemoryGridModel* model, GridKeyFilter key_filter, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    GridKeyFilter key_filter_;
};

// The disassembly listing: one row per instruction and the empty last row.
class ListingModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void set_rows(std::vector<ListingRow> rows);
    const std::vector<ListingRow>& rows() const { return rows_; }

private:
    std::vector<ListingRow> rows_;
};

// The listing's view: whole rows selected, read-only, no headers, fixed column widths.
class ListingView : public QTableView {
public:
    ListingView(ListingModel* model, QWidget* parent);
    // Back to the columns' own widths (a new listing undoes any resizing).
    void reset_column_widths();
};

// Draws a listing cell in its column's colour and weight, 2 pixels in from the corner.
class ListingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace lvov
