#include "app/speed_field.h"

#include <QLineEdit>
#include <algorithm>

#include "core/errors.h"
#include "core/text.h"

namespace lvov {

SpeedField::SpeedField(int minimum, int maximum, int max_length, QWidget* parent)
    : QAbstractSpinBox(parent), minimum_(minimum), maximum_(maximum), max_length_(max_length) {
    lineEdit()->setMaxLength(max_length);
    // No arrow buttons: in the toolbar's narrow fields they would leave too little room
    // for the longest entry. The Up and Down keys and the mouse wheel step the value.
    setButtonSymbols(QAbstractSpinBox::NoButtons);
    setValue(minimum);
}

int SpeedField::value() const {
    try {
        return StrToInt(text().toStdString());
    } catch (const ConversionError&) {
        return minimum_;
    }
}

void SpeedField::setValue(int value) { lineEdit()->setText(QString::number(value)); }

void SpeedField::stepBy(int steps) {
    const int64_t next = std::clamp<int64_t>(int64_t{value()} + steps, minimum_, maximum_);
    setValue(static_cast<int>(next));
    selectAll();
}

// Every text up to the length limit is taken as typed; only a longer one (a paste) is
// refused.
QValidator::State SpeedField::validate(QString& input, int&) const {
    return input.size() <= max_length_ ? QValidator::Acceptable : QValidator::Invalid;
}

QAbstractSpinBox::StepEnabled SpeedField::stepEnabled() const {
    if (!isEnabled()) return StepNone;
    const int v = value();
    StepEnabled steps = StepNone;
    if (v < maximum_) steps |= StepUpEnabled;
    if (v > minimum_) steps |= StepDownEnabled;
    return steps;
}

}  // namespace lvov
