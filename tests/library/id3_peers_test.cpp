// Other readers and writers of ID3 tags agree with ours: tags written by mutagen read right here,
// and tags written here read right in TagLib.

#include "TestSupport.h"
#include "library/ID3v2.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

namespace corvalin {
namespace {

using test::readWholeFile;
using test::runTool;
using test::TempFolder;
using test::writeWholeFile;

// A short real MP3 without any tag, made once per run.
const QByteArray& plainMp3() {
    static const QByteArray bytes = [] {
        TempFolder dir;
        const QString path = dir.file("tone.mp3");
        EXPECT_TRUE(runTool("ffmpeg", {"-v",
                                       "error",
                                       "-f",
                                       "lavfi",
                                       "-i",
                                       "sine=frequency=440:duration=0.3",
                                       "-ac",
                                       "1",
                                       "-ar",
                                       "22050",
                                       "-c:a",
                                       "libmp3lame",
                                       "-b:a",
                                       "32k",
                                       "-id3v2_version",
                                       "0",
                                       "-write_xing",
                                       "0",
                                       "-map_metadata",
                                       "-1",
                                       path}));
        return readWholeFile(path);
    }();
    return bytes;
}

const char* const MutagenScript = R"(
import sys
from mutagen.id3 import ID3, TIT2, TPE1, COMM, TRCK, TCON, APIC
path, version, enc, title, artist, comment = sys.argv[1:7]
enc = int(enc)
tag = ID3()
tag.add(TIT2(encoding=enc, text=title))
tag.add(TPE1(encoding=enc, text=artist))
tag.add(COMM(encoding=enc, lang="deu", desc="note", text=comment))
tag.add(TRCK(encoding=enc, text="3/12"))
tag.add(TCON(encoding=enc, text="(17)Rock"))
tag.add(APIC(encoding=enc, mime="image/png", type=3, desc="cover", data=bytes(range(256)) * 4))
tag.save(path, v2_version=int(version))
)";

void tagWithMutagen(const QString& path, int version, int encoding, const QString& title,
                    const QString& artist, const QString& comment) {
    ASSERT_TRUE(runTool("/usr/bin/python3", {"-c", MutagenScript, path, QString::number(version),
                                             QString::number(encoding), title, artist, comment}));
}

struct PeerCase {
    int version;
    int encoding;
    const char* title;
    const char* artist;
    const char* comment;
};

const PeerCase Cases[] = {
    {3, 0, "Café Crème", "Zoë & Co", "~[nice"},   {3, 1, "Ελληνικά", "Дуэт", "^ ✓ 日本"},
    {4, 0, "Café Crème", "Zoë & Co", "~[nice"},   {4, 1, "Ελληνικά", "Дуэт", "^ ✓ 日本"},
    {4, 3, "Grüße aus Köln", "Kestrels", "` ok"},
};

TEST(Id3Peers, ReadsTagsWrittenByMutagen) {
    for (const PeerCase& c : Cases) {
        SCOPED_TRACE(testing::Message() << "2." << c.version << " encoding " << c.encoding);
        TempFolder dir;
        const QString path = dir.file("song.mp3");
        writeWholeFile(path, plainMp3());
        tagWithMutagen(path, c.version, c.encoding, QString::fromUtf8(c.title),
                       QString::fromUtf8(c.artist), QString::fromUtf8(c.comment));
        TID3v2 t;
        ASSERT_TRUE(t.ReadTag(path));
        EXPECT_TRUE(t.TagFound);
        EXPECT_EQ(t.Version, c.version);
        EXPECT_EQ(t.Title, QString::fromUtf8(c.title));
        EXPECT_EQ(t.Artist, QString::fromUtf8(c.artist));
        EXPECT_EQ(t.Comment, QString::fromUtf8(c.comment));
        EXPECT_EQ(t.Track, 3);
        EXPECT_EQ(t.Genre, "Rock");
        EXPECT_TRUE(readWholeFile(path).endsWith(plainMp3()));
    }
}

QString fromTagLib(const TagLib::String& s) {
    return QString::fromUtf8(s.toCString(true));
}

TEST(Id3Peers, TagLibReadsWhatWeWrite) {
    for (const PeerCase& c : Cases) {
        for (const bool hadTag : {false, true}) {
            SCOPED_TRACE(testing::Message() << "2." << c.version << " encoding " << c.encoding
                                            << (hadTag ? " tagged" : " plain"));
            TempFolder dir;
            const QString path = dir.file("song.mp3");
            writeWholeFile(path, plainMp3());
            if (hadTag)
                tagWithMutagen(path, c.version, c.encoding, "old", "old", "old");

            TID3v2 t;
            ASSERT_TRUE(t.ReadTag(path));
            t.SetTitle(QString::fromUtf8(c.title));
            t.SetArtist(QString::fromUtf8(c.artist));
            t.SetComment(QString::fromUtf8(c.comment));
            ASSERT_TRUE(t.WriteTag(path));
            EXPECT_TRUE(readWholeFile(path).endsWith(plainMp3())) << "the audio is unchanged";

            TagLib::MPEG::File file(QFile::encodeName(path).constData());
            ASSERT_TRUE(file.isValid());
            TagLib::ID3v2::Tag* tag = file.ID3v2Tag();
            ASSERT_NE(tag, nullptr);
            EXPECT_EQ(tag->header()->majorVersion(), 3u);
            EXPECT_EQ(fromTagLib(tag->title()), QString::fromUtf8(c.title));
            EXPECT_EQ(fromTagLib(tag->artist()), QString::fromUtf8(c.artist));
            EXPECT_EQ(fromTagLib(tag->comment()), QString::fromUtf8(c.comment));
            const TagLib::ID3v2::FrameList pictures = tag->frameListMap()["APIC"];
            ASSERT_EQ(pictures.size(), hadTag ? 1u : 0u);
            if (hadTag) {
                const auto* picture =
                    dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(pictures.front());
                ASSERT_NE(picture, nullptr);
                EXPECT_EQ(picture->mimeType(), "image/png");
                EXPECT_EQ(fromTagLib(picture->description()), "cover");
                QByteArray expected;
                for (int i = 0; i < 4; ++i)
                    for (int b = 0; b < 256; ++b)
                        expected.append(static_cast<char>(b));
                EXPECT_EQ(QByteArray(picture->picture().data(), picture->picture().size()),
                          expected);
                EXPECT_EQ(tag->frameListMap()["TRCK"].size(), 1u);
                EXPECT_EQ(tag->track(), 3u);
            }
        }
    }
}

// What mutagen reads from a tag: each frame's key ("TIT2", "COMM:desc:lang") and its texts
// joined by "/".
const char* const MutagenDump = R"(
import json, sys
from mutagen.id3 import ID3
tag = ID3(sys.argv[1])
frames = {key: "/".join(str(t) for t in frame.text) for key, frame in tag.items()
          if hasattr(frame, "text")}
json.dump({"version": tag.version[1], "frames": frames}, open(sys.argv[2], "w"))
)";

