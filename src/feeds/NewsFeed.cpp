#include "feeds/NewsFeed.h"

#include "feeds/PublishedDefaults.h"
#include "feeds/TGetNews.h"

#include <QCoreApplication>
#include <QEvent>
#include <chrono>
#include <future>
#include <memory>
#include <system_error>

namespace corvalin {

namespace {

// A call handed from the fetch thread to the UI thread. The event owns the call outright and is
// run and destroyed on the receiver's thread (or dropped with the receiver).
const QEvent::Type kCallEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class CallEvent final : public QEvent {
public:
    explicit CallEvent(std::function<void()> call) : QEvent(kCallEvent), call_(std::move(call)) {}
    void run() { call_(); }

private:
    std::function<void()> call_;
};

} // namespace

void NewsFeed::post(std::function<void()> call) {
    QCoreApplication::postEvent(this, new CallEvent(std::move(call)));
}

void NewsFeed::customEvent(QEvent* event) {
    if (event->type() == kCallEvent)
        static_cast<CallEvent*>(event)->run();
}

NewsFeed::NewsFeed(NewsFeedSetup setup, NewsHandOver& texts, NewsSettingsStore& store,
                   const Clock& clock, SystemClockSetter& clockSetter, QObject* parent)
    : QObject(parent), setup_(std::move(setup)), texts_(texts), store_(store), clock_(clock),
      clockSetter_(clockSetter), definitions_(builtInDefinitionsInForce(store.zipCode())),
      counters_{clock.now().addDays(-5000000), 100}, failureLog_(clock, setup_.failureLog) {}

NewsFeed::~NewsFeed() {
    cancel_ = true;
    if (thread_.joinable())
        thread_.join();
}

FetchJob NewsFeed::makeJob(bool readNews, bool readWeather) const {
    FetchJob job;
    job.definitions = definitions_;
    job.readNews = readNews;
    job.readWeather = readWeather;
    job.fetchNewsDefs = fetchNewsDefs_;
    job.newsDefURL = setup_.updateServer + kNewsDefPath;
    job.newsDefFile = setup_.programFolder + kNewsDefFileName;
    job.longPause = setup_.longPause;
    job.httpLimits = setup_.httpLimits;
    job.daytime = setup_.daytime;
    job.minimumClockYear = setup_.minimumClockYear;
    job.clockSynced = clockSynced_;
    return job;
}

bool NewsFeed::startFetch(bool readNews, bool readWeather) {
    if (running_)
        return false;
    if (thread_.joinable())
        thread_.join();

    FetchHooks hooks;
    hooks.definitionsStored = [this] { return definitionsStoredByFetch(); };
    hooks.newsFetched = [this](const QDateTime& when) {
        post([this, when] {
            counters_.LastNewsFetch = when;
            counters_.SongsSinceFetch = 0;
        });
    };
    hooks.outcome = [this](const FetchOutcome& outcome) {
        post([this, outcome] {
            lastOutcome_ = outcome;
            failureLog_.report(outcome);
            Q_EMIT fetchOutcomeChanged(describeFetchOutcome(outcome));
        });
    };
    hooks.clockAttempted = [this](const ClockSyncResult& result) {
        post([this, synced = result.clockSynced] {
            clockSynced_ = synced;
            Q_EMIT clockDisplayChanged();
        });
    };

    try {
        thread_ = std::thread(
            [this, job = makeJob(readNews, readWeather), hooks = std::move(hooks)]() mutable {
                TGetNews(std::move(job), texts_, clock_, clockSetter_, cancel_, std::move(hooks))
                    .Execute();
                post([this] { finishFetch(); });
            });
    } catch (const std::system_error&) {
        return false;
    }
    running_ = true;
    return true;
}

std::optional<NewsDefinitions> NewsFeed::definitionsStoredByFetch() {
    auto promise = std::make_shared<std::promise<NewsDefinitions>>();
    std::future<NewsDefinitions> inForce = promise->get_future();
    post([this, promise] {
        fetchNewsDefs_ = false;
        CheckDefaults();
        promise->set_value(definitions_);
    });
    // Waits for the UI thread, but never past a shutdown.
    while (inForce.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        if (cancel_)
            return std::nullopt;
    try {
        return inForce.get();
    } catch (const std::future_error&) {
        return std::nullopt;
    }
}

void NewsFeed::finishFetch() {
    if (thread_.joinable())
        thread_.join();
    running_ = false;
    Q_EMIT fetchFinished();
}

void NewsFeed::CheckDefaults() {
    const IniFile published = IniFile::load(setup_.programFolder + kNewsDefFileName);
    const DefaultsCheck check = mergePublishedDefaults(published, store_.settings(),
                                                       store_.zipCode(), setup_.programVersion);
    store_.flush();
    definitions_ = check.inForce;
    if (check.defaultsChanged)
        newsDefaultsChanged_ = true;
    if (check.newerVersion && !newVersionShown_) {
        newVersionShown_ = true;
        Q_EMIT newVersionNotice(kNewVersionText, kNewVersionCaption, kNewVersionDisplayMs);
    }
}

} // namespace corvalin
