// Decks on backends that run in real time, with their refill threads.

#include "AudioFixtures.h"
#include "TestSupport.h"
#include "audio/DSPlayer.h"

#include <QCoreApplication>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

TEST(RealTimeDeckTest, ShortSongEndsOnItsOwnOnTheNullDevice) {
    TempFolder dir;
    ASSERT_TRUE(makeTone(dir.file(QStringLiteral("one.wav")), 1.0, QStringLiteral("pcm_s16le")));
    TDSPlayer player(SoundDevice::create(QStringLiteral("null")));
    auto* channel = new TDSPlayerChannel(&player);
    int ends = 0;
    TDSChannelState stateThen = chPlaying;
    channel->OnEndPlay = [&](TDSPlayerChannel* c) {
        ++ends;
        stateThen = c->State();
    };
    channel->SetFileName(dir.file(QStringLiteral("one.wav")));
    channel->Prepare();
    channel->Play();
    ASSERT_TRUE(waitFor([&] { return ends > 0; }, 20000));
    EXPECT_EQ(stateThen, chStopped);
    EXPECT_EQ(channel->State(), chStopped);
    EXPECT_EQ(ends, 1);
}

// Two decks through the WAV backend: both are heard, and a 2 s fade to -5000 ends 50 dB down.
TEST(RealTimeDeckTest, TwoDecksMixIntoTheWavFileAndAFadeEndsQuiet) {
    TempFolder dir;
    const QString out = dir.file(QStringLiteral("mix.wav"));
    ASSERT_TRUE(
        makeTone(dir.file(QStringLiteral("a.wav")), 8, QStringLiteral("pcm_s16le"), 2, 1000));
    ASSERT_TRUE(
        makeTone(dir.file(QStringLiteral("b.mp3")), 8, QStringLiteral("libmp3lame"), 2, 3000));
    std::uint64_t fadeStart = 0, fadeEnd = 0;
    {
        auto device = SoundDevice::create(QStringLiteral("wav:") + out);
        ASSERT_EQ(device->backendName(), QStringLiteral("wav"));
        TDSPlayer player1(device), player2(device);
        auto* deck1 = new TDSPlayerChannel(&player1);
        auto* deck2 = new TDSPlayerChannel(&player2);
        int fades = 0;
        deck1->OnEndFade = [&](TDSPlayerChannel*) {
            ++fades;
            fadeEnd = device->framesMixed();
        };
        for (auto [deck, name] : {std::pair{deck1, "a.wav"}, std::pair{deck2, "b.mp3"}}) {
            deck->SetFileName(dir.file(QString::fromLatin1(name)));
            deck->Prepare();
            deck->Play();
        }
        ASSERT_TRUE(waitFor([&] { return device->framesMixed() >= 44100 * 6 / 5; }, 20000));
        fadeStart = device->framesMixed();
        deck1->Fade(2000, -5000);
        ASSERT_TRUE(waitFor([&] { return fades > 0; }, 20000));
        ASSERT_TRUE(waitFor([&] { return device->framesMixed() >= fadeEnd + 44100; }, 20000));
        EXPECT_EQ(fades, 1);
        EXPECT_EQ(deck1->Volume(), -5000);
    }
    const QByteArray wav = readWholeFile(out);
    ASSERT_GT(wav.size(), 44 + 4 * 44100 * 4);
    auto le32 = [&](int at) {
        return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(wav.constData() + at));
    };
    EXPECT_EQ(wav.left(4), QByteArray("RIFF"));
    EXPECT_EQ(le32(4), static_cast<quint32>(wav.size() - 8));
    EXPECT_EQ(le32(24), 44100u);
    EXPECT_EQ(le32(40), static_cast<quint32>(wav.size() - 44));
    const std::vector<std::int16_t> mix = toSamples(wav.mid(44));
    auto level = [&](std::uint64_t from, std::uint64_t frames, double hz) {
        return toneAmplitude(mix.data() + 2 * from, frames, 0, hz);
    };
    const double a1 = level(8820, 22050, 1000), a3 = level(8820, 22050, 3000);
    EXPECT_GT(a1, 2000) << "deck 1 heard";
    EXPECT_GT(a3, 2000) << "deck 2 heard";
    EXPECT_LT(fadeEnd - fadeStart, 44100u * 3);
    // The last step is applied by the Update that posts the end of the fade, before it arrives.
    const double q1 = level(fadeEnd + 4410, 22050, 1000), q3 = level(fadeEnd + 4410, 22050, 3000);
    EXPECT_NEAR(q1 / a1, std::pow(10.0, -2.5), 0.0006);
    EXPECT_NEAR(q3 / a3, 1.0, 0.05) << "the other deck is untouched";
}

} // namespace
