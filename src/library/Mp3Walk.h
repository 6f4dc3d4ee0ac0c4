#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace corvalin {

// The walk over a music folder: every MP3 file by the bytes of its name, whatever its encoding.

// What a walk found under a folder (the play list editor's Add Dir, --import-folder).
struct TMp3Walk {
    QStringList files; // full paths, folder by folder: a folder's files, then its subfolders
    int unreadableFolders = 0; // folders that could not be opened, left out
    int repeatedFolders = 0;   // folders reached again through a link (loops), left out
};
// Every file named "*.mp3" (any letter case) under `folder`, recursively. Links are followed,
// but a folder already walked is never walked again, so a link loop ends. Names that are not
// UTF-8 come back as nativeFileName() carries them.
TMp3Walk CollectMp3Files(const QString& folder);

// The same walk, handing each folder's files (sorted, never none) to `found` as soon as the
// folder has been read; `files` of the result stays empty. `found` returning false ends the walk,
// and so does `keepGoing` returning false: it is asked before each folder and every few hundred
// names within one, so a whole disk or a slow share can be stopped at once.
TMp3Walk WalkMp3Files(const QString& folder,
                      const std::function<bool(const QStringList& files)>& found,
                      const std::function<bool()>& keepGoing = {});

} // namespace corvalin
