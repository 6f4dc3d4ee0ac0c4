#include "AudioFixtures.h"

#include "TestSupport.h"

#include <QProcess>
#include <cmath>
#include <cstring>

namespace corvalin::test {

namespace {

bool encode(const QString& path, const QString& source, const QString& codec, int channels,
            const QStringList& extra = {}) {
    QStringList args{QStringLiteral("-v"),
                     QStringLiteral("error"),
                     QStringLiteral("-y"),
                     QStringLiteral("-f"),
                     QStringLiteral("lavfi"),
                     QStringLiteral("-i"),
                     source,
                     QStringLiteral("-ac"),
                     QString::number(channels),
                     QStringLiteral("-c:a"),
                     codec};
    if (codec == QLatin1String("libmp3lame") || codec == QLatin1String("wmav2"))
        args << QStringLiteral("-b:a") << QStringLiteral("128k");
    args << extra << path;
    return runTool(QStringLiteral("ffmpeg"), args);
}

} // namespace

bool makeTone(const QString& path, double seconds, const QString& codec, int channels, int hz,
              int rate, const QStringList& extra) {
    return encode(path,
                  QStringLiteral("sine=frequency=%1:sample_rate=%2:duration=%3")
                      .arg(hz)
                      .arg(rate)
                      .arg(seconds),
                  codec, channels, extra);
}

bool makeVbrMp3(const QString& path, double seconds, int quality) {
    return runTool(
        QStringLiteral("ffmpeg"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
         QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("aevalsrc=0.4*sin(2*PI*440*t)+if(lt(mod(t\\,2)\\,1)\\,0.3*(random(0)*2-1)"
                        "\\,0)|0.4*sin(2*PI*660*t):s=44100:d=%1")
             .arg(seconds),
         QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-q:a"),
         QString::number(quality), path});
}

bool makeSquare(const QString& path, double seconds, const QString& codec, int channels) {
    // One expression per channel: letting ffmpeg upmix would lower the level by 3 dB.
    QStringList each;
    for (int i = 0; i < channels; ++i)
        each << QStringLiteral("if(lt(mod(t*100\\,1)\\,0.5)\\,1\\,-1)");
    return encode(path,
                  QStringLiteral("aevalsrc=%1:s=44100:d=%2").arg(each.join(u'|')).arg(seconds),
                  codec, channels);
}

bool makeRightOnlySquare(const QString& path, double seconds) {
    return encode(path,
                  QStringLiteral("aevalsrc=0|if(lt(mod(t*100\\,1)\\,0.5)\\,1\\,-1):s=44100:d=%1")
                      .arg(seconds),
                  QStringLiteral("pcm_s16le"), 2);
}

bool makeRateChangeMp3(const QString& path) {
    const QStringList noToc{QStringLiteral("-write_xing"), QStringLiteral("0")};
    const QString first = path + QStringLiteral(".44");
    const QString second = path + QStringLiteral(".48");
    if (!makeTone(first, 3.0, QStringLiteral("libmp3lame"), 2, 440, 44100,
                  noToc + QStringList{QStringLiteral("-f"), QStringLiteral("mp3")}) ||
        !makeTone(second, 2.0, QStringLiteral("libmp3lame"), 2, 440, 48000,
                  noToc + QStringList{QStringLiteral("-f"), QStringLiteral("mp3")}))
        return false;
    writeWholeFile(path, readWholeFile(first) + readWholeFile(second));
    return true;
}

QByteArray ffmpegPcm(const QString& path, const QString& rawFormat) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-threads"),
             QStringLiteral("1"), QStringLiteral("-i"), path, QStringLiteral("-f"), rawFormat,
             QStringLiteral("-")});
    if (!p.waitForFinished(60000))
        return {};
    return p.readAllStandardOutput();
}

std::vector<std::int16_t> toSamples(const QByteArray& bytes) {
    std::vector<std::int16_t> s(static_cast<std::size_t>(bytes.size()) / 2);
    std::memcpy(s.data(), bytes.constData(), s.size() * 2);
    return s;
}

double toneAmplitude(const std::int16_t* stereo, std::size_t frames, int channel, double hz) {
    double re = 0, im = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double a = 2 * M_PI * hz * static_cast<double>(i) / 44100.0;
        re += stereo[2 * i + static_cast<std::size_t>(channel)] * std::cos(a);
        im += stereo[2 * i + static_cast<std::size_t>(channel)] * std::sin(a);
    }
    return frames ? 2 * std::sqrt(re * re + im * im) / static_cast<double>(frames) : 0;
}

} // namespace corvalin::test
