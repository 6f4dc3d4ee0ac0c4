// The play list editor: its rules on their own, and the form driven through its handlers with
// scripted answers to its questions and dialogs, on real song and list files in a temporary
// folder.

#include "ScriptedPrompts.h"
#include "SongFixtures.h"
#include "TestSupport.h"
#include "dialogs/FormPlayList.h"
#include "dialogs/LongOperation.h"
#include "dialogs/PlayListEditor.h"
#include "library/ID3v2.h"
#include "platform/FileSystem.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QInputDevice>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iostream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace corvalin {
namespace {

using test::readWholeFile;
using test::runTool;
using test::TempFolder;
using test::writeWholeFile;

using test::makeSong;
using test::songBytes;
using test::taggedSongBytes;

using test::ScriptedPrompts;

// The parts of the running station the editor sees.
struct FakeStation {
    TPlayListTable live;
    StationSettings settings;
    bool viewOpen = false;
    QString slotFile;
    int listOrder = loOriginal;
    int listIndex = 0;
    QString nextSong;
    int liveSaves = 0;
    int reloads = 0;
    std::vector<int> helpTopics;
    ScriptedRandom random{{7, 11, 13}};

    PlayListEditorContext context(const QString& programFolder) {
        return {live,
                settings,
                programFolder,
                viewOpen,
                [this] { return slotFile; },
                [this] { return listOrder; },
                [this] { return listIndex; },
                [this] { return nextSong; },
                [this] { ++liveSaves; },
                [this] { ++reloads; },
                [this](int topic) { helpTopics.push_back(topic); },
                &random};
    }
};

QByteArray listBytes(const QStringList& paths, const char* played = "F") {
    QByteArray bytes;
    for (const QString& p : paths)
        bytes += played + nativeFileName(p) + "\r\n";
    return bytes;
}

QStringList pathsOf(const TPlayListTable& list) {
    QStringList paths;
    for (int i = 0; i < list.rowCount(); ++i)
        paths << list.cell(i, plcFileName);
    return paths;
}

class PlayListEditorTest : public testing::Test {
protected:
    void SetUp() override {
        station.settings.LastDir1 = dir.file("MP3 Files/");
        station.settings.LastDir2 = dir.file("MP3 Files/");
        station.settings.Duplicates = false;
        station.settings.ArtistSource = 0;
        QDir().mkpath(dir.file("Lists"));
    }

    std::unique_ptr<TfrmPlayList> makeEditor() {
        return std::make_unique<TfrmPlayList>(station.context(dir.path()), &prompts);
    }

    QString song(const QString& name) { return makeSong(dir.file(name)); }

