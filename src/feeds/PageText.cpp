#include "feeds/PageText.h"

#include <QList>
#include <QStringDecoder>
#include <array>
#include <optional>

namespace corvalin {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

QByteArray unquoted(QByteArray value) {
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2).trimmed();
    else if (!value.isEmpty() && (value.front() == '"' || value.front() == '\''))
        value = value.mid(1).trimmed(); // an unclosed quote
    return value;
}

// Labels that mean Latin-1 or plain ASCII: pages so labelled are read as windows-1252, its
// superset, because their writers used it under those names.
bool isLatin1Label(const QByteArray& label) {
    static const std::array<const char*, 17> labels = {
        "ansi_x3.4-1968", "ascii",           "cp1252",    "cp819",        "csisolatin1", "ibm819",
        "iso-8859-1",     "iso-ir-100",      "iso8859-1", "iso88591",     "iso_8859-1",  "l1",
        "latin1",         "iso_8859-1:1987", "us-ascii",  "windows-1252", "x-cp1252"};
    const QByteArray lower = label.toLower();
    for (const char* l : labels)
        if (lower == l)
            return true;
    return false;
}

const QByteArray kWindows1252 = QByteArrayLiteral("windows-1252");
const QByteArray kUtf8 = QByteArrayLiteral("UTF-8");

// The decoder's own name for `label`, or nothing when it knows no such encoding.
std::optional<QByteArray> knownEncoding(const QByteArray& label) {
    const QByteArray trimmed = label.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    if (isLatin1Label(trimmed))
        return kWindows1252;
    const QStringDecoder decoder(trimmed.constData());
    if (!decoder.isValid())
        return std::nullopt;
    return QByteArray(decoder.name());
}

std::optional<QByteArray> encodingOfBom(const QByteArray& body) {
    if (body.startsWith("\xEF\xBB\xBF"))
        return kUtf8;
    if (body.startsWith("\xFF\xFE"))
        return QByteArrayLiteral("UTF-16LE");
    if (body.startsWith("\xFE\xFF"))
        return QByteArrayLiteral("UTF-16BE");
    return std::nullopt;
}

// Attributes of the tag whose name ends at `pos`, up to its ">"; `pos` ends after it.
QList<std::pair<QByteArray, QByteArray>> tagAttributes(const QByteArray& text, qsizetype& pos) {
    QList<std::pair<QByteArray, QByteArray>> attributes;
    const qsizetype n = text.size();
    for (;;) {
        while (pos < n && (isBlank(text[pos]) || text[pos] == '/'))
            ++pos;
        if (pos >= n)
            return attributes;
        if (text[pos] == '>') {
            ++pos;
            return attributes;
        }
        const qsizetype nameStart = pos;
        while (pos < n && !isBlank(text[pos]) && text[pos] != '=' && text[pos] != '>' &&
               text[pos] != '/')
            ++pos;
        const QByteArray name = text.mid(nameStart, pos - nameStart).toLower();
        while (pos < n && isBlank(text[pos]))
            ++pos;
        QByteArray value;
        if (pos < n && text[pos] == '=') {
            ++pos;
            while (pos < n && isBlank(text[pos]))
                ++pos;
            if (pos < n && (text[pos] == '"' || text[pos] == '\'')) {
                const char quote = text[pos++];
                const qsizetype valueStart = pos;
                while (pos < n && text[pos] != quote)
                    ++pos;
                value = text.mid(valueStart, pos - valueStart);
                if (pos < n)
                    ++pos;
            } else {
                const qsizetype valueStart = pos;
                while (pos < n && !isBlank(text[pos]) && text[pos] != '>')
                    ++pos;
                value = text.mid(valueStart, pos - valueStart);
            }
        }
        if (name.isEmpty()) {
            ++pos; // a stray character: step over it
            continue;
        }
        attributes.append({name, value});
    }
}

