#include "stream/StreamSettings.h"

#include <algorithm>

namespace corvalin {

StreamSettings normalisedStreamSettings(StreamSettings s) {
    s.Host = s.Host.trimmed();
    s.User = s.User.trimmed();
    if (s.User.isEmpty())
        s.User = QStringLiteral("source");
    s.Format = s.Format.trimmed().toLower();
    if (s.Format != kStreamFormatOpus)
        s.Format = kStreamFormatMp3;
    s.Port = std::clamp(s.Port, kStreamPortMin, kStreamPortMax);
    s.Bitrate = std::clamp(s.Bitrate, kStreamBitrateMin, kStreamBitrateMax);
    s.Mount = s.Mount.trimmed();
    if (!s.Mount.startsWith(QLatin1Char('/')))
        s.Mount.prepend(QLatin1Char('/'));
    return s;
}

QString streamPlace(const StreamSettings& s) {
    return QStringLiteral("%1:%2%3").arg(s.Host).arg(s.Port).arg(s.Mount);
}

} // namespace corvalin
