// Tag reads against TagLib on the same files in the same run: a generated set of 2000 songs, 1800
// without a picture and 200 with a 200 kB cover picture (half of each in 2.3 tags, half in 2.4),
// read by TID3v2::ReadTag and by TagLib::MPEG::File (tags only, no audio properties), which is
// what a tag editor or library scanner built on TagLib does. Prints microseconds per file for
// each subset and reader, and the ratio ours / TagLib.
//
//   bench_library_tag_bench [passes=5] [songs=2000] [picture kB=200]
//
// Each pass reads every file of a subset once with each reader, the readers' order alternating
// from pass to pass; the median pass counts, and the fastest and slowest are printed beside it.

#include "library/ID3v2.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <vector>

using namespace corvalin;

namespace {

QByteArray bigEndian(quint32 v) {
    QByteArray out;
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(static_cast<char>((v >> shift) & 0xFF));
    return out;
}

QByteArray syncsafe(quint32 v) {
    QByteArray out;
    for (int shift = 21; shift >= 0; shift -= 7)
        out.append(static_cast<char>((v >> shift) & 0x7F));
    return out;
}

QByteArray frame(int version, const char* id, const QByteArray& body) {
    return QByteArray(id) +
           (version == 4 ? syncsafe(quint32(body.size())) : bigEndian(quint32(body.size()))) +
           QByteArray(2, '\0') + body;
}

QByteArray text(const QByteArray& value) {
    return QByteArray(1, '\0') + value;
}

// A tag as taggers write it: the usual text frames, a comment, and optionally a front cover.
QByteArray makeTag(int version, int song, qsizetype pictureBytes) {
    const QByteArray n = QByteArray::number(song);
    QByteArray frames;
    frames += frame(version, "TIT2", text("Song Number " + n));
    frames += frame(version, "TPE1", text("Artist " + QByteArray::number(song % 97)));
    frames += frame(version, "TALB", text("Album " + QByteArray::number(song % 211)));
    frames += frame(version, "TRCK", text(QByteArray::number(song % 14 + 1) + "/14"));
    frames += frame(version, version == 4 ? "TDRC" : "TYER", text("1998"));
    frames += frame(version, "TCON", text("(17)Rock"));
    frames += frame(version, "COMM", QByteArray("\0eng\0never overlap", 19));
    frames += frame(version, "TENC", text("LAME 3.100"));
    frames += frame(version, "TXXX", text(QByteArray("replaygain_track_gain\0-6.20 dB", 30)));
    if (pictureBytes > 0) {
        QByteArray picture(pictureBytes, '\0');
        quint32 x = 2463534242u + quint32(song);
        for (qsizetype i = 0; i < picture.size(); ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            picture[i] = static_cast<char>(x & 0xFF);
        }
        picture[0] = '\xFF';
        picture[1] = '\xD8'; // a JPEG start, as a cover is
        frames += frame(version, "APIC", QByteArray("\0image/jpeg\0\x03\0", 14) + picture);
    }
    const qsizetype padding = 1024;
    return QByteArray("ID3") + char(version) + QByteArray(2, '\0') +
           syncsafe(quint32(frames.size() + padding)) + frames + QByteArray(padding, '\0');
}

bool makeAudio(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral("sine=f=440:r=44100:d=2"), QStringLiteral("-c:a"),
             QStringLiteral("libmp3lame"), QStringLiteral("-b:a"), QStringLiteral("128k"),
             QStringLiteral("-write_xing"), QStringLiteral("0"), QStringLiteral("-id3v2_version"),
             QStringLiteral("0"), path});
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

double nowUs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

struct Song {
    QString name;
    QByteArray native;
    QString title; // what both readers must find
};

// Microseconds per file for one reader over `songs`; false when a reader got a title wrong.
double ours(const std::vector<Song>& songs, bool& ok) {
    const double start = nowUs();
    for (const Song& s : songs) {
        TID3v2 tag;
        if (!tag.ReadTag(s.name) || tag.Title != s.title)
            ok = false;
    }
    return (nowUs() - start) / static_cast<double>(songs.size());
}

