#pragma once

#include <QString>
#include <array>
#include <utility>

namespace corvalin {

// Our own word substitutions, applied after the built-in ones in this order. They turn HTML
// entities and abbreviations that fetched news and weather text carries into speakable text.
// Matching is plain substring matching without regard to letter case, so a find text that could
// sit inside a longer word carries a blank or punctuation that pins it down.
using TSubstitution = std::pair<const char*, const char*>; // find, replace
const std::array<TSubstitution, 12>& ExtraSubstitutions();

// The names the phrase macros stand for when a talk is spoken.
struct TSpeechNames {
    QString StationIdentification;
    QString DJName; // of the current slot
    QString Emp;    // the emphasis tag of the vocabulary
};

// Prepares a complete talk for speaking: expands "&StationIdentification&" and "&DJName&",
// spells out abbreviations, turns the entities that survive the news extraction into text or
// the emphasis tag, then applies ExtraSubstitutions. Never empty (an empty result is one blank).
// A pure function: any thread.
QString CleanSpeech(const QString& text, const TSpeechNames& names);

} // namespace corvalin
