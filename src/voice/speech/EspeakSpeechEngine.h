#pragma once

#include "voice/speech/DJSpeechEngine.h"
#include "voice/speech/SpeechAudioOutput.h"
#include "voice/speech/SpeechMarkup.h"
#include "voice/speech/SpeechWorkerClient.h"
#include "voice/speech/VoiceCatalogue.h"

#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>

namespace corvalin {

// The DJ's volume as the engine's raw attribute (0..65535), applied to the speech output.
class SpeechVolume final : public SpeechAttributes {
public:
    explicit SpeechVolume(SpeechAudioOutput& output) : output_(output) {}
    std::uint32_t VolumeGet(std::uint32_t* volume) override;
    std::uint32_t VolumeSet(std::uint32_t volume) override;
    // Raw volume to hundredths of a decibel (linear amplitude raw / 65535).
    static int toHundredthsDb(std::uint32_t raw);

private:
    SpeechAudioOutput& output_;
    std::uint32_t volume_ = 65535;
};

// espeak-ng, synthesising in corvalin-speech-worker, played through the station's sound device.
//
// Synthesis is streamed: the first chunk plays while the rest is synthesised. Notifications are
// raised on the owner (UI) thread when the play cursor reaches their sample. A worker that
// crashes, hangs or fails ends its utterance as if it had been spoken (what had arrived of it
// still plays) and is replaced at once, ready for the next talk. All functions: owner thread.
class EspeakSpeechEngine final : public DJSpeechEngine {
    Q_OBJECT
public:
    struct Options {
        QString workerProgram = defaultWorkerProgram();
        QByteArray workerFault; // tests only
        // A worker silent this long while it has a talk to speak is replaced and the talk ends
        // (the station then goes on with the next song).
        int stallTimeoutMs = 1000;
        // Off in tests that drive service() themselves against a manual clock.
        bool serviceTimer = true;
        int serviceIntervalMs = 40;
        int ringMs = 4000;
        // The loudness correction in dB of a voice (by its espeak-ng id), asked once per
        // utterance and applied to the samples before the DJ volume. None: no correction.
        std::function<double(const QByteArray& voiceId)> speechGainDb;
    };

    EspeakSpeechEngine(SpeechCatalogue catalogue, std::unique_ptr<SpeechAudioOutput> output,
                       Options options, QObject* parent = nullptr);
    ~EspeakSpeechEngine() override;

    // corvalin-speech-worker beside the program.
    static QString defaultWorkerProgram();

    QStringList voices() const override { return catalogue_.SpeechEngineList; }
    bool Speak(const QString& voiceModeName, const QString& taggedText) override;
    bool AudioPause() override;
    bool AudioResume() override;
    bool AudioReset() override;
    SpeechAttributes& attributes() override { return volume_; }

    // Starts the worker now, so the first talk does not wait for it.
    void warmUp() { client_.warmUp(); }

    // Moves arrived speech into the ring and raises what playback has reached. Runs on the
    // service timer and whenever speech arrives.
    void service();

    // For tests and benchmarks: the worker has delivered the whole utterance (or it has ended).
    bool synthesisFinished() const { return !active_ || arrivalsFinished_; }
    bool speaking() const { return active_; }
    // The worker's process id, -1 while none runs (for tests).
    pid_t workerPid() const { return client_.workerPid(); }

private:
    struct PlacedEvent {
        std::uint64_t frame; // absolute ring frame
        SpeechEvent event;
    };
    enum class Emit { Started, Word, Mark, Done };
    struct Emission {
        Emit what;
        qint64 value = 0;
    };

    void endUtterance(bool queued);
    void raise(std::vector<Emission>& emissions);
    void postWake();
    bool ensureOpen(int sampleRate);

    SpeechCatalogue catalogue_;
    std::unique_ptr<SpeechAudioOutput> output_;
    Options options_;
    SpeechVolume volume_;
    SpeechWorkerClient client_;
    QTimer timer_;
    std::atomic<bool> wakePosted_{false};

    // Ring geometry.
    int sampleRate_ = 0;
    std::uint32_t ringFrames_ = 0;

    // The utterance.
    quint64 generation_ = 0;
    bool active_ = false;
    bool started_ = false;
    bool paused_ = false;
    bool playing_ = false;
    bool arrivalsFinished_ = false;
    bool workerReplaced_ = false; // this utterance's worker died and a new one was started
    std::uint32_t utterance_ = 0;
    float speechGain_ = 1.0f; // the utterance's loudness correction, linear
    SpeechMarkup markup_;
    std::vector<std::int16_t> pcm_;    // arrived, not yet in the ring
    std::vector<SpeechEvent> events_;  // arrived, their sample not yet in the ring
    std::vector<PlacedEvent> placed_;  // in the ring, not yet reached
    std::uint64_t samplesWritten_ = 0; // of the utterance
    std::uint64_t writeFrame_ = 0;     // absolute frame where the next sample goes
    std::uint64_t playedFrame_ = 0;    // absolute frames the cursor has passed
    std::uint64_t zeroedUntil_ = 0;
    std::int64_t sampleToFrame_ = 0; // absolute frame = sample + this
    std::uint32_t lastCursor_ = 0;
    qint64 lastWord_ = -1;
};

} // namespace corvalin
