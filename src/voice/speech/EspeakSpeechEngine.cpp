#include "voice/speech/EspeakSpeechEngine.h"

#include "audio/Loudness.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>

namespace corvalin {

std::uint32_t SpeechVolume::VolumeGet(std::uint32_t* volume) {
    *volume = volume_;
    return kSpeechOk;
}

std::uint32_t SpeechVolume::VolumeSet(std::uint32_t volume) {
    volume_ = std::min<std::uint32_t>(volume, 65535);
    output_.setVolume(toHundredthsDb(volume_));
    return kSpeechOk;
}

int SpeechVolume::toHundredthsDb(std::uint32_t raw) {
    if (raw == 0) {
        return -10000;
    }
    const double db100 = 2000.0 * std::log10(double(std::min<std::uint32_t>(raw, 65535)) / 65535.0);
    return std::max(-10000, int(std::lround(db100)));
}

QString EspeakSpeechEngine::defaultWorkerProgram() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/corvalin-speech-worker");
}

EspeakSpeechEngine::EspeakSpeechEngine(SpeechCatalogue catalogue,
                                       std::unique_ptr<SpeechAudioOutput> output, Options options,
                                       QObject* parent)
    : DJSpeechEngine(parent), catalogue_(std::move(catalogue)), output_(std::move(output)),
      options_(std::move(options)), volume_(*output_),
      client_({options_.workerProgram, options_.workerFault, options_.stallTimeoutMs, 0},
              [this] { postWake(); }) {
    timer_.setInterval(options_.serviceIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &EspeakSpeechEngine::service);
}

EspeakSpeechEngine::~EspeakSpeechEngine() = default;

void EspeakSpeechEngine::postWake() {
    // Reader thread: one queued service call at a time.
    if (!wakePosted_.exchange(true)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                wakePosted_ = false;
                service();
            },
            Qt::QueuedConnection);
    }
}

bool EspeakSpeechEngine::ensureOpen(int sampleRate) {
    if (sampleRate == sampleRate_ && ringFrames_ != 0) {
        return true;
    }
    const auto frames =
        std::uint32_t(std::max(1, int(qint64(sampleRate) * options_.ringMs / 1000)));
    if (!output_->open(sampleRate, frames)) {
        return false;
    }
    sampleRate_ = sampleRate;
    ringFrames_ = frames;
    output_->setVolume(SpeechVolume::toHundredthsDb([this] {
        std::uint32_t v = 0;
        volume_.VolumeGet(&v);
        return v;
    }()));
    return true;
}

bool EspeakSpeechEngine::Speak(const QString& voiceModeName, const QString& taggedText) {
    if (active_) {
        endUtterance(true);
    }
    ++generation_;
    paused_ = false;
    const int index = catalogue_.indexOf(voiceModeName);
    if (index < 0) {
        const quint64 gen = generation_;
        QMetaObject::invokeMethod(
            this,
            [this, gen] {
                if (gen == generation_) {
                    Q_EMIT TextDataStarted();
                    Q_EMIT TextDataDone();
                }
            },
            Qt::QueuedConnection);
        return false;
    }
    active_ = true;
    started_ = false;
    playing_ = false;
    arrivalsFinished_ = false;
    workerReplaced_ = false;
    markup_ = taggedTextToSsml(taggedText.toUtf8());
    pcm_.clear();
    events_.clear();
    placed_.clear();
    samplesWritten_ = writeFrame_ = playedFrame_ = zeroedUntil_ = 0;
    sampleToFrame_ = 0;
    lastCursor_ = 0;
    lastWord_ = -1;
    if (ringFrames_ != 0) {
        output_->stop();
        output_->rewind();
    }
    const QByteArray& voiceId = catalogue_.SpeechEngineModes[std::size_t(index)].VoiceId;
    speechGain_ = options_.speechGainDb
                      ? static_cast<float>(dbToLinear(options_.speechGainDb(voiceId)))
                      : 1.0f;
    utterance_ = client_.speak(voiceId, markup_.ssml);
    if (options_.serviceTimer) {
        timer_.start();
    }
    postWake();
    return true;
}

bool EspeakSpeechEngine::AudioPause() {
    paused_ = true;
    if (playing_) {
        output_->stop();
    }
    return true;
}

bool EspeakSpeechEngine::AudioResume() {
    paused_ = false;
    if (playing_) {
        output_->play();
    }
    return true;
}

bool EspeakSpeechEngine::AudioReset() {
    if (active_) {
        endUtterance(true);
    }
    paused_ = false;
    return true;
}

void EspeakSpeechEngine::endUtterance(bool queued) {
    client_.cancel();
    if (playing_) {
        output_->stop();
    }
    playing_ = false;
    active_ = false;
    timer_.stop();
    pcm_.clear();
    events_.clear();
    placed_.clear();
    const bool needStart = !started_;
    started_ = true;
    auto finish = [this, needStart] {
        if (needStart) {
            Q_EMIT TextDataStarted();
        }
        Q_EMIT TextDataDone();
    };
    if (queued) {
        QMetaObject::invokeMethod(this, finish, Qt::QueuedConnection);
    } else {
        finish();
    }
}

void EspeakSpeechEngine::raise(std::vector<Emission>& emissions) {
    // A slot may start a new utterance or reset this one: stop raising the old one's events then.
    const quint64 gen = generation_;
    for (const Emission& e : emissions) {
        if (e.what != Emit::Done && gen != generation_) {
            return;
        }
        switch (e.what) {
        case Emit::Started:
            Q_EMIT TextDataStarted();
            break;
        case Emit::Word:
            Q_EMIT WordPosition(e.value);
            break;
        case Emit::Mark:
            Q_EMIT BookMark(quint32(e.value));
            break;
        case Emit::Done:
            Q_EMIT TextDataDone();
            break;
        }
    }
}

