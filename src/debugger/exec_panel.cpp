#include "debugger/exec_panel.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <exception>

#include "core/errors.h"
#include "core/hex.h"
#include "core/text.h"

namespace lvov {

namespace {

constexpr int ROW_HEIGHT = 18;
constexpr int COUNTER_EVERY_FRAMES = 12;  // about four times a second at 50 frames a second
const QColor CURRENT_ROW(255, 255, 170);
const QColor BREAK_MARK(200, 0, 0);
const QColor NAVY(0, 0, 128);
const QColor MAROON(128, 0, 0);

const QString MARK_PC = QStringLiteral("\u25BA");  // ►
const QString MARK_BREAK = QStringLiteral("\u25CF");  // ●
const QString MARK_DISABLED = QStringLiteral("\u25CB");  // ○

// The kinds in the order of the kind list.
constexpr BreakKind KINDS[] = {BreakKind::Exec,      BreakKind::Read, BreakKind::Write,
                               BreakKind::ReadWrite, BreakKind::In,   BreakKind::Out};

QString kind_text(BreakKind kind) {
    switch (kind) {
    case BreakKind::Exec: return QStringLiteral("выполнение");
    case BreakKind::Read: return QStringLiteral("чтение");
    case BreakKind::Write: return QStringLiteral("запись");
    case BreakKind::ReadWrite: return QStringLiteral("чтение/запись");
    case BreakKind::In: return QStringLiteral("IN порт");
    case BreakKind::Out: return QStringLiteral("OUT порт");
    }
    return {};
}

QString qs(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

QString stop_description(const ExecControl& c) {
    switch (c.last_stop()) {
    case StopKind::None: return {};
    case StopKind::Breakpoint:
        if (const Breakpoint* bp = c.last_hit()) {
            return QStringLiteral("Остановка: точка %1 (%2 %3)").arg(bp->id).arg(kind_text(bp->kind), qs(bp->where()));
        }
        return QStringLiteral("Остановка: точка останова");
    case StopKind::Step: return QStringLiteral("Остановка: шаг");
    case StopKind::StepOver: return QStringLiteral("Остановка: шаг с обходом");
    case StopKind::StepOut: return QStringLiteral("Остановка: выход из подпрограммы");
    case StopKind::RunToCursor: return QStringLiteral("Остановка: курсор");
    case StopKind::Break: return QStringLiteral("Остановка: стоп");
    }
    return {};
}

// The space an item view leaves on either side of a cell's text, and one pixel spare.
int cell_margins(const QWidget* view) {
    return 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1) + 1;
}

int header_margins(const QHeaderView* header) {
    return 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 1;
}

// A byte of the hexadecimal digit widest in fm: any hexadecimal text made of it is as
// wide as a text of its shape can be. Digits are measured eight in a row, so that the
// rounding of one digit's fractional width does not decide.
uint8_t widest_byte(const QFontMetrics& fm) {
    int digit = 0, widest = -1;
    for (int d = 0; d < 16; ++d) {
        const int w = fm.horizontalAdvance(qs(std::string(8, hex_digits(static_cast<uint64_t>(d), 1)[0])));
        if (w > widest) {
            widest = w;
            digit = d;
        }
    }
    return static_cast<uint8_t>(digit * 0x11);
}

// The frame and the vertical scroll bar around a view's columns.
int view_chrome(const QAbstractScrollArea* view) {
    return 2 * view->frameWidth() + view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
}

uint16_t address_field(const QLineEdit* field, int max) {
    const int32_t v = HexToInt(field->text().trimmed().toStdString());
    if (v < 0 || v > max) {
        throw RangeError(QStringLiteral("'%1' лежит вне 0..%2")
                             .arg(field->text(), QString::fromStdString(hex_digits(static_cast<uint32_t>(max), 1)))
                             .toStdString());
    }
    return static_cast<uint16_t>(v);
}

}  // namespace

// The listing that follows PC: mark, address, bytes, mnemonic, operand.
class CodeListingModel : public QAbstractTableModel {
public:
    CodeListingModel(const MachineState& m, const ExecControl& c, QObject* parent)
        : QAbstractTableModel(parent), machine_(m), control_(c) {}
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(lines_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 5; }

