#include "feeds/TGetNews.h"

#include "feeds/FeedReader.h"
#include "feeds/JsonWeather.h"
#include "feeds/NewsExtraction.h"
#include "feeds/PageText.h"
#include "platform/FileSystem.h"

#include <QStringList>
#include <utility>

namespace corvalin {

TGetNews::TGetNews(FetchJob job, NewsHandOver& texts, const Clock& clock,
                   SystemClockSetter& clockSetter, const std::atomic<bool>& cancel,
                   FetchHooks hooks)
    : job_(std::move(job)), texts_(texts), clock_(clock), clockSetter_(clockSetter),
      cancel_(cancel), hooks_(std::move(hooks)) {}

void TGetNews::Execute() {
    try {
        texts_.clear();
        outcome_.when = clock_.now();
        outcome_.news.failure = job_.readNews ? FetchFailure::NotFetched : FetchFailure::NotRead;
        outcome_.weather.failure =
            job_.readWeather ? FetchFailure::NotFetched : FetchFailure::NotRead;
        if (job_.fetchNewsDefs)
            fetchDefinitions();
        if (ended_ || cancelled())
            return;
        const bool normal = fetchNews() && fetchWeather();
        if (foundNews_ && hooks_.newsFetched)
            hooks_.newsFetched(clock_.now());
        if (cancelled())
            return;
        if (hooks_.outcome)
            hooks_.outcome(outcome_);
        if (!normal)
            return;
        const ClockSyncResult synced = GetAndSetTime(
            job_.daytime, clock_, clockSetter_, job_.clockSynced, job_.minimumClockYear, &cancel_);
        if (synced.attempted && hooks_.clockAttempted)
            hooks_.clockAttempted(synced);
    } catch (...) {
        // A feed failure is silent: the fetch just ends.
    }
}

std::optional<HttpPage> TGetNews::fetchPage(const QString& address, SourceOutcome& source) {
    source.address = address;
    HttpPage page = httpGet(address, job_.httpLimits, &cancel_);
    if (!page.ok) {
        source.failure = FetchFailure::NoAnswer;
        source.detail = page.error;
        return std::nullopt;
    }
    if (!page.success()) {
        source.failure = FetchFailure::HttpStatus;
        source.detail = QString::number(page.status);
        return std::nullopt;
    }
    return page;
}

void TGetNews::fetchDefinitions() {
    const HttpPage page = httpGet(job_.newsDefURL, job_.httpLimits, &cancel_);
    // An error page must not be stored as the definitions.
    if (!page.success())
        return;
    const QString text = normaliseLineBreaks(decodePage(page.body, page.contentType));
    if (text.isEmpty())
        return;
    if (!writeFileAtomically(job_.newsDefFile, (text + QStringLiteral("\r\n")).toUtf8()))
        return;
    if (!hooks_.definitionsStored)
        return;
    if (const std::optional<NewsDefinitions> inForce = hooks_.definitionsStored())
        job_.definitions = *inForce;
    else
        ended_ = true;
}

bool TGetNews::fetchNews() {
    if (!job_.readNews)
        return true;
    SourceOutcome& news = outcome_.news;
    const NewsDefinitions& d = job_.definitions;
    // A server error ends the fetch like a network error; its page is not mined.
    const std::optional<HttpPage> page = fetchPage(d.NewsURL, news);
    if (!page)
        return false;
    const QString text = decodePage(page->body, page->contentType);
    QString headline;
    if (isFeedAnswer(text, page->contentType)) {
        const FeedRead feed = readFirstFeedItem(text);
        if (feed.status == FeedRead::Status::NotAFeed) {
            news.failure = FetchFailure::NotAFeed;
            news.detail = feed.error;
            return true;
        }
        const bool withSummary =
            d.NewsStart.trimmed().compare(kFeedSummaryWord, Qt::CaseInsensitive) == 0;
        headline = feedHeadline(feed.item, withSummary, job_.longPause);
        if (headline.isEmpty()) {
            news.failure = FetchFailure::NoItems;
            return true;
        }
    } else {
        headline = extractHeadline(text, d.NewsStart, d.NewsEnd, job_.longPause);
        if (headline.isEmpty()) {
            news.failure = isErrorPage(normaliseLineBreaks(text)) ? FetchFailure::ErrorPage
                                                                  : FetchFailure::NoMarkers;
            return true;
        }
    }
    texts_.setHeadline(headline);
    foundNews_ = true;
    news.failure = FetchFailure::None;
    return true;
}

bool TGetNews::fetchWeather() {
    if (!job_.readWeather)
        return true;
    SourceOutcome& weather = outcome_.weather;
    const NewsDefinitions& d = job_.definitions;
    const std::optional<HttpPage> page = fetchPage(d.WeatherURL, weather);
    if (!page)
        return false;
    const QString text = decodePage(page->body, page->contentType);
    QString temperature;
    QString condition;
    QString city;
    const bool json = isJsonAnswer(text, page->contentType);
    if (json) {
        const JsonWeather values =
            readJsonWeather(text, d.TemperatureStart, d.ForecastStart, d.CityStart);
        if (!values.valid) {
            weather.failure = FetchFailure::NotJson;
            weather.detail = values.error;
            return true;
        }
        temperature = values.temperature;
        condition = values.condition;
        city = values.city;
    } else {
        temperature = extractTemperature(text, d.TemperatureStart, d.TemperatureEnd);
        condition = extractCondition(text, d.ForecastStart, d.ForecastEnd);
        city = extractCity(text, d.CityStart, d.CityEnd);
    }
    if (!temperature.isEmpty()) {
        texts_.setTemperature(temperature);
        foundNews_ = true;
    }
    if (!condition.isEmpty())
        texts_.setCondition(condition);
    if (!city.isEmpty())
        texts_.setCity(city);

    if (temperature.isEmpty()) {
        if (json) {
            weather.failure = FetchFailure::NoValue;
            weather.detail = d.TemperatureStart;
        } else {
            weather.failure = isErrorPage(normaliseLineBreaks(text)) ? FetchFailure::ErrorPage
                                                                     : FetchFailure::NoMarkers;
        }
        return true;
    }
    weather.failure = FetchFailure::None;
    QStringList missing;
    if (condition.isEmpty())
        missing << QStringLiteral("no condition");
    if (city.isEmpty())
        missing << QStringLiteral("no city");
    weather.detail = missing.join(QStringLiteral(", "));
    return true;
}

} // namespace corvalin
