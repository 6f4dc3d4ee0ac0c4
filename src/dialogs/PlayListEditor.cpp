#include "dialogs/PlayListEditor.h"

#include "dialogs/LongOperation.h"
#include "platform/FileSystem.h"

#include <algorithm>

namespace corvalin {

QString NewListCaption() {
    return QStringLiteral("Corvalin Radio Play List- ") + kNewListName;
}

QString ListCaption(const QString& listName) {
    return QStringLiteral("Corvalin Radio Play List - ") + listName;
}

QString ViewCaption(const QString& listName) {
    return QStringLiteral("Corvalin Radio View Play List - ") + listName +
           QStringLiteral(" (read only)");
}

QString CloseQuestion(const QString& editListName) {
    if (editListName == kNewListName)
        return QStringLiteral("You have not saved your new list.\rDo you want to save it now?");
    return QStringLiteral("List ") + editListName +
           QStringLiteral(" has been changed.\rDo you want to save it now?");
}

QString NameWithoutFolder(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

TButtonStates ButtonsOnRule(bool on, bool hasEntries) {
    TButtonStates b;
    b.OK = b.AddDir = b.Populate = b.Load = on;
    const bool needEntries = on && hasEntries;
    b.ClearList = b.Save = b.Delete = b.TagToFile = b.FileToTag = b.Up = b.Down = needEntries;
    return b;
}

void TPathIndex::rebuild(const TPlayListTable& list) {
    counts_.clear();
    counts_.reserve(list.rowCount());
    for (int i = 0; i < list.rowCount(); ++i)
        insert(list.cell(i, plcFileName));
}

namespace {

// Adds songs one at a time with the rules of Add Files: the duplicates check covers the list as
// it was and every song added through this object.
class SongAdder {
public:
    SongAdder(TPlayListTable& list, bool allowDuplicates, RandomSource& random)
        : list_(list), allowDuplicates_(allowDuplicates), random_(random), n_(list.rowCount()) {
        if (!allowDuplicates_)
            index_.rebuild(list_);
    }

    void add(const QString& path) {
        if (!isRegularFile(path))
            return;
        if (!allowDuplicates_) {
            if (index_.contains(path))
                return;
            index_.insert(path);
        }
        ++added_;
        list_.appendRow({path, QStringLiteral("F"), OrderKey(n_ + added_), NewRandomKey(random_)});
    }

    int added() const { return added_; }

private:
    TPlayListTable& list_;
    const bool allowDuplicates_;
    RandomSource& random_;
    const int n_;
    TPathIndex index_;
    int added_ = 0;
};

} // namespace

int AddSongs(TPlayListTable& list, const QStringList& paths, bool allowDuplicates,
             RandomSource& random, TLongOperation* operation) {
    SongAdder adder(list, allowDuplicates, random);
    list.reserve(list.rowCount() + static_cast<int>(paths.size()));
    const int total = static_cast<int>(paths.size());
    int handled = 0;
    for (const QString& path : paths) {
        if (operation && !operation->next(handled, total))
            break;
        adder.add(path);
        ++handled;
    }
    if (operation)
        operation->finished(handled, total);
    list.sortBy(plcOrder);
    return adder.added();
}

int AddFolderSongs(TPlayListTable& list, const QString& folder, bool allowDuplicates,
                   RandomSource& random, TLongOperation* operation) {
    SongAdder adder(list, allowDuplicates, random);
    int found = 0;
    int handled = 0;
    const auto keepGoing = [&] { return !operation || operation->next(handled, found); };
    WalkMp3Files(
        folder,
        [&](const QStringList& files) {
            found += static_cast<int>(files.size());
            for (const QString& file : files) {
                if (!keepGoing())
                    return false;
                adder.add(file);
                ++handled;
            }
            return true;
        },
        keepGoing);
    if (operation)
        operation->finished(handled, found);
    list.sortBy(plcOrder);
    return adder.added();
}

int DeleteEntry(TPlayListTable& list, int row) {
    if (row < 0 || row >= list.rowCount())
        return -1;
    list.removeRow(row);
    if (list.isEmpty())
        return -1;
    return std::min(row, list.rowCount() - 1);
}

int MoveEntry(TPlayListTable& list, int row, int direction) {
    if (row < 0 || row >= list.rowCount())
        return -1;
    const int other = direction == 1 ? row - 1 : row + 1;
    if (other < 0 || other >= list.rowCount())
        return -1;
    // Exchanging the order keys and sorting again gives the same list; exchanging the other
    // cells also moves an entry whose neighbour has the same key.
    for (const int column : {plcFileName, plcPlayed, plcRandom}) {
        const QString mine = list.cell(row, column);
        list.setCell(row, column, list.cell(other, column));
        list.setCell(other, column, mine);
    }
    return other;
}

void FillLiveView(const TPlayListTable& live, TPlayListTable& view, int currentListIndex,
                  int listOrder) {
    LoadListView(live, view, currentListIndex);
    view.sortBy(listOrder != 0 ? plcRandom : plcOrder);
    view.setCurrentRow(-1);
}

int FindEntry(const TPlayListTable& list, const QString& path) {
    for (int i = 0; i < list.rowCount(); ++i) {
        if (list.cell(i, plcFileName).compare(path, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

} // namespace corvalin
