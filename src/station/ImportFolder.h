#pragma once

#include "library/Mp3Walk.h"
#include "station/SettingsStore.h"

#include <QString>
#include <QStringList>
#include <QTime>

namespace corvalin {

class RandomSource;

// The MP3 files under `folder`, every sub-folder included, taken by the bytes of their names
// (a Latin-1 name as well as a UTF-8 one), sorted by those bytes. Links are followed; a folder
// reached again is left out (CollectMp3Files).
TMp3Walk mp3FilesUnder(const QString& folder);

// The time slot (1 Morning .. 4 Late Night) named by `name`: the slot's name ("Morning",
// "Afternoon", "Evening", "Late Night" or "Midnight", as its list is called) ignoring case, or
// its number. 0 when it names none.
int slotFromName(const QString& name);

struct ImportResult {
    bool ok = false;
    int slot = 0;
    QString listPath; // the list written
    int songs = 0;
    QString error; // one line, when !ok
    // What was left out, each with its reason: folders that could not be opened, folders reached
    // again through a link, files whose name holds a line break (a list line cannot carry one).
    int unreadableFolders = 0;
    int repeatedFolders = 0;
    int unlistableNames = 0;
    // "" when nothing was left out, else "skipped: ..." naming each count and its reason.
    QString skippedText() const;
};

// --import-folder: writes the play list of `slot` (its PlayList setting in the store) from every
// MP3 file under `folder`, not played, in path order, with the same writer the station uses. A
// folder without MP3 files writes nothing.
ImportResult importFolder(const SettingsStore& store, const QString& folder, int slot,
                          const QTime& now, RandomSource& random);

} // namespace corvalin
