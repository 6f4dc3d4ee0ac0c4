#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace corvalin {

// File operations that never lose what is already on disk. All may be called from any thread.

struct FileResult {
    bool ok = true;
    QString error; // the system's text when !ok
    explicit operator bool() const { return ok; }
};

// Replaces `path` with `data`: a temporary file in the same folder is written, flushed to disk,
// given the old file's permissions (new files get 0644 less the umask, or `newFileMode`), then
// renamed over `path`, and the folder is synced. A failure at any step leaves `path` untouched
// and removes the temporary file.
[[nodiscard]] FileResult writeFileAtomically(const QString& path, const QByteArray& data,
                                             int newFileMode = -1);

// writeFileAtomically for a secret: the file ends up 0600 whatever mode an old one had, and the
// temporary file is created 0600 before any byte is written into it.
[[nodiscard]] FileResult writePrivateFileAtomically(const QString& path, const QByteArray& data);

// Makes `folder` (and its parents) when missing and lets only its owner enter it (0700).
[[nodiscard]] FileResult makePrivateFolder(const QString& folder);

// The same for a path given as the system's bytes (see nativeFileName), with the content written
// by `fill` into the temporary file's descriptor (it returns 0 or an errno). The temporary file
// has a unique name, so a left-over from a crash never stands in the way. A name too long to take
// the temporary file's suffix gets a shortened temporary name in the same folder.
[[nodiscard]] FileResult replaceFileAtomically(const QByteArray& nativePath,
                                               const std::function<int(int fd)>& fill,
                                               int newFileMode = -1);

// Renames `from` to `to` only when `to` does not exist (never replaces a file).
[[nodiscard]] FileResult renameNoReplace(const QString& from, const QString& to);

// Copies `from` to `to` only when `to` does not exist; the copy is written completely before it
// appears under its name.
[[nodiscard]] FileResult copyNoOverwrite(const QString& from, const QString& to);

// fsync of a folder, so a rename in it survives a power loss.
[[nodiscard]] FileResult syncFolder(const QString& folder);

// Linux file names are bytes, not text. A name that is not valid UTF-8 (a Latin-1 name from an
// older station, say) is carried in a QString with each byte of an invalid sequence as the lone
// surrogate U+DC80..U+DCFF, and turned back into exactly those bytes for the system. Valid UTF-8
// round-trips unchanged. Every song or list file opened by name goes through nativeFileName.
QString fileNameFromNative(const QByteArray& bytes);
QByteArray nativeFileName(const QString& name);

// `path` names a regular file (not a folder, FIFO or device), following symbolic links. Never
// blocks: nothing is opened.
bool isRegularFile(const QString& path);

// Opens the file at `nativePath` (see nativeFileName) with `flags` (O_RDONLY, O_WRONLY or
// O_RDWR, plus O_APPEND or O_TRUNC) only when it is a regular file, following symbolic links.
// Never blocks on a FIFO or a device: the open is non-blocking and anything that fstat does not
// call a regular file is closed again. Returns the descriptor (close-on-exec, blocking mode
// restored), or -1 with errno set; `notRegular`, when given, tells that the path exists but is
// something else (a folder, FIFO, device or socket).
[[nodiscard]] int openRegularFile(const QByteArray& nativePath, int flags,
                                  bool* notRegular = nullptr);

// Reads the whole regular file at `path` (see nativeFileName) into `data`. Anything that is not a
// regular file is refused without blocking.
[[nodiscard]] FileResult readRegularFile(const QString& path, QByteArray& data);

} // namespace corvalin
