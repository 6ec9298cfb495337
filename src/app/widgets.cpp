#include "app/widgets.h"

#include <QCoreApplication>
#include <QPointer>

namespace lvov {

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
    QLabel::mousePressEvent(event);
    emit clicked();
}

void GamesComboBox::hidePopup() {
    QComboBox::hidePopup();
    emit closedUp();
}

NoAltMenuStyle* NoAltMenuStyle::instance() {
    static QPointer<NoAltMenuStyle> style;
    if (!style) {
        style = new NoAltMenuStyle;
        style->setParent(QCoreApplication::instance());
    }
    return style;
}

int NoAltMenuStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                              QStyleHintReturn* returnData) const {
    if (hint == QStyle::SH_MenuBar_AltKeyNavigation) return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

}  // namespace lvov
