#pragma once

#include "core/IniFile.h"
#include "feeds/ClockSync.h"
#include "feeds/FetchOutcome.h"
#include "feeds/HttpClient.h"
#include "feeds/NewsDefinitions.h"
#include "feeds/TGetNews.h"
#include "platform/Clock.h"
#include "platform/SystemClockSetter.h"
#include "platform/Version.h"
#include "voice/NewsHandOver.h"

#include <QDateTime>
#include <QObject>
#include <atomic>
#include <functional>
#include <thread>

namespace corvalin {

// The settings store as the news feed sees it. UI thread only.
class NewsSettingsStore {
public:
    virtual ~NewsSettingsStore() = default;
    // The store chosen by SameSettings, as it stands in memory.
    virtual IniFile& settings() = 0;
    // Writes the store to disk (errors are the store's own business).
    virtual void flush() = 0;
    // The station's zip code in memory.
    virtual QString zipCode() const = 0;
};

struct NewsFeedSetup {
    QString programFolder; // ends in "/"; "NewsDef.ini" lives here
    QString updateServer = kUpdateServer;
    QString programVersion = corvalin::programVersion();
    QString longPause = QStringLiteral("\\Pau=500\\");
    HttpLimits httpLimits;
    DaytimeServer daytime;
    int minimumClockYear = buildYear();
    // Where failed fetches are logged; empty: standard error.
    FetchFailureLog::Writer failureLog;
};

// When news was last fetched and how many counted songs have played since: the playout's news
// rule reads and counts them, a successful fetch resets them.
struct NewsFetchCounters {
    QDateTime LastNewsFetch;
    int SongsSinceFetch = 100;
};

// Owns the news and weather fetch: starts one fetch thread at a time, merges the published
// defaults into the store, keeps the fetch bookkeeping and the clock flag. Lives on the UI thread
// and every public function must be called there; the fetch thread reaches it only through
// queued calls. The four result texts go through the NewsHandOver.
class NewsFeed : public QObject {
    Q_OBJECT
public:
    NewsFeed(NewsFeedSetup setup, NewsHandOver& texts, NewsSettingsStore& store, const Clock& clock,
             SystemClockSetter& clockSetter, QObject* parent = nullptr);
    // Ends a running fetch (its network waits are cut short) and waits for its thread.
    ~NewsFeed() override;

    // Starts a fetch with the definitions in force. False (nothing started) while one runs or
    // when no thread can be made.
    bool startFetch(bool readNews, bool readWeather);
    bool fetchRunning() const { return running_; }

    // Merges "NewsDef.ini" into the store and takes the values in force from it; may emit
    // newVersionNotice once per run.
    void CheckDefaults();

    // The definitions in force (the advanced options and the zip code change them).
    const NewsDefinitions& definitions() const { return definitions_; }
    void setDefinitions(const NewsDefinitions& definitions) { definitions_ = definitions; }
    // The vocabulary's long pause, put where a headline had tags.
    void setLongPause(const QString& longPause) { setup_.longPause = longPause; }

    NewsFetchCounters& counters() { return counters_; }
    QDateTime LastNewsFetch() const { return counters_.LastNewsFetch; }
    void setLastNewsFetch(const QDateTime& when) { counters_.LastNewsFetch = when; }
    int SongsSinceFetch() const { return counters_.SongsSinceFetch; }
    void setSongsSinceFetch(int songs) { counters_.SongsSinceFetch = songs; }
    bool FetchNewsDefs() const { return fetchNewsDefs_; }
    bool NewsDefaultsChanged() const { return newsDefaultsChanged_; }
    bool NewVersionShown() const { return newVersionShown_; }
    bool ClockSynced() const { return clockSynced_; }
    // What the last fetch found (the owner of this state), and the same in one line.
    const FetchOutcome& lastOutcome() const { return lastOutcome_; }
    QString lastOutcomeText() const { return describeFetchOutcome(lastOutcome_); }

Q_SIGNALS:
    // Show the self-closing box (the station owns the windows).
    void newVersionNotice(const QString& text, const QString& caption, int displayMs);
    // The clock was set: repaint the clock display.
    void clockDisplayChanged();
    // A fetch has ended (after its results and bookkeeping arrived).
    void fetchFinished();
    // lastOutcome() changed; `text` is lastOutcomeText().
    void fetchOutcomeChanged(const QString& text);

protected:
    void customEvent(QEvent* event) override;

private:
    // Runs `call` on this object's (the UI) thread. Any thread.
    void post(std::function<void()> call);
    FetchJob makeJob(bool readNews, bool readWeather) const;
    std::optional<NewsDefinitions> definitionsStoredByFetch(); // fetch thread
    void finishFetch();

    NewsFeedSetup setup_;
    NewsHandOver& texts_;
    NewsSettingsStore& store_;
    const Clock& clock_;
    SystemClockSetter& clockSetter_;

    // UI thread.
    NewsDefinitions definitions_;
    NewsFetchCounters counters_;
    bool fetchNewsDefs_ = true;
    bool newsDefaultsChanged_ = false;
    bool newVersionShown_ = false;
    bool clockSynced_ = false;
    bool running_ = false;
    FetchOutcome lastOutcome_;
    FetchFailureLog failureLog_;
    std::thread thread_;

    // Shared with the fetch thread.
    std::atomic<bool> cancel_{false};
};

} // namespace corvalin
