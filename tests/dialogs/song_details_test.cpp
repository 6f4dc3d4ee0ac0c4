// The song details of the play list editor: renaming from the File tab, tag writing from the Tag
// tab, Tag > File and File > Tag for one song or all, and the questions when the selection moves.
// Every tag written here is read back by mutagen.

#include "ScriptedPrompts.h"
#include "SongFixtures.h"
#include "TestSupport.h"
#include "audio/DSAudioFileRead.h"
#include "dialogs/FormAllOrOne.h"
#include "dialogs/FormPlayList.h"
#include "dialogs/LongOperation.h"
#include "dialogs/PlayListEditor.h"
#include "dialogs/SongDetails.h"
#include "library/ID3v2.h"
#include "platform/FileSystem.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <deque>
#include <gtest/gtest.h>

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

// Tags a song with mutagen (as another program would have).
void tagWithMutagen(const QString& path, const QString& artist, const QString& title,
                    const QString& comment) {
    static const char* const script = R"(
import sys
from mutagen.id3 import ID3, TIT2, TPE1, COMM
path, artist, title, comment = sys.argv[1:5]
tag = ID3()
if artist: tag.add(TPE1(encoding=3, text=artist))
if title: tag.add(TIT2(encoding=3, text=title))
if comment: tag.add(COMM(encoding=3, lang="eng", desc="", text=comment))
tag.save(path, v2_version=4)
)";
    ASSERT_TRUE(runTool("/usr/bin/python3", {"-c", script, path, artist, title, comment}));
}

// The tag as mutagen reads it.
struct MutagenTag {
    bool found = false;
    int version = 0;
    QString artist;
    QString title;
    QString comment;
};

