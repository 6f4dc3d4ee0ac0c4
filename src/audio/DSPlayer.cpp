#include "audio/DSPlayer.h"

#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace corvalin {

namespace {

constexpr auto kLockWait = std::chrono::milliseconds(250);

using Guard = std::unique_lock<RecursiveTimedLock>;

Guard tryLock(RecursiveTimedLock& m) {
    Guard g(m, std::defer_lock);
    (void)g.try_lock_for(kLockWait);
    return g;
}

// One lock for every channel of the process, as the shared name gives it.
RecursiveTimedLock& sharedChannelLock() {
    static RecursiveTimedLock lock;
    return lock;
}

} // namespace

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

// --- TDSPlayerChannel ----------------------------------------------------------------------

QString TDSPlayerChannel::LockName() {
    return QStringLiteral("DSDSMCUpd0");
}

TDSPlayerChannel::TDSPlayerChannel(TDSPlayer* player, TDSChannelOptions options)
    : player_(player), ticks_(options.ticks ? std::move(options.ticks) : TickSource(systemTicks)),
      openReader_(std::move(options.openReader)), gainFor_(std::move(options.gainDb)),
      trimFor_(std::move(options.trim)), lock_(&sharedChannelLock()),
      sink_(std::make_unique<QObject>()) {
    bufferTime_ = 4000;
    interval_ = bufferTime_ / 10;
    if (options.refillThread)
        thread_ = std::make_unique<TDSUpdateChannelThread>(this, interval_);
    player_->AddChannel(this);
}

TDSPlayerChannel::~TDSPlayerChannel() {
    player_->RemoveChannel(this);
    thread_.reset(); // no Update runs from here on
    Guard g(*lock_);
    FreeBuffer();
    CloseFile();
}

void TDSPlayerChannel::resetStream() {
    mirror_.reset(); // a loan to the meters keeps its bytes alive until it ends
    endThreshold_ = 0;
    silenceChunk_ = 0;
    state_ = chStopped;
    writePos_ = 0;
    filled_ = false;
    endPos_ = -1;
    endNear_ = false;
    analysisLocked_ = false;
    fading_ = false;
    times_.Clear();
}

std::uint32_t TDSPlayerChannel::playCursor() const {
    std::uint32_t p = 0;
    CheckDX(buffer_->GetCurrentPosition(&p));
    return p;
}

void TDSPlayerChannel::post(int code) {
    // Tagged with the song it is about: Stop and Play may give the deck a new song before it
    // arrives, and an old song's end must not end the new one.
    const std::uint32_t song = song_.load();
    QMetaObject::invokeMethod(
        sink_.get(), [this, code, song] { deliver(code, song); }, Qt::QueuedConnection);
}

void TDSPlayerChannel::deliver(int code, std::uint32_t song) {
    if (song != song_.load())
        return;
    if (code == kEndPlayNotification && OnEndPlay)
        OnEndPlay(this);
    else if (code == kEndFadeNotification && OnEndFade)
        OnEndFade(this);
}

QString TDSPlayerChannel::FileName() const {
    Guard g = tryLock(*lock_);
    return g.owns_lock() ? fileName_ : QString();
}

std::unique_ptr<TDSAudioFileReader> TDSPlayerChannel::OpenReader(const QString& name) const {
    return openReader_ ? openReader_(name) : std::make_unique<TDSAudioFileReader>(name);
}

void TDSPlayerChannel::SetFileName(const QString& name) {
    SetFileName(name, nullptr);
}

