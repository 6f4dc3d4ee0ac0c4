#include "SongFixtures.h"

#include "TestSupport.h"

#include <QDir>
#include <gtest/gtest.h>
#include <utility>

namespace corvalin::test {

const QByteArray& songBytes() {
    static const QByteArray bytes = [] {
        TempFolder dir;
        const QString path = dir.file(QStringLiteral("tone.mp3"));
        EXPECT_TRUE(
            runTool(QStringLiteral("ffmpeg"),
                    {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                     QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("sine=frequency=440:duration=0.5"), QStringLiteral("-ac"),
                     QStringLiteral("1"), QStringLiteral("-ar"), QStringLiteral("22050"),
                     QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"),
                     QStringLiteral("32k"), QStringLiteral("-id3v2_version"), QStringLiteral("0"),
                     QStringLiteral("-map_metadata"), QStringLiteral("-1"), path}));
        return readWholeFile(path);
    }();
    return bytes;
}

QString makeSong(const QString& path) {
    QDir().mkpath(path.left(path.lastIndexOf(QLatin1Char('/'))));
    writeWholeFile(path, songBytes());
    return path;
}

QByteArray taggedSongBytes(const QString& artist, const QString& title) {
    const auto bigEndian = [](quint32 n, int bits) {
        QByteArray bytes;
        for (int shift = 3 * bits; shift >= 0; shift -= bits)
            bytes += static_cast<char>((n >> shift) & ((1u << bits) - 1));
        return bytes;
    };
    QByteArray frames;
    for (const auto& [id, text] : {std::pair{"TPE1", artist}, std::pair{"TIT2", title},
                                   std::pair{"TSSE", QStringLiteral("test fixture")}}) {
        if (text.isEmpty())
            continue;
        const QByteArray content = '\0' + text.toLatin1();
        frames += QByteArray(id) + bigEndian(static_cast<quint32>(content.size()), 8) +
                  QByteArray(2, '\0') + content;
    }
    return QByteArray("ID3\x03\x00\x00", 6) + bigEndian(static_cast<quint32>(frames.size()), 7) +
           frames + songBytes();
}

} // namespace corvalin::test
