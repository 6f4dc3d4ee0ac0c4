#include "TestSupport.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <chrono>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvalin {
namespace {

using test::modeOf;

QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
}

TEST(FileSystem, WriteFileAtomicallyReplacesContentAndKeepsPermissions) {
    test::TempFolder folder;
    const QString path = folder.file(QStringLiteral("list.lst"));
    test::writeWholeFile(path, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);

    ASSERT_TRUE(writeFileAtomically(path, "new content"));
    EXPECT_EQ(test::readWholeFile(path), QByteArray("new content"));
    EXPECT_EQ(modeOf(path), 0640u);

    const QString fresh = folder.file(QStringLiteral("private.ini"));
    ASSERT_TRUE(writeFileAtomically(fresh, "x", 0600));
    EXPECT_EQ(modeOf(fresh), 0600u);
    EXPECT_EQ(entriesOf(folder.path()),
              QStringList({QStringLiteral("list.lst"), QStringLiteral("private.ini")}));
}

// A write that fails part way (here: the file size limit) leaves the old file as it was and no
// temporary file behind.
TEST(FileSystem, FailedWriteKeepsTheOldFile) {
    test::TempFolder folder;
    const QString path = folder.file(QStringLiteral("settings.ini"));
    test::writeWholeFile(path, "[Screen]\r\nTop=1\r\n");

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const FileResult result = writeFileAtomically(path, QByteArray(64 * 1024, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(result);
    EXPECT_TRUE(result.error.contains(path)) << result.error.toStdString();
    EXPECT_EQ(test::readWholeFile(path), QByteArray("[Screen]\r\nTop=1\r\n"));
    EXPECT_EQ(entriesOf(folder.path()), QStringList({QStringLiteral("settings.ini")}));
}

TEST(FileSystem, WriteIntoMissingFolderFails) {
    test::TempFolder folder;
    const FileResult result =
        writeFileAtomically(folder.file(QStringLiteral("no/such/file.ini")), "x");
    EXPECT_FALSE(result);
    EXPECT_FALSE(result.error.isEmpty());
}

TEST(FileSystem, RenameNoReplaceNeverReplaces) {
    test::TempFolder folder;
    const QString a = folder.file(QStringLiteral("a.mp3"));
    const QString b = folder.file(QStringLiteral("b.mp3"));
    const QString c = folder.file(QStringLiteral("c.mp3"));
    test::writeWholeFile(a, "song a");
    test::writeWholeFile(b, "song b");

    EXPECT_FALSE(renameNoReplace(a, b));
    EXPECT_EQ(test::readWholeFile(a), QByteArray("song a"));
    EXPECT_EQ(test::readWholeFile(b), QByteArray("song b"));

    ASSERT_TRUE(renameNoReplace(a, c));
    EXPECT_FALSE(QFile::exists(a));
    EXPECT_EQ(test::readWholeFile(c), QByteArray("song a"));
    EXPECT_FALSE(renameNoReplace(a, folder.file(QStringLiteral("d.mp3"))));
}

TEST(FileSystem, CopyNoOverwriteNeverOverwrites) {
    test::TempFolder folder;
    const QString source = folder.file(QStringLiteral("Phrases.dat"));
    const QString copy = folder.file(QStringLiteral("userPhrases.dat"));
    test::writeWholeFile(source, "[1a]\r\nHello\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(source).constData(), 0640), 0);

    ASSERT_TRUE(copyNoOverwrite(source, copy));
    EXPECT_EQ(test::readWholeFile(copy), QByteArray("[1a]\r\nHello\r\n"));
    EXPECT_EQ(modeOf(copy), 0640u);

    test::writeWholeFile(copy, "edited by the user");
    EXPECT_FALSE(copyNoOverwrite(source, copy));
    EXPECT_EQ(test::readWholeFile(copy), QByteArray("edited by the user"));
    EXPECT_FALSE(copyNoOverwrite(folder.file(QStringLiteral("missing.dat")),
                                 folder.file(QStringLiteral("other.dat"))));
    EXPECT_EQ(entriesOf(folder.path()),
              QStringList({QStringLiteral("Phrases.dat"), QStringLiteral("userPhrases.dat")}));
}

// Names that are not UTF-8 (a Latin-1 "Montréal.mp3" from an older station) survive the trip
// through a QString byte for byte and still name the file on disk.
TEST(FileSystem, NativeFileNamesRoundTripEveryByte) {
    const QByteArray names[] = {"plain.mp3",
                                "Montr\xc3\xa9"
                                "al.mp3",
                                "Montr\xe9"
                                "al.mp3",
                                "\xff\xfe\x80",
                                "\xed\xa0\x80 surrogate in UTF-8",
                                "\xc0\xaf overlong",
                                "\xf0\x9f\x8e\xb5 emoji",
                                "cut \xe2\x82",
                                ""};
    for (const QByteArray& bytes : names) {
        const QString name = fileNameFromNative(bytes);
        EXPECT_EQ(nativeFileName(name), bytes) << bytes.toHex().constData();
    }
    EXPECT_EQ(fileNameFromNative("Montr\xc3\xa9"
                                 "al"),
              QStringLiteral("Montr\u00e9al"));
    EXPECT_EQ(fileNameFromNative("Montr\xe9"
                                 "al")
                  .size(),
              8); // the odd byte stays one character of its own

    test::TempFolder folder;
    const QByteArray latin1 = QFile::encodeName(folder.path()) + "/Montr\xe9"
                                                                 "al.mp3";
    const int fd = ::open(latin1.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_TRUE(isRegularFile(fileNameFromNative(latin1)));
    ::unlink(latin1.constData()); // QTemporaryDir cannot remove names that are not UTF-8
}

TEST(FileSystem, IsRegularFileRefusesFoldersFifosAndMissingFiles) {
    test::TempFolder folder;
    const QString file = folder.file(QStringLiteral("song.mp3"));
    test::writeWholeFile(file, "x");
    const QString fifo = folder.file(QStringLiteral("pipe.mp3"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_TRUE(isRegularFile(file));
    EXPECT_FALSE(isRegularFile(fifo));
    EXPECT_FALSE(isRegularFile(folder.path()));
    EXPECT_FALSE(isRegularFile(folder.file(QStringLiteral("missing.mp3"))));
    EXPECT_FALSE(isRegularFile(QString()));
    EXPECT_FALSE(isRegularFile(QStringLiteral("/dev/null")));
}

// A byte-order mark inside a name is a character like any other and survives the trip.
TEST(FileSystem, NativeFileNamesKeepAByteOrderMarkInside) {
    for (const QByteArray& bytes : {QByteArray("\xEF\xBB\xBF"),
                                    QByteArray("a\xEF\xBB\xBF"
                                               "b"),
                                    QByteArray("\xE9\xEF\xBB\xBF\xE9")}) {
        const QString name = fileNameFromNative(bytes);
        EXPECT_TRUE(name.contains(QChar(0xFEFF))) << bytes.toHex().constData();
        EXPECT_EQ(nativeFileName(name), bytes) << bytes.toHex().constData();
    }
}

// Runs `work` on a thread; when it has not returned after 5 s (it waits on the FIFO `fifo`), the
// FIFO's other end is opened until it does, so a missing fix fails instead of hanging.
bool returnsWithoutBlocking(const QString& fifo, const std::function<void()>& work) {
    auto done = std::async(std::launch::async, work);
    if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready)
        return true;
    const QByteArray path = QFile::encodeName(fifo);
    while (done.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
    }
    return false;
}

TEST(FileSystem, OpenRegularFileRefusesEverythingElseWithoutBlocking) {
    test::TempFolder folder;
    const QString file = folder.file(QStringLiteral("song.mp3"));
    test::writeWholeFile(file, "x");
    const QString fifo = folder.file(QStringLiteral("pipe.mp3"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(fifo, folder.file(QStringLiteral("link to pipe"))));
    ASSERT_TRUE(QFile::link(file, folder.file(QStringLiteral("link to song"))));
    struct Case {
        QString path;
        int flags;
        bool opens;
        bool notRegular;
    };
    const Case cases[] = {
        {file, O_RDONLY, true, false},
        {file, O_WRONLY, true, false},
        {folder.file(QStringLiteral("link to song")), O_RDWR, true, false},
        {fifo, O_RDONLY, false, true},
        {fifo, O_WRONLY, false, true}, // no reader: open itself fails rather than waits
        {folder.file(QStringLiteral("link to pipe")), O_RDONLY, false, true},
        {folder.path(), O_RDONLY, false, true},
        {QStringLiteral("/dev/null"), O_RDWR, false, true},
        {folder.file(QStringLiteral("missing")), O_RDONLY, false, false},
        {QString(), O_RDONLY, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString() + " flags " + std::to_string(c.flags));
        int fd = -1;
        bool notRegular = !c.notRegular;
        EXPECT_TRUE(returnsWithoutBlocking(
            fifo, [&] { fd = openRegularFile(nativeFileName(c.path), c.flags, &notRegular); }));
        EXPECT_EQ(fd >= 0, c.opens);
        EXPECT_EQ(notRegular, c.notRegular);
        if (fd >= 0) {
            EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << "blocking mode restored";
            EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
            ::close(fd);
        }
    }
}

TEST(FileSystem, ReadRegularFileReadsWholeFilesOnly) {
    test::TempFolder folder;
    QByteArray big;
    for (int i = 0; i < 200000; ++i)
        big.append(static_cast<char>(i * 31));
    const QByteArray latin1 = QFile::encodeName(folder.path()) + "Caf\xe9.lst";
    const int fd = ::open(latin1.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, big.constData(), big.size()), big.size());
    ::close(fd);
    QByteArray data;
    ASSERT_TRUE(readRegularFile(fileNameFromNative(latin1), data));
    EXPECT_EQ(data, big);
    ::unlink(latin1.constData());

    const QString fifo = folder.file(QStringLiteral("pipe.lst"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    FileResult result;
    EXPECT_TRUE(returnsWithoutBlocking(fifo, [&] { result = readRegularFile(fifo, data); }));
    EXPECT_FALSE(result);
    EXPECT_TRUE(result.error.contains(QStringLiteral("not a regular file")))
        << result.error.toStdString();
    EXPECT_TRUE(data.isEmpty());

    result = readRegularFile(folder.file(QStringLiteral("missing.lst")), data);
    EXPECT_FALSE(result);
    EXPECT_TRUE(result.error.contains(QStringLiteral("missing.lst")));
}

// Entries of a folder, whatever bytes their names are made of.
int nativeEntryCount(const QByteArray& folder) {
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(dir))
        count += std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0;
    ::closedir(dir);
    return count;
}

// Replacing by the system's bytes of a name: Latin-1 names, names too long for the usual
// temporary name, and a failed fill, which keeps the old file and leaves nothing behind.
TEST(FileSystem, ReplaceFileAtomicallyByTheBytesOfAName) {
    test::TempFolder folder;
    const QByteArray base = QFile::encodeName(folder.path());
    const auto fillWith = [](const QByteArray& data) {
        return [data](int fd) {
            return ::write(fd, data.constData(), data.size()) == data.size() ? 0 : EIO;
        };
    };
    struct Case {
        QByteArray name;
        bool exists;
    };
    const Case cases[] = {
        {"Montr\xe9"
         "al.lst",
         true},
        {"Montr\xe9"
         "al new.lst",
         false},
        {QByteArray(250, 'n') + ".lst", true},
        {QByteArray(255, 'm'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.left(20).toHex().constData());
        const QByteArray path = base + c.name;
        if (c.exists) {
            const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0640);
            ASSERT_GE(fd, 0);
            ::close(fd);
        }
        ASSERT_TRUE(replaceFileAtomically(path, fillWith("new content")));
        QByteArray data;
        ASSERT_TRUE(readRegularFile(fileNameFromNative(path), data));
        EXPECT_EQ(data, "new content");
        struct stat info {};
        ASSERT_EQ(::stat(path.constData(), &info), 0);
        if (c.exists) {
            EXPECT_EQ(info.st_mode & 07777, 0640u);
        }

        const FileResult failed = replaceFileAtomically(path, [](int) { return ENOSPC; });
        EXPECT_FALSE(failed);
        ASSERT_TRUE(readRegularFile(fileNameFromNative(path), data));
        EXPECT_EQ(data, "new content");
        ::unlink(path.constData());
        EXPECT_EQ(nativeEntryCount(base), 0) << "no temporary file is left";
    }
}

// Renames and copies reach names that are not UTF-8, and a FIFO in a copy's source is refused
// at once instead of read forever.
TEST(FileSystem, RenameAndCopyTakeNamesAsBytesAndRefuseSpecialFiles) {
    test::TempFolder folder;
    const QByteArray base = QFile::encodeName(folder.path()) + "/";
    const QString latin1 = fileNameFromNative(base + "Caf\xe9.mp3");
    const QString renamed = fileNameFromNative(base + "Caf\xe9 2.mp3");
    const QString copied = fileNameFromNative(base + "Caf\xe9 3.mp3");
    const int fd = ::open((base + "Caf\xe9.mp3").constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "song", 4), 4);
    ::close(fd);

    ASSERT_TRUE(renameNoReplace(latin1, renamed));
    EXPECT_TRUE(isRegularFile(renamed));
    EXPECT_FALSE(isRegularFile(latin1));
    ASSERT_TRUE(copyNoOverwrite(renamed, copied));
    EXPECT_TRUE(isRegularFile(copied));
    EXPECT_FALSE(copyNoOverwrite(renamed, copied)); // never over an existing file
    EXPECT_FALSE(renameNoReplace(renamed, copied));
    EXPECT_TRUE(isRegularFile(renamed));

    const QString fifo = folder.file(QStringLiteral("pipe.dat"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const FileResult fromFifo = copyNoOverwrite(fifo, folder.file(QStringLiteral("copy.dat")));
    EXPECT_FALSE(fromFifo);
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("copy.dat"))));
}

} // namespace
} // namespace corvalin
