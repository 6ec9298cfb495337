// The debugger window: registers, a live hexadecimal view of memory, the disassembly
// listing, memory search and replace, and the value tracker.
//
// The window belongs to the main window, which creates it hidden and shares its
// machine state with it. MenuDebuggerClick opens it (filling the memory grid once and
// listing PC..PC+100) or hides it; the frame loop calls refresh_debugger after each
// frame, which brings the register labels up to date (at most five times a second) and,
// with "Memory RealTime" checked, rewrites the visible rows of the grid only. Every view
// reads MachineState::memory raw.
//
// Grid coordinates follow the window's original string grid: row 0 and column 0 are the
// fixed headers (the table's header views here), row r >= 1 and column c >= 1 are model
// row r - 1 and model column c - 1.
//
// Handlers catch EmuError at their edge and show it in a message box; message boxes go
// through virtual functions so tests can answer them.
#pragma once
#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QWidget>
#include <array>
#include <memory>
#include <vector>

#include "debugger/debugger_tools.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QPushButton;
class QSplitter;
class QStatusBar;
class QStringListModel;
class QTabWidget;
class QTimer;

namespace lvov {

constexpr int DEBUGGER_WIDTH = 609;
constexpr int DEBUGGER_HEIGHT = 571;
constexpr int DEBUGGER_LOWER_HEIGHT = 286;
constexpr int DEBUGGER_PANEL_WIDTH = 115;
constexpr int GRID_CELL_SIZE = 20;
constexpr int GRID_ADDRESS_WIDTH = 40;
constexpr int GRID_CHARS_WIDTH = 120;
constexpr int REGISTER_LABELS = 11;
constexpr int LISTING_OPENING_SPAN = 100;  // opening lists PC .. PC + 100

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
    QString text(int column, int row) const;  // grid coordinates, headers included

private:
    std::vector<QString> cells_;              // (GRID_ROWS - 1) x (GRID_COLUMNS - 1)
    std::array<QString, 256> byte_texts_;     // shared texts "00".."FF"
    QStringList row_addresses_;
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

// Draws a listing cell in its column's colour and weight, 2 pixels in from the corner.
class ListingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class TDebuggerForm;

// The memory grid's view: keys go through the window's filter first.
class MemoryGridView : public QTableView {
public:
    MemoryGridView(TDebuggerForm& form, QWidget* parent);
protected:
    void keyPressEvent(QKeyEvent* event) override;
private:
    TDebuggerForm& form_;
};

class TDebuggerForm : public QWidget {
    Q_OBJECT
public:
    // The window is created hidden; parent (the main window) owns it.
    TDebuggerForm(MachineState& machine, QWidget* parent = nullptr);
    ~TDebuggerForm() override;

    // Opens the window (grid filled, PC..PC+100 listed) or hides it when it is shown.
    void MenuDebuggerClick();
    // After each frame: register labels, and the visible grid rows with Memory RealTime.
    void refresh_debugger();
    // The register labels at once, not at the next paced write (after a stop or a step).
    void refresh_registers_now() { write_registers(); }

    // Lists start..end into the listing grid, moving the progress bar.
    void AssFromTo(int32_t start, int32_t end);
    // Makes the byte of address n the grid's current cell and gives the grid the focus.
    void go_to_address(int n);

    // Event handlers; public so that tests can drive them.
    void Button4Click();  // list Edit4..Edit6
    void Button1Click();  // search for Edit7
    void Button3Click();  // write Edit3 at Edit2
    void Button5Click();  // step 1
    void Button2Click();  // step 2
    void ListBoxMouseDown(QListView* list);
    void StringGrid1MouseMove(const QPoint& viewport_pos);
    // The grid's key filter; true when the key was used up (discarded or Enter).
    bool StringGrid1KeyPress(QKeyEvent* event);

    // The grid in its original coordinates.
    GridCell grid_cell() const;
    void set_grid_cell(GridCell cell);
    QString grid_text(int column, int row) const { return grid_model_->text(column, row); }
    int grid_top_row() const;        // first row on screen, 1-based
    int grid_visible_rows() const;   // fully visible rows
    const ValueTracker& tracker() const { return *tracker_; }
    const ListingModel& listing() const { return *listing_model_; }
    static QStringList list_texts(const QListView* list);

    // Components, by their form names.
    QSplitter* Splitter1 = nullptr;
    MemoryGridView* StringGrid1 = nullptr;
    QCheckBox* CheckBoxMem = nullptr;
    std::array<QLabel*, REGISTER_LABELS> RegisterLabels{};  // Label1 .. Label11
    QTabWidget* PageControl1 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLineEdit* Edit6 = nullptr;
    QPushButton* Button4 = nullptr;
    QTableView* StringGridAss = nullptr;
    QTabWidget* PageControl2 = nullptr;
    QLineEdit* Edit7 = nullptr;
    QPushButton* Button1 = nullptr;
    QLabel* Label23 = nullptr;
    QListView* ListBox2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QCheckBox* CheckBox16_10 = nullptr;
    QPushButton* Button3 = nullptr;
    QTabWidget* PageControl3 = nullptr;
    QComboBox* ComboBoxPoisk = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button5 = nullptr;
    QLabel* Label18 = nullptr;
    QListView* ListBox1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QPushButton* Button2 = nullptr;
    QListView* ListBox3 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    std::array<QLabel*, 3> StatusPanels{};
    QProgressBar* progress_gauge = nullptr;

protected:
    virtual void show_message(const QString& text);
    virtual void show_error(const QString& text);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    template <class F>
    void guarded(F&& work);
    QWidget* build_memory_area();
    QWidget* build_listing_page();
    QWidget* build_search_page();
    QWidget* build_tracker_page();
    void build_status_bar();
    QLineEdit* hex_field(const QString& text);
    QComboBox* pick_only_combo(const QStringList& entries);
    QListView* result_list(QStringListModel*& model);
    int32_t start_search(QStringListModel* list, const QLineEdit* field);
    void list_matches(int32_t value, QStringListModel* list, QLabel* label);
    void place_progress_gauge();
    std::array<int64_t, REGISTER_LABELS> register_values() const;
    void write_registers();

    MachineState& machine_;
    std::unique_ptr<ValueTracker> tracker_;
    MemoryGridModel* grid_model_ = nullptr;
    ListingModel* listing_model_ = nullptr;
    QStringListModel* list1_model_ = nullptr;
    QStringListModel* list2_model_ = nullptr;
    QStringListModel* list3_model_ = nullptr;
    QTimer* register_timer_ = nullptr;    // a write of the labels is due
    QElapsedTimer registers_written_;     // since the labels were last written
    // The values the register labels show; none at first, so the first refresh writes all.
    std::array<int64_t, REGISTER_LABELS> shown_values_ = [] {
        std::array<int64_t, REGISTER_LABELS> none{};
        none.fill(-1);
        return none;
    }();
    bool centred_ = false;
};

}  // namespace lvov
