#include "platform/ServiceNotifier.h"

#include <systemd/sd-daemon.h>

namespace corvalin {

namespace {

class SystemdNotifier final : public ServiceNotifier {
public:
    explicit SystemdNotifier(std::int64_t watchdogMs) : watchdogMs_(watchdogMs) {}
    bool notify(const QByteArray& state) override { return sd_notify(0, state.constData()) > 0; }
    std::int64_t watchdogIntervalMs() const override { return watchdogMs_; }

private:
    std::int64_t watchdogMs_;
};

} // namespace

std::unique_ptr<ServiceNotifier> makeServiceNotifier() {
    if (qEnvironmentVariableIsEmpty("NOTIFY_SOCKET"))
        return nullptr;
    // The variables stay set: a child (the speech worker) started from here must not take the
    // station's place, and WATCHDOG_PID, when set, already names this process only.
    std::uint64_t usec = 0;
    const std::int64_t watchdogMs =
        sd_watchdog_enabled(0, &usec) > 0 ? static_cast<std::int64_t>(usec / 1000) : 0;
    return std::make_unique<SystemdNotifier>(watchdogMs);
}

} // namespace corvalin
