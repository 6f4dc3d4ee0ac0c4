#include "voice/PhraseLists.h"

#include "core/Helpers.h"
#include "core/IniFile.h"

#include <algorithm>

namespace corvalin {

namespace {

const QString kHey = QStringLiteral("Hey, ");
const QString kPlayed = QStringLiteral("T");
const QString kUnplayed = QStringLiteral("F");

const QString& columnText(const TPhraseEntry& e, TPhraseList::Column column) {
    switch (column) {
    case TPhraseList::Column::Phrase:
        return e.Phrase;
    case TPhraseList::Column::Played:
        return e.Played;
    case TPhraseList::Column::Order:
        break;
    }
    return e.Order;
}

} // namespace

void TPhraseList::sortBy(Column column) {
    // Sort positions rather than entries so the cursor can follow its entry.
    std::vector<int> order(entries_.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return QString::compare(columnText(entries_[static_cast<size_t>(a)], column),
                                columnText(entries_[static_cast<size_t>(b)], column),
                                Qt::CaseInsensitive) < 0;
    });
    std::vector<TPhraseEntry> sorted;
    sorted.reserve(entries_.size());
    int newCursor = kNone;
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i] == cursor_)
            newCursor = static_cast<int>(i);
        sorted.push_back(std::move(entries_[static_cast<size_t>(order[i])]));
    }
    entries_ = std::move(sorted);
    cursor_ = newCursor;
}

QString TPhrases::newOrderKey() {
    const int r1 = random_.below(5000);
    const int r2 = random_.below(500);
    return ZeroPad(r1 + r2, 4);
}

void TPhrases::LoadPhrase(const QString& phrase, TPhraseList& list) {
    list.append(TPhraseEntry{phrase, kUnplayed, newOrderKey()});
}

void TPhrases::LoadPhrases(int slot, QChar letter, TPhraseList& list) {
    const QString section = QString::number(slot) + letter;
    list.clear();
    const IniFile file = IniFile::load(PhrasesFile);
    for (int n = 1;; ++n) {
        const QString phrase = file.readString(section, QString::number(n), QString());
        if (phrase.isEmpty())
            break;
        LoadPhrase(phrase, list);
    }
    list.sortBy(TPhraseList::Column::Order);
}

QString TPhrases::GetPhrase(TPhraseList& list) {
    QString result = kHey;
    if (!list.isEmpty()) {
        if (list.cursor() != TPhraseList::kNone)
            list.entry(list.cursor()).Played = kPlayed;
        else
            list.setCursor(0);
        // A list of one entry says it every time.
        while (list.entry(list.cursor()).Played == kPlayed && list.size() != 1) {
            list.setCursor(list.cursor() + 1);
            if (list.cursor() == TPhraseList::kNone)
                break;
        }
        if (list.cursor() == TPhraseList::kNone) {
            // Every entry has been said: a new cycle in a new order.
            list.sortBy(TPhraseList::Column::Phrase);
            for (int i = 0; i < list.size(); ++i) {
                list.entry(i).Played = kUnplayed;
                list.entry(i).Order = newOrderKey();
            }
            list.sortBy(TPhraseList::Column::Order);
            list.setCursor(0);
        }
        result = list.entry(list.cursor()).Phrase;
    }
    if (result == kHey && ReapplyTimeSlot)
        ReapplyTimeSlot();
    return result;
}

void TPhrases::LoadSlotPhrases(int slot, TLivePhraseLists& lists) {
    LoadPhrases(slot, QLatin1Char('a'), lists.LastSongPhrases);
    LoadPhrases(slot, QLatin1Char('b'), lists.ThisIsPhrases);
    LoadPhrases(slot, QLatin1Char('c'), lists.NextSongPhrases);
    LoadPhrases(5, QLatin1Char('a'), lists.BeforeNewsPhrases);
    LoadPhrases(5, QLatin1Char('b'), lists.AfterNewsPhrases);
}

} // namespace corvalin
