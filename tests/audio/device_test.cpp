#include "AudioFixtures.h"
#include "TestSupport.h"
#include "audio/SoundDevice.h"
#include "audio/VolumeControls.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <chrono>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

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
// to the silent output, tells why, and tries the asked-for output again with later buffers.
TEST(SoundDeviceTest, OutputThatCannotBeOpenedAgainFallsBackToNullAndIsRetried) {
    TempFolder dir;
    const QString folder = dir.file(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(folder));
    auto d = SoundDevice::create(QStringLiteral("wav:") + folder + QStringLiteral("/mix.wav"));
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

    auto again = d->createBuffer(PcmFormat{}, 400);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(reports.size(), 1u) << "still failing: told once";
    ASSERT_TRUE(QDir().mkpath(folder));
    auto back = d->createBuffer(PcmFormat{}, 400);
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].backend, QStringLiteral("wav"));
    EXPECT_FALSE(reports[1].fallback);
    EXPECT_FALSE(d->outputStatus().fallback);
    EXPECT_FALSE(b->isLost()) << "buffers carry over to the output that came back";
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/mix.wav")));
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