void TDSPlayerChannel::SetFileName(const QString& name,
                                   std::unique_ptr<TDSAudioFileReader> decoder) {
    Guard g = tryLock(*lock_);
    if (!g.owns_lock())
        return;
    FreeBuffer();
    CloseFile();
    ++song_;
    if (!name.isEmpty()) {
        decoder_ = decoder ? std::move(decoder) : OpenReader(name);
        if (!decoder_)
            throw EAudioError(QStringLiteral("No file opened"));
        const TWaveFormat& f = decoder_->Format();
        const MediaTime ms = decoder_->Duration() / kMediaTimePerMs;
        if (ms <= 0)
            throw EAudioError(QStringLiteral("Audio file is empty."));
        if (f.nChannels != 1 && f.nChannels != 2)
            throw EAudioError(QStringLiteral("Invalid number of channels."));
        if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16)
            throw EAudioError(QStringLiteral("Invalid number of bits per sample."));
        duration_ = static_cast<std::int32_t>(std::min<MediaTime>(ms, INT32_MAX));
        sampleRate_ = static_cast<std::int32_t>(f.nSamplesPerSec);
        channels_ = f.nChannels;
        bitsPerSample_ = f.wBitsPerSample;
        blockAlign_ = f.nBlockAlign;
        SetStartTime(startTime_);
        SetEndTime(endTime_);
        applyTrim(name, ms);
        // Fixed for the whole song: a measurement that lands while it plays waits for its next
        // start, so the level never jumps mid-song.
        const double db = gainFor_ ? gainFor_(name) : 0.0;
        gainDb_ = std::isfinite(db) ? db : 0.0;
        gain_ = static_cast<float>(std::pow(10.0, gainDb_.load() / 20.0));
    }
    fileName_ = name;
}

void TDSPlayerChannel::applyTrim(const QString& name, MediaTime fileMs) {
    const std::optional<PlayWindow> w = trimFor_ ? trimFor_(name) : std::nullopt;
    // A window that does not fit this file (measured of another one) leaves it whole.
    if (!w || w->FromMs < 0 || w->FromMs > INT32_MAX)
        return;
    // The decoder's length of a compressed file is an estimate: the measured end may pass it.
    const std::int64_t to = std::min<std::int64_t>(w->ToMs, fileMs);
    if (to - w->FromMs < 100 || (w->FromMs == 0 && to == fileMs))
        return;
    decoder_->SetStart(MediaTime{w->FromMs} * kMediaTimePerMs);
    decoder_->SetLength(MediaTime{to - w->FromMs} * kMediaTimePerMs);
    trimFromMs_ = static_cast<std::int32_t>(w->FromMs);
    duration_ = static_cast<std::int32_t>(std::min<std::int64_t>(to - w->FromMs, INT32_MAX));
}

void TDSPlayerChannel::CreateBuffer() {
    if (buffer_)
        return;
    if (!decoder_ || fileName_.isEmpty())
        throw EAudioError(QStringLiteral("No file opened"));
    const TWaveFormat& f = decoder_->Format();
    const std::uint64_t avg = f.nAvgBytesPerSec;
    const std::uint32_t block = f.nBlockAlign;
    bufferSize_ = static_cast<std::uint32_t>(avg * bufferTime_ / 1000);
    bufferSize_ -= bufferSize_ % block;
    endThreshold_ = static_cast<std::uint32_t>(std::uint64_t{bufferSize_} * 40 / 100);
    // 800 ms of audio, in whole frames (64-bit: the 32-bit product overflows at CD rates).
    silenceChunk_ = static_cast<std::uint32_t>(std::uint64_t{interval_} * 200 * avg / 100000);
    silenceChunk_ -= silenceChunk_ % block;
    mirror_ = std::make_shared<std::uint8_t[]>(bufferSize_);
    PcmFormat pcm;
    pcm.sampleRate = static_cast<int>(f.nSamplesPerSec);
    pcm.channels = f.nChannels;
    pcm.bitsPerSample = f.wBitsPerSample;
    std::int32_t result = kSoundOk;
    buffer_ = player_->GetDirectSound().createBuffer(pcm, bufferSize_, &result);
    if (!buffer_) {
        mirror_.reset();
        CheckDX(result);
    }
    // Every volume change, fade steps and slider moves alike, glides over one update period.
    CheckDX(buffer_->SetVolumeGlide(interval_));
    CheckDX(buffer_->SetVolume(volume_));
    CheckDX(buffer_->SetPan(pan_));
}

void TDSPlayerChannel::FreeBuffer() {
    if (buffer_) {
        StopLocked();
        buffer_.reset();
    }
    resetStream();
}

