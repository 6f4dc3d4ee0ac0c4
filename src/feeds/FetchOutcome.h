#pragma once

#include "platform/Clock.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <map>
#include <utility>

namespace corvalin {

// What the last news and weather fetch found, so the operator can see why the DJ says no news.
// Value types; any thread.

enum class FetchFailure {
    None,       // found
    NotRead,    // reading it is switched off
    NotFetched, // the fetch ended before this step
    NoAnswer,   // no connection, time-out, a broken answer
    HttpStatus, // an answer outside 2xx
    ErrorPage,  // the page says it cannot be found
    NoMarkers,  // the page lacks the markers (or has them in the wrong order)
    NotAFeed,   // served as a feed but not one
    NoItems,    // a feed without an item with a title
    NotJson,    // served as JSON but not valid JSON
    NoValue,    // valid JSON without a temperature at its pointer
};

// One source: the news or the weather.
struct SourceOutcome {
    FetchFailure failure = FetchFailure::NotRead;
    QString detail;  // the HTTP status, the network error, the pointer, a missing part
    QString address; // where it was fetched from
    bool found() const { return failure == FetchFailure::None; }
    bool failed() const {
        return failure != FetchFailure::None && failure != FetchFailure::NotRead &&
               failure != FetchFailure::NotFetched;
    }
    bool operator==(const SourceOutcome&) const = default;
};

struct FetchOutcome {
    QDateTime when; // when the fetch started; invalid before the first fetch
    SourceOutcome news;
    SourceOutcome weather;
    bool operator==(const FetchOutcome&) const = default;
};

// The reason of a failure in a few words ("HTTP status 404", "no markers found").
QString failureReason(const SourceOutcome& source);

// The whole outcome in one line, as the clock panel's hint and the advanced options show it.
QString describeFetchOutcome(const FetchOutcome& outcome);

// Writes failed fetches to the program's log, each kind of failure of each source at most once an
// hour, so a station without a network does not fill the journal. UI thread (one owner).
class FetchFailureLog {
public:
    using Writer = std::function<void(const QString& line)>;
    // `write` empty: standard error.
    FetchFailureLog(const Clock& clock, Writer write);

    // Logs the failures of `outcome` not logged in the last hour.
    void report(const FetchOutcome& outcome);

    static constexpr qint64 kQuietSeconds = 3600;

private:
    void reportSource(const QString& name, const SourceOutcome& source);

    const Clock& clock_;
    Writer write_;
    std::map<std::pair<QString, FetchFailure>, QDateTime> lastLogged_;
};

} // namespace corvalin
