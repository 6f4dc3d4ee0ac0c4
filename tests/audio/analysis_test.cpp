#include "AudioFixtures.h"
#include "DeckHarness.h"
#include "TestSupport.h"
#include "audio/Analysis.h"

#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

class AnalysisTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempFolder;
        ASSERT_TRUE(runTool(QStringLiteral("ffmpeg"),
                            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                             QStringLiteral("anullsrc=r=44100:cl=stereo"), QStringLiteral("-t"),
                             QStringLiteral("2"), QStringLiteral("-c:a"),
                             QStringLiteral("pcm_s16le"), dir->file(QStringLiteral("quiet.wav"))}));
        ASSERT_TRUE(
            makeSquare(dir->file(QStringLiteral("square.wav")), 2, QStringLiteral("pcm_s16le")));
        ASSERT_TRUE(
            makeSquare(dir->file(QStringLiteral("square8.wav")), 2, QStringLiteral("pcm_u8"), 1));
        ASSERT_TRUE(makeRightOnlySquare(dir->file(QStringLiteral("right.wav")), 2));
    }
    static void TearDownTestSuite() { delete dir; }

    // Plays the file for 400 ms and analyses one tick of 50 ms.
    TAnalysis& analyse(const char* name) {
        h.channel->SetFileName(dir->file(QString::fromLatin1(name)));
        analysis = std::make_unique<TAnalysis>(h.channel, h.channel->SampleRate() * 50 / 1000, 110);
        h.channel->Prepare();
        h.channel->Play();
        h.run(400);
        analysis->Analyse();
        EXPECT_FALSE(h.channel->AnalysisLocked()) << "the loan always ends";
        return *analysis;
    }

    static TempFolder* dir;
    DeckHarness h;
    std::unique_ptr<TAnalysis> analysis;
};

TempFolder* AnalysisTest::dir = nullptr;

TEST_F(AnalysisTest, SilenceGivesAFlatTraceAndNoLevel) {
    TAnalysis& a = analyse("quiet.wav");
    EXPECT_EQ(a.SamplesPerTick, 2205);
    EXPECT_EQ(a.SamplesPerColumn, 20);
    EXPECT_EQ(a.Bias, 128);
    for (int c = 0; c < 110; ++c) {
        for (int k = 0; k < 2; ++k) {
            EXPECT_EQ(a.MaxValue(c, k), 128);
            EXPECT_EQ(a.MinValue(c, k), 128);
        }
    }
    EXPECT_EQ(a.Levels[0], 0.0f);
    EXPECT_EQ(a.Levels[1], 0.0f);
}

TEST_F(AnalysisTest, FullScaleSquareReachesBothExtremes) {
    TAnalysis& a = analyse("square.wav");
    // A column of 20 frames holds both halves of the 100 Hz wave only where it changes sign;
    // every column has 0x7F or 0x80 high bytes, and the tick as a whole has both.
    int highs = 0, lows = 0;
    for (int c = 0; c < 110; ++c) {
        highs += a.MaxValue(c, 0) == 255;
        lows += a.MinValue(c, 0) == 0;
    }
    EXPECT_GT(highs, 40);
    EXPECT_GT(lows, 40);
    EXPECT_FLOAT_EQ(a.Levels[0], 1.0f);
    EXPECT_FLOAT_EQ(a.Levels[1], 1.0f);
    EXPECT_EQ(LevelColour(static_cast<int>(a.Levels[0] * 100)), 65000);
}

TEST_F(AnalysisTest, EightBitMonoHasNoBiasAndOneChannel) {
    TAnalysis& a = analyse("square8.wav");
    EXPECT_EQ(a.Channels, 1);
    EXPECT_EQ(a.Bias, 0);
    EXPECT_NEAR(a.Levels[0], 1.0f, 0.01f);
    EXPECT_EQ(a.Levels[1], 0.0f);
}

TEST_F(AnalysisTest, IndexZeroReadsTheSecondSampleOfAFrame) {
    TAnalysis& a = analyse("right.wav"); // left silent, right full scale
    EXPECT_FLOAT_EQ(a.Levels[0], 1.0f);
    EXPECT_EQ(a.Levels[1], 0.0f);
}

