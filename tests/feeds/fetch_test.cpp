#include "FeedFixtures.h"
#include "LocalServers.h"
#include "TestSupport.h"
#include "feeds/NewsFeed.h"

#include <QEventLoop>
#include <QFile>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

using namespace corvalin;
using namespace corvalin::test;
using namespace std::chrono_literals;

namespace {

// The settings store, in memory; notes the threads it is used on.
class MemoryStore final : public NewsSettingsStore {
public:
    IniFile& settings() override {
        threads.push_back(QThread::currentThread());
        return ini;
    }
    void flush() override {
        threads.push_back(QThread::currentThread());
        ++flushes;
    }
    QString zipCode() const override { return QStringLiteral("12345"); }

    IniFile ini;
    int flushes = 0;
    std::vector<QThread*> threads;
};

const QString DefsPath = QStringLiteral("/corvalinradio/NewsDef.html");
const QByteArray NewsPage = "<html><body><div class=\"cnnT1Hd\"><a>Storm hits coast</a><br>\n"
                            "More<a>FULL STORY</a></body></html>";
const QByteArray WeatherPage =
    "<td><B>Local weather for</B><BR>Springfield, IL</td><td><B CLASS=obsTempTextA>72&deg;F</B>"
    "</td><td CLASS=obsTextA>Partly Cloudy</td>" +
    QByteArray(80, ' ') + "</html>";
const QByteArray TemperatureOnly =
    "<td><B CLASS=obsTempTextA>-3&deg;F</B>" + QByteArray(80, ' ') + "</html>";
const QString WeatherPath = QStringLiteral("/weather/local/12345");
const QByteArray DaytimeAnswer = "\n61384 26-12-10 09:15:30 00 0 0 123.4 UTC(NIST) * \n";

class Fetch : public testing::Test {
protected:
    void makeFeed(const QString& programFolder, std::chrono::milliseconds total = 3s) {
        NewsFeedSetup setup;
        setup.programFolder = programFolder;
        setup.updateServer = http.url(QString());
        setup.longPause = QStringLiteral("|");
        setup.httpLimits.connectTimeout = 2s;
        setup.httpLimits.totalTimeout = total;
        setup.httpLimits.maxBodyBytes = 64 * 1024;
        setup.daytime.host = QStringLiteral("127.0.0.1");
        setup.daytime.port = daytime.port();
        setup.daytime.timeout = daytimeTimeout;
        setup.daytime.resolve = daytimeResolver;
        setup.minimumClockYear = 2020;
        setup.failureLog = [this](const QString& line) { logLines << line; };
        feed = std::make_unique<NewsFeed>(setup, texts, store, clock, setter);
        QObject::connect(feed.get(), &NewsFeed::fetchOutcomeChanged,
                         [this](const QString& text) { outcomeTexts << text; });
        QObject::connect(feed.get(), &NewsFeed::newVersionNotice,
                         [this](const QString& text, const QString& caption, int ms) {
                             signalThreads.push_back(QThread::currentThread());
                             notices << text + QLatin1Char('/') + caption + QLatin1Char('/') +
                                            QString::number(ms);
                         });
        QObject::connect(feed.get(), &NewsFeed::clockDisplayChanged, [this] {
            signalThreads.push_back(QThread::currentThread());
            ++repaints;
        });
    }

    // Definitions in force that point at the local server, with the weather page's markers.
    NewsDefinitions localDefinitions(const QString& newsPath = QStringLiteral("/news")) {
        NewsDefinitions d = builtInNewsDefinitions();
        d.NewsURL = http.url(newsPath);
        d.WeatherURL = http.url(QStringLiteral("/weather/local/12345"));
        d.TemperatureStart = QStringLiteral("><B CLASS=obsTempTextA>");
        d.ForecastStart = QStringLiteral("obsTextA>");
        d.CityStart = QStringLiteral("for</B><BR>");
        return d;
    }

    QByteArray definitionsDocument(const QString& version) {
        return "[Defaults]\nNewsURL=" + http.url(QStringLiteral("/news")).toUtf8() +
               "\nWeatherURL=" + http.url(QStringLiteral("/weather/local/")).toUtf8() +
               "\nTemperatureStart=><B CLASS=obsTempTextA>\nForecastStart=obsTextA>"
               "\nCityStart=for</B><BR>\nCVVersion=" +
               version.toUtf8() + "\n";
    }

