#pragma once

// The byte layout of ID3v2 tags that the tag's reader and writer share. Only the ID3v2 sources use
// it.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <unistd.h>

namespace corvalin::id3 {

// The frames read into fields. The first 12 are written back; the last 4 are only fallbacks.
enum Slot {
    sTitle,
    sArtist,
    sAlbum,
    sTrack,
    sYear,
    sGenre,
    sComment,
    sComposer,
    sEncoder,
    sRights,
    sLanguage,
    sLink,
    sDate,
    sOriginalArtist,
    sTitleGroup,
    sOriginalAlbum,
    SlotCount
};
inline constexpr int WrittenSlots = sLink + 1;

struct SlotName {
    const char* v3; // names of versions 2.3 and 2.4, and of the written tag
    const char* v2; // names of version 2.2
};
inline constexpr SlotName SlotNames[SlotCount] = {
    {"TIT2", "TT2"}, {"TPE1", "TP1"}, {"TALB", "TAL"}, {"TRCK", "TRK"},
    {"TYER", "TYE"}, {"TCON", "TCO"}, {"COMM", "COM"}, {"TCOM", "TCM"},
    {"TENC", "TEN"}, {"TCOP", "TCR"}, {"TLAN", "TLA"}, {"WXXX", "WXX"},
    {"TDRC", "TOR"}, {"TOPE", "TOA"}, {"TIT1", "TT1"}, {"TOAL", "TOT"}};

inline quint8 byteAt(const QByteArray& b, qsizetype i) {
    return static_cast<quint8>(b.at(i));
}

void appendBigEndian(QByteArray& out, quint32 v);

// Text encodings 0 ISO-8859-1, 1 UTF-16 with byte-order mark, 2 UTF-16BE, 3 UTF-8.
bool isWide(int encoding);
// End of the string starting at `from`: the index of its terminator, or the size when there is
// none. UTF-16 terminators are searched on character boundaries only.
qsizetype terminatorAt(const QByteArray& b, qsizetype from, int encoding);
// Decodes `length` bytes at `data` in an ID3 text encoding, up to the first zero character.
QString decodeText(const char* data, qsizetype length, int encoding);
// The encoding a written frame uses: ISO-8859-1 when every character fits, else UTF-16.
int chooseEncoding(const QStringList& texts);
void appendString(QByteArray& out, const QString& text, int encoding, bool terminate);
// A 2.3 frame: its header, then `body`.
void appendFrame(QByteArray& out, const QByteArray& id, const QByteArray& body, quint8 flags1 = 0,
                 quint8 flags2 = 0);

// The tag size the header declares, header and footer included (bytes as they stand).
qint64 declaredTagSize(const QByteArray& head);

// How well a comment frame fits as the one holding the song marks: the marks live in the comment
// without description, which this program writes in English. Described comments are other
// programs' notes; one is shown only when there is no plain comment, and never iTunes' machine
// data (iTunNORM, iTunSMPB...).
enum class CommentRank { PlainEnglish, Plain, Described, None };

CommentRank rankComment(const QByteArray& body);

// Reads up to `size` bytes at `offset`, retried on interruption; the count read, -1 on an error.
qint64 readAt(int fd, char* data, qint64 size, qint64 offset);
// The file's first bytes: its tag when it has one (bounded by the file), else the 10 header
// bytes. Empty when fewer than 10 bytes could be read. The tag is read into one buffer of its
// final size: a cover picture is read once and never moved.
QByteArray readHead(int fd, qint64 fileLength);

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

} // namespace corvalin::id3
