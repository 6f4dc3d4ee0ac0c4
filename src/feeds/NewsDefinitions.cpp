#include "feeds/NewsDefinitions.h"

namespace corvalin {

NewsDefinitions builtInNewsDefinitions() {
    NewsDefinitions d;
    d.NewsURL = kBuiltInNewsURL;
    d.NewsStart = QStringLiteral("<div class=\"cnnT1Hd\">");
    d.NewsEnd = QStringLiteral("FULL STORY");
    d.WeatherURL = kBuiltInWeatherPrefix;
    d.TemperatureStart = kBuiltInTemperaturePointer;
    d.TemperatureEnd = QStringLiteral("&");
    d.ForecastStart = kBuiltInConditionPointer;
    d.ForecastEnd = QStringLiteral("<");
    d.CityStart = kBuiltInCityPointer;
    d.CityEnd = QStringLiteral(",");
    d.PrecipStart = QStringLiteral("precip. chance -->");
    d.PrecipEnd = QStringLiteral("%");
    return d;
}

QString weatherAddress(const QString& prefix, const QString& zipCode) {
    const qsizetype at = prefix.indexOf(kZipPlaceholder, 0, Qt::CaseInsensitive);
    if (at < 0)
        return prefix + zipCode;
    QString address = prefix;
    return address.replace(at, kZipPlaceholder.size(), zipCode);
}

NewsDefinitions builtInDefinitionsInForce(const QString& zipCode) {
    NewsDefinitions d = builtInNewsDefinitions();
    d.WeatherURL = weatherAddress(d.WeatherURL, zipCode);
    return d;
}

const std::array<NewsDefinitionKey, 10>& newsDefinitionKeys() {
    static const std::array<NewsDefinitionKey, 10> keys = {{
        {QStringLiteral("NewsURL"), &NewsDefinitions::NewsURL},
        {QStringLiteral("NewsStart"), &NewsDefinitions::NewsStart},
        {QStringLiteral("NewsEnd"), &NewsDefinitions::NewsEnd},
        {QStringLiteral("WeatherURL"), &NewsDefinitions::WeatherURL},
        {QStringLiteral("TemperatureStart"), &NewsDefinitions::TemperatureStart},
        {QStringLiteral("TemperatureEnd"), &NewsDefinitions::TemperatureEnd},
        {QStringLiteral("ForecastStart"), &NewsDefinitions::ForecastStart},
        {QStringLiteral("ForecastEnd"), &NewsDefinitions::ForecastEnd},
        {QStringLiteral("CityStart"), &NewsDefinitions::CityStart},
        {QStringLiteral("CityEnd"), &NewsDefinitions::CityEnd},
    }};
    return keys;
}

NewsDefinitions readNewsDefinitions(const IniFile& ini, const QString& section,
                                    const NewsDefinitions& defaults) {
    NewsDefinitions d;
    for (const auto& [key, field] : newsDefinitionKeys())
        d.*field = ini.readString(section, key, defaults.*field);
    d.PrecipStart = ini.readString(section, QStringLiteral("PrecipStart"), defaults.PrecipStart);
    d.PrecipEnd = ini.readString(section, QStringLiteral("PrecipEnd"), defaults.PrecipEnd);
    return d;
}

void writeNewsDefinitions(IniFile& ini, const QString& section, const NewsDefinitions& values) {
    for (const auto& [key, field] : newsDefinitionKeys())
        ini.writeString(section, key, values.*field);
}

} // namespace corvalin