MutagenTag readWithMutagen(const QString& path) {
    static const char* const script = R"(
import sys
from mutagen.id3 import ID3, ID3NoHeaderError
try:
    t = ID3(sys.argv[1])
except ID3NoHeaderError:
    print("none"); sys.exit(0)
def first(key):
    frames = t.getall(key)
    return frames[0].text[0] if frames and frames[0].text else ""
print("found"); print(t.version[1]); print(first("TPE1")); print(first("TIT2")); print(first("COMM"))
)";
    QProcess python;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PYTHONIOENCODING", "utf-8");
    python.setProcessEnvironment(env);
    python.start("/usr/bin/python3", {"-c", script, path});
    EXPECT_TRUE(python.waitForFinished(30000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(python.readAllStandardOutput()).split('\n');
    MutagenTag tag;
    if (lines.value(0) != "found")
        return tag;
    tag.found = true;
    tag.version = lines.value(1).toInt();
    tag.artist = lines.value(2);
    tag.title = lines.value(3);
    tag.comment = lines.value(4);
    return tag;
}

TSongMarks marks(const char* characters) {
    return MarksInText(QString::fromLatin1(characters));
}

// --- File tab ---------------------------------------------------------------------------------

TEST(SongDetailsFile, SaveDetailsRenamesTheSong) {
    struct Case {
        const char* name;
        const char* before;
        const char* artist;
        const char* title;
        const char* marks;
        const char* after; // empty: no rename
        const char* message;
    };
    const Case cases[] = {
        {"the example", "old.mp3", "Kestrels", "Harbour Lights", "~`",
         "Kestrels - Harbour Lights~`.mp3", ""},
        {"all five marks", "old.mp3", "Band", "Song", "^`][~", "Band - Song~[]`^.mp3", ""},
        {"title alone", "old.mp3", "", "Song", "[", "Song[.mp3", ""},
        {"artist alone", "old.mp3", "Band", "  ", "", "Band.mp3", ""},
        {"blanks trimmed", "old.mp3", "  Band ", " Song  ", "", "Band - Song.mp3", ""},
        {"a WAV gets .mp3", "old.wav", "Band", "Song", "", "Band - Song.mp3", ""},
        {"same name", "Band - Song.mp3", "Band", "Song", "", "", ""},
        {"nothing entered", "old.mp3", " ", "", "~", "",
         "You must enter an artist name or a title."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        const QString before = makeSong(dir.file(c.before));
        const TDetailResult result = SaveFileDetails(before, {c.artist, c.title, marks(c.marks)});
        EXPECT_EQ(result.message, QString::fromUtf8(c.message));
        const QString after = *c.after ? dir.file(c.after) : before;
        EXPECT_EQ(result.changed, *c.after != 0);
        EXPECT_EQ(result.newPath, after);
        EXPECT_EQ(readWholeFile(after), songBytes()) << "the song is all there";
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << "no copy left behind";
        if (result.changed) {
            // The name reads back as it was entered.
            // A name without separator is all title.
            const TSongDetails back = FileDetailsOf(after);
            const QString artist = QString::fromUtf8(c.artist).trimmed();
            const QString title = QString::fromUtf8(c.title).trimmed();
            const bool both = !artist.isEmpty() && !title.isEmpty();
            EXPECT_EQ(back.Artist, both ? artist : QString());
            EXPECT_EQ(back.Title, both ? title : artist + title);
            EXPECT_EQ(back.Marks, marks(c.marks));
        }
    }
}

TEST(SongDetailsFile, ARenameNeverReplacesAnotherSong) {
    TempFolder dir;
    const QString song = makeSong(dir.file("old.mp3"));
    const QString other = dir.file("Band - Song.mp3");
    writeWholeFile(other, "another song");
    const TDetailResult result = SaveFileDetails(song, {"Band", "Song", {}});
    EXPECT_FALSE(result.changed);
    EXPECT_EQ(result.message, "Unable to save new file name Band - Song.mp3.");
    EXPECT_EQ(result.newPath, song);
    EXPECT_EQ(readWholeFile(song), songBytes());
    EXPECT_EQ(readWholeFile(other), "another song");

    const QString missing = dir.file("gone.mp3");
    EXPECT_EQ(SaveFileDetails(missing, {"A", "B", {}}).message,
              "The file " + missing + " does not exist.");
}

// --- Tag tab ----------------------------------------------------------------------------------

TEST(SongDetailsTag, SaveDetailsWritesArtistTitleAndMarks) {
    struct Case {
        const char* name;
        const char* comment; // before; empty: the song has no tag
        const char* artist;
        const char* title;
        const char* marks;
        const char* commentAfter;
    };
    const Case cases[] = {
        {"Never Overlap ticked", "great song", "Band", "Song", "[", "[great song"},
        {"Never Announce unticked", "~[x", "Band", "Song", "[", "[x"},
        {"marks set together", "ok", "Band", "Song", "~[", "[~ok"},
        {"no tag before", "", "Kestrels", "Harbour Lights", "~`", "`~"},
        {"empty title written empty", "x", "Band", "", "", "x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        const QString song = makeSong(dir.file("song.mp3"));
        if (*c.comment)
            tagWithMutagen(song, "Old", "Old", QString::fromUtf8(c.comment));
        const TDetailResult result = SaveTagDetails(song, {c.artist, c.title, marks(c.marks)});
        EXPECT_TRUE(result.changed);
        EXPECT_TRUE(result.message.isEmpty());
        const MutagenTag tag = readWithMutagen(song);
        ASSERT_TRUE(tag.found);
        EXPECT_EQ(tag.version, 3);
        EXPECT_EQ(tag.artist, QString::fromUtf8(c.artist));
        EXPECT_EQ(tag.title, QString::fromUtf8(c.title));
        EXPECT_EQ(tag.comment, QString::fromUtf8(c.commentAfter));
        EXPECT_TRUE(readWholeFile(song).endsWith(songBytes())) << "the audio is unchanged";
        EXPECT_EQ(TagDetailsOf(song).Marks, marks(c.marks));
    }
}

TEST(SongDetailsTag, MissingAndNonMp3Files) {
    TempFolder dir;
    const QString wav = makeSong(dir.file("song.wav"));
    const QString missing = dir.file("gone.mp3");
    EXPECT_EQ(SaveTagDetails(wav, {"A", "B", {}}).message,
              "The file " + wav + " is not an MP3 file.");
    EXPECT_EQ(SaveTagDetails(missing, {"A", "B", {}}).message,
              "The file " + missing + " does not exist.");
    EXPECT_EQ(readWholeFile(wav), songBytes());
    EXPECT_FALSE(QFile::exists(missing));
    EXPECT_EQ(TagDetailsOf(wav), TSongDetails{}) << "a WAV shows an empty Tag tab";
}

// --- Tag > File and File > Tag for one song ----------------------------------------------------

TEST(SongDetailsConvert, TagToFileForOneSongNeedsATitle) {
    struct Case {
        const char* name;
        const char* artist;
        const char* title;
        const char* comment;
        bool all;
        const char* after; // empty: not renamed
        const char* message;
    };
    const Case cases[] = {
        {"artist and title", "Band", "Song", "]", false, "Band - Song].mp3", ""},
        {"title alone", "", "Song", "", false, "Song.mp3", ""},
        {"artist alone, one song", "Band", "", "", false, "",
         "You must enter a title tag to use as a file name."},
        {"artist alone, all songs", "Band", "", "", true, "Band.mp3", ""},
        {"empty tag, all songs", "", "", "~", true, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        const QString song = makeSong(dir.file("track01.mp3"));
        tagWithMutagen(song, c.artist, c.title, c.comment);
        const TDetailResult result = TagToFile(song, c.all);
        EXPECT_EQ(result.message, QString::fromUtf8(c.message));
        EXPECT_EQ(result.changed, *c.after != 0);
        EXPECT_EQ(result.newPath, *c.after ? dir.file(c.after) : song);
        EXPECT_TRUE(QFile::exists(result.newPath));
    }
}

TEST(SongDetailsConvert, FileToTagOnASongWithoutATag) {
    TempFolder dir;
    const QString song = makeSong(dir.file("Sub~Folder/Kestrels - Harbour Lights[`.mp3"));
    TID3v2 tag;
    EXPECT_TRUE(FileToTag(song, tag).changed);
    const MutagenTag back = readWithMutagen(song);
    ASSERT_TRUE(back.found);
    EXPECT_EQ(back.version, 3);
    EXPECT_EQ(back.artist, "Kestrels");
    EXPECT_EQ(back.title, "Harbour Lights");
    EXPECT_EQ(back.comment, "`[") << "the folder's ~ is not this song's mark";
    EXPECT_TRUE(readWholeFile(song).endsWith(songBytes()));

    // Marks the name no longer holds are cleared from the comment.
    const QString renamed = dir.file("Sub~Folder/Kestrels - Harbour Lights.mp3");
    ASSERT_TRUE(renameNoReplace(song, renamed));
    EXPECT_TRUE(FileToTag(renamed, tag).changed);
    EXPECT_EQ(readWithMutagen(renamed).comment, "");

    const QString wav = makeSong(dir.file("A - B.wav"));
    EXPECT_FALSE(FileToTag(wav, tag).changed);
    EXPECT_EQ(readWholeFile(wav), songBytes());
    EXPECT_FALSE(FileToTag(dir.file("gone.mp3"), tag).changed);
}

TEST(SongDetailsConvert, FileToTagForManySongsAtOnce) {
    TempFolder dir;
    QStringList paths;
    for (int i = 0; i < 40; ++i)
        paths << makeSong(dir.file(QStringLiteral("Band %1 - Song %1%2.mp3")
                                       .arg(i)
                                       .arg(i % 3 == 0 ? QStringLiteral("~") : QString())));
    paths << paths[5] << paths[5] << dir.file("gone.mp3") << makeSong(dir.file("x.wav"));
    std::vector<std::pair<int, int>> seen;
    const int written =
        FileToTagAll(paths, 4, [&](int done, int total) { seen.emplace_back(done, total); });
    EXPECT_EQ(written, 40) << "each song once; the missing file and the WAV passed over";
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), std::make_pair(42, 42)) << "the count ends at every distinct entry";
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_LE(seen[i - 1].first, seen[i].first);
    for (int i = 0; i < 40; ++i) {
        TID3v2 tag;
        ASSERT_TRUE(tag.ReadTag(paths[i]));
        EXPECT_EQ(tag.Artist, QStringLiteral("Band %1").arg(i));
        EXPECT_EQ(tag.Title, QStringLiteral("Song %1").arg(i));
        EXPECT_EQ(tag.Comment, i % 3 == 0 ? QStringLiteral("~") : QString());
        EXPECT_TRUE(readWholeFile(paths[i]).endsWith(songBytes()));
    }
    const MutagenTag checked = readWithMutagen(paths[39]);
    EXPECT_EQ(checked.artist, "Band 39");
    EXPECT_EQ(checked.comment, "~");
}

// The bulk passes stop before the next song once the operator asks: Tag > File renames exactly
// the songs before the stop and leaves the others as they were; File > Tag asked to stop before
// it starts writes nothing; a stop asked after the last song stops nothing.
TEST(SongDetailsConvert, BulkPassesStopBeforeTheNextSong) {
    constexpr int kSongs = 6;
    for (const int stopWhenDone : {0, 4, kSongs}) {
        SCOPED_TRACE(stopWhenDone);
        TempFolder dir;
        TPlayListTable list;
        QStringList paths;
        for (int i = 0; i < kSongs; ++i) {
            paths << dir.file(QStringLiteral("%1.mp3").arg(i));
            writeWholeFile(paths.back(), taggedSongBytes("Band", QStringLiteral("Song %1").arg(i)));
            list.appendRow({paths.back(), "F", OrderKey(i + 1), "00000"});
        }
        TLongOperation* self = nullptr;
        TLongOperation operation([&](int done, int) {
            if (done == stopWhenDone)
                self->requestStop();
        });
        self = &operation;
        EXPECT_EQ(TagToFileAll(list, &operation), stopWhenDone);
        EXPECT_EQ(operation.stopped(), stopWhenDone < kSongs);
        EXPECT_EQ(operation.done(), stopWhenDone);
        EXPECT_EQ(operation.total(), kSongs);
        for (int i = 0; i < kSongs; ++i) {
            const QString title = QStringLiteral("Song %1").arg(i);
            const QString expected =
                i < stopWhenDone ? dir.file("Band - " + title + ".mp3") : paths[i];
            EXPECT_EQ(list.cell(i, plcFileName), expected);
            EXPECT_EQ(readWholeFile(expected), taggedSongBytes("Band", title));
        }
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), kSongs);
    }

    TempFolder dir;
    QStringList paths;
    for (int i = 0; i < kSongs; ++i)
        paths << makeSong(dir.file(QStringLiteral("Band - Song %1.mp3").arg(i)));
    TLongOperation stoppedAtOnce;
    stoppedAtOnce.requestStop();
    EXPECT_EQ(FileToTagAll(paths, 4, &stoppedAtOnce), 0);
    EXPECT_TRUE(stoppedAtOnce.stopped());
    EXPECT_EQ(stoppedAtOnce.done(), 0);
    EXPECT_EQ(stoppedAtOnce.total(), kSongs);
    for (const QString& path : paths)
        EXPECT_EQ(readWholeFile(path), songBytes());

    TLongOperation* self = nullptr;
    TLongOperation stoppedAfterTheLast([&](int done, int total) {
        if (done == total)
            self->requestStop();
    });
    self = &stoppedAfterTheLast;
    EXPECT_EQ(FileToTagAll(paths, 4, &stoppedAfterTheLast), kSongs);
    EXPECT_FALSE(stoppedAfterTheLast.stopped());
    EXPECT_EQ(stoppedAfterTheLast.done(), kSongs);
}

