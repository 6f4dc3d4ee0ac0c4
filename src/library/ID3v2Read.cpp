// Reading an ID3v2 tag (versions 2.2, 2.3 and 2.4) into the fields, keeping the frames not
// managed here as 2.3 frames.

#include "library/ID3v2.h"
#include "library/ID3v2Format.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace corvalin {

using namespace id3;

namespace {

// 2.2 frames that have a 2.3 form with the same content (PIC is converted apart).
constexpr const char* V22Names[][2] = {
    {"BUF", "RBUF"}, {"CNT", "PCNT"}, {"COM", "COMM"}, {"CRA", "AENC"}, {"ETC", "ETCO"},
    {"EQU", "EQUA"}, {"GEO", "GEOB"}, {"IPL", "IPLS"}, {"MCI", "MCDI"}, {"MLL", "MLLT"},
    {"POP", "POPM"}, {"REV", "RVRB"}, {"RVA", "RVAD"}, {"SLT", "SYLT"}, {"STC", "SYTC"},
    {"TAL", "TALB"}, {"TBP", "TBPM"}, {"TCM", "TCOM"}, {"TCO", "TCON"}, {"TCR", "TCOP"},
    {"TDA", "TDAT"}, {"TDY", "TDLY"}, {"TEN", "TENC"}, {"TFT", "TFLT"}, {"TIM", "TIME"},
    {"TKE", "TKEY"}, {"TLA", "TLAN"}, {"TLE", "TLEN"}, {"TMT", "TMED"}, {"TOA", "TOPE"},
    {"TOF", "TOFN"}, {"TOL", "TOLY"}, {"TOR", "TORY"}, {"TOT", "TOAL"}, {"TP1", "TPE1"},
    {"TP2", "TPE2"}, {"TP3", "TPE3"}, {"TP4", "TPE4"}, {"TPA", "TPOS"}, {"TPB", "TPUB"},
    {"TRC", "TSRC"}, {"TRD", "TRDA"}, {"TRK", "TRCK"}, {"TSI", "TSIZ"}, {"TSS", "TSSE"},
    {"TT1", "TIT1"}, {"TT2", "TIT2"}, {"TT3", "TIT3"}, {"TXT", "TEXT"}, {"TXX", "TXXX"},
    {"TYE", "TYER"}, {"UFI", "UFID"}, {"ULT", "USLT"}, {"WAF", "WOAF"}, {"WAR", "WOAR"},
    {"WAS", "WOAS"}, {"WCM", "WCOM"}, {"WCP", "WCOP"}, {"WPB", "WPUB"}, {"WXX", "WXXX"}};

// 2.4 frames that version 2.3 has no name for.
constexpr const char* V24Only[] = {"ASPI", "EQU2", "RVA2", "SEEK", "SIGN", "TDEN",
                                   "TDOR", "TDRC", "TDRL", "TDTG", "TIPL", "TMCL",
                                   "TMOO", "TPRO", "TSOA", "TSOP", "TSOT", "TSST"};

// `length` bytes of `whole` from `from`, sharing its buffer: nothing is copied, and the buffer
// lives as long as any part of it does. A part is changed (and then copied) like any shared
// QByteArray. Not terminated by a zero byte.
QByteArray slice(const QByteArray& whole, qsizetype from, qsizetype length) {
    if (length <= 0)
        return QByteArray();
    QByteArray part = whole;
    part.data_ptr().ptr += from;
    part.data_ptr().size = length;
    return part;
}

quint32 bigEndian(const QByteArray& b, qsizetype at, int count) {
    quint32 v = 0;
    for (int i = 0; i < count; ++i)
        v = (v << 8) | byteAt(b, at + i);
    return v;
}

quint32 syncsafe(const QByteArray& b, qsizetype at) {
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 7) | (byteAt(b, at + i) & 0x7F);
    return v;
}

bool isUpper(char c) {
    return c >= 'A' && c <= 'Z';
}

bool isFrameId(QByteArrayView id) {
    for (char c : id)
        if (!isUpper(c) && !(c >= '0' && c <= '9'))
            return false;
    return true;
}

// Whether a 2.3/2.4 frame ending at `next` is followed by what may follow a frame: the end of the
// frames, padding (nothing but zeros from `dataEnd` on), or the header of another frame.
bool landsOnBoundary(const QByteArray& frames, qint64 next, qsizetype dataEnd) {
    if (next > frames.size())
        return false;
    if (next >= dataEnd)
        return true;
    return next + 10 <= frames.size() && isUpper(frames.at(next)) &&
           isFrameId(QByteArrayView(frames).sliced(next, 4));
}

