// Reading tags from bytes and rendering them back, without files.

#include "id3_frames.h"
#include "library/ID3v2.h"

#include <gtest/gtest.h>

namespace corvalin {
namespace {

using namespace test::id3;

struct Fields {
    QString title = {};
    QString artist = {};
    QString album = {};
    int track = 0;
    QString trackText = {};
    QString year = {};
    QString genre = {};
    QString comment = {};
    QString link = {};
    bool operator==(const Fields&) const = default;
};

Fields fieldsOf(const TID3v2& t) {
    return {t.Title, t.Artist, t.Album, t.Track, t.TrackText, t.Year, t.Genre, t.Comment, t.Link};
}

void PrintTo(const Fields& f, std::ostream* os) {
    *os << "{" << f.title.toStdString() << "|" << f.artist.toStdString() << "|"
        << f.album.toStdString() << "|" << f.track << "|" << f.trackText.toStdString() << "|"
        << f.year.toStdString() << "|" << f.genre.toStdString() << "|" << f.comment.toStdString()
        << "|" << f.link.toStdString() << "}";
}

TID3v2 parse(const QByteArray& file) {
    TID3v2 tag;
    EXPECT_TRUE(tag.ParseTag(file, file.size()));
    return tag;
}

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

struct ReadCase {
    const char* name;
    QByteArray tag;
    Fields expected;
};

TEST(Id3Read, FramesOfEveryVersionAndEncoding) {
    const QByteArray longTitle(599, 'L');
    const QByteArray twoHundred(200, 'a');
    const ReadCase cases[] = {
        {"2.2 names",
         tag(2, frame22("TT2", latin1("Song")) + frame22("TP1", latin1("Band")) +
                    frame22("COM", raw({0}) + "engdesc" + raw({0}) + "hello") +
                    frame22("TRK", latin1("3/12"))),
         {.title = "Song", .artist = "Band", .track = 3, .trackText = "3/12", .comment = "hello"}},
        {"genre reference", tag(3, frame23("TCON", latin1("(17)Rock"))), {.genre = "Rock"}},
        {"genre reference only", tag(3, frame23("TCON", latin1("(17)"))), {}},
        {"genre with later parenthesis",
         tag(3, frame23("TCON", latin1("(1)(2)Rock (Live)"))),
         {.genre = "Rock (Live)"}},
        {"comment language and description",
         tag(3, frame23("COMM", raw({0}) + "deu" + "desc" + raw({0}) + "hello")),
         {.comment = "hello"}},
        {"comment without description terminator",
         tag(3, frame23("COMM", raw({0}) + "engplain")),
         {.comment = "plain"}},
        {"UTF-16 comment",
         tag(3, frame23("COMM", raw({1}) + "eng" +
                                    raw({0xFF, 0xFE, 0x00, 0x00, 0xFF, 0xFE, 'h', 0, 'i', 0}))),
         {.comment = "hi"}},
        {"UTF-16 little-endian",
         tag(3, frame23("TIT2", raw({1, 0xFF, 0xFE, 'H', 0, 'e', 0, 'l', 0, 'l', 0, 'o', 0}))),
         {.title = "Hello"}},
        {"UTF-16 big-endian",
         tag(3, frame23("TIT2", raw({1, 0xFE, 0xFF, 0, 'Z', 0, 0xEB}))),
         {.title = u("Zë")}},
        {"UTF-16BE", tag(4, frame24("TIT2", raw({2, 0x04, 0x14, 0x04, 0x43}))), {.title = u("Ду")}},
        {"UTF-8", tag(4, frame24("TIT2", raw({3}) + u("Grüße").toUtf8())), {.title = u("Grüße")}},
        {"odd UTF-16 length",
         tag(3, frame23("TIT2", raw({1, 0xFF, 0xFE, 'A', 0, 'B'}))),
         {.title = "A"}},
        {"long text read whole",
         tag(3, frame23("TIT2", latin1(longTitle.constData())) + frame23("TPE1", latin1("After"))),
         {.title = longTitle, .artist = "After"}},
        {"fallbacks",
         tag(3, frame23("TIT1", latin1("Group")) + frame23("TOPE", latin1("Orig")) +
                    frame23("TOAL", latin1("OAlbum")) + frame23("TDRC", latin1("2001-05-06"))),
         {.title = "Group", .artist = "Orig", .album = "OAlbum", .year = "2001"}},
        {"fallback only when empty",
         tag(3, frame23("TIT1", latin1("Group")) + frame23("TIT2", latin1("Main")) +
                    frame23("TYER", latin1("1999")) + frame23("TDRC", latin1("2001"))),
         {.title = "Main", .year = "1999"}},
        {"2.4 sizes are syncsafe",
         tag(4, frame24("TIT2", latin1(twoHundred.constData())) + frame24("TPE1", latin1("B"))),
         {.title = twoHundred, .artist = "B"}},
        {"2.3 unsynchronised tag",
         tag(3, bytes("TIT2") + bigEndian(4, 4) + raw({0, 0, 0, 'A', 0xFF, 0, 'B'}), 0, 0x80),
         {.title = u("AÿB")}},
        {"2.3 extended header",
         tag(3, bigEndian(6, 4) + raw({0, 0, 0, 0, 0, 0}) + frame23("TIT2", latin1("Ext")), 4,
             0x40),
         {.title = "Ext"}},
        {"2.4 extended header",
         tag(4, syncsafe(6) + raw({1, 0}) + frame24("TIT2", latin1("Ext4")), 4, 0x40),
         {.title = "Ext4"}},
        {"2.4 extended header flagged but missing",
         tag(4, frame24("TIT2", latin1("Flagged")) + frame24("TPE1", latin1("Band")), 8, 0x40),
         {.title = "Flagged", .artist = "Band"}},
        {"2.3 extended header flagged but missing",
         tag(3, frame23("TIT2", latin1("Flagged")), 0, 0x40),
         {.title = "Flagged"}},
        {"2.4 frame unsynchronised with length indicator",
         tag(4, frame24("TIT2", syncsafe(4) + raw({0, 'A', 0xFF, 0, 'B'}), 0, 0x03)),
         {.title = u("AÿB")}},
        {"unknown encoding ignored",
         tag(3, frame23("TIT2", raw({5}) + "bad") + frame23("TIT1", latin1("G"))),
         {.title = "G"}},
        {"compressed frame ignored", tag(3, frame23("TALB", latin1("zz"), 0, 0x80)), {}},
        {"frame past the tag stops reading",
         tag(3, frame23("TIT2", latin1("T")) + bytes("TPE1") + raw({0x7F, 0xFF, 0xFF, 0xFF, 0, 0}) +
                    latin1("A")),
         {.title = "T"}},
        {"name not starting A-Z stops reading",
         tag(3, frame23("TIT2", latin1("T")) + frame23("1BCD", latin1("x")) +
                    frame23("TPE1", latin1("X"))),
         {.title = "T"}},
        {"link after description",
         tag(3, frame23("WXXX", raw({0}) + "home" + raw({0}) + "http://a/")),
         {.link = "http://a/"}},
        {"track not a number", tag(3, frame23("TRCK", latin1("abc"))), {.trackText = "abc"}},
        {"track too large", tag(3, frame23("TRCK", latin1("99999"))), {.trackText = "99999"}},
        {"trimmed of blanks and controls",
         tag(3, frame23("TIT2", latin1("  Title \x01"))),
         {.title = "Title"}},
        {"later frame replaces earlier",
         tag(3, frame23("TIT2", latin1("One")) + frame23("TIT2", latin1("Two"))),
         {.title = "Two"}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TID3v2 t = parse(c.tag + audio(64));
        EXPECT_TRUE(t.TagFound);
        EXPECT_EQ(t.TagSize, c.tag.size());
        EXPECT_EQ(fieldsOf(t), c.expected);
    }
}

TEST(Id3Read, HeaderAndImplausibleSizes) {
    const QByteArray frames = frame23("TIT2", latin1("T"));
    TID3v2 t;
    EXPECT_FALSE(t.ParseTag(bytes("ID3\x03\x00\x00\x00"), 7));
    EXPECT_FALSE(t.TagFound);

    t = parse(audio(100));
    EXPECT_FALSE(t.TagFound);

    // Larger than the file, even by hundreds of megabytes: no size, no fields.
    for (qint64 declared : {qint64(frames.size() + 65), qint64(0x0FFFFFFF)}) {
        t = parse(tag(3, frames, 0, 0, declared) + audio(64));
        EXPECT_TRUE(t.TagFound);
        EXPECT_EQ(t.TagSize, 0);
        EXPECT_TRUE(t.Title.isEmpty());
    }

    t = parse(tag(5, frames) + audio(64));
    EXPECT_TRUE(t.TagFound);
    EXPECT_EQ(t.Version, 5);
    EXPECT_TRUE(t.Title.isEmpty());

    // A footer adds 10 bytes to the tag.
    const QByteArray withFooter = tag(4, frame24("TIT2", latin1("F")), 0, 0x10);
    t = parse(withFooter + bytes("3DI") + raw({4, 0, 0x10}) + syncsafe(11) + audio(64));
    EXPECT_EQ(t.TagSize, withFooter.size() + 10);
    EXPECT_EQ(t.Title, "F");
}

TEST(Id3Write, FrameLayout) {
    TID3v2 t;
    t.Title = "Song";
    t.Artist = u("Дуэт");
    t.Track = 3;
    t.Comment = u("Zoë");
    t.Link = "http://a/";
    const QByteArray expected =
        frame23("TIT2", latin1("Song")) +
        frame23("TPE1", raw({1, 0xFF, 0xFE, 0x14, 0x04, 0x43, 0x04, 0x4D, 0x04, 0x42, 0x04})) +
        frame23("TRCK", latin1("3")) +
        frame23("COMM", raw({0}) + "eng" + raw({0, 'Z', 'o', 0xEB})) +
        frame23("WXXX", raw({0, 0}) + "http://a/");
    EXPECT_EQ(t.RenderFrames(), expected);

    // Nothing is written for empty texts, track 0 and an empty comment.
    EXPECT_TRUE(TID3v2().RenderFrames().isEmpty());

    const QByteArray whole = TID3v2::RenderTag(expected, 3796);
    EXPECT_EQ(whole.size(), 10 + expected.size() + 3796);
    EXPECT_EQ(whole.left(10), bytes("ID3") + raw({3, 0, 0}) + syncsafe(expected.size() + 3796));
}

TEST(Id3Write, RoundTripOfEveryManagedField) {
    for (const bool wide : {false, true}) {
        TID3v2 t;
        const QString extra = wide ? u(" ✓ 日本") : u(" é");
        t.Title = "Title" + extra;
        t.Artist = "Artist" + extra;
        t.Album = "Album" + extra;
        t.Track = 12;
        t.Year = "1999";
        t.Genre = "Rock" + extra;
        t.Comment = "~[Comment" + extra;
        t.Composer = "Composer" + extra;
        t.Encoder = "Encoder" + extra;
        t.Rights = "Rights" + extra;
        t.Language = "eng";
        t.Link = "http://example.org/x";
        const TID3v2 back = parse(TID3v2::RenderTag(t.RenderFrames(), 0));
        const Fields expected{t.Title, t.Artist, t.Album,   12,    "12",
                              t.Year,  t.Genre,  t.Comment, t.Link};
        EXPECT_EQ(fieldsOf(back), expected);
        EXPECT_EQ(back.Composer, t.Composer);
        EXPECT_EQ(back.Encoder, t.Encoder);
        EXPECT_EQ(back.Rights, t.Rights);
        EXPECT_EQ(back.Language, t.Language);
    }
}

struct PlanCase {
    const char* name;
    QByteArray file;
    bool rewrite;
    qint64 tagSize;
    qint64 audioOffset;
};

TEST(Id3Write, InPlaceOrRewrite) {
    const QByteArray frames = frame23("TIT2", latin1("Old"));
    const PlanCase cases[] = {
        {"no tag", audio(500), true, 4096, 0},
        {"4096-byte tag with room", tag(3, frames, 4096 - 10 - frames.size()) + audio(500), false,
         4096, 4096},
        {"5000-byte tag", tag(3, frames, 5000 - 10 - frames.size()) + audio(500), true, 4096, 5000},
        {"tag too small", tag(3, frames) + audio(500), true, 4096, 10 + frames.size()},
        {"2.2 tag with room", tag(2, frame22("TT2", latin1("Old")), 300) + audio(500), false, 320,
         320},
        {"size beyond the file", tag(3, frames, 0, 0, 100000) + audio(500), true, 4096, 0},
    };
    TID3v2 t;
    t.Title = "New title";
    t.Comment = "~";
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TID3v2::WritePlan plan = t.PlanWrite(c.file, c.file.size());
        ASSERT_TRUE(plan.ok);
        EXPECT_EQ(plan.Rewrite, c.rewrite);
        EXPECT_EQ(plan.Tag.size(), c.tagSize);
        EXPECT_EQ(plan.AudioOffset, c.audioOffset);
        const TID3v2 back = parse(plan.Tag + c.file.mid(plan.AudioOffset));
        EXPECT_EQ(back.Version, 3);
        EXPECT_EQ(back.Title, "New title");
        EXPECT_EQ(back.Comment, "~");
    }

    // Frames needing more than 4096 bytes make a larger tag without padding.
    t.Comment = QString(5000, u'x');
    const TID3v2::WritePlan big = t.PlanWrite(audio(100), 100);
    EXPECT_TRUE(big.Rewrite);
    EXPECT_EQ(big.Tag.size(), 10 + t.RenderFrames().size());
    EXPECT_FALSE(t.PlanWrite(raw({'I', 'D', '3'}), 3).ok);
}

TEST(Id3Write, KeepsUnmanagedFramesOf23Unchanged) {
    const QByteArray picture = frame23("APIC", raw({0}) + "image/png" + raw({0, 3}) + "cover" +
                                                   raw({0, 0x89, 'P', 'N', 'G', 0, 0xFF}));
    const QByteArray lyrics = frame23("USLT", raw({0}) + "eng" + raw({0}) + "la la");
    const QByteArray compressed = frame23("TXXX", raw({0, 0, 0, 9, 0x78, 0x9C}), 0, 0x80);
    const QByteArray fallback = frame23("TIT1", latin1("Group"));
    const QByteArray dropOnChange = frame23("PRIV", bytes("x"), 0x80);
    const QByteArray file =
        tag(3, frame23("TIT2", latin1("Old")) + picture + lyrics + dropOnChange + compressed +
                   fallback + frame23("COMM", raw({0}) + "engd" + raw({0}) + "old")) +
        audio(200);
    const TID3v2 read = parse(file);
    EXPECT_EQ(read.OtherFrames, QList<QByteArray>({picture, lyrics, compressed, fallback}));

    TID3v2 changed = read;
    changed.SetComment("^ new");
    const TID3v2::WritePlan plan = changed.PlanWrite(file, file.size());
    ASSERT_TRUE(plan.ok);
    const TID3v2 back = parse(plan.Tag + file.mid(plan.AudioOffset));
    EXPECT_EQ(back.Comment, "^ new");
    EXPECT_EQ(back.Title, "Old");
    EXPECT_EQ(back.OtherFrames, read.OtherFrames);
    EXPECT_TRUE(plan.Tag.contains(picture));
}

TEST(Id3Write, ConvertsFramesOf24And22) {
    const QByteArray png = raw({0x89, 'P', 'N', 'G', 0xFF, 0x00, 0x01});
    const QByteArray v24 =
        tag(4, frame24("TIT2", latin1("T")) +
                   frame24("TXXX", raw({3}) + "d" + raw({0}) + u("é").toUtf8()) +
                   frame24("TXXX", raw({3}) + "e" + raw({0}) + u("✓").toUtf8()) +
                   frame24("APIC", raw({3}) + "image/png" + raw({0, 3}) + u("cé").toUtf8() +
                                       raw({0}) + png) +
                   frame24("PRIV", bytes("o") + raw({0, 0xFF, 0x00, 0x01}), 0, 0x02) +
                   frame24("TPE2", syncsafe(2) + latin1("B"), 0x20, 0x01) +
                   frame24("TSOP", latin1("sort")) + frame24("TPE3", latin1("zip"), 0, 0x08) +
                   frame24("TPE4", raw({7}) + latin1("g"), 0, 0x40) +
                   frame24("TCOM", latin1("x"), 0x40)) +
        audio(100);
    EXPECT_EQ(parse(v24).OtherFrames,
              QList<QByteArray>({
                  frame23("TXXX", raw({0}) + "d" + raw({0, 0xE9})),
                  frame23("TXXX", raw({1, 0xFF, 0xFE, 'e', 0, 0, 0, 0xFF, 0xFE, 0x13, 0x27})),
                  frame23("APIC", raw({0}) + "image/png" + raw({0, 3, 'c', 0xE9, 0}) + png),
                  frame23("PRIV", bytes("o") + raw({0, 0xFF, 0x01})),
                  frame23("TPE2", latin1("B"), 0x40),
                  frame23("TPE4", raw({7}) + latin1("g"), 0, 0x20),
              }));

    const QByteArray v22 = tag(2, frame22("TT2", latin1("Song")) +
                                      frame22("PIC", raw({0}) + "JPG" + raw({3, 0, 0xFF, 0xD8})) +
                                      frame22("TOR", latin1("1988")) + frame22("XYZ", latin1("?")) +
                                      frame22("LNK", QByteArray("TT2\0http", 8))) +
                           audio(100);
    const TID3v2 read = parse(v22);
    EXPECT_EQ(read.Year, "1988");
    EXPECT_EQ(read.OtherFrames, QList<QByteArray>({frame23("APIC", raw({0}) + "image/jpeg" +
                                                                       raw({0, 3, 0, 0xFF, 0xD8})),
                                                   frame23("TORY", latin1("1988"))}));
}

// A 2.4 frame whose size is written as a plain number, as some taggers do.
QByteArray frame24plain(const char* id, const QByteArray& body) {
    return bytes(id) + bigEndian(quint32(body.size()), 4) + raw({0, 0}) + body;
}

TEST(Id3Read, PlainFrameSizesIn24TagsAreRecognised) {
    // Lower-case text, so that no reading of a size lands on something that looks like a frame.
    const QByteArray title300 = latin1(QByteArray(300, 't').constData());
    const QString title(300, u't');
    const ReadCase cases[] = {
        {"plain 300-byte title before a syncsafe frame",
         tag(4, frame24plain("TIT2", title300) + frame24("TPE1", latin1("Band")), 64),
         {.title = title, .artist = "Band"}},
        {"plain sizes throughout, no padding",
         tag(4, frame24plain("TPE1", latin1(QByteArray(200, 'a').constData())) +
                    frame24plain("TIT2", title300) +
                    frame24plain("COMM", raw({0}) + "eng" + raw({0}) + QByteArray(140, 'c'))),
         {.title = title, .artist = QString(200, u'a'), .comment = QString(140, u'c')}},
        {"plain size of the last frame, then padding",
         tag(4, frame24("TPE1", latin1("Band")) + frame24plain("TIT2", title300), 500),
         {.title = title, .artist = "Band"}},
        {"a syncsafe size that lands on a frame wins, though the plain one lands in padding",
         tag(4, frame24("TIT2", title300) + frame24("TPE1", latin1("Band")), 700),
         {.title = title, .artist = "Band"}},
        {"neither lands: the syncsafe size is taken, as before",
         tag(4, frame24plain("TIT2", title300) + QByteArray(40, 'z')),
         {.title = QString(172, u't')}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fieldsOf(parse(c.tag + audio(64))), c.expected);
    }
}

QByteArray comm(const char* language, const char* description, const char* text) {
    return raw({0}) + bytes(language) + bytes(description) + raw({0}) + bytes(text);
}

TEST(Id3Read, ThePlainCommentHoldsTheMarksAmongSeveral) {
    const QByteArray itunes = comm("eng", "iTunNORM", " 00000A1B 00000B2C");
    const QByteArray note = comm("deu", "note", "hello");
    // UTF-16: an empty description is a byte-order mark and the terminator.
    const QByteArray wideMarks = raw({1}) + "eng" + raw({0xFF, 0xFE, 0, 0, 0xFF, 0xFE, '~', 0});
    struct Case {
        const char* name;
        QByteArray frames;
        const char* comment;
    };
    const Case cases[] = {
        {"iTunNORM after the plain comment",
         frame23("COMM", comm("eng", "", "~[")) + frame23("COMM", itunes), "~["},
        {"iTunNORM and a note before it",
         frame23("COMM", itunes) + frame23("COMM", note) + frame23("COMM", comm("eng", "", "^")),
         "^"},
        {"English plain comment before another language's",
         frame23("COMM", comm("fra", "", "fr")) + frame23("COMM", comm("eng", "", "en")), "en"},
        {"UTF-16 plain comment after a note", frame23("COMM", note) + frame23("COMM", wideMarks),
         "~"},
        {"only a described comment", frame23("COMM", note), "hello"},
        {"only iTunes data", frame23("COMM", itunes), ""},
        {"2.2 comments", {}, "]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray file =
            c.frames.isEmpty()
                ? tag(2, frame22("COM", itunes) + frame22("COM", comm("eng", "", "]")))
                : tag(3, c.frames, 20);
        const TID3v2 read = parse(file + audio(64));
        EXPECT_EQ(read.Comment, c.comment);
        // The other comments are kept as they were; the shown one is written anew.
        const int comments = int(c.frames.count("COMM") + c.frames.isEmpty() * 2);
        qsizetype kept = 0;
        for (const QByteArray& frame : read.OtherFrames)
            kept += frame.startsWith("COMM");
        EXPECT_EQ(kept, comments - (QByteArray(c.comment).isEmpty() ? 0 : 1));
        const TID3v2::WritePlan plan = read.PlanWrite(file, file.size());
        ASSERT_TRUE(plan.ok);
        const TID3v2 back = parse(plan.Tag);
        EXPECT_EQ(back.Comment, c.comment);
        EXPECT_EQ(back.OtherFrames, read.OtherFrames);
    }
}

TEST(Id3Write, AClearedCommentDoesNotLetAnotherTakeItsPlace) {
    const QByteArray file =
        tag(3, frame23("COMM", comm("eng", "", "~[")) + frame23("COMM", comm("deu", "note", "x")) +
                   frame23("COMM", comm("eng", "iTunNORM", " 0A")));
    TID3v2 t = parse(file);
    ASSERT_EQ(t.Comment, "~[");
    t.SetComment("");
    const TID3v2 back = parse(t.PlanWrite(file, file.size()).Tag);
    EXPECT_EQ(back.Comment, "");
    EXPECT_EQ(back.OtherFrames, t.OtherFrames);

    // With no other comment that could be read, no comment frame is written at all.
    const QByteArray itunesOnly = tag(3, frame23("COMM", comm("eng", "iTunNORM", " 0A")));
    TID3v2 bare = parse(itunesOnly);
    const QByteArray frames = bare.RenderFrames();
    EXPECT_EQ(frames, frame23("COMM", comm("eng", "iTunNORM", " 0A")));
}

} // namespace
} // namespace corvalin
