#include "platform/SystemClockSetter.h"

#include <ctime>
#include <sys/timex.h>

namespace corvalin {

bool RealSystemClockSetter::keptBySystem() const {
    timex tx{};
    tx.modes = 0; // read only
    const int state = ::ntp_adjtime(&tx);
    if (state == -1)
        return false;
    return (tx.status & STA_UNSYNC) == 0;
}

bool RealSystemClockSetter::setUtc(const QDateTime& utc) {
    if (!utc.isValid())
        return false;
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(utc.toSecsSinceEpoch());
    ts.tv_nsec = 0;
    return ::clock_settime(CLOCK_REALTIME, &ts) == 0;
}

void FakeSystemClockSetter::setKeptBySystem(bool kept) {
    std::lock_guard lock(mutex_);
    kept_ = kept;
}

void FakeSystemClockSetter::setRefuse(bool refuse) {
    std::lock_guard lock(mutex_);
    refuse_ = refuse;
}

std::vector<QDateTime> FakeSystemClockSetter::settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

bool FakeSystemClockSetter::keptBySystem() const {
    std::lock_guard lock(mutex_);
    return kept_;
}

bool FakeSystemClockSetter::setUtc(const QDateTime& utc) {
    std::lock_guard lock(mutex_);
    settings_.push_back(utc);
    return !refuse_;
}

} // namespace corvalin
