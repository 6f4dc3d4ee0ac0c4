#include "TestSupport.h"
#include "feeds/FetchOutcome.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

SourceOutcome source(FetchFailure failure, const char* detail = "",
                     const char* address = "http://127.0.0.1/x") {
    return SourceOutcome{failure, QString::fromUtf8(detail), QString::fromUtf8(address)};
}

TEST(FetchOutcome, OneLineForTheOperator) {
    const QDateTime when(QDate(2026, 12, 10), QTime(15, 42, 7));
    struct Case {
        SourceOutcome news;
        SourceOutcome weather;
        const char* line;
    };
    const Case cases[] = {
        {source(FetchFailure::None), source(FetchFailure::None),
         "Last fetch 2026-12-10 15:42: headline found; weather found."},
        {source(FetchFailure::HttpStatus, "404"), source(FetchFailure::NotFetched),
         "Last fetch 2026-12-10 15:42: no headline: HTTP status 404; no weather: not fetched "
         "after an earlier failure."},
        {source(FetchFailure::NoAnswer, "Couldn't connect to server"),
         source(FetchFailure::NotRead),
         "Last fetch 2026-12-10 15:42: no headline: no answer (Couldn't connect to server); "
         "weather off."},
        {source(FetchFailure::NotRead), source(FetchFailure::None, "no city"),
         "Last fetch 2026-12-10 15:42: news off; weather found (no city)."},
        {source(FetchFailure::NoMarkers), source(FetchFailure::NotJson, "unterminated object"),
         "Last fetch 2026-12-10 15:42: no headline: no markers found; no weather: not valid JSON "
         "(unterminated object)."},
        {source(FetchFailure::NotAFeed, "root element <html>"), source(FetchFailure::ErrorPage),
         "Last fetch 2026-12-10 15:42: no headline: not a feed (root element <html>); no weather: "
         "error page."},
        {source(FetchFailure::NoItems), source(FetchFailure::NoValue, "/a/0/t"),
         "Last fetch 2026-12-10 15:42: no headline: no items in the feed; no weather: no "
         "temperature in the JSON (/a/0/t)."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(describeFetchOutcome(FetchOutcome{when, c.news, c.weather}).toStdString(),
                  c.line);
    EXPECT_EQ(describeFetchOutcome(FetchOutcome{}),
              QStringLiteral("No news or weather fetched yet."));
}

class FailureLog : public testing::Test {
protected:
    FetchOutcome outcome(FetchFailure news, FetchFailure weather) {
        return FetchOutcome{clock.now(), source(news, "503", "http://127.0.0.1/news"),
                            source(weather, "", "http://127.0.0.1/weather")};
    }
    FakeClock clock{QDateTime(QDate(2026, 12, 10), QTime(10, 0))};
    QStringList lines;
    FetchFailureLog log{clock, [this](const QString& line) { lines << line; }};
};

TEST_F(FailureLog, EachKindOncePerHour) {
    log.report(outcome(FetchFailure::HttpStatus, FetchFailure::NotFetched));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0], QStringLiteral("corvalinradio: the news fetch failed: HTTP status 503 at "
                                       "http://127.0.0.1/news"));

    clock.advanceMs(59 * 60 * 1000);
    log.report(outcome(FetchFailure::HttpStatus, FetchFailure::NotFetched));
    EXPECT_EQ(lines.size(), 1) << "the same failure within the hour";

    // Another kind, or the same kind of the other source, is new.
    log.report(outcome(FetchFailure::NoAnswer, FetchFailure::HttpStatus));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("corvalinradio: the news fetch failed: no")));
    EXPECT_TRUE(
        lines[2].startsWith(QStringLiteral("corvalinradio: the weather fetch failed: HTTP")));

    clock.advanceMs(60 * 1000);
    log.report(outcome(FetchFailure::HttpStatus, FetchFailure::None));
    EXPECT_EQ(lines.size(), 4) << "an hour after the first";
}

TEST_F(FailureLog, SuccessAndSkippedStepsAreNotLogged) {
    log.report(outcome(FetchFailure::None, FetchFailure::NotRead));
    log.report(outcome(FetchFailure::NotRead, FetchFailure::NotFetched));
    EXPECT_TRUE(lines.isEmpty());
}

TEST_F(FailureLog, AClockSetBackDoesNotSilenceIt) {
    log.report(outcome(FetchFailure::NoMarkers, FetchFailure::NotRead));
    clock.advanceMs(-2 * 60 * 60 * 1000);
    log.report(outcome(FetchFailure::NoMarkers, FetchFailure::NotRead));
    EXPECT_EQ(lines.size(), 2);
}

} // namespace
