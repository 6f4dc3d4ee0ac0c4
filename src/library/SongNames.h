#pragma once

#include "core/Types.h"

#include <QString>
#include <optional>

namespace corvalin {

// Artist, title and the five per-song marks carried in a song's file name ("001 Artist -
// Title~.mp3") or in its ID3v2 tag (artist and title frames, marks as characters in the comment).
// Pure functions; any thread.

// The mark characters, in the order names and comments are written.
inline constexpr char16_t kMarkNeverAnnounce = u'~';
inline constexpr char16_t kMarkNeverOverlap = u'[';
inline constexpr char16_t kMarkExcludeFromCount = u']';
inline constexpr char16_t kMarkTheArtist = u'`';
inline constexpr char16_t kMarkTheTitle = u'^';

struct TSongMarks {
    bool NeverAnnounce = false;
    bool NeverOverlap = false;
    bool ExcludeFromCount = false;
    bool TheArtist = false;
    bool TheTitle = false;

    bool operator==(const TSongMarks&) const = default;
    static TSongMarks of(const _rSong& song);
    void applyTo(_rSong& song) const;
};

// Each mark whose character occurs anywhere in `text` (a whole path, or a tag comment).
TSongMarks MarksInText(const QString& text);
// The characters of the marks that are set, in writing order ("~[]`^").
QString MarkCharacters(const TSongMarks& marks);

// The artist in a file name without folder, trimmed, marks removed; empty when the name has no
// separator (" - ", else "-") after the optional track number ("001 ").
QString ArtistFromFileName(const QString& name);
// The title: from after the separator up to the first ".mp3", ".wma" or ".wav" (any case), or
// the whole name when there is no separator; trimmed, marks removed.
QString TitleFromFileName(const QString& name);

// A file name (without folder) as text to show and speak: the bytes a name that is not UTF-8
// carries as nativeFileName() escapes are read as Windows-1252 (the older stations' code page).
QString ShownFileName(const QString& name);

// Which source LoadSongInfo takes artist, title and marks from (the station's ArtistSource).
enum TArtistSource : int {
    asFileName = 0,       // the file name; marks from the whole path
    asTag = 1,            // the ID3v2 tag; marks from its comment
    asTagThenFileName = 2 // the tag; what it lacks from the file name (marks too, without title)
};

// Fills `song` from the file at `path` by `source` (other values act as asFileName): FileName,
// Artist, Title and the five marks; the two other texts are left alone. A missing file gives empty
// artist and title and no marks; a file that is not an MP3, or has no readable tag, gives empty
// tag values. Never fails. Reads the file: call it off the audio threads.
void LoadSongInfo(_rSong& song, int source, const QString& path);

// The file name (without folder) the play list editor gives a song: Artist + " - " + Title (or
// whichever is non-empty), the marks that are set, ".mp3". The name always stays in the song's
// folder: "/", NUL and control characters become "_", mark characters are left out of artist and
// title (they would read back as marks), and a name longer than 255 bytes of UTF-8 is cut at a
// character boundary before the marks. Empty when no usable name results (nothing but blanks,
// "." or "..").
std::optional<QString> SongFileName(const QString& artist, const QString& title,
                                    const TSongMarks& marks);

// The tag comment with the marks stored in it: going through the marks in writing order, a set
// mark the comment lacks is put in front, a cleared mark's character is replaced by a blank
// everywhere, and the comment is trimmed after each step.
QString CommentWithMarks(const QString& comment, const TSongMarks& marks);

} // namespace corvalin
