#pragma once

#include <QByteArray>
#include <QString>

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

} // namespace corvalin
