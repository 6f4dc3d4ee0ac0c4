#pragma once

// Between the sound device's tap and the stream outputs: one thread reads the tap and encodes it
// once per distinct format and bitrate (libavcodec: LAME MP3 or Opus), handing every packet to
// the queues of the outputs that use that encoder. An output whose network stalls fills only its
// own queue; what does not fit is dropped for that output and counted, so neither the encoder nor
// the other outputs wait. With no output connected nothing is encoded and the tap is still
// emptied. Internal to the stream library.

#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <time.h>
#include <vector>

struct AVPacket;
struct AVCodecParameters;

namespace corvalin {

class StreamTap;

inline constexpr int kStreamDeviceRate = 44100;

// Encoded packets waiting for one output's connection. The encoder thread pushes, the output's
// thread takes.
class PacketQueue {
public:
    explicit PacketQueue(double capacitySeconds) : capacitySeconds_(capacitySeconds) {}
    ~PacketQueue();
    PacketQueue(const PacketQueue&) = delete;
    PacketQueue& operator=(const PacketQueue&) = delete;

    // --- encoder thread ---
    // Keeps a reference to `packet` (time base 1/`sampleRate`); drops and counts it when the
    // queue already holds its capacity. Never blocks on the output.
    void push(const AVPacket* packet, int sampleRate);
    // Wakes a waiting takeAll() at once (a new title, new settings, the end).
    void wake();
    // The encoder failed: the output's next take() says why.
    void fail(const QString& why);

    // --- output thread ---
    // Every packet queued, once `batchSeconds` of audio are or `wait` has passed (so that an
    // output wakes and writes a few times a second, not for every packet), appended to `out`; the
    // caller frees them with av_packet_free. Nothing when the encoder failed: then `error` says
    // why.
    void takeAll(std::chrono::milliseconds wait, double batchSeconds, std::vector<AVPacket*>& out,
                 QString* error);
    // Empties the queue and forgets a failure (between connections).
    void reset();

    // --- any thread ---
    // Stream audio dropped here, in device frames.
    std::uint64_t framesDropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    const double capacitySeconds_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::pair<AVPacket*, double>> packets_; // guarded; with each one's seconds
    double queuedSeconds_ = 0.0;                       // guarded
    double batchSeconds_ = 0.0;                        // guarded: what the reader waits for
    bool woken_ = false;                               // guarded
    QString error_;                                    // guarded
    std::atomic<std::uint64_t> dropped_{0};
};

// What a muxer needs to know of the encoder that feeds it. Shared, read-only.
struct EncodedFormat {
    std::shared_ptr<const AVCodecParameters> parameters;
    int sampleRate = 0;     // the packets' time base is 1/sampleRate
    int initialPadding = 0; // the encoder's delay, in samples
};

class EncoderStage {
public:
    // Starts the encoder thread reading `tap`.
    explicit EncoderStage(std::shared_ptr<StreamTap> tap);
    ~EncoderStage(); // ends the thread and every encoder
    EncoderStage(const EncoderStage&) = delete;
    EncoderStage& operator=(const EncoderStage&) = delete;

    // Any thread. From the next packet on, `queue` gets the packets of `format` ("mp3" or
    // "opus") at `bitrate` kbit/s; the encoder is made when no queue uses it yet. Empty on
    // success, else why (then nothing is subscribed).
    QString subscribe(const QString& format, int bitrate, const std::shared_ptr<PacketQueue>& queue,
                      EncodedFormat* encoded);
    // Any thread. No packet reaches `queue` after this returns; an encoder nobody uses ends.
    void unsubscribe(const std::shared_ptr<PacketQueue>& queue);

    // Encoders running now (one per distinct format and bitrate in use).
    int encoderCount() const;
    // Seconds the encoder thread's CPU has used.
    double threadCpuSeconds() const;

    struct Encoder; // internal

private:
    void run();

    std::shared_ptr<StreamTap> tap_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::unique_ptr<Encoder>> encoders_; // guarded; used by the thread under the lock
    bool quit_ = false;                              // guarded
    clockid_t cpuClock_{};                           // guarded
    bool cpuClockSet_ = false;                       // guarded
    std::thread thread_;
};

} // namespace corvalin
