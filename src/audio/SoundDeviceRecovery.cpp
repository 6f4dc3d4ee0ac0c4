// The sound device's watch over its output: the supervisor thread, an output that stalls, the
// reopening after a loss with the fallback to silence, the retries of the output asked for and the
// reports of each change.
#include "audio/SoundBackends.h"
#include "audio/SoundDevice.h"
#include "audio/SoundDeviceCore.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>

namespace corvalin {

void SoundDevice::startSupervisor() {
    supervisor_ = std::thread([this] {
        std::unique_lock lock(supervisorMutex_);
        while (!supervisorStop_) {
            supervisorWake_.wait_for(lock, std::chrono::milliseconds(250));
            if (supervisorStop_)
                break;
            lock.unlock();
            supervise();
            lock.lock();
        }
    });
}

void SoundDevice::stopSupervisor() {
    {
        std::lock_guard guard(supervisorMutex_);
        supervisorStop_ = true;
    }
    supervisorWake_.notify_all();
    if (supervisor_.joinable())
        supervisor_.join();
}

void SoundDevice::supervise() {
    const std::int64_t now = options_.clockMs();
    watchForStall(now);
    retryIfDue(now);
}

void SoundDevice::watchForStall(std::int64_t now) {
    std::lock_guard guard(backendMutex_);
    const std::uint64_t frames = core_->framesMixed.load();
    bool gone;
    {
        std::lock_guard list(core_->listMutex);
        gone = core_->gone;
    }
    // Only a sound card's output can stall; one already taken for lost waits for the next buffer
    // to open it again. A late round (the machine slept or was starved) starts the watch afresh.
    const bool late = now - lastSuperviseMs_ > kStallMs / 2;
    lastSuperviseMs_ = now;
    if (!backend_ || !backend_->canStall() || gone || late || backend_.get() != watched_ ||
        frames != watchFrames_) {
        watched_ = backend_.get();
        watchFrames_ = frames;
        watchSinceMs_ = now;
        return;
    }
    if (now - watchSinceMs_ < kStallMs)
        return;
    std::fprintf(stderr, "corvalinradio: the sound output stopped playing; opening it again.\n");
    backend_->stalled();
    core_->loseAll();
    watchSinceMs_ = now;
}

bool SoundDevice::reopenBackend(SoundOutputStatus* now) {
    std::lock_guard guard(backendMutex_);
    bool gone;
    {
        std::lock_guard list(core_->listMutex);
        gone = core_->gone;
    }
    if (!gone)
        return false;
    // One backend renders at a time: the old one stops before the next starts.
    if (backend_)
        backend_->stop();
    backend_.reset();
    SoundOutputStatus next = status_;
    QString error;
    backend_ = openBackend(requested_, useNextRenderer(), &error);
    if (backend_) {
        next.fallback = false;
        next.reason.clear();
        retry_ = false;
    } else {
        QString ignored;
        backend_ = openBackend(QStringLiteral("null"), useNextRenderer(), &ignored);
        next.fallback = true;
        next.reason = error;
        // The device may come back: the supervisor tries it again, ever less often.
        retry_ = true;
        retryDelayMs_ = kFirstRetryMs;
        retryAtMs_ = options_.clockMs() + retryDelayMs_;
    }
    ++backendSerial_;
    {
        std::lock_guard list(core_->listMutex);
        core_->gone = false;
    }
    return takeStatus(next, now);
}

bool SoundDevice::takeStatus(SoundOutputStatus next, SoundOutputStatus* now) {
    next.backend = backend_->name();
    const bool changed = next.backend != status_.backend || next.fallback != status_.fallback ||
                         next.reason != status_.reason;
    if (changed && next.fallback)
        sayNoSound(next.reason);
    status_ = next;
    *now = next;
    return changed;
}

void SoundDevice::retryIfDue(std::int64_t now) {
    std::unique_lock guard(backendMutex_);
    if (!retry_ || now < retryAtMs_)
        return;
    const std::uint64_t serial = backendSerial_;
    const std::uint64_t renderer = ++lastRenderer_; // silent until it takes over
    const QString spec = requested_;
    // Opening a sound card may take seconds: nothing waits for it meanwhile, and the silent
    // output goes on moving the cursors.
    guard.unlock();
    QString error;
    std::unique_ptr<SoundBackend> fresh = openBackend(spec, renderer, &error);
    guard.lock();
    if (serial != backendSerial_ || !retry_) { // the output changed meanwhile
        guard.unlock();
        if (fresh)
            fresh->stop();
        return;
    }
    SoundOutputStatus next = status_;
    if (!fresh) {
        retryDelayMs_ = std::min(retryDelayMs_ * 2, kLastRetryMs);
        retryAtMs_ = options_.clockMs() + retryDelayMs_;
        next.reason = error;
    } else {
        {
            std::lock_guard list(core_->listMutex);
            core_->activeRenderer = renderer;
        }
        backend_->stop();
        backend_ = std::move(fresh);
        ++backendSerial_;
        retry_ = false;
        next.fallback = false;
        next.reason.clear();
    }
    SoundOutputStatus changed;
    const bool report = takeStatus(next, &changed);
    guard.unlock();
    if (report)
        reportStatus(changed);
}

void SoundDevice::reportStatus(const SoundOutputStatus& status) {
    auto deliver = [](SoundDevice& device, const SoundOutputStatus& s) {
        StatusHandler handler;
        {
            std::lock_guard guard(device.backendMutex_);
            handler = device.handler_;
        }
        if (handler)
            handler(s);
    };
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        deliver(*this, status);
        return;
    }
    std::weak_ptr<SoundDevice> self = weak_from_this();
    QMetaObject::invokeMethod(
        app,
        [self, status, deliver] {
            if (std::shared_ptr<SoundDevice> device = self.lock())
                deliver(*device, status);
        },
        Qt::QueuedConnection);
}

} // namespace corvalin
