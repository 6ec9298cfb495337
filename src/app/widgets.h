// Small widgets of the main window: clickable labels, the games list and the menu
// bar's style.
#pragma once
#include <QComboBox>
#include <QLabel>
#include <QProxyStyle>
#include <QString>
#include <string>

#include "storage/buffers.h"

namespace lvov {

// Text between the emulator's UTF-8 strings and Qt's. Messages and titles convert as
// UTF-8; a file name from Qt gets back the bytes that are not UTF-8 (escape_file_name).
inline QString utf8(const std::string& text) { return QString::fromStdString(text); }
inline std::string utf8(const QString& file_name) { return unescape_file_name(file_name.toStdU16String()); }

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
