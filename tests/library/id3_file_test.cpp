// Reading and writing tags in song files: what is kept, and that a failed write never harms
// the song.

#include "TestSupport.h"
#include "id3_frames.h"
#include "library/ID3v2.h"
#include "platform/FileSystem.h"
#include "special_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace corvalin {
namespace {

using namespace test::id3;
using test::readWholeFile;
using test::TempFolder;
using test::writeWholeFile;

struct stat statOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info;
}

void setMode(const QString& path, mode_t mode) {
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

const QByteArray Song = audio(3000);

TEST(Id3File, ReadResults) {
    TempFolder dir;
    TID3v2 t;
    EXPECT_FALSE(t.ReadTag(dir.file("missing.mp3")));
    writeWholeFile(dir.file("short.mp3"), bytes("ID3\x03"));
    EXPECT_FALSE(t.ReadTag(dir.file("short.mp3")));
    EXPECT_FALSE(t.TagFound);
    writeWholeFile(dir.file("plain.mp3"), Song);
    EXPECT_TRUE(t.ReadFromFile(dir.file("plain.mp3")));
    EXPECT_FALSE(t.TagFound);
    writeWholeFile(dir.file("tagged.mp3"), tag(3, frame23("TPE1", latin1("Band"))) + Song);
    EXPECT_TRUE(t.ReadFromFile(dir.file("tagged.mp3")));
    EXPECT_TRUE(t.TagFound);
    EXPECT_EQ(t.Artist, "Band");
}

struct WriteCase {
    const char* name;
    QByteArray oldTag;
    bool inPlace;
};

TEST(Id3File, WritesInPlaceOrThroughACopyAndKeepsTheAudio) {
    const QByteArray frames = frame23("TIT2", latin1("Old")) +
                              frame23("APIC", raw({0}) + "image/jpeg" + raw({0, 3, 0, 0xFF, 0xD8}));
    const WriteCase cases[] = {
        {"no tag", {}, false},
        {"4096-byte tag", tag(3, frames, 4096 - 10 - frames.size()), true},
        {"5000-byte tag", tag(3, frames, 5000 - 10 - frames.size()), false},
        {"2.4 tag too small", tag(4, frame24("TIT2", latin1("Old"))), false},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        const QString path = dir.file("Band - Song.mp3");
        writeWholeFile(path, c.oldTag + Song);
        setMode(path, 0640);
        const ino_t inode = statOf(path).st_ino;

        TID3v2 t;
        ASSERT_TRUE(t.ReadTag(path));
        t.SetArtist("  Kestrels ");
        t.SetComment("~[" + t.Comment);
        ASSERT_TRUE(t.WriteTag(path));

        const QByteArray now = readWholeFile(path);
        EXPECT_EQ(now.size(), 4096 + Song.size());
        EXPECT_EQ(now.mid(4096), Song);
        EXPECT_EQ(statOf(path).st_ino == inode, c.inPlace);
        EXPECT_EQ(statOf(path).st_mode & 07777, 0640u);
        EXPECT_FALSE(QFileInfo::exists(path + "~"));
        EXPECT_EQ(now.contains(frames.mid(frame23("TIT2", latin1("Old")).size())),
                  !c.oldTag.isEmpty() && c.oldTag.at(3) == 3)
            << "the picture is kept";

        TID3v2 back;
        ASSERT_TRUE(back.ReadTag(path));
        EXPECT_EQ(back.Version, 3);
        EXPECT_EQ(back.TagSize, 4096);
        EXPECT_EQ(back.Artist, "Kestrels");
        EXPECT_EQ(back.Comment, "~[");
        EXPECT_EQ(back.Title, c.oldTag.isEmpty() ? QString() : QStringLiteral("Old"));
    }
}

TEST(Id3File, KeepsTheFramesOfTheFileEvenWithoutAPriorRead) {
    TempFolder dir;
    const QString path = dir.file("song.mp3");
    const QByteArray picture = frame23("APIC", raw({0}) + "image/png" + raw({0, 3, 0, 1, 2, 3}));
    writeWholeFile(path,
                   tag(3, frame23("COMM", raw({0}) + "eng" + raw({0}) + "x") + picture, 40) + Song);
    TID3v2 t;
    t.SetTitle("Fresh");
    ASSERT_TRUE(t.WriteTag(path));
    const QByteArray now = readWholeFile(path);
    EXPECT_TRUE(now.contains(picture));
    EXPECT_TRUE(now.endsWith(Song));
}

TEST(Id3File, FollowsALinkToTheSong) {
    TempFolder dir;
    writeWholeFile(dir.file("real.mp3"), Song);
    ASSERT_TRUE(QFile::link(dir.file("real.mp3"), dir.file("link.mp3")));
    TID3v2 t;
    t.SetTitle("Linked");
    ASSERT_TRUE(t.WriteTag(dir.file("link.mp3")));
    EXPECT_TRUE(S_ISLNK(statOf(dir.file("link.mp3")).st_mode));
    ASSERT_TRUE(t.ReadTag(dir.file("real.mp3")));
    EXPECT_EQ(t.Title, "Linked");
}

TEST(Id3File, MakesAReadOnlySongWritable) {
    TempFolder dir;
    const QString path = dir.file("song.mp3");
    writeWholeFile(path, Song);
    setMode(path, 0444);
    TID3v2 t;
    t.SetTitle("T");
    ASSERT_TRUE(t.WriteTag(path));
    EXPECT_EQ(statOf(path).st_mode & 07777, 0644u);
}

// Lets writes beyond `limit` bytes of any file fail (EFBIG) while it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit now{limit, old_.rlim_max};
        ok_ = ::setrlimit(RLIMIT_FSIZE, &now) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }
    bool ok() const { return ok_; }