    // PC, then an execution breakpoint: enabled when any of those at the address is.
    QString mark(int row) const {
        const CodeLine& line = lines_[static_cast<size_t>(row)];
        QString s = line.address == machine_.PC ? MARK_PC : QString();
        bool any = false, enabled = false;
        for (const Breakpoint& bp : control_.breakpoints()) {
            if (bp.kind != BreakKind::Exec || bp.first != line.address) continue;
            any = true;
            enabled = enabled || bp.enabled;
        }
        if (any) s += enabled ? MARK_BREAK : MARK_DISABLED;
        return s;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount()) return {};
        const CodeLine& line = lines_[static_cast<size_t>(index.row())];
        const bool current = line.address == machine_.PC;
        switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
            case 0: return mark(index.row());
            case 1: return qs(line.row.address);
            case 2: return qs(line.row.bytes);
            case 3: return qs(line.row.mnemonic);
            default: return qs(line.row.operand);
            }
        case Qt::BackgroundRole: return current ? QVariant(CURRENT_ROW) : QVariant();
        case Qt::ForegroundRole:
            if (index.column() == 0) return BREAK_MARK;
            if (index.column() <= 2) return NAVY;
            if (index.column() == 4) return MAROON;
            return {};
        case Qt::ToolTipRole: return index.column() == 0 ? QStringLiteral("Щелчок: точка останова") : QVariant();
        default: return {};
        }
    }

    void set_lines(std::vector<CodeLine> lines) {
        beginResetModel();
        lines_ = std::move(lines);
        endResetModel();
    }
    // Marks and the current row changed, the instructions did not.
    void marks_changed() {
        if (!lines_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }
    const std::vector<CodeLine>& lines() const { return lines_; }

private:
    const MachineState& machine_;
    const ExecControl& control_;
    std::vector<CodeLine> lines_;
};

// ---------------------------------------------------------------------------------------
// Creation

ExecPanel::ExecPanel(const MachineState& machine, ExecControl& control, QWidget* parent)
    : QWidget(parent), machine_(machine), control_(control) {
    setObjectName("ExecPanel");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);

    const auto action = [this](const char* name, const QString& text, const QString& tip, const QKeySequence& keys) {
        auto* a = new QAction(text, this);
        a->setObjectName(name);
        a->setToolTip(keys.isEmpty() ? tip
                                     : tip + QStringLiteral(" (") + keys.toString(QKeySequence::NativeText) + ")");
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WindowShortcut);
        return a;
    };
    ActionContinue =
        action("ActionContinue", QStringLiteral("Пуск"), QStringLiteral("Продолжить"), QKeySequence(Qt::Key_F5));
    ActionBreak = action("ActionBreak", QStringLiteral("Стоп"), QStringLiteral("Остановить на текущей команде"), {});
    ActionStep = action("ActionStep", QStringLiteral("Шаг"), QStringLiteral("Одна команда"), QKeySequence(Qt::Key_F11));
    ActionStepOver = action("ActionStepOver", QStringLiteral("Обход"), QStringLiteral("Шаг с обходом CALL и RST"),
                            QKeySequence(Qt::Key_F10));
    ActionStepOut = action("ActionStepOut", QStringLiteral("Выход"), QStringLiteral("До возврата из подпрограммы"),
                           QKeySequence(Qt::SHIFT | Qt::Key_F11));
    ActionRunToCursor = action("ActionRunToCursor", QStringLiteral("К курсору"), QStringLiteral("До выбранной строки"),
                               QKeySequence(Qt::Key_F4));

    ToolBarExec = new QToolBar(this);
    ToolBarExec->setObjectName("ToolBarExec");
    ToolBarExec->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (QAction* a : {ActionContinue, ActionBreak, ActionStep, ActionStepOver, ActionStepOut, ActionRunToCursor}) {
        ToolBarExec->addAction(a);
    }
    LabelCycles = new QLabel(this);
    LabelCycles->setObjectName("LabelCycles");
    LabelStop = new QLabel(this);
    LabelStop->setObjectName("LabelStop");
    // The tool bar has its own row and never gets less than all its buttons need: the
    // stop text and the counter, whatever their length, take the row below.
    ToolBarExec->setMinimumWidth(ToolBarExec->sizeHint().width());
    auto* top = new QHBoxLayout;
    top->addWidget(ToolBarExec);
    top->addStretch(1);
    layout->addLayout(top);
    auto* status = new QHBoxLayout;
    status->addWidget(LabelStop, 1);
    status->addWidget(LabelCycles);
    layout->addLayout(status);

    listing_model_ = new CodeListingModel(machine_, control_, this);
    ListingPC = new QTableView(this);
    ListingPC->setObjectName("ListingPC");
    ListingPC->setModel(listing_model_);
    ListingPC->horizontalHeader()->hide();
    ListingPC->verticalHeader()->hide();
    ListingPC->setShowGrid(false);
    ListingPC->setWordWrap(false);
    ListingPC->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListingPC->setSelectionMode(QAbstractItemView::SingleSelection);
    ListingPC->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListingPC->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ListingPC->verticalHeader()->setDefaultSectionSize(ROW_HEIGHT);
    ListingPC->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QFont bold = ListingPC->font();
    bold.setBold(true);
    ListingPC->setFont(bold);
    fit_listing_columns();

    PageControlExec = new QTabWidget(this);
    PageControlExec->setObjectName("PageControlExec");
    PageControlExec->addTab(build_breakpoint_page(), QStringLiteral("Точки останова"));
    PageControlExec->addTab(build_trace_page(), QStringLiteral("Трассировка"));

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(ListingPC);
    split->addWidget(PageControlExec);
    split->setChildrenCollapsible(false);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({ListingPC->minimumWidth(), PageControlExec->minimumSizeHint().width()});
    layout->addWidget(split, 1);

    connect(ActionContinue, &QAction::triggered, this, &ExecPanel::continueRequested);
    connect(ActionBreak, &QAction::triggered, this, &ExecPanel::breakRequested);
    connect(ActionStep, &QAction::triggered, this, &ExecPanel::stepRequested);
    connect(ActionStepOver, &QAction::triggered, this, &ExecPanel::stepOverRequested);
    connect(ActionStepOut, &QAction::triggered, this, &ExecPanel::stepOutRequested);
    connect(ActionRunToCursor, &QAction::triggered, this, [this] { emit runToCursorRequested(cursor_address()); });
    connect(ListingPC, &QTableView::clicked, this, [this](const QModelIndex& i) {
        if (i.column() == 0) toggle_breakpoint_at_row(i.row());
    });
    connect(PageControlExec, &QTabWidget::currentChanged, this, [this] { fill_trace(); });

    // Buttons as wide as their texts need, whatever the style's own hint.
    for (QPushButton* b : {ButtonAdd, ButtonRemove, ButtonSaveTrace}) {
        const int margins = 2 * b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b);
        b->setMinimumWidth(
            std::max(b->sizeHint().width(), b->fontMetrics().horizontalAdvance(b->text()) + margins + 4));
    }
    report_error = [this](const QString& text) {
        QMessageBox::critical(this, QCoreApplication::applicationName(), text, QMessageBox::Ok);
    };
    ask_trace_file_name = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить трассировку"), QString(),
                                            QStringLiteral("Текст (*.txt)"));
    };
    update_counter();
}

