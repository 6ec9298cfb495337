// An integer field of the toolbar's speed settings: frames per second and cycles per
// frame.
//
// The field takes any typed text up to its length limit and judges none of it while the
// user types: the number is read only when the settings are applied. A text that the
// integer conversion accepts (blanks, a sign, decimal digits, or "$" and hexadecimal
// digits) counts as that number, even outside the range; a text that is not a number,
// the empty one included, counts as the minimum. The range bounds only the steps of the
// Up and Down keys and of the mouse wheel.
#pragma once
#include <QAbstractSpinBox>

namespace lvov {

class SpeedField : public QAbstractSpinBox {
    Q_OBJECT
public:
    SpeedField(int minimum, int maximum, int max_length, QWidget* parent = nullptr);

    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int max_length() const { return max_length_; }

    // The number the text stands for (see above).
    int value() const;
    // Shows value as decimal digits.
    void setValue(int value);

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;

protected:
    StepEnabled stepEnabled() const override;

private:
    int minimum_;
    int maximum_;
    int max_length_;
};

}  // namespace lvov
