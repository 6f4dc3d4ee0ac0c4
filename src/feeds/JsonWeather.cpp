#include "feeds/JsonWeather.h"

#include "core/Helpers.h"
#include "feeds/JsonPointer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cmath>

namespace corvalin {

namespace {

QByteArray mediaType(const QByteArray& contentType) {
    return contentType.split(';').value(0).trimmed().toLower();
}

// A text or a number as text; nothing for other values.
std::optional<QString> scalarText(const std::optional<QJsonValue>& value) {
    if (!value)
        return std::nullopt;
    if (value->isString())
        return value->toString();
    if (value->isDouble()) {
        const double d = value->toDouble();
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15)
            return QString::number(static_cast<qint64>(d));
        return QString::number(d);
    }
    return std::nullopt;
}

QString temperatureOf(const std::optional<QString>& text) {
    if (!text)
        return {};
    static const QRegularExpression number(QStringLiteral(R"(^\s*([+-]?\d{1,6}(?:[.,]\d+)?))"));
    const QRegularExpressionMatch m = number.match(*text);
    if (!m.hasMatch())
        return {};
    const double value = m.captured(1).replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
    const qint64 whole = std::llround(value);
    return QString::number(whole);
}

// A place or a condition: blanks collapsed, no speech tags, refused with "<" or ">" as a page's.
QString wordsOf(const std::optional<QString>& text) {
    if (!text)
        return {};
    const QString words = QString(*text).remove(QLatin1Char('\\')).simplified();
    if (words.contains(QLatin1Char('<')) || words.contains(QLatin1Char('>')))
        return {};
    return CapText(words, kMaxWeatherPartChars);
}

} // namespace

bool isJsonAnswer(const QString& text, const QByteArray& contentType) {
    const QByteArray type = mediaType(contentType);
    if (type == "application/json" || type.endsWith("+json"))
        return true;
    for (const QChar c : text) {
        if (c.isSpace() || c == QChar(0xFEFF))
            continue;
        return c == QLatin1Char('{') || c == QLatin1Char('[');
    }
    return false;
}

JsonWeather readJsonWeather(const QString& text, const QString& temperaturePointer,
                            const QString& conditionPointer, const QString& cityPointer) {
    JsonWeather weather;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (document.isNull()) {
        weather.error = error.errorString();
        return weather;
    }
    weather.valid = true;
    const QJsonValue root =
        document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array());
    weather.temperature = temperatureOf(scalarText(resolveJsonPointer(root, temperaturePointer)));
    weather.condition = wordsOf(scalarText(resolveJsonPointer(root, conditionPointer)));
    weather.city = wordsOf(scalarText(resolveJsonPointer(root, cityPointer)));
    return weather;
}

} // namespace corvalin
