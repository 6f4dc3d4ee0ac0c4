#pragma once

// Song files for the benchmarks, made with ffmpeg in a temporary folder.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdio>

namespace corvalin::bench {

// An MP3 of `seconds` of music-like sound (two tones under pink noise) at `kbps` kbit/s,
// stereo or mono.
inline bool makeMp3(const QString& path, int seconds, int hz = 440, int kbps = 192,
                    int channels = 2) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral("anoisesrc=color=pink:amplitude=0.2:r=44100:d=%1").arg(seconds),
             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral("sine=f=%1:r=44100:d=%2").arg(hz).arg(seconds),
             QStringLiteral("-filter_complex"),
             QStringLiteral("amix=inputs=2,aformat=channel_layouts=%1")
                 .arg(channels == 1 ? QStringLiteral("mono") : QStringLiteral("stereo")),
             QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"),
             QStringLiteral("%1k").arg(kbps), path});
    if (!p.waitForFinished(300000) || p.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", p.readAllStandardError().constData());
        return false;
    }
    return true;
}

} // namespace corvalin::bench
