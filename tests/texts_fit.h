// Finds texts that do not fit their widgets: labels, check boxes, push buttons, tabs,
// tool bar actions pushed into the overflow menu, and the cells and headers of tables,
// on every page of every tab widget of a shown window.
#pragma once
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <algorithm>
#include <typeinfo>

namespace lvov::test {

// "name: text (needs N, has M)" for every visible text now cut off under root.
inline QStringList clipped_texts_now(QWidget* root) {
    QStringList out;
    const auto check = [&](const QWidget* w, const QString& text, int needed, int available) {
        if (needed > available) {
            out << QStringLiteral("%1: '%2' (needs %3, has %4)").arg(w->objectName(), text).arg(needed).arg(available);
        }
    };
    for (const QLabel* l : root->findChildren<QLabel*>()) {
        if (!l->isVisible() || l->text().isEmpty() || l->wordWrap()) continue;
        const int needed = l->fontMetrics().horizontalAdvance(l->text()) + 2 * l->margin() + std::max(0, l->indent());
        check(l, l->text(), needed, l->contentsRect().width());
    }
    for (const QAbstractButton* b : root->findChildren<QAbstractButton*>()) {
        if (!b->isVisible() || b->text().isEmpty()) continue;
        const QStyle* s = b->style();
        int overhead = 0;
        if (qobject_cast<const QCheckBox*>(b)) {
            overhead = s->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, b) +
                       s->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, b);
        } else if (qobject_cast<const QPushButton*>(b)) {
            overhead = 2 * s->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b);
        } else {
            continue;  // tool buttons show icons
        }
        check(b, b->text(), b->fontMetrics().horizontalAdvance(b->text()) + overhead, b->contentsRect().width());
    }
    for (const QTabBar* bar : root->findChildren<QTabBar*>()) {
        if (!bar->isVisible()) continue;
        const int space = bar->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, bar);
        for (int i = 0; i < bar->count(); ++i) {
            const QRect r = bar->tabRect(i);
            const int needed = bar->fontMetrics().horizontalAdvance(bar->tabText(i)) + space;
            // A tab pushed behind the scroll buttons counts as cut off too.
            check(bar, bar->tabText(i), needed, r.right() < bar->width() ? r.width() : 0);
        }
    }
    for (const QToolBar* bar : root->findChildren<QToolBar*>()) {
        if (!bar->isVisible()) continue;
        for (QAction* a : bar->actions()) {
            const QWidget* w = bar->widgetForAction(a);
            if (a->isVisible() && !a->isSeparator() && w && !w->isVisible()) check(bar, a->text(), 1, 0);
        }
    }
    // Cells are checked on every row, shown or not: a column is as wide for all of them.
    // Item views draw a cell's text inside a margin on either side, headers inside theirs.
    // Views drawn by a delegate of their own keep their own margins and are left out.
    for (const QTableView* view : root->findChildren<QTableView*>()) {
        if (!view->isVisible() || !view->model()) continue;
        if (const QAbstractItemDelegate* d = view->itemDelegate(); typeid(*d) != typeid(QStyledItemDelegate)) continue;
        const QAbstractItemModel* model = view->model();
        const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        const QHeaderView* header = view->horizontalHeader();
        for (int c = 0; c < model->columnCount(); ++c) {
            if (view->isColumnHidden(c)) continue;
            const int width = view->columnWidth(c);
            if (header->isVisible()) {
                const QString title = model->headerData(c, Qt::Horizontal).toString();
                const int header_margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
                check(view, title, header->fontMetrics().horizontalAdvance(title) + 2 * header_margin, width);
            }
            const int rows = std::min(model->rowCount(), 500);
            for (int r = 0; r < rows; ++r) {
                const QModelIndex i = model->index(r, c);
                const QString text = i.data().toString();
                if (text.isEmpty()) continue;
                QFont font = view->font();
                if (const QVariant f = i.data(Qt::FontRole); f.isValid()) font = f.value<QFont>();
                int needed = QFontMetrics(font).horizontalAdvance(text) + 2 * margin;
                if (i.data(Qt::CheckStateRole).isValid()) {
                    needed += view->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, view) + margin;
                }
                check(view, text, needed, width);
            }
        }
    }
    return out;
}

// Every combination of pages of the tab widgets under root, checked in turn.
inline void sweep_tab_pages(QWidget* root, QList<QTabWidget*> tabs, QStringList& out) {
    if (tabs.isEmpty()) {
        for (const QString& s : clipped_texts_now(root)) {
            if (!out.contains(s)) out << s;
        }
        return;
    }
    QTabWidget* t = tabs.takeFirst();
    const int was = t->currentIndex();
    for (int i = 0; i < t->count(); ++i) {
        t->setCurrentIndex(i);
        QApplication::processEvents();
        sweep_tab_pages(root, tabs, out);
    }
    t->setCurrentIndex(was);
}

inline QStringList clipped_texts(QWidget* root) {
    QStringList out;
    sweep_tab_pages(root, root->findChildren<QTabWidget*>(), out);
    return out;
}

}  // namespace lvov::test