    TempFolder dir;
    FakeStation station;
    ScriptedPrompts prompts;
};

// --- Rules ------------------------------------------------------------------------------------

TEST(PlayListRules, ButtonRule) {
    const TButtonStates offEmpty = ButtonsOnRule(false, false);
    EXPECT_EQ(offEmpty, TButtonStates{});
    EXPECT_EQ(ButtonsOnRule(false, true), TButtonStates{}) << "off is off, entries or not";

    const TButtonStates onEmpty = ButtonsOnRule(true, false);
    EXPECT_TRUE(onEmpty.OK && onEmpty.AddDir && onEmpty.Populate && onEmpty.Load);
    EXPECT_FALSE(onEmpty.ClearList || onEmpty.Save || onEmpty.Delete || onEmpty.TagToFile ||
                 onEmpty.FileToTag || onEmpty.Up || onEmpty.Down);

    const TButtonStates onFull = ButtonsOnRule(true, true);
    EXPECT_TRUE(onFull.OK && onFull.AddDir && onFull.Populate && onFull.Load && onFull.ClearList &&
                onFull.Save && onFull.Delete && onFull.TagToFile && onFull.FileToTag && onFull.Up &&
                onFull.Down);
}

TEST(PlayListRules, CaptionsAndQuestions) {
    EXPECT_EQ(NewListCaption(), "Corvalin Radio Play List- New List");
    EXPECT_EQ(ListCaption("Morning.lst"), "Corvalin Radio Play List - Morning.lst");
    EXPECT_EQ(ViewCaption("Morning.lst"),
              "Corvalin Radio View Play List - Morning.lst (read only)");
    EXPECT_EQ(CloseQuestion("New List"),
              "You have not saved your new list.\rDo you want to save it now?");
    EXPECT_EQ(CloseQuestion("Morning.lst"),
              "List Morning.lst has been changed.\rDo you want to save it now?");
}

TEST(PlayListRules, StoppedMessages) {
    EXPECT_EQ(AddFilesStoppedMessage(12, 30, 11),
              "Stopped after 12 of 30 files: 11 songs were added to the list.");
    EXPECT_EQ(AddDirStoppedMessage(1, 10, 1),
              "Stopped after 1 of 10 files found: 1 song was added to the list.");
    EXPECT_EQ(TagToFileStoppedMessage(5, 20000),
              "Stopped after 5 of 20000 files: the files done have their new names, the others "
              "are as they were.");
    EXPECT_EQ(FileToTagStoppedMessage(5, 20000),
              "Stopped after 5 of 20000 files: the files done have their new tags, the others "
              "are as they were.");
}

TEST_F(PlayListEditorTest, AddSongsKeysAndDuplicates) {
    const QString a = song("MP3 Files/Band - One.mp3");
    const QString b = song("MP3 Files/Band - Two.mp3");
    const QString aOtherCase = song("MP3 Files/BAND - ONE.mp3");
    const QString missing = dir.file("MP3 Files/gone.mp3");

    struct Case {
        const char* name;
        bool allowDuplicates;
        QStringList first;
        QStringList second;
        QStringList expected; // in Order order
    };
    const Case cases[] = {
        {"same file twice", false, {a}, {a}, {a}},
        {"other letter case is the same file", false, {a}, {aOtherCase}, {a}},
        {"twice in one pass", false, {a, b, a}, {}, {a, b}},
        {"duplicates allowed", true, {a}, {a, aOtherCase}, {a, a, aOtherCase}},
        {"missing files are left out", false, {missing, a}, {missing}, {a}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TPlayListTable list;
        ScriptedRandom random({5, 6, 7});
        AddSongs(list, c.first, c.allowDuplicates, random);
        AddSongs(list, c.second, c.allowDuplicates, random);
        EXPECT_EQ(pathsOf(list), c.expected);
        for (int i = 0; i < list.rowCount(); ++i) {
            EXPECT_EQ(list.cell(i, plcOrder), OrderKey(i + 1));
            EXPECT_EQ(list.cell(i, plcPlayed), "F");
            EXPECT_EQ(list.cell(i, plcRandom), "00018") << "5 + 6 + 7";
        }
    }
}

TEST_F(PlayListEditorTest, AddedSongsGoOnTopOfALoadedList) {
    const QStringList loaded = {song("MP3 Files/A - 1.mp3"), song("MP3 Files/A - 2.mp3"),
                                song("MP3 Files/A - 3.mp3")};
    const QString listFile = dir.file("Lists/Morning.lst");
    writeWholeFile(listFile, listBytes(loaded));
    const QString added1 = song("New/B - 1.mp3");
    const QString added2 = song("New/B - 2.mp3");

    auto editor = makeEditor();
    editor->OpenOnFile(listFile);
    EXPECT_EQ(pathsOf(editor->List), loaded);
    EXPECT_FALSE(editor->ListModified);
    prompts.songFiles = {added1, added2};
    editor->bPopulateClick();
    EXPECT_EQ(pathsOf(editor->List), (QStringList{added1, added2} + loaded));
    EXPECT_EQ(editor->List.cell(0, plcOrder), "00004");
    EXPECT_EQ(editor->List.cell(1, plcOrder), "00005");
    EXPECT_EQ(editor->List.cell(2, plcOrder), "20000");
    EXPECT_TRUE(editor->ListModified);
    EXPECT_EQ(station.settings.LastDir2, dir.file("New"));
    EXPECT_EQ(prompts.songFolderOffered, dir.file("MP3 Files/"));
    EXPECT_EQ(editor->EditPlayList->model()->rowCount(), 5) << "the view shows the entries";
}

TEST_F(PlayListEditorTest, AddFilesCancelledChangesNothing) {
    auto editor = makeEditor();
    prompts.songFiles.clear();
    editor->bPopulateClick();
    EXPECT_EQ(editor->List.rowCount(), 0);
    EXPECT_FALSE(editor->ListModified);
    EXPECT_EQ(station.settings.LastDir2, dir.file("MP3 Files/"));
    EXPECT_TRUE(editor->bPopulate->isEnabled()) << "the button rule runs at the end";
}

// --- Add Dir ----------------------------------------------------------------------------------

TEST_F(PlayListEditorTest, FolderWalkFindsMp3FilesFolderByFolder) {
    const QString root = dir.file("Music");
    const QString a = song("Music/a.mp3");
    const QString b = song("Music/b.MP3");
    const QString c = song("Music/Alpha/c.mp3");
    const QString d = song("Music/Alpha/Deep/d.mp3");
    const QString e = song("Music/Beta/e.Mp3");
    writeWholeFile(dir.file("Music/notes.txt"), "x");
    writeWholeFile(dir.file("Music/Alpha/cover.jpg"), "x");
    // A folder named like a song is walked, not added.
    const QString f = song("Music/Folder.mp3/f.mp3");
    // A link back to a folder it is inside, and a broken link.
    ASSERT_EQ(::symlink("..", nativeFileName(dir.file("Music/Alpha/Deep/up")).constData()), 0);
    ASSERT_EQ(::symlink("nowhere", nativeFileName(dir.file("Music/Beta/broken.mp3")).constData()),
              0);
    // A name that is not UTF-8.
    const QByteArray latin1 = nativeFileName(dir.file("Music/Beta/")) + "caf\xe9.mp3";
    const int fd = ::open(latin1.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, songBytes().constData(), static_cast<size_t>(songBytes().size())),
              songBytes().size());
    ::close(fd);
    const QString cafe = fileNameFromNative(latin1);

    // A folder's own files first, then its subfolders, each sorted by the bytes of the name.
    const TMp3Walk walk = CollectMp3Files(root + "/");
    EXPECT_EQ(walk.files, (QStringList{a, b, c, d, cafe, e, f}));
    EXPECT_EQ(walk.repeatedFolders, 1) << "the link back to Alpha is not followed again";
    EXPECT_EQ(walk.unreadableFolders, 0);
    ASSERT_EQ(walk.files.size(), 7);
    EXPECT_EQ(nativeFileName(walk.files[4]), latin1) << "the name's bytes come back unchanged";
    EXPECT_TRUE(isRegularFile(walk.files[4]));
}

TEST_F(PlayListEditorTest, FolderWalkSkipsFoldersItCannotOpen) {
    // A folder whose path is too long to open: unreadable to everyone, root included.
    const QString root = dir.file("Deep");
    const QString top = song("Deep/top.mp3");
    int fd = ::open(nativeFileName(root).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    const QByteArray part(200, 'x');
    for (int level = 0; level < 25; ++level) {
        ASSERT_EQ(::mkdirat(fd, part.constData(), 0755), 0);
        const int next = ::openat(fd, part.constData(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    ::close(fd);
    const TMp3Walk walk = CollectMp3Files(root);
    EXPECT_EQ(walk.files, QStringList{top});
    EXPECT_GE(walk.unreadableFolders, 1);
    EXPECT_EQ(CollectMp3Files(dir.file("no such folder")).files, QStringList());
}

TEST_F(PlayListEditorTest, AddDirAddsTheTreeAndRemembersTheFolder) {
    const QString a = song("Music/A - 1.mp3");
    const QString b = song("Music/Sub/B - 2.mp3");
    prompts.folder = dir.file("Music");
    auto editor = makeEditor();
    editor->bAddDirClick();
    EXPECT_EQ(pathsOf(editor->List), (QStringList{a, b}));
    EXPECT_EQ(station.settings.LastDir1, dir.file("Music"));
    EXPECT_EQ(prompts.folderOffered, dir.file("MP3 Files/"));
    EXPECT_TRUE(editor->ListModified);
    EXPECT_TRUE(prompts.asked.empty());
    editor->bAddDirClick();
    EXPECT_EQ(editor->List.rowCount(), 2) << "duplicates unticked";
}

TEST_F(PlayListEditorTest, AddDirOnAFolderWithoutSongsChangesNothing) {
    QDir().mkpath(dir.file("Empty/Sub"));
    writeWholeFile(dir.file("Empty/readme.txt"), "no songs");
    prompts.folder = dir.file("Empty");
    auto editor = makeEditor();
    editor->bAddDirClick();
    EXPECT_EQ(editor->List.rowCount(), 0);
    EXPECT_FALSE(editor->ListModified);
    EXPECT_TRUE(prompts.asked.empty()) << "no message";
    EXPECT_TRUE(editor->bAddDir->isEnabled());
    EXPECT_FALSE(editor->bSave->isEnabled());
}

// --- Stopping a long operation ----------------------------------------------------------------

// The operator's stop arrives while the operation reports its counts; the operation ends before
// the next file, and the list holds exactly the songs handled until then, keyed and sorted as
// ever. A stop after the last file stops nothing.
TEST_F(PlayListEditorTest, AddingStopsBeforeTheNextFile) {
    QStringList songs; // three folders of ten, in the order Add Dir walks them
    for (int f = 0; f < 3; ++f)
        for (int i = 0; i < 10; ++i)
            songs << song(QStringLiteral("Tree/F%1/Band - Song %2.mp3").arg(f).arg(i));

    struct Case {
        const char* name;
        bool addDir;
        int stopWhenDone; // the count of files done when the operator presses Cancel
        int added;
        bool stopped;
        int total; // reported with the stop: all files, or those found so far
    };
    const Case cases[] = {
        {"Add Files, at once", false, 0, 0, true, 30},
        {"Add Files, in the middle", false, 12, 12, true, 30},
        {"Add Files, after the last file", false, 30, 30, false, 30},
        {"Add Dir, at once", true, 0, 0, true, 0},
        {"Add Dir, between two folders", true, 10, 10, true, 10},
        {"Add Dir, within a folder", true, 12, 12, true, 20},
        {"Add Dir, after the last file", true, 30, 30, false, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TPlayListTable list;
        list.appendRow({song("Old/old.mp3"), "T", "20000", "00001"});
        ScriptedRandom random({1, 1, 1});
        TLongOperation* self = nullptr;
        TLongOperation operation([&](int done, int) {
            if (done == c.stopWhenDone)
                self->requestStop();
        });
        self = &operation;
        const int added = c.addDir
                              ? AddFolderSongs(list, dir.file("Tree/"), false, random, &operation)
                              : AddSongs(list, songs, false, random, &operation);
        EXPECT_EQ(added, c.added);
        EXPECT_EQ(operation.stopped(), c.stopped);
        EXPECT_EQ(operation.done(), c.stopWhenDone);
        EXPECT_EQ(operation.total(), c.total);
        ASSERT_EQ(list.rowCount(), c.added + 1);
        for (int i = 0; i < c.added; ++i) {
            EXPECT_EQ(list.cell(i, plcFileName), songs[i]);
            EXPECT_EQ(list.cell(i, plcOrder), OrderKey(2 + i));
        }
        EXPECT_EQ(list.cell(c.added, plcOrder), "20000") << "sorted by Order";
    }
}

TEST_F(PlayListEditorTest, TheFolderWalkStopsWithinAFolder) {
    // One folder of many names (a whole disk's top folder, say): the walk asks to go on while
    // it reads the names, not only between folders.
    const QString big = dir.file("Big/");
    QDir().mkpath(big);
    for (int i = 0; i < 600; ++i)
        writeWholeFile(big + QStringLiteral("note%1.txt").arg(i), "x");
    song("Big/song.mp3");
    int asked = 0;
    int handed = 0;
    WalkMp3Files(
        big,
        [&](const QStringList&) {
            ++handed;
            return true;
        },
        [&] { return ++asked < 2; });
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(handed, 0) << "stopped before the folder's songs were handed out";
    EXPECT_EQ(CollectMp3Files(big).files, QStringList{big + "song.mp3"});
}

// --- Delete, Up, Down, Clear ------------------------------------------------------------------

TEST_F(PlayListEditorTest, DeleteSelectsTheNextEntryAndTheButtonsFollow) {
    struct Case {
        const char* name;
        int entries;
        int deleted;
        int selectedAfter; // -1: none
    };
    const Case cases[] = {
        {"middle", 3, 1, 1},
        {"last", 3, 2, 1},
        {"only", 1, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList songs;
        for (int i = 0; i < c.entries; ++i)
            songs << song(QStringLiteral("Del/Band - Song %1.mp3").arg(i));
        auto editor = makeEditor();
        editor->AddSongFiles(songs);
        editor->selectRow(c.deleted);
        editor->bDeleteClick();
        QStringList left = songs;
        left.removeAt(c.deleted);
        EXPECT_EQ(pathsOf(editor->List), left);
        EXPECT_EQ(editor->selectedRow(), c.selectedAfter);
        EXPECT_TRUE(editor->ListModified);
        EXPECT_TRUE(QFile::exists(songs[c.deleted])) << "the song file stays";
        const bool any = c.entries > 1;
        for (QPushButton* b : {editor->bClearList, editor->bSave, editor->bDelete, editor->bUp,
                               editor->bDown, editor->bTagToFile, editor->bFileToTag})
            EXPECT_EQ(b->isEnabled(), any) << b->objectName().toStdString();
        for (QPushButton* b : {editor->bOK, editor->bAddDir, editor->bPopulate, editor->bLoad})
            EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
        if (c.selectedAfter >= 0) {
            EXPECT_EQ(editor->eTitle[1]->text(), QFileInfo(left[c.selectedAfter]).baseName().mid(7))
                << "the details follow";
        }
    }
}

TEST_F(PlayListEditorTest, DeleteWithoutSelectionAndTheDelKeyMenuRule) {
    auto editor = makeEditor();
    editor->AddSongFiles({song("M/A - 1.mp3"), song("M/A - 2.mp3")});
    editor->selectRow(-1);
    editor->PopupMenu1Popup();
    EXPECT_FALSE(editor->miDeleteFile->isEnabled());
    EXPECT_TRUE(editor->miClearList->isEnabled() && editor->miAddDir->isEnabled() &&
                editor->miSaveList->isEnabled() && editor->miLoadList->isEnabled() &&
                editor->miAddFiles->isEnabled());
    editor->ListModified = false;
    editor->bDeleteClick();
    EXPECT_EQ(editor->List.rowCount(), 2);
    EXPECT_FALSE(editor->ListModified);

    editor->selectRow(0);
    editor->PopupMenu1Popup();
    EXPECT_TRUE(editor->miDeleteFile->isEnabled());
    editor->miDeleteFile->trigger();
    EXPECT_EQ(editor->List.rowCount(), 1);
}

TEST_F(PlayListEditorTest, UpAndDownMoveTheSelectedEntry) {
    const QStringList songs = {song("M/A - One.mp3"), song("M/A - Two.mp3"),
                               song("M/A - Three.mp3")};
    struct Case {
        const char* name;
        int row;
        int direction;
        QList<int> order; // indexes into songs, in list order afterwards
        int selectedAfter;
        bool modified;
    };
    const Case cases[] = {
        {"up on the first", 0, 1, {0, 1, 2}, 0, false},
        {"down on the last", 2, 2, {0, 1, 2}, 2, false},
        {"up", 2, 1, {0, 2, 1}, 1, true},
        {"down", 0, 2, {1, 0, 2}, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto editor = makeEditor();
        editor->AddSongFiles(songs);
        editor->ListModified = false;
        editor->selectRow(c.row);
        c.direction == 1 ? editor->bUpClick() : editor->bDownClick();
        QStringList expected;
        for (int i : c.order)
            expected << songs[i];
        EXPECT_EQ(pathsOf(editor->List), expected);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(editor->List.cell(i, plcOrder), OrderKey(i + 1)) << "keys stay sorted";
        EXPECT_EQ(editor->selectedRow(), c.selectedAfter);
        EXPECT_EQ(editor->ListModified, c.modified);
        // The details keep following the selection afterwards.
        editor->selectRow(0);
        EXPECT_EQ(editor->eTitle[1]->text(), QFileInfo(expected[0]).completeBaseName().mid(4));
    }
}

TEST_F(PlayListEditorTest, MoveWorksWhereTwoEntriesShareAKey) {
    TPlayListTable list;
    for (const char* key : {"00001", "00002", "00002"})
        list.appendRow({QString::fromLatin1(key) + "x", "F", key, "00000"});
    list.setCell(2, plcFileName, "third");
    EXPECT_EQ(MoveEntry(list, 2, 1), 1);
    EXPECT_EQ(list.cell(1, plcFileName), "third");
    EXPECT_EQ(MoveEntry(list, 0, 1), -1);
    EXPECT_EQ(MoveEntry(list, 2, 2), -1);
    EXPECT_EQ(MoveEntry(list, 5, 1), -1);
}

TEST_F(PlayListEditorTest, ClearListAsksFirst) {
    struct Case {
        const char* name;
        int entries;
        QMessageBox::StandardButton answer;
        int left;
        bool modified;
    };
    const Case cases[] = {
        {"OK", 2, QMessageBox::Ok, 0, true},
        {"Cancel", 2, QMessageBox::Cancel, 2, false},
        {"empty list from the menu", 0, QMessageBox::Ok, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto editor = makeEditor();
        QStringList songs;
        for (int i = 0; i < c.entries; ++i)
            songs << song(QStringLiteral("C/A - %1.mp3").arg(i));
        if (!songs.isEmpty())
            editor->AddSongFiles(songs);
        editor->ListModified = false;
        prompts.asked.clear();
        prompts.answers = {c.answer};
        editor->miClearList->trigger();
        ASSERT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].caption, "Confirm");
        EXPECT_EQ(prompts.asked[0].text, "This will empty the entire list. Continue?");
        EXPECT_EQ(prompts.asked[0].icon, QMessageBox::Warning);
        EXPECT_EQ(editor->List.rowCount(), c.left);
        EXPECT_EQ(editor->ListModified, c.modified);
        if (c.left == 0) {
            EXPECT_TRUE(editor->eTitle[1]->text().isEmpty());
        }
    }
}

// --- Load and Save ----------------------------------------------------------------------------

TEST_F(PlayListEditorTest, SaveListWritesTheFileAndNamesTheEditor) {
    const QStringList songs = {song("S/A - 1.mp3"), song("S/A - 2.mp3")};
    auto editor = makeEditor();
    editor->AddSongFiles(songs);
    prompts.saveFile = dir.file("Lists/Evening.lst");
    editor->bSaveClick();
    EXPECT_EQ(prompts.nameProposed, "New List");
    EXPECT_EQ(prompts.saveFolderOffered, dir.file("Lists"));
    EXPECT_EQ(readWholeFile(dir.file("Lists/Evening.lst")), listBytes(songs));
    EXPECT_EQ(editor->EditListName, "Evening.lst");
    EXPECT_EQ(editor->windowTitle(), "Corvalin Radio Play List - Evening.lst");
    EXPECT_FALSE(editor->ListModified);
    EXPECT_EQ(editor->selectedRow(), 0);
    EXPECT_EQ(station.reloads, 0) << "not the current slot's file";
}

TEST_F(PlayListEditorTest, SavingTheCurrentSlotsFileReloadsTheLiveList) {
    station.slotFile = dir.file("Lists/Morning.lst");
    writeWholeFile(station.slotFile, listBytes({song("S/Old - 1.mp3")}));
    auto editor = makeEditor();
    editor->AddSongFiles({song("S/New - 1.mp3")});

    struct Case {
        const char* name;
        QString file;
        QList<QMessageBox::StandardButton> answers; // to the overwrite question
        int reloads;
        bool written;
    };
    const Case cases[] = {
        {"another name", dir.file("Lists/Other.lst"), {}, 0, true},
        {"overwrite declined", station.slotFile, {QMessageBox::Cancel}, 0, false},
        {"the slot's file", station.slotFile, {QMessageBox::Ok}, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        station.reloads = 0;
        editor->ListModified = true;
        const QByteArray before = readWholeFile(c.file);
        prompts.saveFile = c.file;
        prompts.asked.clear();
        prompts.answers.assign(c.answers.begin(), c.answers.end());
        editor->bSaveClick();
        EXPECT_EQ(station.reloads, c.reloads);
        EXPECT_EQ(readWholeFile(c.file) != before, c.written);
        EXPECT_EQ(editor->ListModified, !c.written) << "a declined overwrite stays unsaved";
        if (!c.answers.isEmpty()) {
            ASSERT_EQ(prompts.asked.size(), 1u);
            EXPECT_EQ(prompts.asked[0].caption, "File Exists");
            EXPECT_EQ(prompts.asked[0].text,
                      "The file " + c.file + " already exists. Overwrite it?");
        }
    }
}

TEST_F(PlayListEditorTest, AnEmptyListCannotBeSaved) {
    auto editor = makeEditor();
    prompts.answers = {QMessageBox::Ok};
    prompts.saveFile = dir.file("Lists/Empty.lst");
    editor->bSaveClick();
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].caption, "Corvalin Radio - Setup Error");
    EXPECT_EQ(prompts.asked[0].text, "There are no songs in this play list.");
    EXPECT_EQ(prompts.asked[0].icon, QMessageBox::Critical);
    EXPECT_EQ(prompts.dialogs, 0);
    EXPECT_FALSE(QFile::exists(dir.file("Lists/Empty.lst")));
}

TEST_F(PlayListEditorTest, LoadListAsksToSaveAChangedList) {
    const QString morning = dir.file("Lists/Morning.lst");
    const QStringList morningSongs = {song("L/M - 1.mp3"), song("L/M - 2.mp3")};
    writeWholeFile(morning, listBytes(morningSongs));
    const QString unsaved = song("L/U - 1.mp3");

    struct Case {
        const char* name;
        QMessageBox::StandardButton answer;
        bool loaded;
        bool savedFirst;
    };
    const Case cases[] = {
        {"Cancel", QMessageBox::Cancel, false, false},
        {"No", QMessageBox::No, true, false},
        {"Yes", QMessageBox::Yes, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(dir.file("Lists/Unsaved.lst"));
        auto editor = makeEditor();
        editor->AddSongFiles({unsaved});
        prompts.asked.clear();
        prompts.answers = {c.answer};
        prompts.saveFile = dir.file("Lists/Unsaved.lst");
        prompts.listFile = morning;
        editor->bLoadClick();
        ASSERT_GE(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].caption, "Save List");
        EXPECT_EQ(prompts.asked[0].text,
                  "You have not saved your new list.\rDo you want to save it now?");
        EXPECT_EQ(pathsOf(editor->List), c.loaded ? morningSongs : QStringList{unsaved});
        EXPECT_EQ(QFile::exists(dir.file("Lists/Unsaved.lst")), c.savedFirst);
        if (c.loaded) {
            EXPECT_EQ(editor->windowTitle(), "Corvalin Radio Play List - Morning.lst");
            EXPECT_FALSE(editor->ListModified);
            EXPECT_EQ(editor->selectedRow(), 0);
            EXPECT_EQ(prompts.listFolderOffered, dir.file("Lists/"));
        }
    }
}

// --- Closing ----------------------------------------------------------------------------------

TEST_F(PlayListEditorTest, ClosingAChangedListAsks) {
    const QString morning = dir.file("Lists/Morning.lst");
    const QString s1 = song("Q/A - 1.mp3");
    writeWholeFile(morning, listBytes({s1}));

    struct Case {
        const char* name;
        bool fromFile;
        QMessageBox::StandardButton answer;
        bool open;
    };
    const Case cases[] = {
        {"new list, Cancel", false, QMessageBox::Cancel, true},
        {"new list, No", false, QMessageBox::No, false},
        {"Morning.lst, Cancel", true, QMessageBox::Cancel, true},
        {"Morning.lst, No", true, QMessageBox::No, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray before = readWholeFile(morning);
        auto editor = makeEditor();
        if (c.fromFile)
            editor->OpenOnFile(morning);
        editor->AddSongFiles({song("Q/B - 2.mp3")});
        editor->show();
        prompts.asked.clear();
        prompts.answers = {c.answer};
        editor->reject(); // Cancel and Esc
        ASSERT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].caption, "Save List");
        EXPECT_EQ(prompts.asked[0].icon, QMessageBox::Warning);
        EXPECT_EQ(prompts.asked[0].text,
                  c.fromFile ? "List Morning.lst has been changed.\rDo you want to save it now?"
                             : "You have not saved your new list.\rDo you want to save it now?");
        EXPECT_EQ(editor->isVisible(), c.open);
        if (c.open) {
            EXPECT_TRUE(editor->bOK->isEnabled());
            EXPECT_TRUE(editor->bCancel->isEnabled());
            EXPECT_TRUE(editor->bSave->isEnabled());
        }
        EXPECT_EQ(readWholeFile(morning), before) << "nothing saved";
    }
}

TEST_F(PlayListEditorTest, YesSavesASecondLaterAndCloses) {
    const QString s1 = song("Y/A - 1.mp3");
    auto editor = makeEditor();
    editor->AddSongFiles({s1});
    editor->show();
    prompts.answers = {QMessageBox::Yes};
    prompts.saveFile = dir.file("Lists/Saved.lst");
    editor->bOKClick();
    EXPECT_TRUE(editor->Timer1.isActive());
    EXPECT_EQ(editor->Timer1.interval(), 1000);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_FALSE(editor->bOK->isEnabled());
    editor->bOKClick(); // pressed again while the save is pending: nothing more is asked
    EXPECT_EQ(prompts.asked.size(), 1u);
    editor->FormActivate();
    EXPECT_FALSE(editor->bOK->isEnabled()) << "activation does not re-arm the buttons";
    editor->Timer1Timer();
    EXPECT_FALSE(editor->Timer1.isActive());
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(readWholeFile(dir.file("Lists/Saved.lst")), listBytes({s1}));
}

// Yes on closing, when the list does not reach a file, keeps the editor open with the list as
// edited: a list folder that cannot be written (its parent is a file, which stops root as well),
// the save dialog cancelled, an overwrite declined. Saving elsewhere afterwards closes it.
TEST_F(PlayListEditorTest, YesKeepsTheEditorOpenWhenTheListIsNotSaved) {
    writeWholeFile(dir.file("NotAFolder"), "a file where the folder would be");
    const QString existing = dir.file("Lists/Existing.lst");
    writeWholeFile(existing, "Fkept\r\n");
    const QStringList songs = {song("K/A - 1.mp3"), song("K/A - 2.mp3")};

    struct Case {
        const char* name;
        QString saveFile;                           // the save dialog's answer; empty: cancelled
        QList<QMessageBox::StandardButton> answers; // after Yes
        const char* caption;                        // of the box after Yes, if any
    };
    const Case cases[] = {
        {"unwritable folder",
         dir.file("NotAFolder/Lists/Mine.lst"),
         {QMessageBox::Ok},
         "Corvalin Radio - File Error"},
        {"save dialog cancelled", QString(), {}, nullptr},
        {"overwrite declined", existing, {QMessageBox::Cancel}, "File Exists"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto editor = makeEditor();
        editor->AddSongFiles(songs);
        editor->selectRow(1);
        editor->bDeleteClick();
        editor->show();
        prompts.asked.clear();
        prompts.answers = {QMessageBox::Yes};
        prompts.answers.insert(prompts.answers.end(), c.answers.begin(), c.answers.end());
        prompts.saveFile = c.saveFile;
        editor->bOKClick();
        editor->Timer1Timer();
        EXPECT_TRUE(editor->isVisible()) << "the edits are not dropped";
        EXPECT_EQ(pathsOf(editor->List), QStringList{songs[0]});
        EXPECT_TRUE(editor->ListModified);
        ASSERT_EQ(prompts.asked.size(), c.caption ? 2u : 1u);
        if (c.caption) {
            EXPECT_EQ(prompts.asked[1].caption, c.caption);
        }
        for (QPushButton* b : {editor->bOK, editor->bCancel, editor->bSave, editor->bAddDir})
            EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
        EXPECT_EQ(readWholeFile(existing), "Fkept\r\n");
        EXPECT_FALSE(QFileInfo::exists(dir.file("NotAFolder/Lists")));

        // Closing asks again; saved elsewhere, the editor closes.
        const QString elsewhere = dir.file("Lists/Elsewhere.lst");
        QFile::remove(elsewhere);
        prompts.asked.clear();
        prompts.answers = {QMessageBox::Yes};
        prompts.saveFile = elsewhere;
        editor->reject();
        ASSERT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].caption, "Save List");
        editor->Timer1Timer();
        EXPECT_FALSE(editor->isVisible());
        EXPECT_EQ(readWholeFile(elsewhere), listBytes({songs[0]}));
    }
}

// Load List after "Yes, save" whose save did not reach a file keeps the edited list.
TEST_F(PlayListEditorTest, LoadAfterAFailedSaveKeepsTheEditedList) {
    writeWholeFile(dir.file("NotAFolder"), "a file where the folder would be");
    const QString other = dir.file("Lists/Other.lst");
    writeWholeFile(other, "Fother.mp3\r\n");
    const QStringList songs = {song("K/A - 1.mp3"), song("K/A - 2.mp3")};
    auto editor = makeEditor();
    editor->AddSongFiles(songs);
    editor->show();
    prompts.asked.clear();
    prompts.answers = {QMessageBox::Yes, QMessageBox::Ok};
    prompts.saveFile = dir.file("NotAFolder/Lists/Mine.lst");
    prompts.listFile = other;
    editor->bLoadClick();
    ASSERT_EQ(prompts.asked.size(), 2u);
    EXPECT_EQ(prompts.asked[1].caption, "Corvalin Radio - File Error");
    EXPECT_EQ(pathsOf(editor->List), songs);
    EXPECT_TRUE(editor->ListModified);
}

// Cancel and Esc on the long operations of a list of 20 000 songs, each with a small tag (Band,
// Song N) before the same audio: each operation stops soon after the key, every song it touched
// is whole and every other one as it was, and the box says how far it got.
TEST_F(PlayListEditorTest, LongOperationsOnTwentyThousandSongsStopOnCancelAndEsc) {
    constexpr int kSongs = 20000;
    const QString folder = dir.file("Many/");
    QDir().mkpath(folder);
    QStringList paths;
    QStringList titles;
    for (int i = 0; i < kSongs; ++i) {
        titles << QStringLiteral("Song %1").arg(i, 5, 10, QLatin1Char('0'));
        paths << folder + QStringLiteral("%1.mp3").arg(i, 5, 10, QLatin1Char('0'));
        writeWholeFile(paths.back(), taggedSongBytes("Band", titles.back()));
    }
    auto editor = makeEditor();
    editor->show();
    editor->AddSongFiles(paths);
    ASSERT_EQ(pathsOf(editor->List), paths);
    const auto filesInFolder = [&] {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System).size();
    };

    // Runs a bulk operation for all songs. Once `ready` finds the control to press (checked
    // whenever the operation lets window events through), another thread presses it 15 ms
    // later, as the operator's key arrives at any moment between two of those. Returns the
    // files done, read from the box shown afterwards, and the time from the key to the end of
    // the operation.
    struct Stop {
        int done = -1;
        qint64 ms = -1;
    };
    using Clock = std::chrono::steady_clock;
    const auto runAndStop = [&](void (TfrmPlayList::*handler)(), const QString& stoppedText,
                                const std::function<QObject*()>& ready,
                                const std::function<void(QObject*)>& press) {
        std::thread presser;
        Clock::time_point pressed;
        QTimer poll;
        poll.setInterval(1);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (QObject* target = ready()) {
                poll.stop();
                presser = std::thread([&pressed, &press, target] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(15));
                    pressed = Clock::now();
                    press(target);
                });
            }
        });
        poll.start();
        prompts.asked.clear();
        prompts.allOrOneAnswer = 1;
        prompts.answers = {QMessageBox::Ok, QMessageBox::Ok}; // the confirmation, the result
        (editor.get()->*handler)();
        const Clock::time_point ended = Clock::now();
        Stop stop;
        if (presser.joinable()) {
            presser.join();
            stop.ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(ended - pressed).count();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(prompts.asked.size(), 2u);
        if (prompts.asked.size() == 2) {
            EXPECT_EQ(prompts.asked[1].caption, "Stopped");
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("^Stopped after (\\d+) of 20000 files: "))
                    .match(prompts.asked[1].text);
            EXPECT_TRUE(m.hasMatch()) << prompts.asked[1].text.toStdString();
            EXPECT_TRUE(prompts.asked[1].text.endsWith(stoppedText));
            stop.done = m.captured(1).toInt();
        }
        EXPECT_GT(stop.done, 0);
        EXPECT_LT(stop.done, kSongs);
        EXPECT_TRUE(editor->bOK->isEnabled()) << "the buttons come back";
        return stop;
    };
    const auto editorAtOnce = [&]() -> QObject* { return editor.get(); };
    const auto shownBox = [&]() -> QProgressDialog* {
        auto* box = editor->findChild<QProgressDialog*>(QStringLiteral("ProgressBox"));
        return box && box->isVisible() ? box : nullptr;
    };
    const auto boxCancelButton = [&]() -> QObject* {
        QProgressDialog* box = shownBox();
        QPushButton* cancel = box ? box->findChild<QPushButton*>() : nullptr;
        return cancel && cancel->text() == "Cancel" ? cancel : nullptr;
    };
    // Both are safe from any thread: the window takes them up at its next look at its events.
    // The key event's device is made here, on the window thread, where the application owns it
    // (made first on the pressing thread, it would never be freed).
    QInputDevice::primaryKeyboard();
    const auto escape = [](QObject* target) {
        QCoreApplication::postEvent(
            target, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    };
    const auto click = [](QObject* button) {
        QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
    };

    // Tag > File, Esc on the editor before the box is up.
    const Stop renaming = runAndStop(&TfrmPlayList::bTagToFileClick, "the others are as they were.",
                                     editorAtOnce, escape);
    for (int i = 0; i < kSongs; ++i) {
        const QString renamed = folder + "Band - " + titles[i] + ".mp3";
        const QString now = i < renaming.done ? renamed : paths[i];
        ASSERT_EQ(editor->List.cell(i, plcFileName), now) << i;
        ASSERT_EQ(readWholeFile(now), taggedSongBytes("Band", titles[i])) << i;
    }
    EXPECT_EQ(filesInFolder(), kSongs) << "each song under one name, nothing left beside";
    EXPECT_TRUE(editor->ListModified);

    // File > Tag, Cancel on the box, then Esc on the box. A song written has its whole new tag
    // (artist and title from its name, in the old tag's place) before the untouched audio.
    const auto writtenSongs = [&] {
        int written = 0;
        for (int i = 0; i < kSongs; ++i) {
            const QString path = editor->List.cell(i, plcFileName);
            const QByteArray bytes = readWholeFile(path);
            const QByteArray before = taggedSongBytes("Band", titles[i]);
            if (bytes == before)
                continue;
            ++written;
            TID3v2 tag;
            EXPECT_TRUE(tag.ReadTag(path));
            const bool renamed = i < renaming.done;
            EXPECT_EQ(tag.Artist, renamed ? "Band" : "");
            EXPECT_EQ(tag.Title, renamed ? titles[i] : titles[i].mid(5));
            EXPECT_EQ(bytes.size(), before.size());
            EXPECT_TRUE(bytes.endsWith(songBytes()));
            if (written != i + 1) {
                ADD_FAILURE() << "song " << i << " written after one left as it was";
                break;
            }
        }
        return written;
    };
    const Stop tagging = runAndStop(&TfrmPlayList::bFileToTagClick, "the others are as they were.",
                                    boxCancelButton, click);
    EXPECT_EQ(writtenSongs(), tagging.done);
    EXPECT_EQ(filesInFolder(), kSongs);
    const Stop tagging2 = runAndStop(&TfrmPlayList::bFileToTagClick, "the others are as they were.",
                                     shownBox, escape);
    EXPECT_EQ(writtenSongs(), std::max(tagging.done, tagging2.done));
    EXPECT_EQ(filesInFolder(), kSongs);

    for (const Stop& s : {renaming, tagging, tagging2}) {
        EXPECT_GE(s.ms, 0);
        EXPECT_LT(s.ms, 1000) << "stops soon after the key (within 200 ms on a quiet machine)";
    }
    std::cout << "[ stopped  ] Tag > File (Esc) after " << renaming.done << " songs in "
              << renaming.ms << " ms; File > Tag (Cancel) after " << tagging.done << " songs in "
              << tagging.ms << " ms; File > Tag (Esc on the box) after " << tagging2.done
              << " songs in " << tagging2.ms << " ms\n";
}

