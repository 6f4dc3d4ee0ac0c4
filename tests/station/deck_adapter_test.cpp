#include "../audio/DeckHarness.h"
#include "TestSupport.h"
#include "station/Deck.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

class ChannelDeckTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(runTool(QStringLiteral("ffmpeg"),
                            {"-v", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=1",
                             "-ac", "2", "-ar", "44100", "-c:a", "pcm_s16le", "-y", tone}));
        deck.OnEndPlay = [this] { ++endPlays; };
        deck.OnEndFade = [this] { ++endFades; };
    }

    TempFolder dir;
    const QString tone = dir.file(QStringLiteral("tone.wav"));
    DeckHarness h;
    ChannelDeck deck{*h.channel};
    int endPlays = 0;
    int endFades = 0;
};

TEST_F(ChannelDeckTest, PlaysToTheEndAndReportsIt) {
    deck.Open(tone);
    deck.Prepare();
    deck.SetVolume(-300);
    deck.Play();
    EXPECT_EQ(deck.State(), DeckState::Playing);
    EXPECT_NEAR(deck.Duration(), 1000, 30);
    EXPECT_EQ(h.channel->Volume(), -300);
    h.run(2000);
    EXPECT_EQ(deck.State(), DeckState::Stopped);
    EXPECT_EQ(endPlays, 1);
    deck.Close();
    EXPECT_TRUE(h.channel->FileName().isEmpty());
}

TEST_F(ChannelDeckTest, FadeEndsAndSeekToEndStops) {
    deck.Open(tone);
    deck.Prepare();
    deck.Play();
    deck.Fade(400, -5000);
    h.run(400);
    EXPECT_EQ(endFades, 1);
    deck.SeekToEnd();
    EXPECT_NE(deck.State(), DeckState::Playing);
}

TEST_F(ChannelDeckTest, FileThatCannotBePlayedThrows) {
    const QString text = dir.file(QStringLiteral("notes.mp3"));
    writeWholeFile(text, "not a song");
    EXPECT_ANY_THROW(deck.Open(text));
}

TEST(QtOneShotTimerTest, FiresOnceAndCanBeStopped) {
    int fired = 0;
    QtOneShotTimer timer([&] { ++fired; });
    timer.start(1);
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(timer.interval(), 1);
    QDeadlineTimer deadline(5000);
    while (fired == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer.isActive());

    timer.start(1);
    timer.stop();
    QDeadlineTimer grace(30); // well past the 1 ms it would have fired after
    while (!grace.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    EXPECT_EQ(fired, 1);
}

} // namespace