// A deck playing a song keeps playing it to the end while the song is renamed and its tag
// rewritten (the file is rebuilt beside it and renamed over it).
TEST(SongDetailsConvert, APlayingSongIsNotDisturbed) {
    TempFolder dir;
    const QString song = makeSong(dir.file("Band - Song.mp3"));
    const QString copy = makeSong(dir.file("reference/Band - Song.mp3"));
    auto readAll = [](TDSAudioFileReader& reader, std::uint32_t limit) {
        QByteArray pcm;
        char buffer[4096];
        while (static_cast<std::uint32_t>(pcm.size()) < limit) {
            const std::uint32_t got = reader.Read(buffer, sizeof buffer);
            if (got == 0)
                break;
            pcm.append(buffer, static_cast<qsizetype>(got));
        }
        return pcm;
    };
    TDSAudioFileReader reference(copy);
    const QByteArray expected = readAll(reference, UINT32_MAX);
    ASSERT_GT(expected.size(), 8192);

    TDSAudioFileReader deck(song);
    QByteArray heard = readAll(deck, 4096);
    const TDetailResult renamed = SaveFileDetails(song, {"Band", "Song", marks("~")});
    ASSERT_TRUE(renamed.changed);
    ASSERT_TRUE(SaveTagDetails(renamed.newPath, {"Band", "Song", marks("~")}).changed);
    heard += readAll(deck, UINT32_MAX);
    EXPECT_EQ(heard, expected);
    EXPECT_EQ(readWithMutagen(renamed.newPath).comment, "~");
}

