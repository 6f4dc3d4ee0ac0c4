// A deck's channel keeping its ring full: the refill step of the refill thread, the decoded
// bytes with their loudness gain, the silence after the song's end and the bytes lent to the
// meters.
#include "audio/DSPlayer.h"
#include "audio/DSPlayerLock.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace corvalin {

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
