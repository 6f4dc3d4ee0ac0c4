#pragma once

#include "core/IniFile.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace corvalin {

inline constexpr const char* kVocabularyFileName = "CVRSystem.dat";
inline constexpr const char* kPhrasesFileName = "Phrases.dat";

// The DJ's fixed vocabulary: the speech control tags (section "Commands") and the connecting words
// of the talk (section "CommonPhrases"). Read once at start-up, then never changed.
struct TVocabulary {
    // Commands
    QString ShortPause, LongPause, Emp, Intro, Period, Comma;
    // CommonPhrases
    QString zzDJ1, zzDJ2, zzDJ3, zzDJ4, zzDJ5, zzDJ6, zzDJ7, zzDJ8, zzDJ9, zzDJ10, zzDJ11, zzDJ12,
        zzDJ13, zzDJ14, zzDJ15, zzDJ16, zzDJ17, zzDJ18, zzDJ19, zzDJ20, zzDJ21, zzDJ21a, zzDJ22,
        zzDJ23, zzDJ24, zzDJ25, zzDJ26, zzDJ27, zzDJ28, zzDJ29, zzDJ34, zzDJ35;

    // The program's own vocabulary: every key at its default.
    static TVocabulary builtIn();
    // Every key read from `file` (letter case of keys ignored), the default where it is missing.
    // Values are taken exactly as written.
    static TVocabulary read(const IniFile& file);
};

// One key of the vocabulary file, in file order.
struct TVocabularyKey {
    const char* section;
    const char* key;
    QString TVocabulary::*field;
    const char* defaultValue;
};
const std::vector<TVocabularyKey>& vocabularyKeys();

// The built-in phrase sets: names "1a".."4a", "1b".."4b", "1c".."4c", "5a", "5b" in that order,
// each set's phrases in the order they are stored under the keys "1" upward.
QStringList phraseSetNames();
QStringList builtInPhraseSet(const QString& setName); // empty for an unknown name

// The delivered files' content, made from the built-in defaults.
IniFile builtInVocabularyFile();
IniFile builtInPhraseFile();

// What start-up learns from the two files.
struct TVoiceStartUp {
    // Set when a required file is missing from the program folder: the text of the
    // "Corvalin Radio - Setup Error" box, after which the program ends.
    std::optional<QString> error;
    TVocabulary vocabulary;
    QString PhrasesFile; // the phrase file in use
};

// The text shown when a required data file is missing.
QString missingSystemFileText(const QString& path);

// Start-up reading of the vocabulary and set-up of the phrase file. `programFolder` ends in "/".
// With per-user settings (`sameSettings` false) the user's private copies, `userName` in front of
// the file names, are made from the shared files when they do not exist yet (never overwritten;
// a failed copy is ignored); the vocabulary falls back to the shared file when the copy cannot be
// read. UI thread (start-up).
TVoiceStartUp ReadVocabulary(const QString& programFolder, bool sameSettings,
                             const QString& userName);

} // namespace corvalin
