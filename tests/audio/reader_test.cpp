#include "AudioFixtures.h"
#include "TestSupport.h"
#include "audio/DSAudioFileRead.h"

#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <memory>

using namespace corvalin;
using namespace corvalin::test;

namespace {

class ReaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempFolder;
        ASSERT_TRUE(makeTone(file("tone.mp3"), 2.5, QStringLiteral("libmp3lame")));
        ASSERT_TRUE(makeTone(file("tone.wma"), 2.5, QStringLiteral("wmav2")));
        ASSERT_TRUE(makeTone(file("tone.wav"), 4.0, QStringLiteral("pcm_s16le")));
        ASSERT_TRUE(makeTone(file("mono8.wav"), 1.0, QStringLiteral("pcm_u8"), 1));
        ASSERT_TRUE(makeTone(file("deep.wav"), 0.5, QStringLiteral("pcm_s24le")));
        ASSERT_TRUE(makeTone(file("three.wav"), 0.5, QStringLiteral("pcm_s16le"), 3));
        writeWholeFile(file("empty.mp3"), QByteArray());
        QByteArray junk;
        for (int i = 0; i < 5000; ++i)
            junk.append(static_cast<char>((i * 7919 + 13) % 251));
        writeWholeFile(file("garbage.mp3"), junk);
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    static QString file(const char* name) { return dir->file(QString::fromLatin1(name)); }

    // Everything the reader gives, in pieces of `piece` bytes; checks the pieces are whole and
    // their times follow each other.
    static QByteArray readAll(TDSAudioFileReader& r, std::uint32_t piece) {
        QByteArray all;
        std::vector<char> buf(piece);
        MediaTime expectedStart = -1;
        while (true) {
            const std::uint32_t got = r.Read(buf.data(), piece);
            if (got == 0)
                break;
            if (expectedStart >= 0) {
                EXPECT_EQ(r.SampleStart(), expectedStart);
            }
            expectedStart = r.SampleEnd();
            EXPECT_EQ(r.Position(), r.SampleEnd());
            all.append(buf.data(), got);
            if (got < piece - piece % r.Format().nBlockAlign) {
                EXPECT_EQ(r.Read(buf.data(), piece), 0u) << "a short piece is the last";
                break;
            }
        }
        return all;
    }

    static TempFolder* dir;
};

TempFolder* ReaderTest::dir = nullptr;

