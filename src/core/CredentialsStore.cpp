#include "core/CredentialsStore.h"

#include "core/IniFile.h"

#include <QDir>
#include <QFileInfo>

namespace corvalin {

namespace {

// The file's content; a missing file reads as empty. False when it exists but cannot be read.
bool loadSecrets(const QString& file, IniFile& ini, QString* error) {
    ini = IniFile();
    if (!QFileInfo::exists(file))
        return true;
    QByteArray bytes;
    if (FileResult read = readRegularFile(file, bytes); !read) {
        if (error)
            *error = read.error;
        return false;
    }
    ini = IniFile::parse(QString::fromUtf8(bytes));
    return true;
}

} // namespace

std::optional<QString> CredentialsStore::read(const QString& section, const QString& key,
                                              QString* error) const {
    IniFile ini;
    if (!loadSecrets(file_, ini, error))
        return std::nullopt;
    return ini.value(section, key);
}

FileResult CredentialsStore::write(const QString& section, const QString& key,
                                   const QString& secret) const {
    IniFile ini;
    QString error;
    if (!loadSecrets(file_, ini, &error))
        return {false, error};
    if (secret.isEmpty()) {
        if (!ini.hasKey(section, key))
            return {};
        ini.eraseKey(section, key);
    } else {
        // Written even when unchanged: an old file someone made readable becomes 0600 again.
        ini.writeString(section, key, secret);
    }
    const QString folder = QFileInfo(file_).absolutePath();
    if (folder_ == Folder::Private) {
        if (FileResult made = makePrivateFolder(folder); !made)
            return made;
    } else if (!QDir().mkpath(folder)) {
        return {false, QStringLiteral("Cannot create the folder \"%1\"").arg(folder)};
    }
    return writePrivateFileAtomically(file_, ini.text().toUtf8());
}

std::optional<QString> readSystemCredential(const QString& directory, const QString& name) {
    if (directory.isEmpty())
        return std::nullopt;
    const QString file = directory + QLatin1Char('/') + name;
    if (!QFileInfo::exists(file))
        return std::nullopt;
    QByteArray bytes;
    if (!readRegularFile(file, bytes))
        return std::nullopt;
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    return QString::fromUtf8(bytes);
}

} // namespace corvalin
