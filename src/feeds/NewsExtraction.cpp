#include "feeds/NewsExtraction.h"

#include "core/Helpers.h"

namespace corvalin {

namespace {

const QChar kBackslash = QLatin1Char('\\');

// Drops blanks and control characters (up to U+0020) from both ends, in place: a page with many
// tags must not copy the whole headline at each of them.
void trimControls(QString& s) {
    qsizetype end = s.size();
    while (end > 0 && s[end - 1].unicode() <= 0x20)
        --end;
    s.truncate(end);
    qsizetype begin = 0;
    while (begin < s.size() && s[begin].unicode() <= 0x20)
        ++begin;
    if (begin > 0)
        s.remove(0, begin);
}

// 0-based index of the first `marker` in `text`, or -1; an empty marker is never found.
qsizetype find(const QString& text, const QString& marker) {
    return marker.isEmpty() ? -1 : text.indexOf(marker);
}

// UTF-16 width of the character at `i`: 2 for a surrogate pair, else 1.
qsizetype widthAt(const QString& s, qsizetype i) {
    return s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate() ? 2 : 1;
}

// The index `count` characters before `i`, never below `floor`.
qsizetype charactersBack(const QString& s, qsizetype i, int count, qsizetype floor) {
    for (; count > 0 && i > floor; --count)
        i -= i - 2 >= floor && s[i - 1].isLowSurrogate() && s[i - 2].isHighSurrogate() ? 2 : 1;
    return i;
}

// Whether `text` is exactly one character (a surrogate pair counts as one).
bool isOneCharacter(const QString& text) {
    return !text.isEmpty() && widthAt(text, 0) == text.size();
}

// The characters of the window after `start` (of `windowSize` characters), up to the first `end`.
// Nothing when `start` is missing or the page is too short for the window plus one character.
QString windowText(const QString& rawPage, const QString& start, const QString& end, int windowSize,
                   bool digitsOnly) {
    const QString page = normaliseLineBreaks(rawPage);
    if (isErrorPage(page))
        return {};
    const qsizetype at = find(page, start);
    if (at < 0)
        return {};
    const qsizetype p = at + start.size();
    qsizetype windowEnd = p;
    int characters = 0;
    for (qsizetype i = p; i < page.size() && characters <= windowSize; i += widthAt(page, i)) {
        if (characters == windowSize)
            windowEnd = i;
        ++characters;
    }
    if (characters < windowSize + 1)
        return {};
    const bool endMatches = isOneCharacter(end);
    QString out;
    for (qsizetype i = p; i < windowEnd;) {
        const qsizetype w = widthAt(page, i);
        const QStringView c = QStringView(page).mid(i, w);
        i += w;
        if (endMatches && c == end)
            break;
        if (digitsOnly ? (w == 1 && c[0] >= QLatin1Char('0') && c[0] <= QLatin1Char('9'))
                       : c[0] != kBackslash)
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

QString capHeadline(const QString& headline, const QString& longPause) {
    QString capped = CapText(headline, kMaxHeadlineChars);
    if (capped.size() == headline.size() || longPause.isEmpty())
        return capped;
    const qsizetype cut = capped.size();
    const qsizetype at =
        headline.indexOf(longPause, qMax<qsizetype>(0, cut - longPause.size() + 1));
    if (at >= 0 && at < cut) {
        capped.truncate(at);
        trimControls(capped);
    }
    return capped;
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
    // The region ends 3 characters before the end marker.
    const QStringView region = QStringView(page).mid(s, charactersBack(page, e, 3, s) - s);

    QString out;
    bool inText = true;
    bool justBroke = false;
    for (const QChar c : region) {
        if (c == QLatin1Char('<')) {
            inText = false;
            if (!justBroke) {
                trimControls(out);
                out += longPause;
            }
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
    return capHeadline(out, longPause);
}

QString extractTemperature(const QString& page, const QString& start, const QString& end) {
    return CapText(windowText(page, start, end, 23, true), kMaxWeatherPartChars);
}

QString extractCondition(const QString& page, const QString& start, const QString& end) {
    return CapText(acceptedText(windowText(page, start, end, 50, false)), kMaxWeatherPartChars);
}

QString extractCity(const QString& page, const QString& start, const QString& end) {
    return CapText(acceptedText(windowText(page, start, end, 30, false)), kMaxWeatherPartChars);
}

} // namespace corvalin
