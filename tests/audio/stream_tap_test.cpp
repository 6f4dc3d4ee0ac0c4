#include "audio/SoundDevice.h"
#include "audio/StreamTap.h"

#include <cstring>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace corvalin;

namespace {

std::vector<std::int16_t> ramp(std::uint32_t frames, int from) {
    std::vector<std::int16_t> s(2 * frames);
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<std::int16_t>(from + static_cast<int>(i));
    return s;
}

TEST(StreamTapTest, WrapsAroundAndKeepsOrder) {
    StreamTap tap(10);
    std::vector<std::int16_t> out(2 * 10);
    const auto a = ramp(7, 0);
    tap.write(a.data(), 7);
    EXPECT_EQ(tap.read(out.data(), 5), 5u);
    EXPECT_EQ(std::vector<std::int16_t>(out.begin(), out.begin() + 10),
              std::vector<std::int16_t>(a.begin(), a.begin() + 10));
    const auto b = ramp(8, 1000); // crosses the end of the ring
    tap.write(b.data(), 8);
    EXPECT_EQ(tap.available(), 10u);
    EXPECT_EQ(tap.read(out.data(), 10), 10u);
    std::vector<std::int16_t> expected(a.begin() + 10, a.end());
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_EQ(out, expected);
    EXPECT_EQ(tap.framesDropped(), 0u);
}

TEST(StreamTapTest, AFullRingDropsAndCountsInsteadOfWaiting) {
    StreamTap tap(8);
    const auto a = ramp(6, 0);
    tap.write(a.data(), 6);
    tap.write(a.data(), 6); // only 2 fit
    EXPECT_EQ(tap.available(), 8u);
    EXPECT_EQ(tap.framesDropped(), 4u);
    EXPECT_EQ(tap.framesWritten(), 12u);
    tap.discard();
    EXPECT_EQ(tap.available(), 0u);
    std::vector<std::int16_t> out(16);
    EXPECT_EQ(tap.read(out.data(), 8), 0u);
}

TEST(StreamTapTest, ReaderOnAnotherThreadSeesEveryFrameInOrder) {
    StreamTap tap(64);
    constexpr int kFrames = 200000;
    std::thread writer([&] {
        std::int16_t frame[2];
        for (int i = 0; i < kFrames;) {
            if (tap.available() == tap.capacity()) {
                std::this_thread::yield();
                continue;
            }
            frame[0] = static_cast<std::int16_t>(i);
            frame[1] = static_cast<std::int16_t>(-i);
            tap.write(frame, 1);
            ++i;
        }
    });
    int next = 0;
    bool inOrder = true;
    std::int16_t buf[2 * 32];
    while (next < kFrames) {
        const std::uint32_t n = tap.read(buf, 32);
        for (std::uint32_t k = 0; k < n; ++k, ++next)
            inOrder = inOrder && buf[2 * k] == static_cast<std::int16_t>(next) &&
                      buf[2 * k + 1] == static_cast<std::int16_t>(-next);
        if (n == 0)
            std::this_thread::yield();
    }
    writer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(tap.framesDropped(), 0u);
}

// The tap carries exactly what the device plays: after the master volume, before nothing else.
TEST(StreamTapTest, DeviceCopiesItsMixAfterTheMasterVolume) {
    auto device = SoundDevice::create(QStringLiteral("manual"));
    auto tap = std::make_shared<StreamTap>(4096);
    device->setStreamTap(tap);
    std::int32_t result = -1;
    auto buffer = device->createBuffer(PcmFormat{}, 4 * 100, &result);
    ASSERT_EQ(result, kSoundOk);
    void *p1, *p2;
    std::uint32_t l1, l2;
    ASSERT_EQ(buffer->Lock(0, buffer->size(), &p1, &l1, &p2, &l2), kSoundOk);
    const auto tone = ramp(100, -100);
    std::memcpy(p1, tone.data(), l1);
    ASSERT_EQ(buffer->Unlock(p1, l1, p2, l2), kSoundOk);
    buffer->Play();
    device->setMasterVolume(0x8000FFFFu); // right side at half
    std::vector<std::int16_t> mix;
    ASSERT_TRUE(device->advance(3000, &mix));
    ASSERT_EQ(tap->available(), 3000u);
    std::vector<std::int16_t> copied(2 * 3000);
    ASSERT_EQ(tap->read(copied.data(), 3000), 3000u);
    EXPECT_EQ(copied, mix);
    EXPECT_NE(mix[3], tone[3]); // the master volume acted

    device->setStreamTap(nullptr);
    ASSERT_TRUE(device->advance(100));
    EXPECT_EQ(tap->available(), 0u);
}

} // namespace
