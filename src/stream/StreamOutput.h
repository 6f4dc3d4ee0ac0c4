#pragma once

// The station's program sent to an Icecast server: the sound device copies its mix (after the
// main volume) into a StreamTap; a thread of this class encodes it (libavcodec: LAME MP3 or Opus)
// and sends it through libavformat's icecast:// output. The air never waits for the stream: a
// slow or stalled network only makes the tap drop stream audio (counted). When the server cannot
// be reached, refuses the password or drops the connection, the thread tries again after 1 s,
// 2 s, 4 s ... up to 60 s.
//
// Now-playing titles: MP3 streams through Icecast's metadata update (/admin/metadata, with the
// source credentials, libcurl); Ogg/Opus streams in the stream itself, as the comment header of a
// new chained Ogg stream.
//
// Threads: every public function may be called from any thread except the mixer's. The status
// handler runs queued on the application's main thread (at once on the stream thread when there
// is no QCoreApplication).

#include "stream/StreamSettings.h"

#include <QString>
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

    bool operator==(const StreamStatus&) const = default;
};

// One line for the window's hint: "Stream connected: 127.0.0.1:8000/radio, MP3 128 kbit/s".
QString streamStatusText(const StreamStatus& status);

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

    // Starts, changes or (Enabled = 0, or no host) stops the stream. Changed settings reconnect;
    // the same settings leave a running connection alone. `stationName` stands for an empty Name.
    void configure(const StreamSettings& settings, const QString& stationName);
    // The title listeners see from now on.
    void setTitle(const QString& title);
    QString title() const;

    StreamStatus status() const;
    using StatusHandler = std::function<void(const StreamStatus&)>;
    // Called on every change of state (see the threads note above). Clear it (an empty handler)
    // before what it uses goes away.
    void setStatusHandler(StatusHandler handler);

    // Seconds the stream thread's CPU has used (for the bench).
    double threadCpuSeconds() const;

    struct Shared; // internal

private:
    std::shared_ptr<Shared> shared_;
};

} // namespace corvalin
