#pragma once

// Song files for the benchmarks, made with ffmpeg in a temporary folder.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdio>

namespace corvalin::bench {

// A stereo 192 kbit/s MP3 of `seconds` of music-like sound: two tones under pink noise.
inline bool makeMp3(const QString& path, int seconds, int hz = 440) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral("anoisesrc=color=pink:amplitude=0.2:r=44100:d=%1").arg(seconds),
             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral("sine=f=%1:r=44100:d=%2").arg(hz).arg(seconds),
             QStringLiteral("-filter_complex"),
             QStringLiteral("amix=inputs=2,aformat=channel_layouts=stereo"), QStringLiteral("-c:a"),
             QStringLiteral("libmp3lame"), QStringLiteral("-b:a"), QStringLiteral("192k"), path});
    if (!p.waitForFinished(300000) || p.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", p.readAllStandardError().constData());
        return false;
    }
    return true;
}

} // namespace corvalin::bench
