#include "feeds/HtmlEntities.h"

#include <QStringDecoder>
#include <algorithm>
#include <string_view>

namespace corvalin {

namespace {

struct NamedEntity {
    const char* name;
    char32_t first;
    char32_t second; // 0: the name stands for one character
    bool legacy;     // also recognised without its semicolon
};

constexpr NamedEntity kNamedEntities[] = {
#include "feeds/HtmlEntityTable.inc"
};

// No name is longer ("CounterClockwiseContourIntegral").
constexpr qsizetype kLongestName = 31;

constexpr bool sortedByName() {
    for (std::size_t i = 1; i < std::size(kNamedEntities); ++i)
        if (!(std::string_view(kNamedEntities[i - 1].name) <
              std::string_view(kNamedEntities[i].name)))
            return false;
    return true;
}
static_assert(sortedByName(), "the table is searched by halves");

bool isAsciiAlnum(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

const NamedEntity* findName(QStringView name) {
    if (name.isEmpty() || name.size() > kLongestName)
        return nullptr;
    char ascii[kLongestName];
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!isAsciiAlnum(name[i]))
            return nullptr;
        ascii[i] = static_cast<char>(name[i].unicode());
    }
    const std::string_view key(ascii, static_cast<std::size_t>(name.size()));
    const auto* end = std::end(kNamedEntities);
    const auto* it = std::lower_bound(
        std::begin(kNamedEntities), end, key,
        [](const NamedEntity& e, std::string_view k) { return std::string_view(e.name) < k; });
    return it != end && std::string_view(it->name) == key ? it : nullptr;
}

// The longest old name (recognised without semicolon) that begins `run`, and its length.
const NamedEntity* legacyPrefix(QStringView run, qsizetype& length) {
    for (length = run.size(); length > 0; --length)
        if (const NamedEntity* e = findName(run.first(length)); e && e->legacy)
            return e;
    return nullptr;
}

void appendCodePoint(QString& out, char32_t c) {
    out += QStringView(QChar::fromUcs4(c));
}

void appendEntity(QString& out, const NamedEntity& e) {
    appendCodePoint(out, e.first);
    if (e.second != 0)
        appendCodePoint(out, e.second);
}

// A numeric reference's character, as HTML reads the number.
void appendNumbered(QString& out, char32_t value) {
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        out += QChar::ReplacementCharacter;
        return;
    }
    if (value >= 0x80 && value <= 0x9F) {
        // Pages written in windows-1252 number its characters by their byte.
        QStringDecoder windows1252("windows-1252");
        const char byte = static_cast<char>(value);
        const QString c =
            windows1252.isValid() ? windows1252.decode(QByteArrayView(&byte, 1)) : QString();
        if (c.size() == 1 && c[0] != QChar::ReplacementCharacter) {
            out += c;
            return;
        }
    }
    appendCodePoint(out, value);
}

} // namespace

int digitValue(QChar c, bool hex) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (hex && u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (hex && u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

QString htmlNamedEntity(QStringView name) {
    const NamedEntity* e = findName(name);
    if (!e)
        return {};
    QString out;
    appendEntity(out, *e);
    return out;
}

QString decodeHtmlEntities(const QString& text) {
    const qsizetype n = text.size();
    if (!text.contains(QLatin1Char('&')))
        return text;
    QString out;
    out.reserve(n);
    qsizetype i = 0;
    while (i < n) {
        if (text[i] != QLatin1Char('&')) {
            out += text[i++];
            continue;
        }
        if (i + 1 < n && text[i + 1] == QLatin1Char('#')) {
            qsizetype j = i + 2;
            const bool hex = j < n && (text[j] == QLatin1Char('x') || text[j] == QLatin1Char('X'));
            if (hex)
                ++j;
            const qsizetype digits = j;
            char32_t value = 0;
            for (int d; j < n && (d = digitValue(text[j], hex)) >= 0; ++j)
                value = std::min<char32_t>(value * (hex ? 16 : 10) + static_cast<char32_t>(d),
                                           0x110000); // past the last character: stays past
            if (j == digits) {                        // "&#" without a number
                out += text[i++];
                continue;
            }
            if (j < n && text[j] == QLatin1Char(';'))
                ++j;
            appendNumbered(out, value);
            i = j;
            continue;
        }
        qsizetype end = i + 1;
        while (end < n && end - i - 1 < kLongestName && isAsciiAlnum(text[end]))
            ++end;
        const QStringView run = QStringView(text).sliced(i + 1, end - i - 1);
        if (end < n && text[end] == QLatin1Char(';')) {
            if (const NamedEntity* e = findName(run)) {
                appendEntity(out, *e);
                i = end + 1;
                continue;
            }
        }
        // Without the semicolon only an old name counts, the longest that begins the run.
        qsizetype length = 0;
        if (const NamedEntity* legacy = legacyPrefix(run, length)) {
            appendEntity(out, *legacy);
            i += 1 + length;
            continue;
        }
        out += text[i++];
    }
    return out;
}

} // namespace corvalin
