#pragma once

// What listeners are told about a stream besides its audio: the now-playing title of an MP3
// mount through Icecast's metadata update, and the stream's format in words. Internal to the
// stream library; any thread.

#include "stream/StreamSettings.h"

#include <QString>

namespace corvalin {

// Icecast's metadata update for a non-Ogg mount (/admin/metadata with the source credentials,
// libcurl; at most about 5 s). Returns an empty text on success, else why (never the password).
QString sendIcecastTitle(const StreamSettings& s, const QString& title);

// "MP3 128 kbit/s", "Opus 64 kbit/s".
QString streamFormatText(const StreamSettings& s);

} // namespace corvalin
