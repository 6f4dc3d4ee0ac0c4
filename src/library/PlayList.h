#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <algorithm>
#include <functional>
#include <vector>

namespace corvalin {

class RandomSource;

// A play list in memory: rows of four text columns, a current row and a sort by one column.
// Pure logic; a view wraps it. Used by one thread at a time (the window thread).
enum TPlayListColumn : int {
    plcFileName = 0, // full path of the song file
    plcPlayed = 1,   // "T" played since the last reset, "F" not yet; anything else counts as played
    plcOrder = 2,    // position in the file, "20000", "20001"...
    plcRandom = 3,   // random key drawn at load, "00000".."99897"
};

struct TPlayListRow {
    QString FileName;
    QString Played;
    QString Order;
    QString Random;

    const QString& cell(int column) const;
    QString& cell(int column);
    bool operator==(const TPlayListRow&) const = default;
};

class TPlayListTable {
public:
    static constexpr int ColumnCount = 4;

    int rowCount() const { return static_cast<int>(rows_.size()); }
    bool isEmpty() const { return rows_.empty(); }
    // `index` must be in 0..rowCount()-1.
    const TPlayListRow& row(int index) const { return rows_.at(static_cast<std::size_t>(index)); }
    const QString& cell(int index, int column) const { return row(index).cell(column); }
    void setCell(int index, int column, const QString& text);

    void appendRow(TPlayListRow row);
    void removeRow(int index); // the current row follows its row; none if it was the one removed
    void clear();
    void reserve(int rows) { rows_.reserve(static_cast<std::size_t>(std::max(rows, 0))); }

    // The cursor: a row index, or -1 for none.
    int currentRow() const { return current_; }
    void setCurrentRow(int index); // out of range means none

    // Sorts ascending by `column`, stable, the current row following its row. Two cells compare
    // as numbers when both read as numbers, as dates when both read as dates, otherwise as text
    // in the locale's case-sensitive order. In a column that mixes kinds, numbers come before
    // dates and dates before text, so the order is always total.
    void sortBy(int column);
    // The row indexes in the order sortBy(column) would give, without changing the table.
    std::vector<int> sortedOrder(int column) const;

private:
    std::vector<TPlayListRow> rows_;
    int current_ = -1;
};

// First order key given by LoadList.
inline constexpr int kFirstOrderKey = 20000;

// A new random key: Random(90000) + Random(9000) + Random(900), at least 5 digits.
QString NewRandomKey(RandomSource& random);
// An order key: the number with at least 5 digits.
QString OrderKey(int number);

struct TListLoadResult {
    enum Status { Loaded, Missing, ReadError };
    Status status = Loaded;
    QString error; // the system's text for ReadError
};

// The parts of LoadList and SaveList that work on bytes, without files.
// ParseList replaces `table`'s rows with the list in `bytes`; ListFileBytes gives the file for
// `table` and counts the rows it had to leave out.
void ParseList(const QByteArray& bytes, TPlayListTable& table, RandomSource& random);
QByteArray ListFileBytes(const TPlayListTable& table, int* skippedRows = nullptr);

// Fills `table` from the ".lst" file at `path`: one row per non-empty line (UTF-8, lines ended by
// CR LF, LF or CR; a leading byte-order mark is skipped), Played = the line's first character,
// FileName = the rest unchanged, Order from 20000 up, a new Random key per row. Bytes that are not
// UTF-8 are kept as nativeFileName() escapes, so such a path still opens its file and is saved
// back byte for byte. The table is not sorted and has no current row. A missing file or a read
// error leaves the table untouched; a path that is not a regular file (a folder, FIFO or device)
// is a read error, found without blocking.
TListLoadResult LoadList(const QString& path, TPlayListTable& table, RandomSource& random);

struct TListSaveResult {
    enum Status {
        Saved,    // the file holds the table's rows
        Removed,  // the table was empty: no file is left at the path
        Declined, // the file exists and overwriting was not confirmed: nothing changed
        Failed,   // nothing changed on disk; `error` says why
    };
    Status status = Saved;
    QString error;
    int skippedRows = 0; // rows whose path holds a line break: a list line cannot carry them
};

// The question asked before replacing an existing list, and its caption.
QString OverwriteQuestion(const QString& path);
inline constexpr const char* kOverwriteCaption = "File Exists";

// Writes the table's rows to `path` in Order order, one line per row: the Played character and
// the path, each line ended by CR LF. The file is replaced atomically; a table without rows
// removes the file. When a file exists and `overwriteWithoutAsking` is false, `confirmOverwrite`
// is asked with OverwriteQuestion(path) and nothing is written unless it returns true (no
// callback means no). The table itself is not changed.
TListSaveResult SaveList(const QString& path, const TPlayListTable& table,
                         bool overwriteWithoutAsking,
                         const std::function<bool(const QString& question)>& confirmOverwrite = {});

// Lists that survive a move of the station folder. A list entry that is not an absolute path is
// taken relative to the list's station folder (the sample lists are written so); an entry whose
// file is missing but whose file name is in the station's "MP3 Files/" folder is found there.
inline const QString kSongsFolderName = QStringLiteral("MP3 Files");

// The station folder of the list at `listPath`: the folder holding its "Lists" folder, or the
// list's own folder when that is not named "Lists". With a trailing "/".
QString ListStationFolder(const QString& listPath);

// How the entries read from a list file became full paths, so that a save writes them back in
// the form the file had them.
struct TListPathForms {
    QHash<QString, QString> storedAs; // full path -> text to store for it
    int found = 0;                    // entries changed to a file found in "MP3 Files/"
};

// Makes every row's FileName a full path (an empty one stays empty; absolute paths whose files
// exist stay exactly as they are). A relative entry is joined to `stationFolder`; an entry whose
// file is missing but whose name exists in `stationFolder` + "MP3 Files/" becomes that file and
// is stored relative from then on. `stationFolder` ends in "/".
TListPathForms ResolveListEntries(TPlayListTable& table, const QString& stationFolder);

// A copy of `table` whose paths are the ones to store: the full paths of relative or found
// entries go back to their relative form; every other path is kept.
TPlayListTable WithStoredPaths(const TPlayListTable& table, const TListPathForms& forms);

// Most rows a list viewer shows.
inline constexpr int kListViewRows = 18;

// Replaces `target`'s rows with copies of at most 18 rows of `source` around `currentListIndex`:
// from two rows before it when the source has more than 18 rows, else from the first.
void LoadListView(const TPlayListTable& source, TPlayListTable& target, int currentListIndex);

} // namespace corvalin
