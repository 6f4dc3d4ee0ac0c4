#include "station/ServiceWatchdog.h"

#include "audio/SoundDevice.h"
#include "platform/ServiceNotifier.h"
#include "station/StationController.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace corvalin {

bool watchdogMayPing(const WatchdogSample& sample) {
    if (sample.nowMs - sample.lastLoopMs > kWatchdogLoopLimitMs)
        return false;
    if (!sample.deckPlaying)
        return true;
    return sample.lastMixMs > 0 && sample.nowMs - sample.lastMixMs <= kWatchdogAudioLimitMs;
}

ServiceWatchdog::ServiceWatchdog(std::unique_ptr<ServiceNotifier> notifier, Probes probes,
                                 QObject* parent)
    : QObject(parent), notifier_(std::move(notifier)), probes_(std::move(probes)) {
    // Well inside the manager's interval, and often enough that a stalled loop shows.
    const std::int64_t interval = notifier_->watchdogIntervalMs();
    timer_.setInterval(
        static_cast<int>(interval > 0 ? std::clamp<std::int64_t>(interval / 3, 100, 1000) : 1000));
    lastLoopMs_ = now();
    connect(&timer_, &QTimer::timeout, this, &ServiceWatchdog::tick);
    timer_.start();
}

ServiceWatchdog::~ServiceWatchdog() = default;

std::int64_t ServiceWatchdog::now() const {
    if (probes_.nowMs)
        return probes_.nowMs();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void ServiceWatchdog::tick() {
    const std::int64_t t = now();
    if (!readySent_ && probes_.ready && probes_.ready()) {
        readySent_ = notifier_->notify("READY=1");
#ifdef CORVALIN_TEST_HOOKS
        // Test builds only: freeze this thread a while after READY, as a hang would.
        if (const int ms = qEnvironmentVariableIntValue("CORVALIN_TEST_FREEZE_AFTER_MS"); ms > 0)
            freezeAtMs_ = t + ms;
#endif
    }
    if (freezeAtMs_ >= 0 && t >= freezeAtMs_) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(1));
    }
    WatchdogSample sample;
    sample.nowMs = t;
    sample.lastLoopMs = lastLoopMs_;
    sample.deckPlaying = probes_.deckPlaying && probes_.deckPlaying();
    sample.lastMixMs = probes_.lastMixMs ? probes_.lastMixMs() : 0;
    lastLoopMs_ = t;
    if (notifier_->watchdogIntervalMs() <= 0)
        return;
    const bool ping = watchdogMayPing(sample);
    if (ping)
        notifier_->notify("WATCHDOG=1");
    if (ping == withheld_ && probes_.log)
        probes_.log(ping ? QStringLiteral("watchdog: the station is alive again")
                         : QStringLiteral("watchdog: the %1 stalled; the service manager is no "
                                          "longer told the station is alive")
                               .arg(t - sample.lastLoopMs > kWatchdogLoopLimitMs
                                        ? QStringLiteral("window thread")
                                        : QStringLiteral("sound output")));
    withheld_ = !ping;
}

std::unique_ptr<ServiceWatchdog> startServiceWatchdog(StationController& station,
                                                      std::shared_ptr<SoundDevice> device) {
    std::unique_ptr<ServiceNotifier> notifier = makeServiceNotifier();
    if (!notifier)
        return nullptr;
    ServiceWatchdog::Probes probes;
    probes.ready = [&station] { return station.StartupChecked(); };
    probes.deckPlaying = [&station] { return station.decksSounding(); };
    probes.lastMixMs = [device] { return device->lastMixMs(); };
    probes.log = [](const QString& line) {
        std::fputs(("corvalinradio: " + line + QLatin1Char('\n')).toLocal8Bit().constData(),
                   stderr);
    };
    return std::make_unique<ServiceWatchdog>(std::move(notifier), std::move(probes));
}

} // namespace corvalin
