#pragma once

// What the "Player Volume" and "Main Volume" sliders do. UI thread.

#include <cstdint>

namespace corvalin {

class TDSPlayerChannel;
class SoundDevice;

// The Player Volume slider's value on a first start, hundredths of a dB: the decks 5 dB down.
inline constexpr int kDefaultPlayerVolume = -500;

// Sets `volume` (hundredths of a dB) on each deck that exists; failures are ignored.
void PlayerVolumeChanged(TDSPlayerChannel* channel1, TDSPlayerChannel* channel2, int volume);

// The wave output volume for a slider value 0..65535: the value in both 16-bit halves.
std::uint32_t WaveVolumeValue(int value);
// Applies it to the device; false when refused (the caller sounds the error beep).
bool WaveVolumeChanged(SoundDevice* device, int value);

} // namespace corvalin
