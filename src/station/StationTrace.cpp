#include "station/StationTrace.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <memory>

namespace corvalin::trace {

namespace {

// Started while the program loads, so its origin is close to the process start.
QElapsedTimer startTimer() {
    QElapsedTimer timer;
    timer.start();
    return timer;
}
const QElapsedTimer programStart = startTimer();

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
        sink().audioStart = programStart.elapsed();
}

void event(const char* name, const QString& detail) {
    Sink& s = sink();
    if (!s.file)
        return;
    const qint64 now = programStart.elapsed();
    QTextStream out(s.file.get());
    out << now << ' ' << (s.audioStart < 0 ? -1 : now - s.audioStart) << ' ' << name;
    if (!detail.isEmpty())
        out << ' ' << detail;
    out << '\n';
    out.flush();
    s.file->flush();
}

} // namespace corvalin::trace
