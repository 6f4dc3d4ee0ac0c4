#pragma once

// The background side of even loudness: the per-user cache of measurements and the scanner that
// fills it on a low-priority thread, the queued next song first, then the rest of the current
// list. Song files are only read, never written.

#include "audio/Loudness.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace corvalin {

// Size and modification time of a file: a measurement holds while both are unchanged.
struct FileStamp {
    qint64 Size = -1;
    qint64 ModifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};
// None when the path is not a regular file.
std::optional<FileStamp> stampOf(const QString& path);

// Measurements by path, size and modification time, and results stored under other keys (the
// DJ's voices), kept in one JSON file. Not thread-safe: its owner guards it.
class LoudnessCache {
public:
    explicit LoudnessCache(QString file = {}) : file_(std::move(file)) {}

    // $XDG_CACHE_HOME/CorvalinRadio/loudness.json ($HOME/.cache when unset or relative).
    static QString defaultFile();

    // Reads the file. False when it is missing or unreadable as a cache: the cache is then empty
    // and the next save writes a fresh file.
    bool load();
    // Writes the file atomically (its folder is made 0700 when missing). False on failure.
    bool save() const;

    std::optional<LoudnessInfo> find(const QString& path, const FileStamp& stamp) const;
    // The measurement kept for the path, whatever file it was taken of (no disk access).
    std::optional<LoudnessInfo> findPath(const QString& path) const;
    void insert(const QString& path, const FileStamp& stamp, const LoudnessInfo& info);
    // Drops the path's measurement when it was taken of another file than `stamp` describes.
    void dropStale(const QString& path, const FileStamp& stamp);
    std::optional<LoudnessInfo> findKey(const QString& key) const;
    void insertKey(const QString& key, const LoudnessInfo& info);
    int count() const { return static_cast<int>(songs_.size() + keys_.size()); }
    const QString& file() const { return file_; }

private:
    struct Entry {
        FileStamp stamp;
        LoudnessInfo info;
    };
    QString file_;
    QHash<QString, Entry> songs_;
    QHash<QString, LoudnessInfo> keys_;
};

// Where a song's music starts and ends, ms from the file's start.
struct AudibleBounds {
    std::int64_t FromMs = 0;
    std::int64_t ToMs = 0;
    bool SilentThroughout = false; // the whole song: nothing to tell music from silence by
};

// Measures songs in the background and answers what is known of a song at once.
//
// Threads: every public function may be called from any thread. The scanner's mutex is only ever
// held for hash look-ups and copies: files are stat'ed, read and measured outside it, so a deck
// asking for its gain under the decks' shared lock never waits for the disk. The scanning thread
// runs at idle priority; it never touches the decks, the device or the UI.
class LoudnessScanner {
public:
    using Measure = std::function<std::optional<LoudnessInfo>(const QString& file,
                                                              const std::atomic<bool>& stop)>;
    using Stat = std::function<std::optional<FileStamp>(const QString& file)>;
    struct Options {
        QString cacheFile = LoudnessCache::defaultFile(); // empty: nothing is kept on disk
        Measure measure;                                  // none: measureSongLoudness
        // The audible bounds of a song whose loudness its tags tell. None: measureSongLoudness.
        Measure bounds;
        Stat stat;          // none: stampOf
        bool thread = true; // false: nothing is scanned until scanOne is called (tests)
        int saveEvery = 25; // measurements between saves while a long list is scanned
    };

    explicit LoudnessScanner(Options options);
    ~LoudnessScanner(); // stops the thread (a measurement under way is dropped) and saves
    LoudnessScanner(const LoudnessScanner&) = delete;
    LoudnessScanner& operator=(const LoudnessScanner&) = delete;

    void setSettings(const LoudnessSettings& settings);
    LoudnessSettings settings() const;

    // What to measure: `next` first, then `list` in order. Replaces the previous wish.
    void setWanted(const QString& next, const QStringList& list);

    // The measurement of the file as it is now, if known (stats the file, outside the mutex).
    std::optional<LoudnessInfo> lookup(const QString& file) const;
    // The gain in dB a deck gives the file now (see loudnessGainDb): a hash look-up by path, no
    // disk access. A measurement whose file has changed holds until the scanner's next look at
    // the file (the queued song is looked at first whenever the wish changes).
    double gainFor(const QString& file) const;

    // The song's audible bounds when trimming is on and they are known for the threshold in
    // force: a hash look-up by path like gainFor. None: the song plays untrimmed.
    std::optional<AudibleBounds> trimFor(const QString& file) const;

    // Results under a key of their own (not a file), kept in the same cache.
    std::optional<LoudnessInfo> lookupKey(const QString& key) const;
    void storeKey(const QString& key, const LoudnessInfo& info);

    // Measures one wanted file that is not yet known, on the calling thread. False when there was
    // none.
    bool scanOne();
    // Files wanted and not yet known (measured, tagged or found unmeasurable).
    int pending() const;
    // Files measured (decoded) and files taken from tags since the start.
    int measuredCount() const { return measured_.load(); }
    int taggedCount() const { return tagged_.load(); }
    // Writes the cache now. False on failure.
    bool save();

private:
    // The next wanted file without a result, or empty. Takes the mutex only between stats.
    QString nextJob(FileStamp* stamp);
    // Whether the file of `stamp` still needs a result. Under mutex_.
    bool wantedLocked(const QString& file, const FileStamp& stamp) const;
    void run();

    Options options_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    LoudnessCache cache_;       // guarded by mutex_
    LoudnessSettings settings_; // guarded by mutex_
    QString next_;              // guarded by mutex_
    QStringList list_;          // guarded by mutex_
    int listPos_ = 0;           // guarded by mutex_: entries before it are done
    quint64 wish_ = 0;          // guarded by mutex_: counts setWanted calls
    quint64 walked_ = 0;        // guarded by mutex_: the wish the thread walked last
    QSet<QString> failed_;      // guarded by mutex_: path + stamp of files that cannot be measured
    int unsaved_ = 0;           // guarded by mutex_
    bool stopping_ = false;     // guarded by mutex_
    std::atomic<bool> stop_{false};
    std::atomic<int> measured_{0};
    std::atomic<int> tagged_{0};
    std::thread thread_;
};

} // namespace corvalin
