#include "FeedFixtures.h"
#include "core/Helpers.h"
#include "feeds/FeedReader.h"
#include "feeds/HtmlEntities.h"
#include "feeds/PageText.h"

#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

QString text(const QByteArray& body, const QByteArray& contentType = "text/xml") {
    return decodePage(body, contentType);
}

TEST(FeedReader, Rss2FirstItemWithCdataAndEntities) {
    const FeedRead read = readFirstFeedItem(text(fixtures::kRss));
    ASSERT_EQ(read.status, FeedRead::Status::Ok) << read.error.toStdString();
    EXPECT_EQ(read.item.title, U(fixtures::kRssTitle));
    EXPECT_EQ(read.item.summary, U(fixtures::kRssSummary));
    EXPECT_EQ(feedHeadline(read.item, false, LP), U(fixtures::kRssTitle));
    EXPECT_EQ(feedHeadline(read.item, true, LP),
              U(fixtures::kRssTitle) + LP + U(fixtures::kRssSummary));
}

TEST(FeedReader, AtomFirstEntryWithHtmlTitleAndXhtmlSummary) {
    const FeedRead read = readFirstFeedItem(text(fixtures::kAtom));
    ASSERT_EQ(read.status, FeedRead::Status::Ok) << read.error.toStdString();
    EXPECT_EQ(read.item.title, U(fixtures::kAtomTitle));
    EXPECT_EQ(read.item.summary, U(fixtures::kAtomSummary));
}

TEST(FeedReader, AtomContentStandsInForAMissingSummaryAndTextTitlesKeepTheirSigns) {
    const QString atom = QStringLiteral(
        "<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry>"
        "<title type=\"text\">a &lt;b&gt; c</title><content type=\"html\">&lt;p&gt;Body"
        "&lt;/p&gt;</content></entry></feed>");
    const FeedRead read = readFirstFeedItem(atom);
    ASSERT_EQ(read.status, FeedRead::Status::Ok);
    EXPECT_EQ(read.item.title, QStringLiteral("a <b> c")) << "plain text is not markup";
    EXPECT_EQ(read.item.summary, QStringLiteral("Body"));
}

TEST(FeedReader, EncodingOfTheXmlDeclaration) {
    EXPECT_EQ(charsetOfXmlDeclaration(fixtures::kLatin1Rss), QByteArray("ISO-8859-1"));
    EXPECT_EQ(charsetOfXmlDeclaration("\r\n\t<?xml version=\"1.0\" encoding=\"koi8-r\"?><rss/>"),
              QByteArray("koi8-r"));
    EXPECT_EQ(charsetOfXmlDeclaration("x<?xml version=\"1.0\" encoding=\"koi8-r\"?>"),
              QByteArray());
    // No charset in the Content-Type: the declaration decides.
    const FeedRead read = readFirstFeedItem(decodePage(fixtures::kLatin1Rss, "application/xml"));
    ASSERT_EQ(read.status, FeedRead::Status::Ok) << read.error.toStdString();
    EXPECT_EQ(read.item.title, U(fixtures::kLatin1RssTitle));
}