QByteArray attribute(const QList<std::pair<QByteArray, QByteArray>>& attributes, const char* name) {
    for (const auto& [key, value] : attributes)
        if (key == name)
            return value;
    return {};
}

bool hasAttribute(const QList<std::pair<QByteArray, QByteArray>>& attributes, const char* name) {
    for (const auto& a : attributes)
        if (a.first == name)
            return true;
    return false;
}

} // namespace

QByteArray charsetOfContentType(const QByteArray& contentType) {
    const QList<QByteArray> parts = contentType.split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray part = parts[i].trimmed();
        const qsizetype eq = part.indexOf('=');
        if (eq > 0 && part.left(eq).trimmed().toLower() == "charset")
            return unquoted(part.mid(eq + 1));
    }
    return {};
}

QByteArray charsetOfMeta(const QByteArray& body) {
    const QByteArray head = body.left(kMetaScanBytes);
    const qsizetype n = head.size();
    qsizetype pos = 0;
    while ((pos = head.indexOf('<', pos)) >= 0) {
        if (head.mid(pos, 4) == "<!--") {
            const qsizetype end = head.indexOf("-->", pos + 4);
            if (end < 0)
                return {};
            pos = end + 3;
            continue;
        }
        if (pos + 5 < n && head.mid(pos + 1, 4).toLower() == "meta" &&
            (isBlank(head[pos + 5]) || head[pos + 5] == '/')) {
            pos += 5;
            const auto attributes = tagAttributes(head, pos);
            if (hasAttribute(attributes, "charset")) {
                const QByteArray charset = unquoted(attribute(attributes, "charset"));
                if (!charset.isEmpty())
                    return charset;
            }
            if (attribute(attributes, "http-equiv").trimmed().toLower() == "content-type") {
                const QByteArray charset = charsetOfContentType(attribute(attributes, "content"));
                if (!charset.isEmpty())
                    return charset;
            }
            continue;
        }
        ++pos;
    }
    return {};
}

QByteArray charsetOfXmlDeclaration(const QByteArray& body) {
    // Blank lines before the declaration are a common slip of feed generators.
    qsizetype start = 0;
    while (start < body.size() && isBlank(body[start]))
        ++start;
    if (!QByteArrayView(body).sliced(start).startsWith("<?xml"))
        return {};
    const qsizetype end = body.indexOf("?>", start);
    if (end < 0)
        return {};
    qsizetype pos = start + 5;
    const QByteArray declaration = body.left(end);
    const auto attributes = tagAttributes(declaration, pos);
    return unquoted(attribute(attributes, "encoding"));
}

QByteArray pageEncoding(const QByteArray& body, const QByteArray& contentType) {
    if (const auto bom = encodingOfBom(body))
        return *bom;
    if (const auto declared = knownEncoding(charsetOfContentType(contentType)))
        return *declared;
    if (const auto xml = knownEncoding(charsetOfXmlDeclaration(body))) {
        // Read as ASCII, like a meta tag.
        if (!xml->toUpper().startsWith("UTF-16") && !xml->toUpper().startsWith("UTF-32"))
            return *xml;
    }
    if (const auto meta = knownEncoding(charsetOfMeta(body))) {
        // A meta tag was readable as ASCII, so the page cannot be in UTF-16 or UTF-32.
        if (!meta->toUpper().startsWith("UTF-16") && !meta->toUpper().startsWith("UTF-32"))
            return *meta;
    }
    QStringDecoder utf8(QStringConverter::Utf8);
    [[maybe_unused]] const QString text = utf8.decode(body); // the decoding is lazy: run it
    return utf8.hasError() ? kWindows1252 : kUtf8;
}

QString decodePage(const QByteArray& body, const QByteArray& contentType) {
    QStringDecoder decoder(pageEncoding(body, contentType).constData());
    if (!decoder.isValid())
        return QString::fromUtf8(body);
    QString text = decoder.decode(body);
    // The UTF-16 decoder lets a surrogate without its partner through: no half character goes on.
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace corvalin
