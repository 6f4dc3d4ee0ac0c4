#include "voice/speech/SpeechLoudness.h"

#include "voice/speech/SpeechWorkerClient.h"

#include <chrono>
#include <cmath>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace corvalin {

namespace {

// Ordinary DJ talk: names, numbers, a question, a pause; long enough for a stable reading.
const char* const kCalibrationSsml =
    "<speak>That was a great song from the eighties, and you are listening to Corvalin Radio. "
    "<break time=\"250ms\"/>The time is ten past four. Later today, rain in the north and "
    "sunshine in the south, with a high of twenty one degrees. Did you know that the first radio "
    "broadcast went out more than a hundred years ago? Coming up next, another fine song for "
    "your afternoon.</speak>";

} // namespace

SpeechLoudness::SpeechLoudness(std::shared_ptr<LoudnessScanner> store, QString workerProgram)
    : store_(std::move(store)), workerProgram_(std::move(workerProgram)) {}

SpeechLoudness::~SpeechLoudness() {
    {
        std::lock_guard<std::mutex> g(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

QString SpeechLoudness::cacheKey(const QByteArray& voiceId) {
    return QStringLiteral("espeak-ng:") + QString::fromUtf8(voiceId) + QLatin1Char('@') +
           QString::number(kSpeechRate);
}

std::optional<LoudnessInfo> SpeechLoudness::lookup(const QByteArray& voiceId) const {
    return store_ ? store_->lookupKey(cacheKey(voiceId)) : std::nullopt;
}

double SpeechLoudness::gainFor(const QByteArray& voiceId) {
    if (!store_)
        return 0.0;
    const LoudnessSettings settings = store_->settings();
    if (!settings.Enabled)
        return 0.0;
    if (std::optional<LoudnessInfo> info = lookup(voiceId))
        return speechGainDb(info, settings);
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (!asked_.contains(voiceId) && !stopping_) {
            asked_.insert(voiceId);
            queue_.push_back(voiceId);
            if (!thread_.joinable())
                thread_ = std::thread([this] { run(); });
        }
    }
    wake_.notify_all();
    LoudnessInfo typical;
    typical.Integrated = kAssumedSpeechLoudness;
    typical.TruePeak = -2.0;
    return speechGainDb(typical, settings);
}

bool SpeechLoudness::calibrate(const QByteArray& voiceId) {
    const std::optional<LoudnessInfo> info = measureVoice(workerProgram_, voiceId);
    if (!info || !store_)
        return false;
    store_->storeKey(cacheKey(voiceId), *info);
    (void)store_->save();
    return true;
}

std::optional<LoudnessInfo> SpeechLoudness::measureVoice(const QString& workerProgram,
                                                         const QByteArray& voiceId) {
    std::mutex m;
    std::condition_variable arrived;
    bool woken = false;
    SpeechWorkerClient client({workerProgram, {}, 4000, 0}, [&] {
        std::lock_guard<std::mutex> g(m);
        woken = true;
        arrived.notify_all();
    });
    const std::uint32_t utterance = client.speak(voiceId, QByteArray(kCalibrationSsml));
    SpeechArrivals all;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        SpeechArrivals part;
        client.take(utterance, part);
        all.pcm.insert(all.pcm.end(), part.pcm.begin(), part.pcm.end());
        all.sampleRate = part.sampleRate;
        if (part.finished)
            break;
        std::unique_lock<std::mutex> g(m);
        if (!arrived.wait_until(g, deadline, [&] { return woken; }))
            return std::nullopt;
        woken = false;
    }
    if (all.sampleRate <= 0 || all.pcm.size() < std::size_t(all.sampleRate))
        return std::nullopt;
    LoudnessMeter meter(1, all.sampleRate);
    meter.add(all.pcm.data(), all.pcm.size());
    LoudnessInfo info = meter.result();
    return std::isfinite(info.Integrated) ? std::optional<LoudnessInfo>(info) : std::nullopt;
}

void SpeechLoudness::run() {
    sched_param param{};
    (void)pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
    for (;;) {
        QByteArray voice;
        {
            std::unique_lock<std::mutex> g(mutex_);
            wake_.wait(g, [&] { return stopping_ || !queue_.empty(); });
            if (stopping_)
                return;
            voice = queue_.front();
            queue_.pop_front();
        }
        (void)calibrate(voice);
    }
}

} // namespace corvalin
