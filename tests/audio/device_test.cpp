#include "AudioFixtures.h"
#include "TestSupport.h"
#include "audio/DSAudioFileRead.h"
#include "audio/SoundBackends.h"
#include "audio/SoundDevice.h"
#include "audio/VolumeControls.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <gtest/gtest.h>
#include <thread>

extern "C" {
#include <libavutil/log.h>
}

using namespace corvalin;
using namespace corvalin::test;

namespace {

std::unique_ptr<SoundBuffer> filled(SoundDevice& d, const PcmFormat& f,
                                    const std::vector<std::uint8_t>& bytes) {
    std::int32_t result = -1;
    auto b = d.createBuffer(f, static_cast<std::uint32_t>(bytes.size()), &result);
    EXPECT_EQ(result, kSoundOk);
    if (!b)
        return b;
    void *p1, *p2;
    std::uint32_t l1, l2;
    EXPECT_EQ(b->Lock(0, b->size(), &p1, &l1, &p2, &l2), kSoundOk);
    EXPECT_EQ(l1, b->size());
    std::memcpy(p1, bytes.data(), l1);
    EXPECT_EQ(b->Unlock(p1, l1, p2, l2), kSoundOk);
    return b;
}

std::vector<std::uint8_t> stereo16(const std::vector<std::int16_t>& s) {
    std::vector<std::uint8_t> b(s.size() * 2);
    std::memcpy(b.data(), s.data(), b.size());
    return b;
}

// A sound card's output driven by the test: pump() is its callback; a hang is a pump that no
// longer comes. What the test reads of it outlives it.
struct Card {
    void pump(std::uint32_t frames) {
        std::vector<std::int16_t> out(2 * frames);
        render(out.data(), frames);
    }
    SoundRender render;
    bool stopped = false;
    bool wasStalled = false;
};

class CardDouble final : public SoundBackend {
public:
    explicit CardDouble(std::shared_ptr<Card> card) : card_(std::move(card)) {}
    QString name() const override { return QStringLiteral("card"); }
    void stop() override { card_->stopped = true; }
    bool canStall() const override { return true; }
    void stalled() override { card_->wasStalled = true; }

private:
    std::shared_ptr<Card> card_;
};

// The outputs a device opens ("card" gives a CardDouble, anything else the real ones), and the
// clock it reads. The test thread drives both.
struct Outputs {
    SoundDeviceOptions options() {
        SoundDeviceOptions o;
        o.supervisorThread = false;
        o.clockMs = [this] { return now; };
        o.openBackend = [this](const QString& spec, SoundRender render, SoundLost lost,
                               QString* error) -> std::unique_ptr<SoundBackend> {
            if (spec != QLatin1String("card"))
                return makeSoundBackend(spec, std::move(render), std::move(lost), error);
            attempts.push_back(now);
            if (beforeOpen)
                beforeOpen();
            if (failing) {
                *error = QStringLiteral("card unplugged");
                return nullptr;
            }
            cards.push_back(std::make_shared<Card>());
            cards.back()->render = std::move(render);
            return std::make_unique<CardDouble>(cards.back());
        };
        return o;
    }
    // Lets `ms` pass in steps of the supervisor thread, the card's callback running or not.
    void pass(SoundDevice& d, int ms, bool callbacks) {
        for (int t = 0; t < ms; t += 250) {
            if (callbacks)
                cards.back()->pump(441 * 25);
            now += 250;
            d.supervise();
        }
    }
    std::int64_t now = 1000000;
    bool failing = false;
    std::function<void()> beforeOpen;   // runs inside each opening of the card
    std::vector<std::int64_t> attempts; // when the card was opened or tried
    std::vector<std::shared_ptr<Card>> cards;
};

TEST(SoundDeviceTest, MixesAtTheCursorAndLoops) {
    auto d = SoundDevice::create(QStringLiteral("manual"));
    ASSERT_TRUE(d->isManual());
    std::vector<std::int16_t> s;
    for (int i = 0; i < 200; ++i)
        s.push_back(static_cast<std::int16_t>(i * 100 - (i % 2) * 20000));
    auto b = filled(*d, PcmFormat{}, stereo16(s));
    std::vector<std::int16_t> mix;
    ASSERT_TRUE(d->advance(50, &mix)); // stopped: silence, cursor still
    std::uint32_t cursor = 1;
    b->GetCurrentPosition(&cursor);
    EXPECT_EQ(cursor, 0u);
    EXPECT_EQ(mix, std::vector<std::int16_t>(100, 0));
    mix.clear();
    b->Play();
    d->advance(130, &mix); // one lap and a bit
    b->GetCurrentPosition(&cursor);
    EXPECT_EQ(cursor, 30u * 4);
    for (int i = 0; i < 130; ++i) {
        EXPECT_EQ(mix[2 * i], s[2 * (i % 100)]);
        EXPECT_EQ(mix[2 * i + 1], s[2 * (i % 100) + 1]);
    }
    b->Stop();
    d->advance(10);
    b->GetCurrentPosition(&cursor);
    EXPECT_EQ(cursor, 30u * 4) << "Stop keeps the cursor";
    EXPECT_EQ(b->SetCurrentPosition(7), kSoundOk);
    b->GetCurrentPosition(&cursor);
    EXPECT_EQ(cursor, 4u) << "rounded down to a whole frame";
}

TEST(SoundDeviceTest, LockWrapsAroundTheRing) {
    auto d = SoundDevice::create(QStringLiteral("manual"));
    auto b = d->createBuffer(PcmFormat{}, 400);
    ASSERT_TRUE(b);
    void *p1, *p2;
    std::uint32_t l1, l2;
    ASSERT_EQ(b->Lock(300, 200, &p1, &l1, &p2, &l2), kSoundOk);
    EXPECT_EQ(l1, 100u);
    EXPECT_EQ(l2, 100u);
    EXPECT_EQ(static_cast<std::uint8_t*>(p1) - static_cast<std::uint8_t*>(p2), 300);
    EXPECT_EQ(b->Unlock(p1, l1, p2, l2), kSoundOk);
    EXPECT_EQ(b->Lock(400, 4, &p1, &l1, &p2, &l2), kSoundInvalidParam);
    EXPECT_FALSE(d->createBuffer(PcmFormat{44100, 3, 16}, 600));
    EXPECT_FALSE(d->createBuffer(PcmFormat{44100, 2, 16}, 6)) << "not whole frames";
}

TEST(SoundDeviceTest, ConvertsEightBitMonoAndAppliesVolumePanAndMaster) {
    auto d = SoundDevice::create(QStringLiteral("manual"));
    auto b = filled(*d, PcmFormat{44100, 1, 8}, std::vector<std::uint8_t>(100, 0xC0));
    b->Play();
    std::vector<std::int16_t> mix;
    d->advance(1, &mix);
    EXPECT_EQ(mix[0], 16384);
    EXPECT_EQ(mix[1], 16384);
    struct Case {
        std::int32_t volume, pan;
        std::uint32_t master;
        int left, right;
    } cases[] = {
        {-600, 0, 0xFFFFFFFFu, 8211, 8211},         // 10^(-600/2000)
        {0, 10000, 0xFFFFFFFFu, 0, 16384},          // pan right: left silent
        {0, -2000, 0xFFFFFFFFu, 16384, 1638},       // right 20 dB down
        {0, 0, 0xFFFF0000u, 0, 16384},              // master: low half is the left
        {0, 0, WaveVolumeValue(32768), 8192, 8192}, // both halves alike
        {-10000, 0, 0xFFFFFFFFu, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(b->SetVolume(c.volume), kSoundOk);
        EXPECT_EQ(b->SetPan(c.pan), kSoundOk);
        d->setMasterVolume(c.master);
        mix.clear();
        d->advance(1, &mix);
        EXPECT_NEAR(mix[0], c.left, 1) << c.volume << " " << c.pan;
        EXPECT_NEAR(mix[1], c.right, 1) << c.volume << " " << c.pan;
    }
    EXPECT_EQ(b->SetVolume(1), kSoundInvalidParam);
    EXPECT_EQ(b->SetVolume(-10001), kSoundInvalidParam);
}

TEST(SoundDeviceTest, SumsBuffersWithClipping) {
    auto d = SoundDevice::create(QStringLiteral("manual"));
    auto loud = stereo16(std::vector<std::int16_t>(40, 30000));
    auto quiet = stereo16(std::vector<std::int16_t>(40, -30000));
    auto a = filled(*d, PcmFormat{}, loud);
    auto b = filled(*d, PcmFormat{}, loud);
    auto c = filled(*d, PcmFormat{}, quiet);
    a->Play();
    b->Play();
    std::vector<std::int16_t> mix;
    d->advance(2, &mix);
    EXPECT_EQ(mix[0], 32767);
    c->Play();
    mix.clear();
    d->advance(2, &mix);
    EXPECT_EQ(mix[0], 30000);
}

// Upsampling a 5 kHz tone from 22050 Hz: a band-limited resampler leaves almost nothing at the
// 17050 Hz image that repeating (-9 dB) or linear interpolation (-18 dB) would leave.
TEST(SoundDeviceTest, ResamplesOtherRatesWithoutImages) {
    auto d = SoundDevice::create(QStringLiteral("manual"));
    std::vector<std::int16_t> s(44100 * 2); // 2 s, so one second does not wrap
    for (int i = 0; i < 44100; ++i)
        s[2 * i] = s[2 * i + 1] =
            static_cast<std::int16_t>(16000 * std::sin(2 * M_PI * 5000 * i / 22050.0));
    auto b = filled(*d, PcmFormat{22050, 2, 16}, stereo16(s));
    b->Play();
    std::vector<std::int16_t> mix;
    d->advance(44100, &mix);
    std::uint32_t cursor = 0;
    b->GetCurrentPosition(&cursor);
    EXPECT_NEAR(static_cast<double>(cursor) / 4, 22050.0, 64.0) << "half as many source frames";
    const std::int16_t* steady = mix.data() + 2 * 4410; // past the filter's start
    const double tone = toneAmplitude(steady, 22050, 0, 5000);
    const double image = toneAmplitude(steady, 22050, 0, 17050);
    EXPECT_NEAR(tone, 16000, 800);
    EXPECT_LT(image, tone * 0.01);
}

TEST(SoundDeviceTest, LostBuffersRefuseLockAndPlay) {
    auto d = SoundDevice::create(QStringLiteral("manual"));
    auto b = d->createBuffer(PcmFormat{}, 400);
    b->Play();
    d->loseBuffers();
    EXPECT_TRUE(b->isLost());
    EXPECT_FALSE(b->isPlaying());
    void *p1, *p2;
    std::uint32_t l1, l2;
    EXPECT_EQ(b->Lock(0, 4, &p1, &l1, &p2, &l2), kSoundBufferLost);
    EXPECT_EQ(b->Play(), kSoundBufferLost);
    d.reset(); // a buffer may outlive its device
    EXPECT_EQ(b->Play(), kSoundBufferLost);
}

// After the device went away the next buffer opens the output again: it is not born lost, and it
// sounds. The buffers lost before stay lost.
TEST(SoundDeviceTest, NextBufferAfterALossOpensTheOutputAgain) {
    auto d = SoundDevice::create(QStringLiteral("manual"));
    int reports = 0;
    d->setStatusHandler([&](const SoundOutputStatus&) { ++reports; });
    auto old = d->createBuffer(PcmFormat{}, 400);
    old->Play();
    d->loseBuffers();
    std::vector<std::int16_t> ramp(100 * 2);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<std::int16_t>(100 + i);
    auto later = filled(*d, PcmFormat{}, stereo16(ramp));
    ASSERT_TRUE(later);
    EXPECT_FALSE(later->isLost());
    EXPECT_EQ(later->Play(), kSoundOk);
    EXPECT_TRUE(old->isLost());
    std::vector<std::int16_t> mix;
    EXPECT_TRUE(d->advance(100, &mix)) << "still the manual output";
    EXPECT_EQ(mix, ramp);
    EXPECT_EQ(d->outputStatus().backend, QStringLiteral("manual"));
    EXPECT_FALSE(d->outputStatus().fallback);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(reports, 0) << "the same output came back: nothing to tell";
}

// The output cannot be opened again (here the WAV file's folder is gone): the device falls back
// to the silent output, tells why, and tries the asked-for output again in the background.
TEST(SoundDeviceTest, OutputThatCannotBeOpenedAgainFallsBackToNullAndIsRetried) {
    TempFolder dir;
    const QString folder = dir.file(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(folder));
    Outputs outputs;
    auto d = SoundDevice::create(QStringLiteral("wav:") + folder + QStringLiteral("/mix.wav"),
                                 outputs.options());
    ASSERT_EQ(d->outputStatus().backend, QStringLiteral("wav"));
    EXPECT_FALSE(d->outputStatus().fallback);
    std::vector<SoundOutputStatus> reports;
    d->setStatusHandler([&](const SoundOutputStatus& s) {
        reports.push_back(s);
        EXPECT_EQ(d->outputStatus().backend, s.backend) << "the device may be asked from here";
    });

    ASSERT_TRUE(QDir(folder).removeRecursively());
    d->loseBuffers();
    auto b = d->createBuffer(PcmFormat{}, 44100 * 4);
    ASSERT_TRUE(b);
    EXPECT_FALSE(b->isLost());
    EXPECT_TRUE(reports.empty()) << "never inside the call that made the buffer";
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].backend, QStringLiteral("null"));
    EXPECT_TRUE(reports[0].fallback);
    EXPECT_TRUE(reports[0].reason.contains(QStringLiteral("mix.wav")))
        << reports[0].reason.toStdString();
    EXPECT_EQ(d->outputStatus().backend, QStringLiteral("null"));
    EXPECT_TRUE(d->outputStatus().fallback);
    EXPECT_EQ(d->outputStatus().requested,
              QStringLiteral("wav:") + folder + QStringLiteral("/mix.wav"));
    b->Play();
    std::uint32_t cursor = 0;
    EXPECT_TRUE(waitFor([&] {
        b->GetCurrentPosition(&cursor);
        return cursor > 0;
    })) << "the silent output moves the cursor";

