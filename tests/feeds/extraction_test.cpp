#include "FeedFixtures.h"
#include "core/Helpers.h"
#include "feeds/NewsExtraction.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace corvalin;
using corvalin::test::LP;
using corvalin::test::words;

namespace {

const QString S = QStringLiteral("<div class=\"cnnT1Hd\">");
const QString E = QStringLiteral("FULL STORY");
// Enough text after a window for every window to fit.
const QString Tail = QString(60, QLatin1Char('.'));
// A character outside the Basic Multilingual Plane: two UTF-16 units.
const QString Emoji = QStringLiteral("\U0001F600");

struct HeadlineCase {
    const char* name;
    QString page;
    QString expected;
};

void PrintTo(const HeadlineCase& c, std::ostream* os) {
    *os << c.name;
}

class Headline : public testing::TestWithParam<HeadlineCase> {};

TEST_P(Headline, IsCutAndStripped) {
    EXPECT_EQ(extractHeadline(GetParam().page, S, E, LP), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, Headline,
    testing::Values(
        HeadlineCase{"TagsAndLineBreaksBecomeOnePause",
                     "<html>x" + S + "<a>Storm hits coast</a><br>\r\nMore<a>" + E,
                     LP + "Storm hits coast" + LP + "\nMore"},
        HeadlineCase{"EndBeforeStart", E + " " + S + "<a>Storm</a>xyz", QString()},
        HeadlineCase{"NoStart", "<a>Storm</a>xyz" + E, QString()},
        HeadlineCase{"NoEnd", S + "<a>Storm</a>xyz", QString()},
        HeadlineCase{"ErrorPageAnyCase", "Sorry, page Not Found " + S + "Storm...." + E, QString()},
        HeadlineCase{"CannotBeDisplayed", "The page cannot be displayed" + S + "Storm...." + E,
                     QString()},
        HeadlineCase{"EmptyPage", QString(), QString()},
        // A lone LF becomes CR LF: a pause, then the LF itself.
        HeadlineCase{"LineFeedsNormalised", S + "A\nB___" + E, LP + "A" + LP + "\nB"},
        // The text before a tag is trimmed at its end only.
        HeadlineCase{"TrimBeforeTag", S + "<p>  Hello  </p>xyz" + E, LP + "  Hello" + LP},
        // A page cannot inject speech tags; the inserted pauses stay.
        HeadlineCase{"BackslashesDropped", S + "Markets \\Pau=9000\\ rally\\<b>x</b>!!!" + E,
                     LP + "Markets Pau=9000 rally" + LP + "x" + LP},
        // The 3 characters dropped before the end marker are characters, not UTF-16 units.
        HeadlineCase{"EmojiInTheDroppedThree", S + "Storm" + Emoji + "ab" + Emoji + E,
                     LP + "Storm" + Emoji},
        HeadlineCase{"EmojiAsTheDroppedThree", S + "Storm" + Emoji.repeated(3) + E, LP + "Storm"},
        // 9 + 58 * 5 characters reach the cap inside the 59th word: the 58 before it stay.
        HeadlineCase{"LongHeadlineCutAtAWord", S + words(100) + " xyz" + E, LP + words(58)},
        // The cap falls inside the second pause: the pause goes whole, never half a tag.
        HeadlineCase{"CapNeverSplitsAPause",
                     S + QString(285, QLatin1Char('A')) + "<b>more text</b>xyz" + E,
                     LP + QString(285, QLatin1Char('A'))},
        HeadlineCase{"CapCountsCharacters", S + Emoji.repeated(400) + "xyz" + E,
                     LP + Emoji.repeated(291)}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(Headline, EmptyMarkersAreNeverFound) {
    EXPECT_EQ(extractHeadline(S + "Storm...." + E, QString(), E, LP), QString());
    EXPECT_EQ(extractHeadline(S + "Storm...." + E, S, QString(), LP), QString());
}

enum class Item { Temperature, Condition, City };

struct WeatherCase {
    const char* name;
    Item item;
    QString page;
    QString start;
    QString end;
    QString expected;
};

class Weather : public testing::TestWithParam<WeatherCase> {};

TEST_P(Weather, IsCutFromItsWindow) {
    const WeatherCase& c = GetParam();
    QString got;
    switch (c.item) {
    case Item::Temperature:
        got = extractTemperature(c.page, c.start, c.end);
        break;
    case Item::Condition:
        got = extractCondition(c.page, c.start, c.end);
        break;
    case Item::City:
        got = extractCity(c.page, c.start, c.end);
        break;
    }
    EXPECT_EQ(got, c.expected);
}

void PrintTo(const WeatherCase& c, std::ostream* os) {
    *os << c.name;
}

const QString TS = QStringLiteral("><B CLASS=obsTempTextA>");

INSTANTIATE_TEST_SUITE_P(
    Pages, Weather,
    testing::Values(
        WeatherCase{"MinusSignDropped", Item::Temperature, "x" + TS + "-5&deg;F" + Tail, TS, "&",
                    "5"},
        WeatherCase{"LongEndMarkerNeverMatches", Item::Temperature,
                    TS + "72&deg; 1234567890123456789" + Tail, TS, "&deg", "72123456789012345"},
        WeatherCase{"EmptyEndMarkerNeverMatches", Item::Temperature, TS + "72&deg;F 9" + Tail, TS,
                    "", "729"},
        // The window needs 23 characters after the marker and the page one more.
        WeatherCase{"WindowPlusOneFits", Item::Temperature, TS + "68&" + QString(21, 'x'), TS, "&",
                    "68"},
        WeatherCase{"ExactWindowIsTooShort", Item::Temperature, TS + "68&" + QString(20, 'x'), TS,
                    "&", ""},
        // Windows and the page length count characters.
        WeatherCase{"EmojiBeforeTheDigits", Item::Temperature,
                    TS + Emoji.repeated(20) + "72&" + Tail, TS, "&", "72"},
        WeatherCase{"ExactWindowOfEmojiIsTooShort", Item::Temperature,
                    TS + "68&" + Emoji.repeated(20), TS, "&", ""},
        WeatherCase{"WindowPlusOneEmojiFits", Item::Temperature, TS + "68&" + Emoji.repeated(21),
                    TS, "&", "68"},
        WeatherCase{"ConditionOfFiftyEmoji", Item::Condition,
                    "obsTextA>" + Emoji.repeated(50) + "Z" + Tail, "obsTextA>", "<",
                    Emoji.repeated(50)},
        WeatherCase{"CityEmojiAtTheWindowEdge", Item::City,
                    "for</B><BR>" + QString(29, 'a') + Emoji + "b" + Tail, "for</B><BR>", ",",
                    QString(29, 'a') + Emoji},
        // An end marker of one character outside the Basic Multilingual Plane matches.
        WeatherCase{"EndMarkerOutsideTheBmp", Item::Condition,
                    "obsTextA>Sunny" + Emoji + " and more" + Tail, "obsTextA>", Emoji, "Sunny"},
        WeatherCase{"NoStartMarker", Item::Temperature, "72&deg;" + Tail, TS, "&", ""},
        WeatherCase{"TemperatureOnErrorPage", Item::Temperature,
                    "404 Page not found" + TS + "72&" + Tail, TS, "&", ""},
        WeatherCase{"Condition", Item::Condition, "obsTextA>Partly Cloudy</td>" + Tail, "obsTextA>",
                    "<", "Partly Cloudy"},
        WeatherCase{"ConditionWithTagRefused", Item::Condition, "obsTextA>Sunny <b>hot|" + Tail,
                    "obsTextA>", "|", ""},
        WeatherCase{"ConditionEmptyRefused", Item::Condition, "obsTextA><td>" + Tail, "obsTextA>",
                    "<", ""},
        WeatherCase{"ConditionBackslashesDropped", Item::Condition,
                    "obsTextA>Sunny\\Pau=9\\ skies<" + Tail, "obsTextA>", "<", "SunnyPau=9 skies"},
        WeatherCase{"City", Item::City, "for</B><BR>Springfield, IL" + Tail, "for</B><BR>", ",",
                    "Springfield"},
        WeatherCase{"CityWindowIsThirty", Item::City, "for</B><BR>" + QString(35, 'a') + "," + Tail,
                    "for</B><BR>", ",", QString(30, 'a')},
        WeatherCase{"NoCityMarker", Item::City, "Springfield, IL" + Tail, "for</B><BR>", ",", ""}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(Headline, StaysWithinTheCapWithWholePauses) {
    // Tags every few characters and no blank in the result: the cap falls wherever it may.
    for (int shift = 0; shift < 12; ++shift) {
        const QString page = S + QString(shift, QLatin1Char('x')) +
                             QStringLiteral("Breaking<b>news</b>").repeated(200) + "xyz" + E;
        const QString got = extractHeadline(page, S, E, LP);
        EXPECT_LE(got.toUcs4().size(), kMaxHeadlineChars) << shift;
        EXPECT_GT(got.toUcs4().size(), kMaxHeadlineChars - LP.size()) << shift;
        EXPECT_EQ(got.count(QLatin1Char('\\')) % 2, 0) << got.toStdString();
    }
}

TEST(LineBreaks, EveryKindBecomesCrLf) {
    EXPECT_EQ(normaliseLineBreaks(QStringLiteral("a\rb\nc\r\nd\r")),
              QStringLiteral("a\r\nb\r\nc\r\nd\r\n"));
}

} // namespace
