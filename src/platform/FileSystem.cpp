#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace corvalin {

namespace {

FileResult failure(const QString& what, const QString& path, int err) {
    return {false, QStringLiteral("%1 \"%2\": %3")
                       .arg(what, path, QString::fromLocal8Bit(std::strerror(err)))};
}

bool writeAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// The process's file mode mask, read without changing it: setting it to read it back would race
// with files created meanwhile by other threads.
mode_t processUmask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = status.readAll().split('\n');
        for (const QByteArray& line : lines) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return static_cast<mode_t>(mask & 0777);
            }
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

QByteArray folderOf(const QString& path) {
    return QFile::encodeName(QFileInfo(path).absolutePath());
}

// The name pattern of a temporary file beside `target`: its name plus ".XXXXXX", the name cut
// short when the whole would not fit in a folder entry.
QByteArray tempPattern(const QByteArray& target) {
    constexpr qsizetype kMaxName = 255;
    constexpr qsizetype kSuffix = 7;
    const qsizetype nameLength = target.size() - target.lastIndexOf('/') - 1;
    QByteArray pattern = target;
    if (nameLength + kSuffix > kMaxName)
        pattern.chop(nameLength + kSuffix - kMaxName);
    return pattern + ".XXXXXX";
}

// The folder part of a path in the system's bytes.
QByteArray nativeFolderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// Creates a temporary file beside `target`, lets `fill` write it (returning 0 or an errno), gives
// it `mode`, syncs and closes it. On success `temp` names it; on failure it is removed again and
// the error is reported as `what` of `shown`.
FileResult writeTempBeside(const QByteArray& target, const QString& shown, mode_t mode,
                           const std::function<int(int fd)>& fill, const QString& what,
                           QByteArray& temp) {
    temp = tempPattern(target);
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return failure(QStringLiteral("Cannot create a temporary file beside"), shown, errno);
    int err = fill(fd);
    if (err == 0 && ::fchmod(fd, mode) != 0)
        err = errno;
    if (err == 0 && ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err != 0) {
        ::unlink(temp.constData());
        return failure(what, shown, err);
    }
    return {};
}

FileResult syncNativeFolder(const QByteArray& folder, const QString& shown) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return failure(QStringLiteral("Cannot open folder"), shown, errno);
    const int rc = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    if (rc != 0 && err != EINVAL) // some file systems cannot sync folders; the rename still holds
        return failure(QStringLiteral("Cannot sync folder"), shown, err);
    return {};
}

// writeFileAtomically for a path in the system's bytes; `shown` names it in errors, `folder` is
// the folder synced after the rename.
// `keepOldMode`: an existing file's permissions are kept (else `newFileMode` is always used).
FileResult replaceNative(const QByteArray& target, const QString& shown, const QString& folder,
                         const QByteArray& nativeFolder, const std::function<int(int fd)>& fill,
                         int newFileMode, bool keepOldMode = true) {
    mode_t mode = 0;
    struct stat old {};
    if (keepOldMode && ::stat(target.constData(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else if (newFileMode >= 0) {
        mode = static_cast<mode_t>(newFileMode);
    } else {
        mode = 0666 & ~processUmask();
    }

    const QString what = QStringLiteral("Cannot write");
    QByteArray temp;
    const FileResult written = writeTempBeside(target, shown, mode, fill, what, temp);
    if (!written)
        return written;
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int err = errno;
        ::unlink(temp.constData());
        return failure(what, shown, err);
    }
    return syncNativeFolder(nativeFolder, folder);
}

} // namespace

FileResult syncFolder(const QString& folder) {
    return syncNativeFolder(QFile::encodeName(folder), folder);
}

FileResult writeFileAtomically(const QString& path, const QByteArray& data, int newFileMode) {
    const QByteArray folder = folderOf(path);
    return replaceNative(
        QFile::encodeName(path), path, QFile::decodeName(folder), folder,
        [&](int fd) { return writeAll(fd, data.constData(), data.size()) ? 0 : errno; },
        newFileMode);
}

FileResult writePrivateFileAtomically(const QString& path, const QByteArray& data) {
    const QByteArray folder = folderOf(path);
    // mkostemp creates the temporary file 0600, so the secret is never readable by others, not
    // even while it is written.
    return replaceNative(
        QFile::encodeName(path), path, QFile::decodeName(folder), folder,
        [&](int fd) { return writeAll(fd, data.constData(), data.size()) ? 0 : errno; }, 0600,
        false);
}

FileResult makePrivateFolder(const QString& folder) {
    const QByteArray native = QFile::encodeName(folder);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (!QDir().mkpath(parent))
            return {false, QStringLiteral("Cannot create the folder \"%1\"").arg(parent)};
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            return failure(QStringLiteral("Cannot create the folder"), folder, errno);
    }
    if (::chmod(native.constData(), 0700) != 0)
        return failure(QStringLiteral("Cannot protect the folder"), folder, errno);
    return {};
}

