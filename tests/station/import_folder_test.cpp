// --import-folder: a slot's list from every MP3 file under a folder, nested folders included,
// other files left out, in path order; through the program too.
#include "ProgramProcess.h"
#include "TestSupport.h"
#include "platform/Clock.h"
#include "station/ImportFolder.h"

#include <QDir>
#include <gtest/gtest.h>

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
    EXPECT_EQ(mp3FilesUnder(music.path()), expected());
    EXPECT_TRUE(mp3FilesUnder(music.file(u"mp3"_s)).isEmpty());
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
}

} // namespace