// --- The question box -------------------------------------------------------------------------

TEST(SongDetailsAllOrOne, TheBoxAnswersWhicheverWayItCloses) {
    TfrmAllOrOne box;
    EXPECT_EQ(box.windowTitle(), "Question");
    EXPECT_TRUE(box.rbCurrentFile->isChecked());
    EXPECT_EQ(box.rbCurrentFile->text(), "Change current file only");
    EXPECT_EQ(box.rbAllFiles->text(), "Change ALL files in list");
    EXPECT_TRUE(box.bOK->isDefault());
    EXPECT_FALSE(box.windowFlags() & Qt::WindowCloseButtonHint);
    box.rbAllFiles->setChecked(true);
    box.reject(); // Esc
    EXPECT_EQ(box.AllOrOne(), 1);
    box.rbCurrentFile->setChecked(true);
    box.bOK->click();
    EXPECT_EQ(box.AllOrOne(), 0);

    int answer = -1;
    QTimer::singleShot(0, [] {
        if (auto* shown = qobject_cast<TfrmAllOrOne*>(QApplication::activeModalWidget())) {
            shown->rbAllFiles->setChecked(true);
            shown->bOK->click();
        }
    });
    answer = AskAllOrOne(nullptr);
    EXPECT_EQ(answer, 1);
}