// Slips that strict XML refuses and real feeds make; each once cost the whole feed.
TEST(FeedReader, LenientReadingOfWhatRealFeedsGetWrong) {
    struct Case {
        const char* name;
        const char* feed;
        const char* title;
    };
    const Case cases[] = {
        {"HTML entities undeclared in XML",
         "<rss><channel><title>News&nbsp;Site</title><item>"
         "<title>Caf&eacute; opens&nbsp;today &mdash; &hellip;</title></item></channel></rss>",
         "Café opens today — …"},
        {"bare ampersand in a link",
         "<rss><channel><link>http://x/?a=1&b=2</link><item><link>http://x/?id=7&s=rss</link>"
         "<title>Rates rise</title></item></channel></rss>",
         "Rates rise"},
        {"bare ampersand in the title",
         "<rss><channel><item><title>AT&T & partners sell unit</title></item></channel></rss>",
         "AT&T & partners sell unit"},
        {"bare ampersand in an attribute",
         "<rss><channel><item><enclosure url=\"http://x/a.mp3?a=1&b=2\"/>"
         "<title>Podcast</title></item></channel></rss>",
         "Podcast"},
        {"entity without its semicolon",
         "<rss><channel><item><title>caf&eacute au lait</title>"
         "</item></channel></rss>",
         "café au lait"},
        {"name HTML does not know either",
         "<rss><channel><item><title>a &bogus; b</title></item></channel></rss>", "a &bogus; b"},
        {"blank line before the XML declaration",
         "\n\n  <?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>"
         "<item><title>Morning news</title></item></channel></rss>",
         "Morning news"},
        {"DTD of RSS 0.91 not fetched",
         "<?xml version=\"1.0\"?><!DOCTYPE rss PUBLIC \"-//Netscape Communications//DTD RSS "
         "0.91//EN\" \"http://my.netscape.com/publish/formats/rss-0.91.dtd\"><rss version=\"0.91\">"
         "<channel><item><title>Z&uuml;rich votes</title></item></channel></rss>",
         "Zürich votes"},
        {"declared entity still its own",
         "<!DOCTYPE rss [<!ENTITY nbsp \"-\">]><rss><channel><item><title>a&nbsp;b</title>"
         "</item></channel></rss>",
         "a-b"},
        {"error after the title",
         "<rss><channel><item><title>Kept</title><description>a <br> b</description></item>"
         "</channel></rss>",
         "Kept"},
        {"cut after the title", "<rss><channel><item><title>Kept too</title><descr", "Kept too"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FeedRead read = readFirstFeedItem(U(c.feed));
        ASSERT_EQ(read.status, FeedRead::Status::Ok) << read.error.toStdString();
        EXPECT_EQ(read.item.title, U(c.title));
        EXPECT_TRUE(isFeedAnswer(U(c.feed), "text/xml"));
    }
    // A part cut short is not taken, the title read whole before it is.
    const FeedRead cut = readFirstFeedItem(
        QStringLiteral("<rss><channel><item><title>T</title><description>Half a sen"));
    EXPECT_EQ(cut.item.title, QStringLiteral("T"));
    EXPECT_EQ(cut.item.summary, QString());
}

TEST(FeedReader, OlderFormatsAndNamespacedRss) {
    struct Case {
        const char* name;
        const char* feed;
        const char* title;
        const char* summary;
    };
    const Case cases[] = {
        {"RSS 1.0",
         "<?xml version=\"1.0\"?><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\""
         " xmlns=\"http://purl.org/rss/1.0/\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
         "<channel rdf:about=\"http://x/\"><title>Site</title><description>All</description>"
         "<items><rdf:Seq><rdf:li resource=\"http://x/1\"/></rdf:Seq></items></channel>"
         "<image rdf:about=\"http://x/i.png\"><title>Logo</title></image>"
         "<item rdf:about=\"http://x/1\"><dc:title>Not this</dc:title><title>Bridge reopens"
         "</title><description>Traffic &amp;amp; trains</description></item></rdf:RDF>",
         "Bridge reopens", "Traffic & trains"},
        {"RSS 0.90",
         "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
         "xmlns=\"http://my.netscape.com/rdf/simple/0.9/\"><channel><title>Old</title></channel>"
         "<item><title>First of 1999</title><link>http://x/</link></item></rdf:RDF>",
         "First of 1999", ""},
        {"RSS 2.0 in a default namespace",
         "<rss version=\"2.0\" xmlns=\"http://backend.userland.com/rss2\"><channel><item>"
         "<title>Namespaced</title><description>Body</description></item></channel></rss>",
         "Namespaced", "Body"},
        {"Atom 0.3",
         "<feed version=\"0.3\" xmlns=\"http://purl.org/atom/ns#\"><title>Blog</title><entry>"
         "<title mode=\"escaped\" type=\"text/html\">&lt;b&gt;Vote&lt;/b&gt; &amp;amp; count"
         "</title><summary>Polls close</summary></entry></feed>",
         "Vote & count", "Polls close"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(isFeedAnswer(U(c.feed), "application/xml"));
        const FeedRead read = readFirstFeedItem(U(c.feed));
        ASSERT_EQ(read.status, FeedRead::Status::Ok) << read.error.toStdString();
        EXPECT_EQ(read.item.title, U(c.title));
        EXPECT_EQ(read.item.summary, U(c.summary));
    }
    // RDF that is not RSS is no feed.
    const QString rdf = QStringLiteral(
        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" xmlns=\"urn:x\">"
        "<item><title>t</title></item></rdf:RDF>");
    EXPECT_FALSE(isFeedAnswer(rdf, "application/xml"));
    EXPECT_EQ(readFirstFeedItem(rdf).status, FeedRead::Status::NotAFeed);
}

// Titles written as HTML (RSS, CDATA, Atom's type="html") reach the speech without entities.
TEST(FeedReader, HtmlEntitiesInTitlesAreDecoded) {
    struct Case {
        const char* name;
        const char* feed;
        const char* title;
    };
    const Case cases[] = {
        {"CDATA",
         "<rss><channel><item><title><![CDATA[Caf&eacute; &amp; bar&nbsp;&#8212; "
         "&#x2019;s &#150; &frac12;]]></title></item></channel></rss>",
         "Café & bar — ’s – ½"},
        {"escaped in RSS",
         "<rss><channel><item><title>Caf&amp;eacute; &amp;quot;open&amp;quot;"
         "</title></item></channel></rss>",
         "Café \"open\""},
        {"Atom html",
         "<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry><title type=\"html\">"
         "&lt;em&gt;Na&amp;iuml;ve&lt;/em&gt; &amp;lt;tag&amp;gt; "
         "&amp;#8364;5</title></entry></feed>",
         "Naïve <tag> €5"},
        {"Atom text is plain",
         "<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry><title type=\"text\">Fish &amp;amp; "
         "chips</title></entry></feed>",
         "Fish &amp; chips"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FeedRead read = readFirstFeedItem(U(c.feed));
        ASSERT_EQ(read.status, FeedRead::Status::Ok) << read.error.toStdString();
        EXPECT_EQ(read.item.title, U(c.title));
    }
}

TEST(HtmlEntities, DecodedAsABrowserReadsText) {
    struct Case {
        const char16_t* in;
        const char16_t* out;
    };
    const Case cases[] = {
        {u"&eacute;&Eacute;", u"éÉ"},
        {u"&amp;lt;", u"&lt;"}, // one pass
        {u"&NotEqualTilde;", u"\u2242\u0338"},
        {u"&Eopf;", u"\U0001D53C"},
        {u"&notin; &notit;", u"∉ ¬it;"},
        {u"&copy2024 &ampx", u"©2024 &x"},
        {u"&#233;&#xE9;&#XE9", u"ééé"},
        {u"&#150;&#128;&#149;", u"–€•"},
        {u"&#0;&#xD800;&#x110000;&#99999999999999999999;", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {u"AT&T & &; &#; &#x; &bogus; &", u"AT&T & &; &#; &#x; &bogus; &"},
        {u"&nbsp;&NewLine;", u"\u00A0\n"},
        {u"no entity", u"no entity"},
    };
    for (const Case& c : cases) {
        const QString in = QString::fromUtf16(c.in);
        EXPECT_EQ(decodeHtmlEntities(in), QString::fromUtf16(c.out)) << in.toStdString();
    }
    EXPECT_EQ(htmlNamedEntity(u"hellip"), QStringLiteral("\u2026"));
    EXPECT_TRUE(htmlNamedEntity(u"bogus").isNull());
    EXPECT_TRUE(htmlNamedEntity(u"").isNull());
}

TEST(FeedReader, FeedsThatGiveNoHeadline) {
    struct Case {
        const char* name;
        QString text;
        FeedRead::Status status;
    };
    const Case cases[] = {
        {"no items", text(fixtures::kEmptyRss), FeedRead::Status::NoItems},
        {"html page", QStringLiteral("<!DOCTYPE html><html><body>x</body></html>"),
         FeedRead::Status::NotAFeed},
        {"broken before the item", QStringLiteral("<rss><channel><title>x</channel></rss>"),
         FeedRead::Status::NotAFeed},
        {"cut inside the item", QStringLiteral("<rss><channel><item><title>Half"),
         FeedRead::Status::NotAFeed},
        {"empty", QString(), FeedRead::Status::NotAFeed},
        {"RSS item in another namespace",
         QStringLiteral("<rss xmlns:x=\"urn:x\"><channel><x:item><title>t</title></x:item>"
                        "</channel></rss>"),
         FeedRead::Status::NoItems},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FeedRead read = readFirstFeedItem(c.text);
        EXPECT_EQ(read.status, c.status);
        EXPECT_EQ(read.error.isEmpty(), c.status != FeedRead::Status::NotAFeed);
    }
}

TEST(FeedReader, WhatFollowsTheFirstItemIsNotRead) {
    // A feed cut at the size limit after its first item still gives it.
    const FeedRead read =
        readFirstFeedItem(QStringLiteral("<rss><channel><item><title>One</title></item><item><ti"));
    ASSERT_EQ(read.status, FeedRead::Status::Ok);
    EXPECT_EQ(read.item.title, QStringLiteral("One"));
}

TEST(FeedReader, KindByContentTypeOrRootElement) {
    struct Case {
        const char* name;
        QString text;
        QByteArray contentType;
        bool feed;
    };
    const QString html = QStringLiteral("<!DOCTYPE html>\n<html><head></head></html>");
    const Case cases[] = {
        {"RSS served as text/html", text(fixtures::kRss), "text/html; charset=UTF-8", true},
        {"Atom served as text/plain", text(fixtures::kAtom), "text/plain", true},
        {"RSS type, any body", html, "application/rss+xml", true},
        {"Atom type with a parameter", html, "Application/Atom+XML; charset=utf-8", true},
        {"HTML page", html, "text/html", false},
        {"XHTML page as generic XML", QStringLiteral("<?xml version=\"1.0\"?><html/>"),
         "application/xml", false},
        {"lower-case doctype", QStringLiteral("<!doctype html><html></html>"), "text/html", false},
        {"marker page of text", QStringLiteral("FULL STORY <rss>"), "text/html", false},
        {"feed element of another namespace", QStringLiteral("<feed xmlns=\"urn:other\"/>"), "",
         false},
        {"blank line before the declaration",
         QStringLiteral("\n<?xml version=\"1.0\"?>\n<rss version=\"2.0\"/>"), "text/xml", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isFeedAnswer(c.text, c.contentType), c.feed);
    }
}

TEST(FeedReader, MarkupIsRemoved) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"<p>One</p><p>Two</p>", "One Two"},   {"a < b and c > d", "a < b and c > d"},
        {"x <!-- a > b --> y", "x y"},         {"open <b tag", "open <b tag"},
        {"  line\n\tbreaks  ", "line breaks"}, {"<br/>", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(withoutMarkup(U(c.in)), U(c.out)) << c.in;
}

TEST(FeedReader, HeadlineIsCleanedAsAPageHeadline) {
    // Backslashes cannot smuggle speech tags in; only the inserted pause is a tag.
    FeedItem item{QStringLiteral("Tag \\Pau=9\\ here"), QStringLiteral("and \\Emp\\ there")};
    EXPECT_EQ(feedHeadline(item, true, LP),
              QStringLiteral("Tag Pau=9 here") + LP + QStringLiteral("and Emp there"));
    // No title, no headline, whatever the summary says.
    EXPECT_EQ(feedHeadline(FeedItem{QString(), QStringLiteral("s")}, true, LP), QString());
    // The length cap of a page's headline applies, the pause never cut in two.
    const QString title = QString(kMaxHeadlineChars - 3, QLatin1Char('a'));
    const QString capped = feedHeadline(FeedItem{title, QStringLiteral("more words")}, true, LP);
    EXPECT_LE(capped.size(), kMaxHeadlineChars);
    EXPECT_FALSE(capped.contains(QLatin1Char('\\')));
    const QString longTitle = QStringLiteral("word ").repeated(100);
    EXPECT_LE(feedHeadline(FeedItem{longTitle, {}}, false, LP).size(), kMaxHeadlineChars);
}

} // namespace
