#pragma once

// Songs at known loudness made with sox and ffmpeg, and FFmpeg's own ebur128 reading of a file,
// for the loudness tests (header only: shared by the loudness test programs alone).

#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace corvalin::test {

struct FfmpegLoudness {
    double integrated = std::numeric_limits<double>::quiet_NaN(); // LUFS
    double truePeak = std::numeric_limits<double>::quiet_NaN();   // dBTP
};

// FFmpeg's ebur128 filter on the file (its own meter, not ours).
inline FfmpegLoudness ffmpegLoudness(const QString& path, bool dualMono = false) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-hide_banner"), QStringLiteral("-nostats"), QStringLiteral("-i"), path,
             QStringLiteral("-af"),
             QStringLiteral("ebur128=peak=true:dualmono=%1").arg(dualMono ? 1 : 0),
             QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    p.waitForFinished(120000);
    const QString out = QString::fromUtf8(p.readAllStandardError());
    const qsizetype summary = out.lastIndexOf(QStringLiteral("Summary:"));
    const QString tail = summary >= 0 ? out.mid(summary) : out;
    FfmpegLoudness r;
    const QRegularExpression i(QStringLiteral("I:\\s+(-?[0-9.]+|-inf) LUFS"));
    const QRegularExpression peak(QStringLiteral("Peak:\\s+(-?[0-9.]+|-inf) dBFS"));
    if (const auto m = i.match(tail); m.hasMatch())
        r.integrated = m.captured(1).toDouble();
    if (const auto m = peak.match(tail); m.hasMatch())
        r.truePeak = m.captured(1).toDouble();
    return r;
}

// A 44.1 kHz stereo file of `seconds` of pink noise (or a 1 kHz tone when `tone`) brought to
// `lufs` as FFmpeg's ebur128 filter measures it. `codec` as ffmpeg names it, `extra` further
// output options (a sample format).
inline bool makeSongAt(const QString& path, double lufs, double seconds, bool tone = false,
                       const QString& codec = QStringLiteral("pcm_s16le"),
                       const QStringList& extra = {}) {
    const QString raw = path + QStringLiteral(".raw.wav");
    QStringList synth = {QStringLiteral("-n"),    QStringLiteral("-r"),
                         QStringLiteral("44100"), QStringLiteral("-c"),
                         QStringLiteral("2"),     QStringLiteral("-b"),
                         QStringLiteral("16"),    raw,
                         QStringLiteral("synth"), QString::number(seconds)};
    synth << (tone ? QStringLiteral("sine") : QStringLiteral("pinknoise"));
    if (tone)
        synth << QStringLiteral("1000");
    synth << QStringLiteral("gain") << QStringLiteral("-25");
    if (!runTool(QStringLiteral("sox"), synth))
        return false;
    const FfmpegLoudness measured = ffmpegLoudness(raw);
    if (!std::isfinite(measured.integrated))
        return false;
    const double gain = lufs - measured.integrated;
    QStringList args = {QStringLiteral("-y"),
                        QStringLiteral("-v"),
                        QStringLiteral("error"),
                        QStringLiteral("-i"),
                        raw,
                        QStringLiteral("-af"),
                        QStringLiteral("volume=%1dB").arg(gain, 0, 'f', 3),
                        QStringLiteral("-c:a"),
                        codec};
    args << extra << path;
    const bool ok = runTool(QStringLiteral("ffmpeg"), args);
    QFile::remove(raw);
    return ok;
}

// A quiet 1 kHz tone (-30 dBFS) with a near-full-scale click every second: low loudness, true
// peak close to 0 dBFS.
inline bool makeQuietWithPeaks(const QString& path, double seconds) {
    const QString expr =
        QStringLiteral("0.0316*sin(2*PI*1000*t)+if(eq(mod(n\\,44100)\\,0)\\,0.95\\,0)");
    return runTool(QStringLiteral("ffmpeg"),
                   {QStringLiteral("-y"), QStringLiteral("-v"), QStringLiteral("error"),
                    QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                    QStringLiteral("aevalsrc=%1|%1:s=44100:d=%2").arg(expr).arg(seconds),
                    QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), path});
}

// Interleaved 16-bit stereo at 44.1 kHz written as a WAV file.
inline void writeStereoWav(const QString& path, const std::vector<std::int16_t>& samples) {
    QByteArray out;
    auto u32 = [&out](std::uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&out](std::uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); };
    const auto bytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.append("RIFF");
    u32(36 + bytes);
    out.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(2);
    u32(44100);
    u32(44100 * 4);
    u16(4);
    u16(16);
    out.append("data");
    u32(bytes);
    out.append(reinterpret_cast<const char*>(samples.data()), static_cast<qsizetype>(bytes));
    writeWholeFile(path, out);
}

} // namespace corvalin::test
