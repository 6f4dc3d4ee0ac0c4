#pragma once

#include "stream/StreamSettings.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;

namespace corvalin {
class SoundBuffer;
class SoundDevice;
} // namespace corvalin

namespace corvalin::test {

class IcecastServer;

inline const QString kMount = QStringLiteral("/radio");
constexpr double kToneAmplitude = 16000.0;

// One second of a 1 kHz tone at kToneAmplitude, looping on `device`.
std::unique_ptr<SoundBuffer> playTone(SoundDevice& device);

// "http://127.0.0.1:<port><mount>".
QString mountUrl(const IcecastServer& server, const QString& mount = kMount);

// An enabled output to `server` with the source password and a genre and description to find.
StreamSettings settingsFor(const IcecastServer& server, const QString& format, int bitrate,
                           const QString& mount = kMount);

// A listener reading a mount with libavformat and libavcodec, asking for inline (icy) titles: the
// level it hears, the headers it got and the title it sees, inline for MP3, in the chained Ogg
// streams' comments for Opus.
class Listener {
public:
    Listener() = default;
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Opens the stream and its decoder; an empty text on success, else why not.
    QString open(const QString& url);

    int sampleRate() const;

    // Reads and decodes until `done` says so, the stream ends or `ms` have passed; false then.
    bool readUntil(const std::function<bool()>& done, int ms);

    // The title in the latest inline (icy) metadata, else in the Ogg stream's comments ("" before
    // any).
    QString title() const;

    // The icy-* headers the server sent.
    QString headers() const;

    // Decoded samples per channel, and those in frames whose level is well above silence.
    std::int64_t samples = 0;
    std::int64_t loudSamples = 0;
    double lastRms = 0.0; // of the latest frame, full scale 1.0
    QString error;        // why the last read failed

private:
    bool readPacket();
    void takeComments();

    AVFormatContext* format_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int stream_ = -1;
    QString commentTitle_;
};

} // namespace corvalin::test
