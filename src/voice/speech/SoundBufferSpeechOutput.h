#pragma once

#include "audio/SoundDevice.h"
#include "voice/speech/SpeechAudioOutput.h"

#include <memory>
#include <vector>

namespace corvalin {

// The DJ's ring as a SoundBuffer of the station's SoundDevice, so speech mixes with the decks.
// When the device goes away the ring is lost; the next call makes it again on the device (which
// opens its output again, or falls back to the silent one) with the samples it held, its cursor
// and its play state, so the utterance plays on to its end and its "done" still comes.
// Owner thread, like the engine that uses it.
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
    // A ring to use: the present one, or a new one in place of a lost one. False when there is
    // none.
    bool live();

    std::shared_ptr<SoundDevice> device_;
    std::unique_ptr<SoundBuffer> buffer_;
    std::vector<std::int16_t> samples_; // what the ring holds, to make it again after a loss
    bool playing_ = false;
    int volume_ = 0;
};

} // namespace corvalin
