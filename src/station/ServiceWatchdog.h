#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

namespace corvalin {

class ServiceNotifier;
class SoundDevice;
class StationController;

// Whether the station is alive enough to tell the service manager so. All times are steady-clock
// milliseconds.
struct WatchdogSample {
    std::int64_t nowMs = 0;
    std::int64_t lastLoopMs = 0; // the window thread's event loop last ran
    bool deckPlaying = false;
    std::int64_t lastMixMs = 0; // the audio callback last ran; 0: never
};

// The window thread's loop may lag this long, the audio callback while a deck plays this long.
inline constexpr std::int64_t kWatchdogLoopLimitMs = 5000;
inline constexpr std::int64_t kWatchdogAudioLimitMs = 2000;

// Ping only while the window thread runs its loop and, while a deck plays, the audio runs.
bool watchdogMayPing(const WatchdogSample& sample);

// Drives the service manager's protocol from the window thread: "READY=1" once play can start,
// then "WATCHDOG=1" every tick while watchdogMayPing() holds. A hung window thread or a dead audio
// output stops the pings, and the manager kills and restarts the station.
class ServiceWatchdog final : public QObject {
    Q_OBJECT
public:
    struct Probes {
        std::function<bool()> ready;       // play can start (the start-up decision is taken)
        std::function<bool()> deckPlaying; // a deck plays
        std::function<std::int64_t()> lastMixMs;
        std::function<std::int64_t()> nowMs; // none: std::chrono::steady_clock
        std::function<void(const QString&)> log;
    };
    ServiceWatchdog(std::unique_ptr<ServiceNotifier> notifier, Probes probes,
                    QObject* parent = nullptr);
    ~ServiceWatchdog() override;

    // One look, as the timer takes it; public for tests.
    void tick();
    bool readySent() const { return readySent_; }
    int tickIntervalMs() const { return timer_.interval(); }

private:
    std::int64_t now() const;

    std::unique_ptr<ServiceNotifier> notifier_;
    Probes probes_;
    QTimer timer_;
    std::int64_t lastLoopMs_ = 0;
    bool readySent_ = false;
    bool withheld_ = false; // the last tick sent no ping (said once in the log)
    std::int64_t freezeAtMs_ = -1;
};

// The program's watchdog for `station` on `device`: null when no service manager listens.
std::unique_ptr<ServiceWatchdog> startServiceWatchdog(StationController& station,
                                                      std::shared_ptr<SoundDevice> device);

} // namespace corvalin
