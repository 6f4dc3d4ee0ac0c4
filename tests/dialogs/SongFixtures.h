#pragma once

#include <QByteArray>
#include <QString>

namespace corvalin::test {

// A short real MP3 without a tag (half a second of a tone), made once per test program.
const QByteArray& songBytes();

// Writes that song at `path` (its folder made as needed) and returns `path`.
QString makeSong(const QString& path);

// That song behind a small ID3v2.3 tag without padding: a Latin-1 artist and title (frames left
// out when empty) and an encoder settings frame ("TSSE"), which this program's tag writer does
// not keep, so any rewrite of the tag changes the file.
QByteArray taggedSongBytes(const QString& artist, const QString& title);

} // namespace corvalin::test
