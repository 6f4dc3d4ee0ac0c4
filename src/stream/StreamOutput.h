#pragma once

// The station's program sent to up to three Icecast servers: the sound device copies its mix
// (after the main volume) into a StreamTap; one encoder thread encodes it once per distinct
// format and bitrate (libavcodec: LAME MP3 or Opus) and each output's own thread sends it through
// Icecast's source protocol over libavformat's HTTP output. The air never waits for the stream: a
// slow encoder makes the tap drop stream audio, a slow or stalled network makes that output's queue
// drop it (both counted), and the other outputs go on. When a server cannot be reached, refuses the
// password or drops the connection, that output tries again after 1 s, 2 s, 4 s ... up to 60 s.
//
// Now-playing titles, the same on every output: MP3 streams through Icecast's metadata update
// (/admin/metadata, with the source credentials, libcurl); Ogg/Opus streams in the stream itself,
// as the comment header of a new chained Ogg stream.
//
// Threads: every public function may be called from any thread except the mixer's. The status
// handlers run queued on the application's main thread (at once on an output's thread when there
// is no QCoreApplication).

#include "stream/StreamSettings.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace corvalin {

class StreamTap;
struct _rSong;

enum class StreamState { Off, Connecting, Connected, Failed };

struct StreamStatus {
    StreamState state = StreamState::Off;
    QString place;  // "host:port/mount"
    QString format; // "MP3 128 kbit/s"
    QString reason; // why it failed; never holds the password
    int retryInSeconds = 0;
    std::uint64_t framesDropped = 0; // stream audio the network could not take
    int attempts = 0;                // connection attempts since configured
    int connections = 0;             // successful connections since configured
    // The whole station's status with more than one output configured: one line per output
    // (streamStatusText of each); empty for a single output.
    QStringList outputs;

    bool operator==(const StreamStatus&) const = default;
};

// One line for the window's hint: "Stream connected: 127.0.0.1:8000/radio, MP3 128 kbit/s"; one
// line per output for a status of several.
QString streamStatusText(const StreamStatus& status);

// The station's status from its outputs': an output that is Off is not configured. With one
// configured output its status itself; with several the worst state (Failed, Connecting,
// Connected) with every configured output's line, counts added up; with none Off.
StreamStatus combinedStreamStatus(const std::array<StreamStatus, kStreamOutputCount>& outputs);

// One line for the operator's log (stderr, the journal) when the state goes from `before` to
// `now`: "stream connected: ...", "stream lost: why ...; trying again in N s", "stream failed:
// why ...", "stream off". Empty when there is nothing to tell (connecting, or no change of state
// or reason). Never holds the password.
QString streamLogLine(const StreamStatus& before, const StreamStatus& now);

// The stream's title for a song: "Artist - Title" with "The" where the song's marks say the DJ
// adds it (`theWord` is the vocabulary's word for it). Artist or title alone when the other is
// empty; `stationName` when the song has neither or is never announced.
QString nowPlayingTitle(const _rSong& song, const QString& theWord, const QString& stationName);

class StreamOutput {
public:
    // `tapSeconds`: how much stream audio may wait for a slow network before it is dropped.
    explicit StreamOutput(int tapSeconds = 8);
    ~StreamOutput(); // ends the connection and the thread
    StreamOutput(const StreamOutput&) = delete;
    StreamOutput& operator=(const StreamOutput&) = delete;

    // The ring the sound device copies its mix into (SoundDevice::setStreamTap).
    std::shared_ptr<StreamTap> tap() const;

    // Starts, changes or (Enabled = 0, or no host) stops each output. Changed settings
    // reconnect that output; the same settings leave a running connection alone. `stationName`
    // stands for an empty Name.
    void configure(const std::array<StreamSettings, kStreamOutputCount>& outputs,
                   const QString& stationName);
    // The first output alone; the others off.
    void configure(const StreamSettings& settings, const QString& stationName);
    // The title listeners see from now on.
    void setTitle(const QString& title);
    QString title() const;

    // The station's (combinedStreamStatus) and one output's, with the audio dropped so far.
    StreamStatus status() const;
    StreamStatus status(std::size_t output) const;
    using StatusHandler = std::function<void(const StreamStatus&)>;
    // Called on every change of the station's status (see the threads note above). Clear it (an
    // empty handler) before what it uses goes away.
    void setStatusHandler(StatusHandler handler);
    using OutputHandler = std::function<void(std::size_t output, const StreamStatus&)>;
    // Called on every change of an output's status, before the station's handler; likewise.
    void setOutputHandler(OutputHandler handler);

    // Encoders running now: one per distinct format and bitrate among the connected outputs.
    int encoderCount() const;
    // Seconds the CPU has spent in the stream's threads, the encoders' and the outputs' (for the
    // bench).
    double threadCpuSeconds() const;

    struct Shared; // internal

private:
    std::shared_ptr<Shared> shared_;
};

} // namespace corvalin
