#include "core/Helpers.h"
#include "feeds/FeedReader.h"
#include "feeds/JsonPointer.h"
#include "feeds/JsonWeather.h"
#include "feeds/PageText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cstddef>
#include <cstdint>

using namespace corvalin;

namespace {

void check(bool ok) {
    if (!ok)
        __builtin_trap();
}

bool wholeCharacters(const QString& s) {
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
            ++i;
        else if (s[i].isSurrogate())
            return false;
    }
    return true;
}

} // namespace

// The input is split at its first three NUL bytes into the temperature, condition and city
// pointers and the answer; the answer's first line, when it starts with "ct:", is its Content-Type.
// The same answer is read as a feed and as JSON.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QList<QByteArray> parts = input.split('\0');
    const QString pointers[3] = {QString::fromUtf8(parts.value(0)),
                                 QString::fromUtf8(parts.value(1)),
                                 QString::fromUtf8(parts.value(2))};
    qsizetype bodyStart = 0;
    for (int i = 0; i < 3 && i < parts.size() - 1; ++i)
        bodyStart += parts[i].size() + 1;
    QByteArray body = parts.size() > 3 ? input.mid(bodyStart) : QByteArray();
    QByteArray contentType;
    if (body.startsWith("ct:")) {
        const qsizetype eol = body.indexOf('\n');
        contentType = body.mid(3, eol < 0 ? -1 : eol - 3);
        body = eol < 0 ? QByteArray() : body.mid(eol + 1);
    }
    const QString text = decodePage(body, contentType);

    // Feeds: only the inserted pause is a tag, and the headline keeps the cap.
    (void)isFeedAnswer(text, contentType);
    const FeedRead feed = readFirstFeedItem(text);
    check(feed.status == FeedRead::Status::Ok || feed.item.title.isEmpty() ||
          feed.status == FeedRead::Status::NotAFeed);
    const QString pause = QStringLiteral("\\Pau=500\\");
    for (const bool withSummary : {false, true}) {
        const QString headline = feedHeadline(feed.item, withSummary, pause);
        check(!QString(headline).remove(pause).contains(QLatin1Char('\\')));
        check(headline.size() <= kMaxHeadlineChars && wholeCharacters(headline));
    }
    (void)withoutMarkup(text);

    // JSON: a temperature is whole degrees; the texts are speakable and capped.
    (void)isJsonAnswer(text, contentType);
    const JsonWeather w = readJsonWeather(text, pointers[0], pointers[1], pointers[2]);
    static const QRegularExpression degrees(QStringLiteral("^-?[0-9]+$"));
    check(w.temperature.isEmpty() || degrees.match(w.temperature).hasMatch());
    for (const QString& part : {w.condition, w.city}) {
        check(part.size() <= kMaxWeatherPartChars && wholeCharacters(part));
        check(!part.contains(QLatin1Char('\\')) && !part.contains(QLatin1Char('<')) &&
              !part.contains(QLatin1Char('>')));
    }
    check(w.valid || (w.temperature.isEmpty() && w.condition.isEmpty() && w.city.isEmpty()));
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (!doc.isNull())
        (void)resolveJsonPointer(
            doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array()), pointers[0]);
    return 0;
}
