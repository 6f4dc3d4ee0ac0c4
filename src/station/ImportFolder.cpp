#include "station/ImportFolder.h"

#include "library/PlayList.h"

#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>

namespace corvalin {

QStringList mp3FilesUnder(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive))
            files << QFileInfo(path).absoluteFilePath();
    }
    // Byte order of the paths, as `sort` in the C locale would give: the same on every machine.
    std::sort(files.begin(), files.end(),
              [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
    return files;
}

int slotFromName(const QString& name) {
    const QString n = name.trimmed();
    const QStringList names[] = {
        {QStringLiteral("Morning"), QStringLiteral("1")},
        {QStringLiteral("Afternoon"), QStringLiteral("2")},
        {QStringLiteral("Evening"), QStringLiteral("3")},
        {QStringLiteral("Late Night"), QStringLiteral("Midnight"), QStringLiteral("LateNight"),
         QStringLiteral("4")},
    };
    for (int slot = 1; slot <= 4; ++slot)
        if (names[slot - 1].contains(n, Qt::CaseInsensitive))
            return slot;
    return 0;
}

ImportResult importFolder(const SettingsStore& store, const QString& folder, int slot,
                          const QTime& now, RandomSource& random) {
    ImportResult result;
    result.slot = slot;
    if (slot < 1 || slot > 4) {
        result.error = QStringLiteral("no such time slot");
        return result;
    }
    if (!QFileInfo(folder).isDir()) {
        result.error = QStringLiteral("\"%1\" is not a folder").arg(folder);
        return result;
    }
    StationSettings settings = defaultSettings(store.paths().programFolder, now);
    settings.SameSettings = store.readSameSettings();
    (void)store.readIni(settings, now);
    result.listPath = settings.DJSlots[static_cast<std::size_t>(slot)].PlayList;

    const QStringList songs = mp3FilesUnder(folder);
    if (songs.isEmpty()) {
        result.error = QStringLiteral("no MP3 files under \"%1\"").arg(folder);
        return result;
    }
    TPlayListTable table;
    table.reserve(static_cast<int>(songs.size()));
    int order = kFirstOrderKey;
    for (const QString& song : songs)
        table.appendRow({song, QStringLiteral("F"), OrderKey(order++), NewRandomKey(random)});

    QDir().mkpath(QFileInfo(result.listPath).absolutePath());
    const TListSaveResult saved = SaveList(result.listPath, table, true);
    if (saved.status != TListSaveResult::Saved) {
        result.error = QStringLiteral("cannot write \"%1\": %2").arg(result.listPath, saved.error);
        return result;
    }
    result.songs = table.rowCount() - saved.skippedRows;
    result.ok = true;
    return result;
}

} // namespace corvalin
