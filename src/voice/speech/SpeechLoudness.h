#pragma once

// The DJ's voice brought to the songs' loudness as heard (see speechGainDb): each espeak-ng voice
// is measured once (a calibration text synthesised by a worker of its own, off the UI thread) and
// the result kept in the loudness cache, so later starts know it at once. Until a voice has been
// measured it gets the gain of a typical espeak-ng voice.

#include "audio/LoudnessScanner.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace corvalin {

// espeak-ng's voices at their default rate, measured as the DJ sounds (mono on both speakers).
inline constexpr double kAssumedSpeechLoudness = -17.0;
// The rate every voice speaks at (espeak-ng's default, words per minute): part of the cache key.
inline constexpr int kSpeechRate = 175;

class SpeechLoudness {
public:
    // `store`: the settings and the cache (shared with the song scanner). `workerProgram`: the
    // speech worker to calibrate with.
    SpeechLoudness(std::shared_ptr<LoudnessScanner> store, QString workerProgram);
    ~SpeechLoudness(); // a calibration under way is abandoned
    SpeechLoudness(const SpeechLoudness&) = delete;
    SpeechLoudness& operator=(const SpeechLoudness&) = delete;

    // The gain in dB for the voice now (speechGainDb; 0 when the correction is off). A voice not
    // yet measured is queued for measuring. Any thread.
    double gainFor(const QByteArray& voiceId);
    // The voice's measurement, if known. Any thread.
    std::optional<LoudnessInfo> lookup(const QByteArray& voiceId) const;
    // Measures the voice now on the calling thread (seconds) and stores it. False on failure.
    bool calibrate(const QByteArray& voiceId);

    static QString cacheKey(const QByteArray& voiceId);
    // Synthesises the calibration text with `voiceId` and measures it. Blocks.
    static std::optional<LoudnessInfo> measureVoice(const QString& workerProgram,
                                                    const QByteArray& voiceId);

private:
    void run();

    std::shared_ptr<LoudnessScanner> store_;
    QString workerProgram_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<QByteArray> queue_; // guarded by mutex_
    QSet<QByteArray> asked_;       // guarded by mutex_: queued, measured or failed this run
    bool stopping_ = false;        // guarded by mutex_
    std::thread thread_;           // started with the first voice to measure
};

} // namespace corvalin
