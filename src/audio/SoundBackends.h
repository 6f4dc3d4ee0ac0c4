#pragma once

// Where the device's mix goes. Internal to the output layer.

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace corvalin {

// Mixes `frames` stereo frames into the buffer. Called on the backend's own thread.
using SoundRender = std::function<void(std::int16_t* out, std::uint32_t frames)>;
// The device went away: every buffer becomes lost. Any thread.
using SoundLost = std::function<void()>;

class SoundBackend {
public:
    virtual ~SoundBackend() = default;
    virtual QString name() const = 0;
    // Stops calling the renderer; returns when it is no longer running. Owner thread.
    virtual void stop() = 0;
};

// "portaudio" (or empty), "null", "wav:PATH", "manual". Null with *error set on failure.
std::unique_ptr<SoundBackend> makeSoundBackend(const QString& spec, SoundRender render,
                                               SoundLost lost, QString* error);

} // namespace corvalin
