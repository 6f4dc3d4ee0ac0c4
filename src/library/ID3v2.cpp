// The ID3v2 tag's fields and what reading and writing both use: the text encodings, the frame
// header, the comment ranking and the file's first bytes.

#include "library/ID3v2.h"

#include "library/ID3v2Format.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace corvalin {

namespace id3 {

namespace {

bool fitsLatin1(const QString& text) {
    for (QChar c : text)
        if (c.unicode() > 0xFF)
            return false;
    return true;
}

} // namespace

void appendBigEndian(QByteArray& out, quint32 v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(static_cast<char>((v >> shift) & 0xFF));
}

bool isWide(int encoding) {
    return encoding == 1 || encoding == 2;
}

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

void appendFrame(QByteArray& out, const QByteArray& id, const QByteArray& body, quint8 flags1,
                 quint8 flags2) {
    out.append(id);
    appendBigEndian(out, static_cast<quint32>(body.size()));
    out.append(static_cast<char>(flags1));
    out.append(static_cast<char>(flags2));
    out.append(body);
}

qint64 declaredTagSize(const QByteArray& head) {
    qint64 size = 0;
    for (int i = 6; i < 10; ++i)
        size = size * 128 + byteAt(head, i);
    return size + ((byteAt(head, 5) & 0x10) ? 20 : 10);
}

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

} // namespace id3

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

} // namespace corvalin