TEST_F(ReaderTest, DecodesLikeFfmpegWithItsOwnSampleSize) {
    struct Case {
        const char* name;
        const char* raw;
        int bits;
        int channels;
    } cases[] = {{"tone.mp3", "s16le", 16, 2},
                 {"tone.wma", "s16le", 16, 2},
                 {"tone.wav", "s16le", 16, 2},
                 {"mono8.wav", "u8", 8, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TDSAudioFileReader r(file(c.name));
        EXPECT_EQ(r.Format().wBitsPerSample, c.bits);
        EXPECT_EQ(r.Format().nChannels, c.channels);
        EXPECT_EQ(r.Format().nSamplesPerSec, 44100u);
        EXPECT_EQ(r.Format().nBlockAlign, c.bits / 8 * c.channels);
        EXPECT_EQ(r.Format().nAvgBytesPerSec, 44100u * r.Format().nBlockAlign);
        const QByteArray expected = ffmpegPcm(file(c.name), QString::fromLatin1(c.raw));
        ASSERT_GT(expected.size(), 0);
        const QByteArray got = readAll(r, 65536);
        // The song's samples (the decoder may give the last frame's padding too).
        EXPECT_NEAR(got.size(), expected.size(), 1152 * 4);
        EXPECT_TRUE(got.startsWith(expected));
        EXPECT_TRUE(got == expected);
        const qint64 frames = got.size() / r.Format().nBlockAlign;
        EXPECT_EQ(r.Position(), frames * 10000000 / 44100);
        // Seek(0) starts over exactly.
        r.Seek(0);
        EXPECT_TRUE(readAll(r, 40000) == expected);
    }
}

TEST_F(ReaderTest, ReportsFormatsTheDeckRefuses) {
    TDSAudioFileReader deep(file("deep.wav"));
    EXPECT_EQ(deep.Format().wBitsPerSample, 24);
    EXPECT_EQ(deep.Format().nBlockAlign, 6);
    TDSAudioFileReader three(file("three.wav"));
    EXPECT_EQ(three.Format().nChannels, 3);
    EXPECT_EQ(three.Duration(), 5000000);
}

TEST_F(ReaderTest, SeeksExactlyToTheSample) {
    for (const char* name : {"tone.wav", "tone.mp3"}) {
        SCOPED_TRACE(name);
        const QByteArray all = ffmpegPcm(file(name));
        TDSAudioFileReader r(file(name));
        for (MediaTime t : {MediaTime{12345678}, MediaTime{5000000}, MediaTime{20000001}}) {
            r.Seek(t);
            EXPECT_EQ(r.Position(), t);
            char buf[4000];
            ASSERT_EQ(r.Read(buf, sizeof buf), sizeof buf);
            const qint64 sample = (t * 44100 + 9999999) / 10000000;
            EXPECT_EQ(r.SampleStart(), sample * 10000000 / 44100);
            EXPECT_TRUE(QByteArray(buf, sizeof buf) == all.mid(sample * 4, sizeof buf));
        }
    }
}

// Every seek gives the samples a full decode has at that place, also in VBR files, where the
// decoder needs some frames before the target to settle.
TEST_F(ReaderTest, VbrSeeksAreExactAgainstAFullDecode) {
    ASSERT_TRUE(makeVbrMp3(file("vbr.mp3"), 12));
    ASSERT_TRUE(makeVbrMp3(file("vbrlow.mp3"), 12, 9));
    for (const char* name : {"vbr.mp3", "vbrlow.mp3"}) {
        SCOPED_TRACE(name);
        const QByteArray all = ffmpegPcm(file(name));
        ASSERT_EQ(all.size(), 12 * 44100 * 4);
        TDSAudioFileReader r(file(name));
        for (MediaTime t : {MediaTime{95000000}, MediaTime{12345678}, MediaTime{70000000},
                            MediaTime{30000000}, MediaTime{115000000}, MediaTime{5000},
                            MediaTime{64321987}, MediaTime{1000000}, MediaTime{4000000}}) {
            SCOPED_TRACE(t);
            r.Seek(t);
            EXPECT_EQ(r.Position(), t);
            char buf[8000];
            ASSERT_EQ(r.Read(buf, sizeof buf), sizeof buf);
            const qint64 sample = (t * 44100 + 9999999) / 10000000;
            EXPECT_EQ(r.SampleStart(), sample * 10000000 / 44100);
            EXPECT_TRUE(QByteArray(buf, sizeof buf) == all.mid(sample * 4, sizeof buf));
        }
    }
}

// Rewinding and seeking use the open file: the song may be renamed or removed meanwhile.
TEST_F(ReaderTest, RewindsAndSeeksWithinTheOpenFileAfterItIsRemoved) {
    ASSERT_TRUE(makeVbrMp3(file("vbr.mp3"), 12));
    ASSERT_TRUE(makeTone(file("tone.flac"), 2.5, QStringLiteral("flac")));
    ASSERT_TRUE(makeTone(file("tone.ogg"), 2.5, QStringLiteral("libvorbis")));
    for (const char* name :
         {"tone.mp3", "tone.wma", "tone.wav", "mono8.wav", "vbr.mp3", "tone.flac", "tone.ogg"}) {
        SCOPED_TRACE(name);
        TempFolder folder;
        const QString song = folder.file(QString::fromLatin1(name));
        ASSERT_TRUE(QFile::copy(file(name), song));
        const bool eight = QByteArray(name) == "mono8.wav";
        const QByteArray expected =
            ffmpegPcm(song, eight ? QStringLiteral("u8") : QStringLiteral("s16le"));
        TDSAudioFileReader r(song);
        const QByteArray first = readAll(r, 30000);
        ASSERT_TRUE(QFile::remove(song));
        r.Seek(0);
        EXPECT_TRUE(readAll(r, 40000) == expected);
        EXPECT_TRUE(first == expected);
        const int block = r.Format().nBlockAlign;
        r.Seek(7000000); // in the second half: decoded from before it, or from the start
        char buf[4000];
        ASSERT_EQ(r.Read(buf, sizeof buf), sizeof buf - sizeof buf % block);
        EXPECT_TRUE(QByteArray(buf, sizeof buf - sizeof buf % block) ==
                    expected.mid(30870 * block, sizeof buf - sizeof buf % block));
    }
}

// 3 s at 44.1 kHz then 2 s at 48 kHz in one stream: delivered at 44.1 kHz throughout.
TEST_F(ReaderTest, FollowsARateChangeInsideTheFile) {
    ASSERT_TRUE(makeRateChangeMp3(file("rates.mp3")));
    TDSAudioFileReader r(file("rates.mp3"));
    EXPECT_EQ(r.Format().nSamplesPerSec, 44100u);
    const QByteArray got = readAll(r, 65536);
    const double first = ffmpegPcm(file("rates.mp3.44")).size() / 4;
    const double second = ffmpegPcm(file("rates.mp3.48")).size() / 4 * 44100.0 / 48000;
    // FFmpeg drops one frame where the streams meet.
    EXPECT_NEAR(got.size() / 4, first + second, 1152) << "not " << first + second * 48000 / 44100;
    EXPECT_EQ(r.Position(), (got.size() / 4) * 10000000LL / 44100);
    const std::vector<std::int16_t> s = toSamples(got);
    const double before = toneAmplitude(s.data() + 44100, 22050, 0, 440);
    const std::size_t from = static_cast<std::size_t>(first) + 22050;
    EXPECT_GT(before, 1000);
    EXPECT_NEAR(toneAmplitude(s.data() + 2 * from, 22050, 0, 440), before, before * 0.05);
    EXPECT_LT(toneAmplitude(s.data() + 2 * from, 22050, 0, 440.0 * 44100 / 48000), before * 0.1);
}

TEST_F(ReaderTest, SeekBeyondTheEndLandsOnDuration) {
    TDSAudioFileReader r(file("tone.wav"));
    EXPECT_EQ(r.Duration(), 40000000);
    r.Seek(90000000);
    EXPECT_EQ(r.Position(), r.Duration());
    char buf[400];
    EXPECT_EQ(r.Read(buf, sizeof buf), 0u);
    EXPECT_EQ(r.Position(), r.Duration());
}

TEST_F(ReaderTest, ReadsOnlyInsideTheWindow) {
    const QByteArray all = ffmpegPcm(file("tone.wav"));
    TDSAudioFileReader r(file("tone.wav"));
    r.SetStart(10000000);
    r.SetLength(20000000);
    r.Seek(0);
    EXPECT_EQ(r.Position(), 10000000);
    QByteArray got;
    char buf[30000]; // pieces do not end on the window's end
    std::uint32_t n;
    bool first = true;
    while ((n = r.Read(buf, sizeof buf)) > 0) {
        if (first) {
            EXPECT_EQ(r.SampleStart(), 10000000);
        }
        first = false;
        got.append(buf, n);
        EXPECT_EQ(n % 4, 0u);
    }
    EXPECT_EQ(r.SampleEnd(), 30000000);
    EXPECT_EQ(got.size(), 2 * 44100 * 4);
    EXPECT_TRUE(got == all.mid(44100 * 4, 2 * 44100 * 4));
    EXPECT_EQ(r.Read(buf, sizeof buf), 0u);
}

TEST_F(ReaderTest, WindowLimits) {
    TDSAudioFileReader r(file("tone.wav"));
    r.SetLength(50);
    EXPECT_EQ(r.Length(), 100000);
    r.SetLength(MediaTime{10000000000000000});
    EXPECT_EQ(r.Length(), 1000000000000000);
    r.SetLength(0);
    EXPECT_EQ(r.Length(), 0);
    r.SetStart(-5);
    EXPECT_EQ(r.Start(), 0);
}

TEST_F(ReaderTest, ZeroSizeReadIsRefused) {
    TDSAudioFileReader r(file("tone.wav"));
    char buf[4];
    try {
        r.Read(buf, 0);
        FAIL() << "no exception";
    } catch (const EAudioReadError& e) {
        EXPECT_EQ(e.ErrorCode, 0x08000001);
        EXPECT_EQ(e.message(), QStringLiteral("Invalid buffer size."));
    }
    EXPECT_EQ(r.Position(), 0);
    EXPECT_EQ(r.Read(buf, 4), 4u);
    EXPECT_EQ(r.SampleStart(), 0);
}

TEST_F(ReaderTest, FilesThatCannotBeDecodedRaise) {
    for (const char* name : {"missing.mp3", "empty.mp3", "garbage.mp3"}) {
        SCOPED_TRACE(name);
        try {
            TDSAudioFileReader r(file(name));
            FAIL() << "opened";
        } catch (const EAudioReadError& e) {
            EXPECT_NE(e.ErrorCode, 0);
            EXPECT_FALSE(e.message().isEmpty());
            EXPECT_EQ(e.message(), AudioErrorText(e.ErrorCode));
        }
    }
}

// Bytes this process has read through read() and its kin so far.
qint64 bytesReadByProcess() {
    for (const QByteArray& line : readWholeFile(QStringLiteral("/proc/self/io")).split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    ADD_FAILURE() << "no rchar in /proc/self/io";
    return 0;
}

// `head` followed by zeros up to `size` bytes, without writing the zeros (a sparse file).
void writeSparse(const QString& path, const QByteArray& head, qint64 size) {
    writeWholeFile(path, head);
    QFile f(path);
    ASSERT_TRUE(f.resize(size)) << path.toStdString();
}

// Deciding that a file is not audio reads a bounded prefix of it, however large the file: 2 GB of
// zeros (which the MP3 demuxer would search to the end for a frame) or of noise then zeros.
TEST_F(ReaderTest, RefusesALargeNonAudioFileAfterReadingAFewMegabytes) {
    constexpr qint64 k2GB = qint64{2} << 30;
    QByteArray noise(3000000, Qt::Uninitialized);
    QRandomGenerator random(32);
    for (char& byte : noise)
        byte = static_cast<char>(random.bounded(256));
    struct Case {
        const char* name;
        QByteArray head;
    } cases[] = {{"zeros.mp3", QByteArray()},
                 {"noise.mp3", noise},
                 {"zeros.wav", QByteArray()},
                 {"zeros.wma", QByteArray()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeSparse(file(c.name), c.head, k2GB);
        const qint64 before = bytesReadByProcess();
        EXPECT_THROW(TDSAudioFileReader r(file(c.name)), EAudioReadError);
        // FFmpeg's format probe (1 MB) and stream analysis (5 MB), then the reader's own limit.
        EXPECT_LT(bytesReadByProcess() - before, 8 << 20);
        QFile::remove(file(c.name));
    }
}

// A song followed by a long run of anything else ends where its frames end; a song behind a large
// leading tag (read before the search for audio starts) still opens.
TEST_F(ReaderTest, ReadsOnlyALimitedRunWithoutAudio) {
    const QByteArray song = readWholeFile(file("tone.mp3"));
    const QByteArray expected = ffmpegPcm(file("tone.mp3"));
    writeSparse(file("trailing.mp3"), song, qint64{2} << 30);
    {
        const qint64 before = bytesReadByProcess();
        TDSAudioFileReader r(file("trailing.mp3"));
        const QByteArray got = readAll(r, 65536);
        // The song's samples (the decoder may give the last frame's padding too).
        EXPECT_NEAR(got.size(), expected.size(), 1152 * 4);
        EXPECT_TRUE(got.startsWith(expected));
        EXPECT_LT(bytesReadByProcess() - before,
                  song.size() + 2 * TDSAudioFileReader::kNoAudioReadLimit);
    }
    QFile::remove(file("trailing.mp3"));

    // An ID3v2.3 tag of 3 MB (one private frame) in front of the song.
    const QByteArray data(3 << 20, '\x42');
    QByteArray frame = "PRIV";
    const quint32 frameSize = static_cast<quint32>(data.size() + 5);
    for (int shift = 24; shift >= 0; shift -= 8)
        frame.append(static_cast<char>((frameSize >> shift) & 0xff));
    frame.append(2, '\0');
    frame.append("test", 5).append(data);
    QByteArray tag("ID3\x03\x00\x00", 6);
    for (int shift = 21; shift >= 0; shift -= 7)
        tag.append(static_cast<char>((frame.size() >> shift) & 0x7f));
    writeWholeFile(file("tagged.mp3"), tag + frame + song);
    TDSAudioFileReader r(file("tagged.mp3"));
    EXPECT_EQ(readAll(r, 65536).size(), expected.size());
}

TEST(AudioErrorTextTest, FixedMessagesAndFallbacks) {
    EXPECT_EQ(AudioErrorText(static_cast<std::int32_t>(0x80040403u)),
              QStringLiteral("Reached the end of the stream; the sample wasn't updated."));
    EXPECT_EQ(AudioErrorText(0x00040004),
              QStringLiteral("One or more media streams don't support seeking."));
    EXPECT_EQ(AudioErrorText(0x00012345), QStringLiteral("Unrecognized error value."));
    EXPECT_FALSE(AudioErrorText(-2).isEmpty()); // FFmpeg's own text for ENOENT
    EXPECT_NE(AudioErrorText(-2), QStringLiteral("Unrecognized error value."));
    EXPECT_NO_THROW(CheckAM(0));
    EXPECT_THROW(CheckAM(0x00040001), EAudioReadError);
}

} // namespace
