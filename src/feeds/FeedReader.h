#pragma once

#include <QByteArray>
#include <QString>

namespace corvalin {

// News from RSS (2.0 and older, 1.0 and 0.90 in RDF) and Atom (1.0 and 0.3) feeds: what an answer
// is, and the headline of its first item. Feeds are read as a lenient reader takes them: HTML's
// entities are known, an "&" that starts no reference stands for itself and blank lines before
// the XML declaration are passed over. Pure functions of the text; any thread.

enum class FeedFormat { None, Rss, Atom };

// The format named by a Content-Type ("application/rss+xml", "application/atom+xml"); None for
// any other type, generic XML included.
FeedFormat feedFormatOfContentType(const QByteArray& contentType);

// The format shown by the document's root element (<rss> in any namespace, Atom's <feed>, or an
// <rdf:RDF> that declares RSS 1.0's or 0.90's namespace); None when the text is not XML up to its
// first element or that element is another one (an HTML page).
FeedFormat feedFormatOfRoot(const QString& text);

// Whether an answer is read as a feed: its Content-Type or its root element says so.
bool isFeedAnswer(const QString& text, const QByteArray& contentType);

// The first item (RSS) or entry (Atom) of a feed: its title and its summary (RSS description,
// Atom summary or else content), CDATA and entities decoded, markup removed and then the HTML
// entities of escaped markup decoded, blanks and line breaks collapsed into single blanks.
struct FeedItem {
    QString title;
    QString summary;
};

struct FeedRead {
    enum class Status { Ok, NotAFeed, NoItems };
    Status status = Status::NotAFeed;
    FeedItem item;
    QString error; // NotAFeed: why (the XML reader's message, or the root element found)
};

// Reads the feed up to the end of its first item; what follows it (a feed cut at the size limit)
// is not looked at. An error inside the first item after its title was read whole still gives
// the item (with the parts read whole before the error).
FeedRead readFirstFeedItem(const QString& text);

// What is left of a text once its HTML tags are removed (each becomes a blank) and its blanks
// and line breaks are collapsed. A "<" that opens no tag ("a < b") stays.
QString withoutMarkup(const QString& text);

// The word `NewsStart` holds when a feed's headline is to carry the item's summary too.
inline const QString kFeedSummaryWord = QStringLiteral("description");

// The headline of a feed's item: the title, and when `withSummary`, a long pause and the summary;
// cleaned as a page's headline is (backslashes dropped, capped). Empty when the title is.
QString feedHeadline(const FeedItem& item, bool withSummary, const QString& longPause);

} // namespace corvalin
