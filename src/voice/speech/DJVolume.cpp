#include "voice/speech/DJVolume.h"

#include "core/DJVolumeFile.h"

#include <algorithm>

namespace corvalin {

void DJVolumeSlider::setValue(int v) {
    value = std::clamp(v, minimum, std::max(minimum, maximum));
}

std::uint32_t DJVolumeScale::rawFromSlider(int value) const {
    const std::int64_t v = std::max(value, 0);
    const std::int64_t raw = DJVolumeDivisor == 0 ? v : v * DJVolumeDivisor;
    return std::uint32_t(std::min<std::int64_t>(raw, 0xFFFFFFFFll));
}

void CheckDJVolume(SpeechAttributes& attributes, DJVolumeSlider& slider, DJVolumeScale& scale,
                   const QString& programFolder) {
    std::uint32_t current = 0;
    if (attributes.VolumeGet(&current) != kSpeechOk) {
        return;
    }
    if (attributes.VolumeSet(current) != kSpeechOk) {
        return;
    }
    std::uint32_t min = 0;
    std::uint32_t max = 0;
    if (attributes.VolumeSet(0) != kSpeechOk || attributes.VolumeGet(&min) != kSpeechOk ||
        attributes.VolumeSet(0xFFFFFFFFu) != kSpeechOk || attributes.VolumeGet(&max) != kSpeechOk) {
        return;
    }
    scale.DJVolumeMax = max;
    scale.DJVolumeDivisor = 0;
    std::uint32_t v = max;
    while (v > 0x7FFFFFFFu) {
        scale.DJVolumeDivisor = scale.DJVolumeDivisor == 0 ? 10 : scale.DJVolumeDivisor * 10;
        v = max / std::uint32_t(scale.DJVolumeDivisor);
    }
    // The slider holds ints: a minimum beyond them could not be shown.
    min = std::min<std::uint32_t>(min, 0x7FFFFFFFu - 10);
    if (min > v) {
        v = min + 10;
    }
    slider.minimum = int(min);
    slider.maximum = int(v);
    slider.step = std::max(1, int(v / 10));
    slider.enabled = true;

    slider.setValue(readDJVolumeFile(programFolder, slider.maximum));
    attributes.VolumeSet(scale.rawFromSlider(slider.value));
}

void DJVolumeChanged(SpeechAttributes* attributes, const DJVolumeSlider& slider,
                     const DJVolumeScale& scale, const QString& programFolder) {
    if (attributes == nullptr) {
        return;
    }
    attributes->VolumeSet(scale.rawFromSlider(slider.value));
    // A failed save keeps the volume in force; the file is written again at the next change.
    (void)writeDJVolumeFile(programFolder, slider.value);
}

} // namespace corvalin
