// The decks' shared parts: the channels' lock, the errors, the output devices, the clock, the
// ring's position times, the output device object (TDSPlayer) and the refill thread. The channel
// is in DSPlayerChannel.cpp (a song, its transport and volume) and DSPlayerChannelRefill.cpp
// (filling the ring).
#include "audio/DSPlayer.h"

#include "audio/DSPlayerLock.h"

#include <algorithm>
#include <chrono>

namespace corvalin {

void RecursiveTimedLock::lock() {
    tryLockUntil(std::chrono::steady_clock::time_point::max());
}

bool RecursiveTimedLock::tryLockUntil(std::chrono::steady_clock::time_point deadline) {
    const std::thread::id me = std::this_thread::get_id();
    std::unique_lock g(mutex_);
    if (depth_ > 0 && owner_ == me) {
        ++depth_;
        return true;
    }
    auto isFree = [this] { return depth_ == 0; };
    if (deadline == std::chrono::steady_clock::time_point::max())
        free_.wait(g, isFree);
    else if (!free_.wait_until(g, deadline, isFree))
        return false;
    owner_ = me;
    depth_ = 1;
    return true;
}

void RecursiveTimedLock::unlock() {
    std::lock_guard g(mutex_);
    if (--depth_ == 0) {
        owner_ = std::thread::id();
        free_.notify_one();
    }
}

EDirectXError::EDirectXError(std::int32_t code)
    : std::runtime_error(
          QString::number(
              static_cast<std::int32_t>(0x88780000u | (static_cast<std::uint32_t>(code) + 0x1000u)))
              .toStdString()),
      ErrorCode(code) {}

void CheckDX(std::int32_t result) {
    if (result != 0)
        throw EDirectXError(result);
}

const QStringList& DSDeviceNames() {
    static const QStringList names{QStringLiteral("Default output")};
    return names;
}

const QStringList& DSDeviceGUIDs() {
    static const QStringList ids{QString()};
    return ids;
}

std::uint32_t systemTicks() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// --- TPositionTimes ------------------------------------------------------------------------

void TPositionTimes::Add(std::int32_t posStart, std::int32_t posEnd, MediaTime timeStart,
                         MediaTime timeEnd) {
    PosStart[Index] = posStart;
    PosEnd[Index] = posEnd;
    TimeStart[Index] = timeStart;
    TimeEnd[Index] = timeEnd;
    if (timeStart > timeEnd)
        throw EAudioError(QStringLiteral("Internal Error: Time Start higher then Time End"));
    if (posEnd <= posStart)
        throw EAudioError(
            QStringLiteral("Internal Error: Position Start not inferior to Position End"));
    Index = (Index + 1) % kEntries;
}

std::int32_t TPositionTimes::GetPosTime(std::int32_t pos) const {
    int i = Index;
    while (true) {
        i = i == 0 ? kEntries - 1 : i - 1;
        if (i == Index)
            throw EAudioError(QStringLiteral("Internal Error: unable to GetPosTime"));
        if (PosStart[i] <= pos && pos < PosEnd[i]) {
            const double fraction = static_cast<double>(pos - PosStart[i]) /
                                    static_cast<double>(PosEnd[i] - PosStart[i]);
            const auto offset =
                static_cast<MediaTime>(fraction * static_cast<double>(TimeEnd[i] - TimeStart[i]));
            return static_cast<std::int32_t>((TimeStart[i] + offset) / kMediaTimePerMs);
        }
    }
}

void TPositionTimes::Clear() {
    *this = TPositionTimes();
}

// --- TDSPlayer -----------------------------------------------------------------------------

TDSPlayer::TDSPlayer(std::shared_ptr<SoundDevice> device) : given_(std::move(device)) {}

TDSPlayer::~TDSPlayer() {
    Close();
    while (!channels_.empty())
        delete channels_.back(); // removes itself
}

void TDSPlayer::Initialize() {
    if (device_)
        return;
    device_ = given_ ? given_ : SoundDevice::create();
    DeviceChanged();
    // The device mixes at 44100 Hz, stereo, 16-bit whatever was asked: keep what it accepted.
    Stereo = SoundDevice::kChannels == 2;
    BitsPerSample = bs16Bit;
    frequency_ = SoundDevice::kSampleRate;
}

SoundDevice& TDSPlayer::GetDirectSound() {
    Initialize();
    return *device_;
}

void TDSPlayer::Close() {
    for (TDSPlayerChannel* c : channels_) {
        Guard g(c->lock());
        c->FreeBuffer();
    }
    if (device_) {
        device_.reset();
        DeviceChanged();
    }
}

void TDSPlayer::AddChannel(TDSPlayerChannel* channel) {
    channels_.push_back(channel);
}

void TDSPlayer::RemoveChannel(TDSPlayerChannel* channel) {
    channels_.erase(std::remove(channels_.begin(), channels_.end(), channel), channels_.end());
}

// --- TDSUpdateChannelThread ----------------------------------------------------------------

TDSUpdateChannelThread::TDSUpdateChannelThread(TDSPlayerChannel* channel, std::uint32_t interval)
    : Interval(interval), channel_(channel) {
    thread_ = std::thread([this] { run(); });
}

TDSUpdateChannelThread::~TDSUpdateChannelThread() {
    {
        std::lock_guard g(mutex_);
        terminated_ = true;
        signalled_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void TDSUpdateChannelThread::SetActive(bool active) {
    if (active_.exchange(active) == active)
        return;
    if (active) {
        {
            std::lock_guard g(mutex_);
            signalled_ = true;
        }
        wake_.notify_all();
    }
}

void TDSUpdateChannelThread::run() {
    std::unique_lock lk(mutex_);
    while (!terminated_) {
        if (!active_.load()) {
            wake_.wait(lk, [this] { return signalled_; });
            signalled_ = false;
            continue;
        }
        const std::uint32_t wait = std::min(Interval, channel_->NextUpdateMs());
        if (wake_.wait_for(lk, std::chrono::milliseconds(wait), [this] { return signalled_; })) {
            signalled_ = false;
            continue;
        }
        lk.unlock();
        {
            Guard g = tryLock(channel_->lock());
            if (g.owns_lock() && active_.load())
                channel_->UpdateLocked();
        }
        lk.lock();
    }
}

} // namespace corvalin
