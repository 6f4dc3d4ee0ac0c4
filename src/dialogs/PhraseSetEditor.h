#pragma once

#include "platform/FileSystem.h"
#include "voice/PhraseLists.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace corvalin {

class RandomSource;

// The five live lists of the main window, by name.
enum class LivePhraseList {
    LastSongPhrases,
    ThisIsPhrases,
    NextSongPhrases,
    BeforeNewsPhrases,
    AfterNewsPhrases
};

TPhraseList& livePhraseList(TLivePhraseLists& lists, LivePhraseList which);

// A live list to refill after a phrase set was saved: LoadPhrases(slot, letter, list).
struct PhraseSetReload {
    int slot = 0;
    QChar letter;
    LivePhraseList list = LivePhraseList::LastSongPhrases;
};

// Which live list a saved set goes into, if any: a set of the current slot (1..4) into the list of
// its letter, "5a" and "5b" into the news lists; a set of a slot that is not current waits until
// its slot begins. `currentSlot` 0 means none.
std::optional<PhraseSetReload> PhraseSetReloadFor(const QString& code, int currentSlot);

// A phrase set code: slot digit "1".."4" with "a", "b" or "c", or "5a", "5b".
bool isPhraseSetCode(const QString& code);

// What the phrase editor needs from the station. Filled by the Radio Manager's caller; used on the
// window thread only.
struct PhraseEditorContext {
    QString PhrasesFile;              // the phrase file in use
    RandomSource* random = nullptr;   // draws the order keys; must outlive the editor
    std::function<int()> CurrentSlot; // the main window's current slot, 0 for none
    // Refills one live list of the main window, e.g. for the station:
    // phrases_.LoadPhrases(r.slot, r.letter, livePhraseList(lists_, r.list)).
    std::function<void(const PhraseSetReload& r)> ReloadLivePhrases;
};

// A phrase as the operator typed or pasted it, made fit to store: every line break (CR LF, CR, LF
// and the other Unicode line and paragraph breaks) becomes one blank, since a value of the phrase
// file is one line and the DJ would never say what followed a break; then blanks and control
// characters are trimmed from both ends.
QString CleanPhrase(const QString& typed);

// Replaces the whole section `code` of the phrase file with `phrases` under keys "1".."N" (an
// empty list leaves the section erased); the other sections stay as they were. The file is written
// to a temporary file and renamed over the old one, so a failure leaves it untouched. A file that
// exists but cannot be read is not written at all (its other sets would be lost).
[[nodiscard]] FileResult SavePhraseSet(const QString& phrasesFile, const QString& code,
                                       const QStringList& phrases);

// The set editor's list and its rules, without widgets: the entries in the order shown (random on
// loading; new phrases last) and the selected entry. Window thread only.
class PhraseSetEditor {
public:
    // `random` must outlive the editor.
    PhraseSetEditor(QString code, QString phrasesFile, RandomSource& random);

    const QString& code() const { return code_; }
    const QString& phrasesFile() const { return phrasesFile_; }

    // Fills the list with the set from the phrase file, in a new random order, and selects the
    // first entry when there is one.
    void load();

    const TPhraseList& list() const { return list_; }
    int size() const { return list_.size(); }
    QString phrase(int index) const { return list_.entry(index).Phrase; }
    QStringList phrases() const;

    // The selected entry or TPhraseList::kNone.
    int selected() const { return list_.cursor(); }
    void select(int index) { list_.setCursor(index); }
    // The selected phrase trimmed (the text the single-phrase box starts with); empty when none.
    QString selectedPhrase() const;

    // Appends the cleaned phrase, unplayed with a new order key, and selects it. An empty text
    // adds nothing. Returns whether an entry was added.
    bool add(const QString& typed);
    // Replaces the selected phrase with the cleaned text and marks it unplayed. An empty text or no
    // selection changes nothing. Returns whether it changed.
    bool editSelected(const QString& typed);
    // Removes the selected entry; the first remaining one becomes selected. Returns whether one was
    // removed.
    bool deleteSelected();

    // Writes the list in its present order as the set (SavePhraseSet).
    [[nodiscard]] FileResult save() const;

private:
    QString code_;
    QString phrasesFile_;
    TPhrases phrases_;
    TPhraseList list_;
};

} // namespace corvalin
