#include "FeedFixtures.h"
#include "feeds/JsonPointer.h"
#include "feeds/JsonWeather.h"
#include "feeds/NewsDefinitions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

// The example document of RFC 6901, section 5.
const QByteArray kRfcDocument = R"({
  "foo": ["bar", "baz"],
  "": 0,
  "a/b": 1,
  "c%d": 2,
  "e^f": 3,
  "g|h": 4,
  "i\\j": 5,
  "k\"l": 6,
  " ": 7,
  "m~n": 8
})";

QJsonValue rfcDocument() {
    return QJsonDocument::fromJson(kRfcDocument).object();
}

TEST(JsonPointer, TheExamplesOfTheRfc) {
    const QJsonValue doc = rfcDocument();
    const QJsonValue foo = QJsonArray{QStringLiteral("bar"), QStringLiteral("baz")};
    struct Case {
        const char* pointer;
        QJsonValue expected;
    };
    const Case cases[] = {
        {"", doc},
        {"/foo", foo},
        {"/foo/0", QStringLiteral("bar")},
        {"/", 0},
        {"/a~1b", 1},
        {"/c%d", 2},
        {"/e^f", 3},
        {"/g|h", 4},
        {"/i\\j", 5},
        {"/k\"l", 6},
        {"/ ", 7},
        {"/m~0n", 8},
        // The URI fragment form of the same pointers.
        {"#", doc},
        {"#/foo", foo},
        {"#/foo/0", QStringLiteral("bar")},
        {"#/", 0},
        {"#/a~1b", 1},
        {"#/c%25d", 2},
        {"#/e%5Ef", 3},
        {"#/g%7Ch", 4},
        {"#/i%5Cj", 5},
        {"#/k%22l", 6},
        {"#/%20", 7},
        {"#/m~0n", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pointer);
        const std::optional<QJsonValue> got = resolveJsonPointer(doc, U(c.pointer));
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(*got, c.expected);
    }
}

TEST(JsonPointer, PointersThatNameNothing) {
    const QJsonValue doc = rfcDocument();
    for (const char* pointer :
         {"foo", "/foo/01", "/foo/2", "/foo/-", "/foo/x", "/foo/", "/m~2n", "/m~", "/foo/0/x",
          "/nothere", "/a/b", "//", "#foo", "/foo/99999999999999999999"}) {
        SCOPED_TRACE(pointer);
        EXPECT_FALSE(resolveJsonPointer(doc, U(pointer)).has_value());
    }
    // "~01" is "~1", not "/".
    const QJsonValue tilde = QJsonObject{{QStringLiteral("~1"), 9}, {QStringLiteral("/"), 10}};
    EXPECT_EQ(resolveJsonPointer(tilde, u"/~01"), QJsonValue(9));
    EXPECT_EQ(resolveJsonPointer(tilde, u"/~1"), QJsonValue(10));
}

TEST(JsonWeather, WttrJ1AnswerWithTheBuiltInPointers) {
    const JsonWeather w =
        readJsonWeather(QString::fromUtf8(fixtures::kWttrJ1), kBuiltInTemperaturePointer,
                        kBuiltInConditionPointer, kBuiltInCityPointer);
    ASSERT_TRUE(w.valid);
    EXPECT_EQ(w.temperature, QStringLiteral("36"));
    EXPECT_EQ(w.condition, QStringLiteral("Partly cloudy"));
    EXPECT_EQ(w.city, QStringLiteral("Springfield"));
}

TEST(JsonWeather, AnswerMissingTheCityKeepsTheRestAndTheSign) {
    const JsonWeather w =
        readJsonWeather(QString::fromUtf8(fixtures::kWttrJ1NoCity), kBuiltInTemperaturePointer,
                        kBuiltInConditionPointer, kBuiltInCityPointer);
    ASSERT_TRUE(w.valid);
    EXPECT_EQ(w.temperature, QStringLiteral("-4"));
    EXPECT_EQ(w.condition, QStringLiteral("Light snow"));
    EXPECT_EQ(w.city, QString());
}

TEST(JsonWeather, MalformedJsonIsNotRead) {
    const JsonWeather w =
        readJsonWeather(QString::fromUtf8(fixtures::kMalformedJson), kBuiltInTemperaturePointer,
                        kBuiltInConditionPointer, kBuiltInCityPointer);
    EXPECT_FALSE(w.valid);
    EXPECT_FALSE(w.error.isEmpty());
    EXPECT_TRUE(w.temperature.isEmpty());
}

TEST(JsonWeather, ValuesAsTheTalkTakesThem) {
    struct Case {
        const char* json;
        const char* temperature;
        const char* text; // the condition, read from the same value
    };
    const Case cases[] = {
        {R"({"v": 72})", "72", "72"},
        {R"({"v": "72"})", "72", "72"},
        {R"({"v": -3.6})", "-4", "-3.6"},
        {R"({"v": " 21.4 C"})", "21", "21.4 C"},
        {R"({"v": "+5"})", "5", "+5"},
        {R"({"v": "n/a"})", "", "n/a"},
        {R"({"v": true})", "", ""},
        {R"({"v": null})", "", ""},
        {R"({"v": {"a": 1}})", "", ""},
        {R"({"v": "<b>Sunny</b>"})", "", ""},
        {R"({"v": "Rain \\Pau=9\\  and\n wind"})", "", "Rain Pau=9 and wind"},
        {R"({"w": 1})", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        const JsonWeather w = readJsonWeather(U(c.json), QStringLiteral("/v"), QStringLiteral("/v"),
                                              QStringLiteral("/v"));
        ASSERT_TRUE(w.valid);
        EXPECT_EQ(w.temperature, U(c.temperature));
        EXPECT_EQ(w.condition, U(c.text));
        EXPECT_EQ(w.city, U(c.text));
    }
    // A top-level array works too, and long texts are capped like a page's.
    const QString longCity = QString(300, QLatin1Char('x'));
    const JsonWeather w = readJsonWeather(QStringLiteral("[5, \"%1\"]").arg(longCity),
                                          QStringLiteral("/0"), QString(), QStringLiteral("/1"));
    EXPECT_EQ(w.temperature, QStringLiteral("5"));
    EXPECT_EQ(w.condition, QString()) << "the empty pointer names the array, not a text";
    EXPECT_LE(w.city.size(), 100);
    EXPECT_FALSE(w.city.isEmpty());
}

TEST(JsonWeather, KindByContentTypeOrFirstCharacter) {
    struct Case {
        const char* text;
        QByteArray contentType;
        bool json;
    };
    const Case cases[] = {
        {"{}", "text/plain", true},
        {"  \r\n [1]", "text/html", true},
        {"\xEF\xBB\xBF{}", "", true},
        {"not json", "application/json; charset=utf-8", true},
        {"x", "application/geo+json", true},
        {"<html>{}</html>", "text/html", false},
        {"", "text/html", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isJsonAnswer(U(c.text), c.contentType), c.json) << c.text;
}

} // namespace
