#include "TestSupport.h"
#include "library/SongNames.h"
#include "platform/FileSystem.h"
#include "special_files.h"

#include <QDir>
#include <QFile>
#include <cstdio>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace Qt::StringLiterals;
using corvalin::test::runTool;
using corvalin::test::TempFolder;

namespace {

TSongMarks marks(const char* characters) {
    return MarksInText(QString::fromUtf8(characters));
}

} // namespace

TEST(SongFileNames, ArtistTitleAndMarksFromTheName) {
    struct Case {
        const char* name;
        const char* artist;
        const char* title;
        const char* marks;
    };
    const Case cases[] = {
        {"Band - Song.mp3", "Band", "Song", ""},
        {"001 Band - Song.mp3", "Band", "Song", ""},
        {"001 Song.mp3", "", "001 Song", ""},
        {"001 - Song.mp3", "", "Song", ""},
        {"Song.wav", "", "Song", ""},
        {"Lo-Fi Crew - Long Road.mp3", "Lo-Fi Crew", "Long Road", ""},
        {"Hi-Fi.mp3", "Hi", "Fi", ""},
        {"A - B - C.mp3", "A", "B - C", ""},
        {"Band & Choir - Good_Day~[.mp3", "Band and Choir", "Good Day", "~["},
        {"Band - Song.ogg", "Band", "Song.ogg", ""},
        {"Band - Song.MP3", "Band", "Song", ""},
        {"Band - Song.Wma", "Band", "Song", ""},
        {"Band` - Song]^.mp3", "Band", "Song", "]`^"},
        {"~Band - [Song .mp3", "Band", "Song", "~["},
        {"Only Title^.mp3", "", "Only Title", "^"},
        {"Artist Only - .mp3", "Artist Only", "", ""},
        {"x.mp3 - y.mp3", "x.mp3", "", ""},
        {".mp3", "", ".mp3", ""},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        const QString name = QString::fromUtf8(c.name);
        EXPECT_EQ(ArtistFromFileName(name), QString::fromUtf8(c.artist)) << c.name;
        EXPECT_EQ(TitleFromFileName(name), QString::fromUtf8(c.title)) << c.name;
        EXPECT_EQ(MarksInText(name), marks(c.marks)) << c.name;
    }
}

TEST(SongFileNames, EveryMarkHasItsCharacterAndOrder) {
    const TSongMarks all = marks("^`][~");
    EXPECT_TRUE(all.NeverAnnounce && all.NeverOverlap && all.ExcludeFromCount && all.TheArtist &&
                all.TheTitle);
    EXPECT_EQ(MarkCharacters(all), u"~[]`^"_s);
    EXPECT_EQ(MarkCharacters(TSongMarks{}), QString());
    const struct {
        const char* mark;
        bool TSongMarks::*field;
    } single[] = {{"~", &TSongMarks::NeverAnnounce},
                  {"[", &TSongMarks::NeverOverlap},
                  {"]", &TSongMarks::ExcludeFromCount},
                  {"`", &TSongMarks::TheArtist},
                  {"^", &TSongMarks::TheTitle}};
    for (const auto& s : single) {
        TSongMarks expected;
        expected.*(s.field) = true;
        EXPECT_EQ(marks(s.mark), expected) << s.mark;
        _rSong song;
        expected.applyTo(song);
        EXPECT_EQ(TSongMarks::of(song), expected) << s.mark;
    }
}

