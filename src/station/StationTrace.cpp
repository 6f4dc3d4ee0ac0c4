#include "station/StationTrace.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <algorithm>
#include <memory>
#include <unistd.h>

namespace corvalin::trace {

namespace {

// Started while the program loads, after the dynamic loader's work.
QElapsedTimer startTimer() {
    QElapsedTimer timer;
    timer.start();
    return timer;
}
const QElapsedTimer programStart = startTimer();

// How long the process had already run when the timer above started (to 10 ms), so that trace
// times count from the process start; 0 when the system does not tell.
qint64 msRunningBeforeStart() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return 0;
    // Fields after the command name start with the third; the start time is the 22nd.
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    const long ticks = ::sysconf(_SC_CLK_TCK);
    if (fields.size() < 20 || ticks <= 0)
        return 0;
    bool ok1 = false;
    bool ok2 = false;
    const double startedAt = fields[19].toDouble(&ok1) / static_cast<double>(ticks);
    const double now = uptime.readAll().split(' ').value(0).toDouble(&ok2);
    if (!ok1 || !ok2 || now < startedAt)
        return 0;
    return static_cast<qint64>((now - startedAt) * 1000.0) - programStart.elapsed();
}

struct Sink {
    Sink() {
        const QString path = qEnvironmentVariable("CORVALIN_TRACE");
        if (path.isEmpty())
            return;
        file = std::make_unique<QFile>(path);
        if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
            file.reset();
    }
    std::unique_ptr<QFile> file;
    qint64 audioStart = -1;
    qint64 beforeStart = std::max<qint64>(0, msRunningBeforeStart());
};

Sink& sink() {
    static Sink s;
    return s;
}

} // namespace

bool enabled() {
    return sink().file != nullptr;
}

void audioStarted() {
    if (enabled())
        sink().audioStart = sink().beforeStart + programStart.elapsed();
}

void event(const char* name, const QString& detail) {
    Sink& s = sink();
    if (!s.file)
        return;
    const qint64 now = s.beforeStart + programStart.elapsed();
    QTextStream out(s.file.get());
    out << now << ' ' << (s.audioStart < 0 ? -1 : now - s.audioStart) << ' ' << name;
    if (!detail.isEmpty())
        out << ' ' << detail;
    out << '\n';
    out.flush();
    s.file->flush();
}

} // namespace corvalin::trace