void TDSPlayerChannel::CloseFile() {
    FreeBuffer();
    decoder_.reset();
    gainDb_ = 0.0;
    gain_ = 1.0f;
    trimFromMs_ = 0;
    volume_ = 0;
    pan_ = 0;
    startTime_ = 0;
    endTime_ = 0;
    fileName_.clear();
    duration_ = 0;
    sampleRate_ = 0;
    channels_ = 0;
    bitsPerSample_ = 0;
    blockAlign_ = 0;
}

void TDSPlayerChannel::BufferLost() {
    FreeBuffer();
    if (OnBufferLost)
        OnBufferLost(this);
}

void TDSPlayerChannel::Prepare() {
    Guard g = tryLock(*lock_);
    if (!g.owns_lock())
        return;
    if (!filled_)
        FillBuffer();
}

void TDSPlayerChannel::Play() {
    Guard g = tryLock(*lock_);
    if (!g.owns_lock() || state_ == chPlaying)
        return;
    CreateBuffer();
    if (!filled_)
        FillBuffer();
    if (!buffer_)
        return; // lost while priming
    const std::int32_t r = buffer_->Play();
    if (r == kDXBufferLost) {
        BufferLost();
        return;
    }
    CheckDX(r);
    state_ = chPlaying;
    nextUpdateMs_ = interval_;
    if (thread_)
        thread_->SetActive(true);
}

void TDSPlayerChannel::Pause() {
    Guard g = tryLock(*lock_);
    if (!g.owns_lock())
        return;
    CreateBuffer();
    if (state_ != chPlaying)
        return;
    if (thread_)
        thread_->SetActive(false);
    CheckDX(buffer_->Stop());
    state_ = chPaused;
    endFadeHere();
}

void TDSPlayerChannel::Stop() {
    Guard g = tryLock(*lock_);
    if (g.owns_lock())
        StopLocked();
}

void TDSPlayerChannel::StopLocked() {
    if (!buffer_)
        return;
    if (thread_)
        thread_->SetActive(false);
    CheckDX(buffer_->Stop());
    state_ = chStopped;
    endFadeHere();
    CheckDX(buffer_->SetCurrentPosition(0));
    writePos_ = 0;
    rewindDecoder();
    filled_ = false;
    endPos_ = -1;
    endNear_ = false;
}

void TDSPlayerChannel::Fade(std::uint32_t time, std::int32_t endVolume) {
    Guard g = tryLock(*lock_);
    if (!g.owns_lock())
        return;
    if (endVolume < -10000 || endVolume > 0)
        throw EAudioError(QStringLiteral("Fade error: EndVolume out of range"));
    if (time > 60000)
        throw EAudioError(QStringLiteral("Fade error: Too long fade time"));
    if (state_ != chPlaying)
        return;
    fadeStartTick_ = ticks_();
    fadeEndTick_ = fadeStartTick_ + time;
    fadeStartVolume_ = volume_;
    fadeEndVolume_ = endVolume;
    fading_ = true;
    aimFade(fadeStartTick_);
}

std::int32_t TDSPlayerChannel::fadeVolumeAt(std::uint32_t tick) const {
    if (static_cast<std::int32_t>(tick - fadeEndTick_) >= 0)
        return fadeEndVolume_;
    const std::int64_t span = std::int64_t{fadeEndTick_ - fadeStartTick_};
    const std::int64_t done = std::int64_t{tick - fadeStartTick_};
    return static_cast<std::int32_t>(fadeStartVolume_ +
                                     (fadeEndVolume_ - fadeStartVolume_) * done / span);
}

void TDSPlayerChannel::aimFade(std::uint32_t now) {
    // The output glides over the next update period to where the fade will be then: what is
    // heard follows the fade's line and reaches its end by the update that reports it.
    if (buffer_)
        CheckDX(buffer_->SetVolume(fadeVolumeAt(now + interval_)));
}

void TDSPlayerChannel::endFadeHere() {
    if (!fading_)
        return;
    fading_ = false;
    // The output was gliding ahead: it stays where the fade has got to now (taken at once, as
    // the output is stopped).
    SetVolumeLocked(fadeVolumeAt(ticks_()));
}

