#include "voice/speech/SoundBufferSpeechOutput.h"

#include <cstring>

namespace corvalin {

namespace {
// A DJ Volume move glides as the players' sliders do, so it never clicks mid-talk.
constexpr std::uint32_t kVolumeGlideMs = 400;
} // namespace

bool SoundBufferSpeechOutput::open(int sampleRate, std::uint32_t frames) {
    buffer_.reset();
    samples_.clear();
    playing_ = false;
    PcmFormat format;
    format.sampleRate = sampleRate;
    format.channels = 1;
    format.bitsPerSample = 16;
    buffer_ = device_->createBuffer(format, frames * 2);
    if (!buffer_) {
        return false;
    }
    samples_.assign(frames, 0);
    buffer_->SetVolume(volume_);
    buffer_->SetVolumeGlide(kVolumeGlideMs);
    return true;
}

bool SoundBufferSpeechOutput::live() {
    if (!buffer_) {
        return false;
    }
    if (!buffer_->isLost()) {
        return true;
    }
    // The lost ring's cursor stays where the sound stopped.
    std::uint32_t cursor = 0;
    buffer_->GetCurrentPosition(&cursor);
    const PcmFormat format = buffer_->format();
    const std::uint32_t bytes = buffer_->size();
    buffer_.reset();
    std::unique_ptr<SoundBuffer> next = device_->createBuffer(format, bytes);
    if (!next) {
        return false;
    }
    void* p1 = nullptr;
    void* p2 = nullptr;
    std::uint32_t l1 = 0;
    std::uint32_t l2 = 0;
    if (next->Lock(0, bytes, &p1, &l1, &p2, &l2) == kSoundOk) {
        std::memcpy(p1, samples_.data(), l1);
        next->Unlock(p1, l1, p2, l2);
    }
    next->SetCurrentPosition(cursor);
    next->SetVolume(volume_);
    next->SetVolumeGlide(kVolumeGlideMs);
    if (playing_ && next->Play() != kSoundOk) {
        playing_ = false;
    }
    buffer_ = std::move(next);
    return true;
}

std::uint32_t SoundBufferSpeechOutput::playCursor() {
    std::uint32_t cursor = 0;
    if (live()) {
        buffer_->GetCurrentPosition(&cursor);
    }
    return cursor / 2;
}

bool SoundBufferSpeechOutput::write(std::uint32_t at, const std::int16_t* samples,
                                    std::uint32_t count) {
    if (count == 0 || !live()) {
        return false;
    }
    void* p1 = nullptr;
    void* p2 = nullptr;
    std::uint32_t l1 = 0;
    std::uint32_t l2 = 0;
    if (buffer_->Lock(at * 2, count * 2, &p1, &l1, &p2, &l2) != kSoundOk) {
        return false;
    }
    std::memcpy(p1, samples, l1);
    std::memcpy(samples_.data() + at, samples, l1);
    if (p2 != nullptr && l2 > 0) {
        std::memcpy(p2, reinterpret_cast<const char*>(samples) + l1, l2);
        std::memcpy(samples_.data(), reinterpret_cast<const char*>(samples) + l1, l2);
    }
    return buffer_->Unlock(p1, l1, p2, l2) == kSoundOk;
}

bool SoundBufferSpeechOutput::play() {
    playing_ = live() && buffer_->Play() == kSoundOk;
    return playing_;
}

bool SoundBufferSpeechOutput::stop() {
    playing_ = false;
    return live() && buffer_->Stop() == kSoundOk;
}

bool SoundBufferSpeechOutput::rewind() {
    return live() && buffer_->SetCurrentPosition(0) == kSoundOk;
}

void SoundBufferSpeechOutput::setVolume(int hundredthsDb) {
    volume_ = hundredthsDb;
    if (buffer_) {
        buffer_->SetVolume(hundredthsDb);
    }
}

} // namespace corvalin
