// The operator's station folder: where it is, where the installed data and the shared settings
// file are, and its first-start layout that never replaces anything.
#include "TestSupport.h"
#include "station/SettingsStore.h"
#include "station/StationFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

TEST(StationFolder, FollowsXdgDataHomeElseHome) {
    QMap<QString, QString> vars;
    const auto read = [&vars](const char* name) { return vars.value(QString::fromLatin1(name)); };
    vars.insert(QStringLiteral("HOME"), QStringLiteral("/home/op"));
    EXPECT_EQ(defaultStationFolder(read), QStringLiteral("/home/op/.local/share/CorvalinRadio/"));
    vars.insert(QStringLiteral("XDG_DATA_HOME"), QStringLiteral("/srv/data/"));
    EXPECT_EQ(defaultStationFolder(read), QStringLiteral("/srv/data/CorvalinRadio/"));
    // A relative XDG_DATA_HOME is not to be used.
    vars.insert(QStringLiteral("XDG_DATA_HOME"), QStringLiteral("data"));
    EXPECT_EQ(defaultDataHome(read), QStringLiteral("/home/op/.local/share"));
}

TEST(StationFolder, FindsTheInstalledDataAndTheSharedSettingsFolder) {
    TempFolder root;
    // Installed: bin/ and share/corvalinradio/ under one prefix.
    ASSERT_TRUE(QDir().mkpath(root.file(QStringLiteral("prefix/bin"))));
    ASSERT_TRUE(QDir().mkpath(root.file(QStringLiteral("prefix/share/corvalinradio"))));
    writeWholeFile(root.file(QStringLiteral("prefix/share/corvalinradio/CVRSystem.dat")), "x");
    EXPECT_EQ(findDataFolder(root.file(QStringLiteral("prefix/bin"))),
              root.file(QStringLiteral("prefix/share/corvalinradio/")));
    EXPECT_EQ(sharedSettingsFolder(root.file(QStringLiteral("prefix/bin")), QStringLiteral("/s/")),
              root.file(QStringLiteral("prefix/etc/xdg/CorvalinRadio/")));
    EXPECT_EQ(sharedSettingsFolder(QStringLiteral("/usr/bin"), QStringLiteral("/s/")),
              QStringLiteral("/etc/xdg/CorvalinRadio/"));

    // An old-style station folder with the program in it: its data is beside the program and the
    // shared file stays in the station folder.
    ASSERT_TRUE(QDir().mkpath(root.file(QStringLiteral("station"))));
    writeWholeFile(root.file(QStringLiteral("station/CVRSystem.dat")), "x");
    EXPECT_EQ(findDataFolder(root.file(QStringLiteral("station"))),
              root.file(QStringLiteral("station/")));
    EXPECT_EQ(sharedSettingsFolder(root.file(QStringLiteral("station")), QStringLiteral("/s")),
              QStringLiteral("/s/"));

    EXPECT_TRUE(findDataFolder(root.file(QStringLiteral("nowhere"))).isEmpty());
}

class StationLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString d = data.path();
        ASSERT_TRUE(QDir().mkpath(d + QStringLiteral("MP3 Files/Rock/Old")));
        ASSERT_TRUE(QDir().mkpath(d + QStringLiteral("Lists")));
        ASSERT_TRUE(QDir().mkpath(d + QStringLiteral("help")));
        for (const char* name :
             {"CVRSystem.dat", "Phrases.dat", "NewsDef.ini", "Lists/Morning.lst",
              "Lists/Evening.lst", "MP3 Files/a.mp3", "MP3 Files/Rock/Old/b.mp3", "help/2.html"})
            writeWholeFile(d + QString::fromUtf8(name), QByteArray("data of ") + name);
        // Nothing else of the data folder is the operator's.
        writeWholeFile(d + QStringLiteral("CorvalinRadio.ini"), "[Screen]\r\n");
    }
    QString target() const { return work.file(QStringLiteral("data home/CorvalinRadio/")); }

    TempFolder data;
    TempFolder work;
};

TEST_F(StationLayoutTest, FirstStartCopiesEverythingSecondStartNothing) {
    const StationLayout first = layOutStationFolder(data.path(), target());
    EXPECT_TRUE(first.result) << first.result.error.toStdString();
    EXPECT_TRUE(first.laidOut);
    EXPECT_EQ(
        first.copied,
        (QStringList{QStringLiteral("Lists/Evening.lst"), QStringLiteral("Lists/Morning.lst"),
                     QStringLiteral("MP3 Files/Rock/Old/b.mp3"), QStringLiteral("MP3 Files/a.mp3"),
                     QStringLiteral("help/2.html"), QStringLiteral("Phrases.dat"),
                     QStringLiteral("NewsDef.ini"), QStringLiteral("CVRSystem.dat")}));
    EXPECT_EQ(readWholeFile(target() + QStringLiteral("MP3 Files/Rock/Old/b.mp3")),
              "data of MP3 Files/Rock/Old/b.mp3");
    EXPECT_FALSE(QFileInfo::exists(target() + QStringLiteral("CorvalinRadio.ini")));

    // The operator changes a list and removes a song: the next start leaves both so.
    writeWholeFile(target() + QStringLiteral("Lists/Morning.lst"), "Fmine.mp3\r\n");
    ASSERT_TRUE(QFile::remove(target() + QStringLiteral("MP3 Files/a.mp3")));
    const StationLayout second = layOutStationFolder(data.path(), target());
    EXPECT_TRUE(second.result);
    EXPECT_FALSE(second.laidOut);
    EXPECT_TRUE(second.copied.isEmpty());
    EXPECT_EQ(readWholeFile(target() + QStringLiteral("Lists/Morning.lst")), "Fmine.mp3\r\n");
    EXPECT_FALSE(QFileInfo::exists(target() + QStringLiteral("MP3 Files/a.mp3")));
}

