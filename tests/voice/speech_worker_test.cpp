#include "speech_test_support.h"
#include "voice/speech/SpeechMarkup.h"
#include "voice/speech/SpeechWorkerClient.h"
#include "voice/speech/SpeechWorkerProtocol.h"
#include "voice/speech/worker/FliteText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <condition_variable>
#include <csignal>
#include <gtest/gtest.h>

namespace corvalin {
namespace {

QString workerProgram() {
    return test::speechWorkerProgram();
}

// A client whose wake-ups a test can wait for.
class Worker {
public:
    explicit Worker(QByteArray fault = {}, int stallMs = 4000)
        : client_({workerProgram(), std::move(fault), stallMs, 0}, [this] {
              std::lock_guard lock(mutex_);
              ++wakes_;
              cv_.notify_all();
          }) {}

    SpeechWorkerClient& client() { return client_; }

    // Everything of the utterance, waiting for its end (generous deadline).
    SpeechArrivals collect(std::uint32_t id) {
        SpeechArrivals all;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::unique_lock lock(mutex_);
        while (!all.finished && std::chrono::steady_clock::now() < deadline) {
            // Taken under the lock before waiting, so that no wake-up goes unseen.
            const int seen = wakes_;
            client_.take(id, all);
            if (!all.finished) {
                cv_.wait_until(lock, deadline, [&] { return wakes_ != seen; });
            }
        }
        return all;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int wakes_ = 0;
    SpeechWorkerClient client_;
};

std::vector<std::uint32_t> marks(const SpeechArrivals& a) {
    std::vector<std::uint32_t> out;
    for (const auto& e : a.events) {
        if (e.kind == SpeechEvent::Mark) {
            out.push_back(e.value);
        }
    }
    return out;
}

TEST(SpeechWorkerFrames, ByteByByteStreamGivesTheSameFramesAndOversizeFailsAtItsHeader) {
    namespace sw = speechworker;
    const std::string stream = sw::encodeFrame(sw::kHello, 0, std::string(4, '\x22')) +
                               sw::encodeFrame(sw::kEvent, 3, sw::eventPayload(2, 99, 700)) +
                               sw::encodeFrame(sw::kCancel, 4, {});
    std::string oversize;
    sw::appendU32(oversize, sw::kAudio);
    sw::appendU32(oversize, 5);
    sw::appendU32(oversize, sw::kMaxPayload + 1);
    sw::FrameReader reader;
    std::vector<sw::Frame> frames;
    for (const char c : stream + oversize) {
        reader.append(&c, 1);
        for (sw::Frame f; reader.next(f);) {
            frames.push_back(f);
        }
    }
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[1].utterance, 3u);
    EXPECT_EQ(sw::readU64(frames[1].payload, 4), 99u);
    EXPECT_EQ(frames[2].type, sw::kCancel);
    EXPECT_TRUE(reader.failed());
}

TEST(SpeechWorkerFrames, ReadsPastTheEndGiveZeroForAnyOffset) {
    namespace sw = speechworker;
    const std::string payload = sw::eventPayload(1, 2, 3);
    for (const std::size_t at : {payload.size() - 3, payload.size(), payload.size() + 1,
                                 std::size_t(-1), std::size_t(-4), std::size_t(-8)}) {
        EXPECT_EQ(sw::readU32(payload, at), 0u) << at;
        EXPECT_EQ(sw::readU64(payload, at), 0u) << at;
    }
    EXPECT_EQ(sw::readU32(payload, payload.size() - 4), 3u);
}

TEST(SpeechWorker, SynthesisesWithMarksAndWords) {
    Worker w;
    const SpeechMarkup m = taggedTextToSsml("Good morning. \\Pau=500\\\\Mrk=700\\Here is a song.");
    const auto id = w.client().speak("gmw/en-US+m1", m.ssml);
    const SpeechArrivals a = w.collect(id);
    ASSERT_TRUE(a.finished);
    EXPECT_EQ(a.sampleRate, 22050);
    EXPECT_GT(a.pcm.size(), std::size_t(a.sampleRate)); // over a second of speech
    EXPECT_EQ(marks(a), std::vector<std::uint32_t>{700});
    int words = 0;
    std::uint64_t last = 0;
    for (const auto& e : a.events) {
        EXPECT_GE(e.sample, last);
        EXPECT_LE(e.sample, a.pcm.size());
        last = e.sample;
        words += e.kind == SpeechEvent::Word;
    }
    EXPECT_EQ(words, 6);

    // The same worker serves the next utterance.
    const pid_t pid = w.client().workerPid();
    const auto second = w.client().speak("gmw/en", taggedTextToSsml("Again.").ssml);
    EXPECT_FALSE(w.collect(second).pcm.empty());
    EXPECT_EQ(w.client().workerPid(), pid);
}

TEST(SpeechWorker, UnknownVoiceFinishesWithoutSound) {
    Worker w;
    const auto a = w.collect(w.client().speak("no/such-voice", "<speak>Hello</speak>"));
    EXPECT_TRUE(a.finished);
    EXPECT_TRUE(a.pcm.empty());
}

TEST(SpeechWorker, CancelledUtteranceDeliversNothingMore) {
    Worker w;
    const auto id =
        w.client().speak("gmw/en", taggedTextToSsml(QByteArray(3000, 'a') + " end").ssml);
    w.client().cancel();
    SpeechArrivals a;
    w.client().take(id, a);
    EXPECT_TRUE(a.finished);
    EXPECT_TRUE(a.pcm.empty());
    const auto next = w.client().speak("gmw/en", "<speak>Next<mark name=\"5\"/></speak>");
    EXPECT_EQ(marks(w.collect(next)), std::vector<std::uint32_t>{5});
}

TEST(SpeechWorker, CrashingWorkerEndsTheUtteranceAndIsReplaced) {
    Worker w("crash");
    const auto first = w.collect(w.client().speak("gmw/en", "<speak>One two three</speak>"));
    EXPECT_TRUE(first.finished);
    EXPECT_EQ(w.client().workerPid(), -1);
    const auto second = w.collect(w.client().speak("gmw/en", "<speak>Four</speak>"));
    EXPECT_TRUE(second.finished);
    EXPECT_FALSE(second.pcm.empty()) << "a fresh worker spoke the first chunk before crashing";
}

TEST(SpeechWorker, HangingWorkerIsKilledAfterTheStallTime) {
    Worker w("hang", 300);
    const auto id = w.client().speak("gmw/en", "<speak>One two three four five six</speak>");
    const pid_t pid = w.client().workerPid();
    ASSERT_GT(pid, 0);
    const auto a = w.collect(id);
    EXPECT_TRUE(a.finished);
    EXPECT_EQ(w.client().workerPid(), -1);
    EXPECT_NE(::kill(pid, 0), 0) << "the hung worker is gone";
}

// A worker stopped by a signal (SIGSTOP) between two talks: the next request goes unanswered. The
// program's own stall time ends that utterance about a second after the request, not later.
TEST(SpeechWorker, StoppedWorkerIsGivenUpASecondAfterTheRequest) {
    std::mutex mutex;
    std::condition_variable cv;
    int wakes = 0;
    SpeechWorkerClient::Options options; // the program's stall time
    options.program = workerProgram();
    SpeechWorkerClient client(options, [&] {
        std::lock_guard lock(mutex);
        ++wakes;
        cv.notify_all();
    });
    const auto finishedWithin = [&](std::uint32_t id, std::chrono::milliseconds limit) {
        SpeechArrivals a;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::unique_lock lock(mutex);
        while (!a.finished && std::chrono::steady_clock::now() < deadline) {
            const int seen = wakes;
            cv.wait_until(lock, deadline, [&] { return wakes != seen; });
            client.take(id, a);
        }
        return a;
    };
    ASSERT_TRUE(
        finishedWithin(client.speak("gmw/en", "<speak>Ready.</speak>"), std::chrono::seconds(30))
            .finished);
    const pid_t stopped = client.workerPid();
    ASSERT_GT(stopped, 0);
    ASSERT_EQ(::kill(stopped, SIGSTOP), 0);

    const auto asked = std::chrono::steady_clock::now();
    const SpeechArrivals a = finishedWithin(
        client.speak("gmw/en", "<speak>Nobody hears this.</speak>"), std::chrono::seconds(30));
    const auto waited = std::chrono::steady_clock::now() - asked;
    EXPECT_TRUE(a.finished);
    EXPECT_TRUE(a.pcm.empty());
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::milliseconds(2000));
    EXPECT_EQ(client.workerPid(), -1);
    EXPECT_NE(::kill(stopped, 0), 0) << "the stopped worker was killed";

