#pragma once

#include <QString>
#include <atomic>
#include <functional>

namespace corvalin {

// A long operation of the play list editor over many files (Add Files, Add Dir, the bulk
// Tag > File and File > Tag), without widgets: its counts and the operator's request to stop.
// The operation asks next() before each file it is about to touch; once a stop was requested
// next() says no and the operation ends there, so every file it did touch was done completely
// and none was left half done.
class TLongOperation {
public:
    // Told the files done and the total (0 while not known) each time next() or finished() is
    // called, on the thread that calls them. The window shows the counts and lets its events
    // through here, which is where the operator's Cancel arrives.
    using Report = std::function<void(int done, int total)>;

    explicit TLongOperation(Report report = {}) : report_(std::move(report)) {}
    TLongOperation(const TLongOperation&) = delete;
    TLongOperation& operator=(const TLongOperation&) = delete;

    // Before the next file, with the files done so far and the total known now. False once a
    // stop was requested: the operation ends before that file and counts as stopped.
    [[nodiscard]] bool next(int done, int total);
    // The final counts, when the operation ends (stopped or not).
    void finished(int done, int total);

    // The operator pressed Cancel or Esc. Any thread.
    void requestStop() { stopRequested_.store(true, std::memory_order_relaxed); }
    // Any thread: workers read it before each file.
    bool stopRequested() const { return stopRequested_.load(std::memory_order_relaxed); }
    // The operation ended early because of the request (a request after the last file was
    // started stops nothing).
    bool stopped() const { return stopped_; }
    // For work done on other threads, which read the request themselves: whether it ended early.
    void setStopped(bool stopped) { stopped_ = stopped; }

    // The last counts reported.
    int done() const { return done_; }
    int total() const { return total_; }

private:
    void report(int done, int total);

    Report report_;
    std::atomic<bool> stopRequested_{false};
    bool stopped_ = false;
    int done_ = 0;
    int total_ = 0;
};

// What the operator is told after an operation was stopped, with its caption.
inline const QString kStoppedCaption = QStringLiteral("Stopped");
// Add Files: "Stopped after 5120 of 20000 files: 5120 songs were added to the list."
QString AddFilesStoppedMessage(int done, int total, int added);
// Add Dir: "Stopped after 5120 of 6000 files found: 5120 songs were added to the list."
QString AddDirStoppedMessage(int done, int found, int added);
// Tag > File for all: the files done have their new names, the others are as they were.
QString TagToFileStoppedMessage(int done, int total);
// File > Tag for all: the files done have their new tags, the others are as they were.
QString FileToTagStoppedMessage(int done, int total);

} // namespace corvalin
