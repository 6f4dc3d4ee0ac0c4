#include "TestSupport.h"
#include "core/IniFile.h"
#include "voice/speech/DJVolume.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace corvalin {
namespace {

// A raw volume control with a range of its own, or none.
class RangeAttributes final : public SpeechAttributes {
public:
    RangeAttributes(std::uint32_t min, std::uint32_t max, bool implemented = true)
        : min_(min), max_(max), implemented_(implemented), volume_(max) {}
    std::uint32_t VolumeGet(std::uint32_t* v) override {
        if (!implemented_) {
            return kSpeechNotImplemented;
        }
        *v = volume_;
        return kSpeechOk;
    }
    std::uint32_t VolumeSet(std::uint32_t v) override {
        ++sets;
        if (!implemented_) {
            return kSpeechNotImplemented;
        }
        volume_ = std::clamp(v, min_, max_);
        return kSpeechOk;
    }
    std::uint32_t volume() const { return volume_; }
    int sets = 0;

private:
    std::uint32_t min_, max_;
    bool implemented_;
    std::uint32_t volume_;
};

std::optional<QString> savedDJ(const test::TempFolder& folder) {
    return IniFile::load(djVolumeFilePath(folder.path()))
        .value(QStringLiteral("Volume"), QStringLiteral("DJ"));
}

TEST(DJVolume, FullThirtyTwoBitRangeIsDividedByTen) {
    test::TempFolder folder;
    RangeAttributes engine(0, 0xFFFFFFFFu);
    DJVolumeSlider slider;
    DJVolumeScale scale;
    CheckDJVolume(engine, slider, scale, folder.path());
    EXPECT_EQ(scale.DJVolumeDivisor, 10);
    EXPECT_EQ(scale.DJVolumeMax, 0xFFFFFFFFu);
    EXPECT_EQ(slider.minimum, 0);
    EXPECT_EQ(slider.maximum, 429496729);
    EXPECT_EQ(slider.step, 42949672);
    EXPECT_TRUE(slider.enabled);
    EXPECT_EQ(slider.value, 429496729) << "no DJ volume file: the voice's maximum";
    EXPECT_EQ(engine.volume(), 4294967290u);

    slider.setValue(100000000);
    DJVolumeChanged(&engine, slider, scale, folder.path());
    EXPECT_EQ(engine.volume(), 1000000000u);
    EXPECT_EQ(savedDJ(folder), QStringLiteral("100000000"));
}

TEST(DJVolume, SixteenBitRangeFitsDirectlyAndTheFileValueIsUsed) {
    test::TempFolder folder;
    test::writeWholeFile(djVolumeFilePath(folder.path()), "[Volume]\r\nDJ=30000\r\n");
    RangeAttributes engine(0, 65535);
    DJVolumeSlider slider;
    DJVolumeScale scale;
    CheckDJVolume(engine, slider, scale, folder.path());
    EXPECT_EQ(scale.DJVolumeDivisor, 0);
    EXPECT_EQ(slider.maximum, 65535);
    EXPECT_EQ(slider.step, 6553);
    EXPECT_EQ(slider.value, 30000);
    EXPECT_EQ(engine.volume(), 30000u);
}

TEST(DJVolume, VoiceWithoutVolumeControlLeavesTheSliderButStillSaves) {
    test::TempFolder folder;
    RangeAttributes engine(0, 65535, false);
    DJVolumeSlider slider; // as the window starts: disabled
    slider.value = 1234;
    DJVolumeScale scale;
    CheckDJVolume(engine, slider, scale, folder.path());
    EXPECT_FALSE(slider.enabled);
    EXPECT_EQ(slider.maximum, 65535);
    EXPECT_EQ(slider.value, 1234);
    DJVolumeChanged(&engine, slider, scale, folder.path());
    EXPECT_EQ(savedDJ(folder), QStringLiteral("1234"));
    // Without an engine nothing happens at all.
    slider.value = 5;
    DJVolumeChanged(nullptr, slider, scale, folder.path());
    EXPECT_EQ(savedDJ(folder), QStringLiteral("1234"));
}

TEST(DJVolume, MinimumAboveTheScaledMaximumWidensTheRange) {
    test::TempFolder folder;
    // Raw 1e9..0xFFFFFFFF: scaled by ten the maximum falls below the minimum.
    RangeAttributes engine(1000000000u, 0xFFFFFFFFu);
    DJVolumeSlider slider;
    DJVolumeScale scale;
    CheckDJVolume(engine, slider, scale, folder.path());
    EXPECT_EQ(scale.DJVolumeDivisor, 10);
    EXPECT_EQ(slider.minimum, 1000000000);
    EXPECT_EQ(slider.maximum, 1000000010);
    EXPECT_EQ(slider.step, 100000001);
    EXPECT_EQ(slider.value, 1000000010);
}

} // namespace
} // namespace corvalin
