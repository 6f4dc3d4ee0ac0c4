#include "feeds/PageText.h"

#include <gtest/gtest.h>

using namespace corvalin;

namespace {

struct CharsetCase {
    const char* name;
    QByteArray body;
    QByteArray contentType;
    QByteArray encoding; // what the page is read in
    QString text;        // the page's text
};

void PrintTo(const CharsetCase& c, std::ostream* os) {
    *os << c.name;
}

class PageCharset : public testing::TestWithParam<CharsetCase> {};

TEST_P(PageCharset, DecidesTheEncodingAndDecodes) {
    const CharsetCase& c = GetParam();
    EXPECT_EQ(pageEncoding(c.body, c.contentType), c.encoding);
    EXPECT_EQ(decodePage(c.body, c.contentType), c.text);
}

const QString Montreal = QStringLiteral("Montr\u00E9al");
const QString Euro = QStringLiteral("\u20AC");

INSTANTIATE_TEST_SUITE_P(
    Pages, PageCharset,
    testing::Values(
        // Latin-1 labels are read as windows-1252, which has the euro sign at 0x80.
        CharsetCase{"Latin1Header",
                    "Montr\xE9"
                    "al \x80",
                    "text/html; charset=ISO-8859-1", "windows-1252", Montreal + " " + Euro},
        CharsetCase{"QuotedHeaderParameter",
                    "Montr\xE9"
                    "al",
                    "text/html;Charset=\"latin1\"", "windows-1252", Montreal},
        // ISO-8859-15 has the euro sign at 0xA4, where windows-1252 has the currency sign.
        CharsetCase{"OtherHeaderCharset", "\xA4", "text/html; charset=iso-8859-15", "ISO-8859-15",
                    Euro},
        CharsetCase{"Utf8Header",
                    "Montr\xC3\xA9"
                    "al",
                    "text/html; charset=utf-8", "UTF-8", Montreal},
        CharsetCase{"MetaCharset", "<html><head><meta charset=\"iso-8859-15\"></head>\xA4",
                    "text/html", "ISO-8859-15",
                    "<html><head><meta charset=\"iso-8859-15\"></head>" + Euro},
        CharsetCase{"MetaCharsetUnquotedSelfClosing", "<META CHARSET=iso-8859-15 />\xA4", "",
                    "ISO-8859-15", "<META CHARSET=iso-8859-15 />" + Euro},
        CharsetCase{"MetaHttpEquiv",
                    "<meta http-equiv='Content-Type' content='text/html; charset=ISO-8859-15'>"
                    "\xA4",
                    "text/html", "ISO-8859-15",
                    "<meta http-equiv='Content-Type' content='text/html; charset=ISO-8859-15'>" +
                        Euro},
        CharsetCase{"HeaderBeforeMeta", "<meta charset=\"iso-8859-15\">\xA4",
                    "text/html; charset=windows-1252", "windows-1252",
                    QStringLiteral("<meta charset=\"iso-8859-15\">\u00A4")},
        CharsetCase{"UnknownHeaderCharsetGivesWayToMeta", "<meta charset=\"iso-8859-15\">\xA4",
                    "text/html; charset=no-such-charset", "ISO-8859-15",
                    "<meta charset=\"iso-8859-15\">" + Euro},
        CharsetCase{"MetaInACommentIsNotRead",
                    "<!-- <meta charset=\"iso-8859-15\"> -->Montr\xC3\xA9"
                    "al",
                    "text/html", "UTF-8", "<!-- <meta charset=\"iso-8859-15\"> -->" + Montreal},
        CharsetCase{"ValidUtf8WithoutCharset",
                    "Montr\xC3\xA9"
                    "al \xF0\x9F\x98\x80",
                    "text/html", "UTF-8", Montreal + QStringLiteral(" \U0001F600")},
        CharsetCase{"InvalidUtf8WithoutCharset",
                    "Montr\xE9"
                    "al \x93quoted\x94",
                    "text/html", "windows-1252", Montreal + QStringLiteral(" \u201Cquoted\u201D")},
        CharsetCase{"NoContentTypeAtAll",
                    "Montr\xE9"
                    "al",
                    "", "windows-1252", Montreal},
        // A byte order mark outweighs a label, and is not part of the text.
        CharsetCase{"Utf8BomBeforeHeader",
                    "\xEF\xBB\xBFMontr\xC3\xA9"
                    "al",
                    "text/html; charset=ISO-8859-1", "UTF-8", Montreal},
        CharsetCase{"Utf16LeBom", QByteArray("\xFF\xFEh\0i\0", 6), "text/html", "UTF-16LE",
                    QStringLiteral("hi")},
        CharsetCase{"Utf16LoneSurrogatesReplaced", QByteArray("\xFF\xFE\x00\xD8h\0\x00\xDC", 8), "",
                    "UTF-16LE", QStringLiteral("\uFFFDh\uFFFD")},
        // A meta tag readable as ASCII cannot mean UTF-16.
        CharsetCase{"MetaSayingUtf16",
                    "<meta charset=utf-16>Montr\xE9"
                    "al",
                    "text/html", "windows-1252", "<meta charset=utf-16>" + Montreal},
        // A page cut at the size limit in the middle of a character is still UTF-8.
        CharsetCase{"CutInsideACharacter",
                    "Montr\xC3\xA9"
                    "al \xC3",
                    "text/html", "UTF-8", Montreal + " "}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(PageCharset, AMetaTagFarDownThePageIsNotRead) {
    const QByteArray late = QByteArray(kMetaScanBytes, ' ') + "<meta charset=\"iso-8859-15\">";
    EXPECT_EQ(charsetOfMeta(late), QByteArray());
    EXPECT_EQ(charsetOfMeta(late.mid(1)), QByteArray());
    EXPECT_EQ(charsetOfMeta(late.mid(40)), QByteArray("iso-8859-15"));
}

TEST(PageCharset, ContentTypeParameters) {
    EXPECT_EQ(charsetOfContentType("text/html"), QByteArray());
    EXPECT_EQ(charsetOfContentType("text/html; charset=UTF-8"), QByteArray("UTF-8"));
    EXPECT_EQ(charsetOfContentType("text/html; q=1; CHARSET = 'koi8-r' "), QByteArray("koi8-r"));
    EXPECT_EQ(charsetOfContentType("charset=utf-8"), QByteArray()); // the type, not a parameter
}

} // namespace
