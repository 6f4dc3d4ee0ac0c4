// Times --status --json against a running headless station: the whole command (a process of its
// own, as a script runs it) and the socket's round trip alone. Prints median and maximum in ms.
#include "BenchStation.h"
#include "station/SingleInstance.h"
#include "station/StationControl.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <vector>

using namespace corvalin;

namespace {

void report(const char* what, std::vector<double> ms) {
    bench::report("", 34, what, std::move(ms));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 50;
    QTemporaryDir root;
    const std::optional<QProcessEnvironment> laidOut = bench::layOutStation(root);
    if (!laidOut)
        return 1;
    const QProcessEnvironment env = *laidOut;

    QProcess station;
    station.setProcessEnvironment(env);
    station.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    station.start(QStringLiteral(CORVALIN_PROGRAM), {QStringLiteral("--headless")});
    if (!station.waitForStarted())
        return 1;

    qputenv("XDG_RUNTIME_DIR", root.filePath(QStringLiteral("run")).toLocal8Bit());
    const QString socket = SingleInstance::serverNameFor(QStringLiteral("Corvalin Radio"));
    // Wait until a song is on the air, so the answer carries everything.
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 60000) {
        const auto reply = SingleInstance::request(socket, control::kStatusJson, 2000);
        if (reply.bytes.contains("\"state\":\"playing\"") &&
            !reply.bytes.contains("\"onAir\":null"))
            break;
        QThread::msleep(200);
    }

    std::vector<double> command, roundTrip;
    QElapsedTimer t;
    for (int i = 0; i < rounds; ++i) {
        QProcess p;
        p.setProcessEnvironment(env);
        t.start();
        p.start(QStringLiteral(CORVALIN_PROGRAM),
                {QStringLiteral("--status"), QStringLiteral("--json")});
        p.waitForFinished(10000);
        command.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        if (p.exitCode() != 0) {
            std::fprintf(stderr, "--status --json failed: %s\n", p.readAllStandardError().data());
            break;
        }
        t.start();
        const auto reply = SingleInstance::request(socket, control::kStatusJson, 5000);
        roundTrip.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        if (!reply.answered)
            std::fprintf(stderr, "no answer\n");
    }
    ::kill(static_cast<pid_t>(station.processId()), SIGTERM);
    station.waitForFinished(30000);
    if (command.empty())
        return 1;
    report("corvalinradio --status --json", command);
    report("socket round trip (status-json)", roundTrip);
    return 0;
}