double taglib(const std::vector<Song>& songs, bool& ok) {
    const double start = nowUs();
    for (const Song& s : songs) {
        TagLib::MPEG::File file(s.native.constData(), false);
        const TagLib::ID3v2::Tag* tag = file.isValid() ? file.ID3v2Tag() : nullptr;
        if (!tag || QString::fromStdWString(tag->title().toWString()) != s.title)
            ok = false;
    }
    return (nowUs() - start) / static_cast<double>(songs.size());
}

struct Figures {
    std::vector<double> ours, theirs;
};

void printRow(const char* subset, std::size_t files, Figures f) {
    std::sort(f.ours.begin(), f.ours.end());
    std::sort(f.theirs.begin(), f.theirs.end());
    const std::size_t mid = f.ours.size() / 2;
    std::printf("%-18s %6zu %8.1f (%5.1f..%5.1f) %8.1f (%5.1f..%5.1f) %7.2f\n", subset, files,
                f.ours[mid], f.ours.front(), f.ours.back(), f.theirs[mid], f.theirs.front(),
                f.theirs.back(), f.ours[mid] / f.theirs[mid]);
}

} // namespace

int main(int argc, char** argv) {
    const int passes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int count = argc > 2 ? std::max(10, std::atoi(argv[2])) : 2000;
    const qsizetype pictureBytes = argc > 3 ? std::max(1, std::atoi(argv[3])) * 1000 : 200000;

    QTemporaryDir dir;
    const QString audioPath = dir.filePath(QStringLiteral("audio.mp3"));
    if (!dir.isValid() || !makeAudio(audioPath)) {
        std::fprintf(stderr, "cannot make the audio with ffmpeg\n");
        return 1;
    }
    QFile audioFile(audioPath);
    if (!audioFile.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray audio = audioFile.readAll();

    // One song in ten has a picture: 200 of 2000.
    std::vector<Song> plain, pictured;
    for (int i = 0; i < count; ++i) {
        const bool picture = i % 10 == 0;
        const int version = (i / 10) % 2 == 0 ? 3 : 4;
        Song s;
        s.name = dir.filePath(QStringLiteral("Artist %1 - Song Number %2.mp3").arg(i % 97).arg(i));
        s.native = QFile::encodeName(s.name);
        s.title = QStringLiteral("Song Number %1").arg(i);
        QFile f(s.name);
        if (!f.open(QIODevice::WriteOnly) ||
            f.write(makeTag(version, i, picture ? pictureBytes : 0) + audio) < 0) {
            std::fprintf(stderr, "cannot write %s\n", s.native.constData());
            return 1;
        }
        (picture ? pictured : plain).push_back(s);
    }

    bool ok = true;
    Figures plainFigures, picturedFigures;
    ours(plain, ok); // warm the page cache and both libraries
    taglib(plain, ok);
    ours(pictured, ok);
    taglib(pictured, ok);
    for (int pass = 0; pass < passes; ++pass) {
        for (auto [songs, figures] :
             {std::pair{&plain, &plainFigures}, std::pair{&pictured, &picturedFigures}}) {
            if (pass % 2 == 0) {
                figures->ours.push_back(ours(*songs, ok));
                figures->theirs.push_back(taglib(*songs, ok));
            } else {
                figures->theirs.push_back(taglib(*songs, ok));
                figures->ours.push_back(ours(*songs, ok));
            }
        }
    }
    if (!ok) {
        std::fprintf(stderr, "a reader did not find a title it should have\n");
        return 1;
    }
    std::printf("tag reads, %d songs, %d passes (median, fastest..slowest), us per file\n", count,
                passes);
    std::printf("%-18s %6s %23s %23s %7s\n", "subset", "files", "ours", "TagLib", "ratio");
    printRow("without picture", plain.size(), plainFigures);
    char label[32];
    std::snprintf(label, sizeof label, "picture %lld kB",
                  static_cast<long long>(pictureBytes / 1000));
    printRow(label, pictured.size(), picturedFigures);
    std::printf("goal: ratio below 1 in both subsets\n");
    return 0;
}