void TDSPlayerChannel::SetVolume(std::int32_t v) {
    Guard g = tryLock(*lock_);
    if (g.owns_lock())
        SetVolumeLocked(v);
}

void TDSPlayerChannel::SetVolumeLocked(std::int32_t v) {
    volume_ = v;
    if (buffer_)
        CheckDX(buffer_->SetVolume(v));
}

void TDSPlayerChannel::SetPan(std::int32_t v) {
    Guard g = tryLock(*lock_);
    if (!g.owns_lock())
        return;
    pan_ = v;
    if (buffer_)
        CheckDX(buffer_->SetPan(v));
}

std::int32_t TDSPlayerChannel::Position() {
    Guard g = tryLock(*lock_);
    if (!g.owns_lock())
        return 0;
    if (filled_) {
        if (!buffer_)
            throw EAudioError(QStringLiteral("Assertion failure"));
        return std::max(0, times_.GetPosTime(static_cast<std::int32_t>(playCursor())) -
                               trimFromMs_.load());
    }
    if (decoder_)
        return std::max(0, static_cast<std::int32_t>(decoder_->Position() / kMediaTimePerMs) -
                               trimFromMs_.load());
    return 0;
}

void TDSPlayerChannel::SetPosition(std::int32_t ms) {
    Guard g = tryLock(*lock_);
    if (!g.owns_lock() || !decoder_)
        return;
    StopLocked();
    decoder_->Seek((MediaTime{ms} + trimFromMs_.load()) * kMediaTimePerMs);
}

void TDSPlayerChannel::SetStartTime(std::int32_t ms) {
    Guard g = tryLock(*lock_);
    if (!g.owns_lock())
        return;
    if (!decoder_) {
        startTime_ = ms;
        return;
    }
    const MediaTime v = MediaTime{ms} * kMediaTimePerMs;
    if (v != decoder_->Start()) {
        decoder_->SetStart(v);
        startTime_ = static_cast<std::int32_t>(decoder_->Start() / kMediaTimePerMs);
        SetEndTime(endTime_);
    }
}

void TDSPlayerChannel::SetEndTime(std::int32_t ms) {
    Guard g = tryLock(*lock_);
    if (!g.owns_lock())
        return;
    if (!decoder_) {
        endTime_ = ms;
        return;
    }
    const MediaTime v = MediaTime{ms} * kMediaTimePerMs - decoder_->Start();
    if (v != decoder_->Length()) {
        decoder_->SetLength(v);
        endTime_ = static_cast<std::int32_t>(decoder_->Length() / kMediaTimePerMs) + startTime_;
    }
}

void TDSPlayerChannel::rewindDecoder() {
    if (!decoder_)
        return;
    try {
        decoder_->Seek(0);
    } catch (const std::exception&) {
        // The file cannot be read from its start any more (gone, and the open file could not
        // seek). The deck still stops; the next fill reports the failure to whoever starts it.
    }
}

void TDSPlayerChannel::FillBuffer() {
    CreateBuffer();
    if (!filled_) {
        WriteData(0, bufferSize_);
        filled_ = true;
        return;
    }
    const std::uint32_t p = playCursor();
    if (analysisLocked_) {
        std::int64_t q = std::int64_t{writePos_} - p;
        if (q <= 0)
            q += bufferSize_;
        if (silenceChunk_ <= q)
            return;
        if (writePos_ + silenceChunk_ > bufferSize_) {
            const std::uint32_t first = bufferSize_ - writePos_;
            WriteSilence(writePos_, first);
            if (buffer_)
                WriteSilence(0, silenceChunk_ - first);
        } else {
            WriteSilence(writePos_, silenceChunk_);
        }
        writePos_ += silenceChunk_;
        if (writePos_ >= bufferSize_)
            writePos_ -= bufferSize_;
        return;
    }
    if (writePos_ <= p) {
        WriteData(writePos_, p - writePos_);
    } else {
        WriteData(writePos_, bufferSize_ - writePos_);
        if (buffer_)
            WriteData(0, p);
    }
    if (buffer_)
        writePos_ = p;
}

