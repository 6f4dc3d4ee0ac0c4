#include "voice/speech/SpeechMarkup.h"

#include <QXmlStreamReader>
#include <cstddef>
#include <cstdint>

using namespace corvalin;

namespace {

// Code points in well-formed UTF-8 (the SSML is always well-formed).
std::size_t codePoints(const QByteArray& s) {
    std::size_t n = 0;
    for (const char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray tagged(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const SpeechMarkup m = taggedTextToSsml(tagged);

    // espeak-ng gets the text as a C string.
    if (m.ssml.contains('\0') || QString::fromUtf8(m.ssml).toUtf8() != m.ssml)
        __builtin_trap();

    QXmlStreamReader xml(m.ssml);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto name = xml.name();
        if (name == u"break") {
            const QStringView time = xml.attributes().value(QLatin1String("time"));
            if (!time.endsWith(u"ms"))
                __builtin_trap();
            bool ok = false;
            const int ms = time.chopped(2).toInt(&ok);
            if (!ok || ms < 0 || ms > kMaxPauseMs)
                __builtin_trap();
        } else if (name == u"mark") {
            bool ok = false;
            (void)xml.attributes().value(QLatin1String("name")).toUInt(&ok);
            if (!ok)
                __builtin_trap();
        } else if (name != u"speak" && name != u"emphasis") {
            __builtin_trap();
        }
    }
    if (xml.hasError())
        __builtin_trap();

    if (m.taggedLength != tagged.size() || m.taggedOffsets.size() != codePoints(m.ssml))
        __builtin_trap();
    int previous = 0;
    for (const int offset : m.taggedOffsets) {
        if (offset < previous || offset > m.taggedLength)
            __builtin_trap();
        previous = offset;
    }
    const int count = static_cast<int>(m.taggedOffsets.size());
    for (const int position : {-1 << 30, 0, 1, count / 2, count, count + 1, 1 << 30}) {
        const int offset = m.taggedOffsetForPosition(position);
        if (offset < 0 || offset > m.taggedLength)
            __builtin_trap();
    }
    return 0;
}
