#include "station/AsRunLog.h"

#include "platform/FileSystem.h"
#include "station/StationTrace.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvalin {

namespace {

QString kindText(AsRunKind kind) {
    switch (kind) {
    case AsRunKind::Song:
        return QStringLiteral("song");
    case AsRunKind::Talk:
        return QStringLiteral("talk");
    case AsRunKind::VoiceTest:
        return QStringLiteral("voicetest");
    }
    return {};
}

} // namespace

AsRunLog::AsRunLog(QString folder, MonotonicMs monotonic, Output output)
    : folder_(std::move(folder)), monotonic_(std::move(monotonic)), output_(std::move(output)) {
    if (!folder_.endsWith(QLatin1Char('/')))
        folder_ += QLatin1Char('/');
    if (!monotonic_) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        monotonic_ = [timer] { return timer->elapsed(); };
    }
    if (!output_.write)
        output_.write = [](int fd, const char* data, std::size_t size) {
            return ::write(fd, data, size);
        };
    if (!output_.warn)
        output_.warn = [](const QString& line) {
            std::fprintf(stderr, "corvalinradio: %s\n", line.toLocal8Bit().constData());
            std::fflush(stderr);
        };
}

QString AsRunLog::fileFor(const QDate& day) const {
    return folder_ + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".csv");
}

void AsRunLog::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (!enabled_)
        open_ = {};
}

int AsRunLog::removeOlderThan(int keepDays, const QDate& today) {
    const QDate oldest = today.addDays(-std::max(keepDays, 0));
    static const QRegularExpression dayFile(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})\\.csv$"));
    int removed = 0;
    const QDir dir(folder_);
    const QStringList names = dir.entryList({QStringLiteral("*.csv")}, QDir::Files);
    for (const QString& name : names) {
        const QRegularExpressionMatch m = dayFile.match(name);
        if (!m.hasMatch())
            continue; // not ours
        const QDate day = QDate::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd"));
        if (day.isValid() && day < oldest && QFile::remove(dir.filePath(name)))
            ++removed;
    }
    return removed;
}

void AsRunLog::started(Source source, const AsRunItem& item, const QDateTime& now) {
    if (!enabled_)
        return;
    ended(source, now);
    Open& o = open_[source];
    o.open = true;
    o.item = item;
    o.start = now;
    o.startMs = monotonic_();
    o.pausedMs = 0;
    o.pauseStartMs = -1;
}

void AsRunLog::paused(Source source) {
    Open& o = open_[source];
    if (o.open && o.pauseStartMs < 0)
        o.pauseStartMs = monotonic_();
}

void AsRunLog::resumed(Source source) {
    Open& o = open_[source];
    if (o.open && o.pauseStartMs >= 0) {
        o.pausedMs += monotonic_() - o.pauseStartMs;
        o.pauseStartMs = -1;
    }
}

void AsRunLog::ended(Source source, const QDateTime& now) {
    Open& o = open_[source];
    if (!o.open)
        return;
    resumed(source);
    const qint64 heard = std::max<qint64>(0, monotonic_() - o.startMs - o.pausedMs);
    const Open done = o;
    o = Open{};
    write(done, now, heard);
}

void AsRunLog::endAll(const QDateTime& now) {
    for (Source s : {Deck1, Deck2, Voice})
        ended(s, now);
}

const QStringList& AsRunLog::columns() {
    static const QStringList names = {QStringLiteral("start"),   QStringLiteral("end"),
                                      QStringLiteral("seconds"), QStringLiteral("kind"),
                                      QStringLiteral("slot"),    QStringLiteral("dj"),
                                      QStringLiteral("artist"),  QStringLiteral("title"),
                                      QStringLiteral("file"),    QStringLiteral("text")};
    return names;
}

QByteArray AsRunLog::csvRecord(const QList<QByteArray>& fields) {
    // The special characters are ASCII, so quoting the bytes is the same in UTF-8 and for a
    // path's raw bytes.
    QByteArray record;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            record += ',';
        QByteArray f = fields[i];
        if (f.contains(',') || f.contains('"') || f.contains('\n') || f.contains('\r')) {
            f.replace("\"", "\"\"");
            f = '"' + f + '"';
        }
        record += f;
    }
    return record;
}

