#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace corvalin {

// A word or bookmark of an utterance, at the sample where it is spoken.
struct SpeechEvent {
    enum Kind { Word, Mark };
    Kind kind = Word;
    std::uint64_t sample = 0;
    std::uint32_t value = 0; // Word: espeak-ng's text position; Mark: the mark number
};

// What has arrived of one utterance since the last take.
struct SpeechArrivals {
    std::vector<std::int16_t> pcm; // mono
    std::vector<SpeechEvent> events;
    int sampleRate = 0;    // 0 until the worker has said it
    bool finished = false; // nothing more will come (spoken through, failed, crashed or hung)
};

// The speech worker process and the thread that reads it. The worker is started on the first
// utterance and kept for the next ones; when it crashes, hangs (no answer to a request, or no
// further output, for the stall time while an utterance is under way) or breaks the frame format,
// it is killed and the utterance counts as finished; warmUp() or the next utterance starts a
// fresh worker.
class SpeechWorkerClient {
public:
    struct Options {
        QString program;  // path of corvalin-speech-worker
        QByteArray fault; // tests only: the worker's fault mode ("crash", "hang")
        // Longest silence of a worker with work to do. It is dead air for the station when the
        // request is a talk, so the program keeps it short; espeak-ng answers within milliseconds.
        int stallTimeoutMs = 1000;
        std::uint64_t maxSamples = 0; // longest utterance (0: 15 minutes)
    };

    // `wake` is called on the reader thread whenever something arrives for the current utterance
    // (it must only post, e.g. a queued call).
    SpeechWorkerClient(Options options, std::function<void()> wake);
    ~SpeechWorkerClient();
    SpeechWorkerClient(const SpeechWorkerClient&) = delete;
    SpeechWorkerClient& operator=(const SpeechWorkerClient&) = delete;

    // Starts the worker ahead of the first utterance, so that it starts speaking at once; also
    // replaces one that has been killed. Owner thread.
    void warmUp();
    // Begins a new utterance (ending any earlier one) and returns its id. A worker that cannot be
    // started or reached finishes the utterance at once. Owner thread.
    std::uint32_t speak(const QByteArray& voiceId, const QByteArray& ssml);
    // Ends the current utterance: its worker stops synthesising; nothing more of it is kept.
    // Owner thread.
    void cancel();
    // Moves what has arrived for `utterance` into `into` (appending). Any thread.
    void take(std::uint32_t utterance, SpeechArrivals& into);
    // The worker's process id while one runs, else -1 (for tests). Any thread.
    pid_t workerPid() const;

private:
    bool ensureWorker(); // owner thread
    void readLoop(int fd, pid_t pid);
    bool sendFrame(std::uint32_t type, std::uint32_t utterance, const std::string& payload);
    void finishCurrentLocked();

    const Options options_;
    const std::function<void()> wake_;

    mutable std::mutex mutex_;
    // Guarded by mutex_ (written by both threads).
    int fd_ = -1;
    pid_t pid_ = -1;
    bool workerDead_ = true;
    bool stopping_ = false;
    std::uint32_t current_ = 0;
    bool currentFinished_ = true;
    SpeechArrivals pending_;
    std::uint64_t currentSamples_ = 0;
    int sampleRate_ = 0;
    std::chrono::steady_clock::time_point lastActivity_;

    std::thread reader_; // owner thread only
};

} // namespace corvalin
