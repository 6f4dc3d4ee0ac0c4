#include "audio/VolumeControls.h"

#include "audio/DSPlayer.h"
#include "audio/SoundDevice.h"

namespace corvalin {

namespace {

// A slider move glides as the decks' volume changes do, over their update period.
constexpr std::uint32_t kSliderGlideMs = 400;

} // namespace

void PlayerVolumeChanged(TDSPlayerChannel* channel1, TDSPlayerChannel* channel2, int volume) {
    for (TDSPlayerChannel* c : {channel1, channel2}) {
        if (!c)
            continue;
        try {
            c->SetVolume(volume);
        } catch (...) {
        }
    }
}

std::uint32_t WaveVolumeValue(int value) {
    return static_cast<std::uint32_t>(value) * 65537u;
}

bool WaveVolumeChanged(SoundDevice* device, int value) {
    if (!device || value < 0 || value > 65535)
        return false;
    device->setMasterVolume(WaveVolumeValue(value), kSliderGlideMs);
    return true;
}

} // namespace corvalin
