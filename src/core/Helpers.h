#pragma once

#include <QString>

namespace corvalin {

// The number's decimal text, left-padded with "0" to at least `width` characters.
// ZeroPad(7, 4) is "0007"; ZeroPad(12345, 4) is "12345".
QString ZeroPad(qint64 number, int width);

// Every occurrence of `find`, matched without regard to letter case, replaced from left to right
// without overlaps; replaced text is not searched again. An empty text or an empty result becomes
// one blank; an empty `find` changes nothing.
QString ReplaceText(const QString& text, const QString& find, const QString& replace);

// Minutes, the time separator and two-digit seconds (rounded half to even, at most 59):
// 185400 gives "3:05". Negative input gives "0" + separator + "00".
QString MsToText(qint64 ms, const QString& timeSeparator);
// The same with the locale's time separator.
QString MsToText(qint64 ms);

// The locale's time separator (":" for most locales).
QString localeTimeSeparator();

// `text` cut to at most `maxChars` code points (a character outside the Basic Multilingual Plane
// counts once and is never split), at the last blank within the limit when there is one, with
// trailing blanks dropped. Texts from outside (headlines, weather, song artists and titles) are
// capped so that no text keeps the DJ talking for minutes.
QString CapText(const QString& text, int maxChars);
inline constexpr int kMaxHeadlineChars = 300;
inline constexpr int kMaxSongTextChars = 200;
inline constexpr int kMaxWeatherPartChars = 100;

// A dotted version text as a comparable number: "1.4.0.7" gives 1040007, "10.2" 1002, "" 0.
int VersionNumber(const QString& text);

} // namespace corvalin
