#pragma once

#include "platform/Clock.h"

#include <QString>
#include <functional>
#include <vector>

namespace corvalin {

// One entry of a live phrase list.
struct TPhraseEntry {
    QString Phrase; // as stored in the phrase file, macros and tags included
    QString Played; // "T" once said in the current cycle, else "F"
    QString Order;  // random sort key, ZeroPad to width 4
};

// A live phrase list: ordered entries and a cursor (an entry or none). Single-threaded (the UI
// thread's lists, or a dialog's own list).
class TPhraseList {
public:
    enum class Column { Phrase, Played, Order };
    static constexpr int kNone = -1;

    int size() const { return static_cast<int>(entries_.size()); }
    bool isEmpty() const { return entries_.empty(); }
    const TPhraseEntry& entry(int index) const { return entries_.at(static_cast<size_t>(index)); }
    TPhraseEntry& entry(int index) { return entries_.at(static_cast<size_t>(index)); }
    const std::vector<TPhraseEntry>& entries() const { return entries_; }

    int cursor() const { return cursor_; }
    // An index outside the list makes the cursor none.
    void setCursor(int index) { cursor_ = index >= 0 && index < size() ? index : kNone; }

    void clear() {
        entries_.clear();
        cursor_ = kNone;
    }
    void append(TPhraseEntry entry) { entries_.push_back(std::move(entry)); }
    // Ascending by the column's text; entries that compare equal keep their order. The cursor
    // stays on the same entry.
    void sortBy(Column column);

private:
    std::vector<TPhraseEntry> entries_;
    int cursor_ = kNone;
};

// The five live lists of the main window, filled for the current slot.
struct TLivePhraseLists {
    TPhraseList LastSongPhrases;
    TPhraseList ThisIsPhrases;
    TPhraseList NextSongPhrases;
    TPhraseList BeforeNewsPhrases;
    TPhraseList AfterNewsPhrases;
};

// Loading phrase sets from the phrase file and drawing phrases without repeats. UI thread.
class TPhrases {
public:
    // `random` is kept for the object's life.
    explicit TPhrases(RandomSource& random, QString phrasesFile = {})
        : PhrasesFile(std::move(phrasesFile)), random_(random) {}

    QString PhrasesFile; // the phrase file in use (set at start-up)

    // Called when a list yields nothing: the owner sets the current slot to none and re-runs the
    // time-slot check, which reloads every list. Called after GetPhrase has finished with the
    // list, so it may refill it.
    std::function<void()> ReapplyTimeSlot;

    // Replaces the list's content with the set named by `slot` (1..5) and `letter`, read from
    // PhrasesFile under keys "1" upward until the first missing or empty one, in a new random
    // order, every entry unplayed.
    void LoadPhrases(int slot, QChar letter, TPhraseList& list);
    // Appends one unplayed entry with a new random key.
    void LoadPhrase(const QString& phrase, TPhraseList& list);
    // The next phrase of the list: every entry once per cycle, in random order; a new cycle
    // starts in a new order. "Hey, " when the list is empty (and ReapplyTimeSlot is called).
    QString GetPhrase(TPhraseList& list);

    // The slot's "a", "b" and "c" sets and the news sets "5a" and "5b" into the five lists.
    void LoadSlotPhrases(int slot, TLivePhraseLists& lists);

private:
    QString newOrderKey();

    RandomSource& random_;
};

} // namespace corvalin
