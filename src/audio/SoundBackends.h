#pragma once

// Where the device's mix goes. Internal to the output layer.

#include <QString>
#include <QStringList>
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
    // Whether it is driven by a device that may hang: a pause in its rendering is then a fault.
    virtual bool canStall() const { return false; }
    // Its rendering has stopped without an end: stop() must not wait for it. Any thread.
    virtual void stalled() {}
};

// "portaudio" (or empty: the default device), "portaudio:NAME" (the output device whose name is
// NAME, or else contains it, ignoring case), "null", "wav:PATH", "manual". Null with *error set on
// failure.
std::unique_ptr<SoundBackend> makeSoundBackend(const QString& spec, SoundRender render,
                                               SoundLost lost, QString* error);

// Whether the sound libraries' own messages reach stderr: ALSA's and JACK's probing while
// PortAudio starts and ends, and FFmpeg's log. Off unless the operator asks for them (--verbose).
// Any thread; read while PortAudio starts and ends.
void setSoundLibraryMessages(bool shown);
// Sets FFmpeg's process-wide log level from that choice. Every user of FFmpeg calls it once before
// its first FFmpeg call; setSoundLibraryMessages applies it again. Any thread.
void applyFfmpegMessages();

// The PortAudio output devices, one line each: "NAME (HOST API)", the default one marked with
// " [default]". Empty with *error set when PortAudio cannot start.
QStringList listSoundDevices(QString* error);

} // namespace corvalin
