#pragma once

#include "station/SettingsStore.h"

#include <functional>

namespace corvalin {

// The advanced news and weather options without their widgets. Window thread only.

// What the advanced options dialog needs from the station. The referenced objects belong to the
// station and outlive the dialog; the callbacks may be empty.
struct AdvancedContext {
    AdvancedContext(StationSettings& settings, const SettingsStore& store)
        : Settings(settings), Store(store) {}

    // The settings in memory: News is shown and, at OK, replaced; SameSettings chooses the store;
    // ZipCode completes the default weather address.
    StationSettings& Settings;
    const SettingsStore& Store;
    // Settings.News changed: the next fetch is to use it. A running fetch keeps its own copy.
    std::function<void(const NewsDefinitions&)> NewsDefinitionsChanged;
    std::function<void(int topic)> ShowHelp;
    // What the last news and weather fetch found, in one line (the news feed's outcome).
    std::function<QString()> LastFetchOutcome;
};

// What a news or weather address is read as. The fetch decides by the answer itself; the dialog
// guesses the same from what the operator set, so that each box is named by what it holds.
enum class SourceKind {
    Page, // a web page: the values lie between start and end markers
    Feed, // an RSS or Atom feed: its first item's title (and summary) is the headline
    Json, // a JSON answer: each value is found by its JSON pointer
};
// A feed when the address looks like one (its path ends in ".xml", ".rss" or ".atom", or "rss",
// "atom" or "feed" stands as a word in it) or the start box asks for the feed's summary; else a
// page.
SourceKind newsSourceKind(const NewsDefinitions& d);
// JSON when the temperature box holds a JSON pointer ("/" first, no markup) or the address asks
// for JSON ("json", "format=j1"); else a page.
SourceKind weatherSourceKind(const NewsDefinitions& d);

// "Set All To Default": the built-in addresses and markers, the weather address completed with
// `zipCode`.
NewsDefinitions advancedDefaults(const QString& zipCode);

// The ten values as the operator typed them (not trimmed) over `current`; the precipitation
// markers, which the dialog does not offer, are kept.
NewsDefinitions withTypedDefinitions(const NewsDefinitions& current, const NewsDefinitions& typed);

// OK: writes the ten values to [DJ5] of the store chosen by SameSettings in their order and, only
// when that succeeded, puts them into memory and tells the station. On failure nothing changes
// and the result names the file and the reason.
[[nodiscard]] FileResult confirmAdvanced(AdvancedContext& context, const NewsDefinitions& typed);

} // namespace corvalin
