#pragma once

#include "audio/SoundDevice.h"
#include "voice/speech/SpeechAudioOutput.h"

#include <memory>

namespace corvalin {

// The DJ's ring as a SoundBuffer of the station's SoundDevice, so speech mixes with the decks.
class SoundBufferSpeechOutput final : public SpeechAudioOutput {
public:
    explicit SoundBufferSpeechOutput(std::shared_ptr<SoundDevice> device)
        : device_(std::move(device)) {}

    bool open(int sampleRate, std::uint32_t frames) override;
    std::uint32_t playCursor() override;
    bool write(std::uint32_t at, const std::int16_t* samples, std::uint32_t count) override;
    bool play() override;
    bool stop() override;
    bool rewind() override;
    void setVolume(int hundredthsDb) override;

private:
    std::shared_ptr<SoundDevice> device_;
    std::unique_ptr<SoundBuffer> buffer_;
    int volume_ = 0;
};

} // namespace corvalin
