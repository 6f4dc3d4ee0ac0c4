#pragma once

#include "core/IniFile.h"

#include <QString>
#include <array>

namespace corvalin {

// Where the news and weather come from and the markers that cut them out of the pages. A value
// type: the fetch takes a copy when it starts, so edits never reach a running fetch half-made.
struct NewsDefinitions {
    QString NewsURL;
    QString NewsStart;
    QString NewsEnd;
    // In "NewsDef.ini" and [Defaults] the prefix without zip code; in [DJ5] the full address.
    QString WeatherURL;
    // For a page: the markers. For a JSON answer the three start markers are JSON pointers
    // (RFC 6901) and the end markers are not used.
    QString TemperatureStart;
    QString TemperatureEnd;
    QString ForecastStart;
    QString ForecastEnd;
    QString CityStart;
    QString CityEnd;
    QString PrecipStart;
    QString PrecipEnd;

    bool operator==(const NewsDefinitions&) const = default;
};

// Section and key names of the settings store and of "NewsDef.ini".
inline const QString kNewsSection = QStringLiteral("DJ5");
inline const QString kDefaultsSection = QStringLiteral("Defaults");
inline const QString kZipCodeKey = QStringLiteral("ZipCode");
inline const QString kVersionKey = QStringLiteral("CVVersion");
inline const QString kNewsDefFileName = QStringLiteral("NewsDef.ini");
// "00000": the zip code has not been asked for yet. "90210": what an empty answer becomes.
inline const QString kUnsetZipCode = QStringLiteral("00000");
inline const QString kEmptyZipCode = QStringLiteral("90210");
// Somebody gave the station a zip code: it is neither empty nor "00000".
inline bool zipCodeGiven(const QString& zipCode) {
    const QString zip = zipCode.trimmed();
    return !zip.isEmpty() && zip != kUnsetZipCode;
}

// Hosts chosen for this station; every one of them can be changed by the operator (addresses) or
// by the published definitions document.
inline const QString kUpdateServer = QStringLiteral("https://update.corvalinradio.org");
inline const QString kNewsDefPath = QStringLiteral("/corvalinradio/NewsDef.html");
// The BBC's documented RSS 2.0 feed of its top stories.
inline const QString kBuiltInNewsURL = QStringLiteral("https://feeds.bbci.co.uk/news/rss.xml");
// wttr.in's JSON answer ("j1"), which takes US zip codes, other postal codes and place names.
inline const QString kBuiltInWeatherPrefix = QStringLiteral("https://wttr.in/<zip>?format=j1");
// JSON pointers into wttr.in's j1 answer.
inline const QString kBuiltInTemperaturePointer = QStringLiteral("/current_condition/0/temp_F");
inline const QString kBuiltInConditionPointer =
    QStringLiteral("/current_condition/0/weatherDesc/0/value");
inline const QString kBuiltInCityPointer = QStringLiteral("/nearest_area/0/areaName/0/value");

// Where a weather address prefix wants the zip code when it is not at its end (a service that
// takes the place in its path and options after it).
inline const QString kZipPlaceholder = QStringLiteral("<zip>");
// The weather address for `zipCode`: `prefix` with the zip code in place of the first
// kZipPlaceholder (letter case ignored), or followed by it when the prefix has none.
QString weatherAddress(const QString& prefix, const QString& zipCode);

// The built-in values, the address of the weather page as its bare prefix.
NewsDefinitions builtInNewsDefinitions();
// The built-in values as the operator's defaults: the weather address completed with `zipCode`
// by weatherAddress()
// ("Set All To Default", the zip code prompt).
NewsDefinitions builtInDefinitionsInForce(const QString& zipCode);

// The ten keys edited by the operator with their fields, in the order they are stored: the news
// group (NewsURL, NewsStart, NewsEnd), then the weather group.
struct NewsDefinitionKey {
    QString key;
    QString NewsDefinitions::*field;
};
const std::array<NewsDefinitionKey, 10>& newsDefinitionKeys();
inline constexpr std::size_t kNewsGroupSize = 3;

// Reads the ten definition keys and the two precipitation markers of `section`; a missing key
// takes its value from `defaults`.
NewsDefinitions readNewsDefinitions(const IniFile& ini, const QString& section,
                                    const NewsDefinitions& defaults);
// Writes the ten definition keys (not the precipitation markers, which nobody writes) to
// `section`, in the order of newsDefinitionKeys().
void writeNewsDefinitions(IniFile& ini, const QString& section, const NewsDefinitions& values);

} // namespace corvalin
