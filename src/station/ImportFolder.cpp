#include "station/ImportFolder.h"

#include "library/PlayList.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <sys/stat.h>

namespace corvalin {

TMp3Walk mp3FilesUnder(const QString& folder) {
    TMp3Walk walk = CollectMp3Files(folder);
    // Byte order of the paths, as `sort` in the C locale would give: the same on every machine.
    std::sort(walk.files.begin(), walk.files.end(), [](const QString& a, const QString& b) {
        return nativeFileName(a) < nativeFileName(b);
    });
    return walk;
}

QString ImportResult::skippedText() const {
    QStringList parts;
    const auto count = [](int n, const char* one, const char* many) {
        return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
    };
    if (unreadableFolders > 0)
        parts << count(unreadableFolders, "folder that could not be opened",
                       "folders that could not be opened");
    if (repeatedFolders > 0)
        parts << count(repeatedFolders, "folder reached again through a link",
                       "folders reached again through a link");
    if (unlistableNames > 0)
        parts << count(unlistableNames, "file whose name holds a line break",
                       "files whose names hold a line break");
    return parts.isEmpty() ? QString() : QStringLiteral("skipped: ") + parts.join(u", ");
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
    // By its bytes: the folder's own name need not be UTF-8 either.
    struct stat st {};
    if (::stat(nativeFileName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        result.error = QStringLiteral("\"%1\" is not a folder").arg(folder);
        return result;
    }
    StationSettings settings = defaultSettings(store.paths().programFolder, now);
    settings.SameSettings = store.readSameSettings();
    (void)store.readIni(settings, now);
    result.listPath = settings.DJSlots[static_cast<std::size_t>(slot)].PlayList;

    const TMp3Walk walk = mp3FilesUnder(folder);
    result.unreadableFolders = walk.unreadableFolders;
    result.repeatedFolders = walk.repeatedFolders;
    const QStringList& songs = walk.files;
    if (songs.isEmpty()) {
        result.error = QStringLiteral("no MP3 files under \"%1\"").arg(folder);
        if (const QString skipped = result.skippedText(); !skipped.isEmpty())
            result.error += QStringLiteral(" (") + skipped + QLatin1Char(')');
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
    result.unlistableNames = saved.skippedRows;
    result.ok = true;
    return result;
}

} // namespace corvalin