// The size of the 2.4 frame at `pos`. It should be syncsafe, but some taggers write a plain
// number. As other readers do, the plain number is taken when the syncsafe reading cannot be one
// (a top bit is set), or when only the plain one leads to a boundary.
qint64 frameSize24(const QByteArray& frames, qsizetype pos, qsizetype dataEnd) {
    const qint64 plain = bigEndian(frames, pos + 4, 4);
    for (int i = 4; i < 8; ++i)
        if (byteAt(frames, pos + i) & 0x80)
            return plain;
    const qint64 safe = syncsafe(frames, pos + 4);
    if (safe == plain || landsOnBoundary(frames, pos + 10 + safe, dataEnd))
        return safe;
    if (landsOnBoundary(frames, pos + 10 + plain, dataEnd))
        return plain;
    return safe;
}

// Whether a 2.3 or 2.4 frame starts at `pos` and ends where a frame may end (see landsOnBoundary).
bool wholeFrameAt(const QByteArray& frames, qsizetype pos, int version, qsizetype dataEnd) {
    if (pos + 10 > frames.size() || !isUpper(frames.at(pos)) ||
        !isFrameId(QByteArrayView(frames).sliced(pos, 4)))
        return false;
    const qint64 size =
        version == 3 ? qint64(bigEndian(frames, pos + 4, 4)) : frameSize24(frames, pos, dataEnd);
    return landsOnBoundary(frames, pos + 10 + size, dataEnd);
}

// Undoes unsynchronisation: every FF 00 becomes FF.
QByteArray resync(const QByteArray& in) {
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        out.append(in.at(i));
        if (byteAt(in, i) == 0xFF && i + 1 < in.size() && in.at(i + 1) == 0)
            ++i;
    }
    return out;
}

// Reads the string at `pos` and moves `pos` past its terminator.
QString readString(const QByteArray& b, qsizetype& pos, int encoding) {
    const qsizetype end = terminatorAt(b, pos, encoding);
    const QString text = decodeText(b.constData() + pos, end - pos, encoding);
    pos = qMin(b.size(), end + (isWide(encoding) ? 2 : 1));
    return text;
}

// A 2.4 frame body whose strings are UTF-16BE or UTF-8, re-encoded as 2.3 allows. Nothing when
// the frame's layout is not known here.
std::optional<QByteArray> reencodeFor23(const QByteArray& id, const QByteArray& body) {
    static const QByteArrayList encodedFrames = {"COMM", "USLT", "WXXX", "APIC", "GEOB",
                                                 "SYLT", "USER", "OWNE", "COMR"};
    if (body.isEmpty() || (!id.startsWith('T') && !encodedFrames.contains(id)))
        return body; // no text encoding byte
    const int encoding = byteAt(body, 0);
    if (encoding < 2)
        return body;
    if (encoding > 3)
        return std::nullopt;
    qsizetype pos = 1;
    int strings = -1; // -1: strings up to the end of the frame
    if (id == "COMM" || id == "USLT") {
        pos += 3;
    } else if (id == "WXXX") {
        strings = 1;
    } else if (id == "APIC") {
        const qsizetype mimeEnd = body.indexOf('\0', pos);
        if (mimeEnd < 0)
            return std::nullopt;
        pos = mimeEnd + 2; // MIME type, its terminator, the picture type
        strings = 1;
    } else if (!id.startsWith('T')) {
        return std::nullopt;
    }
    if (pos > body.size())
        return std::nullopt;
    const QByteArray prefix = body.mid(1, pos - 1);
    QStringList texts;
    while (pos < body.size() && (strings < 0 || texts.size() < strings))
        texts.append(readString(body, pos, encoding));
    while (strings > 0 && texts.size() < strings)
        texts.append(QString());
    const int out = chooseEncoding(texts);
    QByteArray result(1, static_cast<char>(out));
    result.append(prefix);
    for (qsizetype i = 0; i < texts.size(); ++i)
        appendString(result, texts.at(i), out, strings > 0 || i + 1 < texts.size());
    if (strings > 0)
        result.append(body.mid(pos));
    return result;
}

