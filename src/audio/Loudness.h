#pragma once

// Even loudness: EBU R128 integrated loudness and true peak of a song (libebur128 over our own
// decoder) with the song's audible bounds, ReplayGain 2.0 tags read instead when a song has them,
// and the gain that brings a song to the station's target without letting its true peak pass -1
// dBTP.
//
// Threads: the free functions and LoudnessMeter keep no shared state; call them from any thread
// (measuring takes seconds: never from the UI, the refill threads or the mixer).

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace corvalin {

// Store section "Loudness": "Enabled" (0/1) and "Target" (LUFS); section "Segue":
// "TrimSilence" (0/1) and "Threshold" (dBFS). The scanner that measures loudness also finds the
// song's audible bounds, so both come from the one reading.
struct LoudnessSettings {
    bool Enabled = true;
    double Target = -18.0; // ReplayGain 2.0's reference level
    bool TrimSilence = true;
    double TrimThreshold = -50.0; // see silenceThresholdDb
    bool operator==(const LoudnessSettings&) const = default;
};

inline constexpr double kLoudnessTargetMin = -40.0;
inline constexpr double kLoudnessTargetMax = -5.0;
// The true peak a corrected song may reach, dBTP.
inline constexpr double kTruePeakCeiling = -1.0;
// What a song not yet measured is taken to be: as loud as a modern master, so that it is cut
// rather than boosted and nothing comes out louder than it would measured.
inline constexpr double kAssumedSongLoudness = -12.0;
// A near-silent song is not lifted out of its noise floor by more than this.
inline constexpr double kMaxBoostDb = 24.0;
// What a measurement can be: EBU R128 gates everything below -70 LUFS, and nothing louder than
// +5 LUFS comes out of PCM. A value outside (from a damaged cache or an odd tag) is no
// measurement at all.
inline constexpr double kLoudnessFloor = -70.0;
inline constexpr double kLoudnessCeiling = 5.0;
inline constexpr double kTruePeakLimit = 20.0; // dBTP: floating-point sources may pass 0

// Silence at either end is only cut up to this much: a longer run is part of the record (a
// hidden track, a long intro of room tone) rather than dead air.
inline constexpr std::int64_t kMaxTrimMs = 15000;
// Kept before the first and after the last audible moment, so an attack is never clipped.
inline constexpr std::int64_t kTrimMarginMs = 15;
inline constexpr double kTrimThresholdMin = -90.0;
inline constexpr double kTrimThresholdMax = -20.0;

struct LoudnessInfo {
    enum class Source { Measured, ReplayGain };
    double Integrated = 0.0; // LUFS
    double TruePeak = 0.0;   // dBTP (the tag's sample peak for ReplayGain)
    Source From = Source::Measured;
    // The part of the file worth playing, ms from its start: the audible start less the margin
    // and the audible end plus it, each end left in place where cutting it would take more than
    // kMaxTrimMs. -1: not measured. A song silent throughout is its whole length.
    std::int64_t AudibleFromMs = -1;
    std::int64_t AudibleToMs = -1;
    double TrimThreshold = 0.0; // the Threshold setting the bounds were found with
    bool SilentThroughout = false;
    bool operator==(const LoudnessInfo&) const = default;
    bool hasBounds() const { return AudibleFromMs >= 0 && AudibleToMs > AudibleFromMs; }
};

// The level below which a song is silence: the Threshold setting, or 40 LU under the song's own
// loudness when that is higher. A loud master's fade ends in hiss that is heard as nothing once
// the song is turned down to the target; a quiet song's quiet fade stays above the floor.
double silenceThresholdDb(double integratedLufs, double thresholdSetting);

// The audible bounds of a song from the peaks of its successive blocks (dBFS, `blockMs` each):
// fills AudibleFromMs, AudibleToMs and SilentThroughout of `info` for the threshold of its
// loudness; `durationMs` is the song's whole length.
void findAudibleBounds(const std::vector<float>& blockPeakDb, std::int64_t blockMs,
                       std::int64_t durationMs, double thresholdSetting, LoudnessInfo* info);

// True when `info` can be a song's loudness: integrated within kLoudnessFloor..kLoudnessCeiling,
// or -inf (silence, below the gate); a true peak finite up to kTruePeakLimit, or -inf.
bool plausibleLoudness(const LoudnessInfo& info);

// The gain in dB that takes a song of `info` to the target of `settings`, limited so its true peak
// stays at or below kTruePeakCeiling and a boost to kMaxBoostDb: 0 when disabled; for an unknown
// song (none, or not plausible) the gain of a song at kAssumedSongLoudness, never a boost; 0 for
// a silent song.
double loudnessGainDb(const std::optional<LoudnessInfo>& info, const LoudnessSettings& settings);

// The same for the DJ's voice. Songs are heard through the decks' Player Volume, -5 dB at its
// default (kDefaultPlayerVolume); the voice has no such attenuation in the mix, so it is brought
// to the target less the same 5 dB and sits level with the songs at the default sliders. The DJ
// Volume slider acts on top.
double speechGainDb(const std::optional<LoudnessInfo>& info, const LoudnessSettings& settings);

// 10^(dB/20).
double dbToLinear(double db);

// A running EBU R128 measurement of interleaved 16- or 32-bit PCM.
class LoudnessMeter {
public:
    LoudnessMeter(int channels, int sampleRate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    bool valid() const { return state_ != nullptr; }
    void add(const std::int16_t* frames, std::size_t count);
    void add(const std::int32_t* frames, std::size_t count);
    // The integrated loudness (-inf for silence) and the highest true peak of all channels.
    LoudnessInfo result() const;

private:
    void* state_ = nullptr; // the library's ebur128_state (an unnamed struct: no forward name)
    int channels_ = 0;
};

// Decodes the whole song with TDSAudioFileReader and measures it, whatever sample size the reader
// gives (8, 16, 24 or 32 bits), with its audible bounds for `trimThreshold` (the Threshold
// setting). None when the file cannot be decoded, or when `stop` becomes true meanwhile.
std::optional<LoudnessInfo> measureSongLoudness(const QString& fileName,
                                                const std::atomic<bool>* stop = nullptr,
                                                double trimThreshold = -50.0);

// The song's ReplayGain 2.0 track tags (ID3v2 TXXX REPLAYGAIN_TRACK_GAIN, and _PEAK when present;
// a missing peak counts as full scale). None without a readable gain.
std::optional<LoudnessInfo> readReplayGain(const QString& fileName);

// "-18.3 LUFS, peak -0.4 dBTP" (ReplayGain: "... (ReplayGain)").
QString loudnessText(const LoudnessInfo& info);

} // namespace corvalin
