#pragma once

#include "library/PlayList.h"
#include "station/TimeSlot.h"

namespace corvalin {

// The time-slot scheduler's view of the station's play list table (`CurrentPlayList`): LoadList
// and SaveList of the ".lst" files. Entries stored relative to the list's station folder are held
// as full paths in the table and saved relative again; an entry found in the station's
// "MP3 Files/" folder after its file went missing is saved at once with the found path. UI thread.
class SlotPlayListTable final : public SlotPlayList {
public:
    SlotPlayListTable(TPlayListTable& table, RandomSource& random)
        : table_(table), random_(random) {}

    void save(const QString& path) override;
    std::optional<int> load(const QString& path) override;
    void sortAndSelectFirst(bool byRandomColumn) override;
    void clear() override { table_.clear(); }

    // The outcome of the last save (a failed save leaves the file as it was).
    const TListSaveResult& lastSave() const { return lastSave_; }

private:
    TPlayListTable& table_;
    RandomSource& random_;
    TListSaveResult lastSave_;
    QString stationFolder_; // of the list loaded last
    TListPathForms forms_;  // how that list's entries are stored
};

} // namespace corvalin
