// Small widgets of the main window: clickable labels, the games list and the menu
// bar's style.
#pragma once
#include <QComboBox>
#include <QLabel>
#include <QProxyStyle>

namespace lvov {

// A label that reports mouse clicks.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// The games list; reports when its drop-down list closes.
class GamesComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void hidePopup() override;
signals:
    void closedUp();
};

// Keeps Alt from opening the menu bar, so that the key reaches the emulated keyboard.
class NoAltMenuStyle : public QProxyStyle {
public:
    // One style for every menu bar, made at the first call and owned by the application
    // object, so it outlives every window that uses it.
    static NoAltMenuStyle* instance();
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};

}  // namespace lvov
