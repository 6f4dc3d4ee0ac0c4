#include "feeds/NewsExtraction.h"

namespace corvalin {

namespace {

const QChar kBackslash = QLatin1Char('\\');

// Trims characters up to the blank from both ends, as the original text functions did.
QString trimControls(const QString& s) {
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && s[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && s[end - 1].unicode() <= 0x20)
        --end;
    return s.mid(begin, end - begin);
}

// 0-based index of the first `marker` in `text`, or -1; an empty marker is never found.
qsizetype find(const QString& text, const QString& marker) {
    return marker.isEmpty() ? -1 : text.indexOf(marker);
}

// The characters of the window after `start` (of `windowSize`), up to the first `end`.
// Nothing when `start` is missing or the page is too short for the window plus one character.
QString windowText(const QString& rawPage, const QString& start, const QString& end,
                   qsizetype windowSize, bool digitsOnly) {
    const QString page = normaliseLineBreaks(rawPage);
    if (isErrorPage(page))
        return {};
    const qsizetype at = find(page, start);
    if (at < 0)
        return {};
    const qsizetype p = at + start.size();
    if (page.size() < p + windowSize + 1)
        return {};
    const bool endMatches = end.size() == 1;
    QString out;
    for (qsizetype i = p; i < p + windowSize; ++i) {
        const QChar c = page[i];
        if (endMatches && c == end[0])
            break;
        if (digitsOnly ? (c >= QLatin1Char('0') && c <= QLatin1Char('9')) : c != kBackslash)
            out += c;
    }
    return out;
}

QString acceptedText(const QString& text) {
    if (text.isEmpty() || text.contains(QLatin1Char('<')) || text.contains(QLatin1Char('>')))
        return {};
    return text;
}

} // namespace

QString normaliseLineBreaks(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 32);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r')) {
            out += QStringLiteral("\r\n");
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('\n')) {
            out += QStringLiteral("\r\n");
        } else {
            out += c;
        }
    }
    return out;
}

bool isErrorPage(const QString& page) {
    if (page.isEmpty())
        return true;
    const QString upper = page.toUpper();
    return upper.contains(QStringLiteral("PAGE NOT FOUND")) ||
           upper.contains(QStringLiteral("PAGE CANNOT BE DISPLAYED"));
}

QString extractHeadline(const QString& rawPage, const QString& newsStart, const QString& newsEnd,
                        const QString& longPause) {
    const QString page = normaliseLineBreaks(rawPage);
    if (isErrorPage(page))
        return {};
    const qsizetype s = find(page, newsStart);
    const qsizetype e = find(page, newsEnd);
    if (s < 0 || e < 0 || s >= e)
        return {};
    const QString region = page.mid(s, qMax<qsizetype>(0, e - s - 3));

    QString out;
    bool inText = true;
    bool justBroke = false;
    for (const QChar c : region) {
        if (c == QLatin1Char('<')) {
            inText = false;
            if (!justBroke)
                out = trimControls(out) + longPause;
            justBroke = true;
        } else if (c == QLatin1Char('>')) {
            inText = true;
        } else if (c == QLatin1Char('\r')) {
            if (!justBroke)
                out += longPause;
            justBroke = true;
        } else if (inText && c != kBackslash) {
            out += c;
            justBroke = false;
        }
    }
    return out;
}

QString extractTemperature(const QString& page, const QString& start, const QString& end) {
    return windowText(page, start, end, 23, true);
}

QString extractCondition(const QString& page, const QString& start, const QString& end) {
    return acceptedText(windowText(page, start, end, 50, false));
}

QString extractCity(const QString& page, const QString& start, const QString& end) {
    return acceptedText(windowText(page, start, end, 30, false));
}

} // namespace corvalin