    outputs.now += SoundDevice::kFirstRetryMs;
    d->supervise(); // the first retry still fails
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(reports.size(), 1u) << "still failing: told once";
    ASSERT_TRUE(QDir().mkpath(folder));
    outputs.now += 2 * SoundDevice::kFirstRetryMs;
    d->supervise();
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].backend, QStringLiteral("wav"));
    EXPECT_FALSE(reports[1].fallback);
    EXPECT_FALSE(d->outputStatus().fallback);
    EXPECT_FALSE(b->isLost()) << "buffers carry over to the output that came back";
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/mix.wav")));
}

// After a loss-caused fallback the card is tried again in the background: 1 s after the fallback,
// then at intervals doubling up to 60 s. Making buffers (a song start) never tries it.
TEST(SoundDeviceTest, LostCardIsRetriedInTheBackgroundAtGrowingIntervals) {
    Outputs outputs;
    auto d = SoundDevice::create(QStringLiteral("card"), outputs.options());
    std::vector<SoundOutputStatus> reports;
    d->setStatusHandler([&](const SoundOutputStatus& s) { reports.push_back(s); });
    outputs.failing = true;
    d->loseBuffers();
    const std::int64_t fellBack = outputs.now;
    auto b = d->createBuffer(PcmFormat{}, 44100 * 4);
    ASSERT_EQ(b->Play(), kSoundOk);
    ASSERT_EQ(d->outputStatus().backend, QStringLiteral("null"));
    outputs.attempts.clear();
    std::vector<std::unique_ptr<SoundBuffer>> songs;
    for (int t = 0; t < 200000; t += 250) {
        outputs.now += 250;
        d->supervise();
        if (t % 5000 == 0) {
            const std::size_t before = outputs.attempts.size();
            songs.push_back(d->createBuffer(PcmFormat{}, 400));
            EXPECT_EQ(outputs.attempts.size(), before) << "a song start tries nothing";
        }
    }
    std::vector<std::int64_t> after;
    for (std::int64_t a : outputs.attempts)
        after.push_back(a - fellBack);
    EXPECT_EQ(after,
              (std::vector<std::int64_t>{1000, 3000, 7000, 15000, 31000, 63000, 123000, 183000}));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(reports.size(), 1u) << "the fallback, told once";

    // The card comes back: the next attempt puts it in place, with the buffers made meanwhile.
    outputs.failing = false;
    while (outputs.cards.size() < 2 && outputs.now - fellBack < 300000) {
        outputs.now += 250;
        d->supervise();
    }
    EXPECT_EQ(outputs.now - fellBack, 243000);
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].backend, QStringLiteral("card"));
    EXPECT_FALSE(reports[1].fallback);
    EXPECT_FALSE(b->isLost());
    std::uint32_t before = 0, after2 = 0;
    b->GetCurrentPosition(&before);
    outputs.cards.back()->pump(1000);
    b->GetCurrentPosition(&after2);
    EXPECT_EQ((after2 + b->size() - before) % b->size(), 4000u) << "played by the card";
    outputs.pass(*d, 120000, true);
    EXPECT_EQ(outputs.cards.size(), 2u) << "no more attempts";
}

