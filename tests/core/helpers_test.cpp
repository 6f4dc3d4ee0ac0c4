#include "core/Helpers.h"

#include <gtest/gtest.h>

namespace corvalin {
namespace {

TEST(Helpers, ZeroPadPadsToAtLeastTheWidth) {
    struct Case {
        qint64 number;
        int width;
        const char* expected;
    };
    const Case cases[] = {
        {7, 4, "0007"}, {12345, 4, "12345"}, {0, 2, "00"}, {5, 0, "5"}, {20000, 5, "20000"}};
    for (const Case& c : cases)
        EXPECT_EQ(ZeroPad(c.number, c.width), QString::fromUtf8(c.expected))
            << c.number << " width " << c.width;
}

TEST(Helpers, ReplaceTextReplacesEveryOccurrenceIgnoringCase) {
    struct Case {
        const char* text;
        const char* find;
        const char* replace;
        const char* expected;
    };
    const Case cases[] = {
        {"Hello World", "o", "0", "Hell0 W0rld"},
        {"AbcABCabc", "aBC", "x", "xxx"},
        {"aaa", "aa", "b", "ba"}, // left to right, no overlaps
        {"ab", "a", "aa", "aab"}, // replaced text is not searched again
        {"nothing here", "zz", "y", "nothing here"},
        {"keep", "", "y", "keep"},        // empty find changes nothing
        {"", "a", "b", " "},              // empty text becomes one blank
        {"Dr.", "dr.", "", " "},          // empty result becomes one blank
        {"Grüße", "GRÜ", "gru", "gruße"}, // case folds beyond ASCII
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReplaceText(QString::fromUtf8(c.text), QString::fromUtf8(c.find),
                              QString::fromUtf8(c.replace)),
                  QString::fromUtf8(c.expected))
            << c.text << " / " << c.find;
}

TEST(Helpers, MsToTextGivesMinutesAndRoundedSeconds) {
    struct Case {
        qint64 ms;
        const char* expected;
    };
    const Case cases[] = {
        {0, "0:00"},      {59999, "0:59"},   {60000, "1:00"}, {185400, "3:05"},
        {239600, "3:59"}, {2500, "0:02"},    {3500, "0:04"},  {60500, "1:00"},
        {61500, "1:02"},  {600000, "10:00"}, {-1, "0:00"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MsToText(c.ms, QStringLiteral(":")), QString::fromUtf8(c.expected)) << c.ms;
    EXPECT_EQ(MsToText(185400, QStringLiteral(".")), QStringLiteral("3.05"));
    EXPECT_EQ(MsToText(185400), QStringLiteral("3") + localeTimeSeparator() + QStringLiteral("05"));
}

TEST(Helpers, VersionNumberJoinsTwoDigitGroups) {
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"1.4.0.7", 1040007}, {"10.2", 1002}, {"", 0},  {"1.123", 1123},
        {"2.10.3", 21003},    {"v1.2", 102},  {"7", 7}, {"1.x.3", 10003},
        {"99999.99999.9", 0}, // too large: 0
    };
    for (const Case& c : cases)
        EXPECT_EQ(VersionNumber(QString::fromUtf8(c.text)), c.expected) << c.text;
}

TEST(Helpers, CapTextCutsAtAWordBoundaryAndNeverSplitsACharacter) {
    const QString emoji = QString::fromUtf8("\xF0\x9F\x8E\xB5"); // one code point, two UTF-16 units
    struct Case {
        QString text;
        int max;
        QString expected;
    };
    const Case cases[] = {
        {QStringLiteral("short"), 10, QStringLiteral("short")},
        {QStringLiteral("exactly ten"), 11, QStringLiteral("exactly ten")},
        {QStringLiteral("one two three four"), 10, QStringLiteral("one two")},
        {QStringLiteral("one two three"), 7, QStringLiteral("one two")}, // cut before a blank
        {QStringLiteral("abcdefghijkl"), 5, QStringLiteral("abcde")},    // no blank: hard cut
        {emoji + emoji + emoji, 2, emoji + emoji},                       // code points
        {QStringLiteral("ab") + emoji + QStringLiteral("cd"), 3, QStringLiteral("ab") + emoji},
        {QStringLiteral("x"), 0, QString()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CapText(c.text, c.max), c.expected) << c.text.toStdString() << " max " << c.max;
    const QString longText = QStringLiteral("word ").repeated(2000);
    const QString capped = CapText(longText, kMaxHeadlineChars);
    EXPECT_LE(capped.size(), kMaxHeadlineChars);
    EXPECT_TRUE(capped.endsWith(QStringLiteral("word")));
}

} // namespace
} // namespace corvalin
