#pragma once

#include "feeds/ClockSync.h"
#include "feeds/FetchOutcome.h"
#include "feeds/HttpClient.h"
#include "feeds/NewsDefinitions.h"
#include "platform/Clock.h"
#include "platform/SystemClockSetter.h"
#include "voice/NewsHandOver.h"

#include <QDateTime>
#include <atomic>
#include <functional>
#include <optional>

namespace corvalin {

// Everything one fetch needs, copied when it starts: later edits never reach it.
struct FetchJob {
    NewsDefinitions definitions; // in force: the weather address with the zip code
    bool readNews = true;
    bool readWeather = true;
    bool fetchNewsDefs = false; // the definitions document is still to be fetched in this run
    QString newsDefURL;         // the definitions document on the update server
    QString newsDefFile;        // where it is stored ("NewsDef.ini" in the station folder)
    QString longPause;
    HttpLimits httpLimits;
    DaytimeServer daytime;
    int minimumClockYear = 0;
    bool clockSynced = false;
};

// How a fetch reports to the station. Each is called on the fetch thread and must hand its work
// to the UI thread.
struct FetchHooks {
    // The definitions document was stored: the defaults are merged where the store lives; gives
    // the definitions then in force, or nothing when the fetch is to end (shutdown).
    std::function<std::optional<NewsDefinitions>()> definitionsStored;
    // A headline or a temperature was found (`when` is the time of the fetch).
    std::function<void(const QDateTime& when)> newsFetched;
    // The clock was set or setting it was refused.
    std::function<void(const ClockSyncResult&)> clockAttempted;
    // What the news and weather steps found (not called when the fetch was cancelled).
    std::function<void(const FetchOutcome&)> outcome;
};

// One news and weather fetch: the definitions document (once per run), the news headline, the
// weather, then the clock. Every failure, an answer outside 2xx included, ends the fetch silently
// where it happens; what was found before it stays, and the outcome says why. Pages are read in
// their declared charset. A failure to get or store the definitions document only skips that step
// (it is tried again by the next fetch), so an unreachable update server cannot silence the news.
//
// The news answer is read as a feed when its Content-Type or its root element says it is an RSS or
// Atom feed (the first item's title, and its summary when NewsStart is "description"), otherwise
// cut between the markers. The weather answer is read as JSON when its Content-Type or its first
// character says so (the three start markers are JSON pointers), otherwise cut between the
// markers.
class TGetNews {
public:
    TGetNews(FetchJob job, NewsHandOver& texts, const Clock& clock, SystemClockSetter& clockSetter,
             const std::atomic<bool>& cancel, FetchHooks hooks);

    // Runs the fetch; blocks. The fetch thread only. Never throws.
    void Execute();

private:
    void fetchDefinitions();
    // The answer at `address` when it is a 2xx answer; else nothing, and `source` says why.
    std::optional<HttpPage> fetchPage(const QString& address, SourceOutcome& source);
    bool fetchNews();
    bool fetchWeather();
    bool cancelled() const { return cancel_.load(); }

    FetchJob job_;
    NewsHandOver& texts_;
    const Clock& clock_;
    SystemClockSetter& clockSetter_;
    const std::atomic<bool>& cancel_;
    FetchHooks hooks_;
    bool ended_ = false; // a definitions hand-over was refused: stop at once
    bool foundNews_ = false;
    FetchOutcome outcome_;
};

} // namespace corvalin
