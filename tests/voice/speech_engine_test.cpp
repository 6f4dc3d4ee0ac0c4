#include "TestSupport.h"
#include "speech_test_support.h"
#include "voice/speech/DJSpeech.h"
#include "voice/speech/EspeakSpeechEngine.h"
#include "voice/speech/SoundBufferSpeechOutput.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>

namespace corvalin {
namespace {

// A ring whose cursor moves only when the test advances it (and only while it plays).
class ManualOutput final : public SpeechAudioOutput {
public:
    struct State {
        std::vector<std::int16_t> ring;
        std::uint32_t cursor = 0;
        bool playing = false;
        int rate = 0;
        int volume = 0;
        double loudness = 0; // sum of |sample| of everything played
    };
    explicit ManualOutput(State& s) : s_(s) {}
    bool open(int sampleRate, std::uint32_t frames) override {
        s_.ring.assign(frames, 0);
        s_.rate = sampleRate;
        s_.cursor = 0;
        s_.playing = false;
        return true;
    }
    std::uint32_t playCursor() override { return s_.cursor; }
    bool write(std::uint32_t at, const std::int16_t* samples, std::uint32_t count) override {
        EXPECT_LE(std::size_t(at) + count, s_.ring.size());
        std::copy(samples, samples + count, s_.ring.begin() + at);
        return true;
    }
    bool play() override { return s_.playing = true; }
    bool stop() override {
        s_.playing = false;
        return true;
    }
    bool rewind() override {
        s_.cursor = 0;
        return true;
    }
    void setVolume(int v) override { s_.volume = v; }

private:
    State& s_;
};

struct Heard {
    enum Kind { Started, Word, Mark, Done } kind;
    qint64 value = 0;
    std::uint64_t frame = 0; // cursor frames played when raised
};

class SpeechEngineTest : public ::testing::Test {
protected:
    static inline const QString kVoice = QStringLiteral("English (America) - Adult Male 1");

    static inline const QString kFliteVoice = QStringLiteral("Flite slt (US English, female)");

    void make(QByteArray fault = {}, int stallMs = 4000) {
        SpeechCatalogue catalogue;
        catalogue.SpeechEngineList = {kVoice, kFliteVoice};
        catalogue.SpeechEngineModes = {{kVoice, "gmw/en-US+m1"}, {kFliteVoice, "flite:slt"}};
        EspeakSpeechEngine::Options options;
        options.workerProgram = test::speechWorkerProgram();
        options.workerFault = std::move(fault);
        options.stallTimeoutMs = stallMs;
        options.serviceTimer = false;
        engine = std::make_unique<EspeakSpeechEngine>(catalogue,
                                                      std::make_unique<ManualOutput>(out), options);
        QObject::connect(engine.get(), &DJSpeechEngine::TextDataStarted, [this] {
            heard.push_back({Heard::Started, 0, played});
        });
        QObject::connect(engine.get(), &DJSpeechEngine::WordPosition, [this](qint64 v) {
            heard.push_back({Heard::Word, v, played});
        });
        QObject::connect(engine.get(), &DJSpeechEngine::BookMark, [this](quint32 v) {
            heard.push_back({Heard::Mark, v, played});
        });
        QObject::connect(engine.get(), &DJSpeechEngine::TextDataDone, [this] {
            heard.push_back({Heard::Done, 0, played});
        });
    }