    // A fresh worker takes the next talk.
    client.warmUp();
    EXPECT_GT(client.workerPid(), 0);
    EXPECT_FALSE(
        finishedWithin(client.speak("gmw/en", "<speak>Back.</speak>"), std::chrono::seconds(30))
            .pcm.empty());
}

TEST(SpeechWorker, MissingWorkerProgramFinishesAtOnce) {
    SpeechWorkerClient client({QStringLiteral("/nonexistent/corvalin-speech-worker"), {}, 4000, 0},
                              [] {});
    const auto id = client.speak("gmw/en", "<speak>Hello</speak>");
    SpeechArrivals a;
    client.take(id, a);
    EXPECT_TRUE(a.finished);
}

// Flite reads plain text: the SSML is cut at pauses and marks, emphasis is dropped, entities are
// decoded, and every word keeps its place in the SSML (as espeak-ng reports it).
TEST(FliteText, SsmlBecomesTextPausesAndMarksInOrder) {
    const SpeechMarkup m =
        taggedTextToSsml("Great \\Emp\\song & <b>!\\Pau=500\\\\Mrk=700\\Coming up, Night Train.");
    const auto pieces = speechworker::flitepieces(std::string_view(m.ssml));
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[0].kind, speechworker::FlitePiece::Text);
    EXPECT_EQ(pieces[0].text, "Great song & <b>!");
    EXPECT_EQ(pieces[1].kind, speechworker::FlitePiece::Pause);
    EXPECT_EQ(pieces[1].value, 500u);
    EXPECT_EQ(pieces[2].kind, speechworker::FlitePiece::Mark);
    EXPECT_EQ(pieces[2].value, 700u);
    EXPECT_EQ(pieces[3].text, "Coming up, Night Train.");
    const QString ssml = QString::fromUtf8(m.ssml);
    std::vector<std::string> starts;
    for (const auto& piece : pieces) {
        for (const auto& w : piece.words) {
            ASSERT_GE(w.position, 1u);
            // The SSML at the reported position begins the word (or its entity).
            const QString there = ssml.mid(int(w.position) - 1, 3);
            EXPECT_EQ(there.at(0) == QLatin1Char('&') ? piece.text[w.offset]
                                                      : there.at(0).toLatin1(),
                      piece.text[w.offset]);
            starts.push_back(piece.text.substr(w.offset, 3));
        }
    }
    EXPECT_EQ(starts,
              (std::vector<std::string>{"Gre", "son", "& <", "<b>", "Com", "up,", "Nig", "Tra"}));
}

