#include "LocalServers.h"
#include "TestSupport.h"
#include "feeds/NewsFeed.h"

#include <QEventLoop>
#include <QFile>
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
        setup.daytime.timeout = 3s;
        setup.minimumClockYear = 2020;
        feed = std::make_unique<NewsFeed>(setup, texts, store, clock, setter);
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

    // Definitions in force that point at the local server.
    NewsDefinitions localDefinitions(const QString& newsPath = QStringLiteral("/news")) {
        NewsDefinitions d = builtInNewsDefinitions();
        d.NewsURL = http.url(newsPath);
        d.WeatherURL = http.url(QStringLiteral("/weather/local/12345"));
        return d;
    }

    QByteArray definitionsDocument(const QString& version) {
        return "[Defaults]\nNewsURL=" + http.url(QStringLiteral("/news")).toUtf8() +
               "\nWeatherURL=" + http.url(QStringLiteral("/weather/local/")).toUtf8() +
               "\nCVVersion=" + version.toUtf8() + "\n";
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
    std::unique_ptr<NewsFeed> feed;
    QStringList notices;
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

} // namespace