    // Real synthesis in the worker: wait (generous deadline) until all of it has arrived.
    void waitForSynthesis() {
        QDeadlineTimer deadline(30000);
        QTimer tick; // wakes the loop now and then even if nothing arrives
        tick.start(50);
        while (!engine->synthesisFinished() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        ASSERT_TRUE(engine->synthesisFinished());
    }

    // Lets the device play `frames` (while the buffer plays), then services the engine.
    void advance(std::uint32_t frames) {
        if (out.playing) {
            for (std::uint32_t i = 0; i < frames; ++i) {
                out.loudness += std::abs(out.ring[out.cursor]);
                out.cursor = (out.cursor + 1) % std::uint32_t(out.ring.size());
            }
            played += frames;
        }
        engine->service();
    }

    // Plays on in 50 ms steps until TextDataDone (at most `maxSeconds`).
    void playToEnd(int maxSeconds = 60) {
        const std::uint32_t step = 22050 / 20;
        for (int i = 0; i < maxSeconds * 20 && !done(); ++i) {
            advance(step);
        }
        QCoreApplication::processEvents();
        ASSERT_TRUE(done());
    }

    bool done() const {
        return std::any_of(heard.begin(), heard.end(),
                           [](const Heard& h) { return h.kind == Heard::Done; });
    }
    std::vector<qint64> values(Heard::Kind kind) const {
        std::vector<qint64> v;
        for (const auto& h : heard) {
            if (h.kind == kind) {
                v.push_back(h.value);
            }
        }
        return v;
    }
    // Started first, Done last and once.
    void expectBracketed() const {
        ASSERT_GE(heard.size(), 2u);
        EXPECT_EQ(heard.front().kind, Heard::Started);
        EXPECT_EQ(heard.back().kind, Heard::Done);
        EXPECT_EQ(std::count_if(heard.begin(), heard.end(),
                                [](const Heard& h) { return h.kind == Heard::Done; }),
                  1);
    }

    ManualOutput::State out;
    std::unique_ptr<EspeakSpeechEngine> engine;
    std::vector<Heard> heard;
    std::uint64_t played = 0;
};

TEST_F(SpeechEngineTest, TalkReportsWordsAndTheIntroMarkAsPlaybackReachesThem) {
    make();
    const QByteArray talk =
        "Great song!\\Pau=500\\That was, Blue Night, from, The Rovers.\\Pau=500\\\\Pau=500\\"
        "This is Corvalin Radio.\\Pau=500\\\\Pau=500\\\\Pau=500\\\\Pau=500\\\\Pau=500\\"
        "\\Mrk=700\\Coming up, Mara Quill, with, Night Train.";
    ASSERT_TRUE(engine->Speak(kVoice, QString::fromUtf8(talk)));
    waitForSynthesis();
    // Before the cursor moves only what lies at sample 0: the start and the first word.
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].kind, Heard::Started);
    EXPECT_EQ(heard[1].kind, Heard::Word);
    playToEnd();
    expectBracketed();
    EXPECT_EQ(values(Heard::Mark), std::vector<qint64>{700});
    EXPECT_GT(out.loudness, 0);

