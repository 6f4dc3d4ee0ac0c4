#pragma once

#include "platform/FileSystem.h"

#include <QString>

namespace corvalin {

// The DJ volume file "CorvalinRadio" (no extension) in the program folder: INI text holding
// [Volume] DJ, the DJ volume slider's value. Kept apart from the settings store so the slider's
// every change is saved at once.

QString djVolumeFilePath(const QString& programFolder);

// The stored value, or `def` when the file or the key is missing or malformed.
int readDJVolumeFile(const QString& programFolder, int def);

// Stores `value`. A file that exists but cannot be read is not replaced (its other content would
// be lost); the error comes back instead.
[[nodiscard]] FileResult writeDJVolumeFile(const QString& programFolder, int value);

} // namespace corvalin
