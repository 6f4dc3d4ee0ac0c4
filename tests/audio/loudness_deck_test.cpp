// Songs mastered far apart come out of a deck at the target less the deck volume, measured on the
// mixed output by FFmpeg's own ebur128 filter.

#include "AudioFixtures.h"
#include "LoudnessFixtures.h"
#include "TestSupport.h"
#include "audio/DSPlayer.h"
#include "audio/LoudnessScanner.h"

#include <QCoreApplication>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

using namespace corvalin;
using namespace corvalin::test;

namespace {

// One deck on the manual-clock device whose songs get the scanner's gain.
struct LoudDeck {
    explicit LoudDeck(LoudnessScanner& scanner)
        : device(SoundDevice::create(QStringLiteral("manual"))),
          player(std::make_unique<TDSPlayer>(device)) {
        TDSChannelOptions options;
        options.ticks = [this] { return ticks; };
        options.refillThread = false;
        options.gainDb = [&scanner](const QString& f) { return scanner.gainFor(f); };
        options.trim = [&scanner](const QString& f) -> std::optional<PlayWindow> {
            const std::optional<AudibleBounds> b = scanner.trimFor(f);
            if (!b)
                return std::nullopt;
            return PlayWindow{b->FromMs, b->ToMs};
        };
        channel = new TDSPlayerChannel(player.get(), options);
    }
    // Plays the whole song at `volume` and returns the mixed output.
    std::vector<std::int16_t> play(const QString& file, std::int32_t volume, int ms) {
        channel->SetFileName(file);
        channel->Prepare();
        channel->SetVolume(volume);
        channel->Play();
        std::vector<std::int16_t> mix;
        for (int done = 0; done < ms; done += 400) {
            device->advance(400 * 441 / 10, &mix);
            ticks += 400;
            channel->Update();
            QCoreApplication::sendPostedEvents();
        }
        return mix;
    }
    std::uint32_t ticks = 100000;
    std::shared_ptr<SoundDevice> device;
    std::unique_ptr<TDSPlayer> player; // destroys the channel
    TDSPlayerChannel* channel = nullptr;
};

LoudnessScanner::Options noThread(const QString& cache) {
    LoudnessScanner::Options o;
    o.cacheFile = cache;
    o.thread = false;
    return o;
}

int peakOf(const std::vector<std::int16_t>& s) {
    int peak = 0;
    for (std::int16_t v : s)
        peak = std::max(peak, std::abs(int(v)));
    return peak;
}

} // namespace

struct LevelCase {
    double songLufs;
    bool tone;
};

// Without it the case's bytes, padding and all, would name the test (a different name each run).
void PrintTo(const LevelCase& c, std::ostream* os) {
    *os << c.songLufs << "LUFS" << (c.tone ? "_tone" : "_noise");
}

class LoudnessDeckLevels : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LoudnessDeckLevels, OutputLandsOnTheTargetLessThePlayerVolume) {
    TempFolder dir;
    const QString song = dir.file(QStringLiteral("song.wav"));
    ASSERT_TRUE(makeSongAt(song, GetParam().songLufs, 8.0, GetParam().tone));
    LoudnessScanner scanner(noThread(dir.file(QStringLiteral("cache.json"))));
    scanner.setWanted(song, {});
    ASSERT_TRUE(scanner.scanOne());
    LoudDeck deck(scanner);
    // The station's default Player Volume, -5 dB.
    const std::vector<std::int16_t> mix = deck.play(song, -500, 8000);
    writeStereoWav(dir.file(QStringLiteral("out.wav")), mix);
    const FfmpegLoudness out = ffmpegLoudness(dir.file(QStringLiteral("out.wav")));
    EXPECT_NEAR(out.integrated, -18.0 - 5.0, 1.0) << "song at " << GetParam().songLufs;
    EXPECT_LT(peakOf(mix), 32767);
}

INSTANTIATE_TEST_SUITE_P(SongsTwentyDecibelsApart, LoudnessDeckLevels,
                         ::testing::Values(LevelCase{-10.0, true}, LevelCase{-20.0, false},
                                           LevelCase{-30.0, false}));

TEST(LoudnessDeck, ANearFullScalePeakGetsLessGainAndDoesNotClip) {
    TempFolder dir;
    const QString song = dir.file(QStringLiteral("peaks.wav"));
    ASSERT_TRUE(makeQuietWithPeaks(song, 6.0));
    LoudnessScanner scanner(noThread(QString()));
    scanner.setWanted(song, {});
    ASSERT_TRUE(scanner.scanOne());
    const std::optional<LoudnessInfo> info = scanner.lookup(song);
    ASSERT_TRUE(info);
    ASSERT_LT(info->Integrated, -25.0); // far below the target: a plain correction would boost it
    ASSERT_GT(info->TruePeak, -1.0);
    LoudDeck deck(scanner);
    const std::vector<std::int16_t> mix = deck.play(song, 0, 6000);
    EXPECT_LE(deck.channel->GainDb(), kTruePeakCeiling - info->TruePeak + 1e-9);
    EXPECT_LT(deck.channel->GainDb(), -18.0 - info->Integrated - 5.0);
    writeStereoWav(dir.file(QStringLiteral("out.wav")), mix);
    const FfmpegLoudness out = ffmpegLoudness(dir.file(QStringLiteral("out.wav")));
    EXPECT_LE(out.truePeak, -0.9);
    EXPECT_LT(peakOf(mix), 32767);
}

