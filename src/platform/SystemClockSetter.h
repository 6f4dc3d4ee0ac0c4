#pragma once

#include <QDateTime>
#include <mutex>
#include <vector>

namespace corvalin {

// Sets the machine's clock. Only the clock synchronisation uses it, on the fetch thread; tests
// inject FakeSystemClockSetter so the real clock is never touched.
class SystemClockSetter {
public:
    virtual ~SystemClockSetter() = default;
    // True when something else (an NTP daemon) already keeps the clock synchronised: then the
    // station leaves it alone.
    virtual bool keptBySystem() const = 0;
    // Sets the clock to `utc` (a UTC date-time). Returns false when refused (no right to set it).
    virtual bool setUtc(const QDateTime& utc) = 0;
};

// clock_settime(CLOCK_REALTIME); needs CAP_SYS_TIME. keptBySystem asks the kernel (ntp_adjtime
// without changes) whether its clock is marked synchronised. Any thread.
class RealSystemClockSetter final : public SystemClockSetter {
public:
    bool keptBySystem() const override;
    bool setUtc(const QDateTime& utc) override;
};

// For tests: records every setting; answers as configured. Any thread.
class FakeSystemClockSetter final : public SystemClockSetter {
public:
    void setKeptBySystem(bool kept);
    void setRefuse(bool refuse);
    std::vector<QDateTime> settings() const;

    bool keptBySystem() const override;
    bool setUtc(const QDateTime& utc) override;

private:
    mutable std::mutex mutex_;
    bool kept_ = false;
    bool refuse_ = false;
    std::vector<QDateTime> settings_;
};

} // namespace corvalin
