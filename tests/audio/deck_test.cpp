#include "AudioFixtures.h"
#include "DeckHarness.h"
#include "TestSupport.h"
#include "audio/VolumeControls.h"

#include <QFile>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

constexpr std::uint32_t kFrame = 4; // 16-bit stereo

// A real decoder that fails on every read after the first `allowed`, counting all of them.
class FailingReader : public TDSAudioFileReader {
public:
    FailingReader(const QString& name, int allowed, int* calls)
        : TDSAudioFileReader(name), allowed_(allowed), calls_(calls) {}
    std::uint32_t Read(void* buffer, std::uint32_t size) override {
        if (++*calls_ > allowed_)
            throw EAudioReadError(QStringLiteral("Read failed"), kAMInvalidArg);
        return TDSAudioFileReader::Read(buffer, size);
    }

private:
    int allowed_;
    int* calls_;
};

// The gain heard, sample by sample, on the left channel of `mix` against the file's samples from
// frame `from`: measured only where the file is at least half its peak, so that rounding to 16
// bits moves it little; `slack` is how far that rounding may have moved it.
struct Gain {
    std::size_t frame;
    double db;
    double slack;
};

std::vector<Gain> gainsHeard(const std::vector<std::int16_t>& mix,
                             const std::vector<std::int16_t>& file, std::size_t from) {
    std::vector<Gain> gains;
    for (std::size_t i = 0; i < mix.size() / 2 && 2 * (from + i) < file.size(); ++i) {
        const double source = file[2 * (from + i)];
        const double heard = mix[2 * i];
        if (std::abs(source) < 14000 || std::abs(heard) < 1)
            continue;
        gains.push_back({i, 20 * std::log10(heard / source),
                         20 * std::log10(std::abs(heard) / (std::abs(heard) - 0.5))});
    }
    return gains;
}

struct Steps {
    double largest = 0; // between two neighbouring measured samples, as measured
    double surely = 0;  // the part of it that rounding cannot explain
};

Steps gainSteps(const std::vector<Gain>& gains) {
    Steps steps;
    for (std::size_t i = 1; i < gains.size(); ++i) {
        const double step = std::abs(gains[i].db - gains[i - 1].db);
        steps.largest = std::max(steps.largest, step);
        steps.surely = std::max(steps.surely, step - gains[i].slack - gains[i - 1].slack);
    }
    return steps;
}

// The mean gain over the measured samples of frames [first, last).
double gainOver(const std::vector<Gain>& gains, std::size_t first, std::size_t last) {
    double sum = 0;
    int n = 0;
    for (const Gain& g : gains) {
        if (g.frame >= first && g.frame < last) {
            sum += g.db;
            ++n;
        }
    }
    return n ? sum / n : 1000;
}

class DeckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempFolder;
        ASSERT_TRUE(makeTone(file("six.wav"), 6.0, QStringLiteral("pcm_s16le")));
        ASSERT_TRUE(makeTone(file("one.wav"), 1.0, QStringLiteral("pcm_s16le")));
        ASSERT_TRUE(makeTone(file("deep.wav"), 0.5, QStringLiteral("pcm_s24le")));
        ASSERT_TRUE(makeTone(file("three.wav"), 0.5, QStringLiteral("pcm_s16le"), 3));
        ASSERT_TRUE(makeTone(file("tiny.wav"), 0.0004, QStringLiteral("pcm_s16le")));
        writeWholeFile(file("garbage.wav"), QByteArray(3000, '\x5a'));
        six = new std::vector<std::int16_t>(toSamples(ffmpegPcm(file("six.wav"))));
    }
    static void TearDownTestSuite() {
        delete six;
        delete dir;
    }
    static QString file(const char* name) { return dir->file(QString::fromLatin1(name)); }
    // The file's samples from frame `from`, `frames` long.
    static std::vector<std::int16_t> pcm(std::size_t from, std::size_t frames) {
        return {six->begin() + static_cast<long>(2 * from),
                six->begin() + static_cast<long>(2 * (from + frames))};
    }

    void start(const char* name) { start(h, file(name)); }
    static void start(DeckHarness& d, const QString& path) {
        d.channel->SetFileName(path);
        d.channel->Prepare();
        d.channel->Play();
    }
    // Plays until the end of play comes (at most `limitMs`).
    static void runToEnd(DeckHarness& d, std::vector<std::int16_t>* mix, int limitMs = 20000) {
        for (int ms = 0; ms < limitMs && d.endPlays == 0; ms += 400)
            d.run(400, mix);
    }

    static TempFolder* dir;
    static std::vector<std::int16_t>* six;
    DeckHarness h;
};