// An attempt that takes long (a sound card that answers slowly) holds up nothing: a song start
// meanwhile makes its buffer at once, on the silent output.
TEST(SoundDeviceTest, SlowRetryDoesNotHoldUpASongStart) {
    Outputs outputs;
    auto d = SoundDevice::create(QStringLiteral("card"), outputs.options());
    int reports = 0;
    d->setStatusHandler([&](const SoundOutputStatus&) { ++reports; });
    outputs.failing = true;
    d->loseBuffers();
    auto b = d->createBuffer(PcmFormat{}, 400);
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(reports, 1);
    outputs.failing = false;
    std::promise<void> entered, release;
    std::shared_future<void> released = release.get_future().share();
    outputs.beforeOpen = [&] {
        entered.set_value();
        released.wait_for(std::chrono::seconds(20));
    };
    outputs.now += SoundDevice::kFirstRetryMs;
    std::thread supervisor([&] { d->supervise(); });
    ASSERT_EQ(entered.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    const auto start = std::chrono::steady_clock::now();
    auto song = d->createBuffer(PcmFormat{}, 44100 * 4);
    const bool playing = song && song->Play() == kSoundOk;
    const SoundOutputStatus during = d->outputStatus();
    const auto took = std::chrono::steady_clock::now() - start;
    release.set_value();
    supervisor.join();
    EXPECT_TRUE(playing);
    EXPECT_LT(took, std::chrono::seconds(2)) << "the attempt is held for 20 s";
    EXPECT_EQ(during.backend, QStringLiteral("null"));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(reports, 2) << "then the card took over";
    EXPECT_EQ(d->outputStatus().backend, QStringLiteral("card"));
    EXPECT_FALSE(song->isLost());
}

// A report still queued when the device goes away is dropped.
TEST(SoundDeviceTest, StatusReportOfADeviceGoneMeanwhileIsDropped) {
    TempFolder dir;
    auto d = SoundDevice::create(QStringLiteral("wav:") + dir.file(QStringLiteral("a/mix.wav")));
    ASSERT_TRUE(d->outputStatus().fallback) << "no folder a/ at the start either";
    ASSERT_TRUE(QDir().mkpath(dir.file(QStringLiteral("a"))));
    int reports = 0;
    d->setStatusHandler([&](const SoundOutputStatus&) { ++reports; });
    d->loseBuffers();
    auto b = d->createBuffer(PcmFormat{}, 400); // opens the WAV output after all
    EXPECT_EQ(d->outputStatus().backend, QStringLiteral("wav"));
    b.reset();
    d.reset();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(reports, 0);
}

TEST(SoundDeviceTest, UnknownBackendFallsBackToNullThatMovesInRealTime) {
    auto d = SoundDevice::create(QStringLiteral("no-such-backend"));
    EXPECT_EQ(d->backendName(), QStringLiteral("null"));
    EXPECT_TRUE(d->outputStatus().fallback);
    EXPECT_EQ(d->outputStatus().backend, QStringLiteral("null"));
    EXPECT_TRUE(d->outputStatus().reason.contains(QStringLiteral("no-such-backend")));
    EXPECT_FALSE(d->advance(10));
    auto b = d->createBuffer(PcmFormat{}, 44100 * 4);
    b->Play();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::uint32_t cursor = 0;
    while (cursor < 4410 * 4 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        b->GetCurrentPosition(&cursor);
    }
    EXPECT_GE(cursor, 4410u * 4) << "100 ms of frames consumed";
}

// A card whose callback stops being called without the stream ending is taken for lost after 2 s,
// as when it goes away: the next buffer opens it again, or falls back and says so.
TEST(SoundDeviceTest, OutputWhoseCallbackStopsComingIsTakenForLost) {
    Outputs outputs;
    auto d = SoundDevice::create(QStringLiteral("card"), outputs.options());
    ASSERT_EQ(outputs.cards.size(), 1u);
    std::vector<SoundOutputStatus> reports;
    d->setStatusHandler([&](const SoundOutputStatus& s) { reports.push_back(s); });
    auto b = d->createBuffer(PcmFormat{}, 44100 * 4);
    ASSERT_EQ(b->Play(), kSoundOk);
    outputs.pass(*d, 10000, true);
    EXPECT_FALSE(b->isLost()) << "a card that plays is left alone";
    outputs.pass(*d, 1750, false);
    EXPECT_FALSE(b->isLost()) << "not before 2 s";
    outputs.pass(*d, 250, false);
    EXPECT_TRUE(b->isLost());
    EXPECT_TRUE(outputs.cards[0]->wasStalled) << "so that stopping it does not wait for it";

    auto next = d->createBuffer(PcmFormat{}, 44100 * 4);
    ASSERT_TRUE(next);
    EXPECT_FALSE(next->isLost());
    ASSERT_EQ(outputs.cards.size(), 2u) << "opened again";
    EXPECT_TRUE(outputs.cards[0]->stopped);
    ASSERT_EQ(next->Play(), kSoundOk);
    outputs.pass(*d, 750, true);
    std::uint32_t cursor = 0;
    next->GetCurrentPosition(&cursor);
    EXPECT_EQ(cursor, 3u * 441 * 25 * 4) << "the card opened again plays";
    EXPECT_FALSE(next->isLost());
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(reports.empty()) << "the same output came back: nothing to tell";

    outputs.failing = true;
    outputs.pass(*d, 2000, false);
    EXPECT_TRUE(next->isLost());
    auto silent = d->createBuffer(PcmFormat{}, 400);
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].fallback);
    EXPECT_EQ(reports[0].backend, QStringLiteral("null"));
    EXPECT_EQ(reports[0].reason, QStringLiteral("card unplugged"));
}

