#pragma once

#include <QByteArray>
#include <QString>

namespace corvalin::test {

// A short real MP3 without a tag (half a second of a tone), made once per test program.
const QByteArray& songBytes();

// Writes that song at `path` (its folder made as needed) and returns `path`.
QString makeSong(const QString& path);

} // namespace corvalin::test
