#include "station/StationFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <pwd.h>
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
    if (!QDir().mkpath(to)) {
        layout.result = {false, QStringLiteral("cannot make the folder \"%1\"").arg(to)};
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