    // Runs one fetch to its end on this (the UI) thread's event loop.
    void runFetch(bool readNews, bool readWeather) {
        ASSERT_TRUE(feed->startFetch(readNews, readWeather));
        QEventLoop loop;
        QObject::connect(feed.get(), &NewsFeed::fetchFinished, &loop, &QEventLoop::quit);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
        ASSERT_FALSE(feed->fetchRunning());
    }

    TempFolder folder;
    LocalHttpServer http;
    LocalDaytimeServer daytime{DaytimeAnswer};
    NewsHandOver texts;
    MemoryStore store;
    FakeClock clock{QDateTime(QDate(2026, 12, 10), QTime(11, 15, 31))};
    FakeSystemClockSetter setter;
    HostResolver daytimeResolver; // empty: the system's
    std::chrono::milliseconds daytimeTimeout = 3s;
    std::unique_ptr<NewsFeed> feed;
    QStringList notices;
    QStringList logLines;
    QStringList outcomeTexts;
    int repaints = 0;
    std::vector<QThread*> signalThreads;
};

TEST_F(Fetch, AFullFetchDeliversTheTextsAndSetsTheClock) {
    http.setPage(DefsPath, definitionsDocument(QStringLiteral("9.0")));
    http.setPage(QStringLiteral("/news"), NewsPage);
    http.setPage(QStringLiteral("/weather/local/12345"), WeatherPage);
    makeFeed(folder.path());
    feed->setSongsSinceFetch(7);

    runFetch(true, true);

    const NewsTexts got = texts.get();
    EXPECT_EQ(got.NewsHeadline, QStringLiteral("|Storm hits coast|\nMore"));
    EXPECT_EQ(got.WeatherTemperature, QStringLiteral("72"));
    EXPECT_EQ(got.WeatherCondition, QStringLiteral("Partly Cloudy"));
    EXPECT_EQ(got.WeatherCity, QStringLiteral("Springfield"));
    EXPECT_EQ(feed->LastNewsFetch(), clock.now());
    EXPECT_EQ(feed->SongsSinceFetch(), 0);

    // The document is stored with CR LF line breaks and merged on the UI thread.
    EXPECT_EQ(readWholeFile(folder.file(QStringLiteral("NewsDef.ini"))),
              definitionsDocument(QStringLiteral("9.0")).replace("\n", "\r\n") + "\r\n");
    EXPECT_FALSE(feed->FetchNewsDefs());
    EXPECT_GE(store.flushes, 1);
    // The store, the notice and the repaint are used on the UI thread only.
    for (QThread* t : store.threads)
        EXPECT_EQ(t, QThread::currentThread());
    EXPECT_EQ(feed->definitions().WeatherURL, http.url(QStringLiteral("/weather/local/12345")));
    EXPECT_EQ(notices, QStringList{QStringLiteral(
                           "A new version of Corvalin Radio is available.\rSee the ABOUT box for "
                           "download information./New Version/30000")});

    ASSERT_EQ(setter.settings().size(), 1u);
    EXPECT_EQ(setter.settings().front(), QDateTime(QDate(2026, 12, 10), QTime(9, 15, 30), Qt::UTC));
    EXPECT_TRUE(feed->ClockSynced());
    EXPECT_EQ(repaints, 1);
    ASSERT_EQ(signalThreads.size(), 2u);
    for (QThread* t : signalThreads)
        EXPECT_EQ(t, QThread::currentThread());

    // The next fetch neither asks for the document again nor repeats the notice; the clock is
    // one second off, so it is left alone.
    texts.clear();
    runFetch(true, true);
    EXPECT_EQ(http.requestsFor(DefsPath), 1);
    EXPECT_EQ(notices.size(), 1);
    EXPECT_EQ(setter.settings().size(), 1u);
    EXPECT_EQ(texts.get().WeatherTemperature, QStringLiteral("72"));
}

TEST_F(Fetch, PagesWithoutMarkersLeaveTheBookkeeping) {
    // No definitions document is published: the news is fetched all the same.
    http.setPage(QStringLiteral("/news"), "<html>Nothing to see</html>");
    http.setPage(QStringLiteral("/weather/local/12345"), "<html>Nothing either</html>");
    makeFeed(folder.path());
    feed->setDefinitions(localDefinitions());
    feed->setSongsSinceFetch(7);
    const QDateTime before = feed->LastNewsFetch();
    // "Never": long enough ago for any minutes rule.
    ASSERT_TRUE(before.isValid());
    EXPECT_GT(before.secsTo(clock.now()), qint64(1000) * 365 * 24 * 3600);

    runFetch(true, true);

    EXPECT_EQ(feed->LastNewsFetch(), before);
    EXPECT_EQ(feed->SongsSinceFetch(), 7);
    const NewsTexts got = texts.get();
    EXPECT_TRUE(got.NewsHeadline.isEmpty() && got.WeatherTemperature.isEmpty() &&
                got.WeatherCity.isEmpty() && got.WeatherCondition.isEmpty());
    EXPECT_TRUE(feed->FetchNewsDefs());
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("NewsDef.ini"))));
    EXPECT_EQ(http.requestsFor(QStringLiteral("/news")), 1);
    // The steps ended normally, so the clock is still synchronised.
    EXPECT_EQ(setter.settings().size(), 1u);
}

