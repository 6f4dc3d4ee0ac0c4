#pragma once

#include <QtGlobal>
#include <cstdint>

namespace corvalin {

// Where the DJ's PCM goes: one looping ring of 16-bit mono samples with a play cursor, as the
// sound device offers it. The engine keeps the ring filled ahead of the cursor. Owner thread.
class SpeechAudioOutput {
public:
    virtual ~SpeechAudioOutput() = default;
    // (Re)creates the ring for `sampleRate` and `frames` samples, silent, stopped, cursor at 0.
    virtual bool open(int sampleRate, std::uint32_t frames) = 0;
    // The play cursor, in frames from the ring's start.
    virtual std::uint32_t playCursor() = 0;
    // Copies `count` samples to the ring at frame `at` (at + count <= frames).
    virtual bool write(std::uint32_t at, const std::int16_t* samples, std::uint32_t count) = 0;
    virtual bool play() = 0;
    virtual bool stop() = 0;   // keeps the cursor
    virtual bool rewind() = 0; // cursor to 0
    // Hundredths of a decibel: 0 full level, -10000 silent.
    virtual void setVolume(int hundredthsDb) = 0;
};

} // namespace corvalin
