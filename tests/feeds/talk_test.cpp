#include "FeedFixtures.h"
#include "LocalServers.h"
#include "TestSupport.h"
#include "core/Helpers.h"
#include "feeds/TGetNews.h"
#include "voice/DJTalk.h"

#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;
using namespace std::chrono_literals;

namespace {

class SpeakingHost : public TalkHost {
public:
    TTalkSettings TalkSettings() const override {
        return {U("Radio Nowhere"), QString(), U("Ann"), U("Voice A"), ftSongs};
    }
    bool HasVoices() const override { return true; }
    void ClearDJTestRunning() override {}
    bool Speak(const QString&, const QString& text) override {
        spoken = text;
        return true;
    }
    bool PlayDown() const override { return true; }
    void PlaySong() override {}
    void bStopClick() override {}
    QString spoken;
};

// A fetch from a feed and a JSON weather service, then the talk that reads them.
TEST(TalkFromSources, ReadsTheFeedHeadlineAndTheJsonWeather) {
    LocalHttpServer http;
    http.setPage(QStringLiteral("/rss.xml"), fixtures::kRss, 200, "application/rss+xml");
    http.setPage(QStringLiteral("/62701"), fixtures::kWttrJ1, 200, "application/json");
    LocalDaytimeServer daytime("\n61384 26-12-10 09:15:30 00 0 0 123.4 UTC(NIST) * \n");

    const TVocabulary vocabulary = TVocabulary::builtIn();
    FetchJob job;
    job.definitions = builtInNewsDefinitions();
    job.definitions.NewsURL = http.url(QStringLiteral("/rss.xml"));
    job.definitions.WeatherURL =
        weatherAddress(http.url(QStringLiteral("/<zip>")), QStringLiteral("62701"));
    job.longPause = vocabulary.LongPause;
    job.httpLimits.totalTimeout = 5s;
    job.daytime.host = QStringLiteral("127.0.0.1");
    job.daytime.port = daytime.port();
    job.daytime.timeout = 3s;
    job.minimumClockYear = 2020;

    NewsHandOver news;
    FakeClock clock{QDateTime(QDate(2026, 12, 10), QTime(10, 31))};
    FakeSystemClockSetter setter;
    const std::atomic<bool> cancel{false};
    FetchOutcome outcome;
    FetchHooks hooks;
    hooks.outcome = [&](const FetchOutcome& o) { outcome = o; };
    TGetNews(job, news, clock, setter, cancel, hooks).Execute();
    ASSERT_TRUE(outcome.news.found());
    ASSERT_TRUE(outcome.weather.found());

    ScriptedRandom random{{0}};
    TPhrases phrases{random};
    TLivePhraseLists lists;
    phrases.LoadPhrase(U("This is &StationIdentification&."), lists.ThisIsPhrases);
    phrases.LoadPhrase(U("In the news,"), lists.BeforeNewsPhrases);
    TSongs songs;
    TTalkState state;
    state.LastPSA = clock.now();
    SpeakingHost host;
    TDJTalk composer{{vocabulary, phrases, lists, songs, news, state, clock, random, host, U(":")}};
    composer.SetDJSpeech();

    const QString& talk = host.spoken;
    EXPECT_TRUE(talk.contains(U("In the news,"))) << talk.toStdString();
    EXPECT_TRUE(talk.contains(U("floods hit \"coast\" towns"))) << talk.toStdString();
    // The weather sentence: place, condition and temperature from the JSON answer.
    const qsizetype outside = talk.indexOf(vocabulary.zzDJ25);
    ASSERT_GE(outside, 0) << talk.toStdString();
    const QString sentence = talk.mid(outside);
    EXPECT_TRUE(sentence.contains(vocabulary.zzDJ24 + U(" Springfield"))) << talk.toStdString();
    EXPECT_TRUE(sentence.contains(U("Partly cloudy"))) << talk.toStdString();
    EXPECT_TRUE(sentence.contains(U("36 ") + vocabulary.zzDJ28)) << talk.toStdString();
    // The talk reads them once.
    EXPECT_TRUE(news.get().NewsHeadline.isEmpty());
}

} // namespace
