// The remote page's cost to the station: a headless station with the page on is measured for a
// while untouched, then while polled as an open browser tab polls it (/api/status every second,
// /api/log every 10 s). Prints the station's CPU in % of one core for both, and the answers' times.
#include "BenchStation.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

// utime + stime of a process in seconds, from /proc.
double cpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command's closing parenthesis: state is field 3, utime 14, stime 15.
    const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (f.size() < 13)
        return -1;
    return static_cast<double>(f[11].toLongLong() + f[12].toLongLong()) /
           static_cast<double>(::sysconf(_SC_CLK_TCK));
}

int freePort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// One GET as the page's script makes it (keep-alive, as a browser); status and milliseconds.
std::pair<int, double> get(QNetworkAccessManager& net, const QString& url) {
    QElapsedTimer t;
    t.start();
    QNetworkReply* reply = net.get(QNetworkRequest(QUrl(url)));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    reply->readAll();
    reply->deleteLater();
    return {status, static_cast<double>(t.nsecsElapsed()) / 1e6};
}

void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void report(const char* what, std::vector<double> ms) {
    corvalin::bench::report("  ", 12, what, std::move(ms));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 60;
    QTemporaryDir root;
    const int port = freePort();
    if (port == 0)
        return 1;
    const std::optional<QProcessEnvironment> laidOut = corvalin::bench::layOutStation(
        root, "[Remote]\r\nEnabled=1\r\nPort=" + QByteArray::number(port) + "\r\n");
    if (!laidOut)
        return 1;
    const QProcessEnvironment env = *laidOut;

    QProcess station;
    station.setProcessEnvironment(env);
    station.setStandardErrorFile(root.filePath(QStringLiteral("station.log")));
    station.start(QStringLiteral(CORVALIN_PROGRAM), {QStringLiteral("--headless")});
    if (!station.waitForStarted())
        return 1;
    const qint64 pid = station.processId();
    const QString base = QStringLiteral("http://127.0.0.1:%1/").arg(port);

    QNetworkAccessManager net;
    // Until a song is on the air, so the answers carry everything.
    QElapsedTimer startUp;
    startUp.start();
    bool playing = false;
    while (!playing && startUp.elapsed() < 60000) {
        QNetworkReply* reply = net.get(QNetworkRequest(QUrl(base + QStringLiteral("api/status"))));
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        const QByteArray body = reply->readAll();
        reply->deleteLater();
        playing = body.contains("\"state\":\"playing\"") && !body.contains("\"onAir\":null");
        if (!playing)
            wait(200);
    }
    if (!playing) {
        std::fprintf(stderr, "the station did not start playing with its page on\n");
        ::kill(static_cast<pid_t>(pid), SIGTERM);
        station.waitForFinished(30000);
        return 1;
    }
    wait(3000); // past the start's own work

    // The station's own CPU drifts with the songs and with the machine's other work, so the two
    // conditions alternate in 10 s windows, and a burst of answers gives the cost of one answer.
    std::vector<double> statusMs, logMs;
    int failed = 0;
    auto poll = [&](qint64 elapsedMs, int& second) {
        for (; static_cast<qint64>(second) * 1000 <= elapsedMs; ++second) {
            const auto [status, ms] = get(net, base + QStringLiteral("api/status"));
            statusMs.push_back(ms);
            failed += status != 200;
            if (second % 10 == 0) {
                const auto [logStatus, logTime] = get(net, base + QStringLiteral("api/log"));
                logMs.push_back(logTime);
                failed += logStatus != 200;
            }
        }
    };
    const int windows = std::max(1, seconds / 10);
    double idleCpu = 0, idleTime = 0, polledCpu = 0, polledTime = 0;
    std::vector<double> differences;
    QElapsedTimer clock;
    for (int w = 0; w < windows; ++w) {
        double before = cpuSeconds(pid);
        clock.start();
        wait(10000);
        const double idleWindow = cpuSeconds(pid) - before;
        const double idleSeconds = static_cast<double>(clock.elapsed()) / 1e3;
        idleCpu += idleWindow;
        idleTime += idleSeconds;

        before = cpuSeconds(pid);
        clock.start();
        int second = 0;
        while (clock.elapsed() < 10000) {
            poll(clock.elapsed(), second);
            const qint64 next = static_cast<qint64>(second) * 1000 - clock.elapsed();
            if (next > 0)
                wait(static_cast<int>(std::min<qint64>(next, 10000 - clock.elapsed())));
        }
        const double polledWindow = cpuSeconds(pid) - before;
        const double polledSeconds = static_cast<double>(clock.elapsed()) / 1e3;
        polledCpu += polledWindow;
        polledTime += polledSeconds;
        differences.push_back((polledWindow / polledSeconds - idleWindow / idleSeconds) * 100);
    }
    const double idle = idleCpu / idleTime;
    const double polled = polledCpu / polledTime;
    std::sort(differences.begin(), differences.end());
    std::printf("station CPU, %d alternating 10 s windows each, %% of one core:\n", windows);
    std::printf("  page on, no browser:          %.2f %%\n", idle * 100);
    std::printf("  polled as an open page:       %.2f %%  (difference %+.2f points; median of the "
                "window pairs %+.2f)\n",
                polled * 100, (polled - idle) * 100, differences[differences.size() / 2]);

    // A burst: many answers back to back; the CPU above the idle rate divided by the answers.
    auto burst = [&](const QString& path, int count) {
        const double before = cpuSeconds(pid);
        clock.start();
        for (int i = 0; i < count; ++i)
            failed += get(net, base + path).first != 200;
        const double took = static_cast<double>(clock.elapsed()) / 1e3;
        return std::max(0.0, (cpuSeconds(pid) - before - idle * took) / count);
    };
    const double statusCost = burst(QStringLiteral("api/status"), 1000);
    const double logCost = burst(QStringLiteral("api/log"), 200);
    std::printf(
        "cost of one answer: /api/status %.0f us, /api/log %.0f us; an open page (one status "
        "a second, a log every 10 s): %.3f %% of one core\n",
        statusCost * 1e6, logCost * 1e6, (statusCost + logCost / 10) * 100);
    std::printf("answers (%d not 200):\n", failed);
    report("/api/status", statusMs);
    report("/api/log", logMs);

    ::kill(static_cast<pid_t>(pid), SIGTERM);
    station.waitForFinished(30000);
    return failed == 0 ? 0 : 1;
}