    const qint64 markAt = talk.indexOf("\\Mrk=700\\");
    bool markSeen = false;
    qint64 last = -1;
    std::uint64_t lastFrame = 0;
    int words = 0;
    for (const auto& h : heard) {
        EXPECT_GE(h.frame, lastFrame) << "raised in playback order";
        lastFrame = h.frame;
        if (h.kind == Heard::Mark) {
            markSeen = true;
            EXPECT_GT(h.frame, std::uint64_t(22050 * 3)) << "after the long pauses";
        }
        if (h.kind != Heard::Word) {
            continue;
        }
        ++words;
        EXPECT_GT(h.value, last);
        last = h.value;
        ASSERT_LT(h.value, talk.size());
        const char at = talk[h.value];
        const char before = h.value > 0 ? talk[h.value - 1] : ' ';
        EXPECT_TRUE(at != ' ' && at != '\\' && (before == ' ' || before == '\\'))
            << "a word start: " << talk.mid(h.value, 10).constData();
        EXPECT_EQ(h.value > markAt, markSeen) << talk.mid(h.value, 10).constData();
    }
    EXPECT_GE(words, 18);
}

// A DJ with a Flite voice: the bookmark before the next song's introduction is reached while the
// DJ speaks, and the station's side arms the next song 2 to 5 s after it, once per talk.
TEST_F(SpeechEngineTest, FliteVoiceTalkArmsTheNextSongAtItsBookmark) {
    make();
    ScriptedRandom random{{2999}};
    DJSpeechFlags flags;
    test::TempFolder folder;
    DJSpeech speech(*engine, random, flags, folder.path());
    std::vector<std::pair<int, std::uint64_t>> armed; // interval, frame played when armed
    QObject::connect(&speech, &DJSpeech::armTimer3,
                     [&](int ms) { armed.emplace_back(ms, played); });
    const QByteArray talk = "That was, Blue Night, from, The Rovers.\\Pau=500\\"
                            "This is Corvalin Radio.\\Pau=500\\\\Mrk=700\\"
                            "Coming up, Mara Quill, with, Night Train. Enjoy it.";
    speech.SAPI_Speak(QString::fromUtf8(talk), kFliteVoice);
    waitForSynthesis();
    // Pause holds the cursor; resume goes on.
    advance(22050 / 2);
    ASSERT_TRUE(engine->AudioPause());
    const std::uint64_t held = played;
    advance(22050);
    EXPECT_EQ(played, held);
    ASSERT_TRUE(engine->AudioResume());
    playToEnd();
    expectBracketed();
    EXPECT_EQ(values(Heard::Mark), std::vector<qint64>{700});
    ASSERT_EQ(armed.size(), 1u) << "one song start per talk";
    EXPECT_EQ(armed[0].first, 2000 + 2999);
    const auto mark = std::find_if(heard.begin(), heard.end(),
                                   [](const Heard& h) { return h.kind == Heard::Mark; });
    EXPECT_EQ(armed[0].second, mark->frame);
    EXPECT_GT(mark->frame, std::uint64_t(22050) * 2) << "after the first sentences and a pause";
    EXPECT_LT(mark->frame + 22050, heard.back().frame) << "well before the DJ is done";
    EXPECT_TRUE(flags.NextSongStarted);
    EXPECT_FALSE(flags.DJSpeaking);

    // Cut short: TextDataDone follows at once and the next talk speaks.
    heard.clear();
    speech.SAPI_Speak(QStringLiteral("One two three four five six seven."), kFliteVoice);
    waitForSynthesis();
    advance(22050 / 4);
    speech.reset(true);
    QCoreApplication::processEvents();
    ASSERT_TRUE(done());
    expectBracketed();
}

TEST_F(SpeechEngineTest, PauseHoldsAndResumeContinues) {
    make();
    engine->Speak(kVoice, QStringLiteral("One two three four five six seven eight nine ten."));
    waitForSynthesis();
    advance(5000);
    const std::size_t before = heard.size();
    ASSERT_TRUE(engine->AudioPause());
    EXPECT_FALSE(out.playing);
    advance(200000);
    EXPECT_EQ(heard.size(), before) << "nothing is reached while paused";
    EXPECT_EQ(played, 5000u);
    ASSERT_TRUE(engine->AudioResume());
    EXPECT_TRUE(out.playing);
    playToEnd();
    expectBracketed();
    EXPECT_EQ(values(Heard::Word).size(), 10u);
}

TEST_F(SpeechEngineTest, ResetEndsWithDone) {
    make();
    engine->Speak(kVoice, QStringLiteral("One two three four five six seven eight nine ten."));
    waitForSynthesis();
    advance(3000);
    ASSERT_TRUE(engine->AudioReset());
    EXPECT_FALSE(out.playing);
    QCoreApplication::processEvents();
    advance(100000);
    expectBracketed();
    EXPECT_LT(values(Heard::Word).size(), 10u);

    // The engine speaks again after a reset, from the start of the ring.
    heard.clear();
    engine->Speak(kVoice, QStringLiteral("Again."));
    waitForSynthesis();
    playToEnd();
    expectBracketed();
}

TEST_F(SpeechEngineTest, MarkupCharactersAreSpokenAsText) {
    make();
    const QByteArray text = "Tom & Jerry say \"<b>hi</b>\" and 'bye'.";
    engine->Speak(kVoice, QString::fromUtf8(text));
    waitForSynthesis();
    playToEnd();
    expectBracketed();
    const auto words = values(Heard::Word);
    for (const char* w : {"Tom", "Jerry", "say", "and", "'bye'"}) {
        EXPECT_NE(std::find(words.begin(), words.end(), text.indexOf(w)), words.end()) << w;
    }
    EXPECT_GT(played, 22050u) << "over a second of speech";
}

TEST_F(SpeechEngineTest, PauseOfAnHourIsCutToTenSeconds) {
    make();
    engine->Speak(kVoice, QStringLiteral("Wait\\Pau=3600000\\done."));
    waitForSynthesis();
    playToEnd(120);
    expectBracketed();
    EXPECT_GT(played, 22050u * 10);
    EXPECT_LT(played, 22050u * 13);
}

TEST_F(SpeechEngineTest, MarkIsReportedWhereverTheTalkPutsIt) {
    make();
    const char* texts[] = {
        "\\Mrk=700\\Coming up next.",
        "Nice.\\Pau=500\\\\Mrk=700\\Coming up next.",
        "Nice. \\Mrk=700\\Coming up next.",
        "Nice.\\Mrk=700\\",
        "Nice.\\Pau=500\\\\Mrk=700\\",
        "Nice, \\Mrk=700\\coming up next.",
        "Nice! \\Mrk=700\\ Coming up.",
        "\\Pau=500\\\\Mrk=700\\",
        "\\Mrk=700\\",
    };
    for (const char* text : texts) {
        heard.clear();
        engine->Speak(kVoice, QString::fromUtf8(text));
        waitForSynthesis();
        playToEnd();
        expectBracketed();
        EXPECT_EQ(values(Heard::Mark), std::vector<qint64>{700}) << text;
    }
}

TEST_F(SpeechEngineTest, UnknownVoiceSpeaksNothingAndEnds) {
    make();
    EXPECT_FALSE(engine->Speak(kVoice + QLatin1Char(' '), QStringLiteral("Hello")));
    EXPECT_TRUE(heard.empty());
    QCoreApplication::processEvents();
    expectBracketed();
    EXPECT_EQ(heard.size(), 2u);
    EXPECT_FALSE(out.playing);
}

TEST_F(SpeechEngineTest, CrashingOrHangingWorkerEndsTheUtterance) {
    for (const char* fault : {"crash", "hang"}) {
        heard.clear();
        played = 0;
        make(fault, 300);
        EXPECT_TRUE(engine->Speak(kVoice, QStringLiteral("One two three four five six seven.")));
        waitForSynthesis();
        playToEnd();
        expectBracketed();
        EXPECT_TRUE(values(Heard::Mark).empty());
        // The next talk gets a fresh worker (which fails the same way) and ends as well.
        heard.clear();
        engine->Speak(kVoice, QStringLiteral("Again."));
        waitForSynthesis();
        playToEnd();
        expectBracketed();
    }
}

// A worker stopped between two talks (SIGSTOP): the next talk ends about a second after it was
// asked for, so the station goes on with the next song, and a fresh worker is ready at once.
TEST_F(SpeechEngineTest, StoppedWorkerEndsTheTalkWithinASecondAndIsReplaced) {
    make({}, EspeakSpeechEngine::Options{}.stallTimeoutMs);
    engine->Speak(kVoice, QStringLiteral("Ready."));
    waitForSynthesis();
    playToEnd();
    const pid_t stopped = engine->workerPid();
    ASSERT_GT(stopped, 0);
    ASSERT_EQ(::kill(stopped, SIGSTOP), 0);

    heard.clear();
    QElapsedTimer asked;
    asked.start();
    EXPECT_TRUE(engine->Speak(kVoice, QStringLiteral("Nobody hears this talk.")));
    waitForSynthesis();
    const qint64 waitedMs = asked.elapsed();
    EXPECT_LT(waitedMs, 2000);
    const pid_t fresh = engine->workerPid();
    EXPECT_GT(fresh, 0) << "replaced as soon as the hang was found";
    EXPECT_NE(fresh, stopped);
    EXPECT_NE(::kill(stopped, 0), 0) << "the stopped worker was killed";
    advance(0);
    QCoreApplication::processEvents();
    expectBracketed();
    EXPECT_EQ(heard.size(), 2u) << "nothing was spoken";

    heard.clear();
    out.loudness = 0;
    engine->Speak(kVoice, QStringLiteral("Back on the air."));
    waitForSynthesis();
    playToEnd();
    expectBracketed();
    EXPECT_EQ(engine->workerPid(), fresh);
    EXPECT_GT(out.loudness, 0.0);
}

TEST_F(SpeechEngineTest, VolumeRawRangeMapsToTheOutput) {
    make();
    std::uint32_t v = 0;
    EXPECT_EQ(engine->attributes().VolumeSet(0xFFFFFFFFu), kSpeechOk);
    EXPECT_EQ(engine->attributes().VolumeGet(&v), kSpeechOk);
    EXPECT_EQ(v, 65535u);
    EXPECT_EQ(out.volume, 0);
    engine->attributes().VolumeSet(32768);
    EXPECT_NEAR(out.volume, -602, 1);
    engine->attributes().VolumeSet(0);
    EXPECT_EQ(out.volume, -10000);
}

} // namespace
} // namespace corvalin