// FFmpeg's own messages follow the operator's choice (--verbose): opening a decoder sets FFmpeg's
// log from it rather than silencing FFmpeg for good, and a later choice still reaches FFmpeg.
TEST(LibraryMessagesTest, FfmpegLogFollowsTheChoice) {
    TempFolder dir;
    const QString song = dir.file(QStringLiteral("tone.wav"));
    ASSERT_TRUE(makeTone(song, 0.2, QStringLiteral("pcm_s16le")));
    for (const bool shown : {true, false, true}) {
        setSoundLibraryMessages(shown);
        TDSAudioFileReader reader(song);
        EXPECT_EQ(av_log_get_level(), shown ? AV_LOG_INFO : AV_LOG_QUIET) << shown;
    }
    setSoundLibraryMessages(false);
    EXPECT_EQ(av_log_get_level(), AV_LOG_QUIET);
}

TEST(VolumeControlsTest, WaveVolumeIsTheValueInBothHalves) {
    EXPECT_EQ(WaveVolumeValue(65535), 0xFFFFFFFFu);
    EXPECT_EQ(WaveVolumeValue(6500), 0x19641964u);
    auto d = SoundDevice::create(QStringLiteral("manual"));
    EXPECT_TRUE(WaveVolumeChanged(d.get(), 6500));
    EXPECT_EQ(d->masterVolume(), 0x19641964u);
    EXPECT_FALSE(WaveVolumeChanged(d.get(), 70000));
    EXPECT_FALSE(WaveVolumeChanged(nullptr, 100));
    EXPECT_EQ(d->masterVolume(), 0x19641964u);
}

} // namespace