// A 2.2 picture (image format in 3 letters) as a 2.3 picture (MIME type).
std::optional<QByteArray> pictureFor23(const QByteArray& body) {
    if (body.size() < 5)
        return std::nullopt;
    const QByteArray format = body.mid(1, 3).toUpper();
    QByteArray mime;
    if (format == "JPG")
        mime = "image/jpeg";
    else if (format == "-->")
        mime = "-->";
    else
        mime = "image/" + format.toLower();
    QByteArray out = body.left(1);
    out.append(mime);
    out.append('\0');
    out.append(body.mid(4));
    return out;
}

QString slotText(const QByteArray& body) {
    if (body.isEmpty())
        return {};
    return TrimControl(decodeText(body.constData() + 1, body.size() - 1, byteAt(body, 0)));
}

QString commentText(const QByteArray& body) {
    if (body.size() < 4)
        return {};
    const int encoding = byteAt(body, 0);
    const qsizetype end = terminatorAt(body, 4, encoding);
    // Without a terminator there is no description: the rest is the text.
    qsizetype pos = end < body.size() ? end + (isWide(encoding) ? 2 : 1) : 4;
    pos = qMin(pos, body.size());
    return TrimControl(decodeText(body.constData() + pos, body.size() - pos, encoding));
}

QString linkText(const QByteArray& body) {
    if (body.isEmpty())
        return {};
    const int encoding = byteAt(body, 0);
    const qsizetype end = terminatorAt(body, 1, encoding);
    qsizetype pos = end < body.size() ? end + (isWide(encoding) ? 2 : 1) : 1;
    pos = qMin(pos, body.size());
    return TrimControl(
        decodeText(body.constData() + pos, body.size() - pos, 0)); // URLs are Latin-1
}

QString stripGenreReferences(const QString& text) {
    QString genre = TrimControl(text);
    // "(17)Rock" reads as Rock; "((" starts a text that begins with "(".
    while (genre.startsWith(u'(') && !genre.startsWith(u"((")) {
        const qsizetype close = genre.indexOf(u')');
        if (close < 0)
            break;
        genre = TrimControl(genre.mid(close + 1));
    }
    return genre;
}

class FrameReader {
public:
    FrameReader(TID3v2& tag, QByteArray (&slots)[SlotCount]) : tag_(tag), slots_(slots) {}

    // Reads the frames of `head`, a whole tag. Kept frames are slices of it where their bytes
    // can stand as a 2.3 frame; `writable`, when given, is head's own buffer, which nobody else
    // shares yet: a kept frame's header may then be rewritten there in its 2.3 form.
    void read(const QByteArray& head, char* writable) {
        const quint8 flags = byteAt(head, 5);
        const qint64 bodySize = declaredTagSize(head) - ((flags & 0x10) ? 20 : 10);
        // Slices must not outlive bytes that head does not own.
        const bool rawData = !const_cast<QByteArray&>(head).data_ptr().d_ptr();
        const QByteArray owned = rawData ? QByteArray(head.constData(), head.size()) : head;
        region_ = slice(owned, 10, qMin<qint64>(bodySize, head.size() - 10));
        writable_ = writable && owned.constData() == head.constData() ? writable + 10 : nullptr;
        const QByteArray& region = region_;
        const int version = tag_.Version;
        if (version == 2 && (flags & 0x40))
            return; // a compressed 2.2 tag: no scheme was ever defined
        if (version < 4 && (flags & 0x80)) {
            region_ = resync(region_);
            writable_ = region_.data(); // a new buffer of our own
        }
        tagUnsync_ = version == 4 && (flags & 0x80);
        qsizetype dataEnd = region.size(); // where the padding starts
        while (dataEnd > 0 && region.at(dataEnd - 1) == 0)
            --dataEnd;
        qsizetype pos = 0;
        // Some taggers flag an extended header they never write. Its size cannot begin with a
        // letter, so a whole frame standing in its place shows that the frames start there.
        if (version >= 3 && (flags & 0x40) && !wholeFrameAt(region, 0, version, dataEnd)) {
            if (region.size() < 4)
                return;
            pos = version == 3 ? 4 + qsizetype(bigEndian(region, 0, 4)) : syncsafe(region, 0);
        }
        const int headerSize = version == 2 ? 6 : 10;
        const int idSize = version == 2 ? 3 : 4;
        while (pos >= 0 && pos + headerSize <= region.size() && isUpper(region.at(pos))) {
            const qint64 size = version == 2   ? bigEndian(region, pos + 3, 3)
                                : version == 3 ? bigEndian(region, pos + 4, 4)
                                               : frameSize24(region, pos, dataEnd);
            if (size > region.size() - pos - headerSize)
                break; // runs past the tag
            const QByteArray id = region.mid(pos, idSize);
            const QByteArray body = slice(region, pos + headerSize, size);
            const qsizetype kept = tag_.OtherFrames.size();
            comment_.reset();
            framePos_ = pos;
            if (version == 2)
                frame22(id, body);
            else if (version == 3)
                frame23(id, byteAt(region, pos + 8), byteAt(region, pos + 9), body);
            else
                frame24(id, byteAt(region, pos + 8), byteAt(region, pos + 9), body);
            if (comment_) {
                comment_->kept = tag_.OtherFrames.size() > kept ? kept : -1;
                comments_.push_back(*comment_);
            }
            pos += headerSize + size;
        }
    }