namespace corvalin {
namespace {

// The engine on the station's sound device (manual clock): the DJ is heard in the mix.
TEST(SpeechOnSoundDevice, SpeechPlaysThroughTheMixAndEndsWithIt) {
    auto device = SoundDevice::create(QStringLiteral("manual"));
    ASSERT_TRUE(device->isManual());
    const QString voice = QStringLiteral("English (America) - Adult Male 1");
    SpeechCatalogue catalogue;
    catalogue.SpeechEngineList = {voice};
    catalogue.SpeechEngineModes = {{voice, "gmw/en-US+m1"}};
    EspeakSpeechEngine::Options options;
    options.workerProgram = test::speechWorkerProgram();
    options.serviceTimer = false;
    EspeakSpeechEngine engine(catalogue, std::make_unique<SoundBufferSpeechOutput>(device),
                              options);
    std::vector<quint32> marks;
    bool done = false;
    QObject::connect(&engine, &DJSpeechEngine::BookMark, [&](quint32 m) { marks.push_back(m); });
    QObject::connect(&engine, &DJSpeechEngine::TextDataDone, [&] { done = true; });

    engine.Speak(voice, QStringLiteral("Hello there.\\Pau=500\\\\Mrk=700\\Here it comes."));
    QDeadlineTimer deadline(30000);
    QTimer tick;
    tick.start(50);
    while (!engine.synthesisFinished() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    engine.service();
    double loudness = 0;
    for (int i = 0; i < 400 && !done; ++i) {
        std::vector<std::int16_t> mix;
        device->advance(SoundDevice::kSampleRate / 20, &mix);
        for (const auto s : mix) {
            loudness += std::abs(s);
        }
        engine.service();
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(done);
    EXPECT_EQ(marks, std::vector<quint32>{700});
    EXPECT_GT(loudness, 1e6) << "the DJ is heard in the device's mix";
}

} // namespace
} // namespace corvalin
