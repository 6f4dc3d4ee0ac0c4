#include "feeds/FetchOutcome.h"

#include <cstdio>

namespace corvalin {

namespace {

QString withDetail(const QString& reason, const QString& detail) {
    return detail.isEmpty() ? reason : reason + QStringLiteral(" (") + detail + QLatin1Char(')');
}

QString sourceText(const SourceOutcome& source, const QString& foundText,
                   const QString& notFoundText, const QString& offText) {
    switch (source.failure) {
    case FetchFailure::None:
        return withDetail(foundText, source.detail);
    case FetchFailure::NotRead:
        return offText;
    default:
        return notFoundText + QStringLiteral(": ") + failureReason(source);
    }
}

void writeToStandardError(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

QString failureReason(const SourceOutcome& source) {
    switch (source.failure) {
    case FetchFailure::None:
        return {};
    case FetchFailure::NotRead:
        return QStringLiteral("not read");
    case FetchFailure::NotFetched:
        return QStringLiteral("not fetched after an earlier failure");
    case FetchFailure::NoAnswer:
        return withDetail(QStringLiteral("no answer"), source.detail);
    case FetchFailure::HttpStatus:
        return QStringLiteral("HTTP status ") + source.detail;
    case FetchFailure::ErrorPage:
        return QStringLiteral("error page");
    case FetchFailure::NoMarkers:
        return QStringLiteral("no markers found");
    case FetchFailure::NotAFeed:
        return withDetail(QStringLiteral("not a feed"), source.detail);
    case FetchFailure::NoItems:
        return QStringLiteral("no items in the feed");
    case FetchFailure::NotJson:
        return withDetail(QStringLiteral("not valid JSON"), source.detail);
    case FetchFailure::NoValue:
        return withDetail(QStringLiteral("no temperature in the JSON"), source.detail);
    }
    return {};
}

QString describeFetchOutcome(const FetchOutcome& outcome) {
    if (!outcome.when.isValid())
        return QStringLiteral("No news or weather fetched yet.");
    return QStringLiteral("Last fetch %1: %2; %3.")
        .arg(outcome.when.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
             sourceText(outcome.news, QStringLiteral("headline found"),
                        QStringLiteral("no headline"), QStringLiteral("news off")),
             sourceText(outcome.weather, QStringLiteral("weather found"),
                        QStringLiteral("no weather"), QStringLiteral("weather off")));
}

FetchFailureLog::FetchFailureLog(const Clock& clock, Writer write)
    : clock_(clock), write_(write ? std::move(write) : Writer(writeToStandardError)) {}

void FetchFailureLog::report(const FetchOutcome& outcome) {
    reportSource(QStringLiteral("news"), outcome.news);
    reportSource(QStringLiteral("weather"), outcome.weather);
}

void FetchFailureLog::reportSource(const QString& name, const SourceOutcome& source) {
    if (!source.failed())
        return;
    const QDateTime now = clock_.now();
    QDateTime& last = lastLogged_[{name, source.failure}];
    // A clock set back (the daytime server) must not silence the log for longer than an hour.
    if (last.isValid() && last <= now && last.secsTo(now) < kQuietSeconds)
        return;
    last = now;
    write_(QStringLiteral("corvalinradio: the %1 fetch failed: %2 at %3")
               .arg(name, failureReason(source), source.address));
}

} // namespace corvalin
