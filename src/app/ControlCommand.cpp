#include "app/ControlCommand.h"

#include "app/CommandLine.h"
#include "platform/InstanceSocket.h"
#include "station/StationControl.h"

#include <QCoreApplication>
#include <cstdio>

namespace corvalin {

namespace {

// A running station answers at once; this only bounds a station that hangs.
constexpr int kAnswerTimeoutMs = 5000;

void put(std::FILE* to, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), to);
    std::fflush(to);
}

void error(const QByteArray& text) {
    put(stderr, "corvalinradio: " + text.trimmed() + '\n');
}

} // namespace

int runControlCommand(int& argc, char** argv, const CommandLine& line) {
    const QCoreApplication app(argc, argv);
    QByteArray request = line.control.toLatin1();
    if (line.control == QLatin1String("status"))
        request = line.json ? control::kStatusJson : control::kStatus;
    const InstanceReply reply = requestInstance(
        instanceSocketName(QStringLiteral("Corvalin Radio")), request, kAnswerTimeoutMs);
    if (!reply.reached) {
        error("no station is running for this user");
        return kExitNoStation;
    }
    if (!reply.answered) {
        error("the running station did not answer");
        return 1;
    }
    const qsizetype end = reply.bytes.indexOf('\n');
    const QByteArray verdict = end < 0 ? reply.bytes : reply.bytes.left(end);
    const QByteArray text = end < 0 ? QByteArray() : reply.bytes.mid(end + 1);
    if (verdict == "ok") {
        put(stdout, text);
        return 0;
    }
    if (verdict == "refused") {
        error(text);
        return kExitRefused;
    }
    error(verdict == "error" ? text : QByteArray("the running station gave no answer it knows"));
    return 1;
}

} // namespace corvalin
