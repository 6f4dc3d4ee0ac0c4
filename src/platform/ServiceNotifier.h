#pragma once

#include <QByteArray>
#include <cstdint>
#include <memory>

namespace corvalin {

// The service manager's notification channel: "READY=1", "WATCHDOG=1", "STOPPING=1" ...
class ServiceNotifier {
public:
    virtual ~ServiceNotifier() = default;
    // Sends one state message; false when it could not be sent.
    virtual bool notify(const QByteArray& state) = 0;
    // How often the manager wants to hear "WATCHDOG=1", in ms; 0: it watches nothing.
    virtual std::int64_t watchdogIntervalMs() const = 0;
};

// systemd's channel, taken from NOTIFY_SOCKET and WATCHDOG_USEC as the process started; null when
// the process was not started by a manager listening (NOTIFY_SOCKET unset).
std::unique_ptr<ServiceNotifier> makeServiceNotifier();

} // namespace corvalin
