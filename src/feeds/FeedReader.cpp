#include "feeds/FeedReader.h"

#include "feeds/NewsExtraction.h"

#include <QXmlStreamReader>

namespace corvalin {

namespace {

const QString kAtomNamespace = QStringLiteral("http://www.w3.org/2005/Atom");

QByteArray mediaType(const QByteArray& contentType) {
    return contentType.split(';').value(0).trimmed().toLower();
}

FeedFormat formatOfRootElement(const QXmlStreamReader& reader) {
    if (reader.name() == QLatin1String("rss") && reader.namespaceUri().isEmpty())
        return FeedFormat::Rss;
    if (reader.name() == QLatin1String("feed") &&
        (reader.namespaceUri() == kAtomNamespace || reader.namespaceUri().isEmpty()))
        return FeedFormat::Atom;
    return FeedFormat::None;
}

bool isTagStart(QChar c) {
    return c.isLetter() || c == QLatin1Char('/') || c == QLatin1Char('!') || c == QLatin1Char('?');
}

// The text of the element the reader stands on, read to its end. Atom says how its texts are
// written: "html" is escaped markup, "xhtml" is markup in elements (their text is read), "text" is
// plain. RSS texts may carry escaped markup too.
QString elementText(QXmlStreamReader& reader, FeedFormat format) {
    const QString type = reader.attributes().value(QLatin1String("type")).toString().toLower();
    const QString text = reader.readElementText(QXmlStreamReader::IncludeChildElements);
    const bool escapedMarkup =
        format == FeedFormat::Rss ||
        (type.contains(QLatin1String("html")) && !type.contains(QLatin1String("xhtml")));
    return escapedMarkup ? withoutMarkup(text) : text.simplified();
}

// Reads the children of the item the reader stands on, up to its end.
FeedItem readItem(QXmlStreamReader& reader, FeedFormat format, const QString& ns) {
    FeedItem item;
    QString content;
    while (reader.readNextStartElement()) {
        const QStringView name = reader.name();
        if (reader.namespaceUri() != ns) {
            reader.skipCurrentElement();
        } else if (name == QLatin1String("title") && item.title.isEmpty()) {
            item.title = elementText(reader, format);
        } else if (item.summary.isEmpty() &&
                   name == QLatin1String(format == FeedFormat::Rss ? "description" : "summary")) {
            item.summary = elementText(reader, format);
        } else if (format == FeedFormat::Atom && name == QLatin1String("content") &&
                   content.isEmpty()) {
            content = elementText(reader, format);
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
    QXmlStreamReader reader(text);
    return reader.readNextStartElement() ? formatOfRootElement(reader) : FeedFormat::None;
}

bool isFeedAnswer(const QString& text, const QByteArray& contentType) {
    return feedFormatOfContentType(contentType) != FeedFormat::None ||
           feedFormatOfRoot(text) != FeedFormat::None;
}

FeedRead readFirstFeedItem(const QString& text) {
    FeedRead result;
    QXmlStreamReader reader(text);
    if (!reader.readNextStartElement()) {
        result.error = reader.hasError() ? reader.errorString() : QStringLiteral("no element");
        return result;
    }
    const FeedFormat format = formatOfRootElement(reader);
    if (format == FeedFormat::None) {
        result.error = QStringLiteral("root element <%1>").arg(reader.name());
        return result;
    }
    const QString ns = reader.namespaceUri().toString();
    const QLatin1String itemName(format == FeedFormat::Rss ? "item" : "entry");
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != itemName ||
            reader.namespaceUri() != ns)
            continue;
        result.item = readItem(reader, format, ns);
        if (reader.hasError())
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
