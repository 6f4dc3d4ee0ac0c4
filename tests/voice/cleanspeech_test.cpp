#include "core/Helpers.h"
#include "voice/CleanSpeech.h"

#include <gtest/gtest.h>

using namespace corvalin;

namespace {

TEST(CleanSpeech, TableCases) {
    const TSpeechNames names{QStringLiteral("Intl. Radio &DJName&"), QStringLiteral("Ann"),
                             QStringLiteral("\\Emp\\")};
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"TEMPERATURE AT INTL. ARPT.", "TEMPERATURE AT International Airport"},
        {"Sen. Smith", "Senator Smith"},
        {"Sen.Smith", "Sen.Smith"},
        {"chosen. The", "choSenator The"},
        {"Chance of t-storm", "Chance of thunder storms"},
        {"a&nbsp;&nbsp;b", "a  b"},
        {"&#149;&nbsp;Word", "\\Emp\\Word"},
        {"&quot;Hi&quot;", "\"Hi\""},
        {"&copy; 2026", "&copy; 2026"},
        {"", " "},
        // The macros come first, so what they bring in is normalised too.
        {"This is &StationIdentification&.", "This is International Radio Ann."},
        {"&djname& here", "Ann here"},
        // Our own pairs.
        {"Tom &amp; Jerry", "Tom  and  Jerry"},
        {"a &lt; b &gt; c", "a  less than  b  greater than  c"},
        {"Storm&mdash;again&hellip;", "Storm, again... "},
        {"Natl. Weather Service", "National Weather Service"},
        {"Gov. Lee", "Governor Lee"},
        {"Winds 10 MPH, gusts 50 km/h", "Winds 10 miles per hour, gusts 50 kilometers per hour"},
        {"Memphis, a triumph", "Memphis, a triumph"},
        {"It&#39;s Mt. Hood&apos;s", "It's Mount Hood's"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CleanSpeech(QString::fromUtf8(c.in), names).toStdString(), c.out) << c.in;
}

TEST(CleanSpeech, EmptyStationIdentificationLeavesTheBlank) {
    EXPECT_EQ(CleanSpeech(QStringLiteral("This is &StationIdentification&."), TSpeechNames{}),
              QStringLiteral("This is ."));
    // A text that normalises to nothing is still one blank.
    EXPECT_EQ(CleanSpeech(QStringLiteral("&DJName&"), TSpeechNames{}), QStringLiteral(" "));
}

TEST(ReplaceText, LeftToRightWithoutOverlapsOrRescanning) {
    EXPECT_EQ(ReplaceText(QStringLiteral("aaa"), QStringLiteral("aa"), QStringLiteral("b")),
              QStringLiteral("ba"));
    EXPECT_EQ(ReplaceText(QStringLiteral("xAx"), QStringLiteral("a"), QStringLiteral("aa")),
              QStringLiteral("xaax"));
    EXPECT_EQ(ReplaceText(QStringLiteral("abc"), QStringLiteral("ABC"), QString()),
              QStringLiteral(" "));
    EXPECT_EQ(ReplaceText(QStringLiteral("abc"), QString(), QStringLiteral("x")),
              QStringLiteral("abc"));
}

} // namespace
