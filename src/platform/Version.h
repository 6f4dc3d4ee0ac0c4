#pragma once

#include <QString>

namespace corvalin {

// The program's version, compiled in from the build's project version ("0.1.0").
inline QString programVersion() {
    return QStringLiteral(CORVALIN_VERSION_TEXT);
}

// The legal notice shown beside the version.
inline QString legalNotice() {
    return QStringLiteral("(c) Corvalin Radio developers");
}

} // namespace corvalin