    // Picks the comment the fields show (the others stay among OtherFrames). Call after read().
    void chooseComment() {
        const Comment* best = nullptr;
        for (const Comment& c : comments_)
            if (c.rank < CommentRank::None && (!best || c.rank < best->rank))
                best = &c;
        if (!best)
            return;
        slots_[sComment] = best->body;
        if (best->kept >= 0)
            tag_.OtherFrames.removeAt(best->kept);
    }

private:
    // Stores a readable frame in its slot; true when the slot is one the writer manages.
    // Comments are not stored at once: every comment frame is kept like an unmanaged frame, and
    // chooseComment() later takes the one the fields show out of the kept ones.
    bool offer(const QByteArray& id, const QByteArray& body, bool readable) {
        for (int s = 0; s < SlotCount; ++s) {
            if (id != (tag_.Version < 3 ? SlotNames[s].v2 : SlotNames[s].v3))
                continue;
            if (s == sComment) {
                if (readable)
                    comment_ = Comment{body, rankComment(body), -1};
                return false;
            }
            if (readable && !body.isEmpty() && byteAt(body, 0) <= 3)
                slots_[s] = body;
            return s < WrittenSlots;
        }
        return false;
    }

    // Keeps a frame as a 2.3 frame. When `body` is still the very bytes that follow the header
    // of the frame being read (versions 3 and 4), the frame is a slice of the tag, its header
    // rewritten in place when it differs and the tag's buffer is ours; else it is built anew.
    void keep(const QByteArray& id, const QByteArray& body, quint8 flags1 = 0, quint8 flags2 = 0) {
        if (!isFrameId(id))
            return;
        QByteArray header = id;
        appendBigEndian(header, static_cast<quint32>(body.size()));
        header.append(static_cast<char>(flags1));
        header.append(static_cast<char>(flags2));
        const qsizetype at = framePos_;
        const bool inPlace = tag_.Version >= 3 && at >= 0 && !body.isEmpty() &&
                             body.constData() == region_.constData() + at + 10;
        if (inPlace) {
            const QByteArrayView present(region_.constData() + at, 10);
            if (present == header) {
                tag_.OtherFrames.append(slice(region_, at, 10 + body.size()));
                return;
            }
            if (writable_) {
                std::copy(header.cbegin(), header.cend(), writable_ + at);
                tag_.OtherFrames.append(slice(region_, at, 10 + body.size()));
                return;
            }
        }
        QByteArray frame;
        frame.reserve(10 + body.size());
        frame.append(header);
        frame.append(body);
        tag_.OtherFrames.append(frame);
    }

    void frame22(const QByteArray& id, const QByteArray& body) {
        if (offer(id, body, true))
            return;
        if (id == "PIC") {
            if (const auto picture = pictureFor23(body))
                keep("APIC", *picture);
            return;
        }
        for (const auto& names : V22Names)
            if (id == names[0]) {
                keep(names[1], body);
                return;
            }
    }

    void frame23(const QByteArray& id, quint8 flags1, quint8 flags2, const QByteArray& body) {
        const bool packed = flags2 & 0xC0; // compressed or encrypted
        const bool grouped = flags2 & 0x20;
        if (grouped && body.isEmpty())
            return;
        if (offer(id, grouped ? slice(body, 1, body.size() - 1) : body, !packed))
            return;
        if (!(flags1 & 0x80)) // unless the frame asks to be dropped when the tag changes
            keep(id, body, flags1 & 0xE0, flags2 & 0xE0);
    }