ExecPanel::~ExecPanel() = default;

QWidget* ExecPanel::build_breakpoint_page() {
    auto* page = new QWidget;
    auto* g = new QGridLayout(page);
    g->setContentsMargins(2, 2, 2, 2);
    g->setSpacing(2);

    ComboKind = new QComboBox(page);
    ComboKind->setObjectName("ComboKind");
    for (BreakKind k : KINDS) ComboKind->addItem(kind_text(k));
    EditFrom = new QLineEdit(page);
    EditFrom->setObjectName("EditFrom");
    EditFrom->setPlaceholderText(QStringLiteral("адрес"));
    EditTo = new QLineEdit(page);
    EditTo->setObjectName("EditTo");
    EditTo->setPlaceholderText(QStringLiteral("до"));
    EditCondition = new QLineEdit(page);
    EditCondition->setObjectName("EditCondition");
    EditCondition->setPlaceholderText(QStringLiteral("условие: A=05, Z=1"));
    EditCondition->setToolTip(QStringLiteral("Условие: регистр или флаг = значение (A=05, HL!=4000, Z=1, CY=0)"));
    for (QLineEdit* e : {EditFrom, EditTo}) e->setMaxLength(4);
    ButtonAdd = new QPushButton(QStringLiteral("Добавить"), page);
    ButtonAdd->setObjectName("ButtonAdd");
    ButtonRemove = new QPushButton(QStringLiteral("Удалить"), page);
    ButtonRemove->setObjectName("ButtonRemove");

    GridBreakpoints = new QTableWidget(0, 6, page);
    GridBreakpoints->setObjectName("GridBreakpoints");
    GridBreakpoints->setHorizontalHeaderLabels({QStringLiteral("№"), QStringLiteral("Вкл"), QStringLiteral("Тип"),
                                                QStringLiteral("Адрес"), QStringLiteral("Условие"),
                                                QStringLiteral("Счёт")});
    GridBreakpoints->horizontalHeaderItem(5)->setToolTip(QStringLiteral("Срабатываний"));
    GridBreakpoints->verticalHeader()->hide();
    GridBreakpoints->verticalHeader()->setDefaultSectionSize(ROW_HEIGHT);
    GridBreakpoints->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridBreakpoints->setSelectionMode(QAbstractItemView::SingleSelection);
    GridBreakpoints->horizontalHeader()->setStretchLastSection(true);
    fit_breakpoint_columns();

    // Kind, range and Add; the condition and Remove; the list.
    g->addWidget(ComboKind, 0, 0);
    g->addWidget(EditFrom, 0, 1);
    g->addWidget(EditTo, 0, 2);
    g->addWidget(ButtonAdd, 0, 3);
    g->addWidget(EditCondition, 1, 0, 1, 3);
    g->addWidget(ButtonRemove, 1, 3);
    g->addWidget(GridBreakpoints, 2, 0, 1, 4);
    g->setColumnStretch(1, 1);
    g->setColumnStretch(2, 1);

    connect(ButtonAdd, &QPushButton::clicked, this, &ExecPanel::AddBreakpointClick);
    connect(ButtonRemove, &QPushButton::clicked, this, &ExecPanel::RemoveBreakpointClick);
    connect(EditCondition, &QLineEdit::returnPressed, this, &ExecPanel::AddBreakpointClick);
    connect(GridBreakpoints, &QTableWidget::cellChanged, this, &ExecPanel::breakpoint_cell_changed);
    return page;
}

