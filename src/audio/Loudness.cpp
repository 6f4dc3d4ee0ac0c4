#include "audio/Loudness.h"

#include "audio/DSAudioFileRead.h"
#include "audio/VolumeControls.h"
#include "library/ID3v2.h"

#include <QStringDecoder>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <ebur128.h>
#include <limits>
#include <vector>

namespace corvalin {

double dbToLinear(double db) {
    return std::pow(10.0, db / 20.0);
}

bool plausibleLoudness(const LoudnessInfo& info) {
    const double lufs = info.Integrated;
    const double peak = info.TruePeak;
    const bool silent = std::isinf(lufs) && lufs < 0.0;
    const bool loudnessOk = silent || (lufs >= kLoudnessFloor && lufs <= kLoudnessCeiling);
    const bool peakOk =
        (std::isinf(peak) && peak < 0.0) || (std::isfinite(peak) && peak <= kTruePeakLimit);
    return loudnessOk && peakOk;
}

double loudnessGainDb(const std::optional<LoudnessInfo>& info, const LoudnessSettings& settings) {
    if (!settings.Enabled)
        return 0.0;
    if (!info || !plausibleLoudness(*info))
        return std::min(0.0, settings.Target - kAssumedSongLoudness);
    if (!std::isfinite(info->Integrated))
        return 0.0;
    double gain = std::min(settings.Target - info->Integrated, kMaxBoostDb);
    if (std::isfinite(info->TruePeak))
        gain = std::min(gain, kTruePeakCeiling - info->TruePeak);
    return gain;
}

double speechGainDb(const std::optional<LoudnessInfo>& info, const LoudnessSettings& settings) {
    LoudnessSettings heard = settings;
    heard.Target += kDefaultPlayerVolume / 100.0;
    return loudnessGainDb(info, heard);
}

double silenceThresholdDb(double integratedLufs, double thresholdSetting) {
    if (!std::isfinite(integratedLufs))
        return thresholdSetting;
    return std::max(thresholdSetting, integratedLufs - 40.0);
}

void findAudibleBounds(const std::vector<float>& blockPeakDb, std::int64_t blockMs,
                       std::int64_t durationMs, double thresholdSetting, LoudnessInfo* info) {
    const double threshold = silenceThresholdDb(info->Integrated, thresholdSetting);
    const auto n = static_cast<std::int64_t>(blockPeakDb.size());
    std::int64_t first = -1;
    std::int64_t last = -1;
    for (std::int64_t i = 0; i < n; ++i) {
        if (blockPeakDb[static_cast<std::size_t>(i)] > threshold) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    info->TrimThreshold = thresholdSetting;
    info->AudibleFromMs = 0;
    info->AudibleToMs = durationMs;
    info->SilentThroughout = first < 0;
    if (first < 0 || durationMs <= 0)
        return; // nothing to tell music from silence by: played as it is
    const std::int64_t from = std::max<std::int64_t>(0, first * blockMs - kTrimMarginMs);
    const std::int64_t to = std::min(durationMs, (last + 1) * blockMs + kTrimMarginMs);
    if (from <= kMaxTrimMs)
        info->AudibleFromMs = from;
    if (durationMs - to <= kMaxTrimMs)
        info->AudibleToMs = to;
}

namespace {

// Peak of each kPeakBlockMs block, in dBFS, as samples go by.
constexpr std::int64_t kPeakBlockMs = 10;
class BlockPeaks {
public:
    BlockPeaks(int channels, int sampleRate)
        : channels_(static_cast<std::size_t>(channels)),
          blockFrames_(std::max<std::int64_t>(1, std::int64_t{sampleRate} * kPeakBlockMs / 1000)) {}
    // `scale`: the full-scale value of the samples.
    template <class T> void add(const T* samples, std::size_t frames, float scale) {
        for (std::size_t f = 0; f < frames; ++f) {
            for (std::size_t c = 0; c < channels_; ++c) {
                const float v = std::abs(static_cast<float>(samples[f * channels_ + c])) / scale;
                peak_ = std::max(peak_, v);
            }
            if (++count_ == blockFrames_)
                close();
        }
    }
    std::vector<float> take() {
        if (count_ > 0)
            close();
        return std::move(peaks_);
    }

private:
    void close() {
        peaks_.push_back(peak_ > 0.0f ? 20.0f * std::log10(peak_)
                                      : -std::numeric_limits<float>::infinity());
        peak_ = 0.0f;
        count_ = 0;
    }
    std::size_t channels_;
    std::int64_t blockFrames_;
    std::int64_t count_ = 0;
    float peak_ = 0.0f;
    std::vector<float> peaks_;
};

} // namespace

namespace {
ebur128_state* meterState(void* p) {
    return static_cast<ebur128_state*>(p);
}
} // namespace

LoudnessMeter::LoudnessMeter(int channels, int sampleRate) : channels_(channels) {
    if (channels < 1 || sampleRate < 1)
        return;
    ebur128_state* st =
        ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate),
                     EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    // A mono source is heard on both speakers: each side carries it at full level.
    if (st && channels == 1)
        ebur128_set_channel(st, 0, EBUR128_DUAL_MONO);
    state_ = st;
}

LoudnessMeter::~LoudnessMeter() {
    if (state_) {
        ebur128_state* st = meterState(state_);
        ebur128_destroy(&st);
    }
}

void LoudnessMeter::add(const std::int16_t* frames, std::size_t count) {
    if (state_ && count > 0)
        ebur128_add_frames_short(meterState(state_), frames, count);
}

void LoudnessMeter::add(const std::int32_t* frames, std::size_t count) {
    if (state_ && count > 0)
        ebur128_add_frames_int(meterState(state_), frames, count);
}

LoudnessInfo LoudnessMeter::result() const {
    LoudnessInfo info;
    info.Integrated = -std::numeric_limits<double>::infinity();
    info.TruePeak = -std::numeric_limits<double>::infinity();
    if (!state_)
        return info;
    double lufs = 0.0;
    if (ebur128_loudness_global(meterState(state_), &lufs) == EBUR128_SUCCESS)
        info.Integrated = lufs;
    double peak = 0.0;
    for (int c = 0; c < channels_; ++c) {
        double p = 0.0;
        if (ebur128_true_peak(meterState(state_), static_cast<unsigned>(c), &p) == EBUR128_SUCCESS)
            peak = std::max(peak, p);
    }
    if (peak > 0.0)
        info.TruePeak = 20.0 * std::log10(peak);
    return info;
}

std::optional<LoudnessInfo>
measureSongLoudness(const QString& fileName, const std::atomic<bool>* stop, double trimThreshold) {
    try {
        TDSAudioFileReader reader(fileName);
        const TWaveFormat& f = reader.Format();
        const int channels = f.nChannels;
        const int bits = f.wBitsPerSample;
        if (channels < 1 || (bits != 8 && bits != 16 && bits != 24 && bits != 32))
            return std::nullopt;
        LoudnessMeter meter(channels, static_cast<int>(f.nSamplesPerSec));
        if (!meter.valid())
            return std::nullopt;
        BlockPeaks peaks(channels, static_cast<int>(f.nSamplesPerSec));
        std::int64_t totalFrames = 0;
        const std::uint32_t block = f.nBlockAlign;
        std::vector<std::uint8_t> bytes(block * 8192u);
        std::vector<std::int16_t> narrow;
        std::vector<std::int32_t> wide;
        for (;;) {
            if (stop && stop->load(std::memory_order_relaxed))
                return std::nullopt;
            const std::uint32_t got =
                reader.Read(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
            if (got == 0)
                break;
            const std::size_t frames = got / block;
            const std::size_t samples = frames * static_cast<std::size_t>(channels);
            totalFrames += static_cast<std::int64_t>(frames);
            switch (bits) {
            case 8:
                narrow.resize(samples);
                for (std::size_t i = 0; i < samples; ++i)
                    narrow[i] = static_cast<std::int16_t>((bytes[i] - 128) * 256);
                meter.add(narrow.data(), frames);
                peaks.add(narrow.data(), frames, 32768.0f);
                break;
            case 16:
                narrow.resize(samples);
                std::memcpy(narrow.data(), bytes.data(), samples * 2);
                meter.add(narrow.data(), frames);
                peaks.add(narrow.data(), frames, 32768.0f);
                break;
            case 24:
                // Packed little-endian: each sample into the top three bytes of a 32-bit one.
                wide.resize(samples);
                for (std::size_t i = 0; i < samples; ++i) {
                    const std::uint8_t* p = bytes.data() + 3 * i;
                    wide[i] = static_cast<std::int32_t>(std::uint32_t{p[0]} << 8 |
                                                        std::uint32_t{p[1]} << 16 |
                                                        std::uint32_t{p[2]} << 24);
                }
                meter.add(wide.data(), frames);
                peaks.add(wide.data(), frames, 2147483648.0f);
                break;
            default:
                wide.resize(samples);
                std::memcpy(wide.data(), bytes.data(), samples * 4);
                meter.add(wide.data(), frames);
                peaks.add(wide.data(), frames, 2147483648.0f);
                break;
            }
        }
        LoudnessInfo info = meter.result();
        const std::int64_t durationMs = totalFrames * 1000 / std::int64_t{f.nSamplesPerSec};
        findAudibleBounds(peaks.take(), kPeakBlockMs, durationMs, trimThreshold, &info);
        return info;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

namespace {

// The description and value of a TXXX frame's content.
bool splitUserText(const QByteArray& content, QString* description, QString* value) {
    if (content.isEmpty())
        return false;
    const char encoding = content.at(0);
    const QByteArray body = content.mid(1);
    const bool wide = encoding == 1 || encoding == 2;
    qsizetype end = -1;
    if (wide) {
        for (qsizetype i = 0; i + 1 < body.size(); i += 2) {
            if (body.at(i) == 0 && body.at(i + 1) == 0) {
                end = i;
                break;
            }
        }
    } else {
        end = body.indexOf('\0');
    }
    if (end < 0)
        return false;
    const QByteArray first = body.left(end);
    const QByteArray second = body.mid(end + (wide ? 2 : 1));
    auto decode = [encoding](const QByteArray& raw) {
        switch (encoding) {
        case 1: {
            QStringDecoder d(QStringDecoder::Utf16, QStringDecoder::Flag::ConvertInitialBom);
            if (raw.startsWith("\xFF\xFE"))
                d = QStringDecoder(QStringDecoder::Utf16LE);
            else if (raw.startsWith("\xFE\xFF"))
                d = QStringDecoder(QStringDecoder::Utf16BE);
            const QByteArray text =
                raw.startsWith("\xFF\xFE") || raw.startsWith("\xFE\xFF") ? raw.mid(2) : raw;
            return QString(d.decode(text));
        }
        case 2: {
            QStringDecoder d(QStringDecoder::Utf16BE);
            return QString(d.decode(raw));
        }
        case 3:
            return QString::fromUtf8(raw);
        default:
            return QString::fromLatin1(raw);
        }
    };
    *description = decode(first);
    *value = decode(second);
    // A value may end in its own terminator.
    while (value->endsWith(QChar(0)))
        value->chop(1);
    return true;
}

// "-6.20 dB", "+1.5 dB", "-3.1": the number, or none.
std::optional<double> leadingNumber(const QString& text) {
    QString t = text.trimmed();
    if (t.endsWith(QLatin1String("dB"), Qt::CaseInsensitive))
        t.chop(2);
    t = t.trimmed();
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

} // namespace

std::optional<LoudnessInfo> readReplayGain(const QString& fileName) {
    TID3v2 tag;
    if (!tag.ReadTag(fileName) || !tag.TagFound)
        return std::nullopt;
    std::optional<double> gain;
    std::optional<double> peak;
    for (const QByteArray& frame : tag.OtherFrames) {
        if (frame.size() < 11 || !frame.startsWith("TXXX"))
            continue;
        const auto* h = reinterpret_cast<const unsigned char*>(frame.constData());
        const qsizetype size = (qsizetype{h[4]} << 24) | (qsizetype{h[5]} << 16) |
                               (qsizetype{h[6]} << 8) | qsizetype{h[7]};
        QString description;
        QString value;
        if (!splitUserText(frame.mid(10, size), &description, &value))
            continue;
        if (description.compare(QLatin1String("REPLAYGAIN_TRACK_GAIN"), Qt::CaseInsensitive) == 0)
            gain = leadingNumber(value);
        else if (description.compare(QLatin1String("REPLAYGAIN_TRACK_PEAK"), Qt::CaseInsensitive) ==
                 0)
            peak = leadingNumber(value);
    }
    if (!gain)
        return std::nullopt;
    LoudnessInfo info;
    info.From = LoudnessInfo::Source::ReplayGain;
    // ReplayGain 2.0's gain is relative to -18 LUFS.
    info.Integrated = -18.0 - *gain;
    info.TruePeak = peak && *peak > 0.0 ? 20.0 * std::log10(*peak) : 0.0;
    // A gain no song can need is a broken tag: the song is measured instead.
    if (!plausibleLoudness(info))
        return std::nullopt;
    return info;
}

QString loudnessText(const LoudnessInfo& info) {
    if (!std::isfinite(info.Integrated))
        return QStringLiteral("silent");
    QString text = QStringLiteral("%1 LUFS").arg(info.Integrated, 0, 'f', 1);
    if (std::isfinite(info.TruePeak))
        text += QStringLiteral(", peak %1 dBTP").arg(info.TruePeak, 0, 'f', 1);
    if (info.From == LoudnessInfo::Source::ReplayGain)
        text += QStringLiteral(" (ReplayGain)");
    return text;
}

} // namespace corvalin
