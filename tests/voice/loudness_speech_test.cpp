// The DJ's speech brought to the songs' loudness as heard at the default sliders (the target less
// the default Player Volume's 5 dB): measured on the mixed output with FFmpeg's ebur128 filter, at
// full DJ volume.

#include "TestSupport.h"
#include "audio/LoudnessScanner.h"
#include "audio/VolumeControls.h"
#include "speech_test_support.h"
#include "voice/speech/EspeakSpeechEngine.h"
#include "voice/speech/SoundBufferSpeechOutput.h"
#include "voice/speech/SpeechLoudness.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace corvalin {
namespace {

using test::kVoice;
const QByteArray kVoiceId = "gmw/en-US+m1";

std::shared_ptr<LoudnessScanner> store(double target) {
    LoudnessScanner::Options o;
    o.cacheFile.clear();
    o.thread = false;
    auto s = std::make_shared<LoudnessScanner>(o);
    s->setSettings({true, target});
    return s;
}

double ffmpegIntegrated(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-hide_banner"), QStringLiteral("-nostats"), QStringLiteral("-i"), path,
             QStringLiteral("-af"), QStringLiteral("ebur128"), QStringLiteral("-f"),
             QStringLiteral("null"), QStringLiteral("-")});
    p.waitForFinished(60000);
    const QString out = QString::fromUtf8(p.readAllStandardError());
    const auto m =
        QRegularExpression(QStringLiteral("Summary:[\\s\\S]*I:\\s+(-?[0-9.]+) LUFS")).match(out);
    return m.hasMatch() ? m.captured(1).toDouble() : NAN;
}

// Speaks a talk through the engine on a manual device and returns the mix's loudness.
double spokenLoudness(const std::function<double(const QByteArray&)>& gain, const QString& wav,
                      const QString& voice = kVoice, const QByteArray& voiceId = kVoiceId) {
    auto device = SoundDevice::create(QStringLiteral("manual"));
    SpeechCatalogue catalogue;
    catalogue.SpeechEngineList = {voice};
    catalogue.SpeechEngineModes = {{voice, voiceId}};
    EspeakSpeechEngine::Options options;
    options.workerProgram = test::speechWorkerProgram();
    options.serviceTimer = false;
    options.speechGainDb = gain;
    EspeakSpeechEngine engine(catalogue, std::make_unique<SoundBufferSpeechOutput>(device),
                              options);
    // Full DJ volume.
    engine.attributes().VolumeSet(65535);
    int done = 0;
    QObject::connect(&engine, &DJSpeechEngine::TextDataDone, [&] { ++done; });
    QTimer tick;
    tick.start(50);
    engine.Speak(voice, QStringLiteral("That was Yesterday from The Beatles. \\Pau=250\\ You are "
                                       "listening to Radio Sunshine, it is twenty past seven. "
                                       "\\Mrk=700\\ And here is a song you will all remember."));
    QDeadlineTimer deadline(30000);
    while (!engine.synthesisFinished() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::vector<std::int16_t> mix;
    for (int i = 0; i < 600 && done == 0; ++i) {
        device->advance(SoundDevice::kSampleRate / 20, &mix);
        engine.service();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(done, 1);
    QByteArray out("RIFF");
    auto u32 = [&out](std::uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&out](std::uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); };
    const auto bytes = std::uint32_t(mix.size() * 2);
    u32(36 + bytes);
    out.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(2);
    u32(44100);
    u32(44100 * 4);
    u16(4);
    u16(16);
    out.append("data");
    u32(bytes);
    out.append(reinterpret_cast<const char*>(mix.data()), qsizetype(bytes));
    test::writeWholeFile(wav, out);
    return ffmpegIntegrated(wav);
}

class SpeechLoudnessTarget : public ::testing::TestWithParam<double> {};

// Where the songs land at the default Player Volume (the deck tests hold them there).
double songsHeardAt(double target) {
    return target + kDefaultPlayerVolume / 100.0;
}

TEST_P(SpeechLoudnessTarget, TheTalkLandsWithinOneAndAHalfLuOfTheSongsAtTheDefaultSliders) {
    const double target = GetParam();
    test::TempFolder dir;
    auto s = store(target);
    SpeechLoudness speech(s, test::speechWorkerProgram());
    ASSERT_TRUE(speech.calibrate(kVoiceId));
    ASSERT_TRUE(speech.lookup(kVoiceId));
    const double lufs =
        spokenLoudness([&speech](const QByteArray& id) { return speech.gainFor(id); },
                       dir.file(QStringLiteral("talk.wav")));
    EXPECT_NEAR(lufs, songsHeardAt(target), 1.5);
}

INSTANTIATE_TEST_SUITE_P(Targets, SpeechLoudnessTarget, ::testing::Values(-18.0, -26.0));

// A Flite voice is measured by the same worker and lands at the same level.
TEST(SpeechLoudnessTest, AFliteVoiceLandsWithTheSongsToo) {
    const double target = -18.0;
    test::TempFolder dir;
    auto s = store(target);
    SpeechLoudness speech(s, test::speechWorkerProgram());
    const QByteArray flite = "flite:rms";
    ASSERT_TRUE(speech.calibrate(flite));
    ASSERT_TRUE(speech.lookup(flite));
    const double lufs =
        spokenLoudness([&speech](const QByteArray& id) { return speech.gainFor(id); },
                       dir.file(QStringLiteral("talk.wav")),
                       QStringLiteral("Flite rms (US English, male)"), flite);
    EXPECT_NEAR(lufs, songsHeardAt(target), 1.5);
}

TEST(SpeechLoudnessTest, AVoiceIsMeasuredOnceInTheBackgroundAndKeptUnderItsRate) {
    auto s = store(-18.0);
    SpeechLoudness speech(s, test::speechWorkerProgram());
    EXPECT_EQ(SpeechLoudness::cacheKey(kVoiceId), QStringLiteral("espeak-ng:gmw/en-US+m1@175"));
    // Unknown: a typical voice's gain now, the measurement on its way.
    EXPECT_NEAR(speech.gainFor(kVoiceId), songsHeardAt(-18.0) - kAssumedSpeechLoudness, 1e-9);
    ASSERT_TRUE(test::waitFor([&] { return speech.lookup(kVoiceId).has_value(); }, 30000));
    const LoudnessInfo info = *s->lookupKey(SpeechLoudness::cacheKey(kVoiceId));
    EXPECT_GT(info.Integrated, -30.0);
    EXPECT_LT(info.Integrated, -8.0);
    EXPECT_NEAR(speech.gainFor(kVoiceId), speechGainDb(info, s->settings()), 1e-9);
    EXPECT_NEAR(speechGainDb(info, s->settings()),
                std::min(songsHeardAt(-18.0) - info.Integrated, kTruePeakCeiling - info.TruePeak),
                1e-9);
    s->setSettings({false, -18.0});
    EXPECT_EQ(speech.gainFor(kVoiceId), 0.0);
}

TEST(SpeechLoudnessTest, AnUnknownVoiceFailsQuietly) {
    auto s = store(-18.0);
    SpeechLoudness speech(s, test::speechWorkerProgram());
    EXPECT_FALSE(speech.calibrate("no-such-voice-at-all"));
    EXPECT_FALSE(speech.lookup("no-such-voice-at-all"));
}

} // namespace
} // namespace corvalin
