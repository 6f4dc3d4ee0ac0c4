#include "dialogs/SongDetails.h"

#include "audio/LoudnessScanner.h"
#include "dialogs/LongOperation.h"
#include "dialogs/PlayListEditor.h"
#include "library/ID3v2.h"
#include "platform/FileSystem.h"

#include <QSet>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace corvalin {

QString FileMissingMessage(const QString& path) {
    return QStringLiteral("The file ") + path + QStringLiteral(" does not exist.");
}

QString NotMp3Message(const QString& path) {
    return QStringLiteral("The file ") + path + QStringLiteral(" is not an MP3 file.");
}

QString RenameFailedMessage(const QString& name) {
    return QStringLiteral("Unable to save new file name ") + name + QStringLiteral(".");
}

QString TagFailedMessage(const QString& path) {
    return QStringLiteral("Unable to save tag to file ") + path + QStringLiteral(".");
}

namespace {

TSongDetails detailsOf(const QString& path, int source) {
    _rSong song;
    LoadSongInfo(song, source, path);
    return {song.Artist, song.Title, TSongMarks::of(song)};
}

QString folderOf(const QString& path) {
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// The name as it would read before it is made safe for the folder: what the operator is told
// when no usable name results.
QString plainName(const QString& artist, const QString& title, const TSongMarks& marks) {
    QString stem = !artist.isEmpty() && !title.isEmpty() ? artist + QStringLiteral(" - ") + title
                   : artist.isEmpty()                    ? title
                                                         : artist;
    return stem + MarkCharacters(marks) + QStringLiteral(".mp3");
}

// Gives the song its new name in its folder; `message` only when `report` is set.
TDetailResult renameSong(const QString& path, const TSongDetails& details, bool report) {
    const QString artist = details.Artist.trimmed();
    const QString title = details.Title.trimmed();
    TDetailResult result;
    result.newPath = path;
    const std::optional<QString> name = SongFileName(artist, title, details.Marks);
    if (!name) {
        if (report)
            result.message = RenameFailedMessage(plainName(artist, title, details.Marks));
        return result;
    }
    const QString target = folderOf(path) + *name;
    if (target == path)
        return result;
    if (!renameNoReplace(path, target)) {
        if (report)
            result.message = RenameFailedMessage(*name);
        return result;
    }
    result.changed = true;
    result.newPath = target;
    return result;
}

} // namespace

TSongDetails FileDetailsOf(const QString& path) {
    return detailsOf(path, asFileName);
}

TSongDetails TagDetailsOf(const QString& path) {
    return detailsOf(path, asTag);
}

bool SongExists(const QString& path) {
    return !path.isEmpty() && isRegularFile(path);
}

bool IsMp3Name(const QString& path) {
    return path.endsWith(QStringLiteral(".mp3"), Qt::CaseInsensitive);
}

TDetailResult SaveFileDetails(const QString& path, const TSongDetails& details) {
    if (details.Artist.trimmed().isEmpty() && details.Title.trimmed().isEmpty())
        return {false, path, kNoArtistOrTitle};
    if (!SongExists(path))
        return {false, path, FileMissingMessage(path)};
    return renameSong(path, details, true);
}

TDetailResult SaveTagDetails(const QString& path, const TSongDetails& details) {
    if (!SongExists(path))
        return {false, path, FileMissingMessage(path)};
    if (!IsMp3Name(path))
        return {false, path, NotMp3Message(path)};
    TID3v2 tag;
    tag.ReadTag(path);
    tag.SetArtist(details.Artist);
    tag.SetTitle(details.Title);
    tag.SetComment(CommentWithMarks(tag.Comment, details.Marks));
    if (!tag.WriteTag(path))
        return {false, path, TagFailedMessage(path)};
    return {true, path, {}};
}

TDetailResult TagToFile(const QString& path, bool all) {
    if (!SongExists(path) || !IsMp3Name(path))
        return {false, path, {}};
    const TSongDetails fromTag = TagDetailsOf(path);
    if (all) {
        if (fromTag.Artist.isEmpty() && fromTag.Title.isEmpty())
            return {false, path, {}};
    } else if (fromTag.Title.isEmpty()) {
        return {false, path, kNoTitleTag};
    }
    // A failed rename is passed over in silence, for one song as for all.
    return renameSong(path, fromTag, false);
}

TDetailResult FileToTag(const QString& path, TID3v2& tag) {
    if (!SongExists(path) || !IsMp3Name(path))
        return {false, path, {}};
    const QString name = NameWithoutFolder(path);
    tag.ReadTag(path);
    tag.SetArtist(ArtistFromFileName(name));
    tag.SetTitle(TitleFromFileName(name));
    // The marks of the name alone: a folder's "~" is no mark of this song's tag.
    tag.SetComment(CommentWithMarks(tag.Comment, MarksInText(name)));
    return {tag.WriteTag(path), path, {}};
}

int FileToTagAll(const QStringList& paths, int threads, TLongOperation* operation) {
    // Two entries for one file would have two threads writing it at once.
    QStringList songs;
    QSet<QString> seen;
    for (const QString& path : paths) {
        if (!seen.contains(path)) {
            seen.insert(path);
            songs.append(path);
        }
    }
    const int total = static_cast<int>(songs.size());
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    std::atomic<int> written{0};
    std::mutex mutex;
    std::condition_variable finished;
    int running = std::clamp(threads, 1, std::max(total, 1));

    const auto work = [&] {
        TID3v2 tag; // one object per thread serves its whole share
        // The stop is read before each song is taken: a song taken is written to its end.
        while (!(operation && operation->stopRequested())) {
            const int i = next++;
            if (i >= total)
                break;
            if (FileToTag(songs.at(i), tag).changed)
                ++written;
            ++done;
        }
        const std::lock_guard<std::mutex> lock(mutex);
        if (--running == 0)
            finished.notify_all();
    };
    std::vector<std::thread> workers;
    const int count = running;
    workers.reserve(static_cast<std::size_t>(count));
    for (int t = 0; t < count; ++t)
        workers.emplace_back(work);
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (running > 0) {
            finished.wait_for(lock, std::chrono::milliseconds(40));
            if (operation && running > 0) {
                lock.unlock();
                // The workers read the request themselves.
                static_cast<void>(operation->next(done.load(), total));
                lock.lock();
            }
        }
    }
    for (std::thread& worker : workers)
        worker.join();
    if (operation) {
        // Stopped only when songs were left undone.
        operation->setStopped(done.load() < total);
        operation->finished(done.load(), total);
    }
    return written.load();
}

