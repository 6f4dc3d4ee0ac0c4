#pragma once

#include "platform/FileSystem.h"

#include <QString>
#include <optional>

namespace corvalin {

inline const QString kCredentialsFileName = QStringLiteral("Credentials.ini");

// Secrets (the stream's source password; later, say, a remote-control token) kept apart from the
// settings, in a file that only its owner may read: INI text with the settings' own section and
// key names. Each write loads the file, changes one key and writes the whole file back through a
// temporary file that is 0600 from its creation, renamed over the old one (0600 too, whatever it
// was). Nothing stays open. A value object; any thread.
class CredentialsStore {
public:
    // Whether the folder holding the file is ours alone (made 0700), or shared with other files
    // that others must read (made when missing, its permissions left alone).
    enum class Folder { Private, Shared };

    CredentialsStore(QString file, Folder folder) : file_(std::move(file)), folder_(folder) {}
    const QString& file() const { return file_; }

    // The secret, or nothing when the file or the key is missing. A file that exists but cannot
    // be read gives nothing too, and `error` (if given) the reason.
    std::optional<QString> read(const QString& section, const QString& key,
                                QString* error = nullptr) const;
    // Stores `secret` under the key; an empty secret removes the key (and makes no file when
    // there is none). A file that exists but cannot be read is never overwritten: the other
    // secrets in it would be lost.
    [[nodiscard]] FileResult write(const QString& section, const QString& key,
                                   const QString& secret) const;

private:
    QString file_;
    Folder folder_;
};

// A credential the service manager hands the program (systemd's LoadCredential=): the file `name`
// in `directory` ($CREDENTIALS_DIRECTORY), its one line ending (LF or CR LF) taken off. Nothing
// when `directory` is empty or the file is missing or unreadable.
std::optional<QString> readSystemCredential(const QString& directory, const QString& name);

} // namespace corvalin