FileResult replaceFileAtomically(const QByteArray& nativePath,
                                 const std::function<int(int fd)>& fill, int newFileMode) {
    const QByteArray folder = nativeFolderOf(nativePath);
    return replaceNative(nativePath, fileNameFromNative(nativePath), fileNameFromNative(folder),
                         folder, fill, newFileMode);
}

FileResult renameNoReplace(const QString& from, const QString& to) {
    const QByteArray src = nativeFileName(from);
    const QByteArray dst = nativeFileName(to);
    if (::syscall(SYS_renameat2, AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(),
                  RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return failure(QStringLiteral("Cannot rename to"), to, errno);
    // The file system has no RENAME_NOREPLACE: link() refuses an existing name just the same.
    if (::link(src.constData(), dst.constData()) != 0)
        return failure(QStringLiteral("Cannot rename to"), to, errno);
    if (::unlink(src.constData()) != 0)
        return failure(QStringLiteral("Cannot remove"), from, errno);
    return {};
}

FileResult copyNoOverwrite(const QString& from, const QString& to) {
    // A FIFO or device in the source's place is refused at once instead of read forever.
    bool notRegular = false;
    const int source = openRegularFile(nativeFileName(from), O_RDONLY, &notRegular);
    if (source < 0)
        return failure(QStringLiteral("Cannot read"), from, notRegular ? EINVAL : errno);
    const auto closeSource = qScopeGuard([source] { ::close(source); });
    const QString what = QStringLiteral("Cannot copy to");
    const QByteArray target = nativeFileName(to);
    struct stat info {};
    if (::lstat(target.constData(), &info) == 0)
        return failure(what, to, EEXIST);
    const mode_t mode = ::fstat(source, &info) == 0 ? (info.st_mode & 0777) : 0644;

    QByteArray temp;
    const FileResult written = writeTempBeside(
        target, to, mode,
        [&](int fd) {
            std::vector<char> chunk(1 << 20);
            for (;;) {
                const ssize_t n = ::read(source, chunk.data(), chunk.size());
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0)
                    return errno;
                if (n == 0)
                    return 0;
                if (!writeAll(fd, chunk.data(), n))
                    return errno;
            }
        },
        what, temp);
    if (!written)
        return written;
    // link() never replaces: if `to` appeared meanwhile the copy is dropped, the other file kept.
    const int linked = ::link(temp.constData(), target.constData());
    const int err = errno;
    ::unlink(temp.constData());
    if (linked != 0)
        return failure(what, to, err);
    return syncFolder(QFile::decodeName(folderOf(to)));
}

namespace {

// Length of the valid UTF-8 sequence at data[i] (its code point in `decoded`), or 0 when it is
// not one (overlong forms, surrogates and code points past U+10FFFF included).
int validUtf8Length(const unsigned char* data, qsizetype size, qsizetype i, char32_t& decoded) {
    const unsigned char c = data[i];
    decoded = c;
    if (c < 0x80)
        return 1;
    int length = 0;
    char32_t minimum = 0;
    char32_t cp = 0;
    if ((c & 0xE0) == 0xC0) {
        length = 2;
        minimum = 0x80;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3;
        minimum = 0x800;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4;
        minimum = 0x10000;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + length > size)
        return 0;
    for (int k = 1; k < length; ++k) {
        const unsigned char d = data[i + k];
        if ((d & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (d & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    decoded = cp;
    return length;
}

} // namespace

QString fileNameFromNative(const QByteArray& bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    QString name;
    name.reserve(size);
    qsizetype i = 0;
    while (i < size) {
        char32_t cp = 0;
        const int length = validUtf8Length(data, size, i, cp);
        if (length == 0) {
            name.append(QChar(static_cast<char16_t>(0xDC00 + data[i])));
            ++i;
            continue;
        }
        // Appended as decoded here: QString::fromUtf8 would drop a U+FEFF that stands alone.
        if (QChar::requiresSurrogates(cp)) {
            name.append(QChar(QChar::highSurrogate(cp)));
            name.append(QChar(QChar::lowSurrogate(cp)));
        } else {
            name.append(QChar(static_cast<char16_t>(cp)));
        }
        i += length;
    }
    return name;
}

QByteArray nativeFileName(const QString& name) {
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype start = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name.at(i).unicode();
        const bool escaped = u >= 0xDC80 && u <= 0xDCFF &&
                             (i == 0 || !QChar::isHighSurrogate(name.at(i - 1).unicode()));
        if (!escaped)
            continue;
        bytes.append(QStringView(name).mid(start, i - start).toUtf8());
        bytes.append(static_cast<char>(u - 0xDC00));
        start = i + 1;
    }
    bytes.append(QStringView(name).mid(start).toUtf8());
    return bytes;
}

bool isRegularFile(const QString& path) {
    if (path.isEmpty())
        return false;
    struct stat st {};
    return ::stat(nativeFileName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

int openRegularFile(const QByteArray& nativePath, int flags, bool* notRegular) {
    if (notRegular)
        *notRegular = false;
    const auto refuse = [&](int err) {
        struct stat info {};
        if (notRegular && ::stat(nativePath.constData(), &info) == 0 && !S_ISREG(info.st_mode))
            *notRegular = true;
        errno = err;
        return -1;
    };
    // O_NONBLOCK: opening a FIFO or a device must not wait for a peer or a medium.
    const int fd = ::open(nativePath.constData(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return refuse(errno);
    struct stat info {};
    int err = 0;
    if (::fstat(fd, &info) != 0)
        err = errno;
    else if (!S_ISREG(info.st_mode))
        err = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    if (err == 0) {
        const int status = ::fcntl(fd, F_GETFL);
        if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0)
            err = errno;
    }
    if (err != 0) {
        ::close(fd);
        return refuse(err);
    }
    return fd;
}

FileResult readRegularFile(const QString& path, QByteArray& data) {
    data.clear();
    const QString what = QStringLiteral("Cannot read");
    bool notRegular = false;
    const int fd = openRegularFile(nativeFileName(path), O_RDONLY, &notRegular);
    if (fd < 0) {
        if (notRegular)
            return {false, QStringLiteral("%1 \"%2\": not a regular file").arg(what, path)};
        return failure(what, path, errno);
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_size > 0 && info.st_size < (qint64(1) << 30))
        data.reserve(static_cast<qsizetype>(info.st_size));
    char buffer[1 << 16];
    int err = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            err = errno;
        if (n <= 0)
            break;
        data.append(buffer, n);
    }
    ::close(fd);
    if (err != 0) {
        data.clear();
        return failure(what, path, err);
    }
    return {};
}

} // namespace corvalin