struct MutagenView {
    int version = 0;
    QMap<QString, QString> frames;
};

MutagenView readWithMutagen(const QString& path) {
    TempFolder dir;
    const QString json = dir.file("dump.json");
    EXPECT_TRUE(runTool("/usr/bin/python3", {"-c", MutagenDump, path, json}));
    const QJsonObject root = QJsonDocument::fromJson(readWholeFile(json)).object();
    MutagenView view;
    view.version = root.value("version").toInt();
    const QJsonObject frames = root.value("frames").toObject();
    for (auto it = frames.begin(); it != frames.end(); ++it)
        view.frames.insert(it.key(), it.value().toString());
    return view;
}

// A 2.3 tag made by mutagen with its version byte set to 4: a 2.4 tag whose frame sizes are
// plain numbers, as some taggers write them.
const char* const MutagenPlainSizes = R"(
import sys
from mutagen.id3 import ID3, TIT2, TPE1, TALB, COMM
path, enc, title, artist, album, comment, padding = sys.argv[1:8]
enc = int(enc)
tag = ID3()
tag.add(TIT2(encoding=enc, text=title))
tag.add(TPE1(encoding=enc, text=artist))
tag.add(TALB(encoding=enc, text=album))
tag.add(COMM(encoding=enc, lang="eng", desc="", text=comment))
tag.save(path, v2_version=3, padding=lambda info: int(padding))
with open(path, "r+b") as f:
    f.seek(3)
    f.write(b"\x04")
)";

