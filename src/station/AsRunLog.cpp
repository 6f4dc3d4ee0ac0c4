#include "station/AsRunLog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>

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

AsRunLog::AsRunLog(QString folder, MonotonicMs monotonic)
    : folder_(std::move(folder)), monotonic_(std::move(monotonic)) {
    if (!folder_.endsWith(QLatin1Char('/')))
        folder_ += QLatin1Char('/');
    if (!monotonic_) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        monotonic_ = [timer] { return timer->elapsed(); };
    }
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

QString AsRunLog::csvRecord(const QStringList& fields) {
    QStringList quoted;
    quoted.reserve(fields.size());
    for (QString f : fields) {
        if (f.contains(QLatin1Char(',')) || f.contains(QLatin1Char('"')) ||
            f.contains(QLatin1Char('\n')) || f.contains(QLatin1Char('\r'))) {
            f.replace(QLatin1Char('"'), QStringLiteral("\"\""));
            f = QLatin1Char('"') + f + QLatin1Char('"');
        }
        quoted << f;
    }
    return quoted.join(QLatin1Char(','));
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
        lastError_ = QStringLiteral("Cannot create the folder \"%1\"").arg(folder_);
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        lastError_ = QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString());
        return;
    }
    QByteArray bytes;
    if (file.size() == 0)
        bytes += csvRecord(columns()).toUtf8() + "\r\n";
    const QStringList row = {isoTime(o.start),
                             isoTime(end),
                             QString::number(static_cast<double>(heardMs) / 1000.0, 'f', 1),
                             kindText(o.item.kind),
                             o.item.slot,
                             o.item.dj,
                             o.item.artist,
                             o.item.title,
                             o.item.file,
                             o.item.text};
    bytes += csvRecord(row).toUtf8() + "\r\n";
    // One write of the whole row, flushed as the file closes.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        lastError_ = QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString());
        return;
    }
    file.close();
    lastError_.clear();
}

} // namespace corvalin
