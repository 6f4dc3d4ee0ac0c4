#include "speech_test_support.h"
#include "voice/speech/SpeechMarkup.h"
#include "voice/speech/SpeechWorkerClient.h"
#include "voice/speech/SpeechWorkerProtocol.h"

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
        while (!all.finished && std::chrono::steady_clock::now() < deadline) {
            std::unique_lock lock(mutex_);
            const int seen = wakes_;
            cv_.wait_until(lock, deadline, [&] { return wakes_ != seen; });
            lock.unlock();
            client_.take(id, all);
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

} // namespace
} // namespace corvalin