TEST(Id3Peers, PlainFrameSizesIn24TagsReadAsMutagenReadsThem) {
    struct Case {
        const char* name;
        int encoding;
        QString title;
        QString artist;
        QString album;
        int padding;
    };
    const Case cases[] = {
        {"300-byte title", 0, QString(300, u'x'), "Kestrels", "Harbour", 200},
        {"every frame long, no padding", 0, QString(250, u'y'), QString(180, u'b'),
         QString(400, u'c'), 0},
        {"UTF-16 title of 200 characters", 1, QString(200, u'é') + "Ω", "Дуэт", "Album", 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        const QString path = dir.file("song.mp3");
        writeWholeFile(path, plainMp3());
        ASSERT_TRUE(runTool("/usr/bin/python3",
                            {"-c", MutagenPlainSizes, path, QString::number(c.encoding), c.title,
                             c.artist, c.album, "~[", QString::number(c.padding)}));
        const MutagenView theirs = readWithMutagen(path);
        ASSERT_EQ(theirs.version, 4);
        ASSERT_EQ(theirs.frames.value("TIT2"), c.title) << "mutagen reads the plain sizes";

        TID3v2 t;
        ASSERT_TRUE(t.ReadTag(path));
        EXPECT_EQ(t.Version, 4);
        EXPECT_EQ(t.Title, c.title);
        EXPECT_EQ(t.Artist, c.artist);
        EXPECT_EQ(t.Album, c.album);
        EXPECT_EQ(t.Comment, "~[");

        // A mark change writes every text back whole.
        t.SetComment("]" + t.Comment);
        ASSERT_TRUE(t.WriteTag(path));
        const MutagenView after = readWithMutagen(path);
        EXPECT_EQ(after.version, 3);
        EXPECT_EQ(after.frames.value("TIT2"), c.title);
        EXPECT_EQ(after.frames.value("TPE1"), c.artist);
        EXPECT_EQ(after.frames.value("TALB"), c.album);
        EXPECT_EQ(after.frames.value("COMM::eng"), "]~[");
        EXPECT_TRUE(readWholeFile(path).endsWith(plainMp3()));
    }
}

// Comments as iTunes and other taggers leave them beside the one holding the marks.
const char* const MutagenComments = R"(
import sys
from mutagen.id3 import ID3, TIT2, COMM
path, version, enc = sys.argv[1:4]
enc = int(enc)
tag = ID3()
tag.add(TIT2(encoding=enc, text="Song"))
tag.add(COMM(encoding=enc, lang="eng", desc="", text="~[ marks"))
tag.add(COMM(encoding=enc, lang="eng", desc="iTunNORM", text=" 00000A1B 00000B2C 0000"))
tag.add(COMM(encoding=enc, lang="deu", desc="Anmerkung", text="Grüße"))
tag.save(path, v2_version=int(version))
)";

TEST(Id3Peers, SeveralCommentsKeepTheMarksAndEachOther) {
    const struct {
        int version;
        int encoding;
    } cases[] = {{3, 0}, {3, 1}, {4, 1}, {4, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "2." << c.version << " encoding " << c.encoding);
        TempFolder dir;
        const QString path = dir.file("song.mp3");
        writeWholeFile(path, plainMp3());
        ASSERT_TRUE(
            runTool("/usr/bin/python3", {"-c", MutagenComments, path, QString::number(c.version),
                                         QString::number(c.encoding)}));
        const MutagenView before = readWithMutagen(path);
        ASSERT_EQ(before.frames.value("COMM::eng"), "~[ marks");
        ASSERT_EQ(before.frames.value("COMM:iTunNORM:eng"), " 00000A1B 00000B2C 0000");

        TID3v2 t;
        ASSERT_TRUE(t.ReadTag(path));
        EXPECT_EQ(t.Comment, "~[ marks");

        t.SetComment("^" + t.Comment);
        ASSERT_TRUE(t.WriteTag(path));
        const MutagenView after = readWithMutagen(path);
        EXPECT_EQ(after.frames.value("COMM::eng"), "^~[ marks");
        EXPECT_EQ(after.frames.value("COMM:iTunNORM:eng"), " 00000A1B 00000B2C 0000");
        EXPECT_EQ(after.frames.value("COMM:Anmerkung:deu"), "Grüße");
        EXPECT_EQ(after.frames.value("TIT2"), "Song");
        const auto comments =
            std::count_if(after.frames.keyBegin(), after.frames.keyEnd(),
                          [](const QString& key) { return key.startsWith("COMM"); });
        EXPECT_EQ(comments, 3);
        TID3v2 back;
        ASSERT_TRUE(back.ReadTag(path));
        EXPECT_EQ(back.Comment, "^~[ marks");
    }
}

} // namespace
} // namespace corvalin
