// --import-folder: a slot's list from every MP3 file under a folder, nested folders included,
// other files left out, in path order; through the program too.
#include "ProgramProcess.h"
#include "TestSupport.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "station/ImportFolder.h"

#include <QDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace corvalin;
using namespace corvalin::test;
using namespace Qt::StringLiterals;

namespace {

class ImportFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"Zeta - Last.mp3", "b/Beta - Two.MP3", "a/Alpha - One.mp3",
                                 "a/deep/er/Gamma - Three.mp3", "a/cover.jpg", "notes.txt",
                                 "b/Beta - Two.mp3.part", "mp3/readme"})
            make(QString::fromUtf8(name));
    }
    void make(const QString& name) {
        const QString path = music.file(name);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        writeWholeFile(path, "x");
    }
    QStringList expected() const {
        return {music.file(u"Zeta - Last.mp3"_s), music.file(u"a/Alpha - One.mp3"_s),
                music.file(u"a/deep/er/Gamma - Three.mp3"_s), music.file(u"b/Beta - Two.MP3"_s)};
    }

    TempFolder music;
    TempFolder station;
    TempFolder config;
    StandardRandom random{9};
};

TEST_F(ImportFolderTest, FindsEveryMp3UnderTheFolderInPathOrder) {
    EXPECT_EQ(mp3FilesUnder(music.path()).files, expected());
    EXPECT_TRUE(mp3FilesUnder(music.file(u"mp3"_s)).files.isEmpty());
}

// A file made under exactly these bytes of a name (not UTF-8, say), relative to `folder`.
void makeByBytes(const QString& folder, const QByteArray& name) {
    const QByteArray path = nativeFileName(folder) + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path.toStdString();
    ASSERT_EQ(::write(fd, "x", 1), 1);
    ::close(fd);
}

// Names are taken by their bytes: Latin-1 names are imported with the UTF-8 ones (and a folder of
// them alone is no "no MP3 files"), each written to the list byte for byte; what is left out is
// counted with its reason.
TEST_F(ImportFolderTest, NamesThatAreNotUtf8AreImportedByTheirBytes) {
    const QString latin = music.file(u"latin/"_s);
    ASSERT_TRUE(QDir().mkpath(latin));
    const QList<QByteArray> names = {"Caf\xe9 - Ol\xe9.mp3", "Bj\xf6rk - J\xf3ga.mp3",
                                     "Na\xefve - Song.MP3"};
    for (const QByteArray& name : names)
        makeByBytes(latin, name);
    const SettingsStore store(SettingsPaths{station.path(), config.path()});
    ASSERT_TRUE(QDir().mkpath(station.file(u"Lists"_s)));

    const ImportResult alone = importFolder(store, latin, 2, QTime(9, 0), random);
    ASSERT_TRUE(alone.ok) << alone.error.toStdString();
    EXPECT_EQ(alone.songs, 3);
    EXPECT_TRUE(alone.skippedText().isEmpty());
    QByteArray expectedBytes;
    for (const QByteArray& name : {names[1], names[0], names[2]}) // byte order
        expectedBytes += "F" + nativeFileName(latin) + name + "\r\n";
    EXPECT_EQ(readWholeFile(alone.listPath), expectedBytes);
    // Each entry opens its file.
    for (const QString& song : mp3FilesUnder(latin).files)
        EXPECT_TRUE(isRegularFile(song)) << nativeFileName(song).toStdString();

    // With the UTF-8 names, a link back to the top and a name no list line can hold.
    ASSERT_EQ(::symlink(nativeFileName(music.path()).constData(),
                        nativeFileName(music.file(u"a/loop"_s)).constData()),
              0);
    makeByBytes(music.file(u"b/"_s), "Line\nBreak.mp3");
    const ImportResult all = importFolder(store, music.path(), 2, QTime(9, 0), random);
    ASSERT_TRUE(all.ok) << all.error.toStdString();
    EXPECT_EQ(all.songs, 4 + 3);
    EXPECT_EQ(all.repeatedFolders, 1);
    EXPECT_EQ(all.unlistableNames, 1);
    EXPECT_EQ(all.skippedText(), u"skipped: 1 folder reached again through a link, 1 file whose "
                                 u"name holds a line break"_s);
    EXPECT_EQ(readWholeFile(all.listPath).count('\n'), 7);
}