private:
    rlimit old_{};
    void (*previous_)(int) = nullptr;
    bool ok_ = false;
};

QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

TEST(Id3File, AFailedWriteLeavesTheSongAsItWas) {
    enum Trouble { WriteFails, NotAFile };
    const QByteArray original = tag(3, frame23("TIT2", latin1("Old")), 5000) + Song;
    for (Trouble trouble : {WriteFails, NotAFile}) {
        SCOPED_TRACE(int(trouble));
        TempFolder dir;
        const QString path = dir.file("song.mp3");
        const QString tilde = path + "~";
        const QString victim = dir.file("victim");
        writeWholeFile(victim, "keep me");
        if (trouble == NotAFile) {
            ASSERT_TRUE(QDir().mkdir(path));
        } else {
            writeWholeFile(path, original);
        }

        TID3v2 t;
        t.SetTitle("New");
        if (trouble == WriteFails) {
            const FileSizeLimit limit(6000);
            ASSERT_TRUE(limit.ok());
            EXPECT_FALSE(t.WriteTag(path));
        } else {
            EXPECT_FALSE(t.WriteTag(path));
        }

        if (trouble != NotAFile) {
            EXPECT_EQ(readWholeFile(path), original);
        }
        EXPECT_EQ(readWholeFile(victim), "keep me");
        EXPECT_FALSE(QFileInfo::exists(tilde));
        EXPECT_EQ(entriesOf(dir.path()), QStringList({"song.mp3", "victim"}))
            << "no temporary file is left";
    }

    TempFolder dir;
    TID3v2 t;
    EXPECT_FALSE(t.WriteTag(dir.file("missing.mp3")));
    writeWholeFile(dir.file("short.mp3"), "ID3");
    EXPECT_FALSE(t.WriteTag(dir.file("short.mp3")));
    EXPECT_EQ(readWholeFile(dir.file("short.mp3")), "ID3");
    EXPECT_FALSE(QFileInfo::exists(dir.file("missing.mp3")));
}

// A crash while a tag was rebuilt could leave a "~" file beside the song (an older version made
// its copy there): it must not stand in the way of later rewrites, and it is left alone, since it
// may be the only copy of a song.
TEST(Id3File, LeftOversFromAnEarlierCrashDoNotBlockARewrite) {
    enum LeftOver { TildeFile, ReadOnlyTildeFile, TildeLink, TildeFolder };
    const QByteArray original = tag(3, frame23("TIT2", latin1("Old")), 5000) + Song;
    for (LeftOver left : {TildeFile, ReadOnlyTildeFile, TildeLink, TildeFolder}) {
        SCOPED_TRACE(int(left));
        TempFolder dir;
        const QString path = dir.file("song.mp3");
        const QString tilde = path + "~";
        const QString victim = dir.file("victim");
        writeWholeFile(path, original);
        writeWholeFile(victim, "keep me");
        if (left == TildeFile || left == ReadOnlyTildeFile)
            writeWholeFile(tilde, "half a copy");
        if (left == ReadOnlyTildeFile)
            setMode(tilde, 0444);
        if (left == TildeLink) {
            ASSERT_TRUE(QFile::link(victim, tilde));
        }
        if (left == TildeFolder) {
            ASSERT_TRUE(QDir().mkdir(tilde));
        }

        TID3v2 t;
        ASSERT_TRUE(t.ReadTag(path));
        t.SetTitle("New");
        ASSERT_TRUE(t.WriteTag(path));

        TID3v2 back;
        ASSERT_TRUE(back.ReadTag(path));
        EXPECT_EQ(back.Title, "New");
        EXPECT_EQ(back.TagSize, 4096) << "rebuilt, not written in place";
        EXPECT_TRUE(readWholeFile(path).endsWith(Song));
        EXPECT_EQ(readWholeFile(victim), "keep me");
        if (left == TildeFile || left == ReadOnlyTildeFile) {
            EXPECT_EQ(readWholeFile(tilde), "half a copy");
        }
        if (left == TildeLink) {
            EXPECT_TRUE(S_ISLNK(statOf(tilde).st_mode));
        }
        if (left == TildeFolder) {
            EXPECT_TRUE(S_ISDIR(statOf(tilde).st_mode));
        }
        EXPECT_EQ(entriesOf(dir.path()), QStringList({"song.mp3", "song.mp3~", "victim"}));

        // A second rewrite finds the same folder and succeeds again.
        t.SetTitle("Newer");
        t.Comment = QString(5000, u'c');
        ASSERT_TRUE(t.WriteTag(path));
        ASSERT_TRUE(back.ReadTag(path));
        EXPECT_EQ(back.Title, "Newer");
        EXPECT_EQ(entriesOf(dir.path()), QStringList({"song.mp3", "song.mp3~", "victim"}));
    }
}

