#include "core/Helpers.h"

#include <QLocale>
#include <QTime>
#include <cmath>
#include <limits>

namespace corvalin {

QString ZeroPad(qint64 number, int width) {
    QString text = QString::number(number);
    if (text.size() < width)
        text.prepend(QString(width - text.size(), QLatin1Char('0')));
    return text;
}

QString ReplaceText(const QString& text, const QString& find, const QString& replace) {
    if (text.isEmpty())
        return QStringLiteral(" ");
    if (find.isEmpty() || !text.contains(find, Qt::CaseInsensitive))
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(find, from, Qt::CaseInsensitive);
        if (at < 0)
            break;
        result += QStringView(text).mid(from, at - from);
        result += replace;
        from = at + find.size();
    }
    result += QStringView(text).mid(from);
    return result.isEmpty() ? QStringLiteral(" ") : result;
}

QString localeTimeSeparator() {
    // Qt has no direct accessor: take the first non-digit of a formatted time.
    const QString sample = QLocale::system().toString(QTime(13, 57, 46), QLocale::ShortFormat);
    for (qsizetype i = 0; i < sample.size(); ++i) {
        if (!sample[i].isDigit() && i > 0 && sample[i - 1].isDigit())
            return sample.mid(i, 1);
    }
    return QStringLiteral(":");
}

QString MsToText(qint64 ms, const QString& timeSeparator) {
    if (ms < 0)
        return QStringLiteral("0") + timeSeparator + QStringLiteral("00");
    const qint64 minutes = ms / 60000;
    const double rest = static_cast<double>(ms - minutes * 60000) / 1000.0;
    auto seconds = static_cast<qint64>(std::nearbyint(rest)); // default rounding: halves to even
    if (seconds > 59)
        seconds = 59;
    return QString::number(minutes) + timeSeparator + ZeroPad(seconds, 2);
}

QString MsToText(qint64 ms) {
    return MsToText(ms, localeTimeSeparator());
}

int VersionNumber(const QString& text) {
    QString result;
    QString group;
    const qsizetype last = text.size() - 1;
    for (qsizetype i = 0; i <= last; ++i) {
        const QChar c = text[i];
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (digit)
            group += c;
        if (c == QLatin1Char('.') || i == last) {
            if (group.size() < 2)
                group.prepend(QString(2 - group.size(), QLatin1Char('0')));
            result += group;
            group.clear();
        }
    }
    bool ok = false;
    const qlonglong value = result.toLongLong(&ok);
    if (!ok || value > std::numeric_limits<int>::max())
        return 0;
    return static_cast<int>(value);
}

QString CapText(const QString& text, int maxChars) {
    if (maxChars <= 0)
        return QString();
    qsizetype end = 0; // UTF-16 index after the last code point kept
    qsizetype lastBlank = -1;
    int count = 0;
    while (end < text.size() && count < maxChars) {
        const qsizetype width = text.at(end).isHighSurrogate() && end + 1 < text.size() &&
                                        text.at(end + 1).isLowSurrogate()
                                    ? 2
                                    : 1;
        if (text.at(end).isSpace())
            lastBlank = end;
        end += width;
        ++count;
    }
    if (end >= text.size())
        return text;
    // Cut at a word boundary: at the next character when it is a blank, else at the last blank.
    if (!text.at(end).isSpace() && lastBlank > 0)
        end = lastBlank;
    qsizetype kept = end;
    while (kept > 0 && text.at(kept - 1).isSpace())
        --kept;
    return text.left(kept);
}

} // namespace corvalin
