#include "app/widgets.h"

namespace lvov {

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
    QLabel::mousePressEvent(event);
    emit clicked();
}

void GamesComboBox::hidePopup() {
    QComboBox::hidePopup();
    emit closedUp();
}

int NoAltMenuStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                              QStyleHintReturn* returnData) const {
    if (hint == QStyle::SH_MenuBar_AltKeyNavigation) return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

}  // namespace lvov
