#include "core/DJVolumeFile.h"

#include "core/IniFile.h"

namespace corvalin {

namespace {
const QString kSection = QStringLiteral("Volume");
const QString kKey = QStringLiteral("DJ");
} // namespace

QString djVolumeFilePath(const QString& programFolder) {
    return programFolder + QStringLiteral("CorvalinRadio");
}

int readDJVolumeFile(const QString& programFolder, int def) {
    return IniFile::load(djVolumeFilePath(programFolder)).readInteger(kSection, kKey, def);
}

FileResult writeDJVolumeFile(const QString& programFolder, int value) {
    const QString path = djVolumeFilePath(programFolder);
    QString error;
    IniFile ini = IniFile::load(path, &error);
    if (!error.isEmpty())
        return {false, QStringLiteral("Cannot read \"%1\": %2").arg(path, error)};
    ini.writeInteger(kSection, kKey, value);
    return ini.save(path);
}

} // namespace corvalin