// --- In the editor ----------------------------------------------------------------------------

class SongDetailsEditorTest : public testing::Test {
protected:
    void SetUp() override {
        settings.Duplicates = true;
        settings.ArtistSource = 0;
    }
    std::unique_ptr<TfrmPlayList> makeEditor(const QStringList& songs) {
        PlayListEditorContext context{live, settings, dir.path(), viewOpen, {}, {},
                                      {},   {},       {},         {},       {}, &random};
        auto editor = std::make_unique<TfrmPlayList>(context, &prompts);
        editor->AddSongFiles(songs);
        editor->ListModified = false;
        return editor;
    }
    QString song(const QString& name) { return makeSong(dir.file(name)); }
    // One text, so a failure prints readable paths.
    static std::string pathsOf(const TPlayListTable& list) {
        QStringList paths;
        for (int i = 0; i < list.rowCount(); ++i)
            paths << list.cell(i, plcFileName);
        return paths.join('\n').toStdString();
    }
    static std::string lines(const QStringList& paths) { return paths.join('\n').toStdString(); }

    TempFolder dir;
    TPlayListTable live;
    StationSettings settings;
    bool viewOpen = false;
    ScriptedRandom random{{1, 2, 3}};
    ScriptedPrompts prompts;
};

TEST_F(SongDetailsEditorTest, TheTabsShowTheSelectedSong) {
    const QString tagged = song("M/Band - Song~.mp3");
    tagWithMutagen(tagged, "Tag Band", "Tag Song", "]^");
    const QString missing = dir.file("M/gone.mp3");
    auto editor = makeEditor({tagged});
    editor->List.appendRow({missing, "F", OrderKey(2), "00000"});
    editor->AddSongFiles({}); // nothing added

    editor->selectRow(0);
    EXPECT_EQ(editor->eArtist[1]->text(), "Band");
    EXPECT_EQ(editor->eTitle[1]->text(), "Song");
    EXPECT_TRUE(editor->cbAnnounce[1]->isChecked());
    EXPECT_FALSE(editor->cbExclude[1]->isChecked());
    EXPECT_EQ(editor->eArtist[2]->text(), "Tag Band");
    EXPECT_EQ(editor->eTitle[2]->text(), "Tag Song");
    EXPECT_TRUE(editor->cbExclude[2]->isChecked());
    EXPECT_TRUE(editor->cbTheTitle[2]->isChecked());
    EXPECT_FALSE(editor->cbAnnounce[2]->isChecked());
    EXPECT_FALSE(editor->bSaveTag[1]->isEnabled()) << "filling the tabs is no edit";
    EXPECT_TRUE(editor->lExist[1]->isHidden());
    EXPECT_TRUE(editor->PageControl1->isEnabled());

    editor->eTitle[1]->setText("Other");
    EXPECT_TRUE(editor->bSaveTag[1]->isEnabled());
    EXPECT_FALSE(editor->bSaveTag[2]->isEnabled());
    editor->cbOverlap[2]->click();
    EXPECT_TRUE(editor->bSaveTag[2]->isEnabled());

    // Editor model is a test double here: drop the edits for the move below.
    prompts.answers = {QMessageBox::Cancel, QMessageBox::Cancel};
    editor->selectRow(1);
    EXPECT_TRUE(editor->lExist[1]->isHidden() == false);
    EXPECT_TRUE(editor->lExist[2]->isHidden() == false);
    EXPECT_FALSE(editor->PageControl1->isEnabled());
    EXPECT_TRUE(editor->eArtist[1]->text().isEmpty());
    EXPECT_TRUE(editor->eArtist[2]->text().isEmpty());

    editor->selectRow(-1);
    EXPECT_TRUE(editor->eTitle[1]->text().isEmpty());
    EXPECT_EQ(editor->DetailItem, -1);
}