QString AsRunLog::csvRecord(const QStringList& fields) {
    QList<QByteArray> bytes;
    bytes.reserve(fields.size());
    for (const QString& f : fields)
        bytes << f.toUtf8();
    return QString::fromUtf8(csvRecord(bytes));
}

QString AsRunLog::isoTime(const QDateTime& t) {
    const int offset = t.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString AsRunLog::plainSpeech(const QString& taggedText) {
    static const QRegularExpression tag(QStringLiteral("\\\\[A-Za-z]+(=[^\\\\]*)?\\\\"));
    QString text = taggedText;
    text.replace(tag, QStringLiteral(" "));
    return text.simplified();
}

void AsRunLog::write(const Open& o, const QDateTime& end, qint64 heardMs) {
    const QString path = fileFor(o.start.date());
    if (!QDir().mkpath(folder_)) {
        lose(o, QStringLiteral("cannot create the folder \"%1\"").arg(folder_));
        return;
    }
    const auto systemError = [&path](int error) {
        return QStringLiteral("cannot write \"%1\": %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(error)));
    };
    // Read access too: the last byte tells whether the file ends with a whole line.
    const int fd =
        ::open(nativeFileName(path).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        lose(o, systemError(errno));
        return;
    }
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        lose(o, systemError(errno));
        return;
    }
    const off_t wholeRows = info.st_size;
    QByteArray bytes;
    if (wholeRows == 0) {
        bytes += csvRecord(columns()).toUtf8() + "\r\n";
    } else {
        // A half row that could not be taken back (or that an older program left) keeps a line
        // of its own; the new row is never glued onto it.
        char last = '\n';
        if (::pread(fd, &last, 1, wholeRows - 1) == 1 && last != '\n')
            bytes += "\r\n";
    }
    const QList<QByteArray> row = {
        isoTime(o.start).toUtf8(),
        isoTime(end).toUtf8(),
        QByteArray::number(static_cast<double>(heardMs) / 1000.0, 'f', 1),
        kindText(o.item.kind).toUtf8(),
        o.item.slot.toUtf8(),
        o.item.dj.toUtf8(),
        o.item.artist.toUtf8(),
        o.item.title.toUtf8(),
        nativeFileName(o.item.file),
        o.item.text.toUtf8()};
    bytes += csvRecord(row) + "\r\n";

    // One write of the whole row: a partial row never sits in a buffer of ours.
    ssize_t written = 0;
    do {
        written = output_.write(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    } while (written < 0 && errno == EINTR);
    if (written != bytes.size()) {
        QString error = written < 0
                            ? systemError(errno)
                            : QStringLiteral("cannot write \"%1\": only %2 of %3 bytes fitted")
                                  .arg(path)
                                  .arg(written)
                                  .arg(bytes.size());
        // Back to the last whole row. Should that fail too, the next row still starts on a line
        // of its own (above).
        if (written > 0 && ::ftruncate(fd, wholeRows) != 0)
            error += QStringLiteral(" (a part of the row stays on a line of its own)");
        lose(o, error);
        return;
    }
    if (rowsLost_ > 0) {
        const QString line =
            QStringLiteral("as-run log: writing \"%1\" again; %2 row(s) were lost before")
                .arg(path)
                .arg(rowsLost_);
        output_.warn(line);
        trace::event("asrun-resumed", line);
    }
    rowsLost_ = 0;
    lastError_.clear();
}

void AsRunLog::lose(const Open& o, const QString& error) {
    ++rowsLost_;
    lastError_ = error;
    const QString line = QStringLiteral("as-run log: %1; the %2 row that started at %3 is lost")
                             .arg(error, kindText(o.item.kind), isoTime(o.start));
    output_.warn(line);
    trace::event("asrun-lost", line);
}

} // namespace corvalin
