#include "feeds/NewsDefinitions.h"
#include "feeds/PublishedDefaults.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace corvalin;

namespace {

const QString Zip = QStringLiteral("12345");

NewsDefinitions oldDefaults() {
    NewsDefinitions d = builtInNewsDefinitions();
    d.NewsURL = QStringLiteral("https://old.example/news");
    d.WeatherURL = QStringLiteral("https://old.example/weather/local/");
    return d;
}

NewsDefinitions newDefaults() {
    NewsDefinitions d = oldDefaults();
    d.NewsURL = QStringLiteral("https://new.example/news");
    d.NewsStart = QStringLiteral("<h2 class=\"top\">");
    d.WeatherURL = QStringLiteral("https://new.example/weather/local/");
    d.TemperatureStart = QStringLiteral("<span class=t>");
    return d;
}

NewsDefinitions full(NewsDefinitions d) {
    d.WeatherURL += Zip;
    return d;
}

IniFile document(const NewsDefinitions& d, const QString& version = QString()) {
    IniFile ini;
    writeNewsDefinitions(ini, kDefaultsSection, d);
    if (!version.isEmpty())
        ini.writeString(kDefaultsSection, kVersionKey, version);
    return ini;
}

// A store after a run with `old` published and the operator's values in [DJ5].
IniFile store(const NewsDefinitions& old, const NewsDefinitions& operatorValues) {
    IniFile ini;
    writeNewsDefinitions(ini, kDefaultsSection, old);
    writeNewsDefinitions(ini, kNewsSection, operatorValues);
    return ini;
}

TEST(PublishedDefaults, FirstRunTakesThePublishedValuesWithoutWritingTheOperatorsSection) {
    IniFile settings;
    const DefaultsCheck check =
        mergePublishedDefaults(document(newDefaults()), settings, Zip, QStringLiteral("0.1.0"));
    EXPECT_FALSE(check.defaultsChanged);
    EXPECT_EQ(check.inForce, full(newDefaults()));
    EXPECT_FALSE(settings.hasSection(kNewsSection));
    EXPECT_EQ(readNewsDefinitions(settings, kDefaultsSection, builtInNewsDefinitions()),
              newDefaults());
}

TEST(PublishedDefaults, MissingDocumentMeansBuiltInValues) {
    IniFile settings;
    const DefaultsCheck check =
        mergePublishedDefaults(IniFile(), settings, Zip, QStringLiteral("0.1.0"));
    EXPECT_EQ(check.inForce, builtInDefinitionsInForce(Zip));
    EXPECT_EQ(check.inForce.WeatherURL, QStringLiteral("https://wttr.in/12345?format=j1"));
    EXPECT_FALSE(check.newerVersion);
}

TEST(PublishedDefaults, BuiltInSourcesAreAFeedAndAJsonService) {
    const NewsDefinitions d = builtInNewsDefinitions();
    EXPECT_EQ(d.NewsURL, QStringLiteral("https://feeds.bbci.co.uk/news/rss.xml"));
    EXPECT_EQ(d.WeatherURL, QStringLiteral("https://wttr.in/<zip>?format=j1"));
    EXPECT_EQ(d.TemperatureStart, QStringLiteral("/current_condition/0/temp_F"));
    EXPECT_EQ(d.ForecastStart, QStringLiteral("/current_condition/0/weatherDesc/0/value"));
    EXPECT_EQ(d.CityStart, QStringLiteral("/nearest_area/0/areaName/0/value"));
    // The page markers that do not name a JSON value stay as they were.
    EXPECT_EQ(d.NewsStart, QStringLiteral("<div class=\"cnnT1Hd\">"));
    EXPECT_EQ(d.NewsEnd, QStringLiteral("FULL STORY"));
    EXPECT_EQ(d.TemperatureEnd, QStringLiteral("&"));
}

TEST(PublishedDefaults, WeatherAddressTakesTheZipCodeInPlaceOrAtTheEnd) {
    struct Case {
        const char* prefix;
        const char* zip;
        const char* address;
    };
    const Case cases[] = {
        {"https://old.example/weather/local/", "12345", "https://old.example/weather/local/12345"},
        {"https://wttr.in/<zip>?format=j1", "SW1A 1AA", "https://wttr.in/SW1A 1AA?format=j1"},
        {"https://wttr.in/<ZIP>?format=j1", "Paris", "https://wttr.in/Paris?format=j1"},
        {"http://x/?q=<zip>&u=<zip>", "1", "http://x/?q=1&u=<zip>"},
        {"http://x/weather?zip=", " 777", "http://x/weather?zip= 777"},
        {"", "90210", "90210"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(weatherAddress(QString::fromUtf8(c.prefix), QString::fromUtf8(c.zip)),
                  QString::fromUtf8(c.address))
            << c.prefix;
}

// A station on the old marker defaults moves to the feed and the JSON service when they are
// published; one whose operator set the weather markers keeps them.
TEST(PublishedDefaults, PublishedSourceKindsFollowTheMergeRules) {
    NewsDefinitions classic = oldDefaults();
    classic.TemperatureStart = QStringLiteral("><B CLASS=obsTempTextA>");
    const NewsDefinitions published = builtInNewsDefinitions();
    NewsDefinitions publishedInForce = published;
    publishedInForce.WeatherURL = QStringLiteral("https://wttr.in/12345?format=j1");

    IniFile untouched = store(classic, full(classic));
    DefaultsCheck check =
        mergePublishedDefaults(document(published), untouched, Zip, QStringLiteral("0.1.0"));
    EXPECT_FALSE(check.defaultsChanged);
    EXPECT_EQ(check.inForce, publishedInForce);
    EXPECT_EQ(untouched.readString(kDefaultsSection, QStringLiteral("WeatherURL"), QString()),
              QStringLiteral("https://wttr.in/<zip>?format=j1"))
        << "the prefix is remembered as published";

    NewsDefinitions mine = full(classic);
    mine.CityStart = QStringLiteral("<td class=city>");
    IniFile edited = store(classic, mine);
    check = mergePublishedDefaults(document(published), edited, Zip, QStringLiteral("0.1.0"));
    EXPECT_TRUE(check.defaultsChanged);
    EXPECT_EQ(check.inForce.CityStart, QStringLiteral("<td class=city>"));
    EXPECT_EQ(check.inForce.WeatherURL, full(classic).WeatherURL);
    EXPECT_EQ(check.inForce.NewsURL, published.NewsURL) << "the untouched news group follows";

    // Published again unchanged: nothing more is flagged or written.
    IniFile again = untouched;
    check = mergePublishedDefaults(document(published), again, Zip, QStringLiteral("0.1.0"));
    EXPECT_FALSE(check.defaultsChanged);
    EXPECT_EQ(check.inForce, publishedInForce);
}

TEST(PublishedDefaults, UntouchedGroupsFollowThePublishedValues) {
    IniFile settings = store(oldDefaults(), full(oldDefaults()));
    const DefaultsCheck check =
        mergePublishedDefaults(document(newDefaults()), settings, Zip, QStringLiteral("0.1.0"));
    EXPECT_FALSE(check.defaultsChanged);
    EXPECT_EQ(check.inForce, full(newDefaults()));
    EXPECT_EQ(settings.readString(kNewsSection, QStringLiteral("WeatherURL"), QString()),
              QStringLiteral("https://new.example/weather/local/12345"));
    EXPECT_EQ(settings.readString(kDefaultsSection, QStringLiteral("WeatherURL"), QString()),
              QStringLiteral("https://new.example/weather/local/"));
}

TEST(PublishedDefaults, AnEditedNewsGroupIsKeptWholeAndFlagged) {
    NewsDefinitions edited = full(oldDefaults());
    edited.NewsEnd = QStringLiteral("Read more");
    IniFile settings = store(oldDefaults(), edited);
    const DefaultsCheck check =
        mergePublishedDefaults(document(newDefaults()), settings, Zip, QStringLiteral("0.1.0"));
    EXPECT_TRUE(check.defaultsChanged);
    EXPECT_EQ(check.inForce.NewsURL, oldDefaults().NewsURL);
    EXPECT_EQ(check.inForce.NewsStart, oldDefaults().NewsStart);
    EXPECT_EQ(check.inForce.NewsEnd, QStringLiteral("Read more"));
    // The weather group was left alone by the operator, so it follows.
    EXPECT_EQ(check.inForce.WeatherURL, QStringLiteral("https://new.example/weather/local/12345"));
    EXPECT_EQ(check.inForce.TemperatureStart, newDefaults().TemperatureStart);
}

TEST(PublishedDefaults, MissingOperatorValuesReadAsTheNewOnesAndAreNotWritten) {
    IniFile settings;
    writeNewsDefinitions(settings, kDefaultsSection, oldDefaults());
    const DefaultsCheck check =
        mergePublishedDefaults(document(newDefaults()), settings, Zip, QStringLiteral("0.1.0"));
    EXPECT_TRUE(check.defaultsChanged);
    EXPECT_FALSE(settings.hasKey(kNewsSection, QStringLiteral("NewsURL")));
    EXPECT_EQ(check.inForce, full(newDefaults()));
}

TEST(PublishedDefaults, UnchangedDefaultsKeepTheOperatorsValuesUnflagged) {
    NewsDefinitions edited = full(oldDefaults());
    edited.NewsURL = QStringLiteral("https://mine.example/");
    edited.CityEnd = QStringLiteral(";");
    IniFile settings = store(oldDefaults(), edited);
    const DefaultsCheck check =
        mergePublishedDefaults(document(oldDefaults()), settings, Zip, QStringLiteral("0.1.0"));
    EXPECT_FALSE(check.defaultsChanged);
    EXPECT_EQ(check.inForce, edited);
}

TEST(PublishedDefaults, PrecipitationMarkersComeFromTheOperatorsSection) {
    IniFile settings;
    settings.writeString(kNewsSection, QStringLiteral("PrecipStart"), QStringLiteral("rain:"));
    const DefaultsCheck check =
        mergePublishedDefaults(document(newDefaults()), settings, Zip, QStringLiteral("0.1.0"));
    EXPECT_EQ(check.inForce.PrecipStart, QStringLiteral("rain:"));
    EXPECT_EQ(check.inForce.PrecipEnd, QStringLiteral("%"));
}

TEST(PublishedDefaults, OnlyANewerPublishedVersionIsAnnounced) {
    const struct {
        const char* published;
        bool newer;
    } cases[] = {{"0.2.0", true}, {"0.1.1", true}, {"0.1.0", false}, {"0.0.9", false}, {"", false}};
    for (const auto& c : cases) {
        IniFile settings;
        const DefaultsCheck check =
            mergePublishedDefaults(document(newDefaults(), QString::fromLatin1(c.published)),
                                   settings, Zip, QStringLiteral("0.1.0"));
        EXPECT_EQ(check.newerVersion, c.newer) << c.published;
    }
}

TEST(NewsDefinitionsIni, TenKeysRoundTripUnderTheirNamesAndOrder) {
    IniFile ini;
    writeNewsDefinitions(ini, kNewsSection, full(newDefaults()));
    QStringList keys;
    for (const IniFile::Entry& e : ini.entries(kNewsSection))
        keys << e.key;
    EXPECT_EQ(keys, (QStringList{"NewsURL", "NewsStart", "NewsEnd", "WeatherURL",
                                 "TemperatureStart", "TemperatureEnd", "ForecastStart",
                                 "ForecastEnd", "CityStart", "CityEnd"}));
    const IniFile reread = IniFile::parse(ini.text());
    EXPECT_EQ(readNewsDefinitions(reread, kNewsSection, builtInNewsDefinitions()),
              full(newDefaults()));
    EXPECT_EQ(reread.readString(kNewsSection, QStringLiteral("NewsStart"), QString()),
              QStringLiteral("<h2 class=\"top\">"));
}

} // namespace

// The definitions file laid out in the station folder must say what the program falls back on,
// so a first start and a start after a failed download behave alike.
TEST(PublishedDefaults, DeliveredDefinitionsFileHoldsTheBuiltInValues) {
    const QString path = QString::fromLocal8Bit(qgetenv("CORVALIN_TEST_SOURCE_DIR")) +
                         QStringLiteral("/data/NewsDef.ini");
    ASSERT_TRUE(QFile::exists(path)) << path.toStdString();
    const IniFile delivered = IniFile::load(path);
    const NewsDefinitions builtIn = builtInNewsDefinitions();
    for (const auto& [key, field] : newsDefinitionKeys()) {
        const auto value = delivered.value(kDefaultsSection, key);
        ASSERT_TRUE(value.has_value()) << key.toStdString();
        EXPECT_EQ(*value, builtIn.*field) << key.toStdString();
    }
    EXPECT_FALSE(delivered.hasKey(kDefaultsSection, kVersionKey))
        << "a stale version would announce a new version that does not exist";
}