TEST(SongFileNames, WriterBuildsNamesThatReadBack) {
    struct Case {
        const char* artist;
        const char* title;
        const char* marks;
        const char* name;
    };
    const Case cases[] = {
        {"Band", "Song", "[^", "Band - Song[^.mp3"},
        {"", "Song", "", "Song.mp3"},
        {"Band", "", "", "Band.mp3"},
        {"The Band", "A Song", "~[]`^", "The Band - A Song~[]`^.mp3"},
        {"Zoë", "Ünïcode 🎵", "`", "Zoë - Ünïcode 🎵`.mp3"},
    };
    for (const Case& c : cases) {
        const auto name =
            SongFileName(QString::fromUtf8(c.artist), QString::fromUtf8(c.title), marks(c.marks));
        ASSERT_TRUE(name.has_value()) << c.name;
        EXPECT_EQ(*name, QString::fromUtf8(c.name));
        // A lone artist reads back as a title: the grammar has no artist without separator.
        const bool both = *c.artist && *c.title;
        EXPECT_EQ(ArtistFromFileName(*name), both ? QString::fromUtf8(c.artist) : QString());
        EXPECT_EQ(TitleFromFileName(*name), QString::fromUtf8(*c.title ? c.title : c.artist));
        EXPECT_EQ(MarksInText(*name), marks(c.marks)) << c.name;
    }
}

TEST(SongFileNames, WrittenNamesNeverLeaveTheFolder) {
    struct Case {
        QString artist;
        QString title;
        const char* marks;
        std::optional<QString> name;
    };
    const Case cases[] = {
        {u"AC/DC"_s, u"../../etc/passwd"_s, "", u"AC_DC - .._.._etc_passwd.mp3"_s},
        {u"Nul"_s + QChar(0) + u"Byte"_s, u"Line\nBreak"_s, "", u"Nul_Byte - Line_Break.mp3"_s},
        {u" Band "_s, u"\tSong "_s, "", u"Band - Song.mp3"_s},
        {u"Band"_s, u"Tilde~Song"_s, "", u"Band - TildeSong.mp3"_s}, // no mark sneaks in
        {u""_s, u""_s, "~", std::nullopt},
        {u"  "_s, u"~^"_s, "", std::nullopt},
        {u""_s, u"."_s, "", std::nullopt},
        {u".."_s, u""_s, "[", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SongFileName(c.artist, c.title, marks(c.marks)), c.name)
            << c.artist.toStdString() << " / " << c.title.toStdString();
    }
}

TEST(SongFileNames, LongNamesAreCutAtACharacterBoundaryBeforeTheMarks) {
    // 200 two-byte letters and a four-byte one: no cut point may split either.
    const QString artist = QString(200, QChar(0x00E9)) + u"𝄞"_s;
    for (const char* m : {"", "~[]`^"}) {
        const auto name = SongFileName(artist, u"Title"_s, marks(m));
        ASSERT_TRUE(name.has_value());
        const QByteArray bytes = name->toUtf8();
        EXPECT_LE(bytes.size(), 255);
        EXPECT_GE(bytes.size(), 254);
        EXPECT_EQ(QString::fromUtf8(bytes).toUtf8(), bytes); // still valid UTF-8
        EXPECT_TRUE(name->endsWith(QString::fromUtf8(m) + u".mp3"_s)) << name->toStdString();
        EXPECT_EQ(MarksInText(*name), marks(m));
        EXPECT_FALSE(name->contains(QChar(0xFFFD)));
    }
    const auto exact = SongFileName(QString(251, u'a'), QString(), TSongMarks{});
    ASSERT_TRUE(exact.has_value());
    EXPECT_EQ(exact->size(), 255); // fits: not cut
}

TEST(SongFileNames, CommentKeepsMarksInReverseWritingOrder) {
    EXPECT_EQ(CommentWithMarks(u"Great tune"_s, marks("~^")), u"^~Great tune"_s);
    EXPECT_EQ(CommentWithMarks(u"^~Great tune"_s, marks("^")), u"^ Great tune"_s);
    EXPECT_EQ(CommentWithMarks(u" ~x~ "_s, TSongMarks{}), u"x"_s);
    EXPECT_EQ(CommentWithMarks(QString(), marks("~[]`^")), u"^`][~"_s);
    EXPECT_EQ(MarksInText(CommentWithMarks(u"words"_s, marks("[`"))), marks("[`"));
}

