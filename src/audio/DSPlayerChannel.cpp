// A deck's channel: opening a song (its trim and loudness gain), its output buffer, and its
// transport, fades, volume and position. Filling the ring is in DSPlayerChannelRefill.cpp.
#include "audio/DSPlayer.h"
#include "audio/DSPlayerLock.h"

#include <QMetaObject>
#include <algorithm>
#include <cmath>

namespace corvalin {

namespace {

// One lock for every channel of the process, as the shared name gives it.
RecursiveTimedLock& sharedChannelLock() {
    static RecursiveTimedLock lock;
    return lock;
}

} // namespace

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

} // namespace corvalin
