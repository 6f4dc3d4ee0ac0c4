#pragma once

#include "library/Mp3Walk.h"
#include "library/PlayList.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>

namespace corvalin {

class RandomSource;
class TLongOperation;

// The play list editor's rules without any widget: keys of new entries, the duplicates check,
// the button rule, Add Dir's folder walk, moving and deleting entries, the texts of its
// questions. The form calls these; tests call them directly. Window thread (the folder walk may
// run on any thread).

inline const QString kNewListName = QStringLiteral("New List");
inline const QString kConfirmCaption = QStringLiteral("Confirm");
inline const QString kClearListQuestion =
    QStringLiteral("This will empty the entire list. Continue?");
inline const QString kNoSongsInList = QStringLiteral("There are no songs in this play list.");
inline const QString kSaveListCaption = QStringLiteral("Save List");

// The window's captions: a new editor (no blank before the hyphen, as it has always read), an
// editor on a named list, the read-only view.
QString NewListCaption();
QString ListCaption(const QString& listName);
QString ViewCaption(const QString& listName);

// The question on closing a changed list.
QString CloseQuestion(const QString& editListName);

// The file name without its folder.
QString NameWithoutFolder(const QString& path);

// Which buttons `ButtonsOn(on)` leaves enabled.
struct TButtonStates {
    bool OK = false;
    bool AddDir = false;
    bool Populate = false; // Add Files
    bool Load = false;
    bool ClearList = false;
    bool Save = false;
    bool Delete = false;
    bool TagToFile = false;
    bool FileToTag = false;
    bool Up = false;
    bool Down = false;
    bool operator==(const TButtonStates&) const = default;
};
// OK, Add Dir, Add Files and Load List follow `on`; the seven that need entries are on only when
// `on` and the list has entries.
TButtonStates ButtonsOnRule(bool on, bool hasEntries);

// The paths of a list, compared without regard to letter case: the duplicates check of Add Files
// and Add Dir is one hash lookup per file.
class TPathIndex {
public:
    void rebuild(const TPlayListTable& list);
    bool contains(const QString& path) const { return counts_.contains(key(path)); }
    void insert(const QString& path) { ++counts_[key(path)]; }
    static QString key(const QString& path) { return path.toCaseFolded(); }

private:
    QHash<QString, int> counts_;
};

// Adds the song files `paths` to `list` in their order, as Add Files and Add Dir do: files that
// are not there are left out, and so is a path already in the list (other letter case included,
// and paths added earlier in this call) unless `allowDuplicates`. Each entry gets Played "F", the
// order key n + 1, n + 2... (n the entries before the call) and a new random key. The list is then
// sorted by Order. `operation`, when given, counts the paths handled of all and may stop the call
// before the next path: the list then holds the songs added up to there. Returns the count of
// entries added.
int AddSongs(TPlayListTable& list, const QStringList& paths, bool allowDuplicates,
             RandomSource& random, TLongOperation* operation = nullptr);

// Add Dir after its folder dialog: the songs under `folder` are added as AddSongs adds them, each
// folder's songs as soon as the folder is read, so a stop leaves the list with the songs of the
// folders read until then. `operation` counts the files handled of those found so far. Returns
// the count of entries added.
int AddFolderSongs(TPlayListTable& list, const QString& folder, bool allowDuplicates,
                   RandomSource& random, TLongOperation* operation = nullptr);

// Removes the entry at `row`; returns the row to select afterwards (the same position, or the
// new last row), -1 when the list is empty or `row` is not an entry.
int DeleteEntry(TPlayListTable& list, int row);

// Moves the entry at `row` one place up (direction 1) or down (direction 2) in a list sorted by
// Order: the entries exchange places and keep the order keys of their positions, so the list
// stays sorted (also where two entries share a key). Returns the entry's new row, or -1 when
// nothing moved (no entry, Up on the first, Down on the last).
int MoveEntry(TPlayListTable& list, int row, int direction);

// The read-only view of the live list: at most 18 rows around the queued song, sorted by Random
// when `listOrder` is not 0, else by Order.
void FillLiveView(const TPlayListTable& live, TPlayListTable& view, int currentListIndex,
                  int listOrder);

// The first row whose path equals `path` without regard to letter case, or -1.
int FindEntry(const TPlayListTable& list, const QString& path);

} // namespace corvalin