TEST_F(PlayListEditorTest, AnUnchangedListClosesWithoutAQuestion) {
    auto editor = makeEditor();
    editor->show();
    editor->bOKClick();
    EXPECT_FALSE(editor->isVisible());
    EXPECT_TRUE(prompts.asked.empty());
}

// --- Settings, help, activation ---------------------------------------------------------------

TEST_F(PlayListEditorTest, StartsFromTheSettings) {
    for (const bool duplicates : {false, true}) {
        for (const int source : {0, 1, 2}) {
            station.settings.Duplicates = duplicates;
            station.settings.ArtistSource = source;
            auto editor = makeEditor();
            EXPECT_EQ(editor->cbDuplicates->isChecked(), duplicates);
            EXPECT_EQ(editor->PageControl1->tabText(editor->PageControl1->currentIndex()),
                      source == 0 ? "File" : "Tag");
            EXPECT_EQ(editor->windowTitle(), "Corvalin Radio Play List- New List");
            EXPECT_EQ(editor->EditListName, "New List");
            EXPECT_FALSE(editor->bSaveTag[1]->isEnabled());
            EXPECT_FALSE(editor->bDelete->isEnabled());
            EXPECT_TRUE(editor->bAddDir->isEnabled());
        }
    }
    auto editor = makeEditor();
    editor->cbDuplicates->click();
    EXPECT_EQ(station.settings.Duplicates, editor->cbDuplicates->isChecked());
    editor->cbDuplicates->click();
    EXPECT_EQ(station.settings.Duplicates, editor->cbDuplicates->isChecked());
    editor->bHelp->click();
    EXPECT_EQ(station.helpTopics, std::vector<int>{5});
}