    void frame24(const QByteArray& id, quint8 flags1, quint8 flags2, const QByteArray& body) {
        const bool grouped = flags2 & 0x40;
        const bool packed = flags2 & 0x0C; // compressed or encrypted
        qsizetype pos = 0;
        if (grouped)
            pos += 1;
        if (flags2 & 0x04)
            pos += 1; // encryption method
        if (flags2 & 0x01)
            pos += 4; // data length indicator
        if (pos > body.size())
            return;
        QByteArray data = slice(body, pos, body.size() - pos);
        if (!packed && ((flags2 & 0x02) || tagUnsync_))
            data = resync(data);
        if (offer(id, data, !packed))
            return;
        if (packed || (flags1 & 0x40))
            return;
        for (const char* name : V24Only)
            if (id == name)
                return;
        const auto converted = reencodeFor23(id, data);
        if (!converted)
            return;
        const quint8 status = ((flags1 & 0x20) ? 0x40 : 0) | ((flags1 & 0x10) ? 0x20 : 0);
        keep(id, grouped ? body.left(1) + *converted : *converted, status, grouped ? 0x20 : 0);
    }

    struct Comment {
        QByteArray body;
        CommentRank rank;
        qsizetype kept; // its index in OtherFrames, -1 when it was not kept
    };

    TID3v2& tag_;
    QByteArray (&slots_)[SlotCount];
    QByteArray region_;        // the frames (and padding) of the tag
    char* writable_ = nullptr; // region_'s bytes, when they may be rewritten
    qsizetype framePos_ = -1;  // where the frame being read starts in region_
    bool tagUnsync_ = false;
    std::optional<Comment> comment_; // the comment frame being read
    std::vector<Comment> comments_;
};

// ParseTag, where `writable` (when given) is head's own unshared buffer, which the frame reader
// may change.
bool parseHead(TID3v2& tag, const QByteArray& head, qint64 fileLength, char* writable) {
    tag.ClearTag();
    if (head.size() < 10)
        return false;
    if (!head.startsWith("ID3"))
        return true;
    tag.TagFound = true;
    tag.Version = byteAt(head, 3);
    const qint64 size = declaredTagSize(head);
    tag.TagSize = size > fileLength ? 0 : static_cast<qint32>(size);
    if (tag.Version < 2 || tag.Version > 4 || tag.TagSize == 0)
        return true;

    QByteArray slots[SlotCount];
    FrameReader reader(tag, slots);
    reader.read(head, writable);
    reader.chooseComment();

    const auto orText = [&](Slot first, Slot fallback) {
        const QString text = slotText(slots[first]);
        return text.isEmpty() ? slotText(slots[fallback]) : text;
    };
    tag.Title = orText(sTitle, sTitleGroup);
    tag.Artist = orText(sArtist, sOriginalArtist);
    tag.Album = orText(sAlbum, sOriginalAlbum);
    tag.TrackText = slotText(slots[sTrack]);
    bool number = false;
    const uint track = TrimControl(tag.TrackText.section(u'/', 0, 0)).toUInt(&number);
    tag.Track = number && track <= 0xFFFF ? static_cast<quint16>(track) : 0;
    tag.Year = slotText(slots[sYear]);
    if (tag.Year.isEmpty())
        tag.Year = TrimControl(slotText(slots[sDate]).left(4));
    tag.Genre = stripGenreReferences(slotText(slots[sGenre]));
    tag.Comment = commentText(slots[sComment]);
    tag.Composer = slotText(slots[sComposer]);
    tag.Encoder = slotText(slots[sEncoder]);
    tag.Rights = slotText(slots[sRights]);
    tag.Language = slotText(slots[sLanguage]);
    tag.Link = linkText(slots[sLink]);
    return true;
}

} // namespace

bool TID3v2::ParseTag(const QByteArray& head, qint64 fileLength) {
    return parseHead(*this, head, fileLength, nullptr);
}

bool TID3v2::ReadTag(const QString& fileName) {
    ClearTag();
    // Only a regular file is read: a FIFO or a device would block or never end.
    Descriptor in(openRegularFile(nativeFileName(fileName), O_RDONLY));
    struct stat info {};
    if (in.get() < 0 || ::fstat(in.get(), &info) != 0)
        return false;
    QByteArray head = readHead(in.get(), info.st_size);
    // The buffer is ours alone: kept frames may be rewritten in it as 2.3 frames.
    return parseHead(*this, head, info.st_size, head.isEmpty() ? nullptr : head.data());
}

} // namespace corvalin