void EspeakSpeechEngine::service() {
    if (!active_) {
        return;
    }
    SpeechArrivals arrivals;
    client_.take(utterance_, arrivals);
    if (speechGain_ != 1.0f) {
        for (std::int16_t& v : arrivals.pcm) {
            v = std::int16_t(std::lrint(std::clamp(float(v) * speechGain_, -32768.0f, 32767.0f)));
        }
    }
    pcm_.insert(pcm_.end(), arrivals.pcm.begin(), arrivals.pcm.end());
    events_.insert(events_.end(), arrivals.events.begin(), arrivals.events.end());
    arrivalsFinished_ = arrivalsFinished_ || arrivals.finished;
    // A worker killed for hanging or crashing is replaced now, not when the next talk waits.
    if (arrivals.finished && !workerReplaced_ && client_.workerPid() < 0) {
        workerReplaced_ = true;
        client_.warmUp();
    }

    std::vector<Emission> emissions;
    const bool haveAudio = arrivals.sampleRate > 0 && ensureOpen(arrivals.sampleRate);
    if (haveAudio) {
        // How far the cursor has come since the last call.
        if (playing_) {
            const std::uint32_t cursor = output_->playCursor() % ringFrames_;
            playedFrame_ += (cursor + ringFrames_ - lastCursor_) % ringFrames_;
            lastCursor_ = cursor;
        }
        // The cursor ran past the speech (synthesis fell behind): go on a little ahead of it.
        if (playing_ && playedFrame_ > writeFrame_ && !(arrivalsFinished_ && pcm_.empty())) {
            const std::uint64_t lead = std::uint64_t(sampleRate_) / 50;
            sampleToFrame_ += std::int64_t(playedFrame_ + lead - writeFrame_);
            writeFrame_ = playedFrame_ + lead;
            zeroedUntil_ = std::max(zeroedUntil_, writeFrame_);
        }
        // Fill up to a guard before the cursor's next lap.
        const std::uint64_t limit = playedFrame_ + ringFrames_ - ringFrames_ / 8;
        auto put = [this](std::uint64_t frame, const std::int16_t* data, std::uint64_t count) {
            while (count > 0) {
                const auto at = std::uint32_t(frame % ringFrames_);
                const auto n = std::uint32_t(std::min<std::uint64_t>(count, ringFrames_ - at));
                output_->write(at, data, n);
                frame += n, count -= n;
                if (data != nullptr) {
                    data += n;
                }
            }
        };
        if (!pcm_.empty() && writeFrame_ < limit) {
            const auto n = std::min<std::uint64_t>(pcm_.size(), limit - writeFrame_);
            put(writeFrame_, pcm_.data(), n);
            pcm_.erase(pcm_.begin(), pcm_.begin() + std::ptrdiff_t(n));
            writeFrame_ += n;
            samplesWritten_ += n;
        }
        // Stale samples of the ring's last lap must not sound again.
        const std::uint64_t from = std::max(writeFrame_, zeroedUntil_);
        if (from < limit) {
            static const std::vector<std::int16_t> silence(8192, 0);
            for (std::uint64_t f = from; f < limit;) {
                const auto n = std::min<std::uint64_t>(silence.size(), limit - f);
                put(f, silence.data(), n);
                f += n;
            }
            zeroedUntil_ = limit;
        }
        // Events whose sample is now in the ring get their place.
        const bool all = arrivalsFinished_ && pcm_.empty();
        auto it = events_.begin();
        for (; it != events_.end(); ++it) {
            if (it->sample >= samplesWritten_ && !all) {
                break;
            }
            const auto sample = std::min<std::uint64_t>(it->sample, samplesWritten_);
            placed_.push_back({std::uint64_t(std::int64_t(sample) + sampleToFrame_), *it});
        }
        events_.erase(events_.begin(), it);

        if (!playing_ && writeFrame_ > 0 && !paused_) {
            playing_ = output_->play();
        }
    }
    if (!started_ && (playing_ || arrivalsFinished_)) {
        started_ = true;
        emissions.push_back({Emit::Started});
    }
    const bool allPlayed = arrivalsFinished_ && pcm_.empty() && events_.empty() &&
                           (!haveAudio || playedFrame_ >= writeFrame_);
    std::size_t reached = 0;
    for (; reached < placed_.size(); ++reached) {
        const PlacedEvent& p = placed_[reached];
        if (p.frame > playedFrame_ && !allPlayed) {
            break;
        }
        if (p.event.kind == SpeechEvent::Mark) {
            emissions.push_back({Emit::Mark, qint64(p.event.value)});
        } else {
            const qint64 offset = markup_.taggedOffsetForPosition(int(p.event.value));
            if (offset > lastWord_) {
                lastWord_ = offset;
                emissions.push_back({Emit::Word, offset});
            }
        }
    }
    placed_.erase(placed_.begin(), placed_.begin() + std::ptrdiff_t(reached));
    if (allPlayed) {
        if (playing_) {
            output_->stop();
        }
        playing_ = false;
        active_ = false;
        timer_.stop();
        client_.cancel();
        emissions.push_back({Emit::Done});
    }
    raise(emissions);
}

} // namespace corvalin
