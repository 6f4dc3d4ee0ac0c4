#include "TestSupport.h"
#include "library/PlayList.h"
#include "library/SongNames.h"
#include "platform/Clock.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace Qt::StringLiterals;
using corvalin::test::readWholeFile;
using corvalin::test::runTool;
using corvalin::test::sourceDir;
using corvalin::test::TempFolder;
using corvalin::test::writeWholeFile;

namespace {

double durationSeconds(const QString& path) {
    QProcess probe;
    probe.start(u"ffprobe"_s, {u"-v"_s, u"error"_s, u"-show_entries"_s, u"format=duration"_s,
                               u"-of"_s, u"csv=p=0"_s, path});
    if (!probe.waitForFinished(30000) || probe.exitCode() != 0)
        return -1;
    bool ok = false;
    const double seconds = QString::fromUtf8(probe.readAllStandardOutput()).trimmed().toDouble(&ok);
    return ok ? seconds : -1;
}

} // namespace

TEST(SampleSongs, ScriptMakesTaggedSongsAndListsAndKeepsWhatExists) {
    TempFolder station;
    const QString script = sourceDir() + u"/scripts/make-sample-songs.sh"_s;
    ASSERT_TRUE(runTool(u"bash"_s, {script, station.path()}, 120000));

    const QString songsDir = station.file(u"MP3 Files"_s);
    const QFileInfoList songs = QDir(songsDir).entryInfoList(QDir::Files, QDir::Name);
    ASSERT_EQ(songs.size(), 6);
    QSet<QString> titles;
    QSet<QString> paths;
    for (const QFileInfo& song : songs) {
        const QString name = song.fileName();
        ASSERT_TRUE(name.startsWith(u"Corvalin Radio Sample - "_s) && name.endsWith(u".mp3"_s))
            << name.toStdString();
        EXPECT_EQ(ArtistFromFileName(name), u"Corvalin Radio Sample"_s);
        const QString title = TitleFromFileName(name);
        EXPECT_FALSE(title.isEmpty());
        titles.insert(title);
        paths.insert(song.canonicalFilePath());

        _rSong fromTag;
        LoadSongInfo(fromTag, asTag, song.filePath());
        EXPECT_EQ(fromTag.Artist, u"Corvalin Radio Sample"_s) << name.toStdString();
        EXPECT_EQ(fromTag.Title, title) << name.toStdString();

        const double seconds = durationSeconds(song.filePath());
        EXPECT_GE(seconds, 15.0) << name.toStdString();
        EXPECT_LE(seconds, 40.0) << name.toStdString();
    }
    EXPECT_EQ(titles.size(), 6);

    StandardRandom random(3);
    for (const QString& list : {u"Morning"_s, u"Afternoon"_s, u"Evening"_s, u"Midnight"_s}) {
        const QString file = station.file(u"Lists/"_s + list + u".lst"_s);
        const QByteArray bytes = readWholeFile(file);
        EXPECT_EQ(bytes.count("\r\n"), bytes.count('\n')) << list.toStdString();
        TPlayListTable table;
        ASSERT_EQ(LoadList(file, table, random).status, TListLoadResult::Loaded);
        ASSERT_EQ(table.rowCount(), 6) << list.toStdString();
        QSet<QString> named;
        // Entries are relative to the station folder, so it can move.
        for (int i = 0; i < table.rowCount(); ++i) {
            EXPECT_EQ(table.cell(i, plcPlayed), u"F"_s);
            const QString entry = table.cell(i, plcFileName);
            EXPECT_TRUE(entry.startsWith(u"MP3 Files/"_s)) << entry.toStdString();
        }
        const TListPathForms forms = ResolveListEntries(table, ListStationFolder(file));
        EXPECT_EQ(forms.found, 0);
        for (int i = 0; i < table.rowCount(); ++i) {
            const QString path = table.cell(i, plcFileName);
            EXPECT_TRUE(QFileInfo(path).isAbsolute()) << path.toStdString();
            named.insert(QFileInfo(path).canonicalFilePath());
        }
        EXPECT_EQ(named, paths) << list.toStdString();
    }

    // A second run replaces nothing: the user's list and a changed song stay as they are.
    const QString morning = station.file(u"Lists/Morning.lst"_s);
    writeWholeFile(morning, "F/my/own/song.mp3\r\n");
    const QString first = songs.first().filePath();
    writeWholeFile(first, "not an mp3 any more");
    ASSERT_TRUE(runTool(u"bash"_s, {script, station.path()}, 120000));
    EXPECT_EQ(readWholeFile(morning), "F/my/own/song.mp3\r\n");
    EXPECT_EQ(readWholeFile(first), "not an mp3 any more");
}