// Every column as wide as the widest text it can show in the listing's font: the marks,
// and each instruction with the widest operand bytes. The listing is never narrower.
void ExecPanel::fit_listing_columns() {
    const QFontMetrics fm(ListingPC->font());
    const uint8_t b = widest_byte(fm);
    std::array<int, 5> widths = {fm.horizontalAdvance(MARK_PC + MARK_BREAK), 0, 0, 0, 0};
    for (int op = 0; op < 256; ++op) {
        const ListingRow row = code_row(static_cast<uint16_t>(b * 0x101), static_cast<uint8_t>(op), b, b);
        int c = 1;
        for (const std::string* text : {&row.address, &row.bytes, &row.mnemonic, &row.operand}) {
            widths[static_cast<size_t>(c)] = std::max(widths[static_cast<size_t>(c)], fm.horizontalAdvance(qs(*text)));
            ++c;
        }
    }
    int total = view_chrome(ListingPC);
    for (int c = 0; c < 5; ++c) {
        const int w = widths[static_cast<size_t>(c)] + cell_margins(ListingPC);
        ListingPC->setColumnWidth(c, w);
        total += w;
    }
    ListingPC->setMinimumWidth(total);
}

// Every column as wide as its title and the widest text it shows: a kind, a range, a
// condition written without blanks, a count. The list is never narrower.
void ExecPanel::fit_breakpoint_columns() {
    const QFontMetrics fm(GridBreakpoints->font());
    const QHeaderView* header = GridBreakpoints->horizontalHeader();
    const QFontMetrics hm(header->font());
    const QString widest_word = qs(hex4(widest_byte(fm) * 0x101u));
    int widest_kind = 0;
    for (BreakKind k : KINDS) widest_kind = std::max(widest_kind, fm.horizontalAdvance(kind_text(k)));
    const int indicator = GridBreakpoints->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, GridBreakpoints);
    const std::array<int, 6> content = {fm.horizontalAdvance(QStringLiteral("999")),
                                        indicator,
                                        widest_kind,
                                        fm.horizontalAdvance(widest_word + u'-' + widest_word),
                                        fm.horizontalAdvance(QStringLiteral("HL!=0x") + widest_word),
                                        fm.horizontalAdvance(QStringLiteral("99999"))};
    int total = view_chrome(GridBreakpoints);
    for (int c = 0; c < 6; ++c) {
        const QString title = GridBreakpoints->horizontalHeaderItem(c)->text();
        const int w = std::max(content[static_cast<size_t>(c)] + cell_margins(GridBreakpoints),
                               hm.horizontalAdvance(title) + header_margins(header));
        GridBreakpoints->setColumnWidth(c, w);
        total += w;
    }
    GridBreakpoints->setMinimumWidth(total);
}

