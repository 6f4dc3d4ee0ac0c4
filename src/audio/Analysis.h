#pragma once

// TAnalysis: every meter tick, borrows the bytes a deck is about to play and reduces them to
// columns of minimum and maximum and one peak level per channel. UI thread only.

#include <cstdint>
#include <vector>

namespace corvalin {

class TDSPlayerChannel;

class TAnalysis {
public:
    // The channel must have a file open (its format is read here). Not owned.
    TAnalysis(TDSPlayerChannel* channel, int samplesPerTick, int columnCount);

    // Sample frames in one tick of a meter timer of `intervalMs` for the song open on the
    // channel, at the song's own rate (not the device's): SampleRate x intervalMs div 1000.
    static int SamplesPerTickFor(const TDSPlayerChannel& channel, int intervalMs);

    // One pass over the bytes the deck lends. Columns the pass does not complete keep their
    // values; a channel without one complete column shows no level (0).
    void Analyse();
    // Every column flat at 128 (a line in the middle); the levels stay. For the end of a song.
    void ResetTrace();

    // Index 0 is fed by the second sample of each stereo frame, index 1 by the first.
    std::uint8_t MaxValue(int column, int channel) const {
        return MaxValues[static_cast<std::size_t>(column * Channels + channel)];
    }
    std::uint8_t MinValue(int column, int channel) const {
        return MinValues[static_cast<std::size_t>(column * Channels + channel)];
    }

    int Channels;
    int SamplesPerColumn;
    int SamplesPerTick;
    int ColumnCount;
    std::uint8_t Bias;
    std::vector<std::uint8_t> MaxValues; // [column][channel]
    std::vector<std::uint8_t> MinValues; // [column][channel]
    float Levels[2] = {0.0f, 0.0f};
    TDSPlayerChannel* Channel;

private:
    int blockAlign_;
    int bytesPerSample_;
};

// The pen colour (0x00BBGGRR) for a level in percent.
std::int32_t LevelColour(int percent);

} // namespace corvalin
