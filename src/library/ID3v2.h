#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace corvalin {

// The ID3v2 tag at the start of an MP3 file. Tags of versions 2.2, 2.3 and 2.4 are read; the tag
// is always written back as version 2.3. Texts are held as QString; a tag's text frames may be
// ISO-8859-1, UTF-16 (with byte-order mark, either order), UTF-16BE or UTF-8.
//
// Frames this class does not manage (pictures, lyrics, other text frames...) are kept when the tag
// is written: unchanged from a 2.3 tag, converted from 2.2 and 2.4 tags; only frames that 2.3
// cannot express are dropped.
//
// An object is used by one thread at a time; separate objects may be used on any threads.
class TID3v2 {
public:
    TID3v2() { ClearTag(); }

    bool TagFound = false; // the data starts with "ID3"
    quint8 Version = 0;    // major version of that tag (2, 3 and 4 are understood)
    qint32 TagSize = 0;    // bytes of that tag, header (and footer) included; 0 when implausible

    QString Title;
    QString Artist;
    QString Album;
    quint16 Track = 0; // the number before any "/", 0 when not a number
    QString TrackText; // the track frame as read
    QString Year;
    QString Genre;
    // The song marks live here: the comment without description (English first). Only when the
    // tag has none is a described one shown (never iTunes' data such as iTunNORM); the comments
    // not shown are kept among OtherFrames and written back.
    QString Comment;
    QString Composer;
    QString Encoder;
    QString Rights;
    QString Language;
    QString Link;

    // Frames read but not managed above, each a complete version 2.3 frame (header and content),
    // in the order of the tag. Written after the managed frames.
    QList<QByteArray> OtherFrames;

    // Empties every field.
    void ClearTag();

    // Reads the tag of the file at `fileName` (see nativeFileName). True when the first 10 bytes
    // could be read, whether or not they hold a tag (TagFound tells). Never throws; a missing or
    // short file, or anything that is not a regular file (a FIFO, a device), gives false with
    // every field empty, without waiting on it.
    bool ReadTag(const QString& fileName);
    bool ReadFromFile(const QString& path) { return ReadTag(path); }

    // Writes the managed fields as a 2.3 tag into the file, keeping the audio and the frames of
    // the file's present tag that are not managed here. The tag is overwritten in place when the
    // old one is large enough and at most 4096 bytes; otherwise the file is rebuilt beside the
    // song under a unique temporary name and renamed over it, so a failure never harms the song
    // and no left-over file blocks a later write. True on success; false when nothing was
    // written (also for anything that is not a regular file).
    bool WriteTag(const QString& fileName);

    // Store the text trimmed of blanks and control characters at both ends.
    void SetTitle(const QString& text);
    void SetArtist(const QString& text);
    void SetComment(const QString& text);

    // --- Byte-level parts, without file I/O ---

    // Parses `head`, the first bytes of a file of `fileLength` bytes (the whole tag, or as much of
    // it as the file holds). Same result and fields as ReadTag.
    bool ParseTag(const QByteArray& head, qint64 fileLength);

    // The managed fields and OtherFrames as 2.3 frames, in slot order then OtherFrames.
    QByteArray RenderFrames() const;

    // A complete 2.3 tag holding `frames` followed by `padding` zero bytes.
    static QByteArray RenderTag(const QByteArray& frames, qint64 padding);

    // What WriteTag puts into a file that starts with `head` and is `fileLength` bytes long.
    struct WritePlan {
        bool ok = false;        // false: nothing can be written (fewer than 10 bytes, tag too big)
        bool Rewrite = false;   // rebuild the file; otherwise overwrite its first Tag.size() bytes
        QByteArray Tag;         // the new tag
        qint64 AudioOffset = 0; // where the data after the old tag starts
    };
    WritePlan PlanWrite(const QByteArray& head, qint64 fileLength) const;

    // Largest tag written when the file is rebuilt, unless the frames need more.
    static constexpr qint64 RewriteSize = 4096;
};

// Text trimmed of blanks and control characters at both ends.
QString TrimControl(const QString& text);

} // namespace corvalin