TEST(FliteText, LongTextIsCutIntoShortPiecesAndNothingIsLost) {
    std::string text;
    for (int i = 0; i < 500; ++i) {
        text += "word" + std::to_string(i) + (i % 40 == 39 ? ", " : " ");
    }
    text += std::string(400, 'x'); // one "word" longer than a piece
    const auto pieces = speechworker::flitepieces("<speak>" + text + "</speak>");
    std::string joined;
    std::size_t words = 0;
    for (const auto& p : pieces) {
        EXPECT_LE(p.text.size(), speechworker::kFliteMaxPieceBytes + 1);
        joined += p.text;
        words += p.words.size();
    }
    EXPECT_EQ(joined, text);
    EXPECT_GE(words, 501u);
    // Blank-only and punctuation-only stretches are not handed to Flite.
    EXPECT_TRUE(speechworker::flitepieces("<speak> . , <break time=\"0ms\"/> ! </speak>").size() ==
                1u);
}

// A Flite voice speaks a tagged talk: its pause is silence, its mark falls between the words
// around it, inside the audio.
TEST(SpeechWorker, FliteVoiceSpeaksATaggedTalkWithItsMarkInPlace) {
    Worker w;
    const SpeechMarkup before = taggedTextToSsml("That was Blue Night.");
    const auto b = w.collect(w.client().speak("flite:slt", before.ssml));
    ASSERT_TRUE(b.finished);
    ASSERT_GT(b.pcm.size(), std::size_t(b.sampleRate / 2));

    const SpeechMarkup m =
        taggedTextToSsml("That was Blue Night.\\Pau=500\\\\Mrk=700\\Coming up, Night Train.");
    const auto a = w.collect(w.client().speak("flite:slt", m.ssml));
    ASSERT_TRUE(a.finished);
    EXPECT_EQ(a.sampleRate, 22050);
    EXPECT_EQ(marks(a), std::vector<std::uint32_t>{700});
    std::uint64_t markAt = 0;
    int words = 0;
    std::uint64_t last = 0;
    for (const auto& e : a.events) {
        EXPECT_GE(e.sample, last);
        last = e.sample;
        words += e.kind == SpeechEvent::Word;
        if (e.kind == SpeechEvent::Mark) {
            markAt = e.sample;
        }
    }
    EXPECT_EQ(words, 8);
    // The first sentence and the half-second pause lie before the mark; the introduction after.
    EXPECT_EQ(markAt, b.pcm.size() + std::uint64_t(a.sampleRate) / 2);
    EXPECT_GT(a.pcm.size(), markAt + std::uint64_t(a.sampleRate) / 2);
    // The pause is silent.
    for (std::uint64_t i = b.pcm.size(); i < markAt; ++i) {
        ASSERT_EQ(a.pcm[i], 0) << i;
    }
}

