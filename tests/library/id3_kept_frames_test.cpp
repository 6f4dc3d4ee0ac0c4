// Frames kept for writing are parts of the tag read, not copies: reading a file must give what
// reading the same bytes gives, leave the caller's bytes alone, and keep each frame independent.

#include "id3_frames.h"
#include "library/ID3v2.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

namespace corvalin {
namespace {

using namespace test::id3;

QByteArray picture(int size) {
    QByteArray out = raw({0, 'i', 'm', 'a', 'g', 'e', '/', 'j', 'p', 'e', 'g', 0, 3, 0});
    for (int i = 0; i < size; ++i)
        out.append(static_cast<char>((i * 31 + 7) & 0xFF));
    return out;
}

struct KeptCase {
    const char* name;
    QByteArray file;
    QList<QByteArray> expected; // the kept frames
};

std::vector<KeptCase> keptCases() {
    const QByteArray cover = picture(70000);
    const QByteArray lyrics = raw({0}) + "eng" + raw({0}) + "la la";
    const QByteArray comment = raw({0}) + "eng" + raw({0}) + "marks";
    std::vector<KeptCase> cases;
    cases.push_back({"2.3",
                     tag(3,
                         frame23("TIT2", latin1("Song")) + frame23("APIC", cover) +
                             frame23("COMM", comment) + frame23("USLT", lyrics),
                         64) +
                         audio(300),
                     {frame23("APIC", cover), frame23("USLT", lyrics)}});
    // Flag bits that 2.3 does not define are cleared in the kept frame.
    cases.push_back(
        {"2.3 with stray flag bits",
         tag(3, frame23("APIC", cover, 0x1F, 0x1F) + frame23("TPE2", latin1("B"), 0x40), 10) +
             audio(300),
         {frame23("APIC", cover), frame23("TPE2", latin1("B"), 0x40)}});
    // Unsynchronised as a whole: FF 00 stands for FF; the frame sizes count the bytes restored.
    QByteArray unsynced = frame23("TIT2", latin1("S")) + frame23("PRIV", raw({'o', 0, 0xFF, 1}));
    unsynced.replace(QByteArray("\xFF\x01", 2), QByteArray("\xFF\x00\x01", 3));
    cases.push_back({"2.3 unsynchronised",
                     tag(3, unsynced, 0, 0x80) + audio(300),
                     {frame23("PRIV", raw({'o', 0, 0xFF, 1}))}});
    // 2.4 sizes are syncsafe: the kept header takes the 2.3 form.
    cases.push_back(
        {"2.4",
         tag(4,
             frame24("TIT2", latin1("Song")) + frame24("APIC", cover) + frame24("USLT", lyrics) +
                 frame24("TPE2", latin1("B"), 0x20),
             100) +
             audio(300),
         {frame23("APIC", cover), frame23("USLT", lyrics), frame23("TPE2", latin1("B"), 0x40)}});
    cases.push_back(
        {"2.4 with a data length and an unsynchronised frame",
         tag(4, frame24("TPE2", syncsafe(2) + latin1("B"), 0, 0x01) +
                    frame24("PRIV", raw({'o', 0xFF, 0x00, 2}), 0, 0x02) + frame24("APIC", cover)) +
             audio(300),
         {frame23("TPE2", latin1("B")), frame23("PRIV", raw({'o', 0xFF, 2})),
          frame23("APIC", cover)}});
    cases.push_back({"2.2",
                     tag(2, frame22("TT2", latin1("S")) + frame22("TP2", latin1("B"))) + audio(300),
                     {frame23("TPE2", latin1("B"))}});
    return cases;
}

TEST(Id3KeptFrames, ReadingTheFileGivesWhatReadingItsBytesGives) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const KeptCase& c : keptCases()) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QStringLiteral("song.mp3"));
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(out.write(c.file), c.file.size());
        out.close();

        const QByteArray before(c.file.constData(), c.file.size());
        TID3v2 fromBytes;
        ASSERT_TRUE(fromBytes.ParseTag(c.file, c.file.size()));
        EXPECT_EQ(c.file, before); // the caller's bytes are never rewritten
        EXPECT_EQ(fromBytes.OtherFrames, c.expected);

        TID3v2 fromFile;
        ASSERT_TRUE(fromFile.ReadTag(path));
        EXPECT_EQ(fromFile.OtherFrames, c.expected);
        EXPECT_EQ(fromFile.Title, fromBytes.Title);
        EXPECT_EQ(fromFile.Artist, fromBytes.Artist);
        EXPECT_EQ(fromFile.Comment, fromBytes.Comment);
        EXPECT_EQ(fromFile.TagSize, c.file.size() - 300);

        // Written back, the kept frames are there unchanged.
        ASSERT_TRUE(fromFile.WriteTag(path));
        TID3v2 back;
        ASSERT_TRUE(back.ReadTag(path));
        EXPECT_EQ(back.OtherFrames, c.expected);
        EXPECT_EQ(back.Title, fromBytes.Title);
    }
}

TEST(Id3KeptFrames, KeptFramesAreIndependentOfEachOtherAndOfTheSource) {
    const QByteArray cover = picture(5000);
    const QByteArray lyrics = raw({0}) + "eng" + raw({0}) + "la la";
    TID3v2 t;
    {
        QByteArray file = tag(3, frame23("APIC", cover) + frame23("USLT", lyrics)) + audio(10);
        ASSERT_TRUE(t.ParseTag(file, file.size()));
        file.fill('\0'); // the source changes and goes away
    }
    ASSERT_EQ(t.OtherFrames.size(), 2);
    t.OtherFrames[0].append("more");
    t.OtherFrames[0][10] = 'X';
    EXPECT_EQ(t.OtherFrames[1], frame23("USLT", lyrics));
    t.OtherFrames[1].append(QByteArray(100000, 'y')); // grows past the old tag's bytes
    EXPECT_EQ(t.OtherFrames[0].size(), frame23("APIC", cover).size() + 4);
    EXPECT_EQ(t.OtherFrames[0].mid(11), frame23("APIC", cover).mid(11) + "more");

    // Bytes the caller lends (not owned by a QByteArray) may change once the read is done.
    QByteArray lentBytes = tag(4, frame24("USLT", lyrics)) + audio(10);
    std::vector<char> lent(lentBytes.cbegin(), lentBytes.cend());
    TID3v2 fromLent;
    ASSERT_TRUE(fromLent.ParseTag(QByteArray::fromRawData(lent.data(), qsizetype(lent.size())),
                                  qsizetype(lent.size())));
    std::fill(lent.begin(), lent.end(), 'Z');
    EXPECT_EQ(fromLent.OtherFrames, QList<QByteArray>({frame23("USLT", lyrics)}));
}

} // namespace
} // namespace corvalin