// A FIFO, a device or a folder where a song should be is unreadable, and neither reading nor
// writing its tag waits on it.
TEST(Id3File, SpecialFilesAreRefusedWithoutBlocking) {
    TempFolder dir;
    const QString fifo = dir.file("fifo.mp3");
    ASSERT_TRUE(test::makeFifo(fifo));
    ASSERT_TRUE(QFile::link(fifo, dir.file("link to fifo.mp3")));
    ASSERT_TRUE(QDir().mkdir(dir.file("folder.mp3")));
    for (const QString& path : {fifo, dir.file("link to fifo.mp3"), QStringLiteral("/dev/zero"),
                                dir.file("folder.mp3")}) {
        SCOPED_TRACE(path.toStdString());
        bool read = true;
        bool found = true;
        EXPECT_TRUE(test::returnsWithoutBlocking(fifo, [&] {
            TID3v2 t;
            read = t.ReadTag(path);
            found = t.TagFound;
        }));
        EXPECT_FALSE(read);
        EXPECT_FALSE(found);
        bool written = true;
        EXPECT_TRUE(test::returnsWithoutBlocking(fifo, [&] {
            TID3v2 t;
            t.SetTitle("New");
            written = t.WriteTag(path);
        }));
        EXPECT_FALSE(written);
    }
    EXPECT_TRUE(S_ISFIFO(statOf(fifo).st_mode));
}

// Linux names are bytes: a song whose name is Latin-1 (given as nativeFileName() escapes) has its
// tag read and written, in place and rebuilt.
// The names in a folder as the system's bytes.
QList<QByteArray> nativeEntriesOf(const QString& folder) {
    QList<QByteArray> names;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    ::closedir(dir);
    return names;
}

TEST(Id3File, SongsWhoseNamesAreNotUtf8) {
    TempFolder dir;
    const QByteArray native = QFile::encodeName(dir.path()) + "Montr\xe9"
                                                              "al - Caf\xe9.mp3";
    const QString path = fileNameFromNative(native);
    const QByteArray frames = frame23("TIT2", latin1("Old"));
    const QByteArray oldTag = tag(3, frames, 4096 - 10 - frames.size());
    for (const bool inPlace : {true, false}) {
        SCOPED_TRACE(inPlace ? "in place" : "rebuilt");
        const int fd = ::open(native.constData(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const QByteArray content = (inPlace ? oldTag : QByteArray()) + Song;
        ASSERT_EQ(::write(fd, content.constData(), content.size()), content.size());
        ::close(fd);

        TID3v2 t;
        ASSERT_TRUE(t.ReadTag(path));
        EXPECT_EQ(t.Title, inPlace ? QStringLiteral("Old") : QString());
        t.SetTitle("Montréal");
        ASSERT_TRUE(t.WriteTag(path));
        TID3v2 back;
        ASSERT_TRUE(back.ReadTag(path));
        EXPECT_EQ(back.Title, "Montréal");
        EXPECT_EQ(back.TagSize, 4096);
        struct stat info {};
        ASSERT_EQ(::stat(native.constData(), &info), 0);
        EXPECT_EQ(info.st_size, 4096 + Song.size());
        EXPECT_EQ(nativeEntriesOf(dir.path()),
                  QList<QByteArray>({native.mid(native.lastIndexOf('/') + 1)}))
            << "no temporary file, no second name";
    }
    ::unlink(native.constData()); // QTemporaryDir cannot remove names that are not UTF-8
}

} // namespace
} // namespace corvalin