TEST_F(ImportFolderTest, SlotNames) {
    const struct {
        const char* name;
        int slot;
    } cases[] = {{"Morning", 1},  {"afternoon", 2},  {" EVENING ", 3},
                 {"Midnight", 4}, {"Late Night", 4}, {"2", 2},
                 {"Noon", 0},     {"", 0},           {"5", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(slotFromName(QString::fromUtf8(c.name)), c.slot) << c.name;
}

TEST_F(ImportFolderTest, WritesTheSlotsListWithTheListWriter) {
    const SettingsStore store(SettingsPaths{station.path(), config.path()});
    ASSERT_TRUE(QDir().mkpath(station.file(u"Lists"_s)));
    writeWholeFile(station.file(u"Lists/Evening.lst"_s), "Fold.mp3\r\n");
    const ImportResult result = importFolder(store, music.path(), 3, QTime(9, 0), random);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.songs, 4);
    EXPECT_EQ(result.listPath, station.file(u"Lists/Evening.lst"_s));
    QByteArray lines;
    for (const QString& song : expected())
        lines += "F" + song.toUtf8() + "\r\n";
    EXPECT_EQ(readWholeFile(result.listPath), lines);

    // A slot whose list the operator moved elsewhere gets its own file.
    ASSERT_TRUE(store.update(false, [&](IniFile& ini) {
        ini.writeString(u"DJ1"_s, u"PlayList"_s, config.file(u"mine/morning.lst"_s));
    }));
    const ImportResult morning = importFolder(store, music.file(u"a"_s), 1, QTime(9, 0), random);
    ASSERT_TRUE(morning.ok) << morning.error.toStdString();
    EXPECT_EQ(morning.listPath, config.file(u"mine/morning.lst"_s));
    EXPECT_EQ(morning.songs, 2);

    // Nothing to import: the list stays as it was.
    const ImportResult none = importFolder(store, music.file(u"mp3"_s), 3, QTime(9, 0), random);
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(readWholeFile(result.listPath), lines);
    EXPECT_FALSE(importFolder(store, music.file(u"missing"_s), 3, QTime(9, 0), random).ok);
}

TEST_F(ImportFolderTest, TheProgramImportsIntoItsStationFolder) {
    TempFolder root;
    for (const char* folder : {"home", "config", "data", "run"})
        ASSERT_TRUE(QDir().mkpath(root.file(QString::fromLatin1(folder))));
    const ProgramRun run =
        runProgram(QStringLiteral(CORVALIN_PROGRAM),
                   {u"--import-folder"_s, music.path(), u"--slot"_s, u"Afternoon"_s},
                   stationEnvironment(root.path()));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString list = root.file(u"data/CorvalinRadio/Lists/Afternoon.lst"_s);
    EXPECT_TRUE(run.out.contains(list)) << run.out.toStdString();
    QByteArray lines;
    for (const QString& song : expected())
        lines += "F" + song.toUtf8() + "\r\n";
    EXPECT_EQ(readWholeFile(list), lines);
    // The other slots keep their sample lists.
    EXPECT_TRUE(readWholeFile(root.file(u"data/CorvalinRadio/Lists/Morning.lst"_s))
                    .startsWith("FMP3 Files/"));

    const ProgramRun badSlot =
        runProgram(QStringLiteral(CORVALIN_PROGRAM),
                   {u"--import-folder"_s, music.path(), u"--slot"_s, u"Noon"_s},
                   stationEnvironment(root.path()));
    EXPECT_EQ(badSlot.exitCode, 2);
    EXPECT_TRUE(badSlot.err.contains(u"Noon"_s));

    // A folder named in Latin-1, holding only Latin-1 names, given by its bytes on the command
    // line: every song is written, and the line says what was written and what was left out.
    const QByteArray folder = nativeFileName(music.path()) + "M\xfasica";
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    makeByBytes(fileNameFromNative(folder + "/"), "Caf\xe9 - Ol\xe9.mp3");
    makeByBytes(fileNameFromNative(folder + "/"), "Bad\nName.mp3");
    const ProgramRun latin = runProgram(
        u"sh"_s,
        {u"-c"_s, u"exec \"$0\" --import-folder \"$1$(printf 'M\\372sica')\" --slot Evening"_s,
         QStringLiteral(CORVALIN_PROGRAM), music.path()},
        stationEnvironment(root.path()));
    ASSERT_TRUE(latin.finished);
    EXPECT_EQ(latin.exitCode, 0) << latin.err.toStdString();
    EXPECT_TRUE(latin.out.contains(u"1 song written"_s)) << latin.out.toStdString();
    EXPECT_TRUE(latin.out.contains(u"skipped: 1 file whose name holds a line break"_s))
        << latin.out.toStdString();
    EXPECT_EQ(readWholeFile(root.file(u"data/CorvalinRadio/Lists/Evening.lst"_s)),
              "F" + folder + "/Caf\xe9 - Ol\xe9.mp3\r\n");
}

} // namespace