TEST_F(SongDetailsEditorTest, MovingTheSelectionAsksAboutFileEdits) {
    struct Case {
        const char* name;
        QMessageBox::StandardButton answer;
        bool renamed;
    };
    const Case cases[] = {{"OK", QMessageBox::Ok, true}, {"Cancel", QMessageBox::Cancel, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const QString first = makeSong(folder.file("A - One.mp3"));
        const QString second = makeSong(folder.file("B - Two.mp3"));
        auto editor = makeEditor({first, second});
        editor->selectRow(0);
        editor->eArtist[1]->setText("Kestrels");
        editor->eTitle[1]->setText("Harbour Lights");
        editor->cbAnnounce[1]->click();
        editor->cbTheArtist[1]->click();
        prompts.asked.clear();
        prompts.answers = {c.answer};
        editor->selectRow(1);
        ASSERT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].caption, "Warning");
        EXPECT_EQ(prompts.asked[0].text, "Do you want to save the changes to the FILE details?");
        const QString renamed = folder.file("Kestrels - Harbour Lights~`.mp3");
        EXPECT_EQ(QFile::exists(renamed), c.renamed);
        EXPECT_EQ(QFile::exists(first), !c.renamed);
        EXPECT_TRUE(QFile::exists(second)) << "not the newly selected song";
        EXPECT_EQ(editor->List.cell(0, plcFileName), c.renamed ? renamed : first);
        EXPECT_EQ(editor->ListModified, c.renamed);
        EXPECT_EQ(editor->selectedRow(), 1) << "the operator's choice holds";
        EXPECT_EQ(editor->eArtist[1]->text(), "B") << "the new selection's details";
        EXPECT_FALSE(editor->bSaveTag[1]->isEnabled());
    }
}