TempFolder* DeckTest::dir = nullptr;
std::vector<std::int16_t>* DeckTest::six = nullptr;

TEST_F(DeckTest, RefusesFilesItCannotPlay) {
    struct Case {
        const char* name;
        const char* message;
    } cases[] = {{"tiny.wav", "Audio file is empty."},
                 {"three.wav", "Invalid number of channels."},
                 {"deep.wav", "Invalid number of bits per sample."}};
    for (const Case& c : cases) {
        try {
            h.channel->SetFileName(file(c.name));
            ADD_FAILURE() << c.name << " accepted";
        } catch (const EAudioError& e) {
            EXPECT_EQ(e.message(), QString::fromLatin1(c.message));
        }
        EXPECT_TRUE(h.channel->FileName().isEmpty());
    }
    EXPECT_THROW(h.channel->SetFileName(file("garbage.wav")), EAudioReadError);
    EXPECT_TRUE(h.channel->FileName().isEmpty());
    try {
        h.channel->Play();
        ADD_FAILURE() << "played without a file";
    } catch (const EAudioError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("No file opened"));
    }
}

TEST_F(DeckTest, PlaysTheWholeFileWithoutGapsThenStopsOnce) {
    start("six.wav");
    EXPECT_EQ(h.channel->Duration(), 6000);
    EXPECT_EQ(h.channel->BufferSize(), 44100u * 4 * 4);
    EXPECT_EQ(h.channel->EndThreshold(), h.channel->BufferSize() * 40 / 100);
    EXPECT_EQ(h.channel->SilenceChunk(), 44100u * 4 * 8 / 10);
    std::vector<std::int16_t> mix;
    h.run(5600, &mix);
    EXPECT_EQ(h.channel->State(), chPlaying);
    EXPECT_EQ(h.channel->Position(), 5600);
    h.run(400, &mix); // the cursor reaches the end of the data: that Update stops the deck
    EXPECT_EQ(mix, pcm(0, 6 * 44100)) << "every sample of the file, in order";
    h.run(2000);
    EXPECT_EQ(h.endPlays, 1);
    EXPECT_EQ(h.stateAtEndPlay, chStopped);
    h.run(2000);
    EXPECT_EQ(h.endPlays, 1);
}

TEST_F(DeckTest, ShortFileEndsAtTheFirstUpdatePastItsData) {
    h.channel->SetFileName(file("one.wav"));
    h.channel->Prepare();
    EXPECT_EQ(h.channel->EndPos(), 44100 * 4) << "found during the first fill";
    h.channel->Play();
    h.run(800);
    EXPECT_TRUE(h.channel->EndNear());
    EXPECT_EQ(h.endPlays, 0);
    EXPECT_EQ(h.channel->State(), chPlaying);
    h.run(300);
    EXPECT_EQ(h.channel->Position(), 1000) << "the tail of silence keeps the last time";
    h.run(100); // the cursor is at 1.2 s, past the data
    EXPECT_EQ(h.endPlays, 1);
    EXPECT_EQ(h.stateAtEndPlay, chStopped);
    EXPECT_EQ(h.channel->Position(), 0);
}

