#include "station/SlotPlayListTable.h"

namespace corvalin {

void SlotPlayListTable::save(const QString& path) {
    if (forms_.storedAs.isEmpty() || ListStationFolder(path) != stationFolder_)
        lastSave_ = SaveList(path, table_, true);
    else
        lastSave_ = SaveList(path, WithStoredPaths(table_, forms_), true);
}

std::optional<int> SlotPlayListTable::load(const QString& path) {
    if (LoadList(path, table_, random_).status != TListLoadResult::Loaded)
        return std::nullopt;
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