TEST_F(SongDetailsEditorTest, MovingTheSelectionAsksAboutTagEdits) {
    const QString first = song("A - One.mp3");
    const QString second = song("B - Two.mp3");
    auto editor = makeEditor({first, second});
    editor->selectRow(0);
    editor->eTitle[2]->setText("Tagged");
    prompts.answers = {QMessageBox::Ok};
    editor->selectRow(1);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].text, "Do you want to save the changes to the TAG details?");
    EXPECT_EQ(readWithMutagen(first).title, "Tagged");
    EXPECT_FALSE(readWithMutagen(second).found);
    EXPECT_FALSE(editor->ListModified) << "a tag is no change of the list";
}

TEST_F(SongDetailsEditorTest, SaveDetailsMessagesInTheEditor) {
    const QString a = song("A - One.mp3");
    writeWholeFile(dir.file("Taken - Name.mp3"), "taken");
    auto editor = makeEditor({a});
    editor->selectRow(0);
    struct Case {
        const char* artist;
        const char* title;
        QString message;
    };
    const Case cases[] = {
        {"", " ", "You must enter an artist name or a title."},
        {"Taken", "Name", "Unable to save new file name Taken - Name.mp3."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        prompts.asked.clear();
        prompts.answers = {QMessageBox::Ok};
        editor->eArtist[1]->setText(c.artist);
        editor->eTitle[1]->setText(c.title);
        editor->bSaveTag[1]->click();
        ASSERT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].caption, "Corvalin Radio - File Error");
        EXPECT_EQ(prompts.asked[0].text, c.message);
        EXPECT_EQ(editor->List.cell(0, plcFileName), a) << "the entry stays as it was";
        EXPECT_FALSE(editor->ListModified);
        EXPECT_FALSE(editor->bSaveTag[1]->isEnabled());
    }
}

TEST_F(SongDetailsEditorTest, TagToFileForAllWithAMissingFileInTheMiddle) {
    const QString a = song("one.mp3");
    const QString b = song("two.mp3");
    const QString gone = dir.file("gone.mp3");
    const QString c = song("three.mp3");
    const QString d = song("four.mp3");
    const QString wav = song("five.wav");
    tagWithMutagen(a, "Band", "First", "[");
    tagWithMutagen(b, "Band", "", "");
    tagWithMutagen(c, "", "Third", "");
    tagWithMutagen(d, "", "", "~");
    auto editor = makeEditor({a});
    editor->List.appendRow({gone, "F", "00002", "00000"});
    editor->AddSongFiles({b, c, d, wav});
    editor->ListModified = false;

    // Cancelled first: nothing changes.
    prompts.allOrOneAnswer = 1;
    prompts.answers = {QMessageBox::Cancel};
    editor->bTagToFileClick();
    EXPECT_TRUE(QFile::exists(a));
    EXPECT_FALSE(editor->ListModified);

    prompts.asked.clear();
    prompts.answers = {QMessageBox::Ok};
    editor->bTagToFileClick();
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].caption, "Confirm");
    EXPECT_EQ(prompts.asked[0].text,
              "Are you sure?\r\r(This will change the file name\rof every file in this list.)");
    EXPECT_EQ(pathsOf(editor->List),
              lines(QStringList{dir.file("Band - First[.mp3"), gone, dir.file("Band.mp3"),
                                dir.file("Third.mp3"), d, wav}));
    for (int i = 0; i < editor->List.rowCount(); ++i) {
        const QString path = editor->List.cell(i, plcFileName);
        EXPECT_EQ(QFile::exists(path), path != gone) << path.toStdString();
    }
    EXPECT_TRUE(editor->ListModified);
    EXPECT_EQ(editor->selectedRow(), 0);
    EXPECT_EQ(editor->eTitle[1]->text(), "First");
    EXPECT_TRUE(editor->bTagToFile->isEnabled()) << "the buttons come back";
}

