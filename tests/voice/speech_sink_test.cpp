#include "TestSupport.h"
#include "speech_test_support.h"
#include "voice/speech/DJSpeech.h"
#include "voice/speech/FakeSpeechEngine.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace corvalin {
namespace {

using test::kVoice;

// The window's timers as the speech orders them.
struct Window {
    explicit Window(DJSpeech& speech) {
        QObject::connect(&speech, &DJSpeech::armTimer3, [this](int ms) { timer3.push_back(ms); });
        QObject::connect(&speech, &DJSpeech::armTimer7, [this](int ms) { timer7 = ms; });
        QObject::connect(&speech, &DJSpeech::stopTimer7, [this] { timer7 = -1; });
    }
    std::vector<int> timer3;
    int timer7 = -1;
};

class DJSpeechTest : public ::testing::Test {
protected:
    test::TempFolder folder;
    FakeSpeechEngine engine{{kVoice}};
    ScriptedRandom random{{1234}};
    DJSpeechFlags flags;
    DJSpeech speech{engine, random, flags, folder.path()};
    Window window{speech};
    bool neverOverlap = false;

    void SetUp() override {
        speech.setNextSongNeverOverlap([this] { return neverOverlap; });
    }
};

TEST_F(DJSpeechTest, BookmarkStartsTheSongEarlyAndOnlyOnce) {
    window.timer7 = 6000; // the last talk's bar reset is pending
    const QString text =
        QStringLiteral("That was \xe2\x80\x9cX\xe2\x80\x9d\\Pau=500\\\\Mrk=700\\Next");
    speech.SAPI_Speak(text, kVoice.toUpper());
    EXPECT_EQ(window.timer7, -1) << "a pending bar reset is cancelled";
    EXPECT_EQ(speech.bar().Max, text.toUtf8().size());
    EXPECT_TRUE(speech.bar().ShowBorder);
    ASSERT_EQ(engine.requests().size(), 1u);
    EXPECT_EQ(engine.requests()[0].text, text);

    speech.flags().NextSongStarted = true; // left over from the last talk
    engine.start();
    EXPECT_TRUE(speech.flags().DJSpeaking);
    EXPECT_FALSE(speech.flags().NextSongStarted);
    engine.reachBookmark(701);
    EXPECT_TRUE(window.timer3.empty()) << "only mark 700 counts";
    engine.reachBookmark(700);
    EXPECT_EQ(window.timer3, std::vector<int>{3234});
    engine.reachBookmark(700);
    engine.finish();
    EXPECT_EQ(window.timer3, std::vector<int>{3234}) << "one song start per talk";
    EXPECT_FALSE(speech.flags().DJSpeaking);
    EXPECT_EQ(speech.bar().Position, speech.bar().Max);
    EXPECT_EQ(window.timer7, kTimer7IntervalMs);
    speech.Timer7Timer();
    EXPECT_FALSE(speech.bar().ShowBorder);
    EXPECT_EQ(speech.bar().Position, 0);
}

TEST_F(DJSpeechTest, NeverOverlapWaitsForTheEndOfSpeech) {
    neverOverlap = true;
    speech.SAPI_Speak(QStringLiteral("Hi\\Mrk=700\\"), kVoice);
    engine.start();
    engine.reachBookmark(700);
    EXPECT_TRUE(window.timer3.empty());
    engine.finish();
    EXPECT_EQ(window.timer3, std::vector<int>{kSongAfterSpeechMs});
}

TEST_F(DJSpeechTest, VoiceTestStartsNoSong) {
    speech.speakTest(kVoice);
    EXPECT_TRUE(speech.flags().DJTestRunning);
    EXPECT_EQ(engine.requests().back().text,
              QStringLiteral("This is a DJ test for Corvalin Radio"));
    engine.start();
    engine.finish();
    EXPECT_FALSE(speech.flags().DJTestRunning);
    EXPECT_TRUE(window.timer3.empty());
}

TEST_F(DJSpeechTest, WordPositionsNeverGoBackAndMayRaiseTheMaximum) {
    speech.SAPI_Speak(QStringLiteral("0123456789"), kVoice);
    engine.start();
    engine.reachWord(4);
    engine.reachWord(2);
    EXPECT_EQ(speech.bar().Position, 4);
    engine.reachWord(25);
    EXPECT_EQ(speech.bar().Position, 25);
    EXPECT_EQ(speech.bar().Max, 25);
    engine.finish();
    speech.Timer7Timer();
    engine.reachWord(30);
    EXPECT_EQ(speech.bar().Position, 0) << "the bar tracks only while shown";
}

TEST_F(DJSpeechTest, UnknownVoiceStillEndsSoTheStationGoesOn) {
    speech.flags().NextSongStarted = true;
    speech.SAPI_Speak(QStringLiteral("Hello"), kVoice + QLatin1Char(' '));
    EXPECT_TRUE(window.timer3.empty()) << "notifications are queued, never re-entrant";
    QCoreApplication::processEvents();
    EXPECT_FALSE(speech.flags().DJSpeaking);
    EXPECT_EQ(window.timer3, std::vector<int>{kSongAfterSpeechMs});
}

TEST_F(DJSpeechTest, PauseResumeAndReset) {
    speech.SAPI_Speak(QStringLiteral("Hello"), kVoice);
    engine.start();
    engine.pauseSucceeds = false;
    speech.pause();
    EXPECT_FALSE(speech.flags().SpeechPaused);
    engine.pauseSucceeds = true;
    speech.pause();
    EXPECT_TRUE(speech.flags().SpeechPaused);
    EXPECT_TRUE(engine.paused());
    speech.resume();
    EXPECT_FALSE(speech.flags().SpeechPaused);
    EXPECT_FALSE(engine.paused());

    speech.pause();
    speech.reset(true);
    EXPECT_FALSE(speech.flags().SpeechPaused);
    QCoreApplication::processEvents();
    EXPECT_FALSE(speech.flags().DJSpeaking) << "a reset still brings TextDataDone";
    EXPECT_EQ(window.timer3, std::vector<int>{kSongAfterSpeechMs});
    // Resume does nothing once the talk is over.
    speech.flags().SpeechPaused = true;
    speech.resume();
    EXPECT_TRUE(speech.flags().SpeechPaused);
}

TEST_F(DJSpeechTest, EachUtteranceAppliesTheDJVolume) {
    test::writeWholeFile(djVolumeFilePath(folder.path()), "[Volume]\nDJ=20000\n");
    speech.SAPI_Speak(QStringLiteral("Hello"), kVoice);
    EXPECT_TRUE(speech.volumeSlider().enabled);
    EXPECT_EQ(speech.volumeSlider().value, 20000);
    EXPECT_EQ(engine.volumeControl().volume, 20000u);
    speech.volumeSlider().setValue(100);
    speech.DJVolumeChanged();
    EXPECT_EQ(engine.volumeControl().volume, 100u);
}

} // namespace
} // namespace corvalin
