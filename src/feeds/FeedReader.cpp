#include "feeds/FeedReader.h"

#include "feeds/HtmlEntities.h"
#include "feeds/NewsExtraction.h"

#include <QXmlStreamReader>
#include <algorithm>

namespace corvalin {

namespace {

const QString kAtomNamespace = QStringLiteral("http://www.w3.org/2005/Atom");
const QString kAtom03Namespace = QStringLiteral("http://purl.org/atom/ns#");
const QString kRdfNamespace = QStringLiteral("http://www.w3.org/1999/02/22-rdf-syntax-ns#");
// RSS 1.0 and 0.90 put their items beside the channel, in rdf:RDF, in a namespace of their own.
const QString kRss10Namespace = QStringLiteral("http://purl.org/rss/1.0/");
const QString kRss090Namespace = QStringLiteral("http://my.netscape.com/rdf/simple/0.9/");

QByteArray mediaType(const QByteArray& contentType) {
    return contentType.split(';').value(0).trimmed().toLower();
}

// What the root element says: the format, and the namespace of the items and of their parts.
struct Root {
    FeedFormat format = FeedFormat::None;
    QString ns;
};

Root rootOf(const QXmlStreamReader& reader) {
    const QStringView name = reader.name();
    const QStringView ns = reader.namespaceUri();
    // Some RSS 2.0 feeds give <rss> a default namespace; the items then live in it.
    if (name == QLatin1String("rss"))
        return {FeedFormat::Rss, ns.toString()};
    if (name == QLatin1String("feed") &&
        (ns == kAtomNamespace || ns == kAtom03Namespace || ns.isEmpty()))
        return {FeedFormat::Atom, ns.toString()};
    if (name == QLatin1String("RDF") && ns == kRdfNamespace)
        for (const QXmlStreamNamespaceDeclaration& d : reader.namespaceDeclarations())
            if (d.namespaceUri() == kRss10Namespace || d.namespaceUri() == kRss090Namespace)
                return {FeedFormat::Rss, d.namespaceUri().toString()};
    return {};
}

// Feeds use HTML's entities ("&nbsp;", "&eacute;") without declaring them: they are read as HTML
// reads them, and a name HTML does not know either stays as written.
class HtmlEntityResolver final : public QXmlStreamEntityResolver {
public:
    QString resolveUndeclaredEntity(const QString& name) override {
        const QString value = htmlNamedEntity(name);
        if (value.isNull())
            return QStringLiteral("&amp;") + name + QLatin1Char(';');
        // The replacement is read as XML again: characters go in as references, never as markup.
        QString references;
        for (const char32_t c : value.toUcs4())
            references += QStringLiteral("&#%1;").arg(static_cast<quint32>(c));
        return references;
    }
};

bool isNameCharacter(QChar c) {
    return c.unicode() >= 0x80 || c.isLetterOrNumber() || c == QLatin1Char('_') ||
           c == QLatin1Char(':') || c == QLatin1Char('.') || c == QLatin1Char('-');
}

bool isXmlCharacter(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The length of the reference that starts at `at` (an "&"): "&name;", "&#N;" or "&#xH;" of a
// character XML allows; 0 when none starts there.
qsizetype referenceLength(const QString& text, qsizetype at) {
    const qsizetype n = text.size();
    qsizetype i = at + 1;
    if (i < n && text[i] == QLatin1Char('#')) {
        const bool hex = i + 1 < n && text[i + 1] == QLatin1Char('x');
        i += hex ? 2 : 1;
        const qsizetype digits = i;
        char32_t value = 0;
        for (int d; i < n && (d = digitValue(text[i], hex)) >= 0; ++i)
            value = std::min<char32_t>(value * (hex ? 16 : 10) + static_cast<char32_t>(d),
                                       0x110000); // past the last character: stays past
        return i > digits && i < n && text[i] == QLatin1Char(';') && isXmlCharacter(value)
                   ? i + 1 - at
                   : 0;
    }
    if (i >= n || !isNameCharacter(text[i]) || text[i].isDigit() || text[i] == QLatin1Char('.') ||
        text[i] == QLatin1Char('-'))
        return 0;
    while (i < n && isNameCharacter(text[i]))
        ++i;
    return i < n && text[i] == QLatin1Char(';') ? i + 1 - at : 0;
}

// The text with what real feeds get wrong set right, as a lenient reader takes it: blank lines
// before the XML declaration are dropped, and an "&" that starts no reference ("AT&T", "&nbsp"
// without its semicolon) stands for itself. CDATA sections, comments and processing
// instructions are kept as written. A well-formed document comes out unchanged.
QString lenientXml(const QString& text) {
    qsizetype begin = 0;
    while (begin < text.size() && text[begin].isSpace())
        ++begin;
    if (!QStringView(text).sliced(begin).startsWith(QLatin1String("<?xml")))
        begin = 0;
    const qsizetype n = text.size();
    QString out;
    out.reserve(n - begin + 64);
    const auto copyThrough = [&](qsizetype& i, QLatin1String close) {
        const qsizetype end = text.indexOf(close, i);
        const qsizetype stop = end < 0 ? n : end + close.size();
        out += QStringView(text).sliced(i, stop - i);
        i = stop;
    };
    for (qsizetype i = begin; i < n;) {
        const QChar c = text[i];
        if (c == QLatin1Char('<')) {
            const QStringView rest = QStringView(text).sliced(i);
            if (rest.startsWith(QLatin1String("<![CDATA[")))
                copyThrough(i, QLatin1String("]]>"));
            else if (rest.startsWith(QLatin1String("<!--")))
                copyThrough(i, QLatin1String("-->"));
            else if (rest.startsWith(QLatin1String("<?")))
                copyThrough(i, QLatin1String("?>"));
            else
                out += text[i++];
        } else if (c == QLatin1Char('&') && referenceLength(text, i) == 0) {
            out += QLatin1String("&amp;");
            ++i;
        } else {
            out += text[i++];
        }
    }
    return out;
}

// A reader of the text as lenientXml() sets it right, HTML's entities known.
class LenientReader {
public:
    explicit LenientReader(const QString& text) : reader_(lenientXml(text)) {
        reader_.setEntityResolver(&resolver_);
    }
    QXmlStreamReader& operator*() { return reader_; }
    LenientReader(const LenientReader&) = delete;
    LenientReader& operator=(const LenientReader&) = delete;

private:
    HtmlEntityResolver resolver_;
    QXmlStreamReader reader_;
};

bool isTagStart(QChar c) {
    return c.isLetter() || c == QLatin1Char('/') || c == QLatin1Char('!') || c == QLatin1Char('?');
}

// The text of the element the reader stands on, read to its end. Atom says how its texts are
// written: "html" (Atom 0.3: "text/html") is escaped markup, "xhtml" is markup in elements (their
// text is read), "text" is plain. RSS texts may carry escaped markup too. Escaped markup is read as
// HTML: tags removed, then its entities decoded.
QString elementText(QXmlStreamReader& reader, FeedFormat format) {
    const QString type = reader.attributes().value(QLatin1String("type")).toString().toLower();
    const QString text = reader.readElementText(QXmlStreamReader::IncludeChildElements);
    const bool escapedMarkup =
        format == FeedFormat::Rss ||
        (type.contains(QLatin1String("html")) && !type.contains(QLatin1String("xhtml")));
    return escapedMarkup ? decodeHtmlEntities(withoutMarkup(text)).simplified() : text.simplified();
}

// Reads the children of the item the reader stands on, up to its end. A part is taken only when it
// was read to its end: after an error (a feed cut short, markup the reader cannot follow) the item
// holds what was read whole before it.
FeedItem readItem(QXmlStreamReader& reader, const Root& root) {
    FeedItem item;
    QString content;
    const auto take = [&](QString& part) {
        const QString text = elementText(reader, root.format);
        if (!reader.hasError())
            part = text;
    };
    while (reader.readNextStartElement()) {
        const QStringView name = reader.name();
        if (reader.namespaceUri() != root.ns) {
            reader.skipCurrentElement();
        } else if (name == QLatin1String("title") && item.title.isEmpty()) {
            take(item.title);
        } else if (item.summary.isEmpty() &&
                   name ==
                       QLatin1String(root.format == FeedFormat::Rss ? "description" : "summary")) {
            take(item.summary);
        } else if (root.format == FeedFormat::Atom && name == QLatin1String("content") &&
                   content.isEmpty()) {
            take(content);
        } else {
            reader.skipCurrentElement();
        }
    }
    if (item.summary.isEmpty())
        item.summary = content;
    return item;
}

} // namespace

FeedFormat feedFormatOfContentType(const QByteArray& contentType) {
    const QByteArray type = mediaType(contentType);
    if (type == "application/rss+xml")
        return FeedFormat::Rss;
    if (type == "application/atom+xml")
        return FeedFormat::Atom;
    return FeedFormat::None;
}

FeedFormat feedFormatOfRoot(const QString& text) {
    LenientReader reader(text);
    return (*reader).readNextStartElement() ? rootOf(*reader).format : FeedFormat::None;
}

bool isFeedAnswer(const QString& text, const QByteArray& contentType) {
    return feedFormatOfContentType(contentType) != FeedFormat::None ||
           feedFormatOfRoot(text) != FeedFormat::None;
}

FeedRead readFirstFeedItem(const QString& text) {
    FeedRead result;
    LenientReader lenient(text);
    QXmlStreamReader& reader = *lenient;
    if (!reader.readNextStartElement()) {
        result.error = reader.hasError() ? reader.errorString() : QStringLiteral("no element");
        return result;
    }
    const Root root = rootOf(reader);
    if (root.format == FeedFormat::None) {
        result.error = QStringLiteral("root element <%1>").arg(reader.name());
        return result;
    }
    const QLatin1String itemName(root.format == FeedFormat::Rss ? "item" : "entry");
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != itemName ||
            reader.namespaceUri() != root.ns)
            continue;
        result.item = readItem(reader, root);
        // An error after the title was read whole does not cost the headline.
        if (reader.hasError() && result.item.title.isEmpty())
            break;
        result.status = FeedRead::Status::Ok;
        return result;
    }
    if (reader.hasError()) {
        result.error = reader.errorString();
        return result;
    }
    result.status = FeedRead::Status::NoItems;
    return result;
}

QString withoutMarkup(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('<') || i + 1 >= text.size() || !isTagStart(text[i + 1])) {
            out += c;
            continue;
        }
        const bool comment = QStringView(text).mid(i).startsWith(QLatin1String("<!--"));
        const qsizetype end = comment ? text.indexOf(QLatin1String("-->"), i + 4)
                                      : text.indexOf(QLatin1Char('>'), i + 1);
        if (end < 0) {
            out += c;
            continue;
        }
        out += QLatin1Char(' ');
        i = end + (comment ? 2 : 0);
    }
    return out.simplified();
}

QString feedHeadline(const FeedItem& item, bool withSummary, const QString& longPause) {
    // Only the pauses put here may be speech tags.
    const QString title = QString(item.title).remove(QLatin1Char('\\')).trimmed();
    if (title.isEmpty())
        return {};
    const QString summary = QString(item.summary).remove(QLatin1Char('\\')).trimmed();
    if (!withSummary || summary.isEmpty())
        return capHeadline(title, longPause);
    return capHeadline(title + longPause + summary, longPause);
}

} // namespace corvalin
