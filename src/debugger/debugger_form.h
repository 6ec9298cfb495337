// The debugger window: registers, a live hexadecimal view of memory, the disassembly
// listing, memory search and replace, and the value tracker.
//
// The window belongs to the main window, which creates it hidden and lets it read the
// machine state; the one change it makes, Replace, goes through the poke it is given. MenuDebuggerClick opens it
// (filling the memory grid once and listing PC..PC+100) or hides it; the frame loop calls refresh_debugger after each
// frame, which brings the register labels up to date (at most five times a second) and,
// with "Memory RealTime" checked, rewrites the visible rows of the grid only. While the
// machine is paused the visible rows follow memory by themselves (set_paused). Every view
// reads MachineState::memory raw.
//
// Grid coordinates are those of debugger_models.h: row 0 and column 0 are the headers.
//
// Handlers catch EmuError at their edge and show it in a message box; message boxes go
// through virtual functions so tests can answer them.
#pragma once
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "debugger/debugger_models.h"
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

constexpr int DEBUGGER_WIDTH = 609;  // or wider where a page needs more in the host's font
constexpr int DEBUGGER_HEIGHT = 571;
constexpr int DEBUGGER_LOWER_HEIGHT = 286;
constexpr int DEBUGGER_PANEL_WIDTH = 115;
constexpr int REGISTER_LABELS = 11;
constexpr int LISTING_OPENING_SPAN = 100;  // opening lists PC .. PC + 100

class TDebuggerForm : public QWidget {
    Q_OBJECT
public:
    // Writes the low 8 bits of value at address (RangeError outside 0000-FFFF).
    using Poke = std::function<void(int64_t address, int32_t value)>;

    // The window is created hidden; parent (the main window) owns it.
    TDebuggerForm(const MachineState& machine, Poke poke, QWidget* parent = nullptr);
    ~TDebuggerForm() override;

    // Opens the window (grid filled, PC..PC+100 listed) or hides it when it is shown.
    void MenuDebuggerClick();
    // After each frame: register labels, and the visible grid rows with Memory RealTime.
    void refresh_debugger();
    // The register labels at once, not at the next paced write (after a stop or a step).
    void refresh_registers_now() { write_registers(); }
    // The machine is paused, or runs again. While it is paused no frame refreshes the
    // window, and whatever changes memory then (a replacement here, a load, a reset, a
    // step, a rewind) is a change the user made and wants to see: the visible rows of
    // the grid follow memory by themselves, within a tenth of a second, Memory RealTime
    // or not. Rows scrolled into view follow too.
    void set_paused(bool paused);

    // Lists start..end into the listing view, moving the progress bar.
    void fill_listing(int32_t start, int32_t end);
    // Makes the byte of address n the grid's current cell and gives the grid the focus.
    void go_to_address(int n);

    // Event handlers; public so that tests can drive them.
    void ButtonListClick();  // list EditListFrom..EditListTo
    void ButtonSearchClick();  // search memory for EditSearchValue
    void ButtonReplaceClick();  // write EditReplaceValue at EditReplaceAddress
    void ButtonTrackStartClick();  // tracker step 1: find the value, or remember memory
    void ButtonCompareClick();  // tracker step 2: add the bytes that went down by one
    void ListBoxMouseDown(QListView* list);
    void GridMemoryMouseMove(const QPoint& viewport_pos);
    // The grid's key filter; true when the key was used up (discarded or Enter).
    bool GridMemoryKeyPress(QKeyEvent* event);

    // The grid in its original coordinates.
    GridCell grid_cell() const;
    void set_grid_cell(GridCell cell);
    QString grid_text(int column, int row) const { return grid_model_->text(column, row); }
    int grid_top_row() const;  // first row on screen, 1-based
    int grid_visible_rows() const;  // fully visible rows
    const ValueTracker& tracker() const { return *tracker_; }
    const ListingModel& listing() const { return *listing_model_; }
    static QStringList list_texts(const QListView* list);

