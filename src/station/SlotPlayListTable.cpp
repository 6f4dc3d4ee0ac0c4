#include "station/SlotPlayListTable.h"

namespace corvalin {

void SlotPlayListTable::save(const QString& path) {
    lastSave_ = SaveList(path, table_, true);
}

std::optional<int> SlotPlayListTable::load(const QString& path) {
    if (LoadList(path, table_, random_).status != TListLoadResult::Loaded)
        return std::nullopt;
    return table_.rowCount();
}

void SlotPlayListTable::sortAndSelectFirst(bool byRandomColumn) {
    table_.sortBy(byRandomColumn ? plcRandom : plcOrder);
    table_.setCurrentRow(0);
}

} // namespace corvalin
