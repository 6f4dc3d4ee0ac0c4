// List entries relative to the station folder, lists in a moved station folder and songs found
// again in the station's "MP3 Files/" folder.
#include "TestSupport.h"
#include "library/PlayList.h"
#include "platform/Clock.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace Qt::StringLiterals;
using corvalin::test::readWholeFile;
using corvalin::test::TempFolder;
using corvalin::test::writeWholeFile;

namespace {

TEST(ListPaths, StationFolderOfAList) {
    EXPECT_EQ(ListStationFolder(u"/srv/radio/Lists/Morning.lst"_s), u"/srv/radio/"_s);
    EXPECT_EQ(ListStationFolder(u"/home/op/lists/rock.lst"_s), u"/home/op/lists/"_s);
    EXPECT_EQ(ListStationFolder(u"/Lists/x.lst"_s), u"/"_s);
}

class ListPathsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(station.file(u"MP3 Files/Jazz"_s)));
        ASSERT_TRUE(QDir().mkpath(station.file(u"Lists"_s)));
        for (const char* song :
             {"MP3 Files/A - One.mp3", "MP3 Files/Jazz/B - Two.mp3", "MP3 Files/C - Three.mp3"})
            writeWholeFile(station.file(QString::fromUtf8(song)), "mp3");
        writeWholeFile(elsewhere.file(u"D - Four.mp3"_s), "mp3");
    }
    TPlayListTable load(const QString& list) {
        TPlayListTable table;
        EXPECT_EQ(LoadList(list, table, random).status, TListLoadResult::Loaded);
        return table;
    }

    TempFolder station;
    TempFolder elsewhere;
    StandardRandom random{5};
};

TEST_F(ListPathsTest, EntriesBecomeFullPathsAndAreStoredAsTheyWere) {
    const QString list = station.file(u"Lists/Morning.lst"_s);
    const QByteArray bytes = "FMP3 Files/A - One.mp3\r\n"
                             "TMP3 Files/Jazz/B - Two.mp3\r\n"
                             "F" +
                             elsewhere.file(u"D - Four.mp3"_s).toUtf8() +
                             "\r\n"
                             "F\r\n"
                             "Fgone/Nowhere.mp3\r\n";
    writeWholeFile(list, bytes);
    TPlayListTable table = load(list);
    const TListPathForms forms = ResolveListEntries(table, ListStationFolder(list));
    EXPECT_EQ(forms.found, 0);
    ASSERT_EQ(table.rowCount(), 5);
    EXPECT_EQ(table.cell(0, plcFileName), station.file(u"MP3 Files/A - One.mp3"_s));
    EXPECT_EQ(table.cell(1, plcFileName), station.file(u"MP3 Files/Jazz/B - Two.mp3"_s));
    EXPECT_EQ(table.cell(2, plcFileName), elsewhere.file(u"D - Four.mp3"_s)); // as it was
    EXPECT_EQ(table.cell(3, plcFileName), QString());                         // stays empty
    EXPECT_EQ(table.cell(4, plcFileName), station.file(u"gone/Nowhere.mp3"_s));
    EXPECT_EQ(table.cell(1, plcPlayed), u"T"_s);

    // Written back, the list is the file it was, byte for byte.
    EXPECT_EQ(ListFileBytes(WithStoredPaths(table, forms)), bytes);
}

TEST_F(ListPathsTest, AMovedStationFolderStillPlaysItsLists) {
    writeWholeFile(station.file(u"Lists/Evening.lst"_s),
                   "FMP3 Files/C - Three.mp3\r\nFMP3 Files/Jazz/B - Two.mp3\r\n");
    TempFolder moved;
    const QString target = moved.file(u"Radio Moved"_s);
    ASSERT_TRUE(QDir().rename(QDir::cleanPath(station.path()), target));

    const QString list = target + u"/Lists/Evening.lst"_s;
    TPlayListTable table = load(list);
    const TListPathForms forms = ResolveListEntries(table, ListStationFolder(list));
    EXPECT_EQ(forms.found, 0);
    for (int i = 0; i < table.rowCount(); ++i) {
        EXPECT_TRUE(table.cell(i, plcFileName).startsWith(target + u"/MP3 Files/"_s));
        EXPECT_TRUE(QFileInfo::exists(table.cell(i, plcFileName)));
    }
}

TEST_F(ListPathsTest, AMissingSongIsFoundInTheStationsSongFolder) {
    // Full paths into a folder that is gone (an old station inside a deleted build tree).
    const QString list = station.file(u"Lists/Afternoon.lst"_s);
    writeWholeFile(list, "F/old/build/station/MP3 Files/C - Three.mp3\r\n"
                         "T/old/build/station/MP3 Files/Not - Here.mp3\r\n"
                         "F" +
                             station.file(u"MP3 Files/A - One.mp3"_s).toUtf8() + "\r\n");
    TPlayListTable table = load(list);
    const TListPathForms forms = ResolveListEntries(table, ListStationFolder(list));
    EXPECT_EQ(forms.found, 1);
    EXPECT_EQ(table.cell(0, plcFileName), station.file(u"MP3 Files/C - Three.mp3"_s));
    EXPECT_EQ(table.cell(1, plcFileName), u"/old/build/station/MP3 Files/Not - Here.mp3"_s);
    EXPECT_EQ(table.cell(2, plcFileName), station.file(u"MP3 Files/A - One.mp3"_s));
    // The found song is stored where it was found, relative so that it survives the next move;
    // the song found nowhere and the full path that works are kept as they were.
    EXPECT_EQ(ListFileBytes(WithStoredPaths(table, forms)),
              "FMP3 Files/C - Three.mp3\r\n"
              "T/old/build/station/MP3 Files/Not - Here.mp3\r\n"
              "F" +
                  station.file(u"MP3 Files/A - One.mp3"_s).toUtf8() + "\r\n");
}

} // namespace