TEST_F(Fetch, ATemperatureAloneResetsTheBookkeeping) {
    http.setPage(QStringLiteral("/weather/local/12345"), TemperatureOnly);
    makeFeed(folder.path());
    feed->setDefinitions(localDefinitions());
    feed->setSongsSinceFetch(7);

    runFetch(false, true);

    EXPECT_EQ(http.requestsFor(QStringLiteral("/news")), 0);
    EXPECT_EQ(texts.get().WeatherTemperature, QStringLiteral("3"));
    EXPECT_EQ(feed->LastNewsFetch(), clock.now());
    EXPECT_EQ(feed->SongsSinceFetch(), 0);
}

TEST_F(Fetch, ANetworkErrorEndsTheFetchWithoutTheClock) {
    http.setPage(QStringLiteral("/weather/local/12345"), WeatherPage);
    HttpReply silent;
    silent.kind = HttpReply::Kind::Silent;
    http.setReply(QStringLiteral("/news"), silent);
    makeFeed(folder.path(), 700ms);
    feed->setDefinitions(localDefinitions());
    feed->setSongsSinceFetch(7);

    runFetch(true, true);

    EXPECT_EQ(http.requestsFor(QStringLiteral("/weather/local/12345")), 0);
    EXPECT_EQ(feed->SongsSinceFetch(), 7);
    EXPECT_TRUE(setter.settings().empty());
    EXPECT_EQ(daytime.connections(), 0);
    EXPECT_EQ(repaints, 0);
}

TEST_F(Fetch, DefinitionsThatCannotBeStoredAreAskedForAgain) {
    http.setPage(DefsPath, definitionsDocument(QStringLiteral("0.1.0")));
    http.setPage(QStringLiteral("/news"), NewsPage);
    makeFeed(folder.file(QStringLiteral("no such folder/")));
    feed->setDefinitions(localDefinitions());

    runFetch(true, false);
    EXPECT_TRUE(feed->FetchNewsDefs());
    EXPECT_FALSE(texts.get().NewsHeadline.isEmpty());

    runFetch(true, false);
    EXPECT_EQ(http.requestsFor(DefsPath), 2);
}

