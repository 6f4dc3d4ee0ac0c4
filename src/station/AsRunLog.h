#pragma once

// The as-run log: what went on the air, for the licensing reports. One UTF-8 CSV file per day,
// "Logs/YYYY-MM-DD.csv" in the station folder (the day an item started), RFC 4180 quoting, a
// header row with the column names. A row is written when its item ends (also when it is cut);
// each row is appended with one write at once, so a killed station loses at most what was playing.
// A row is on disk whole or not at all: a write cut short (a full disk) is taken back to the last
// whole row, the loss is said on stderr and in the trace, and the next row starts on a line of its
// own. File paths are written as the system's bytes, as the play lists keep them. Window thread
// only.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <sys/types.h>

namespace corvalin {

enum class AsRunKind { Song, Talk, VoiceTest };

// One item as it starts.
struct AsRunItem {
    AsRunKind kind = AsRunKind::Song;
    QString slot; // "Morning", "Afternoon", "Evening", "Late Night"
    QString dj;
    QString artist;
    QString title;
    QString file;
    QString text; // what the DJ said (talks and voice tests)
};

class AsRunLog {
public:
    // Where an item plays: a deck or the DJ's voice. One item per source at a time.
    enum Source { Deck1 = 0, Deck2 = 1, Voice = 2 };

    // Milliseconds of a clock that never jumps (the wall clock may be set while the station runs).
    using MonotonicMs = std::function<qint64()>;

    // How rows reach the disk and where a lost row is told. Empty members: write(2) and a line on
    // stderr. Tests put a full disk here.
    struct Output {
        std::function<ssize_t(int fd, const char* data, std::size_t size)> write;
        std::function<void(const QString& line)> warn;
    };

    // `folder` ends in "/" ("<station>/Logs/"); made when the first row is written.
    explicit AsRunLog(QString folder, MonotonicMs monotonic = {}, Output output = {});
    static QString folderIn(const QString& programFolder) {
        return programFolder + QStringLiteral("Logs/");
    }

    const QString& folder() const { return folder_; }
    QString fileFor(const QDate& day) const;

    // Off: items are neither followed nor written.
    void setEnabled(bool enabled);
    bool enabled() const { return enabled_; }

    // Removes the day files older than `keepDays` days before `today`; returns how many.
    int removeOlderThan(int keepDays, const QDate& today);

    // An item starts on `source`; one still open there ends first.
    void started(Source source, const AsRunItem& item, const QDateTime& now);
    // Pauses do not count as heard.
    void paused(Source source);
    void resumed(Source source);
    // The item on `source` ends: its row is written. Nothing open: nothing happens.
    void ended(Source source, const QDateTime& now);
    // Every open item ends (the station closes).
    void endAll(const QDateTime& now);
    bool isOpen(Source source) const { return open_[source].open; }

    // Why the last row could not be written ("" when it was).
    const QString& lastError() const { return lastError_; }
    // Rows lost since the log last wrote one.
    int rowsLost() const { return rowsLost_; }

    static const QStringList& columns();
    // One CSV record (no line end) with RFC 4180 quoting.
    static QString csvRecord(const QStringList& fields);
    static QByteArray csvRecord(const QList<QByteArray>& fields);
    // ISO 8601 with seconds and the zone offset: "2026-12-10T09:00:00+01:00".
    static QString isoTime(const QDateTime& t);
    // A talk's tagged text as plain words: the speech tags ("\Pau=500\", "\Mrk=1\") go.
    static QString plainSpeech(const QString& taggedText);

private:
    struct Open {
        bool open = false;
        AsRunItem item;
        QDateTime start;
        qint64 startMs = 0;
        qint64 pausedMs = 0;
        qint64 pauseStartMs = -1;
    };
    void write(const Open& item, const QDateTime& end, qint64 heardMs);
    void lose(const Open& item, const QString& error);

    QString folder_;
    MonotonicMs monotonic_;
    Output output_;
    bool enabled_ = true;
    std::array<Open, 3> open_;
    QString lastError_;
    int rowsLost_ = 0;
};

} // namespace corvalin