// Song files on disk: marks in the path, tags read by source.
class SongInfo : public ::testing::Test {
protected:
    // An MP3 of a quarter second, tagged as given (no tag when all are empty). The comment goes
    // into a COMM frame, which ffmpeg does not write.
    QString makeSong(const QString& name, const QString& artist, const QString& title,
                     const QString& comment) {
        const QString path = dir_.file(name);
        QStringList args = {u"-hide_banner"_s, u"-loglevel"_s, u"error"_s,      u"-f"_s,
                            u"lavfi"_s,        u"-i"_s,        u"sine=d=0.25"_s};
        if (artist.isEmpty() && title.isEmpty() && comment.isEmpty()) {
            args << u"-write_id3v2"_s << u"0"_s;
        } else {
            args << u"-id3v2_version"_s << u"3"_s;
            if (!artist.isEmpty())
                args << u"-metadata"_s << u"artist="_s + artist;
            if (!title.isEmpty())
                args << u"-metadata"_s << u"title="_s + title;
        }
        args << u"-y"_s << path;
        EXPECT_TRUE(runTool(u"ffmpeg"_s, args));
        if (!comment.isEmpty()) {
            EXPECT_TRUE(runTool(u"/usr/bin/python3"_s,
                                {u"-c"_s,
                                 u"import sys\n"
                                 u"from mutagen.id3 import ID3, COMM\n"
                                 u"t = ID3(sys.argv[1])\n"
                                 u"t.add(COMM(encoding=3, lang='eng', desc='', text=sys.argv[2]))\n"
                                 u"t.save(v2_version=3)\n"_s,
                                 path, comment}));
        }
        return path;
    }
    TempFolder dir_;
};

TEST_F(SongInfo, EachSourceTakesItsValues) {
    ASSERT_TRUE(QDir(dir_.path()).mkpath(u"Short~Name"_s));
    const QString tagged = makeSong(u"Short~Name/File Band - File Song[.mp3"_s, u" Tag Band "_s,
                                    u"Tag Song"_s, u"nice ]^"_s);
    struct Case {
        int source;
        const char* artist;
        const char* title;
        const char* marks;
    };
    const Case cases[] = {
        {asFileName, "File Band", "File Song", "~["},
        {asTag, "Tag Band", "Tag Song", "]^"},
        {asTagThenFileName, "Tag Band", "Tag Song", "]^"},
        {7, "File Band", "File Song", "~["},
    };
    for (const Case& c : cases) {
        _rSong song;
        song.Unused1 = u"kept"_s;
        LoadSongInfo(song, c.source, tagged);
        EXPECT_EQ(song.FileName, tagged);
        EXPECT_EQ(song.Artist, QString::fromUtf8(c.artist)) << c.source;
        EXPECT_EQ(song.Title, QString::fromUtf8(c.title)) << c.source;
        EXPECT_EQ(TSongMarks::of(song), marks(c.marks)) << c.source;
        EXPECT_EQ(song.Unused1, u"kept"_s);
    }
}

TEST_F(SongInfo, TagGapsAreFilledFromTheFileName) {
    // Title but no artist: artist from the name, marks from the comment.
    const QString noArtist = makeSong(u"Name Band - Name Song~.mp3"_s, {}, u"Tag Song"_s, u"`"_s);
    _rSong song;
    LoadSongInfo(song, asTagThenFileName, noArtist);
    EXPECT_EQ(song.Artist, u"Name Band"_s);
    EXPECT_EQ(song.Title, u"Tag Song"_s);
    EXPECT_EQ(TSongMarks::of(song), marks("`"));

    // No title in the tag: title and marks from the name.
    const QString noTitle = makeSong(u"Name Band - Other Song~.mp3"_s, u"Tag Band"_s, {}, u"^"_s);
    LoadSongInfo(song, asTagThenFileName, noTitle);
    EXPECT_EQ(song.Artist, u"Tag Band"_s);
    EXPECT_EQ(song.Title, u"Other Song"_s);
    EXPECT_EQ(TSongMarks::of(song), marks("~"));
}

