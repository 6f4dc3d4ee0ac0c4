#pragma once

#include <QString>
#include <QStringView>

namespace corvalin {

// HTML's character references, named ("&eacute;") and numeric ("&#233;", "&#xE9;"), as a browser
// reads them in text. Feeds carry them in titles written as HTML. Pure functions; any thread.

// What the named reference `name` (without "&" and ";", letter case counting) stands for: one or
// two characters. A null QString when HTML has no such name.
QString htmlNamedEntity(QStringView name);

// `text` with every character reference replaced, in one pass (a replacement is not read again):
// a name takes the longest match, and the old names such as "amp" or "eacute" count without their
// semicolon too; a number may lack its semicolon. A number of 0, of a surrogate or past U+10FFFF
// gives U+FFFD; 128 to 159 are read as windows-1252 ("&#150;" is an en dash). An "&" that starts
// no reference stays as it is.
QString decodeHtmlEntities(const QString& text);

// The value of `c` as a decimal digit, or as a hexadecimal one when `hex`; -1 when it is none.
int digitValue(QChar c, bool hex);

} // namespace corvalin
