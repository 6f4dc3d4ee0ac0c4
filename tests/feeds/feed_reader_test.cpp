#include "FeedFixtures.h"
#include "core/Helpers.h"
#include "feeds/FeedReader.h"
#include "feeds/PageText.h"

#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

const QString LP = QStringLiteral("\\Pau=500\\");

QString U(const char* text) {
    return QString::fromUtf8(text);
}

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
    // No charset in the Content-Type: the declaration decides.
    const FeedRead read = readFirstFeedItem(decodePage(fixtures::kLatin1Rss, "application/xml"));
    ASSERT_EQ(read.status, FeedRead::Status::Ok) << read.error.toStdString();
    EXPECT_EQ(read.item.title, U(fixtures::kLatin1RssTitle));
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
