#pragma once

#include "library/PlayList.h"
#include "library/SongNames.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace corvalin {

class TID3v2;
class TLongOperation;

// The song details of the play list editor without widgets: what the File and Tag tabs show,
// their Save Details, and Tag > File and File > Tag for one song. Every message comes back as text
// for the caller to show in an error box captioned kFileErrorCaption. Window thread.

inline const QString kFileErrorCaption = QStringLiteral("Corvalin Radio - File Error");
inline const QString kNoArtistOrTitle = QStringLiteral("You must enter an artist name or a title.");
inline const QString kNoTitleTag =
    QStringLiteral("You must enter a title tag to use as a file name.");
inline const QString kSaveFileDetailsQuestion =
    QStringLiteral("Do you want to save the changes to the FILE details?");
inline const QString kSaveTagDetailsQuestion =
    QStringLiteral("Do you want to save the changes to the TAG details?");
inline const QString kWarningCaption = QStringLiteral("Warning");
inline const QString kTagToFileAllQuestion = QStringLiteral(
    "Are you sure?\r\r(This will change the file name\rof every file in this list.)");
inline const QString kFileToTagAllQuestion =
    QStringLiteral("Are you sure?\r\r(This will change the tags\rin every file in this list.)");

QString FileMissingMessage(const QString& path);  // "The file ... does not exist."
QString NotMp3Message(const QString& path);       // "The file ... is not an MP3 file."
QString RenameFailedMessage(const QString& name); // "Unable to save new file name ...."
QString TagFailedMessage(const QString& path);    // "Unable to save tag to file ...."

// Artist, title and marks as one tab shows them.
struct TSongDetails {
    QString Artist;
    QString Title;
    TSongMarks Marks;
    bool operator==(const TSongDetails&) const = default;
};

// The File tab: from the file name (marks from the whole path). Empty for a missing file.
TSongDetails FileDetailsOf(const QString& path);
// The Tag tab: from the ID3v2 tag. Empty for a missing file, a file that is not an MP3, or one
// without a readable tag.
TSongDetails TagDetailsOf(const QString& path);

// "Loudness: -14.2 LUFS, peak -0.3 dBTP" when the station has measured the song as it is now (the
// loudness cache in `cacheFile`) or the song carries ReplayGain tags; empty otherwise. Reads only.
QString LoudnessDetailsOf(const QString& path, const QString& cacheFile);
QString LoudnessDetailsOf(const QString& path);

// A song file is there (a regular file, links followed; names as nativeFileName carries them).
bool SongExists(const QString& path);
// The name ends in ".mp3", any letter case.
bool IsMp3Name(const QString& path);

// What an operation on one song did.
struct TDetailResult {
    bool changed = false; // the song file was renamed or its tag written
    QString newPath;      // the song's path afterwards (changed or not), empty when not known
    QString message;      // a message for the operator, or empty
};

// The File tab's Save Details: the file gets the name built from `details` in its own folder,
// never replacing another file. A name equal to the present one is left as it is.
TDetailResult SaveFileDetails(const QString& path, const TSongDetails& details);

// The Tag tab's Save Details: the tag gets artist and title (an empty one is written empty) and
// the marks in its comment, through the safe tag writer.
TDetailResult SaveTagDetails(const QString& path, const TSongDetails& details);

// Tag > File for one song. `all`: the bulk pass, which renames when the tag has an artist or a
// title and never shows a message; otherwise the tag must have a title. Missing and non-MP3
// files are passed over in silence.
TDetailResult TagToFile(const QString& path, bool all);

// File > Tag for one song: artist, title and marks from its file name into its tag. `tag` is the
// caller's object, used for every song of a pass. Missing and non-MP3 files are passed over.
TDetailResult FileToTag(const QString& path, TID3v2& tag);

// File > Tag for every song of `paths` (each file once, however often it is listed), on up to
// `threads` worker threads: the safe tag writer waits for the disk on every file, and waits
// overlap. While they run, `operation` is told on the calling thread about every 40 ms the count
// of songs done and the total (to show progress and let window events through); once it asks to
// stop, no worker starts another song, the songs under way are finished and the call returns.
// Each tag is written whole or not at all. Returns the count of tags written.
int FileToTagAll(const QStringList& paths, int threads, TLongOperation* operation = nullptr);
// The same, with only a progress callback.
int FileToTagAll(const QStringList& paths, int threads,
                 const std::function<void(int done, int total)>& pump);

// Tag > File for every entry of `list`, from the first to the last: each song renamed from its
// tag takes its new path in the list; what cannot be renamed is passed over in silence.
// `operation` counts the entries done and may stop the pass before the next entry; every rename
// is whole (the song under its old name or under its new one). Returns the count renamed.
int TagToFileAll(TPlayListTable& list, TLongOperation* operation = nullptr);

} // namespace corvalin
