#include "voice/speech/SoundBufferSpeechOutput.h"

#include <cstring>

namespace corvalin {

bool SoundBufferSpeechOutput::open(int sampleRate, std::uint32_t frames) {
    buffer_.reset();
    PcmFormat format;
    format.sampleRate = sampleRate;
    format.channels = 1;
    format.bitsPerSample = 16;
    buffer_ = device_->createBuffer(format, frames * 2);
    if (!buffer_) {
        return false;
    }
    buffer_->SetVolume(volume_);
    return true;
}

std::uint32_t SoundBufferSpeechOutput::playCursor() {
    std::uint32_t cursor = 0;
    if (buffer_) {
        buffer_->GetCurrentPosition(&cursor);
    }
    return cursor / 2;
}

bool SoundBufferSpeechOutput::write(std::uint32_t at, const std::int16_t* samples,
                                    std::uint32_t count) {
    if (!buffer_ || count == 0) {
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
    if (p2 != nullptr && l2 > 0) {
        std::memcpy(p2, reinterpret_cast<const char*>(samples) + l1, l2);
    }
    return buffer_->Unlock(p1, l1, p2, l2) == kSoundOk;
}

bool SoundBufferSpeechOutput::play() {
    return buffer_ && buffer_->Play() == kSoundOk;
}

bool SoundBufferSpeechOutput::stop() {
    return buffer_ && buffer_->Stop() == kSoundOk;
}

bool SoundBufferSpeechOutput::rewind() {
    return buffer_ && buffer_->SetCurrentPosition(0) == kSoundOk;
}

void SoundBufferSpeechOutput::setVolume(int hundredthsDb) {
    volume_ = hundredthsDb;
    if (buffer_) {
        buffer_->SetVolume(hundredthsDb);
    }
}

} // namespace corvalin