QWidget* ExecPanel::build_trace_page() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(2, 2, 2, 2);
    v->setSpacing(2);
    auto* row = new QHBoxLayout;
    CheckTrace = new QCheckBox(QStringLiteral("Записывать"), page);
    CheckTrace->setObjectName("CheckTrace");
    CheckTrace->setToolTip(QStringLiteral("Последние %1 выполненных команд").arg(TRACE_CAPACITY));
    ButtonSaveTrace = new QPushButton(QStringLiteral("Сохранить..."), page);
    ButtonSaveTrace->setObjectName("ButtonSaveTrace");
    row->addWidget(CheckTrace);
    row->addStretch(1);
    row->addWidget(ButtonSaveTrace);
    v->addLayout(row);
    TraceView = new QPlainTextEdit(page);
    TraceView->setObjectName("TraceView");
    TraceView->setReadOnly(true);
    TraceView->setLineWrapMode(QPlainTextEdit::NoWrap);
    TraceView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    v->addWidget(TraceView, 1);

    connect(CheckTrace, &QCheckBox::toggled, this, [this](bool on) { control_.set_trace(on); });
    connect(ButtonSaveTrace, &QPushButton::clicked, this, &ExecPanel::SaveTraceClick);
    return page;
}

// ---------------------------------------------------------------------------------------
// Errors and dialogs

template <class F>
void ExecPanel::guarded(F&& work) {
    lvov::guarded(work, [this](const std::string& text) { show_error(QString::fromStdString(text)); });
}

void ExecPanel::show_error(const QString& text) { report_error(text); }

// ---------------------------------------------------------------------------------------
// Showing the machine

void ExecPanel::relist(uint16_t around) {
    listing_model_->set_lines(code_around(machine_, around, EXEC_LISTING_CONTEXT, EXEC_LISTING_ROWS));
}

int ExecPanel::listing_row_of(uint16_t address) const {
    const auto& lines = listing_model_->lines();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].address == address) return static_cast<int>(i);
    }
    return -1;
}

const std::vector<CodeLine>& ExecPanel::listing_lines() const { return listing_model_->lines(); }

QString ExecPanel::listing_mark(int row) const { return listing_model_->mark(row); }

// PC keeps its place while it stays among the first rows listed; otherwise the listing
// starts again just before it. The instructions are read again either way: the program
// may have changed them.
void ExecPanel::show_stop(bool paused) {
    int row = listing_row_of(machine_.PC);
    const uint16_t start = listing_lines().empty() ? machine_.PC : listing_lines().front().address;
    if (row < 0 || row > EXEC_LISTING_ROWS - 8) {
        relist(machine_.PC);
    } else {
        listing_model_->set_lines(code_around(machine_, start, 0, EXEC_LISTING_ROWS));
        if (listing_row_of(machine_.PC) < 0) relist(machine_.PC);
    }
    row = listing_row_of(machine_.PC);
    if (row >= 0) {
        const QModelIndex i = listing_model_->index(row, 1);
        ListingPC->setCurrentIndex(i);
        ListingPC->scrollTo(i, QAbstractItemView::PositionAtCenter);
    }
    LabelStop->setText(paused ? stop_description(control_) : QString());
    fill_breakpoints();
    fill_trace();
    update_counter();
}

void ExecPanel::refresh_all() { show_stop(true); }

// Shown (the page chosen, the window opened): the listing and the lists from the machine
// now, so that they never show an earlier state.
void ExecPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    show_stop(!LabelStop->text().isEmpty());
}

void ExecPanel::refresh_running() {
    if (!isVisible()) return;
    if (++frames_since_counter_ < COUNTER_EVERY_FRAMES) return;
    frames_since_counter_ = 0;
    if (!LabelStop->text().isEmpty()) LabelStop->clear();
    update_counter();
}

void ExecPanel::update_counter() {
    const int64_t n = control_.cycles_since_stop();
    if (n == shown_cycles_) return;
    shown_cycles_ = n;
    LabelCycles->setText(QStringLiteral("Тактов: %1").arg(n));
    LabelCycles->setToolTip(QStringLiteral("Тактов с последней остановки"));
}

uint16_t ExecPanel::cursor_address() const {
    const QModelIndex i = ListingPC->currentIndex();
    const auto& lines = listing_lines();
    if (!i.isValid() || i.row() >= static_cast<int>(lines.size())) return machine_.PC;
    return lines[static_cast<size_t>(i.row())].address;
}

