// Writing the fields as an ID3v2.3 tag: the frames, the tag, where it goes in the file, and the
// safe write into the song.

#include "library/ID3v2.h"
#include "library/ID3v2Format.h"
#include "platform/FileSystem.h"

#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvalin {

using namespace id3;

namespace {

constexpr qint64 MaxTagBody = 0x0FFFFFFF; // what 28 bits of size can say

QByteArray textBody(const QString& text) {
    const int encoding = chooseEncoding({text});
    QByteArray body(1, static_cast<char>(encoding));
    appendString(body, text, encoding, false);
    return body;
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

} // namespace

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
