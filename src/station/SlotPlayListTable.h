#pragma once

#include "library/PlayList.h"
#include "station/TimeSlot.h"

#include <optional>
#include <sys/types.h>

namespace corvalin {

// What tells one version of a file from another without reading it: a file replaced by a rename
// has another inode, one rewritten in place another size or modification time.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    bool operator==(const FileIdentity&) const = default;
};
// The identity of the file at `path`; nothing when there is none.
std::optional<FileIdentity> fileIdentity(const QString& path);

// The time-slot scheduler's view of the station's play list table (`CurrentPlayList`): LoadList
// and SaveList of the ".lst" files. Entries stored relative to the list's station folder are held
// as full paths in the table and saved relative again; an entry found in the station's
// "MP3 Files/" folder after its file went missing is saved at once with the found path.
//
// The list file is the operator's too (--import-folder, an editor): the table remembers which
// version of the file it read or wrote last, and never saves over a version it has not seen.
// UI thread.
class SlotPlayListTable final : public SlotPlayList {
public:
    SlotPlayListTable(TPlayListTable& table, RandomSource& random)
        : table_(table), random_(random) {}

    // Does nothing when changedOnDisk(path): the file then keeps what another program wrote.
    void save(const QString& path) override;
    std::optional<int> load(const QString& path) override;
    void sortAndSelectFirst(bool byRandomColumn) override;
    void clear() override { table_.clear(); }

    // The outcome of the last save (a failed save leaves the file as it was).
    const TListSaveResult& lastSave() const { return lastSave_; }
    // The file at `path` is the one this table read or wrote last, and something else has
    // replaced or changed it since. A file that has gone is no change: saving puts it back.
    bool changedOnDisk(const QString& path) const;

private:
    void remember(const QString& path);

    TPlayListTable& table_;
    RandomSource& random_;
    TListSaveResult lastSave_;
    QString stationFolder_;             // of the list loaded last
    TListPathForms forms_;              // how that list's entries are stored
    QString knownPath_;                 // the file read or written last
    std::optional<FileIdentity> known_; // its version then (nothing: there was no file)
};

} // namespace corvalin