TEST(LoudnessDeck, AnUnmeasuredSongKeepsTheDefaultGainWhenItsMeasurementLands) {
    TempFolder dir;
    const QString song = dir.file(QStringLiteral("late.wav"));
    ASSERT_TRUE(makeSongAt(song, -30.0, 4.0));
    LoudnessScanner scanner(noThread(QString()));
    LoudDeck deck(scanner);
    deck.channel->SetFileName(song);
    const double unmeasured = -18.0 - kAssumedSongLoudness;
    EXPECT_DOUBLE_EQ(deck.channel->GainDb(), std::min(0.0, unmeasured));
    deck.channel->Prepare();
    deck.channel->Play();
    scanner.setWanted(song, {});
    ASSERT_TRUE(scanner.scanOne());
    deck.device->advance(44100);
    deck.ticks += 1000;
    deck.channel->Update();
    // Still the gain it started with; the next start of the song takes the measurement.
    EXPECT_DOUBLE_EQ(deck.channel->GainDb(), std::min(0.0, unmeasured));
    deck.channel->SetFileName(song);
    EXPECT_NEAR(deck.channel->GainDb(), 12.0, 0.3);
}

TEST(LoudnessDeck, SwitchedOffLeavesTheSamplesUntouched) {
    TempFolder dir;
    const QString song = dir.file(QStringLiteral("s.wav"));
    ASSERT_TRUE(makeSongAt(song, -30.0, 2.0));
    LoudnessScanner scanner(noThread(QString()));
    scanner.setSettings({false, -18.0});
    scanner.setWanted(song, {});
    ASSERT_TRUE(scanner.scanOne());
    LoudDeck deck(scanner);
    const std::vector<std::int16_t> corrected = deck.play(song, 0, 1600);
    EXPECT_EQ(deck.channel->GainDb(), 0.0);
    // Same output as a deck without any correction.
    const QByteArray pcm = ffmpegPcm(song);
    ASSERT_GE(static_cast<std::size_t>(pcm.size()), 44100u * 4u);
    const auto* raw = reinterpret_cast<const std::int16_t*>(pcm.constData());
    for (int i = 0; i < 2000; ++i)
        ASSERT_NEAR(corrected[std::size_t(i)], raw[i], 1) << "sample " << i;
}

TEST(LoudnessDeck, ATrimmedSongIsPresentedAsTheWholeSong) {
    TempFolder dir;
    // 1 s of silence, 2 s of tone, 1.5 s of silence.
    const QString song = dir.file(QStringLiteral("padded.wav"));
    ASSERT_TRUE(runTool(QStringLiteral("/usr/bin/sox"),
                        {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                         QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-b"),
                         QStringLiteral("16"), song, QStringLiteral("synth"), QStringLiteral("2"),
                         QStringLiteral("sine"), QStringLiteral("440"), QStringLiteral("vol"),
                         QStringLiteral("0.5"), QStringLiteral("pad"), QStringLiteral("1"),
                         QStringLiteral("1.5")}));
    for (const bool trim : {true, false}) {
        LoudnessScanner scanner(noThread(QString()));
        LoudnessSettings s;
        s.TrimSilence = trim;
        scanner.setSettings(s);
        scanner.setWanted(song, {});
        ASSERT_TRUE(scanner.scanOne());
        LoudDeck deck(scanner);
        int endPlays = 0;
        deck.channel->OnEndPlay = [&endPlays](TDSPlayerChannel*) { ++endPlays; };
        deck.channel->SetFileName(song);
        if (!trim) {
            EXPECT_EQ(deck.channel->Duration(), 4500) << "untrimmed when switched off";
            EXPECT_EQ(deck.channel->TrimFromMs(), 0);
            continue;
        }
        const std::int32_t length = 2000 + 2 * std::int32_t{kTrimMarginMs};
        EXPECT_NEAR(deck.channel->Duration(), length, 10);
        EXPECT_EQ(deck.channel->Position(), 0);
        const std::vector<std::int16_t> mix = deck.play(song, 0, 2400);
        // The tone is heard within the margin of the start, and the end of play comes after the
        // trimmed length rather than the file's.
        std::size_t first = 0;
        while (first < mix.size() && std::abs(int(mix[first])) < 100)
            ++first;
        EXPECT_LE(first / 2, std::size_t(44100 * 25 / 1000)) << "frames of silence before";
        EXPECT_EQ(endPlays, 1);
        EXPECT_EQ(deck.channel->State(), chStopped);
    }
}
