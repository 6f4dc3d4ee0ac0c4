// The play list editor's song details show the loudness the station measured, when known.

#include "TestSupport.h"
#include "audio/LoudnessScanner.h"
#include "dialogs/SongDetails.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace corvalin;

TEST(LoudnessDetails, ShownForAMeasuredSongAndGoneWhenTheSongChanged) {
    test::TempFolder dir;
    const QString song = dir.file(QStringLiteral("Artist - Title.mp3"));
    const QString cacheFile = dir.file(QStringLiteral("loudness.json"));
    test::writeWholeFile(song, QByteArray(2000, 'a'));
    EXPECT_EQ(LoudnessDetailsOf(song, cacheFile), QString()) << "no cache yet";
    LoudnessCache cache(cacheFile);
    cache.insert(song, *stampOf(song), {-14.24, -0.31, LoudnessInfo::Source::Measured});
    ASSERT_TRUE(cache.save());
    EXPECT_EQ(LoudnessDetailsOf(song, cacheFile),
              QStringLiteral("Loudness: -14.2 LUFS, peak -0.3 dBTP"));
    QFile f(song);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("more");
    f.close();
    EXPECT_EQ(LoudnessDetailsOf(song, cacheFile), QString());
    EXPECT_EQ(LoudnessDetailsOf(dir.file(QStringLiteral("missing.mp3")), cacheFile), QString());
}

TEST(LoudnessDetails, ReplayGainTagsAreShownWhenNotMeasured) {
    test::TempFolder dir;
    const QString song = dir.file(QStringLiteral("tagged.mp3"));
    test::writeWholeFile(song, QByteArray(2000, '\0'));
    ASSERT_TRUE(test::runTool(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import sys\nfrom mutagen.id3 import ID3, TXXX\nt = ID3()\n"
                        "t.add(TXXX(encoding=3, desc='REPLAYGAIN_TRACK_GAIN', text='+2.00 dB'))\n"
                        "t.save(sys.argv[1])\n"),
         song}));
    EXPECT_EQ(LoudnessDetailsOf(song, dir.file(QStringLiteral("none.json"))),
              QStringLiteral("Loudness: -20.0 LUFS, peak 0.0 dBTP (ReplayGain)"));
}
