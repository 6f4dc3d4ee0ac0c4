// A large list is saved in pieces as it is rendered: the file must be the same bytes as the whole
// rendering, across piece boundaries, with lines of every kind among plain ones.

#include "TestSupport.h"
#include "library/PlayList.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

namespace corvalin {
namespace {

TEST(PlayListLargeSave, SavedInPiecesTheFileIsTheWholeListByteForByte) {
    // About 1.5 MB: several pieces. UTF-8 and Latin-1 names (kept as bytes), a played flag that
    // is not ASCII, and unplayed lines among the plain ones.
    QByteArray bytes;
    for (int i = 0; i < 20000; ++i) {
        if (i % 997 == 0)
            bytes += "\xc3\xa9/home/radio/Caf\xc3\xa9/Song ";
        else
            bytes += i % 3 == 0 ? "T" : "F";
        if (i % 101 == 0)
            bytes += "/home/radio/Caf\xe9 Cr\xe8me/Song ";
        else if (i % 53 == 0)
            bytes += "/home/radio/Caf\xc3\xa9 Cr\xc3\xa8me/Song ";
        else
            bytes += "/home/radio/Music/Artist - Song ";
        bytes += QByteArray::number(i) + ".mp3\r\n";
    }
    StandardRandom random(7);
    TPlayListTable table;
    ParseList(bytes, table, random);
    ASSERT_EQ(table.rowCount(), 20000);
    table.sortBy(plcRandom); // saved in stored order whatever the shown order

    test::TempFolder dir;
    const QString path = dir.file(QStringLiteral("Big.lst"));
    const TListSaveResult saved = SaveList(path, table, true);
    ASSERT_EQ(saved.status, TListSaveResult::Saved);
    EXPECT_EQ(saved.skippedRows, 0);
    const QByteArray written = test::readWholeFile(path);
    EXPECT_EQ(written.size(), bytes.size());
    EXPECT_TRUE(written == bytes) << "the saved list differs from the one loaded";
    EXPECT_TRUE(ListFileBytes(table) == bytes);

    // A row that cannot be a line is skipped and counted, the rest written.
    TPlayListRow broken = table.row(0);
    broken.FileName = QStringLiteral("/a\nb.mp3");
    table.appendRow(broken);
    const TListSaveResult again = SaveList(path, table, true);
    EXPECT_EQ(again.skippedRows, 1);
    EXPECT_TRUE(test::readWholeFile(path) == bytes);
}

} // namespace
} // namespace corvalin
