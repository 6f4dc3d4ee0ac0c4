#include "core/Helpers.h"
#include "feeds/ClockSync.h"
#include "feeds/NewsExtraction.h"
#include "feeds/PageText.h"

#include <cstddef>
#include <cstdint>

using namespace corvalin;

namespace {

// Characters, a surrogate pair counting once; -1 when a surrogate stands alone.
qsizetype characters(const QString& s) {
    qsizetype n = 0;
    for (qsizetype i = 0; i < s.size(); ++i, ++n) {
        if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
            ++i;
        else if (s[i].isSurrogate())
            return -1;
    }
    return n;
}

void check(bool ok) {
    if (!ok)
        __builtin_trap();
}

} // namespace

// The input is split at the first two NUL bytes into start marker, end marker and page; the
// page's first line, when it starts with "ct:", is its Content-Type header.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)parseDaytime(input, 2000);

    const QList<QByteArray> parts = input.split('\0');
    const QString start = QString::fromUtf8(parts.value(0));
    const QString end = QString::fromUtf8(parts.value(1));
    QByteArray body =
        parts.size() > 2 ? input.mid(parts[0].size() + parts[1].size() + 2) : QByteArray();
    QByteArray contentType;
    if (body.startsWith("ct:")) {
        const qsizetype eol = body.indexOf('\n');
        contentType = body.mid(3, eol < 0 ? -1 : eol - 3);
        body = eol < 0 ? QByteArray() : body.mid(eol + 1);
    }
    const QString page = decodePage(body, contentType);
    check(characters(page) >= 0);

    const QString pause = QStringLiteral("\\Pau=500\\");
    // Whatever the page holds, only the inserted pauses carry backslashes, and only whole ones.
    const QString headline = extractHeadline(page, start, end, pause);
    check(!QString(headline).remove(pause).contains(QLatin1Char('\\')));
    check(characters(headline) >= 0 && characters(headline) <= kMaxHeadlineChars);
    const QString temperature = extractTemperature(page, start, end);
    for (const QChar c : temperature)
        check(c >= QLatin1Char('0') && c <= QLatin1Char('9'));
    check(temperature.size() <= 23);
    const QString condition = extractCondition(page, start, end);
    const QString city = extractCity(page, start, end);
    check(characters(condition) >= 0 && characters(condition) <= 50);
    check(characters(city) >= 0 && characters(city) <= 30);
    check(!condition.contains(QLatin1Char('\\')));
    return 0;
}
