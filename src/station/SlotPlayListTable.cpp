#include "station/SlotPlayListTable.h"

#include <QFile>
#include <sys/stat.h>

namespace corvalin {

std::optional<FileIdentity> fileIdentity(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    constexpr qint64 kNsPerSecond = 1000000000;
    FileIdentity id;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = static_cast<qint64>(st.st_size);
    id.modifiedNs = static_cast<qint64>(st.st_mtim.tv_sec) * kNsPerSecond + st.st_mtim.tv_nsec;
    id.changedNs = static_cast<qint64>(st.st_ctim.tv_sec) * kNsPerSecond + st.st_ctim.tv_nsec;
    return id;
}

bool SlotPlayListTable::changedOnDisk(const QString& path) const {
    if (path.isEmpty() || path != knownPath_)
        return false;
    const std::optional<FileIdentity> now = fileIdentity(path);
    return now.has_value() && now != known_;
}

void SlotPlayListTable::remember(const QString& path) {
    knownPath_ = path;
    known_ = fileIdentity(path);
}

void SlotPlayListTable::save(const QString& path) {
    if (changedOnDisk(path)) {
        lastSave_ = {TListSaveResult::Declined, QStringLiteral("changed on disk")};
        return;
    }
    if (forms_.storedAs.isEmpty() || ListStationFolder(path) != stationFolder_)
        lastSave_ = SaveList(path, table_, true);
    else
        lastSave_ = SaveList(path, WithStoredPaths(table_, forms_), true);
    if (lastSave_.status == TListSaveResult::Saved || lastSave_.status == TListSaveResult::Removed)
        remember(path);
}

std::optional<int> SlotPlayListTable::load(const QString& path) {
    // The version seen before reading: a file replaced while it was read counts as changed.
    const std::optional<FileIdentity> before = fileIdentity(path);
    if (LoadList(path, table_, random_).status != TListLoadResult::Loaded)
        return std::nullopt;
    knownPath_ = path;
    known_ = before;
    stationFolder_ = ListStationFolder(path);
    forms_ = ResolveListEntries(table_, stationFolder_);
    if (forms_.found > 0)
        save(path);
    return table_.rowCount();
}

void SlotPlayListTable::sortAndSelectFirst(bool byRandomColumn) {
    table_.sortBy(byRandomColumn ? plcRandom : plcOrder);
    table_.setCurrentRow(0);
}

} // namespace corvalin
