// The station's slot list keeps relative entries relative when it saves the played marks, and
// saves a list at once when a missing song was found in "MP3 Files/".
#include "TestSupport.h"
#include "platform/Clock.h"
#include "station/SlotPlayListTable.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;
using namespace Qt::StringLiterals;

namespace {

class SlotListPaths : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(station.file(u"MP3 Files"_s)));
        ASSERT_TRUE(QDir().mkpath(station.file(u"Lists"_s)));
        writeWholeFile(station.file(u"MP3 Files/A - One.mp3"_s), "mp3");
        writeWholeFile(station.file(u"MP3 Files/B - Two.mp3"_s), "mp3");
    }
    TempFolder station;
    StandardRandom random{2};
    TPlayListTable table;
    SlotPlayListTable slot{table, random};
};

TEST_F(SlotListPaths, PlayedMarksAreSavedWithTheRelativeEntries) {
    const QString list = station.file(u"Lists/Morning.lst"_s);
    writeWholeFile(list, "FMP3 Files/A - One.mp3\r\nFMP3 Files/B - Two.mp3\r\n");
    ASSERT_EQ(slot.load(list), 2);
    slot.sortAndSelectFirst(false);
    EXPECT_EQ(table.cell(0, plcFileName), station.file(u"MP3 Files/A - One.mp3"_s));
    // Nothing was found elsewhere: loading wrote nothing.
    EXPECT_EQ(readWholeFile(list), "FMP3 Files/A - One.mp3\r\nFMP3 Files/B - Two.mp3\r\n");

    table.setCell(0, plcPlayed, u"T"_s);
    slot.save(list);
    EXPECT_EQ(slot.lastSave().status, TListSaveResult::Saved);
    EXPECT_EQ(readWholeFile(list), "TMP3 Files/A - One.mp3\r\nFMP3 Files/B - Two.mp3\r\n");
    // The table still holds full paths for the decks.
    EXPECT_EQ(table.cell(0, plcFileName), station.file(u"MP3 Files/A - One.mp3"_s));
}

TEST_F(SlotListPaths, AFoundSongIsSavedAtOnce) {
    const QString list = station.file(u"Lists/Evening.lst"_s);
    writeWholeFile(list, "T/gone/MP3 Files/B - Two.mp3\r\nF/gone/MP3 Files/A - One.mp3\r\n");
    ASSERT_EQ(slot.load(list), 2);
    EXPECT_EQ(readWholeFile(list), "TMP3 Files/B - Two.mp3\r\nFMP3 Files/A - One.mp3\r\n");
    EXPECT_EQ(table.cell(1, plcFileName), station.file(u"MP3 Files/A - One.mp3"_s));
}

TEST_F(SlotListPaths, FullPathsAreSavedAsBefore) {
    const QString list = station.file(u"Lists/Midnight.lst"_s);
    const QByteArray bytes = "F" + station.file(u"MP3 Files/A - One.mp3"_s).toUtf8() + "\r\n";
    writeWholeFile(list, bytes);
    ASSERT_EQ(slot.load(list), 1);
    slot.save(list);
    EXPECT_EQ(readWholeFile(list), bytes);
}

// A list another program wrote while the station held it (--import-folder, an editor) is never
// saved over: not after a rename over it, nor after a rewrite in place. Once read again, the
// station's saves go on.
TEST_F(SlotListPaths, AListChangedOnDiskIsNotSavedOver) {
    const QString list = station.file(u"Lists/Evening.lst"_s);
    const QString imported = station.file(u"imported.lst"_s);
    writeWholeFile(list, "FMP3 Files/A - One.mp3\r\nFMP3 Files/B - Two.mp3\r\n");
    ASSERT_EQ(slot.load(list), 2);
    EXPECT_FALSE(slot.changedOnDisk(list));
    EXPECT_FALSE(slot.changedOnDisk(imported)) << "a file the table never read is not its own";

    const struct {
        const char* how;
        std::function<void(const QByteArray&)> write;
    } changes[] = {
        {"renamed over it",
         [&](const QByteArray& bytes) {
             writeWholeFile(imported, bytes);
             ASSERT_TRUE(::rename(QFile::encodeName(imported).constData(),
                                  QFile::encodeName(list).constData()) == 0);
         }},
        {"rewritten in place", [&](const QByteArray& bytes) { writeWholeFile(list, bytes); }},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.how);
        const QByteArray theirs = "F/music/" + QByteArray(c.how) + ".mp3\r\n";
        c.write(theirs);
        EXPECT_TRUE(slot.changedOnDisk(list));
        table.setCell(0, plcPlayed, u"T"_s);
        slot.save(list);
        EXPECT_EQ(slot.lastSave().status, TListSaveResult::Declined);
        EXPECT_EQ(readWholeFile(list), theirs);

        // Read again: the station's own marks are saved into the new version.
        ASSERT_EQ(slot.load(list), 1);
        EXPECT_FALSE(slot.changedOnDisk(list));
        table.setCell(0, plcPlayed, u"T"_s);
        slot.save(list);
        EXPECT_EQ(slot.lastSave().status, TListSaveResult::Saved);
        EXPECT_EQ(readWholeFile(list), "T" + theirs.mid(1));
        EXPECT_FALSE(slot.changedOnDisk(list)) << "its own save is no change";
    }

    // A list that went away is written back: nobody else's version is lost.
    ASSERT_TRUE(QFile::remove(list));
    EXPECT_FALSE(slot.changedOnDisk(list));
    slot.save(list);
    EXPECT_EQ(slot.lastSave().status, TListSaveResult::Saved);
    EXPECT_TRUE(QFileInfo::exists(list));
}

} // namespace