template <class Fill>
bool TDSPlayerChannel::FillRing(std::uint32_t offset, std::uint32_t count, Fill&& fill) {
    void* p1 = nullptr;
    void* p2 = nullptr;
    std::uint32_t l1 = 0, l2 = 0;
    const std::int32_t r = buffer_->Lock(offset, count, &p1, &l1, &p2, &l2);
    if (r == kDXBufferLost) {
        BufferLost();
        return false;
    }
    CheckDX(r);
    if (l1 != count) {
        buffer_->Unlock(p1, l1, p2, l2);
        throw EAudioError(QStringLiteral("Locked different size from requested"));
    }
    fill(p1);
    CheckDX(buffer_->Unlock(p1, l1, p2, l2));
    return true;
}

void TDSPlayerChannel::WriteData(std::uint32_t offset, std::uint32_t count) {
    if (count == 0 || !buffer_)
        return;
    std::uint32_t pos = offset;
    std::int64_t remaining = count;
    const std::uint8_t silence = bitsPerSample_ == 8 ? 0x80 : 0;
    while (remaining != 0) {
        if (remaining < 0)
            throw EAudioError(QStringLiteral("Read from file not higher than 0"));
        if (endPos_ == -1) {
            std::uint32_t got = 0;
            bool failed = false;
            try {
                got = decoder_->Read(mirror_.get() + pos, static_cast<std::uint32_t>(remaining));
            } catch (const std::exception&) {
                // The first fill tells the caller the song cannot play. Later, the audio already
                // queued is kept: the song ends here and the tail plays out as at its end.
                if (!filled_)
                    throw;
                failed = true;
            }
            if (got > 0) {
                applyGain(mirror_.get() + pos, got);
                times_.Add(static_cast<std::int32_t>(pos), static_cast<std::int32_t>(pos + got),
                           decoder_->SampleStart(), decoder_->SampleEnd());
                remaining -= got;
            }
            if (remaining > 0) {
                pos += got;
                endPos_ = static_cast<std::int32_t>(pos);
                if (!failed)
                    rewindDecoder();
            }
        } else {
            std::memset(mirror_.get() + pos, silence, static_cast<std::size_t>(remaining));
            times_.Add(static_cast<std::int32_t>(pos), static_cast<std::int32_t>(pos + remaining),
                       decoder_->SampleEnd(), decoder_->SampleEnd());
            remaining = 0;
        }
    }
    FillRing(offset, count, [&](void* p) { std::memcpy(p, mirror_.get() + offset, count); });
}

void TDSPlayerChannel::applyGain(std::uint8_t* data, std::uint32_t bytes) const {
    if (gain_ == 1.0f)
        return;
    // The correction keeps the true peak below full scale; the clamp only guards rounding.
    if (bitsPerSample_ == 16) {
        for (std::uint32_t i = 0; i + 1 < bytes; i += 2) {
            std::int16_t v;
            std::memcpy(&v, data + i, 2);
            const float scaled = std::clamp(static_cast<float>(v) * gain_, -32768.0f, 32767.0f);
            v = static_cast<std::int16_t>(std::lrint(scaled));
            std::memcpy(data + i, &v, 2);
        }
    } else {
        for (std::uint32_t i = 0; i < bytes; ++i) {
            const float scaled =
                std::clamp(static_cast<float>(data[i] - 128) * gain_, -128.0f, 127.0f);
            data[i] = static_cast<std::uint8_t>(std::lrint(scaled) + 128);
        }
    }
}

void TDSPlayerChannel::WriteSilence(std::uint32_t offset, std::uint32_t count) {
    if (count == 0 || !buffer_)
        return;
    // Silence of the file's own sample format: 0x80 for 8-bit unsigned, 0 for 16-bit.
    if (!FillRing(offset, count,
                  [&](void* p) { std::memset(p, bitsPerSample_ == 8 ? 0x80 : 0, count); }))
        return;
    times_.Add(static_cast<std::int32_t>(offset), static_cast<std::int32_t>(offset + count),
               decoder_->SampleEnd(), decoder_->SampleEnd());
}

