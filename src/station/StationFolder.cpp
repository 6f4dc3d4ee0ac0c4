#include "station/StationFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <cerrno>
#include <filesystem>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace corvalin {

namespace {

const QString kVocabularyFile = QStringLiteral("CVRSystem.dat");

QString withSlash(QString path) {
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

QString environment(const std::function<QString(const char*)>& variable, const char* name) {
    return variable ? variable(name) : qEnvironmentVariable(name);
}

// The system's own words for `error` ("Permission denied", "Not a directory").
QString reason(int error) {
    return QString::fromStdString(std::generic_category().message(error));
}

// The station folder made (with its parents) and writable, or the reason it is not.
FileResult makeStationFolder(const QString& folder) {
    const QFileInfo info(QDir::cleanPath(folder)); // "file/" would not be found at all
    if (info.exists() && !info.isDir())
        return {false, QStringLiteral("the station folder \"%1\" is not a folder")
                           .arg(QDir::cleanPath(folder))};
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), error);
    if (error)
        return {false, QStringLiteral("cannot make the station folder \"%1\": %2")
                           .arg(folder, reason(error.value()))};
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return {false, QStringLiteral("cannot write in the station folder \"%1\": %2")
                           .arg(folder, reason(errno))};
    return {};
}

} // namespace

QString defaultDataHome(const std::function<QString(const char*)>& variable) {
    const QString xdg = environment(variable, "XDG_DATA_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    QString home = environment(variable, "HOME");
    if (home.isEmpty() || !QDir::isAbsolutePath(home)) {
        const passwd* pw = ::getpwuid(::geteuid());
        home = pw && pw->pw_dir ? QFile::decodeName(pw->pw_dir) : QDir::homePath();
    }
    return QDir::cleanPath(home + QStringLiteral("/.local/share"));
}

QString defaultStationFolder(const std::function<QString(const char*)>& variable) {
    return defaultDataHome(variable) + QLatin1Char('/') + kStationFolderName + QLatin1Char('/');
}

QString findDataFolder(const QString& programDir) {
    const QString installed =
        QDir::cleanPath(programDir + QStringLiteral("/../share/") + kDataFolderName);
    if (QFileInfo::exists(installed + QLatin1Char('/') + kVocabularyFile))
        return withSlash(installed);
    if (QFileInfo::exists(withSlash(programDir) + kVocabularyFile))
        return withSlash(QDir::cleanPath(programDir));
    return {};
}

QString sharedSettingsFolder(const QString& programDir, const QString& stationFolder) {
    const QString program = QDir::cleanPath(programDir);
    if (QFileInfo::exists(program + QLatin1Char('/') + kVocabularyFile))
        return withSlash(stationFolder);
    const QString prefix = QDir::cleanPath(program + QStringLiteral("/.."));
    const QString etc =
        prefix == QLatin1String("/usr") ? QStringLiteral("/etc") : prefix + QStringLiteral("/etc");
    return etc + QStringLiteral("/xdg/") + kStationFolderName + QLatin1Char('/');
}

StationLayout layOutStationFolder(const QString& dataFolder, const QString& stationFolder) {
    StationLayout layout;
    const QString from = withSlash(dataFolder);
    const QString to = withSlash(stationFolder);
    if (QFileInfo::exists(to + kVocabularyFile))
        return layout;
    layout.laidOut = true;
    if (FileResult made = makeStationFolder(to); !made) {
        layout.result = made;
        return layout;
    }

    QStringList names;
    for (const QString& folder :
         {QStringLiteral("Lists"), QStringLiteral("MP3 Files"), QStringLiteral("help")}) {
        QStringList inFolder;
        QDirIterator it(from + folder, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            inFolder << it.next().mid(from.size());
        inFolder.sort();
        names << inFolder;
        // An empty folder is laid out too: Lists/ is where the operator's lists go.
        if (QFileInfo(from + folder).isDir())
            QDir().mkpath(to + folder);
    }
    names << QStringLiteral("Phrases.dat") << QStringLiteral("NewsDef.ini") << kVocabularyFile;

    for (const QString& name : names) {
        const QString source = from + name;
        const QString target = to + name;
        if (!QFileInfo::exists(source) || QFileInfo::exists(target))
            continue;
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (FileResult copied = copyNoOverwrite(source, target); !copied) {
            if (layout.result)
                layout.result = {
                    false, QStringLiteral("cannot copy \"%1\": %2").arg(source, copied.error)};
            continue;
        }
        layout.copied << name;
    }
    return layout;
}

} // namespace corvalin
