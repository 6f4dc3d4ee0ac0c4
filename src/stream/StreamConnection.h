#pragma once

// One stream output: its own thread connects to one Icecast server (Icecast's source protocol
// over libavformat's HTTP output), takes its encoder's packets from its own queue, sends them
// through its muxer and keeps the now-playing title up to date. When the server cannot be reached,
// refuses the password or drops the connection, it tries again after 1 s, 2 s, 4 s ... up to 60 s;
// the other outputs and the encoders go on meanwhile. Internal to the stream library.

#include "stream/StreamOutput.h"
#include "stream/StreamSettings.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

namespace corvalin {

class EncoderStage;

class StreamConnection {
public:
    // Called on the connection's thread with every new status.
    using Changed = std::function<void(const StreamStatus&)>;

    // `queueSeconds`: how much encoded audio may wait for a slow network before it is dropped.
    // `threadName`: up to 15 bytes, for top -H.
    StreamConnection(std::shared_ptr<EncoderStage> stage, double queueSeconds,
                     const QByteArray& threadName, Changed changed);
    ~StreamConnection(); // ends the connection and the thread
    StreamConnection(const StreamConnection&) = delete;
    StreamConnection& operator=(const StreamConnection&) = delete;

    // Any thread. Changed settings reconnect; the same ones leave the connection alone.
    // `settings` are normalised already.
    void configure(const StreamSettings& settings, const QString& stationName);
    void setTitle(const QString& title);

    // With the audio dropped in this output's queue.
    StreamStatus status() const;
    double threadCpuSeconds() const;

    struct Shared; // internal

private:
    std::shared_ptr<Shared> shared_;
};

} // namespace corvalin
