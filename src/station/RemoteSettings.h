#pragma once

#include "platform/FileSystem.h"

#include <QString>

namespace corvalin {

class SettingsStore;

inline const QString kRemoteSection = QStringLiteral("Remote");
inline const QString kRemoteTokenKey = QStringLiteral("Token");

// The web page that shows and steers the station from a browser ([Remote]; off by default). The
// token that lets a browser press the buttons lives in the credentials file beside the store,
// never in the settings file.
struct RemoteSettings {
    bool Enabled = false;
    QString Address = QStringLiteral("127.0.0.1");
    int Port = 8765;
    QString Token; // never shown on the log

    bool operator==(const RemoteSettings&) const = default;
};

// Whether `address` only lets this machine in (127.0.0.0/8, ::1, "localhost").
bool isLoopbackAddress(const QString& address);
// The page's address as a browser on this machine (or, for a wildcard address, elsewhere) would
// type it: "http://127.0.0.1:8765/".
QString remotePageUrl(const RemoteSettings& s);
// A fresh token: 32 random bytes from the system's source, base64url without padding.
QString newRemoteToken();

// [Remote] Enabled, Address, Port from the store SameSettings chooses, the token from the
// credentials file beside it.
RemoteSettings readRemoteSettings(const SettingsStore& store);
// Stores the token beside the store SameSettings chooses; an empty token removes it.
[[nodiscard]] FileResult writeRemoteToken(const SettingsStore& store, const QString& token);
// [Remote] Enabled, Address, Port into the store SameSettings chooses.
[[nodiscard]] FileResult writeRemoteSettings(const SettingsStore& store, const RemoteSettings& s);
// The first enable makes the token: when the page is on and no token is kept yet, one is made and
// stored. `s.Token` is the token in force afterwards (empty when it could not be stored).
[[nodiscard]] FileResult ensureRemoteToken(const SettingsStore& store, RemoteSettings& s);

} // namespace corvalin
