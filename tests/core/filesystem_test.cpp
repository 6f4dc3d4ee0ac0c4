#include "TestSupport.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
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

} // namespace
} // namespace corvalin
