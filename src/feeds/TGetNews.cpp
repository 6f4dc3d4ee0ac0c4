#include "feeds/TGetNews.h"

#include "feeds/NewsExtraction.h"
#include "feeds/PageText.h"
#include "platform/FileSystem.h"

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
        if (job_.fetchNewsDefs)
            fetchDefinitions();
        if (ended_ || cancelled())
            return;
        const bool normal = fetchNews() && fetchWeather();
        if (foundNews_ && hooks_.newsFetched)
            hooks_.newsFetched(clock_.now());
        if (!normal || cancelled())
            return;
        const ClockSyncResult synced = GetAndSetTime(
            job_.daytime, clock_, clockSetter_, job_.clockSynced, job_.minimumClockYear, &cancel_);
        if (synced.attempted && hooks_.clockAttempted)
            hooks_.clockAttempted(synced);
    } catch (...) {
        // A feed failure is silent: the fetch just ends.
    }
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
    const HttpPage page = httpGet(job_.definitions.NewsURL, job_.httpLimits, &cancel_);
    // A server error ends the fetch like a network error; its page is not mined.
    if (!page.success())
        return false;
    const QString headline =
        extractHeadline(decodePage(page.body, page.contentType), job_.definitions.NewsStart,
                        job_.definitions.NewsEnd, job_.longPause);
    if (!headline.isEmpty()) {
        texts_.setHeadline(headline);
        foundNews_ = true;
    }
    return true;
}

bool TGetNews::fetchWeather() {
    if (!job_.readWeather)
        return true;
    const HttpPage page = httpGet(job_.definitions.WeatherURL, job_.httpLimits, &cancel_);
    if (!page.success())
        return false;
    const QString text = decodePage(page.body, page.contentType);
    const NewsDefinitions& d = job_.definitions;
    if (const QString t = extractTemperature(text, d.TemperatureStart, d.TemperatureEnd);
        !t.isEmpty()) {
        texts_.setTemperature(t);
        foundNews_ = true;
    }
    if (const QString c = extractCondition(text, d.ForecastStart, d.ForecastEnd); !c.isEmpty())
        texts_.setCondition(c);
    if (const QString c = extractCity(text, d.CityStart, d.CityEnd); !c.isEmpty())
        texts_.setCity(c);
    return true;
}

} // namespace corvalin
