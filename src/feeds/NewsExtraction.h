#pragma once

#include <QString>

namespace corvalin {

// Cutting the headline and the weather out of web pages. Pure functions of the page text and the
// markers; any thread.
//
// Each function first normalises the page's line breaks to CR LF; positions count in that text.
// Lengths and windows count characters (code points): a character outside the Basic Multilingual
// Plane counts once and is never split. An empty marker never occurs in a page. Backslashes in the
// page's own text are dropped, so a page cannot smuggle speech control tags into the talk; the
// pauses inserted here are the only tags in a result.

// Every line break (CR LF, LF or a lone CR) as CR LF.
QString normaliseLineBreaks(const QString& text);

// An empty page, or one whose upper-case text says "PAGE NOT FOUND" or "PAGE CANNOT BE DISPLAYED".
bool isErrorPage(const QString& page);

// The headline: the region from the first `newsStart` (included) to 3 characters before the
// first `newsEnd`, tags and line breaks turned into `longPause` (runs collapse into one), the
// text between them kept, capped at kMaxHeadlineChars at a word boundary (a pause is never cut in
// two). Empty when the page is an error page or the markers are missing or out of order.
QString extractHeadline(const QString& page, const QString& newsStart, const QString& newsEnd,
                        const QString& longPause);

// A headline capped at kMaxHeadlineChars at a word boundary; a pause the cut would split is left
// out whole, so no half tag reaches the talk.
QString capHeadline(const QString& headline, const QString& longPause);

// The weather parts are capped at kMaxWeatherPartChars each.
// The digits of the 23 characters after the first `start`, up to the one-character `end`.
QString extractTemperature(const QString& page, const QString& start, const QString& end);
// The 50 characters after the first `start`, up to the one-character `end`; empty when the text
// holds "<" or ">".
QString extractCondition(const QString& page, const QString& start, const QString& end);
// The same with a window of 30 characters.
QString extractCity(const QString& page, const QString& start, const QString& end);

} // namespace corvalin
