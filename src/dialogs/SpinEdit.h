#pragma once

#include <QSpinBox>

namespace corvalin {

// The whole numbers a spin box can hold.
struct SpinRange {
    int minimum;
    int maximum;
    int clamp(int value) const {
        return value < minimum ? minimum : (value > maximum ? maximum : value);
    }
};

// What a spin box holds for `text`: a whole number (blanks around it allowed) pulled into the
// range at the nearer bound, anything else the minimum. A number too long for an int is still a
// number: it goes to the bound on its side.
int spinEditValue(const QString& text, SpinRange range);

// A whole-number spin box that accepts any typing, like the operator expects of a text box, and
// settles the text by spinEditValue when it loses the focus or Enter is pressed. setValue pulls an
// out-of-range value to the nearer bound. Window thread only.
class SpinEdit : public QSpinBox {
    Q_OBJECT
public:
    explicit SpinEdit(SpinRange range, QWidget* parent = nullptr);

    // The text box, to type into as the operator does.
    using QAbstractSpinBox::lineEdit;

    SpinRange range() const { return {minimum(), maximum()}; }
    // Settles whatever is typed now and returns the value then held (what OK stores).
    int settledValue();

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    int valueFromText(const QString& text) const override;
    void fixup(QString& input) const override;
};

} // namespace corvalin