TEST_F(SongInfo, FilesWithoutTagsAndMissingFiles) {
    const QString untagged = makeSong(u"Plain Band - Plain Song].mp3"_s, {}, {}, {});
    const QString wav = dir_.file(u"Wave Band - Wave Song^.wav"_s);
    corvalin::test::writeWholeFile(wav, "RIFF not really");
    const QString missing = dir_.file(u"Gone~ - Away.mp3"_s);
    struct Case {
        QString path;
        int source;
        const char* artist;
        const char* title;
        const char* marks;
    };
    const Case cases[] = {
        {untagged, asTag, "", "", ""},
        {untagged, asTagThenFileName, "Plain Band", "Plain Song", "]"},
        {wav, asTag, "", "", ""},
        {wav, asTagThenFileName, "Wave Band", "Wave Song", "^"},
        {missing, asFileName, "", "", ""},
        {missing, asTagThenFileName, "", "", ""},
        {dir_.path(), asFileName, "", "", ""}, // a folder is no song
    };
    for (const Case& c : cases) {
        _rSong song{u"old"_s, u"old"_s, u"old"_s, {}, {}, true, true, true, true, true};
        LoadSongInfo(song, c.source, c.path);
        EXPECT_EQ(song.FileName, c.path);
        EXPECT_EQ(song.Artist, QString::fromUtf8(c.artist)) << c.path.toStdString();
        EXPECT_EQ(song.Title, QString::fromUtf8(c.title)) << c.path.toStdString();
        EXPECT_EQ(TSongMarks::of(song), marks(c.marks)) << c.path.toStdString();
    }
}

// A song whose name is Latin-1 bytes (from an older station's list) is found, its tag read, and
// its name shown with the characters the bytes meant. A FIFO in a song's place is no song, and is
// not waited on.
TEST_F(SongInfo, NamesThatAreNotUtf8AndSpecialFiles) {
    const QString made = makeSong(u"made.mp3"_s, u"Tag Band"_s, u"Tag Song"_s, u"~"_s);
    const QByteArray native = QFile::encodeName(dir_.path()) + "Caf\xe9 - Cr\xe8me \x96 Br\xfbl\xe9"
                                                               "e[.mp3";
    ASSERT_EQ(::rename(QFile::encodeName(made).constData(), native.constData()), 0);
    const QString path = fileNameFromNative(native);
    const QString fifo = dir_.file(u"Fifo Band - Fifo Song.mp3"_s);
    ASSERT_TRUE(corvalin::test::makeFifo(fifo));
    struct Case {
        QString path;
        int source;
        const char* artist;
        const char* title;
        const char* marks;
    };
    const Case cases[] = {
        {path, asFileName, "Café", "Crème – Brûlée", "["},
        {path, asTag, "Tag Band", "Tag Song", "~"},
        {fifo, asFileName, "", "", ""},
        {fifo, asTagThenFileName, "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        _rSong song;
        EXPECT_TRUE(corvalin::test::returnsWithoutBlocking(
            fifo, [&] { LoadSongInfo(song, c.source, c.path); }));
        EXPECT_EQ(song.FileName, c.path);
        EXPECT_EQ(song.Artist, QString::fromUtf8(c.artist));
        EXPECT_EQ(song.Title, QString::fromUtf8(c.title));
        EXPECT_EQ(TSongMarks::of(song), marks(c.marks));
    }
    ::unlink(native.constData()); // QTemporaryDir cannot remove names that are not UTF-8
}

TEST(SongFileNames, ShownNamesReadOddBytesAsWindows1252) {
    const struct {
        QByteArray native;
        const char* shown;
    } cases[] = {
        {"plain.mp3", "plain.mp3"},
        {"Zo\xc3\xab.mp3", "Zoë.mp3"},
        {"Zo\xeb.mp3", "Zoë.mp3"},
        {"\x93Hi\x94 \x80 \x99.mp3", "“Hi” € ™.mp3"},
        {"\x81\x8d\x8f\x90\x9d", "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xf0\x9f\x8e\xb5\xff", "🎵ÿ"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShownFileName(fileNameFromNative(c.native)), QString::fromUtf8(c.shown))
            << c.native.toHex().constData();
}