TEST_F(SongDetailsEditorTest, TagToFileNeverGivesTwoSongsOneName) {
    const QString a = song("one.mp3");
    const QString b = song("two.mp3");
    tagWithMutagen(a, "Band", "Song", "");
    tagWithMutagen(b, "Band", "Song", "");
    const QByteArray bBytes = readWholeFile(b);
    auto editor = makeEditor({a, b});
    prompts.allOrOneAnswer = 1;
    prompts.answers = {QMessageBox::Ok};
    editor->bTagToFileClick();
    EXPECT_EQ(pathsOf(editor->List), lines(QStringList{dir.file("Band - Song.mp3"), b}));
    EXPECT_EQ(readWholeFile(b), bBytes) << "the second song keeps its name and its data";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(prompts.asked.size(), 1u) << "no message for the failed rename";
}

TEST_F(SongDetailsEditorTest, TagToFileForOneSong) {
    const QString a = song("one.mp3");
    tagWithMutagen(a, "Band", "", "");
    auto editor = makeEditor({a});
    prompts.allOrOneAnswer = 0;
    editor->selectRow(-1);
    editor->bTagToFileClick(); // nothing selected: nothing happens
    EXPECT_TRUE(prompts.asked.empty());

    editor->selectRow(0);
    prompts.answers = {QMessageBox::Ok};
    editor->bTagToFileClick();
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].text, "You must enter a title tag to use as a file name.");
    EXPECT_TRUE(QFile::exists(a));

    tagWithMutagen(a, "Band", "Song", "^");
    editor->bTagToFileClick();
    EXPECT_EQ(editor->List.cell(0, plcFileName), dir.file("Band - Song^.mp3"));
    EXPECT_TRUE(editor->ListModified);
    EXPECT_EQ(editor->eTitle[1]->text(), "Song") << "the details are refreshed";
    EXPECT_TRUE(editor->cbTheTitle[1]->isChecked());
}

TEST_F(SongDetailsEditorTest, FileToTagForAllAndForOne) {
    const QString a = song("Band - First~.mp3");
    const QString b = song("Second.mp3");
    const QString gone = dir.file("Band - Gone.mp3");
    tagWithMutagen(b, "Old", "Old", "[old");
    auto editor = makeEditor({a, b, a}); // a twice: written once, not by two writers at once
    editor->List.appendRow({gone, "F", "00003", "00000"});

    prompts.allOrOneAnswer = 1;
    prompts.answers = {QMessageBox::Ok};
    editor->bFileToTagClick();
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].text,
              "Are you sure?\r\r(This will change the tags\rin every file in this list.)");
    const MutagenTag tagA = readWithMutagen(a);
    EXPECT_EQ(tagA.artist, "Band");
    EXPECT_EQ(tagA.title, "First");
    EXPECT_EQ(tagA.comment, "~");
    const MutagenTag tagB = readWithMutagen(b);
    EXPECT_EQ(tagB.artist, "");
    EXPECT_EQ(tagB.title, "Second");
    EXPECT_EQ(tagB.comment, "old") << "the [ mark is cleared: the name lacks it";
    EXPECT_FALSE(QFile::exists(gone));
    EXPECT_FALSE(editor->ListModified) << "File > Tag does not change the list";
    EXPECT_EQ(pathsOf(editor->List), lines(QStringList{a, b, a, gone}));

    // One song: the selected one only.
    const QString c = song("Band - Third].mp3");
    editor->AddSongFiles({c});
    editor->selectRow(4);
    prompts.allOrOneAnswer = 0;
    tagWithMutagen(a, "Keep", "Keep", "");
    editor->bFileToTagClick();
    EXPECT_EQ(readWithMutagen(c).comment, "]");
    EXPECT_EQ(readWithMutagen(a).artist, "Keep");
    EXPECT_EQ(editor->eTitle[2]->text(), "Third") << "the Tag tab shows the new tag";
}

} // namespace
} // namespace corvalin