TEST_F(PlayListEditorTest, TheLiveListIsSavedOnceBeforeTheEditorReadsAList) {
    {
        auto editor = makeEditor();
        editor->show();
        editor->FormActivate();
        editor->FormActivate();
        EXPECT_EQ(station.liveSaves, 1);
        editor->bOKClick();
    }
    station.liveSaves = 0;
    const QString morning = dir.file("Lists/Morning.lst");
    writeWholeFile(morning, listBytes({song("F/A - 1.mp3")}));
    auto editor = makeEditor();
    editor->OpenOnFile(morning);
    EXPECT_EQ(station.liveSaves, 1) << "before the file is read";
    editor->show();
    editor->FormActivate();
    EXPECT_EQ(station.liveSaves, 1);
}

// --- The read-only view -----------------------------------------------------------------------

TEST_F(PlayListEditorTest, ReadOnlyViewOfTheLiveList) {
    QStringList songs;
    for (int i = 0; i < 30; ++i)
        songs << song(QStringLiteral("V/Band - Song %1.mp3").arg(i, 2, 10, QLatin1Char('0')));
    station.slotFile = dir.file("Lists/Morning.lst");
    writeWholeFile(station.slotFile, listBytes(songs));
    const QByteArray listBefore = readWholeFile(station.slotFile);
    ASSERT_EQ(LoadList(station.slotFile, station.live, station.random).status,
              TListLoadResult::Loaded);
    station.live.sortBy(plcOrder);
    station.listIndex = 10;
    station.nextSong = songs[10].toUpper(); // compared without regard to letter case
    const QDateTime songTime = QFileInfo(songs[10]).lastModified();

    bool checked = false;
    bool secondViewRefused = false;
    QTimer::singleShot(0, [&] {
        auto* editor = qobject_cast<TfrmPlayList*>(QApplication::activeModalWidget());
        if (!editor) {
            ADD_FAILURE() << "no view open";
            return;
        }
        checked = true;
        EXPECT_TRUE(station.viewOpen);
        // A second double click while the view is open does nothing.
        ViewLivePlayList(station.context(dir.path()));
        secondViewRefused = QApplication::activeModalWidget() == editor;

        EXPECT_EQ(editor->windowTitle(), "Corvalin Radio View Play List - Morning.lst (read only)");
        EXPECT_EQ(pathsOf(editor->List), songs.mid(8, 18));
        EXPECT_EQ(editor->selectedRow(), 2) << "the queued song";
        EXPECT_EQ(editor->eTitle[1]->text(), "Song 10");
        EXPECT_FALSE(editor->Panel4->isEnabled());
        EXPECT_FALSE(editor->PageControl1->isEnabled());
        EXPECT_FALSE(editor->cbDuplicates->isEnabled());
        EXPECT_EQ(editor->EditPlayList->contextMenuPolicy(), Qt::NoContextMenu);

        // Selection works and the details follow, still disabled.
        editor->selectRow(5);
        EXPECT_EQ(editor->eTitle[1]->text(), "Song 13");
        EXPECT_FALSE(editor->PageControl1->isEnabled());
        // Nothing else does, even when called directly.
        editor->bDeleteClick();
        editor->bClearListClick();
        editor->bUpClick();
        editor->bSaveClick();
        editor->bTagToFileClick();
        editor->bFileToTagClick();
        editor->eArtist[1]->setText("Changed");
        editor->bSaveTag1Click();
        EXPECT_EQ(editor->List.rowCount(), 18);
        EXPECT_FALSE(editor->ListModified);
        editor->bHelpClick();
        editor->bOKClick();
    });
    ViewLivePlayList(station.context(dir.path()));
    EXPECT_TRUE(checked);
    EXPECT_TRUE(secondViewRefused);
    EXPECT_FALSE(station.viewOpen) << "cleared when the view closes";
    EXPECT_TRUE(prompts.asked.empty());
    EXPECT_EQ(station.liveSaves, 0) << "no file is written";
    EXPECT_EQ(readWholeFile(station.slotFile), listBefore);
    EXPECT_TRUE(QFile::exists(songs[13]));
    EXPECT_EQ(QFileInfo(songs[10]).lastModified(), songTime);
    EXPECT_EQ(station.helpTopics, std::vector<int>{5});
}

