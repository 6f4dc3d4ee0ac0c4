#include "TestSupport.h"
#include "library/PlayList.h"
#include "library/SongNames.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "special_files.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sys/resource.h>

using namespace corvalin;
using namespace Qt::StringLiterals;
using corvalin::test::readWholeFile;
using corvalin::test::TempFolder;
using corvalin::test::writeWholeFile;

namespace {

TPlayListTable tableOf(const QStringList& cells, int column) {
    TPlayListTable table;
    for (const QString& text : cells) {
        TPlayListRow row{QStringLiteral("/x"), QStringLiteral("F"), QStringLiteral("20000"),
                         QStringLiteral("00000")};
        row.cell(column) = text;
        table.appendRow(row);
    }
    return table;
}

QStringList column(const TPlayListTable& table, int column) {
    QStringList cells;
    for (int i = 0; i < table.rowCount(); ++i)
        cells << table.cell(i, column);
    return cells;
}

} // namespace

TEST(PlayListFile, LoadsRowsWithKeysAndRoundTripsByteForByte) {
    TempFolder dir;
    const QByteArray bytes = "F/music/Band - Song.mp3\r\nT/music/Zoë - Ünïcode.mp3\r\n"
                             "X/music/odd flag.mp3\r\nF /leading blank kept.mp3  \r\n";
    writeWholeFile(dir.file(u"a.lst"_s), bytes);

    ScriptedRandom random({89999, 8999, 899, 0, 0, 0, 1, 2, 3});
    TPlayListTable table;
    ASSERT_EQ(LoadList(dir.file(u"a.lst"_s), table, random).status, TListLoadResult::Loaded);
    ASSERT_EQ(table.rowCount(), 4);
    EXPECT_EQ(table.row(1),
              (TPlayListRow{u"/music/Zoë - Ünïcode.mp3"_s, u"T"_s, u"20001"_s, u"00000"_s}));
    EXPECT_EQ(column(table, plcPlayed), QStringList({u"F"_s, u"T"_s, u"X"_s, u"F"_s}));
    EXPECT_EQ(column(table, plcOrder),
              QStringList({u"20000"_s, u"20001"_s, u"20002"_s, u"20003"_s}));
    EXPECT_EQ(table.cell(0, plcRandom), u"99897"_s); // the largest key
    EXPECT_EQ(table.cell(2, plcRandom), u"00006"_s);
    EXPECT_EQ(table.cell(3, plcFileName), u" /leading blank kept.mp3  "_s);
    EXPECT_EQ(table.currentRow(), -1);

    table.sortBy(plcRandom);
    ASSERT_EQ(SaveList(dir.file(u"b.lst"_s), table, true).status, TListSaveResult::Saved);
    EXPECT_EQ(readWholeFile(dir.file(u"b.lst"_s)), bytes);
}

TEST(PlayListFile, ReadsEitherLineEndAndSkipsEmptyLines) {
    TempFolder dir;
    writeWholeFile(dir.file(u"a.lst"_s), "\xEF\xBB\xBF"
                                         "F/a.mp3\n\nT/b.mp3\r\n\r\nF\rF/c.mp3");
    StandardRandom random(1);
    TPlayListTable table;
    ASSERT_EQ(LoadList(dir.file(u"a.lst"_s), table, random).status, TListLoadResult::Loaded);
    EXPECT_EQ(column(table, plcFileName),
              QStringList({u"/a.mp3"_s, u"/b.mp3"_s, QString(), u"/c.mp3"_s}));
    EXPECT_EQ(column(table, plcPlayed), QStringList({u"F"_s, u"T"_s, u"F"_s, u"F"_s}));
    EXPECT_EQ(column(table, plcOrder),
              QStringList({u"20000"_s, u"20001"_s, u"20002"_s, u"20003"_s}));
}