TEST_F(StationLayoutTest, ALayoutBrokenOffIsFinishedWithoutReplacingAnything) {
    // A start broken off before the vocabulary file was copied; one list already changed.
    ASSERT_TRUE(QDir().mkpath(target() + QStringLiteral("Lists")));
    writeWholeFile(target() + QStringLiteral("Lists/Morning.lst"), "Fmine.mp3\r\n");
    writeWholeFile(target() + QStringLiteral("Phrases.dat"), "my phrases");
    const StationLayout layout = layOutStationFolder(data.path(), target());
    EXPECT_TRUE(layout.laidOut);
    EXPECT_FALSE(layout.copied.contains(QStringLiteral("Lists/Morning.lst")));
    EXPECT_FALSE(layout.copied.contains(QStringLiteral("Phrases.dat")));
    EXPECT_EQ(readWholeFile(target() + QStringLiteral("Lists/Morning.lst")), "Fmine.mp3\r\n");
    EXPECT_EQ(readWholeFile(target() + QStringLiteral("Phrases.dat")), "my phrases");
    EXPECT_EQ(readWholeFile(target() + QStringLiteral("CVRSystem.dat")), "data of CVRSystem.dat");
    EXPECT_TRUE(QFileInfo::exists(target() + QStringLiteral("Lists/Evening.lst")));
}

// The reason is the system's: nothing in it about the program's own files.
TEST_F(StationLayoutTest, AFolderThatCannotBeMadeIsReportedWithItsReason) {
    writeWholeFile(work.file(QStringLiteral("file")), "x");
    ASSERT_TRUE(QDir().mkpath(work.file(QStringLiteral("locked"))));
    ASSERT_TRUE(QFile::setPermissions(work.file(QStringLiteral("locked")),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const struct {
        const char* folder;
        const char* reason;
    } cases[] = {
        {"file/station/", "Not a directory"},
        {"file", "is not a folder"},
        {"locked/station/", "Permission denied"},
        {"locked/", "Permission denied"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        // Root may write anywhere: the folder that refuses others takes its files.
        if (QByteArray(c.reason) == "Permission denied" && ::geteuid() == 0)
            continue;
        const StationLayout layout =
            layOutStationFolder(data.path(), work.file(QString::fromUtf8(c.folder)));
        EXPECT_FALSE(layout.result);
        EXPECT_TRUE(
            layout.result.error.contains(QDir::cleanPath(work.file(QString::fromUtf8(c.folder)))))
            << layout.result.error.toStdString();
        EXPECT_TRUE(layout.result.error.contains(QString::fromUtf8(c.reason)))
            << layout.result.error.toStdString();
        EXPECT_TRUE(layout.copied.isEmpty());
    }
    QFile::setPermissions(work.file(QStringLiteral("locked")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST(SharedSettingsFolder, IsUsedForTheSwitchAndRefusedClearlyWhenNotWritable) {
    TempFolder station;
    TempFolder etc;
    SettingsPaths paths{station.path(), etc.file(QStringLiteral("config"))};
    paths.sharedFolder = etc.file(QStringLiteral("xdg/CorvalinRadio/"));
    const SettingsStore store(paths);
    StationSettings s = defaultSettings(station.path(), QTime(12, 0));
    s.SameSettings = true;
    ASSERT_TRUE(store.writeManagerOK(s));
    EXPECT_TRUE(readWholeFile(etc.file(QStringLiteral("xdg/CorvalinRadio/CorvalinRadio.ini")))
                    .contains("SameSettings=1"));
    EXPECT_FALSE(QFileInfo::exists(station.file(QStringLiteral("CorvalinRadio.ini"))));
    EXPECT_TRUE(store.readSameSettings());

    // A system folder the operator may not write (here one that cannot exist).
    writeWholeFile(etc.file(QStringLiteral("blocked")), "x");
    SettingsPaths blocked = paths;
    blocked.sharedFolder = etc.file(QStringLiteral("blocked/CorvalinRadio/"));
    const FileResult refused = SettingsStore(blocked).writeManagerOK(s);
    EXPECT_FALSE(refused);
    EXPECT_TRUE(
        refused.error.contains(etc.file(QStringLiteral("blocked/CorvalinRadio/CorvalinRadio.ini"))))
        << refused.error.toStdString();
    EXPECT_TRUE(refused.error.contains(QStringLiteral("administrator")));
}

} // namespace
