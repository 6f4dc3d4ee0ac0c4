#pragma once

#include <QString>
#include <array>
#include <cstddef>

namespace corvalin {

inline const QString kStreamSection = QStringLiteral("Stream");
// The station feeds up to this many Icecast outputs; the first keeps the historic section name.
inline constexpr std::size_t kStreamOutputCount = 3;
inline const std::array<QString, kStreamOutputCount> kStreamSections = {
    kStreamSection, QStringLiteral("Stream2"), QStringLiteral("Stream3")};
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
    QString Url; // the station's web site, told to listeners' directories
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