TEST(PlayListFile, MissingOrUnreadableFileLeavesTableUntouched) {
    TempFolder dir;
    StandardRandom random(1);
    TPlayListTable table = tableOf({u"/kept.mp3"_s}, plcFileName);
    EXPECT_EQ(LoadList(dir.file(u"none.lst"_s), table, random).status, TListLoadResult::Missing);
    // A folder exists but cannot be read as a list.
    EXPECT_EQ(LoadList(dir.path(), table, random).status, TListLoadResult::ReadError);
    EXPECT_EQ(column(table, plcFileName), QStringList({u"/kept.mp3"_s}));
}

TEST(PlayListFile, SavesInOrderOrderWithoutChangingTheTable) {
    TempFolder dir;
    TPlayListTable table;
    // Order keys of different widths: numeric order, not text order.
    table.appendRow({u"/third.mp3"_s, u"F"_s, u"100000"_s, u"00001"_s});
    table.appendRow({u"/first.mp3"_s, u"T"_s, u"00002"_s, u"00003"_s});
    table.appendRow({u"/second.mp3"_s, u"F"_s, u"20000"_s, u"00002"_s});
    table.setCurrentRow(2);
    const TPlayListTable before = table;

    ASSERT_EQ(SaveList(dir.file(u"l.lst"_s), table, true).status, TListSaveResult::Saved);
    EXPECT_EQ(readWholeFile(dir.file(u"l.lst"_s)),
              "T/first.mp3\r\nF/second.mp3\r\nF/third.mp3\r\n");
    EXPECT_EQ(column(table, plcFileName), column(before, plcFileName));
    EXPECT_EQ(table.currentRow(), 2);
}

TEST(PlayListFile, ListWithMissingSongFilesSurvivesLoadAndSave) {
    // Lists name files that may be gone: rows are kept as they are, never checked against disk.
    TempFolder dir;
    const QByteArray bytes =
        "F" + dir.file(u"gone.mp3"_s).toUtf8() + "\r\nT/nowhere/x.mp3\r\nF\r\n";
    writeWholeFile(dir.file(u"m.lst"_s), bytes);
    StandardRandom random(7);
    TPlayListTable table;
    ASSERT_EQ(LoadList(dir.file(u"m.lst"_s), table, random).status, TListLoadResult::Loaded);
    EXPECT_EQ(table.rowCount(), 3);
    ASSERT_EQ(SaveList(dir.file(u"m.lst"_s), table, true).status, TListSaveResult::Saved);
    EXPECT_EQ(readWholeFile(dir.file(u"m.lst"_s)), bytes);
}

TEST(PlayListFile, EmptyTableRemovesTheFile) {
    TempFolder dir;
    writeWholeFile(dir.file(u"e.lst"_s), "F/a.mp3\r\n");
    EXPECT_EQ(SaveList(dir.file(u"e.lst"_s), TPlayListTable(), true).status,
              TListSaveResult::Removed);
    EXPECT_FALSE(QFile::exists(dir.file(u"e.lst"_s)));
    // Nothing to remove is no failure either, and creates nothing.
    EXPECT_EQ(SaveList(dir.file(u"e.lst"_s), TPlayListTable(), true).status,
              TListSaveResult::Removed);
    EXPECT_FALSE(QFile::exists(dir.file(u"e.lst"_s)));
}

TEST(PlayListFile, AsksBeforeOverwritingUnlessTold) {
    TempFolder dir;
    const QString path = dir.file(u"o.lst"_s);
    writeWholeFile(path, "F/old.mp3\r\n");
    const TPlayListTable table = tableOf({u"/new.mp3"_s}, plcFileName);

    QString asked;
    const auto decline = [&](const QString& question) {
        asked = question;
        return false;
    };
    EXPECT_EQ(SaveList(path, table, false, decline).status, TListSaveResult::Declined);
    EXPECT_EQ(asked, u"The file "_s + path + u" already exists. Overwrite it?"_s);
    EXPECT_EQ(SaveList(path, table, false).status, TListSaveResult::Declined);
    EXPECT_EQ(SaveList(path, TPlayListTable(), false).status, TListSaveResult::Declined);
    EXPECT_EQ(readWholeFile(path), "F/old.mp3\r\n");

    EXPECT_EQ(SaveList(path, table, false, [](const QString&) { return true; }).status,
              TListSaveResult::Saved);
    EXPECT_EQ(readWholeFile(path), "F/new.mp3\r\n");
}