// Once the end of the data is near, the refill thread's next Update is due just after the cursor
// passes it, so the end of play is told within milliseconds of the song's end, not up to an
// Interval later.
TEST_F(DeckTest, TheUpdateAfterTheEndOfTheDataComesWhenItIsHeard) {
    start("one.wav");
    EXPECT_EQ(h.channel->NextUpdateMs(), 400u);
    h.run(400); // 0.6 s of data left: the end is near, but further than an Interval
    EXPECT_TRUE(h.channel->EndNear());
    EXPECT_EQ(h.channel->NextUpdateMs(), 400u);
    h.run(400); // 0.2 s left: the next Update comes 15 ms after it
    EXPECT_EQ(h.channel->NextUpdateMs(), 200u + 15u);
    h.device->advance(215 * 441 / 10);
    h.channel->Update();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(h.endPlays, 1);
    EXPECT_EQ(h.stateAtEndPlay, chStopped);

    // A song that plays on waits the Interval.
    start("six.wav");
    h.run(800);
    EXPECT_EQ(h.channel->NextUpdateMs(), 400u);
}

TEST_F(DeckTest, PositionIsWhatIsBeingHeard) {
    start("six.wav");
    for (int i = 1; i <= 7; ++i) { // past the ring's wrap at 4 s
        h.run(700);
        EXPECT_EQ(h.channel->Position(), 700 * i);
    }
}

TEST_F(DeckTest, FadeArgumentsAreChecked) {
    start("six.wav");
    struct Case {
        std::uint32_t time;
        std::int32_t volume;
        const char* message;
    } cases[] = {{60001, -5000, "Fade error: Too long fade time"},
                 {2000, 1, "Fade error: EndVolume out of range"},
                 {2000, -10001, "Fade error: EndVolume out of range"}};
    for (const Case& c : cases) {
        try {
            h.channel->Fade(c.time, c.volume);
            ADD_FAILURE() << c.message;
        } catch (const EAudioError& e) {
            EXPECT_EQ(e.message(), QString::fromLatin1(c.message));
        }
        EXPECT_FALSE(h.channel->Fading());
    }
    EXPECT_NO_THROW(h.channel->Fade(60000, -10000));
    EXPECT_TRUE(h.channel->Fading());
}

TEST_F(DeckTest, FadeStepsPerUpdateAndEndsOnce) {
    start("six.wav");
    std::vector<std::int16_t> before;
    h.run(400, &before);
    const double full = toneAmplitude(before.data(), before.size() / 2, 0, 440);
    h.channel->Fade(2000, -5000);
    std::vector<std::int32_t> volumes;
    std::vector<std::int16_t> mix;
    for (int i = 0; i < 5; ++i) {
        h.run(400, &mix);
        volumes.push_back(h.channel->Volume());
    }
    EXPECT_EQ(volumes, (std::vector<std::int32_t>{-1000, -2000, -3000, -4000, -5000}));
    EXPECT_EQ(h.endFades, 1);
    mix.clear();
    h.run(800, &mix);
    EXPECT_EQ(h.endFades, 1);
    EXPECT_EQ(h.channel->Volume(), -5000);
    const auto heard = toneAmplitude(mix.data(), mix.size() / 2, 0, 440);
    EXPECT_NEAR(heard / full, std::pow(10.0, -2.5), 0.0003);
}