int FileToTagAll(const QStringList& paths, int threads,
                 const std::function<void(int done, int total)>& pump) {
    TLongOperation operation(pump);
    return FileToTagAll(paths, threads, &operation);
}

int TagToFileAll(TPlayListTable& list, TLongOperation* operation) {
    const int total = list.rowCount();
    int renamed = 0;
    int row = 0;
    for (; row < total; ++row) {
        if (operation && !operation->next(row, total))
            break;
        const TDetailResult result = TagToFile(list.cell(row, plcFileName), true);
        if (result.changed) {
            list.setCell(row, plcFileName, result.newPath);
            ++renamed;
        }
    }
    if (operation)
        operation->finished(row, total);
    return renamed;
}

QString LoudnessDetailsOf(const QString& path, const QString& cacheFile) {
    std::optional<LoudnessInfo> info;
    if (const std::optional<FileStamp> stamp = stampOf(path)) {
        LoudnessCache cache(cacheFile);
        if (cache.load())
            info = cache.find(path, *stamp);
        if (!info)
            info = readReplayGain(path);
    }
    return info ? QStringLiteral("Loudness: ") + loudnessText(*info) : QString();
}

QString LoudnessDetailsOf(const QString& path) {
    return LoudnessDetailsOf(path, LoudnessCache::defaultFile());
}

} // namespace corvalin