void TDSPlayerChannel::GetAnalysisData(std::uint32_t offset, std::uint32_t size,
                                       const std::uint8_t** ptr1, std::uint32_t* len1,
                                       const std::uint8_t** ptr2, std::uint32_t* len2) {
    *ptr1 = nullptr;
    *ptr2 = nullptr;
    *len1 = 0;
    *len2 = 0;
    Guard g = tryLock(*lock_);
    if (!g.owns_lock())
        return;
    analysisLocked_ = false;
    if (!filled_ || !buffer_)
        return;
    const std::uint32_t p = playCursor();
    // WritePos equal to the cursor right after a refill means a full ring, not an empty one.
    std::int64_t avail = std::int64_t{writePos_} - p;
    if (writePos_ <= p)
        avail += bufferSize_;
    avail -= offset;
    if (avail <= 0)
        return;
    size = static_cast<std::uint32_t>(std::min<std::int64_t>(size, avail));
    std::uint32_t start = p + offset;
    if (start >= bufferSize_)
        start -= bufferSize_;
    *ptr1 = mirror_.get() + start;
    *len1 = bufferSize_ - start;
    if (size <= *len1) {
        *len1 = size;
    } else {
        *ptr2 = mirror_.get();
        *len2 = size - *len1;
    }
    lent_ = mirror_;
    analysisLocked_ = true;
}

void TDSPlayerChannel::ReleaseAnalysisData() {
    analysisLocked_ = false;
    lent_.reset();
}

void TDSPlayerChannel::Update() {
    Guard g = tryLock(*lock_);
    if (g.owns_lock())
        UpdateLocked();
}

void TDSPlayerChannel::UpdateLocked() {
    try {
        if (!buffer_)
            return;
        if (buffer_->isLost()) { // the device went away
            BufferLost();
            return;
        }
        // Only a playing deck is refilled: a call that comes after a stop must not prime the
        // ring again (the thread is made inactive by the stop, but may already be on its way).
        if (state_ != chPlaying)
            return;
        const std::uint32_t now = ticks_();
        const std::uint32_t p = playCursor();
        std::int64_t d = std::int64_t{endPos_} - p;
        if (d <= 0)
            d += bufferSize_;
        if (endNear_ && d > endThreshold_) {
            StopLocked();
            post(kEndPlayNotification);
            return;
        }
        if (now - lastUpdate_ >= interval_) {
            lastUpdate_ = now;
            if (endPos_ != -1 && d <= endThreshold_)
                endNear_ = true;
            FillBuffer();
        }
        nextUpdateMs_ = interval_;
        const std::uint64_t bytesPerSecond = decoder_ ? decoder_->Format().nAvgBytesPerSec : 0;
        if (endNear_ && bytesPerSecond > 0) {
            // The end of the data is heard in d bytes: the next Update comes just after it (the
            // device moves its cursor in steps of some milliseconds).
            constexpr std::uint64_t kPastTheEndMs = 15;
            constexpr std::uint64_t kShortestWaitMs = 10;
            const std::uint64_t ms =
                static_cast<std::uint64_t>(d) * 1000 / bytesPerSecond + kPastTheEndMs;
            nextUpdateMs_ = static_cast<std::uint32_t>(
                std::clamp<std::uint64_t>(ms, kShortestWaitMs, interval_));
        }
        if (fading_ && state_ == chPlaying && buffer_) {
            if (static_cast<std::int32_t>(now - fadeEndTick_) >= 0) {
                fading_ = false;
                SetVolumeLocked(fadeEndVolume_);
                post(kEndFadeNotification);
            } else {
                volume_ = fadeVolumeAt(now); // heard now; the output glides on from here
                aimFade(now);
            }
        }
    } catch (...) {
        // A decoder or output failure on the refill thread: stop the deck and let the station
        // move on rather than leave it playing silence.
        // No decoder call here: it may be what failed.
        if (thread_)
            thread_->SetActive(false);
        if (buffer_)
            buffer_->Stop();
        buffer_.reset();
        resetStream();
        post(kEndPlayNotification);
    }
}

} // namespace corvalin
