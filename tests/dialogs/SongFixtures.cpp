#include "SongFixtures.h"

#include "TestSupport.h"

#include <QDir>
#include <gtest/gtest.h>

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

} // namespace corvalin::test
