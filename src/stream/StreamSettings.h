#pragma once

#include <QString>

namespace corvalin {

inline const QString kStreamSection = QStringLiteral("Stream");
inline const QString kStreamFormatMp3 = QStringLiteral("mp3");
inline const QString kStreamFormatOpus = QStringLiteral("opus");

// Where and how the station's program is sent to an Icecast server. Plain values; any thread.
struct StreamSettings {
    bool Enabled = false;
    QString Host;
    int Port = 8000;
    QString Mount = QStringLiteral("/radio");
    QString User = QStringLiteral("source");
    QString Password;                  // never shown, never written to a log or a message
    QString Format = kStreamFormatMp3; // "mp3" or "opus"
    int Bitrate = 128;                 // kbit/s
    QString Name;                      // empty: the station's name
    QString Description;
    QString Genre;
    bool Public = false;

    bool operator==(const StreamSettings&) const = default;
};

inline constexpr int kStreamPortMin = 1;
inline constexpr int kStreamPortMax = 65535;
inline constexpr int kStreamBitrateMin = 32;
inline constexpr int kStreamBitrateMax = 320;

// The settings as the encoder can use them: a known format (else "mp3"), the port and bitrate in
// range, a mount that starts with "/", the host and user trimmed.
StreamSettings normalisedStreamSettings(StreamSettings s);

// "host:port/mount": for hints and messages (no user, no password).
QString streamPlace(const StreamSettings& s);

} // namespace corvalin