    // Components. The comment gives a widget's objectName where it differs from the
    // member's name (the names the window's widgets have always been found by).
    QSplitter* SplitterMain = nullptr;  // Splitter1: memory area over the pages
    MemoryGridView* GridMemory = nullptr;  // StringGrid1
    QCheckBox* CheckBoxMem = nullptr;
    // B, C, D, E, H, L, A, F, PC, SP and the cycle count: Label1 .. Label11.
    std::array<QLabel*, REGISTER_LABELS> RegisterLabels{};
    QTabWidget* PageControlTools = nullptr;  // PageControl1: listing, search, tracker
    // The listing page.
    QLineEdit* EditListFrom = nullptr;  // Edit4
    QLineEdit* EditListTo = nullptr;  // Edit6
    QPushButton* ButtonList = nullptr;  // Button4
    ListingView* StringGridAss = nullptr;
    // The search and replace page.
    QTabWidget* PageControlSearch = nullptr;  // PageControl2
    QLineEdit* EditSearchValue = nullptr;  // Edit7
    QPushButton* ButtonSearch = nullptr;  // Button1
    QLabel* LabelSearchFound = nullptr;  // Label23: the number found
    QListView* ListBoxSearchFound = nullptr;  // ListBox2: the addresses found
    QLineEdit* EditReplaceAddress = nullptr;  // Edit2
    QLineEdit* EditReplaceValue = nullptr;  // Edit3
    QCheckBox* CheckBoxReplaceHex = nullptr;  // CheckBox16_10: both fields hexadecimal
    QPushButton* ButtonReplace = nullptr;  // Button3
    // The value tracker page: step 1 finds or remembers, step 2 compares.
    QTabWidget* PageControlTracker = nullptr;  // PageControl3
    QComboBox* ComboBoxTrackMode = nullptr;  // ComboBoxPoisk: exact or unknown value
    QLineEdit* EditTrackValue = nullptr;  // Edit1
    QPushButton* ButtonTrackStart = nullptr;  // Button5
    QLabel* LabelTrackFound = nullptr;  // Label18: the number found or remembered
    QListView* ListBoxTrackFound = nullptr;  // ListBox1
    QComboBox* ComboBoxCompareMode = nullptr;  // ComboBox1: exact or unknown value
    QComboBox* ComboBoxCompareChange = nullptr;  // ComboBox2: how the value changed
    QLineEdit* EditCompareBy = nullptr;  // Edit5
    QPushButton* ButtonCompare = nullptr;  // Button2
    QListView* ListBoxCompareFound = nullptr;  // ListBox3
    QStatusBar* StatusBar = nullptr;  // StatusBar1
    std::array<QLabel*, 3> StatusPanels{};  // StatusPanel0 .. StatusPanel2
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
    // The widgets of a value search: the search page and the tracker's step 1.
    struct ValueSearch {
        QWidget* page;
        QLineEdit* value;
        QPushButton* start;
        QLabel* count;
        QListView* found;
    };
    ValueSearch build_value_search(QComboBox* mode, const QString& value_text, const QString& start_text,
                                   QStringListModel*& found_model);
    void build_status_bar();
    QLineEdit* hex_field(const QString& text);
    QComboBox* pick_only_combo(const QStringList& entries);
    QListView* result_list(QStringListModel*& model);
    int32_t start_search(QStringListModel* list, const QLineEdit* field);
    void list_matches(int32_t value, QStringListModel* list, QLabel* label);
    void place_progress_gauge();
    std::array<int64_t, REGISTER_LABELS> register_values() const;
    void write_registers();
    void follow_memory();

    const MachineState& machine_;
    Poke poke_;
    std::unique_ptr<ValueTracker> tracker_;
    MemoryGridModel* grid_model_ = nullptr;
    ListingModel* listing_model_ = nullptr;
    QStringListModel* search_found_model_ = nullptr;
    QStringListModel* track_found_model_ = nullptr;
    QStringListModel* compare_found_model_ = nullptr;
    QTimer* register_timer_ = nullptr;  // a write of the labels is due
    QTimer* paused_timer_ = nullptr;  // while paused: the grid follows memory
    QElapsedTimer registers_written_;  // since the labels were last written
    // The values the register labels show; none at first, so the first refresh writes all.
    std::array<int64_t, REGISTER_LABELS> shown_values_ = [] {
        std::array<int64_t, REGISTER_LABELS> none{};
        none.fill(-1);
        return none;
    }();
    bool centred_ = false;
};

}  // namespace lvov