TEST_F(Fetch, NoSecondFetchWhileOneRunsAndShutdownCutsItShort) {
    HttpReply silent;
    silent.kind = HttpReply::Kind::Silent;
    http.setReply(QStringLiteral("/news"), silent);
    makeFeed(folder.path(), 60s);
    feed->setDefinitions(localDefinitions());

    ASSERT_TRUE(feed->startFetch(true, true));
    EXPECT_TRUE(feed->fetchRunning());
    EXPECT_FALSE(feed->startFetch(true, true));

    const auto started = std::chrono::steady_clock::now();
    feed.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

TEST_F(Fetch, CheckDefaultsFlagsKeptOperatorValuesAndAnnouncesOnce) {
    writeWholeFile(folder.file(QStringLiteral("NewsDef.ini")),
                   "[Defaults]\r\nNewsURL=https://new.example/\r\nCVVersion=9.0\r\n");
    writeNewsDefinitions(store.ini, kDefaultsSection, builtInNewsDefinitions());
    NewsDefinitions mine = builtInDefinitionsInForce(QStringLiteral("12345"));
    mine.NewsURL = QStringLiteral("https://mine.example/");
    writeNewsDefinitions(store.ini, kNewsSection, mine);
    makeFeed(folder.path());

    feed->CheckDefaults();
    feed->CheckDefaults();

    EXPECT_TRUE(feed->NewsDefaultsChanged());
    EXPECT_EQ(feed->definitions().NewsURL, QStringLiteral("https://mine.example/"));
    EXPECT_TRUE(feed->NewVersionShown());
    EXPECT_EQ(notices.size(), 1);
    EXPECT_EQ(store.flushes, 2);
}

// An answer outside 2xx is a server error, whatever its page holds.
class FetchServerError : public Fetch, public testing::WithParamInterface<int> {};

TEST_P(FetchServerError, OnTheNewsPageEndsTheFetch) {
    // The page itself would yield a headline: it must not be mined.
    http.setPage(QStringLiteral("/news"), NewsPage, GetParam());
    http.setPage(WeatherPath, WeatherPage);
    makeFeed(folder.path());
    feed->setDefinitions(localDefinitions());
    feed->setSongsSinceFetch(7);

    runFetch(true, true);

    EXPECT_EQ(http.requestsFor(QStringLiteral("/news")), 1);
    EXPECT_TRUE(texts.get().NewsHeadline.isEmpty());
    EXPECT_EQ(http.requestsFor(WeatherPath), 0);
    EXPECT_EQ(feed->SongsSinceFetch(), 7);
    EXPECT_TRUE(setter.settings().empty());
    EXPECT_EQ(daytime.connections(), 0);
}

TEST_P(FetchServerError, OnTheWeatherPageKeepsTheNewsButNotTheClock) {
    http.setPage(QStringLiteral("/news"), NewsPage);
    http.setPage(WeatherPath, WeatherPage, GetParam());
    makeFeed(folder.path());
    feed->setDefinitions(localDefinitions());
    feed->setSongsSinceFetch(7);

    runFetch(true, true);

    const NewsTexts got = texts.get();
    EXPECT_EQ(got.NewsHeadline, QStringLiteral("|Storm hits coast|\nMore"));
    EXPECT_TRUE(got.WeatherTemperature.isEmpty() && got.WeatherCity.isEmpty() &&
                got.WeatherCondition.isEmpty());
    EXPECT_EQ(feed->SongsSinceFetch(), 0); // the headline came before the error
    EXPECT_TRUE(setter.settings().empty());
    EXPECT_EQ(daytime.connections(), 0);
}

INSTANTIATE_TEST_SUITE_P(Statuses, FetchServerError, testing::Values(403, 404, 500, 503));

struct PageCase {
    const char* name;
    QByteArray news;
    QByteArray newsType;
    QByteArray weather;
    QByteArray weatherType;
    QString headline;
    QString city;
    QString condition;
};

void PrintTo(const PageCase& c, std::ostream* os) {
    *os << c.name;
}

class FetchPages : public Fetch, public testing::WithParamInterface<PageCase> {};

TEST_P(FetchPages, AreReadInTheirCharsetAndCutByCharacters) {
    const PageCase& c = GetParam();
    http.setPage(QStringLiteral("/news"), c.news, 200, c.newsType);
    http.setPage(WeatherPath, c.weather, 200, c.weatherType);
    makeFeed(folder.path());
    feed->setDefinitions(localDefinitions());

    runFetch(true, true);

    const NewsTexts got = texts.get();
    EXPECT_EQ(got.NewsHeadline, c.headline);
    EXPECT_EQ(got.WeatherCity, c.city);
    EXPECT_EQ(got.WeatherCondition, c.condition);
    EXPECT_EQ(setter.settings().size(), 1u);
}

QByteArray newsPage(const QByteArray& head, const QByteArray& story) {
    return "<html><head>" + head + "</head><body><div class=\"cnnT1Hd\"><a>" + story +
           "</a><br>\nMore<a>FULL STORY</a></body></html>";
}

QByteArray weatherPage(const QByteArray& city, const QByteArray& condition) {
    return "<td><B>Local weather for</B><BR>" + city +
           ", QC</td><td><B CLASS=obsTempTextA>-3&deg;C</B></td><td CLASS=obsTextA>" + condition +
           "</td>" + QByteArray(80, ' ') + "</html>";
}

const QByteArray EmojiUtf8 = "\xF0\x9F\x98\x80"; // U+1F600 in UTF-8

INSTANTIATE_TEST_SUITE_P(
    Pages, FetchPages,
    testing::Values(
        PageCase{"Latin1Header", newsPage("", "Storm"), "text/html",
                 weatherPage("Montr\xE9"
                             "al",
                             "Ciel d\xE9gag\xE9"),
                 "text/html; charset=ISO-8859-1", QStringLiteral("|Storm|\nMore"),
                 QStringLiteral("Montr\u00E9al"), QStringLiteral("Ciel d\u00E9gag\u00E9")},
        // ISO-8859-15 has the euro sign at 0xA4 (windows-1252 would read a currency sign).
        PageCase{"MetaCharset", newsPage("<meta charset=\"iso-8859-15\">", "Prix en \xA4 stables"),
                 "text/html", weatherPage("Springfield", "Sunny"), "text/html",
                 QStringLiteral("|Prix en \u20AC stables|\nMore"), QStringLiteral("Springfield"),
                 QStringLiteral("Sunny")},
        PageCase{"InvalidUtf8WithoutCharset", newsPage("", "Caf\xE9 \x93open\x94"), "",
                 weatherPage("Montr\xE9"
                             "al",
                             "Sunny"),
                 "text/html", QStringLiteral("|Caf\u00E9 \u201Copen\u201D|\nMore"),
                 QStringLiteral("Montr\u00E9al"), QStringLiteral("Sunny")},
        // The city window ends on an emoji, the condition window holds 50 of them.
        PageCase{"EmojiAtTheWindowEdges", newsPage("", "Storm " + EmojiUtf8), "text/html",
                 weatherPage(QByteArray(29, 'a') + EmojiUtf8 + "b", EmojiUtf8.repeated(50) + "Z"),
                 "text/html; charset=utf-8", QStringLiteral("|Storm \U0001F600|\nMore"),
                 QString(29, QLatin1Char('a')) + QStringLiteral("\U0001F600"),
                 QStringLiteral("\U0001F600").repeated(50)},
        // 1 + 60 * 5 characters end on a blank: the 60 words before it stay.
        PageCase{"HeadlineLongerThanTheCap", newsPage("", words(1000).toUtf8()), "text/html",
                 weatherPage("Springfield", "Sunny"), "text/html", "|" + words(60),
                 QStringLiteral("Springfield"), QStringLiteral("Sunny")}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(Fetch, ShutdownDuringAHangingDaytimeLookUpEndsAtOnce) {
    HangingResolver dns;
    daytimeResolver = dns.resolver();
    daytimeTimeout = 60s;
    http.setPage(QStringLiteral("/news"), NewsPage);
    http.setPage(WeatherPath, WeatherPage);
    makeFeed(folder.path());
    feed->setDefinitions(localDefinitions());

    ASSERT_TRUE(feed->startFetch(true, true));
    ASSERT_TRUE(waitFor([&] { return dns.calls() == 1; }));

    const auto started = std::chrono::steady_clock::now();
    feed.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    EXPECT_TRUE(setter.settings().empty());
    EXPECT_EQ(daytime.connections(), 0);
}

// The news answer decides how it is read: a feed by its Content-Type or its root element, else
// the markers. Each case is one fetch of the news alone.
TEST_F(Fetch, NewsSourceKindsAndTheirOutcome) {
    struct Case {
        const char* name;
        QByteArray body;
        QByteArray contentType;
        int status;
        QString newsStart;
        QString headline;
        FetchFailure failure;
        QString detail;
    };
    const QString classic = builtInNewsDefinitions().NewsStart;
    const QString rssTitle = QString::fromUtf8(fixtures::kRssTitle);
    const Case cases[] = {
        {"RSS 2.0",
         fixtures::kRss,
         "application/rss+xml",
         200,
         classic,
         rssTitle,
         FetchFailure::None,
         {}},
        {"RSS with its description",
         fixtures::kRss,
         "application/rss+xml",
         200,
         QStringLiteral(" Description "),
         rssTitle + QStringLiteral("|") + QString::fromUtf8(fixtures::kRssSummary),
         FetchFailure::None,
         {}},
        {"RSS served as text/html",
         fixtures::kRss,
         "text/html",
         200,
         classic,
         rssTitle,
         FetchFailure::None,
         {}},
        {"Atom",
         fixtures::kAtom,
         "application/atom+xml",
         200,
         classic,
         QString::fromUtf8(fixtures::kAtomTitle),
         FetchFailure::None,
         {}},
        {"feed with no items",
         fixtures::kEmptyRss,
         "application/rss+xml",
         200,
         classic,
         {},
         FetchFailure::NoItems,
         {}},
        {"HTML served as a feed",
         NewsPage,
         "application/rss+xml",
         200,
         classic,
         {},
         FetchFailure::NotAFeed,
         QStringLiteral("root element <html>")},
        {"old marker page",
         NewsPage,
         "text/html",
         200,
         classic,
         QStringLiteral("|Storm hits coast|\nMore"),
         FetchFailure::None,
         {}},
        {"page without the markers",
         "<html>Nothing to see</html>",
         "text/html",
         200,
         classic,
         {},
         FetchFailure::NoMarkers,
         {}},
        {"error page",
         "<html>Page not found</html>",
         "text/html",
         200,
         classic,
         {},
         FetchFailure::ErrorPage,
         {}},
        {"server error",
         fixtures::kRss,
         "application/rss+xml",
         503,
         classic,
         {},
         FetchFailure::HttpStatus,
         QStringLiteral("503")},
    };
    makeFeed(folder.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        http.setPage(QStringLiteral("/news"), c.body, c.status, c.contentType);
        NewsDefinitions d = localDefinitions();
        d.NewsStart = c.newsStart;
        feed->setDefinitions(d);
        texts.clear();
        outcomeTexts.clear();

        runFetch(true, false);

        EXPECT_EQ(texts.get().NewsHeadline, c.headline);
        const FetchOutcome& outcome = feed->lastOutcome();
        EXPECT_EQ(outcome.when, clock.now());
        EXPECT_EQ(outcome.news.failure, c.failure);
        EXPECT_EQ(outcome.news.detail, c.detail);
        EXPECT_EQ(outcome.news.address, http.url(QStringLiteral("/news")));
        EXPECT_EQ(outcome.weather.failure, FetchFailure::NotRead);
        EXPECT_EQ(outcomeTexts, QStringList{feed->lastOutcomeText()});
    }
}

TEST_F(Fetch, WeatherSourceKindsAndTheirOutcome) {
    struct Case {
        const char* name;
        QByteArray body;
        QByteArray contentType;
        bool pointers; // the built-in JSON pointers, else the page markers
        const char* temperature;
        const char* condition;
        const char* city;
        FetchFailure failure;
        const char* detail;
    };
    const Case cases[] = {
        {"wttr.in j1", fixtures::kWttrJ1, "application/json", true, "36", "Partly cloudy",
         "Springfield", FetchFailure::None, ""},
        {"JSON served as text/plain", fixtures::kWttrJ1, "text/plain; charset=utf-8", true, "36",
         "Partly cloudy", "Springfield", FetchFailure::None, ""},
        {"JSON missing the city", fixtures::kWttrJ1NoCity, "application/json", true, "-4",
         "Light snow", "", FetchFailure::None, "no city"},
        {"malformed JSON", fixtures::kMalformedJson, "application/json", true, "", "", "",
         FetchFailure::NotJson, nullptr},
        {"JSON read with page markers", fixtures::kWttrJ1, "application/json", false, "", "", "",
         FetchFailure::NoValue, "><B CLASS=obsTempTextA>"},
        {"old marker page", WeatherPage, "text/html", false, "72", "Partly Cloudy", "Springfield",
         FetchFailure::None, ""},
        {"marker page read with pointers", WeatherPage, "text/html", true, "", "", "",
         FetchFailure::NoMarkers, ""},
    };
    makeFeed(folder.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        http.setPage(WeatherPath, c.body, 200, c.contentType);
        NewsDefinitions d = localDefinitions();
        if (c.pointers) {
            const NewsDefinitions builtIn = builtInNewsDefinitions();
            d.TemperatureStart = builtIn.TemperatureStart;
            d.ForecastStart = builtIn.ForecastStart;
            d.CityStart = builtIn.CityStart;
        }
        feed->setDefinitions(d);
        texts.clear();

        runFetch(false, true);

        const NewsTexts got = texts.get();
        EXPECT_EQ(got.WeatherTemperature, QString::fromUtf8(c.temperature));
        EXPECT_EQ(got.WeatherCondition, QString::fromUtf8(c.condition));
        EXPECT_EQ(got.WeatherCity, QString::fromUtf8(c.city));
        const SourceOutcome& weather = feed->lastOutcome().weather;
        EXPECT_EQ(weather.failure, c.failure);
        if (c.detail) {
            EXPECT_EQ(weather.detail, QString::fromUtf8(c.detail));
        } else {
            EXPECT_FALSE(weather.detail.isEmpty());
        }
        EXPECT_EQ(feed->lastOutcome().news.failure, FetchFailure::NotRead);
    }
}

TEST_F(Fetch, TheOperatorIsToldWhyAndTheLogOncePerKindAndHour) {
    makeFeed(folder.path(), 700ms);
    EXPECT_EQ(feed->lastOutcomeText(), QStringLiteral("No news or weather fetched yet."));
    http.setPage(QStringLiteral("/news"), "gone", 404);
    feed->setDefinitions(localDefinitions());

    runFetch(true, true);
    EXPECT_EQ(feed->lastOutcomeText(),
              QStringLiteral("Last fetch 2026-12-10 11:15: no headline: HTTP status 404; no "
                             "weather: not fetched after an earlier failure."));
    ASSERT_EQ(outcomeTexts.size(), 1);
    EXPECT_EQ(outcomeTexts[0], feed->lastOutcomeText());
    ASSERT_EQ(logLines.size(), 1);
    EXPECT_EQ(logLines[0], QStringLiteral("corvalinradio: the news fetch failed: HTTP status 404 "
                                          "at ") +
                               http.url(QStringLiteral("/news")));

    // The same failure a minute later is shown but not logged again.
    clock.advanceMs(60 * 1000);
    runFetch(true, true);
    EXPECT_EQ(outcomeTexts.size(), 2);
    EXPECT_EQ(logLines.size(), 1);

    // No answer at all: a new kind.
    HttpReply silent;
    silent.kind = HttpReply::Kind::Silent;
    http.setReply(QStringLiteral("/news"), silent);
    runFetch(true, true);
    EXPECT_EQ(feed->lastOutcome().news.failure, FetchFailure::NoAnswer);
    EXPECT_TRUE(feed->lastOutcomeText().contains(QStringLiteral("no headline: no answer (")));
    EXPECT_EQ(logLines.size(), 2);

    // Both found: the hint says so and nothing is logged.
    http.setPage(QStringLiteral("/news"), fixtures::kRss, 200, "application/rss+xml");
    http.setPage(WeatherPath, WeatherPage);
    runFetch(true, true);
    EXPECT_EQ(feed->lastOutcomeText(),
              QStringLiteral("Last fetch 2026-12-10 11:16: headline found; weather found."));
    EXPECT_EQ(logLines.size(), 2);
}

TEST_F(Fetch, ATownWithBlanksIsSentEncoded) {
    http.setPage(QStringLiteral("/Salt%20Lake%20City"), fixtures::kWttrJ1, 200, "application/json");
    makeFeed(folder.path());
    NewsDefinitions d = builtInNewsDefinitions();
    d.WeatherURL =
        weatherAddress(http.url(QStringLiteral("/<zip>")), QStringLiteral("Salt Lake City"));
    feed->setDefinitions(d);

    runFetch(false, true);

    EXPECT_EQ(texts.get().WeatherTemperature, QStringLiteral("36"));
}

} // namespace
