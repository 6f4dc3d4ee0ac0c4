#pragma once

#include <QPixmap>
#include <QString>

namespace corvalin {

// The station's own pictures, painted at build time and compiled in under ":/artwork/".
// Window thread only (pixmaps).
namespace artwork {
inline QString path(const char* name) {
    return QStringLiteral(":/artwork/") + QString::fromLatin1(name);
}
QPixmap pixmap(const char* name);
} // namespace artwork

} // namespace corvalin
