#include "feeds/ClockSync.h"
#include "feeds/NewsExtraction.h"

#include <cstddef>
#include <cstdint>

using namespace corvalin;

// The input is split at the first two NUL bytes into start marker, end marker and page.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)parseDaytime(input, 2000);

    const QList<QByteArray> parts = input.split('\0');
    const QString start = QString::fromUtf8(parts.value(0));
    const QString end = QString::fromUtf8(parts.value(1));
    const QString page = QString::fromUtf8(
        parts.size() > 2 ? input.mid(parts[0].size() + parts[1].size() + 2) : QByteArray());
    const QString pause = QStringLiteral("\\Pau=500\\");
    // Whatever the page holds, only the inserted pauses carry backslashes.
    if (extractHeadline(page, start, end, pause).remove(pause).contains(QLatin1Char('\\')))
        __builtin_trap();
    const QString temperature = extractTemperature(page, start, end);
    for (const QChar c : temperature)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            __builtin_trap();
    const QString condition = extractCondition(page, start, end);
    const QString city = extractCity(page, start, end);
    if (condition.size() > 50 || city.size() > 30 || condition.contains(QLatin1Char('\\')))
        __builtin_trap();
    return 0;
}
