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

// Hosts chosen for this station; every one of them can be changed by the operator (addresses) or
// by the published definitions document.
inline const QString kUpdateServer = QStringLiteral("https://update.corvalinradio.org");
inline const QString kNewsDefPath = QStringLiteral("/corvalinradio/NewsDef.html");
inline const QString kBuiltInNewsURL = QStringLiteral("https://news.corvalinradio.org/");
inline const QString kBuiltInWeatherPrefix =
    QStringLiteral("https://weather.corvalinradio.org/weather/local/");

// The built-in values, the address of the weather page as its bare prefix.
NewsDefinitions builtInNewsDefinitions();
// The built-in values as the operator's defaults: the weather address completed with `zipCode`
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