// What a talk may hold, and voice files that cannot be used: every case ends, nothing hangs (the
// program's one-second patience with a silent worker holds), and the worker lives on.
TEST(SpeechWorker, FliteBadInputsEndAndTheWorkerLivesOn) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString corrupt = dir.filePath(QStringLiteral("corrupt.flitevox"));
    const QString damaged = dir.filePath(QStringLiteral("damaged.flitevox"));
    {
        QFile f(corrupt);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, '\x5a'));
        QFile g(damaged);
        ASSERT_TRUE(g.open(QIODevice::WriteOnly));
        g.write("CMU_FLITE_CG_VOXDATA-v2.0");
        g.write(QByteArray(1, '\0'));
        g.write(QByteArray(64, '\xff'));
    }
    struct Case {
        const char* what;
        QByteArray voice;
        QByteArray tagged;
        bool sound;
    };
    const std::vector<Case> cases{
        {"markup in the text", "flite:slt", "<speak>Rock &amp; roll</speak> <mark name=\"1\"/>",
         true},
        {"control characters", "flite:awb", QByteArray("One\x01\x07two\x1b[0m three\x7f"), true},
        {"letters beyond ASCII", "flite:slt",
         "Beyonc\xc3\xa9 \xe2\x80\x93 D\xc3\xa9j\xc3\xa0 Vu \xe2\x99\xab", true},
        {"empty talk", "flite:rms", "", false},
        {"only tags", "flite:kal16", "\\Pau=100\\\\Emp\\\\Mrk=700\\", true},
        {"missing voice file", "flite:" + QFile::encodeName(dir.filePath("gone.flitevox")),
         "Hello there.", true},
        {"corrupt voice file", "flite:" + QFile::encodeName(corrupt), "Hello there.", true},
        {"damaged voice file", "flite:" + QFile::encodeName(damaged), "Hello there.", true},
        {"unknown built-in voice", "flite:nobody", "Hello there.", true},
    };
    Worker w({}, 1000);
    pid_t pid = -1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto a = w.collect(w.client().speak(c.voice, taggedTextToSsml(c.tagged).ssml));
        EXPECT_TRUE(a.finished);
        EXPECT_EQ(!a.pcm.empty(), c.sound);
        if (pid < 0) {
            pid = w.client().workerPid();
        }
        EXPECT_EQ(w.client().workerPid(), pid) << "the same worker, never killed";
    }

    // 10,000 characters: the first sound comes at once and more keeps coming within the
    // program's one-second patience; a new request cuts it short.
    QByteArray longTalk;
    while (longTalk.size() < 10000) {
        longTalk += "The weather today is sunny and warm with a light breeze from the west ";
    }
    longTalk.truncate(10000);
    const auto id = w.client().speak("flite:slt", taggedTextToSsml(longTalk).ssml);
    SpeechArrivals part;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        w.client().take(id, part);
    }
    EXPECT_FALSE(part.finished) << "still speaking, not given up as stalled";
    EXPECT_GT(part.pcm.size(), std::size_t(22050) * 3);
    EXPECT_EQ(w.client().workerPid(), pid);
    const auto next =
        w.collect(w.client().speak("flite:slt", "<speak>Next<mark name=\"5\"/></speak>"));
    EXPECT_EQ(marks(next), std::vector<std::uint32_t>{5});
    EXPECT_EQ(w.client().workerPid(), pid);
}

TEST(SpeechWorker, CrashingFliteWorkerEndsTheUtteranceAndIsReplaced) {
    Worker w("crash");
    const auto first = w.collect(w.client().speak("flite:slt", "<speak>One two three</speak>"));
    EXPECT_TRUE(first.finished);
    EXPECT_EQ(w.client().workerPid(), -1);
    const auto second = w.collect(w.client().speak("flite:slt", "<speak>Four</speak>"));
    EXPECT_TRUE(second.finished);
    EXPECT_FALSE(second.pcm.empty());
}

} // namespace
} // namespace corvalin