// A fade sounds as a smooth slope, not as steps every 400 ms: a 1 kHz tone faded as Stop (2 s)
// and Next (5 s) do it never changes its gain by more than 0.1 dB from one sample to the next. It
// starts at the deck's volume, is 50 dB down when its end is reported, and that end comes with
// the first update at or after the fade's time, as ever.
TEST_F(DeckTest, FadesGlideWithoutSteps) {
    ASSERT_TRUE(makeTone(file("loud.wav"), 10.0, QStringLiteral("pcm_s16le"), 2, 1000, 44100,
                         {QStringLiteral("-af"), QStringLiteral("volume=7")}));
    const std::vector<std::int16_t> tone = toSamples(ffmpegPcm(file("loud.wav")));
    struct Case {
        const char* what;
        std::uint32_t time;
        std::int32_t volume; // the deck's before the fade
        int afterUpdate;     // ms from the last update to the fade
        std::uint32_t endsAfter;
    } cases[] = {{"Stop", 2000, 0, 0, 2000},
                 {"Next", 5000, 0, 0, 5200},
                 {"Next between updates, slider down", 5000, -1500, 100, 5100},
                 {"Stop between updates, slider down", 2000, -500, 300, 2100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeckHarness d;
        start(d, file("loud.wav"));
        d.channel->SetVolume(c.volume);
        d.run(800 + c.afterUpdate);
        const std::size_t from = static_cast<std::size_t>(800 + c.afterUpdate) * 441 / 10;
        const std::uint32_t fadeTick = d.ticks;
        d.channel->Fade(c.time, -5000);
        std::vector<std::int16_t> mix;
        while (d.endFades == 0 && mix.size() < 2 * 44100 * 8)
            d.run(100, &mix);
        ASSERT_EQ(d.endFades, 1);
        EXPECT_EQ(d.ticks - fadeTick, c.endsAfter);
        const std::vector<Gain> gains = gainsHeard(mix, tone, from);
        const Steps steps = gainSteps(gains);
        std::printf("%s: largest gain step %.4f dB (%.4f dB beyond rounding), %u ms\n", c.what,
                    steps.largest, steps.surely, d.ticks - fadeTick);
        EXPECT_LE(steps.surely, 0.1);
        const std::size_t end = mix.size() / 2;
        EXPECT_NEAR(gainOver(gains, 0, 44), c.volume / 100.0, 0.05) << "starts where it was";
        EXPECT_NEAR(gainOver(gains, end - 44, end), -50.0, 0.2) << "and ends 50 dB down";
        const std::size_t half = c.time * 441 / 20;
        EXPECT_NEAR(gainOver(gains, half - 22, half + 22), (c.volume - 5000) / 200.0, 1.0)
            << "halfway down halfway through";
        EXPECT_EQ(d.channel->Volume(), -5000);
    }
}

// A move of the Player Volume slider (5 dB) and of the Main Volume slider (6 dB) glides too.
TEST_F(DeckTest, SliderMovesGlideWithoutSteps) {
    ASSERT_TRUE(makeTone(file("loud.wav"), 10.0, QStringLiteral("pcm_s16le"), 2, 1000, 44100,
                         {QStringLiteral("-af"), QStringLiteral("volume=7")}));
    const std::vector<std::int16_t> tone = toSamples(ffmpegPcm(file("loud.wav")));
    start(h, file("loud.wav"));
    std::vector<std::int16_t> mix;
    h.run(400, &mix);
    PlayerVolumeChanged(h.channel, nullptr, -500);
    ASSERT_TRUE(WaveVolumeChanged(h.device.get(), 32768));
    h.run(800, &mix);
    const std::vector<Gain> gains = gainsHeard(mix, tone, 0);
    const Steps steps = gainSteps(gains);
    std::printf("slider moves: largest gain step %.4f dB (%.4f dB beyond rounding)\n",
                steps.largest, steps.surely);
    EXPECT_LE(steps.surely, 0.1);
    EXPECT_NEAR(gainOver(gains, 0, 17640), 0.0, 0.01);
    const double down = -5.0 + 20 * std::log10(32768.0 / 65535);
    EXPECT_NEAR(gainOver(gains, 35280, 52920), down, 0.05) << "there within 400 ms";
    EXPECT_EQ(h.channel->Volume(), -500);
    EXPECT_EQ(h.device->masterVolume(), WaveVolumeValue(32768));
}

// An end of fade posted for one song and delivered after Stop and Play gave the deck a new song
// belongs to the old song: it must not end the new one.
TEST_F(DeckTest, AStaleEndOfFadeDoesNotEndTheNextSong) {
    start("six.wav");
    h.run(400);
    h.channel->Fade(400, -5000);
    h.device->advance(400 * 441 / 10, nullptr); // the fade's time passes on the refill thread
    h.ticks += 400;
    h.channel->Update(); // posts the end of fade; the window has not handled it yet
    h.channel->Stop();
    start("one.wav");
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(h.endFades, 0);
    EXPECT_EQ(h.endPlays, 0);
    EXPECT_EQ(h.channel->State(), chPlaying);
    // The new song's own end still arrives.
    runToEnd(h, nullptr);
    EXPECT_EQ(h.endPlays, 1);
}

TEST_F(DeckTest, FadeDoesNothingUnlessPlayingAndPauseCancelsIt) {
    h.channel->SetFileName(file("six.wav"));
    h.channel->Prepare();
    h.channel->Fade(1000, -5000); // stopped
    EXPECT_FALSE(h.channel->Fading());
    h.channel->Play();
    h.run(400);
    h.channel->Pause();
    h.channel->Fade(1000, -5000); // paused
    EXPECT_FALSE(h.channel->Fading());
    h.channel->Play();
    h.channel->Fade(1200, -6000);
    h.run(400);
    EXPECT_EQ(h.channel->Volume(), -2000);
    h.channel->Pause();
    h.run(1200);
    h.channel->Play();
    h.run(2000);
    EXPECT_EQ(h.channel->Volume(), -2000) << "frozen where the pause found it";
    EXPECT_EQ(h.endFades, 0);
}

TEST_F(DeckTest, PauseAndPlayResumeWithoutAGap) {
    start("six.wav");
    std::vector<std::int16_t> heard;
    h.run(1000, &heard);
    h.channel->Pause();
    EXPECT_EQ(h.channel->State(), chPaused);
    const std::int32_t at = h.channel->Position();
    std::vector<std::int16_t> paused;
    h.run(2000, &paused);
    EXPECT_EQ(paused, std::vector<std::int16_t>(paused.size(), 0));
    EXPECT_EQ(h.channel->Position(), at);
    h.channel->Play();
    h.run(1600, &heard);
    EXPECT_EQ(heard, pcm(0, heard.size() / 2));
}

TEST_F(DeckTest, StopRewindsAndPlayStartsAgain) {
    start("six.wav");
    h.run(1600);
    h.channel->Stop();
    EXPECT_EQ(h.channel->State(), chStopped);
    EXPECT_FALSE(h.channel->Filled());
    EXPECT_EQ(h.channel->Position(), 0);
    h.channel->Play();
    std::vector<std::int16_t> heard;
    h.run(800, &heard);
    EXPECT_EQ(heard, pcm(0, heard.size() / 2));
}

TEST_F(DeckTest, PositionToEndTimeStopsAndRewinds) {
    start("six.wav");
    h.run(1200);
    h.channel->SetPosition(h.channel->EndTime());
    EXPECT_EQ(h.channel->State(), chStopped);
    EXPECT_EQ(h.channel->Position(), 0);
    h.run(2000);
    EXPECT_EQ(h.endPlays, 0);
}

TEST_F(DeckTest, AnalysisLoanQueuesSilenceThenTheFileGoesOn) {
    h.channel->SetFileName(file("six.wav"));
    const std::uint8_t *p1, *p2;
    std::uint32_t l1, l2;
    h.channel->GetAnalysisData(0, 8820, &p1, &l1, &p2, &l2);
    EXPECT_TRUE(!p1 && !p2 && l1 == 0 && l2 == 0);
    EXPECT_FALSE(h.channel->AnalysisLocked());
    h.channel->Prepare();
    h.channel->Play();
    std::vector<std::int16_t> heard;
    h.run(400, &heard);
    h.channel->GetAnalysisData(0, 8820, &p1, &l1, &p2, &l2);
    ASSERT_TRUE(h.channel->AnalysisLocked());
    ASSERT_EQ(l1 + l2, 8820u);
    std::vector<std::int16_t> lent(8820 / 2);
    std::memcpy(lent.data(), p1, l1);
    if (l2)
        std::memcpy(reinterpret_cast<std::uint8_t*>(lent.data()) + l1, p2, l2);
    EXPECT_EQ(lent, pcm(h.cursor() / kFrame, 2205)) << "the bytes about to be heard";
    h.run(4400, &heard); // the queued file runs out: silence follows
    h.channel->ReleaseAnalysisData();
    h.run(1200, &heard);
    // What was heard: the file, a whole number of 800 ms silences, then the file where it stopped.
    std::size_t z = 0;
    while (z < heard.size() / 2 && !(heard[2 * z] == 0 && heard[2 * z + 1] == 0 &&
                                     z + 1000 < heard.size() / 2 && heard[2 * z + 2000] == 0))
        ++z;
    std::size_t e = z;
    while (e < heard.size() / 2 && heard[2 * e] == 0 && heard[2 * e + 1] == 0)
        ++e;
    while (e % 100 != 0 && e > z) // the run may end on a sample that is zero in the file
        --e;
    const std::size_t silence = e - z;
    EXPECT_GT(silence, 0u);
    EXPECT_EQ(silence % 35280, 0u) << silence;
    std::vector<std::int16_t> withoutSilence(heard.begin(), heard.begin() + 2 * z);
    withoutSilence.insert(withoutSilence.end(), heard.begin() + 2 * e, heard.end());
    EXPECT_EQ(withoutSilence, pcm(0, withoutSilence.size() / 2));
}

TEST_F(DeckTest, LostBufferStopsTheDeckWithoutEndOfPlay) {
    start("six.wav");
    h.run(800);
    h.device->loseBuffers();
    h.run(400);
    EXPECT_EQ(h.channel->State(), chStopped);
    EXPECT_FALSE(h.channel->hasBuffer());
    EXPECT_EQ(h.buffersLost, 1);
    h.run(800);
    EXPECT_EQ(h.endPlays, 0);
    EXPECT_EQ(EDirectXError(kDXBufferLost).message(), QStringLiteral("-2005397354"));
}

TEST_F(DeckTest, DecoderFailureMidSongPlaysOutTheQueuedAudioThenEndsOnce) {
    int reads = 0;
    DeckHarness d([&reads](const QString& name) {
        return std::make_unique<FailingReader>(name, 2, &reads); // the priming fill, one refill
    });
    d.channel->SetFileName(file("six.wav"));
    d.channel->Prepare();
    d.channel->Play();
    std::vector<std::int16_t> heard;
    d.run(400, &heard);
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(d.channel->State(), chPlaying);
    EXPECT_EQ(d.endPlays, 0);
    d.run(400, &heard); // this refill's read fails: the data ends at 4.4 s
    EXPECT_EQ(reads, 3);
    EXPECT_EQ(d.endPlays, 0) << "what is queued still plays";
    EXPECT_EQ(d.channel->State(), chPlaying);
    EXPECT_EQ(d.channel->EndPos(), static_cast<std::int32_t>(400 * 441 / 10 * kFrame));
    runToEnd(d, &heard);
    EXPECT_EQ(d.endPlays, 1);
    EXPECT_EQ(d.stateAtEndPlay, chStopped);
    EXPECT_EQ(d.channel->State(), chStopped);
    const std::size_t data = 4400 * 441 / 10;
    ASSERT_GE(heard.size(), 2 * data);
    EXPECT_EQ(std::vector<std::int16_t>(heard.begin(), heard.begin() + 2 * data), pcm(0, data))
        << "every queued sample, in order";
    EXPECT_EQ(std::vector<std::int16_t>(heard.begin() + 2 * data, heard.end()),
              std::vector<std::int16_t>(heard.size() - 2 * data, 0))
        << "then silence";
    std::vector<std::int16_t> after;
    d.run(4000, &after);
    EXPECT_EQ(after, std::vector<std::int16_t>(after.size(), 0)) << "nothing left playing";
    EXPECT_EQ(reads, 3) << "no read after the failure";
    EXPECT_EQ(d.endPlays, 1);
    EXPECT_EQ(d.buffersLost, 0);
}

// The device goes away mid-song: that deck stops (no end of play, as for any lost buffer), and
// the next song's buffer opens the output again instead of being born lost.
TEST_F(DeckTest, NextSongAfterALostDevicePlaysOnTheReopenedOutput) {
    start("six.wav");
    h.run(800);
    h.device->loseBuffers();
    h.run(400);
    ASSERT_EQ(h.buffersLost, 1);
    ASSERT_EQ(h.channel->State(), chStopped);
    start("six.wav");
    EXPECT_EQ(h.channel->State(), chPlaying);
    std::vector<std::int16_t> heard;
    h.run(1200, &heard);
    EXPECT_EQ(h.buffersLost, 1);
    EXPECT_EQ(h.channel->Position(), 1200);
    EXPECT_EQ(heard, pcm(0, heard.size() / 2));
    runToEnd(h, nullptr);
    EXPECT_EQ(h.endPlays, 1) << "and its end is reported";
    EXPECT_EQ(h.device->outputStatus().backend, QStringLiteral("manual"));
    EXPECT_FALSE(h.device->outputStatus().fallback);
}

// The rewind at the end of the data stays within the open file: renaming the song on air (the
// play list editor renames every song) or removing it does not cut it short.
TEST_F(DeckTest, RenamingOrRemovingTheSongOnAirLetsItPlayToTheEnd) {
    ASSERT_TRUE(makeTone(file("six.mp3"), 6.0, QStringLiteral("libmp3lame")));
    for (const char* name : {"six.wav", "six.mp3"}) {
        for (const bool remove : {false, true}) {
            SCOPED_TRACE(std::string(name) + (remove ? " removed" : " renamed"));
            TempFolder folder;
            const QString song = folder.file(QStringLiteral("Artist - Song.") +
                                             QString::fromLatin1(name).section(u'.', 1));
            ASSERT_TRUE(QFile::copy(file(name), song));
            const std::vector<std::int16_t> all = toSamples(ffmpegPcm(song));
            DeckHarness d;
            start(d, song);
            std::vector<std::int16_t> heard;
            d.run(1000, &heard);
            if (remove)
                ASSERT_TRUE(QFile::remove(song));
            else
                ASSERT_TRUE(QFile::rename(song, folder.file(QStringLiteral("New - Name.x"))));
            runToEnd(d, &heard);
            EXPECT_EQ(d.endPlays, 1);
            ASSERT_GE(heard.size(), all.size());
            EXPECT_TRUE(std::equal(all.begin(), all.end(), heard.begin()))
                << "the whole song, not " << heard.size() / 2 << " frames";
            // Stop and play again: the open file was rewound.
            d.channel->Play();
            std::vector<std::int16_t> again;
            d.run(800, &again);
            EXPECT_EQ(d.channel->State(), chPlaying);
            EXPECT_TRUE(std::equal(again.begin(), again.end(), all.begin()));
        }
    }
}

// The window reads lent meter bytes without the lock while the refill thread drops the ring (here
// for a lost buffer): the lent bytes stay as lent until the loan ends.
TEST_F(DeckTest, LentMeterBytesOutliveTheRingTheyCameFrom) {
    ASSERT_TRUE(makeSquare(file("square.wav"), 6.0, QStringLiteral("pcm_s16le")));
    start("six.wav");
    h.run(400);
    const std::uint8_t *p1 = nullptr, *p2 = nullptr;
    std::uint32_t l1 = 0, l2 = 0;
    h.channel->GetAnalysisData(0, 2205 * kFrame, &p1, &l1, &p2, &l2);
    ASSERT_EQ(l1, 2205u * kFrame);
    const std::vector<std::int16_t> expected = pcm(400 * 441 / 10, 2205);
    auto lent = [&] {
        std::vector<std::int16_t> v(l1 / 2);
        std::memcpy(v.data(), p1, l1);
        return v;
    };
    ASSERT_EQ(lent(), expected);
    h.device->loseBuffers();
    h.run(400); // the refill meets the lost buffer and drops the ring
    ASSERT_FALSE(h.channel->hasBuffer());
    // Another song on the deck gets a ring of the same size.
    start("square.wav");
    h.run(400);
    EXPECT_EQ(lent(), expected);
    h.channel->ReleaseAnalysisData();
    EXPECT_FALSE(h.channel->AnalysisLocked());
}

// 3 s at 44.1 kHz then 2 s at 48 kHz: the deck plays at the file's first rate, and the second
// part is converted to it rather than played 9 % slow.
TEST_F(DeckTest, RateChangeInsideTheFileIsConverted) {
    ASSERT_TRUE(makeRateChangeMp3(file("rates.mp3")));
    start("rates.mp3");
    EXPECT_EQ(h.channel->SampleRate(), 44100);
    std::vector<std::int16_t> heard;
    runToEnd(h, &heard);
    ASSERT_EQ(h.endPlays, 1);
    std::size_t last = heard.size() / 2;
    while (last > 0 && heard[2 * last - 1] == 0 && heard[2 * last - 2] == 0)
        --last;
    const double first = ffmpegPcm(file("rates.mp3.44")).size() / 4;
    const double second = ffmpegPcm(file("rates.mp3.48")).size() / 4 * 44100.0 / 48000;
    // FFmpeg drops one frame where the streams meet; the padding at the end may be silent.
    EXPECT_NEAR(static_cast<double>(last), first + second, 2400)
        << "not " << first + second * 48000 / 44100;
    const double before = toneAmplitude(heard.data() + 2 * 44100, 22050, 0, 440);
    const std::size_t from = 4 * 44100;
    const double at440 = toneAmplitude(heard.data() + 2 * from, 22050, 0, 440);
    const double at404 = toneAmplitude(heard.data() + 2 * from, 22050, 0, 440.0 * 44100 / 48000);
    EXPECT_GT(before, 1000);
    EXPECT_NEAR(at440, before, before * 0.05);
    EXPECT_LT(at404, before * 0.1);
}

// A deck started from a position in a VBR MP3 plays exactly what a full decode has there.
TEST_F(DeckTest, VbrSongStartedFromAPositionIsExact) {
    ASSERT_TRUE(makeVbrMp3(file("vbr.mp3"), 12));
    const std::vector<std::int16_t> all = toSamples(ffmpegPcm(file("vbr.mp3")));
    h.channel->SetFileName(file("vbr.mp3"));
    for (const std::int32_t ms : {8765, 1235, 11500}) {
        SCOPED_TRACE(ms);
        h.channel->SetPosition(ms);
        h.channel->Prepare();
        h.channel->Play();
        std::vector<std::int16_t> heard;
        h.run(400, &heard);
        const std::size_t sample = (static_cast<std::size_t>(ms) * 441 + 9) / 10;
        ASSERT_LE(2 * sample + heard.size(), all.size());
        EXPECT_TRUE(std::equal(heard.begin(), heard.end(), all.begin() + 2 * sample));
        h.channel->Stop();
    }
}

TEST_F(DeckTest, ChannelsShareOneLock) {
    TDSPlayer other(h.device);
    TDSPlayerChannel second(&other, {nullptr, false});
    EXPECT_EQ(&second.lock(), &h.channel->lock());
    EXPECT_EQ(TDSPlayerChannel::LockName(), QStringLiteral("DSDSMCUpd0"));
}

} // namespace
