#include "feeds/JsonPointer.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>

namespace corvalin {

namespace {

// A reference token with "~1" and "~0" turned back into "/" and "~"; nothing when a "~" stands
// before anything else.
std::optional<QString> unescapedToken(QStringView token) {
    QString out;
    out.reserve(token.size());
    for (qsizetype i = 0; i < token.size(); ++i) {
        if (token[i] != QLatin1Char('~')) {
            out += token[i];
            continue;
        }
        if (i + 1 >= token.size())
            return std::nullopt;
        const QChar next = token[++i];
        if (next == QLatin1Char('0'))
            out += QLatin1Char('~');
        else if (next == QLatin1Char('1'))
            out += QLatin1Char('/');
        else
            return std::nullopt;
    }
    return out;
}

// An array index: "0" or digits without a leading zero, within the array.
std::optional<qsizetype> arrayIndex(const QString& token, qsizetype size) {
    if (token.isEmpty() || token.size() > 18 || (token.size() > 1 && token[0] == QLatin1Char('0')))
        return std::nullopt;
    qsizetype index = 0;
    for (const QChar c : token) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        index = index * 10 + (c.unicode() - '0');
    }
    if (index >= size)
        return std::nullopt;
    return index;
}

} // namespace

std::optional<QJsonValue> resolveJsonPointer(const QJsonValue& document, QStringView pointer) {
    QString decoded;
    if (pointer.startsWith(QLatin1Char('#'))) {
        const QByteArray fragment = pointer.mid(1).toUtf8();
        decoded = QString::fromUtf8(QByteArray::fromPercentEncoding(fragment));
        pointer = decoded;
    }
    if (pointer.isEmpty())
        return document;
    if (pointer[0] != QLatin1Char('/'))
        return std::nullopt;

    QJsonValue current = document;
    qsizetype at = 1;
    for (;;) {
        qsizetype end = pointer.indexOf(QLatin1Char('/'), at);
        if (end < 0)
            end = pointer.size();
        const std::optional<QString> token = unescapedToken(pointer.mid(at, end - at));
        if (!token)
            return std::nullopt;
        if (current.isObject()) {
            const QJsonObject object = current.toObject();
            const auto it = object.constFind(*token);
            if (it == object.constEnd())
                return std::nullopt;
            current = it.value();
        } else if (current.isArray()) {
            const QJsonArray array = current.toArray();
            const std::optional<qsizetype> index = arrayIndex(*token, array.size());
            if (!index)
                return std::nullopt;
            current = array.at(*index);
        } else {
            return std::nullopt;
        }
        if (end == pointer.size())
            return current;
        at = end + 1;
    }
}

} // namespace corvalin
