#include "dialogs/LongOperation.h"

namespace corvalin {

bool TLongOperation::next(int done, int total) {
    report(done, total);
    if (stopRequested()) {
        stopped_ = true;
        return false;
    }
    return true;
}

void TLongOperation::finished(int done, int total) {
    report(done, total);
}

void TLongOperation::report(int done, int total) {
    done_ = done;
    total_ = total;
    if (report_)
        report_(done, total);
}

namespace {

QString stoppedAfter(int done, int total, const QString& of) {
    return QStringLiteral("Stopped after %1 of %2 %3").arg(done).arg(total).arg(of);
}

QString songsAdded(int added) {
    return added == 1 ? QStringLiteral("1 song was added to the list.")
                      : QStringLiteral("%1 songs were added to the list.").arg(added);
}

} // namespace

QString AddFilesStoppedMessage(int done, int total, int added) {
    return stoppedAfter(done, total, QStringLiteral("files: ")) + songsAdded(added);
}

QString AddDirStoppedMessage(int done, int found, int added) {
    return stoppedAfter(done, found, QStringLiteral("files found: ")) + songsAdded(added);
}

QString TagToFileStoppedMessage(int done, int total) {
    return stoppedAfter(done, total,
                        QStringLiteral("files: the files done have their new names, the others "
                                       "are as they were."));
}

QString FileToTagStoppedMessage(int done, int total) {
    return stoppedAfter(done, total,
                        QStringLiteral("files: the files done have their new tags, the others "
                                       "are as they were."));
}

} // namespace corvalin
