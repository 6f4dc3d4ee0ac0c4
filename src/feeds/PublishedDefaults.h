#pragma once

#include "core/IniFile.h"
#include "feeds/NewsDefinitions.h"

namespace corvalin {

// What merging the published defaults into the settings store found.
struct DefaultsCheck {
    // The values in force ([DJ5], each defaulting to the published value; the weather address
    // with the zip code).
    NewsDefinitions inForce;
    // Published defaults changed while the operator's values differed from the old ones, so the
    // operator's values were kept.
    bool defaultsChanged = false;
    // The published program version is newer than ours.
    bool newerVersion = false;
};

inline const QString kNewVersionText = QStringLiteral(
    "A new version of Corvalin Radio is available.\rSee the ABOUT box for download information.");
inline const QString kNewVersionCaption = QStringLiteral("New Version");
inline constexpr int kNewVersionDisplayMs = 30000;

// Merges the published defaults (`newsDef`, the text of "NewsDef.ini") into the settings store
// `store` without overwriting what the operator changed: a group (news; weather) whose published
// values changed is written into [DJ5] only when [DJ5] still holds the old defaults. The
// published values are then remembered in [Defaults]. The caller flushes the store afterwards.
// Pure; call it where the store is owned (the UI thread).
DefaultsCheck mergePublishedDefaults(const IniFile& newsDef, IniFile& store, const QString& zipCode,
                                     const QString& ownVersion);

} // namespace corvalin