TEST_F(PlayListEditorTest, ReadOnlyViewInRandomOrderAndWithoutAFile) {
    station.slotFile = dir.file("Lists/none.lst");
    ViewLivePlayList(station.context(dir.path())); // no file: nothing opens
    EXPECT_FALSE(station.viewOpen);

    TPlayListTable live;
    for (int i = 0; i < 5; ++i)
        live.appendRow(
            {QStringLiteral("/m/%1.mp3").arg(i), "F", OrderKey(20000 + i), OrderKey(50 - i)});
    TPlayListTable view;
    FillLiveView(live, view, 0, loRandom);
    EXPECT_EQ(pathsOf(view),
              (QStringList{"/m/4.mp3", "/m/3.mp3", "/m/2.mp3", "/m/1.mp3", "/m/0.mp3"}));
    FillLiveView(live, view, 0, loOriginal);
    EXPECT_EQ(view.cell(0, plcFileName), "/m/0.mp3");
    EXPECT_EQ(FindEntry(view, "/M/3.MP3"), 3);
    EXPECT_EQ(FindEntry(view, "/m/9.mp3"), -1);
}

TEST_F(PlayListEditorTest, OpeningOnAFileThroughTheRadioManagersButton) {
    const QString morning = dir.file("Lists/Morning.lst");
    const QStringList songs = {song("O/A - 1.mp3"), song("O/A - 2.mp3")};
    writeWholeFile(morning, listBytes(songs));
    bool checked = false;
    QTimer::singleShot(0, [&] {
        auto* editor = qobject_cast<TfrmPlayList*>(QApplication::activeModalWidget());
        if (!editor) {
            ADD_FAILURE() << "no editor open";
            return;
        }
        checked = true;
        EXPECT_EQ(editor->windowTitle(), "Corvalin Radio Play List - Morning.lst");
        EXPECT_EQ(pathsOf(editor->List), songs);
        EXPECT_EQ(editor->selectedRow(), 0);
        EXPECT_EQ(editor->eArtist[1]->text(), "A");
        EXPECT_TRUE(editor->Panel4->isEnabled());
        EXPECT_TRUE(editor->bDelete->isEnabled());
        editor->bOKClick();
    });
    OpenPlayListEditorOnFile(station.context(dir.path()), morning);
    EXPECT_TRUE(checked);
    EXPECT_EQ(station.liveSaves, 1);
}

} // namespace
} // namespace corvalin
