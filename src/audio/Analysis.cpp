#include "audio/Analysis.h"

#include "audio/DSPlayer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace corvalin {

TAnalysis::TAnalysis(TDSPlayerChannel* channel, int samplesPerTick, int columnCount)
    : Channels(channel->Channels() > 1 ? 2 : 1),
      SamplesPerColumn(std::max(1, samplesPerTick / std::max(1, columnCount))),
      SamplesPerTick(samplesPerTick), ColumnCount(std::max(0, columnCount)),
      Bias(channel->BitsPerSample() == 8 ? 0 : 128),
      MaxValues(static_cast<std::size_t>(ColumnCount * Channels), 0),
      MinValues(static_cast<std::size_t>(ColumnCount * Channels), 0), Channel(channel),
      blockAlign_(std::max(1, channel->BlockAlign())),
      bytesPerSample_(std::max(1, channel->BitsPerSample() / 8)) {}

int TAnalysis::SamplesPerTickFor(const TDSPlayerChannel& channel, int intervalMs) {
    return static_cast<int>(std::int64_t{channel.SampleRate()} * intervalMs / 1000);
}

void TAnalysis::ResetTrace() {
    std::fill(MaxValues.begin(), MaxValues.end(), 128);
    std::fill(MinValues.begin(), MinValues.end(), 128);
}

void TAnalysis::Analyse() {
    const std::uint8_t* regions[2] = {nullptr, nullptr};
    std::uint32_t lengths[2] = {0, 0};
    const auto size = static_cast<std::uint32_t>(std::max(0, SamplesPerTick) * blockAlign_);
    struct Release {
        TDSPlayerChannel* c;
        ~Release() { c->ReleaseAnalysisData(); }
    } release{Channel};
    try {
        Channel->GetAnalysisData(0, size, &regions[0], &lengths[0], &regions[1], &lengths[1]);
    } catch (...) {
        regions[0] = regions[1] = nullptr;
        lengths[0] = lengths[1] = 0;
    }
    const auto block = static_cast<std::uint32_t>(blockAlign_);
    for (int k = 0; k < Channels; ++k) {
        int column = 0;
        int count = 1;
        int colMax = 0, colMin = 255, allMax = 0, allMin = 255;
        // The most significant byte of the sample: in a stereo frame, index 0 reads the second
        // sample and index 1 the first.
        const std::uint32_t first = block - 1 - static_cast<std::uint32_t>(k * bytesPerSample_);
        for (int r = 0; r < 2 && column < ColumnCount; ++r) {
            if (!regions[r] || first >= block)
                continue;
            const std::uint32_t frames = lengths[r] / block;
            const std::uint8_t* b = regions[r] + first;
            for (std::uint32_t i = 0; i < frames && column < ColumnCount; ++i, b += block) {
                const int v = (*b + Bias) % 256;
                colMax = std::max(colMax, v);
                colMin = std::min(colMin, v);
                if (++count > SamplesPerColumn) {
                    allMax = std::max(allMax, colMax);
                    allMin = std::min(allMin, colMin);
                    const auto at = static_cast<std::size_t>(column * Channels + k);
                    MaxValues[at] = static_cast<std::uint8_t>(colMax);
                    MinValues[at] = static_cast<std::uint8_t>(colMin);
                    colMax = 0;
                    colMin = 255;
                    ++column;
                    count = 1;
                }
            }
        }
        // Nothing complete was lent (before the first fill, or a starved loan): nothing heard.
        const int peak = column == 0 ? 0 : std::max(std::abs(allMax - 128), std::abs(allMin - 128));
        Levels[k] = static_cast<float>(std::sqrt(peak / 128.0));
    }
}

std::int32_t LevelColour(int percent) {
    int factor;
    if (percent < 10)
        factor = 100;
    else if (percent <= 19)
        factor = 200;
    else if (percent <= 29)
        factor = 250;
    else if (percent <= 39)
        factor = 300;
    else if (percent <= 49)
        factor = 350;
    else if (percent <= 59)
        factor = 400;
    else if (percent <= 69)
        factor = 450;
    else if (percent <= 79)
        factor = 500;
    else if (percent <= 89)
        factor = 550;
    else if (percent <= 95)
        factor = 600;
    else if (percent <= 100)
        factor = 650;
    else
        factor = 100;
    return percent * factor;
}

} // namespace corvalin
