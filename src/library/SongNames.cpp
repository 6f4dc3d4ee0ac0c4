#include "library/SongNames.h"

#include "library/ID3v2.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <array>

namespace corvalin {

namespace {

constexpr std::array<char16_t, 5> kMarkOrder = {
    kMarkNeverAnnounce, kMarkNeverOverlap, kMarkExcludeFromCount, kMarkTheArtist, kMarkTheTitle};

bool isMark(QChar c) {
    return std::find(kMarkOrder.begin(), kMarkOrder.end(), c.unicode()) != kMarkOrder.end();
}

// The flag of `marks` that belongs to mark character `c`, in writing order.
bool& flagOf(TSongMarks& marks, std::size_t index) {
    switch (index) {
    case 0:
        return marks.NeverAnnounce;
    case 1:
        return marks.NeverOverlap;
    case 2:
        return marks.ExcludeFromCount;
    case 3:
        return marks.TheArtist;
    default:
        return marks.TheTitle;
    }
}

bool flagOf(const TSongMarks& marks, std::size_t index) {
    return flagOf(const_cast<TSongMarks&>(marks), index);
}

// "&" reads as "and", "_" as a blank; then trimmed, marks removed, trimmed again.
QString cleanPart(QStringView part) {
    QString text;
    text.reserve(part.size() + 8);
    for (const QChar c : part) {
        if (c == u'&')
            text += u"and";
        else if (c == u'_')
            text += u' ';
        else
            text += c;
    }
    text = TrimControl(text);
    text.removeIf(isMark);
    return TrimControl(text);
}

// 0-based index of the separator and its length, or -1.
std::pair<qsizetype, qsizetype> findSeparator(const QString& name) {
    const qsizetype spaced = name.indexOf(u" - ");
    if (spaced >= 0)
        return {spaced, 3};
    return {name.indexOf(u'-'), 1};
}

bool hasTrackNumber(const QString& name) {
    if (name.size() <= 4 || name.at(3) != u' ')
        return false;
    for (int i = 0; i < 3; ++i) {
        const char16_t c = name.at(i).unicode();
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

// A part of a name the writer uses: nothing that leaves the folder or reads back differently.
QString safePart(const QString& text) {
    QString part;
    part.reserve(text.size());
    for (const QChar c : TrimControl(text)) {
        const char16_t u = c.unicode();
        if (u == u'/' || u < 0x20 || u == 0x7F || (u >= 0x80 && u <= 0x9F))
            part += u'_';
        else if (!isMark(c))
            part += c;
    }
    return TrimControl(part);
}

// The longest start of `text` whose UTF-8 form fits in `maxBytes`, cut between characters.
QString cutToUtf8Bytes(const QString& text, qsizetype maxBytes) {
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        qsizetype units = 1;
        qsizetype size = 1;
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            units = 2;
            size = 4;
        } else if (c.unicode() >= 0x800) {
            size = 3;
        } else if (c.unicode() >= 0x80) {
            size = 2;
        }
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        i += units;
    }
    return text.left(i);
}

} // namespace

TSongMarks TSongMarks::of(const _rSong& song) {
    return {song.NeverAnnounce, song.NeverOverlap, song.ExcludeFromCount, song.TheArtist,
            song.TheTitle};
}

void TSongMarks::applyTo(_rSong& song) const {
    song.NeverAnnounce = NeverAnnounce;
    song.NeverOverlap = NeverOverlap;
    song.ExcludeFromCount = ExcludeFromCount;
    song.TheArtist = TheArtist;
    song.TheTitle = TheTitle;
}

TSongMarks MarksInText(const QString& text) {
    TSongMarks marks;
    for (std::size_t i = 0; i < kMarkOrder.size(); ++i)
        flagOf(marks, i) = text.contains(QChar(kMarkOrder[i]));
    return marks;
}

QString MarkCharacters(const TSongMarks& marks) {
    QString text;
    for (std::size_t i = 0; i < kMarkOrder.size(); ++i) {
        if (flagOf(marks, i))
            text += QChar(kMarkOrder[i]);
    }
    return text;
}

QString ArtistFromFileName(const QString& name) {
    if (name.isEmpty())
        return {};
    const qsizetype start = hasTrackNumber(name) ? 4 : 0;
    const qsizetype separator = findSeparator(name).first;
    if (separator < start)
        return {};
    return cleanPart(QStringView(name).mid(start, separator - start));
}

QString TitleFromFileName(const QString& name) {
    if (name.isEmpty())
        return {};
    const auto [separator, length] = findSeparator(name);
    const qsizetype start = separator >= 0 ? separator + length : 0;
    qsizetype end = -1; // one past the title's last character
    for (const char16_t* extension : {u".MP3", u".WMA", u".WAV"}) {
        end = name.indexOf(QStringView(extension), 0, Qt::CaseInsensitive);
        if (end >= 0)
            break;
    }
    if (end <= 0)
        end = name.size();
    if (end <= start)
        return {};
    return cleanPart(QStringView(name).mid(start, end - start));
}

QString ShownFileName(const QString& name) {
    // Windows-1252 for the bytes 0x80..0x9F, which Latin-1 leaves as control characters.
    static constexpr char16_t Cp1252[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    QString shown = name;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const char16_t u = shown.at(i).unicode();
        if (u < 0xDC80 || u > 0xDCFF || (i > 0 && shown.at(i - 1).isHighSurrogate()))
            continue;
        const char16_t byte = u - 0xDC00;
        shown[i] = QChar(byte < 0xA0 ? Cp1252[byte - 0x80] : byte);
    }
    return shown;
}

void LoadSongInfo(_rSong& song, int source, const QString& path) {
    song.FileName = path;
    QString fileArtist;
    QString fileTitle;
    TSongMarks fileMarks;
    QString tagArtist;
    QString tagTitle;
    TSongMarks tagMarks;

    // isRegularFile and ReadTag take the name as the system's bytes (see nativeFileName).
    if (isRegularFile(path)) {
        const QString name = ShownFileName(path.mid(path.lastIndexOf(u'/') + 1));
        fileArtist = ArtistFromFileName(name);
        fileTitle = TitleFromFileName(name);
        fileMarks = MarksInText(path);
        if (name.endsWith(u".mp3", Qt::CaseInsensitive)) {
            TID3v2 tag;
            if (tag.ReadFromFile(path) && tag.TagFound) {
                tagArtist = TrimControl(tag.Artist);
                tagTitle = TrimControl(tag.Title);
                tagMarks = MarksInText(tag.Comment);
            }
        }
    }

    switch (source) {
    case asTag:
        song.Artist = tagArtist;
        song.Title = tagTitle;
        tagMarks.applyTo(song);
        break;
    case asTagThenFileName:
        song.Artist = tagArtist.isEmpty() ? fileArtist : tagArtist;
        song.Title = tagTitle.isEmpty() ? fileTitle : tagTitle;
        (tagTitle.isEmpty() ? fileMarks : tagMarks).applyTo(song);
        break;
    default:
        song.Artist = fileArtist;
        song.Title = fileTitle;
        fileMarks.applyTo(song);
        break;
    }
}

std::optional<QString> SongFileName(const QString& artist, const QString& title,
                                    const TSongMarks& marks) {
    const QString a = safePart(artist);
    const QString t = safePart(title);
    QString stem;
    if (!a.isEmpty() && !t.isEmpty())
        stem = a + QStringLiteral(" - ") + t;
    else
        stem = a.isEmpty() ? t : a;

    const QString suffix = MarkCharacters(marks) + QStringLiteral(".mp3");
    constexpr qsizetype kMaxNameBytes = 255;
    const qsizetype room = kMaxNameBytes - suffix.toUtf8().size();
    if (stem.toUtf8().size() > room)
        stem = TrimControl(cutToUtf8Bytes(stem, room));

    if (stem.isEmpty() || stem == u"." || stem == u"..")
        return std::nullopt;
    return stem + suffix;
}

QString CommentWithMarks(const QString& comment, const TSongMarks& marks) {
    QString text = TrimControl(comment);
    for (std::size_t i = 0; i < kMarkOrder.size(); ++i) {
        const QChar mark(kMarkOrder[i]);
        if (flagOf(marks, i)) {
            if (!text.contains(mark))
                text.prepend(mark);
        } else {
            text.replace(mark, u' ');
        }
        text = TrimControl(text);
    }
    return text;
}

} // namespace corvalin