TEST(PlayListFile, RowsALineCannotHoldAreLeftOutAndFlagsStayOneCharacter) {
    TempFolder dir;
    TPlayListTable table;
    table.appendRow({u"/a.mp3"_s, QString(), u"1"_s, u"1"_s});
    table.appendRow({u"/evil\nFmp3"_s, u"F"_s, u"2"_s, u"2"_s});
    table.appendRow({u"/c.mp3"_s, u"FT"_s, u"3"_s, u"3"_s});
    table.appendRow({u"/d.mp3"_s, u"\n"_s, u"4"_s, u"4"_s});
    table.appendRow({u"/e.mp3"_s, u"\uFEFF"_s, u"0"_s, u"0"_s});
    const TListSaveResult result = SaveList(dir.file(u"s.lst"_s), table, true);
    EXPECT_EQ(result.status, TListSaveResult::Saved);
    EXPECT_EQ(result.skippedRows, 1);
    EXPECT_EQ(readWholeFile(dir.file(u"s.lst"_s)), "T/e.mp3\r\nT/a.mp3\r\nF/c.mp3\r\nT/d.mp3\r\n");
}

// A save that fails part way (here: the file size limit, which holds even for root) leaves the
// old list as it was, and no temporary file behind.
TEST(PlayListFile, FailedSaveKeepsTheOldFile) {
    TempFolder dir;
    const QString path = dir.file(u"x.lst"_s);
    const QByteArray old = "F/old.mp3\r\nT/older.mp3\r\n";
    writeWholeFile(path, old);
    const TPlayListTable table = tableOf({u"/new/"_s + QString(64 * 1024, u'n')}, plcFileName);

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const TListSaveResult result = SaveList(path, table, true);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result.status, TListSaveResult::Failed);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(readWholeFile(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
              QStringList({u"x.lst"_s}));

    // A folder that does not exist fails just as quietly.
    const TListSaveResult missing = SaveList(dir.file(u"no/such/folder/x.lst"_s), table, true);
    EXPECT_EQ(missing.status, TListSaveResult::Failed);
    EXPECT_FALSE(missing.error.isEmpty());
}

