#include "library/ID3v2.h"

#include "platform/FileSystem.h"

#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace corvalin {

namespace {

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
constexpr int WrittenSlots = sLink + 1;

struct SlotName {
    const char* v3; // names of versions 2.3 and 2.4, and of the written tag
    const char* v2; // names of version 2.2
};
constexpr SlotName SlotNames[SlotCount] = {
    {"TIT2", "TT2"}, {"TPE1", "TP1"}, {"TALB", "TAL"}, {"TRCK", "TRK"},
    {"TYER", "TYE"}, {"TCON", "TCO"}, {"COMM", "COM"}, {"TCOM", "TCM"},
    {"TENC", "TEN"}, {"TCOP", "TCR"}, {"TLAN", "TLA"}, {"WXXX", "WXX"},
    {"TDRC", "TOR"}, {"TOPE", "TOA"}, {"TIT1", "TT1"}, {"TOAL", "TOT"}};

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

constexpr qint64 MaxTagBody = 0x0FFFFFFF; // what 28 bits of size can say

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

quint8 byteAt(const QByteArray& b, qsizetype i) {
    return static_cast<quint8>(b.at(i));
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

void appendBigEndian(QByteArray& out, quint32 v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(static_cast<char>((v >> shift) & 0xFF));
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

bool isWide(int encoding) {
    return encoding == 1 || encoding == 2;
}

// End of the string starting at `from`: the index of its terminator, or the size when there is
// none. UTF-16 terminators are searched on character boundaries only.
qsizetype terminatorAt(const QByteArray& b, qsizetype from, int encoding) {
    if (isWide(encoding)) {
        for (qsizetype i = from; i + 1 < b.size(); i += 2)
            if (b.at(i) == 0 && b.at(i + 1) == 0)
                return i;
        return b.size();
    }
    const qsizetype i = b.indexOf('\0', from);
    return i < 0 ? b.size() : i;
}

// Decodes `length` bytes at `data` in an ID3 text encoding, up to the first zero character.
QString decodeText(const char* data, qsizetype length, int encoding) {
    const auto* p = reinterpret_cast<const quint8*>(data);
    switch (encoding) {
    case 0: {
        qsizetype n = 0;
        while (n < length && p[n] != 0)
            ++n;
        return QString::fromLatin1(data, n);
    }
    case 1:
    case 2: {
        bool littleEndian = encoding == 1; // UTF-16 without byte-order mark: little-endian
        qsizetype i = 0;
        if (length >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
            littleEndian = true;
            i = 2;
        } else if (length >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
            littleEndian = false;
            i = 2;
        }
        QString text;
        text.reserve((length - i) / 2);
        for (; i + 1 < length; i += 2) {
            const char16_t unit = littleEndian ? static_cast<char16_t>(p[i] | (p[i + 1] << 8))
                                               : static_cast<char16_t>((p[i] << 8) | p[i + 1]);
            if (unit == 0)
                break;
            text.append(QChar(unit));
        }
        return text;
    }
    case 3: {
        qsizetype i = 0;
        if (length >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF)
            i = 3;
        qsizetype n = i;
        while (n < length && p[n] != 0)
            ++n;
        return QString::fromUtf8(data + i, n - i);
    }
    default:
        return {};
    }
}

// Reads the string at `pos` and moves `pos` past its terminator.
QString readString(const QByteArray& b, qsizetype& pos, int encoding) {
    const qsizetype end = terminatorAt(b, pos, encoding);
    const QString text = decodeText(b.constData() + pos, end - pos, encoding);
    pos = qMin(b.size(), end + (isWide(encoding) ? 2 : 1));
    return text;
}

bool fitsLatin1(const QString& text) {
    for (QChar c : text)
        if (c.unicode() > 0xFF)
            return false;
    return true;
}

// The encoding a written frame uses: ISO-8859-1 when every character fits, else UTF-16.
int chooseEncoding(const QStringList& texts) {
    for (const QString& t : texts)
        if (!fitsLatin1(t))
            return 1;
    return 0;
}

void appendString(QByteArray& out, const QString& text, int encoding, bool terminate) {
    if (encoding == 0) {
        out.append(text.toLatin1());
        if (terminate)
            out.append('\0');
        return;
    }
    out.append("\xFF\xFE", 2);
    for (QChar c : text) {
        out.append(static_cast<char>(c.unicode() & 0xFF));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    if (terminate)
        out.append("\0\0", 2);
}

void appendFrame(QByteArray& out, const QByteArray& id, const QByteArray& body, quint8 flags1 = 0,
                 quint8 flags2 = 0) {
    out.append(id);
    appendBigEndian(out, static_cast<quint32>(body.size()));
    out.append(static_cast<char>(flags1));
    out.append(static_cast<char>(flags2));
    out.append(body);
}

QByteArray textBody(const QString& text) {
    const int encoding = chooseEncoding({text});
    QByteArray body(1, static_cast<char>(encoding));
    appendString(body, text, encoding, false);
    return body;
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

// The tag size the header declares, header and footer included (bytes as they stand).
qint64 declaredTagSize(const QByteArray& head) {
    qint64 size = 0;
    for (int i = 6; i < 10; ++i)
        size = size * 128 + byteAt(head, i);
    return size + ((byteAt(head, 5) & 0x10) ? 20 : 10);
}

// How well a comment frame fits as the one holding the song marks: the marks live in the comment
// without description, which this program writes in English. Described comments are other
// programs' notes; one is shown only when there is no plain comment, and never iTunes' machine
// data (iTunNORM, iTunSMPB...).
enum class CommentRank { PlainEnglish, Plain, Described, None };

CommentRank rankComment(const QByteArray& body) {
    if (body.size() < 4 || byteAt(body, 0) > 3)
        return CommentRank::None;
    const int encoding = byteAt(body, 0);
    const qsizetype end = terminatorAt(body, 4, encoding);
    const QString description =
        end < body.size() ? decodeText(body.constData() + 4, end - 4, encoding) : QString();
    if (description.isEmpty())
        return body.mid(1, 3) == "eng" ? CommentRank::PlainEnglish : CommentRank::Plain;
    return description.startsWith(u"iTun") ? CommentRank::None : CommentRank::Described;
}

// The rank of a kept 2.3 frame when it is a readable comment, as a later read would see it.
CommentRank rankKeptFrame(const QByteArray& frame) {
    if (frame.size() < 10 || !frame.startsWith("COMM"))
        return CommentRank::None;
    const quint8 flags2 = byteAt(frame, 9);
    if (flags2 & 0xC0) // compressed or encrypted
        return CommentRank::None;
    return rankComment(frame.mid((flags2 & 0x20) ? 11 : 10));
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

// The managed fields as 2.3 frames, in slot order. `others` are the frames written after them.
QByteArray managedFrames(const TID3v2& tag, const QList<QByteArray>& others) {
    QByteArray out;
    const QString texts[WrittenSlots] = {
        tag.Title,   tag.Artist, tag.Album,    tag.Track ? QString::number(tag.Track) : QString(),
        tag.Year,    tag.Genre,  QString(),    tag.Composer,
        tag.Encoder, tag.Rights, tag.Language, QString()};
    for (int s = 0; s < WrittenSlots; ++s) {
        const QByteArray id = SlotNames[s].v3;
        if (s == sComment) {
            // An empty comment is still written when another comment would otherwise take its
            // place on the next read.
            if (tag.Comment.isEmpty() &&
                std::none_of(others.begin(), others.end(), [](const QByteArray& frame) {
                    return rankKeptFrame(frame) < CommentRank::None;
                }))
                continue;
            const int encoding = chooseEncoding({tag.Comment});
            QByteArray body(1, static_cast<char>(encoding));
            body.append("eng");
            appendString(body, QString(), encoding, true);
            appendString(body, tag.Comment, encoding, false);
            appendFrame(out, id, body);
        } else if (s == sLink) {
            if (tag.Link.isEmpty())
                continue;
            // The URL itself is always ISO-8859-1: other characters are percent-encoded.
            QByteArray url;
            for (QChar c : tag.Link)
                url.append(c.unicode() <= 0xFF ? QByteArray(1, static_cast<char>(c.unicode()))
                                               : QUrl::toPercentEncoding(QString(c)));
            appendFrame(out, id, QByteArray("\0\0", 2) + url);
        } else if (!texts[s].isEmpty()) {
            appendFrame(out, id, textBody(texts[s]));
        }
    }
    return out;
}

// Full-length I/O on a descriptor, retried on interruption.
bool writeAllAt(int fd, const char* data, qint64 size, qint64 offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, static_cast<size_t>(size), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
        offset += n;
    }
    return true;
}

qint64 readAt(int fd, char* data, qint64 size, qint64 offset) {
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, data + done, static_cast<size_t>(size - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

// The file's first bytes: its tag when it has one (bounded by the file), else the 10 header
// bytes. Empty when fewer than 10 bytes could be read. The tag is read into one buffer of its
// final size: a cover picture is read once and never moved.
QByteArray readHead(int fd, qint64 fileLength) {
    char first[10];
    if (readAt(fd, first, 10, 0) != 10)
        return {};
    const QByteArray header = QByteArray::fromRawData(first, 10);
    const qint64 wanted = header.startsWith("ID3") ? qMin(declaredTagSize(header), fileLength) : 10;
    if (wanted <= 10)
        return QByteArray(first, 10);
    QByteArray head(wanted, Qt::Uninitialized);
    std::copy(first, first + 10, head.data());
    const qint64 got = readAt(fd, head.data() + 10, wanted - 10, 10);
    if (got < 0)
        return {};
    head.resize(10 + got);
    return head;
}

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

QString TrimControl(const QString& text) {
    const auto trimmable = [](QChar c) {
        const char16_t u = c.unicode();
        return u <= 0x20 || (u >= 0x7F && u <= 0x9F) || c.isSpace();
    };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && trimmable(text.at(begin)))
        ++begin;
    while (end > begin && trimmable(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

void TID3v2::ClearTag() {
    TagFound = false;
    Version = 0;
    TagSize = 0;
    Track = 0;
    for (QString* text : {&Title, &Artist, &Album, &TrackText, &Year, &Genre, &Comment, &Composer,
                          &Encoder, &Rights, &Language, &Link})
        text->clear();
    OtherFrames.clear();
}

void TID3v2::SetTitle(const QString& text) {
    Title = TrimControl(text);
}

void TID3v2::SetArtist(const QString& text) {
    Artist = TrimControl(text);
}

void TID3v2::SetComment(const QString& text) {
    Comment = TrimControl(text);
}

bool TID3v2::ParseTag(const QByteArray& head, qint64 fileLength) {
    return parseHead(*this, head, fileLength, nullptr);
}

QByteArray TID3v2::RenderFrames() const {
    QByteArray out = managedFrames(*this, OtherFrames);
    for (const QByteArray& frame : OtherFrames)
        out.append(frame);
    return out;
}

QByteArray TID3v2::RenderTag(const QByteArray& frames, qint64 padding) {
    const qint64 body = frames.size() + qMax<qint64>(padding, 0);
    QByteArray tag("ID3\x03\x00\x00", 6);
    for (int shift = 21; shift >= 0; shift -= 7)
        tag.append(static_cast<char>((body >> shift) & 0x7F));
    tag.append(frames);
    if (padding > 0)
        tag.append(QByteArray(padding, '\0'));
    return tag;
}

TID3v2::WritePlan TID3v2::PlanWrite(const QByteArray& head, qint64 fileLength) const {
    WritePlan plan;
    TID3v2 old;
    if (!old.ParseTag(head, fileLength))
        return plan;
    // The frames not managed here are taken from the tag being replaced.
    QByteArray frames = managedFrames(*this, old.OtherFrames);
    for (const QByteArray& frame : old.OtherFrames)
        frames.append(frame);
    const qint64 needed = 10 + frames.size();
    const qint64 existing = old.TagSize;
    plan.Rewrite = !old.TagFound || existing < needed || existing > RewriteSize;
    const qint64 padding = plan.Rewrite ? RewriteSize - needed : existing - needed;
    if (frames.size() + qMax<qint64>(padding, 0) > MaxTagBody)
        return plan;
    plan.Tag = RenderTag(frames, padding);
    // An implausible old tag is left in place behind the new one: where the audio starts is
    // unknown.
    plan.AudioOffset = old.TagFound ? existing : 0;
    plan.ok = true;
    return plan;
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

bool TID3v2::WriteTag(const QString& fileName) {
    // A link is followed: the tag is written into the file it names, and the link stays.
    char* resolved = ::realpath(nativeFileName(fileName).constData(), nullptr);
    if (!resolved)
        return false;
    const QByteArray song(resolved);
    std::free(resolved);
    Descriptor in(openRegularFile(song, O_RDONLY));
    struct stat info {};
    if (in.get() < 0 || ::fstat(in.get(), &info) != 0)
        return false;
    const QByteArray head = readHead(in.get(), info.st_size);
    const WritePlan plan = PlanWrite(head, info.st_size);
    if (!plan.ok)
        return false;

    // A read-only song is made writable for its owner first, as a tag editor is asked to change
    // it; refused, nothing is written.
    mode_t mode = info.st_mode & 07777;
    if (!(mode & S_IWUSR)) {
        mode |= S_IWUSR;
        if (::fchmod(in.get(), mode) != 0)
            return false;
    }

    if (!plan.Rewrite) {
        if (plan.Tag.size() > plan.AudioOffset)
            return false; // never write past the old tag
        Descriptor out(openRegularFile(song, O_WRONLY));
        struct stat now {};
        if (out.get() < 0 || ::fstat(out.get(), &now) != 0 || now.st_ino != info.st_ino ||
            now.st_dev != info.st_dev)
            return false; // the song was replaced meanwhile
        bool ok = writeAllAt(out.get(), plan.Tag.constData(), plan.Tag.size(), 0);
        ok = ::fsync(out.get()) == 0 && ok;
        return out.close() && ok;
    }

    // Rebuilt beside the song under a unique name and renamed over it: the song is whole at
    // every moment, and nothing left by an earlier crash stands in the way.
    const auto copy = [&](int out) {
        if (!writeAllAt(out, plan.Tag.constData(), plan.Tag.size(), 0))
            return EIO;
        qint64 from = plan.AudioOffset;
        qint64 to = plan.Tag.size();
        QByteArray buffer(1 << 20, '\0');
        for (;;) {
            const qint64 n = readAt(in.get(), buffer.data(), buffer.size(), from);
            if (n < 0)
                return EIO;
            if (n == 0)
                break;
            if (!writeAllAt(out, buffer.constData(), n, to))
                return EIO;
            from += n;
            to += n;
        }
        if (from < info.st_size)
            return EIO; // the song shrank while it was copied
        if (::fchown(out, info.st_uid, info.st_gid) != 0) {
            // Not the owner: the copy keeps ours, as any editor's save would.
        }
        return 0;
    };
    if (replaceFileAtomically(song, copy))
        return true;
    // Only the folder sync after the rename may have failed: then the new tag is in place.
    struct stat now {};
    return ::stat(song.constData(), &now) == 0 && now.st_ino != info.st_ino;
}

} // namespace corvalin