// The end of a song: the trace lies flat in the middle, the levels stay as they were, and
// nothing else of the analyser changes.
TEST_F(AnalysisTest, ResetTraceFlattensAndKeepsLevels) {
    for (const char* name : {"square.wav", "square8.wav", "right.wav"}) {
        SCOPED_TRACE(name);
        TAnalysis& a = analyse(name);
        const float levels[2] = {a.Levels[0], a.Levels[1]};
        const int channels = a.Channels;
        ASSERT_NE(a.MaxValues, std::vector<std::uint8_t>(a.MaxValues.size(), 128));
        a.ResetTrace();
        EXPECT_EQ(a.Channels, channels);
        ASSERT_EQ(a.MaxValues.size(), static_cast<std::size_t>(110 * channels));
        ASSERT_EQ(a.MinValues.size(), a.MaxValues.size());
        for (int c = 0; c < 110; ++c) {
            for (int k = 0; k < channels; ++k) {
                EXPECT_EQ(a.MaxValue(c, k), 128);
                EXPECT_EQ(a.MinValue(c, k), 128);
            }
        }
        EXPECT_EQ(a.Levels[0], levels[0]);
        EXPECT_EQ(a.Levels[1], levels[1]);
        h.channel->Stop();
    }
}

// A pass that is lent nothing (before the first fill, or a deck that has just stopped) keeps the
// trace and shows no level, rather than a full bar.
TEST_F(AnalysisTest, PassWithNothingLentShowsNoLevelAndKeepsTheTrace) {
    TAnalysis& a = analyse("square.wav");
    ASSERT_FLOAT_EQ(a.Levels[0], 1.0f);
    a.ResetTrace();
    h.channel->Stop(); // nothing queued: nothing to lend
    a.Analyse();
    EXPECT_FALSE(h.channel->AnalysisLocked());
    EXPECT_EQ(a.Levels[0], 0.0f);
    EXPECT_EQ(a.Levels[1], 0.0f);
    EXPECT_EQ(a.MaxValues, std::vector<std::uint8_t>(a.MaxValues.size(), 128));
    EXPECT_EQ(a.MinValues, std::vector<std::uint8_t>(a.MinValues.size(), 128));
}

// The samples of one meter tick come from the song's own rate, not the device's 44.1 kHz.
TEST_F(AnalysisTest, SamplesPerTickComeFromTheSongsOwnRate) {
    struct Case {
        int rate;
        int perTick;
    } cases[] = {{22050, 1102}, {44100, 2205}, {48000, 2400}, {8000, 400}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        const QString name = dir->file(QStringLiteral("tone%1.wav").arg(c.rate));
        ASSERT_TRUE(makeTone(name, 0.5, QStringLiteral("pcm_s16le"), 2, 440, c.rate));
        h.channel->SetFileName(name);
        EXPECT_EQ(TAnalysis::SamplesPerTickFor(*h.channel, 50), c.perTick);
        TAnalysis a(h.channel, TAnalysis::SamplesPerTickFor(*h.channel, 50), 110);
        EXPECT_EQ(a.SamplesPerColumn, c.perTick / 110);
    }
    h.channel->SetFileName(QString());
    EXPECT_EQ(TAnalysis::SamplesPerTickFor(*h.channel, 50), 0) << "no song: no samples";
}

TEST(LevelColourTest, FactorsByPercent) {
    struct Case {
        int percent;
        std::int32_t colour;
    } cases[] = {{-3, -300},  {0, 0},      {9, 900},    {10, 2000},  {19, 3800},   {20, 5000},
                 {30, 9000},  {40, 14000}, {50, 20000}, {60, 27000}, {70, 35000},  {80, 44000},
                 {89, 48950}, {90, 54000}, {95, 57000}, {96, 62400}, {100, 65000}, {101, 10100}};
    for (const Case& c : cases)
        EXPECT_EQ(LevelColour(c.percent), c.colour) << c.percent;
}

} // namespace
