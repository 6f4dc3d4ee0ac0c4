#include "speech_test_support.h"
#include "voice/speech/EspeakSpeechEngine.h"
#include "voice/speech/SoundBufferSpeechOutput.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <cmath>
#include <gtest/gtest.h>

namespace corvalin {
namespace {

// The DJ's ring when the sound device goes away mid-utterance: it is made again on the device
// (which opens its output again) with what it held, its cursor and its play state.
TEST(SpeechLostBuffer, RingIsMadeAgainWhereItStopped) {
    auto device = SoundDevice::create(QStringLiteral("manual"));
    SoundBufferSpeechOutput out(device);
    ASSERT_TRUE(out.open(SoundDevice::kSampleRate, 4410)); // 100 ms
    std::vector<std::int16_t> ramp(4410);
    for (std::size_t i = 0; i < ramp.size(); ++i) {
        ramp[i] = static_cast<std::int16_t>(i + 1);
    }
    ASSERT_TRUE(out.write(0, ramp.data(), 4410));
    ASSERT_TRUE(out.play());
    device->advance(1000);
    EXPECT_EQ(out.playCursor(), 1000u);

    device->loseBuffers();
    device->advance(500); // nothing plays while the ring is lost
    EXPECT_EQ(out.playCursor(), 1000u) << "the new ring starts where the sound stopped";
    std::vector<std::int16_t> mix;
    device->advance(1000, &mix);
    EXPECT_EQ(out.playCursor(), 2000u);
    ASSERT_EQ(mix.size(), 2000u);
    for (std::size_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(mix[2 * i], ramp[1000 + i]) << i;
        ASSERT_EQ(mix[2 * i + 1], ramp[1000 + i]) << i;
    }
    EXPECT_TRUE(out.write(2000, ramp.data(), 10)) << "and it takes new speech";

    // Lost while stopped: made again stopped.
    ASSERT_TRUE(out.stop());
    device->loseBuffers();
    EXPECT_EQ(out.playCursor(), 2000u);
    device->advance(1000);
    EXPECT_EQ(out.playCursor(), 2000u);
}

// A DJ Volume move while the DJ speaks glides on the mix instead of jumping, also on a ring
// made again after a loss.
TEST(SpeechVolume, MovesGlideWithoutSteps) {
    auto device = SoundDevice::create(QStringLiteral("manual"));
    SoundBufferSpeechOutput out(device);
    constexpr std::uint32_t kFrames = SoundDevice::kSampleRate; // 1 s of a steady level
    ASSERT_TRUE(out.open(SoundDevice::kSampleRate, kFrames));
    const std::vector<std::int16_t> level(kFrames, 16000);
    ASSERT_TRUE(out.write(0, level.data(), kFrames));
    ASSERT_TRUE(out.play());
    for (const bool lost : {false, true}) {
        SCOPED_TRACE(lost ? "after a loss" : "first ring");
        if (lost) {
            device->loseBuffers();
            out.playCursor(); // the engine's next look makes the ring again
        }
        device->advance(4410);
        out.setVolume(lost ? 0 : -2000);
        std::vector<std::int16_t> mix;
        device->advance(SoundDevice::kSampleRate / 2, &mix);
        double largest = 0;
        for (std::size_t i = 2; i < mix.size(); i += 2) {
            const double step = 20 * std::log10(std::abs(static_cast<double>(mix[i]) / mix[i - 2]));
            largest = std::max(largest, std::abs(step));
        }
        EXPECT_LT(largest, 0.1) << "largest step between two samples, dB";
        EXPECT_NEAR(mix.back(), lost ? 16000 : 1600, 2) << "there within 400 ms";
    }
}

// An utterance whose ring is lost while it plays still ends with "done", and the next one is
// heard on the output opened again.
TEST(SpeechLostBuffer, UtteranceEndsAndTheNextIsHeard) {
    auto device = SoundDevice::create(QStringLiteral("manual"));
    const QString voice = QStringLiteral("English (America) - Adult Male 1");
    SpeechCatalogue catalogue;
    catalogue.SpeechEngineList = {voice};
    catalogue.SpeechEngineModes = {{voice, "gmw/en-US+m1"}};
    EspeakSpeechEngine::Options options;
    options.workerProgram = test::speechWorkerProgram();
    options.serviceTimer = false;
    EspeakSpeechEngine engine(catalogue, std::make_unique<SoundBufferSpeechOutput>(device),
                              options);
    int done = 0;
    QObject::connect(&engine, &DJSpeechEngine::TextDataDone, [&] { ++done; });
    QTimer tick; // keeps the event loop turning while the worker synthesises
    tick.start(50);
    auto speak = [&](const QString& text) {
        engine.Speak(voice, text);
        QDeadlineTimer deadline(30000);
        while (!engine.synthesisFinished() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        engine.service();
    };
    // Plays up to `ms` of the mix, servicing the engine, until `doneCount` utterances ended.
    auto play = [&](int ms, int doneCount, double* loudness) {
        for (int i = 0; i < ms / 50 && done < doneCount; ++i) {
            std::vector<std::int16_t> mix;
            device->advance(SoundDevice::kSampleRate / 20, &mix);
            for (const auto s : mix) {
                *loudness += std::abs(s);
            }
            engine.service();
            QCoreApplication::processEvents();
        }
    };

    speak(QStringLiteral("This is the first talk, and the sound card goes away during it."));
    double first = 0;
    play(500, 1, &first);
    ASSERT_EQ(done, 0);
    ASSERT_GT(first, 0) << "the talk was heard before the loss";
    device->loseBuffers();
    play(20000, 1, &first);
    EXPECT_EQ(done, 1) << "the utterance ended";

    speak(QStringLiteral("And this is the second talk."));
    double second = 0;
    play(20000, 2, &second);
    EXPECT_EQ(done, 2);
    EXPECT_GT(second, 1e6) << "the next talk is heard";
}

} // namespace
} // namespace corvalin
