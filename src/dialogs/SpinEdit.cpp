#include "SpinEdit.h"

#include <QRegularExpression>
#include <limits>

namespace corvalin {

int spinEditValue(const QString& text, SpinRange range) {
    static const QRegularExpression wholeNumber(QStringLiteral("^[+-]?[0-9]+$"));
    const QString t = text.trimmed();
    if (!wholeNumber.match(t).hasMatch())
        return range.minimum;
    bool ok = false;
    const qlonglong n = t.toLongLong(&ok);
    if (!ok) // more digits than any int: the bound on its side
        return t.startsWith(QLatin1Char('-')) ? range.minimum : range.maximum;
    if (n < std::numeric_limits<int>::min())
        return range.minimum;
    if (n > std::numeric_limits<int>::max())
        return range.maximum;
    return range.clamp(static_cast<int>(n));
}

SpinEdit::SpinEdit(SpinRange range, QWidget* parent) : QSpinBox(parent) {
    setRange(range.minimum, range.maximum);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    // The value follows the text only when it is settled (focus out, Enter, OK).
    setKeyboardTracking(false);
}

int SpinEdit::settledValue() {
    interpretText();
    return value();
}

// Every text is acceptable: spinEditValue decides what it means.
QValidator::State SpinEdit::validate(QString&, int&) const {
    return QValidator::Acceptable;
}

int SpinEdit::valueFromText(const QString& text) const {
    return spinEditValue(text, range());
}

void SpinEdit::fixup(QString& input) const {
    input = QString::number(spinEditValue(input, range()));
}

} // namespace corvalin
