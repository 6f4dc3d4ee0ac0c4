#include "dialogs/PhraseSetEditor.h"

#include "core/IniFile.h"
#include "platform/Clock.h"

namespace corvalin {

namespace {

bool isLineBreak(QChar c) {
    switch (c.unicode()) {
    case 0x000A: // LF
    case 0x000B: // vertical tab
    case 0x000C: // form feed
    case 0x000D: // CR
    case 0x0085: // next line
    case 0x2028: // line separator
    case 0x2029: // paragraph separator
        return true;
    default:
        return false;
    }
}

// What the trimming removes at either end: blanks and control characters.
bool isTrimmed(QChar c) {
    return c.unicode() <= 0x20 || c.isSpace() || c.category() == QChar::Other_Control;
}

QString trimPhrase(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isTrimmed(text.at(begin)))
        ++begin;
    while (end > begin && isTrimmed(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

TPhraseList& livePhraseList(TLivePhraseLists& lists, LivePhraseList which) {
    switch (which) {
    case LivePhraseList::LastSongPhrases:
        return lists.LastSongPhrases;
    case LivePhraseList::ThisIsPhrases:
        return lists.ThisIsPhrases;
    case LivePhraseList::NextSongPhrases:
        return lists.NextSongPhrases;
    case LivePhraseList::BeforeNewsPhrases:
        return lists.BeforeNewsPhrases;
    case LivePhraseList::AfterNewsPhrases:
        break;
    }
    return lists.AfterNewsPhrases;
}

bool isPhraseSetCode(const QString& code) {
    if (code.size() != 2)
        return false;
    const QChar slot = code.at(0);
    const QChar letter = code.at(1);
    if (slot >= QLatin1Char('1') && slot <= QLatin1Char('4'))
        return letter == QLatin1Char('a') || letter == QLatin1Char('b') ||
               letter == QLatin1Char('c');
    if (slot == QLatin1Char('5'))
        return letter == QLatin1Char('a') || letter == QLatin1Char('b');
    return false;
}

std::optional<PhraseSetReload> PhraseSetReloadFor(const QString& code, int currentSlot) {
    if (!isPhraseSetCode(code))
        return std::nullopt;
    const int slot = code.at(0).digitValue();
    const QChar letter = code.at(1);
    if (slot == currentSlot && slot >= 1 && slot <= 4) {
        const LivePhraseList list = letter == QLatin1Char('a')   ? LivePhraseList::LastSongPhrases
                                    : letter == QLatin1Char('b') ? LivePhraseList::ThisIsPhrases
                                                                 : LivePhraseList::NextSongPhrases;
        return PhraseSetReload{slot, letter, list};
    }
    if (slot == 5) {
        const LivePhraseList list = letter == QLatin1Char('a') ? LivePhraseList::BeforeNewsPhrases
                                                               : LivePhraseList::AfterNewsPhrases;
        return PhraseSetReload{slot, letter, list};
    }
    return std::nullopt;
}

QString CleanPhrase(const QString& typed) {
    QString oneLine;
    oneLine.reserve(typed.size());
    for (qsizetype i = 0; i < typed.size(); ++i) {
        const QChar c = typed.at(i);
        if (!isLineBreak(c)) {
            oneLine += c;
            continue;
        }
        // CR LF is one line break.
        if (c == QLatin1Char('\r') && i + 1 < typed.size() && typed.at(i + 1) == QLatin1Char('\n'))
            ++i;
        oneLine += QLatin1Char(' ');
    }
    return trimPhrase(oneLine);
}

FileResult SavePhraseSet(const QString& phrasesFile, const QString& code,
                         const QStringList& phrases) {
    QString readError;
    IniFile file = IniFile::load(phrasesFile, &readError);
    if (!readError.isEmpty())
        return {false, QStringLiteral("Cannot read \"%1\": %2").arg(phrasesFile, readError)};
    file.eraseSection(code);
    for (qsizetype i = 0; i < phrases.size(); ++i)
        file.writeString(code, QString::number(i + 1), phrases.at(i));
    return file.save(phrasesFile);
}

PhraseSetEditor::PhraseSetEditor(QString code, QString phrasesFile, RandomSource& random)
    : code_(std::move(code)), phrasesFile_(std::move(phrasesFile)), phrases_(random, phrasesFile_) {
}

void PhraseSetEditor::load() {
    list_.clear();
    if (isPhraseSetCode(code_))
        phrases_.LoadPhrases(code_.at(0).digitValue(), code_.at(1), list_);
    if (!list_.isEmpty())
        list_.setCursor(0);
}

QStringList PhraseSetEditor::phrases() const {
    QStringList out;
    out.reserve(list_.size());
    for (const TPhraseEntry& e : list_.entries())
        out.append(e.Phrase);
    return out;
}

QString PhraseSetEditor::selectedPhrase() const {
    return selected() == TPhraseList::kNone ? QString() : trimPhrase(phrase(selected()));
}

bool PhraseSetEditor::add(const QString& typed) {
    const QString phrase = CleanPhrase(typed);
    if (phrase.isEmpty())
        return false;
    phrases_.LoadPhrase(phrase, list_);
    list_.setCursor(list_.size() - 1);
    return true;
}

bool PhraseSetEditor::editSelected(const QString& typed) {
    const QString phrase = CleanPhrase(typed);
    if (phrase.isEmpty() || selected() == TPhraseList::kNone)
        return false;
    TPhraseEntry& entry = list_.entry(selected());
    entry.Phrase = phrase;
    entry.Played = QStringLiteral("F");
    return true;
}

bool PhraseSetEditor::deleteSelected() {
    const int index = selected();
    if (index == TPhraseList::kNone)
        return false;
    // TPhraseList has no removal of its own: rebuild it without the entry.
    TPhraseList rest;
    for (int i = 0; i < list_.size(); ++i) {
        if (i != index)
            rest.append(list_.entry(i));
    }
    list_ = std::move(rest);
    list_.setCursor(list_.isEmpty() ? TPhraseList::kNone : 0);
    return true;
}

FileResult PhraseSetEditor::save() const {
    return SavePhraseSet(phrasesFile_, code_, phrases());
}

} // namespace corvalin