// A list from an older station: Latin-1 and Windows-1252 paths naming real files, a UTF-8 path,
// and lines that name nothing. Each line keeps its exact bytes through load and save, and the
// files it names still open.
TEST(PlayListFile, LinesThatAreNotUtf8KeepTheirBytes) {
    TempFolder dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    struct Line {
        QByteArray bytes;
        bool namesFile;
        const char* artist;
        const char* title;
    };
    const Line lines[] = {
        {"F" + folder +
             "Montr\xe9"
             "al - Caf\xe9.mp3",
         true, "Montréal", "Café"},
        {"T" + folder + "\x93Quoted\x94 - Na\xefve \x96 Mix.mp3", true, "“Quoted”", "Naïve – Mix"},
        {"F" + folder + "Zo\xc3\xab - \xc3\x9cnicode.mp3", true, "Zoë", "Ünicode"},
        {"F" + folder + "Mixed \xc3\xa9 and \xe9.wav", true, "", "Mixed é and é"},
        {"\xe9/nowhere/\xff\xfe\x80 garbage", false, "", ""},
        {"F\xc0\xaf\xed\xa0\x80", false, "", ""},
    };
    QByteArray file;
    for (const Line& line : lines) {
        file += line.bytes + "\r\n";
        if (line.namesFile) {
            const int fd =
                ::open(line.bytes.mid(1).constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            ASSERT_GE(fd, 0);
            ::close(fd);
        }
    }
    writeWholeFile(dir.file(u"old.lst"_s), file);

    StandardRandom random(3);
    TPlayListTable table;
    ASSERT_EQ(LoadList(dir.file(u"old.lst"_s), table, random).status, TListLoadResult::Loaded);
    ASSERT_EQ(table.rowCount(), int(std::size(lines)));
    for (int i = 0; i < table.rowCount(); ++i) {
        const Line& line = lines[i];
        SCOPED_TRACE(line.bytes.toHex().constData());
        const TPlayListRow& row = table.row(i);
        EXPECT_EQ(nativeFileName(row.Played + row.FileName), line.bytes);
        EXPECT_EQ(row.Played.size(), 1);
        EXPECT_FALSE(row.FileName.contains(QChar::ReplacementCharacter));
        EXPECT_EQ(isRegularFile(row.FileName), line.namesFile);
        if (line.namesFile) {
            _rSong song;
            LoadSongInfo(song, asFileName, row.FileName);
            EXPECT_EQ(song.Artist, QString::fromUtf8(line.artist));
            EXPECT_EQ(song.Title, QString::fromUtf8(line.title));
        }
    }
    EXPECT_EQ(table.row(4).Played, QString(QChar(0xDCE9))) << "an odd flag byte counts as played";

    ASSERT_EQ(SaveList(dir.file(u"saved.lst"_s), table, true).status, TListSaveResult::Saved);
    EXPECT_EQ(readWholeFile(dir.file(u"saved.lst"_s)), file);
    for (const Line& line : lines)
        if (line.namesFile)
            ::unlink(line.bytes.mid(1).constData()); // QTemporaryDir cannot remove such names
}

TEST(PlayListFile, AFileOfRandomBytesIsSavedBackLineForLine) {
    std::mt19937 generator(12);
    QByteArray bytes;
    for (int i = 0; i < 8192; ++i)
        bytes.append(static_cast<char>(generator() & 0xFF));
    ASSERT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
    // What a save writes: every non-empty line as it was, each ended by CR LF.
    QByteArray expected;
    for (const QByteArray& line : bytes.split('\n'))
        for (const QByteArray& part : line.split('\r'))
            if (!part.isEmpty())
                expected += part + "\r\n";

    TempFolder dir;
    writeWholeFile(dir.file(u"noise.lst"_s), bytes);
    StandardRandom random(5);
    TPlayListTable table;
    ASSERT_EQ(LoadList(dir.file(u"noise.lst"_s), table, random).status, TListLoadResult::Loaded);
    ASSERT_GT(table.rowCount(), 10);
    ASSERT_EQ(SaveList(dir.file(u"noise.lst"_s), table, true).status, TListSaveResult::Saved);
    EXPECT_EQ(readWholeFile(dir.file(u"noise.lst"_s)), expected);
}

// A FIFO, a device or a folder in a list's place is a read error, found at once: the window
// thread that loads lists must never wait on it.
TEST(PlayListFile, SpecialFilesAreUnreadableWithoutBlocking) {
    TempFolder dir;
    const QString fifo = dir.file(u"fifo.lst"_s);
    ASSERT_TRUE(test::makeFifo(fifo));
    ASSERT_TRUE(QDir().mkdir(dir.file(u"folder.lst"_s)));
    for (const QString& path : {fifo, u"/dev/null"_s, dir.file(u"folder.lst"_s)}) {
        SCOPED_TRACE(path.toStdString());
        StandardRandom random(1);
        TPlayListTable table = tableOf({u"/kept.mp3"_s}, plcFileName);
        TListLoadResult result;
        EXPECT_TRUE(
            test::returnsWithoutBlocking(fifo, [&] { result = LoadList(path, table, random); }));
        EXPECT_EQ(result.status, TListLoadResult::ReadError);
        EXPECT_FALSE(result.error.isEmpty());
        EXPECT_EQ(column(table, plcFileName), QStringList({u"/kept.mp3"_s}));
    }
}

TEST(PlayListTable, SortsNumbersAsNumbersAndTextAsText) {
    TPlayListTable numbers =
        tableOf({u"100"_s, u"9"_s, u"20000"_s, u"00010"_s, u"-3.5"_s}, plcOrder);
    numbers.sortBy(plcOrder);
    EXPECT_EQ(column(numbers, plcOrder),
              QStringList({u"-3.5"_s, u"9"_s, u"00010"_s, u"100"_s, u"20000"_s}));

    TPlayListTable dates =
        tableOf({u"2026-03-01"_s, u"2025-12-31"_s, u"2026-01-15"_s}, plcFileName);
    dates.sortBy(plcFileName);
    EXPECT_EQ(column(dates, plcFileName),
              QStringList({u"2025-12-31"_s, u"2026-01-15"_s, u"2026-03-01"_s}));

    // Mixed kinds: numbers, then dates, then text; the order stays total.
    TPlayListTable mixed =
        tableOf({u"/b.mp3"_s, u"10"_s, u"/a.mp3"_s, u"2026-01-01"_s, u"9"_s, u"1x"_s}, plcFileName);
    mixed.sortBy(plcFileName);
    EXPECT_EQ(column(mixed, plcFileName),
              QStringList({u"9"_s, u"10"_s, u"2026-01-01"_s, u"/a.mp3"_s, u"/b.mp3"_s, u"1x"_s}));
}

TEST(PlayListTable, SortIsStableAndTheCursorFollowsItsRow) {
    TPlayListTable table;
    table.appendRow({u"/a"_s, u"F"_s, u"3"_s, u"7"_s});
    table.appendRow({u"/b"_s, u"F"_s, u"1"_s, u"7"_s});
    table.appendRow({u"/c"_s, u"F"_s, u"2"_s, u"5"_s});
    table.setCurrentRow(0);
    table.sortBy(plcOrder);
    EXPECT_EQ(column(table, plcFileName), QStringList({u"/b"_s, u"/c"_s, u"/a"_s}));
    EXPECT_EQ(table.currentRow(), 2);
    table.sortBy(plcRandom); // equal keys keep their present order
    EXPECT_EQ(column(table, plcFileName), QStringList({u"/c"_s, u"/b"_s, u"/a"_s}));
    EXPECT_EQ(table.currentRow(), 2);
    table.removeRow(0);
    EXPECT_EQ(table.currentRow(), 1);
    table.removeRow(1);
    EXPECT_EQ(table.currentRow(), -1);
}

TEST(PlayListTable, RandomKeysSpanTheirRange) {
    ScriptedRandom low({0});
    ScriptedRandom high({89999, 8999, 899});
    EXPECT_EQ(NewRandomKey(low), u"00000"_s);
    EXPECT_EQ(NewRandomKey(high), u"99897"_s);
    EXPECT_EQ(high.draws(), 3);
}

TEST(PlayListView, CopiesEighteenRowsAroundTheCurrentSong) {
    struct Case {
        int rows;
        int current;
        int first;
        int count;
    };
    const Case cases[] = {{30, 10, 8, 18}, {30, 1, 0, 18}, {12, 10, 0, 12},
                          {30, 28, 26, 4}, {0, 0, 0, 0},   {19, 0, 0, 18}};
    for (const Case& c : cases) {
        TPlayListTable source;
        for (int i = 0; i < c.rows; ++i)
            source.appendRow({QString::number(i), u"F"_s, OrderKey(i), OrderKey(i)});
        TPlayListTable target = tableOf({u"stale"_s}, plcFileName);
        LoadListView(source, target, c.current);
        ASSERT_EQ(target.rowCount(), c.count) << c.rows << " rows, current " << c.current;
        if (c.count > 0) {
            EXPECT_EQ(target.row(0), source.row(c.first));
            EXPECT_EQ(target.row(c.count - 1), source.row(c.first + c.count - 1));
        }
    }
}