void ExecPanel::set_cursor_address(uint16_t address) {
    if (listing_row_of(address) < 0) relist(address);
    const int row = listing_row_of(address);
    if (row >= 0) ListingPC->setCurrentIndex(listing_model_->index(row, 1));
}

void ExecPanel::toggle_breakpoint_at_row(int row) {
    const auto& lines = listing_lines();
    if (row < 0 || row >= static_cast<int>(lines.size())) return;
    guarded([&] { control_.toggle_exec(lines[static_cast<size_t>(row)].address); });
    listing_model_->marks_changed();
    fill_breakpoints();
}

// ---------------------------------------------------------------------------------------
// Breakpoint list

void ExecPanel::fill_breakpoints() {
    filling_ = true;
    const auto& bps = control_.breakpoints();
    GridBreakpoints->setRowCount(static_cast<int>(bps.size()));
    for (int r = 0; r < static_cast<int>(bps.size()); ++r) {
        const Breakpoint& bp = bps[static_cast<size_t>(r)];
        const auto cell = [&](int column, const QString& text, bool editable) {
            auto* item = GridBreakpoints->item(r, column);
            if (!item) {
                item = new QTableWidgetItem;
                GridBreakpoints->setItem(r, column, item);
            }
            item->setText(text);
            Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
            if (editable) flags |= Qt::ItemIsEditable;
            if (column == 1) flags |= Qt::ItemIsUserCheckable;
            item->setFlags(flags);
            return item;
        };
        cell(0, QString::number(bp.id), false)->setData(Qt::UserRole, bp.id);
        cell(1, QString(), false)->setCheckState(bp.enabled ? Qt::Checked : Qt::Unchecked);
        cell(2, kind_text(bp.kind), false);
        cell(3, qs(bp.where()), false);
        cell(4, QString::fromStdString(bp.condition_text), true);
        cell(5, QString::number(bp.hits), false);
    }
    filling_ = false;
}

void ExecPanel::breakpoint_cell_changed(int row, int column) {
    if (filling_) return;
    const QTableWidgetItem* id_item = GridBreakpoints->item(row, 0);
    if (!id_item) return;
    const int id = id_item->data(Qt::UserRole).toInt();
    if (column == 1) {
        control_.set_enabled(id, GridBreakpoints->item(row, 1)->checkState() == Qt::Checked);
        listing_model_->marks_changed();
    } else if (column == 4) {
        guarded([&] { control_.set_condition(id, GridBreakpoints->item(row, 4)->text().toStdString()); });
        fill_breakpoints();  // the condition as taken, or the old one after an error
    }
}

void ExecPanel::AddBreakpointClick() {
    guarded([&] {
        const BreakKind kind = KINDS[std::clamp(ComboKind->currentIndex(), 0, 5)];
        const bool port = kind == BreakKind::In || kind == BreakKind::Out;
        const uint16_t first = address_field(EditFrom, port ? 0xFF : 0xFFFF);
        const uint16_t last = EditTo->text().trimmed().isEmpty() ? first : address_field(EditTo, 0xFFFF);
        control_.add(kind, first, last, EditCondition->text().toStdString());
        EditFrom->clear();
        EditTo->clear();
        EditCondition->clear();
    });
    fill_breakpoints();
    listing_model_->marks_changed();
}

void ExecPanel::RemoveBreakpointClick() {
    const int row = GridBreakpoints->currentRow();
    if (row < 0) return;
    if (const QTableWidgetItem* id_item = GridBreakpoints->item(row, 0))
        control_.remove(id_item->data(Qt::UserRole).toInt());
    fill_breakpoints();
    listing_model_->marks_changed();
}

// ---------------------------------------------------------------------------------------
// Trace

void ExecPanel::fill_trace() {
    if (PageControlExec->currentIndex() != 1) return;  // filled when its page is shown
    const auto lines = control_.trace_lines();
    QString text;
    text.reserve(static_cast<qsizetype>(lines.size()) * 80);
    for (const auto& l : lines) {
        text += qs(l);
        text += u'\n';
    }
    TraceView->setPlainText(text);
    TraceView->moveCursor(QTextCursor::End);
}

void ExecPanel::SaveTraceClick() {
    const QString path = ask_trace_file_name();
    if (path.isEmpty()) return;
    QByteArray bytes;
    for (const auto& l : control_.trace_lines()) {
        bytes += QByteArray::fromStdString(l);
        bytes += '\n';
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        show_error(QStringLiteral("Cannot write the trace to \"%1\": %2").arg(path, file.errorString()));
    }
}

}  // namespace lvov
