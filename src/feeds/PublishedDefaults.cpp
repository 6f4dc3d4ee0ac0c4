#include "feeds/PublishedDefaults.h"

#include "core/Helpers.h"

#include <span>

namespace corvalin {

namespace {

using KeySpan = std::span<const NewsDefinitionKey>;

bool sameGroup(const NewsDefinitions& a, const NewsDefinitions& b, KeySpan group) {
    for (const auto& k : group)
        if (a.*k.field != b.*k.field)
            return false;
    return true;
}

} // namespace

DefaultsCheck mergePublishedDefaults(const IniFile& newsDef, IniFile& store, const QString& zipCode,
                                     const QString& ownVersion) {
    const NewsDefinitions builtIn = builtInNewsDefinitions();
    NewsDefinitions published = readNewsDefinitions(newsDef, kDefaultsSection, builtIn);
    // The document publishes the ten keys only.
    published.PrecipStart = builtIn.PrecipStart;
    published.PrecipEnd = builtIn.PrecipEnd;
    const QString publishedVersion = newsDef.readString(kDefaultsSection, kVersionKey, ownVersion);

    // Addresses are compared and used in force as the prefix completed with the zip code.
    NewsDefinitions publishedFull = published;
    publishedFull.WeatherURL = weatherAddress(published.WeatherURL, zipCode);
    NewsDefinitions oldFull = readNewsDefinitions(store, kDefaultsSection, published);
    oldFull.WeatherURL = weatherAddress(oldFull.WeatherURL, zipCode);
    const NewsDefinitions operatorValues = readNewsDefinitions(store, kNewsSection, publishedFull);

    DefaultsCheck result;
    const KeySpan all(newsDefinitionKeys());
    for (const KeySpan group : {all.first(kNewsGroupSize), all.subspan(kNewsGroupSize)}) {
        if (sameGroup(publishedFull, oldFull, group))
            continue;
        if (sameGroup(operatorValues, oldFull, group)) {
            for (const auto& k : group)
                store.writeString(kNewsSection, k.key, publishedFull.*k.field);
        } else {
            result.defaultsChanged = true;
        }
    }
    writeNewsDefinitions(store, kDefaultsSection, published);

    result.inForce = readNewsDefinitions(store, kNewsSection, publishedFull);
    result.newerVersion = VersionNumber(publishedVersion) > VersionNumber(ownVersion);
    return result;
}

} // namespace corvalin
