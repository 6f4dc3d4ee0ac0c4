#pragma once

#include "core/DJVolumeFile.h"

#include <QString>
#include <cstdint>

namespace corvalin {

// Result codes of the speech engine's attributes.
inline constexpr std::uint32_t kSpeechOk = 0;
inline constexpr std::uint32_t kSpeechNotImplemented = 0x80004001; // the voice has no such control
inline constexpr std::uint32_t kSpeechFailed = 0x80004005;

// The speech engine's volume control, in the engine's own raw units.
class SpeechAttributes {
public:
    virtual ~SpeechAttributes() = default;
    virtual std::uint32_t VolumeGet(std::uint32_t* volume) = 0;
    // Values beyond the engine's range are clamped into it.
    virtual std::uint32_t VolumeSet(std::uint32_t volume) = 0;
};

// The "DJ Volume" slider as the window shows it (the window copies these into its QSlider).
struct DJVolumeSlider {
    int minimum = 0;
    int maximum = 65535;
    int step = 6500;
    int value = 0;
    bool enabled = false;

    // A slider keeps its value inside its range.
    void setValue(int v);
};

// How raw volumes map onto the slider: raw = value x divisor (the value itself when 0).
struct DJVolumeScale {
    std::uint32_t DJVolumeMax = 0;
    std::int32_t DJVolumeDivisor = 0;

    std::uint32_t rawFromSlider(int value) const;
};

// Learns the volume range of the engine that is about to speak and sets the slider from it and
// from the DJ volume file. Any failure ends it silently, the slider as it then stands. UI thread.
void CheckDJVolume(SpeechAttributes& attributes, DJVolumeSlider& slider, DJVolumeScale& scale,
                   const QString& programFolder);

// The slider was moved: sets the engine's volume (when there is an engine) and saves the value in
// the DJ volume file. Failures are ignored. UI thread.
void DJVolumeChanged(SpeechAttributes* attributes, const DJVolumeSlider& slider,
                     const DJVolumeScale& scale, const QString& programFolder);

} // namespace corvalin
