#include "../audio/DeckHarness.h"
#include "TestSupport.h"
#include "station/Deck.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <atomic>
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

// The file is opened on another thread and the outcome comes back on this one; a later Close
// drops an outcome still on its way.
TEST(ChannelDeckOpenTest, OpensAwayFromTheWindowThread) {
    TempFolder dir;
    const QString tone = dir.file(QStringLiteral("tone.wav"));
    ASSERT_TRUE(runTool(QStringLiteral("ffmpeg"),
                        {"-v", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-ac",
                         "2", "-ar", "44100", "-c:a", "pcm_s16le", "-y", tone}));
    const QString junk = dir.file(QStringLiteral("junk.mp3"));
    writeWholeFile(junk, QByteArray(5000, 'z'));
    std::atomic<QThread*> openedOn{nullptr};
    DeckHarness h([&](const QString& name) {
        openedOn = QThread::currentThread();
        return std::make_unique<TDSAudioFileReader>(name);
    });
    ChannelDeck deck(*h.channel);

    int outcomes = 0;
    bool opened = false;
    deck.OpenAsync(tone, [&](bool ok) {
        ++outcomes;
        opened = ok;
    });
    EXPECT_EQ(outcomes, 0);
    ASSERT_TRUE(waitFor([&] { return outcomes == 1; }));
    EXPECT_TRUE(opened);
    EXPECT_NE(openedOn.load(), nullptr);
    EXPECT_NE(openedOn.load(), QThread::currentThread());
    EXPECT_EQ(h.channel->FileName(), tone);
    EXPECT_NEAR(deck.Duration(), 1000, 30);
    deck.Prepare();
    deck.Play();
    EXPECT_EQ(deck.State(), DeckState::Playing);

    deck.OpenAsync(junk, [&](bool ok) {
        ++outcomes;
        opened = ok;
    });
    ASSERT_TRUE(waitFor([&] { return outcomes == 2; }));
    EXPECT_FALSE(opened);
    EXPECT_TRUE(h.channel->FileName().isEmpty());

    // Cleared first: the open may well be done before the next line runs.
    openedOn = nullptr;
    deck.OpenAsync(tone, [&](bool) { ++outcomes; });
    deck.Close();
    ASSERT_TRUE(waitFor([&] { return openedOn.load() != nullptr; }));
    QThread::msleep(50);
    QCoreApplication::processEvents();
    EXPECT_EQ(outcomes, 2);
    EXPECT_TRUE(h.channel->FileName().isEmpty());
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
