// Prints the speech engine's figures: how much faster than real time a 600-character talk is
// synthesised, and how soon after Speak its first sample sounds (cold worker and warm worker).

#include "voice/speech/EspeakSpeechEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <vector>

using namespace corvalin;

namespace {

// A 600-character talk of the composer's shape.
QString talk() {
    QString t = QStringLiteral(
        "Wasn't that great!\\Pau=500\\That was, Blue Night, from, The Rovers.\\Pau=500\\"
        "\\Pau=500\\You are listening to Corvalin Radio, the best music all day long."
        "\\Pau=500\\The current time is, 10 minutes after 3 o'clock \\Pau=250\\ P.M. \\Pau=500\\"
        "\\Pau=500\\ Outside here in Springfield , it is Sunny,  and 72 degrees \\Pau=500\\"
        "\\Pau=500\\ Here is a public service announcement. \\Pau=500\\The town library "
        "opens late on Thursdays this month.\\Pau=500\\ Thank you. \\Pau=500\\\\Pau=500\\"
        "\\Mrk=700\\And now, here is Mara Quill, with, Night Train.");
    while (t.size() < 600) {
        t += QStringLiteral(" Stay tuned.");
    }
    return t.left(600);
}

class TimedOutput final : public SpeechAudioOutput {
public:
    explicit TimedOutput(qint64* firstPlayNs, QElapsedTimer& clock)
        : firstPlayNs_(firstPlayNs), clock_(clock) {}
    bool open(int, std::uint32_t frames) override {
        frames_ = frames;
        return true;
    }
    std::uint32_t playCursor() override { return 0; }
    bool write(std::uint32_t, const std::int16_t*, std::uint32_t) override { return true; }
    bool play() override {
        if (*firstPlayNs_ < 0) {
            *firstPlayNs_ = clock_.nsecsElapsed();
        }
        return true;
    }
    bool stop() override { return true; }
    bool rewind() override { return true; }
    void setVolume(int) override {}

private:
    qint64* firstPlayNs_;
    QElapsedTimer& clock_;
    std::uint32_t frames_ = 0;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString worker = QString::fromUtf8(CORVALIN_WORKER_PROGRAM);
    const QString voice = QStringLiteral("English (America) - Adult Male 1");
    SpeechCatalogue catalogue;
    catalogue.SpeechEngineList = {voice};
    catalogue.SpeechEngineModes = {{voice, "gmw/en-US+m1"}};
    const QString text = talk();
    const QByteArray ssml = taggedTextToSsml(text.toUtf8()).ssml;

    // Synthesis speed: the whole talk through the worker, as the engine receives it.
    {
        std::mutex m;
        std::condition_variable cv;
        int wakes = 0;
        SpeechWorkerClient client({worker, {}, 4000, 0}, [&] {
            std::lock_guard lock(m);
            ++wakes;
            cv.notify_all();
        });
        client.warmUp();
        std::vector<double> factors;
        double audioSeconds = 0;
        for (int round = 0; round < 10; ++round) {
            QElapsedTimer t;
            t.start();
            const auto id = client.speak("gmw/en-US+m1", ssml);
            SpeechArrivals all;
            while (!all.finished) {
                std::unique_lock lock(m);
                const int seen = wakes;
                cv.wait_for(lock, std::chrono::milliseconds(50), [&] { return wakes != seen; });
                lock.unlock();
                client.take(id, all);
            }
            const double wall = double(t.nsecsElapsed()) / 1e9;
            audioSeconds = double(all.pcm.size()) / std::max(1, all.sampleRate);
            factors.push_back(audioSeconds / wall);
        }
        std::printf("talk: %lld characters, %.1f s of speech\n", qlonglong(text.size()),
                    audioSeconds);
        std::printf("synthesis speed: %.0fx real time (median of %zu)\n", median(factors),
                    factors.size());
    }

    // Time from Speak to the first sample playing, through the engine and its event loop.
    auto firstSample = [&](bool warm) {
        QElapsedTimer clock;
        qint64 firstPlayNs = -1;
        EspeakSpeechEngine::Options options;
        options.workerProgram = worker;
        EspeakSpeechEngine engine(catalogue, std::make_unique<TimedOutput>(&firstPlayNs, clock),
                                  options);
        if (warm) {
            engine.warmUp();
            engine.Speak(voice, QStringLiteral("Warm up."));
            while (!engine.synthesisFinished()) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            }
            engine.AudioReset();
            QCoreApplication::processEvents();
            firstPlayNs = -1;
        }
        clock.start();
        engine.Speak(voice, text);
        QTimer guard;
        guard.start(10);
        while (firstPlayNs < 0 && clock.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        engine.AudioReset();
        return double(firstPlayNs) / 1e6;
    };
    std::vector<double> cold;
    std::vector<double> warm;
    for (int i = 0; i < 7; ++i) {
        cold.push_back(firstSample(false));
        warm.push_back(firstSample(true));
    }
    std::printf("first sample after Speak, worker started with the utterance: %.1f ms (median)\n",
                median(cold));
    std::printf("first sample after Speak, worker already running: %.1f ms (median, max %.1f)\n",
                median(warm), *std::max_element(warm.begin(), warm.end()));
    return 0;
}
