// Stream output figures against a local icecast2 started here:
//   CPU of the stream threads per minute of one output (MP3 128 kbit/s, Opus 96 and 64 kbit/s)
//   and of two (sharing one MP3 encoder; MP3 128 + Opus 64), with the ratios to one output,
//   time from a title change (a song start) to the title in Icecast's status,
//   time to reconnect after the server comes back.
// Usage: bench_stream_stream_bench [seconds of audio per format, default 30]
#include "audio/SoundDevice.h"
#include "stream/StreamOutput.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <unistd.h>
#include <vector>

using namespace corvalin;

namespace {

const QString kPassword = QStringLiteral("bench-secret");
const QString kMount = QStringLiteral("/bench");

QByteArray httpGet(quint16 port, const QString& path) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000))
        return {};
    socket.write("GET " + path.toUtf8() + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray reply;
    while (socket.waitForReadyRead(2000))
        reply += socket.readAll();
    const qsizetype body = reply.indexOf("\r\n\r\n");
    return body < 0 ? QByteArray() : reply.mid(body + 4);
}

class Server {
public:
    Server() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
        probe.close();
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                              QFileDevice::WriteOther | QFileDevice::ExeOther);
        const QString security = ::geteuid() == 0
                                     ? QStringLiteral("<security><changeowner><user>nobody</user>"
                                                      "<group>nogroup</group></changeowner>"
                                                      "</security>")
                                     : QString();
        QFile config(dir.filePath(QStringLiteral("icecast.xml")));
        config.open(QIODevice::WriteOnly);
        config.write(
            QStringLiteral("<icecast><location>bench</location><admin>b@localhost</admin>"
                           "<limits><sources>2</sources><burst-size>0</burst-size></limits>"
                           "<authentication><source-password>%1</source-password>"
                           "<admin-password>admin-bench</admin-password></authentication>"
                           "<listen-socket><port>%2</port><bind-address>127.0.0.1</bind-address>"
                           "</listen-socket><paths><basedir>/usr/share/icecast2</basedir>"
                           "<logdir>%3</logdir><webroot>/usr/share/icecast2/web</webroot>"
                           "<adminroot>/usr/share/icecast2/admin</adminroot></paths>"
                           "<logging><errorlog>error.log</errorlog><accesslog>access.log"
                           "</accesslog></logging>%4</icecast>\n")
                .arg(kPassword)
                .arg(port)
                .arg(dir.path(), security)
                .toUtf8());
    }
    ~Server() { stop(); }
    bool start() {
        process.start(QStringLiteral("icecast2"),
                      {QStringLiteral("-c"), dir.filePath(QStringLiteral("icecast.xml"))});
        for (int i = 0; i < 200; ++i) {
            if (httpGet(port, QStringLiteral("/status-json.xsl")).contains("icestats"))
                return true;
            QThread::msleep(25);
        }
        return false;
    }
    void stop() {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished();
        }
    }
    QString title() const {
        const QJsonValue source = QJsonDocument::fromJson(httpGet(port, "/status-json.xsl"))
                                      .object()
                                      .value(QStringLiteral("icestats"))
                                      .toObject()
                                      .value(QStringLiteral("source"));
        return source.toObject().value(QStringLiteral("title")).toString();
    }

    QTemporaryDir dir;
    quint16 port = 0;
    QProcess process;
};

// Music-like load for the encoder: two tones and some noise, 10 s looping.
std::unique_ptr<SoundBuffer> playProgram(SoundDevice& device) {
    constexpr int kFrames = 44100 * 10;
    auto buffer = device.createBuffer(PcmFormat{}, kFrames * 4);
    void *p1, *p2;
    std::uint32_t l1, l2;
    buffer->Lock(0, buffer->size(), &p1, &l1, &p2, &l2);
    auto* s = static_cast<std::int16_t*>(p1);
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 1500.0);
    for (int i = 0; i < kFrames; ++i) {
        const double t = i / 44100.0;
        const double v = 6000 * std::sin(2 * M_PI * 220 * t) + 3000 * std::sin(2 * M_PI * 1330 * t);
        s[2 * i] = static_cast<std::int16_t>(std::lrint(v + noise(random)));
        s[2 * i + 1] = static_cast<std::int16_t>(std::lrint(0.8 * v + noise(random)));
    }
    buffer->Unlock(p1, l1, p2, l2);
    buffer->Play();
    return buffer;
}

StreamSettings settingsFor(const Server& server, const QString& format, int bitrate) {
    StreamSettings s;
    s.Enabled = true;
    s.Host = QStringLiteral("127.0.0.1");
    s.Port = server.port;
    s.Mount = kMount;
    s.Password = kPassword;
    s.Format = format;
    s.Bitrate = bitrate;
    return s;
}

// CPU seconds of this process's threads whose names start with "stream-", by name.
std::map<QString, double> streamThreadsCpu() {
    std::map<QString, double> cpu;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    const long ticks = ::sysconf(_SC_CLK_TCK);
    for (const QString& id : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(id + QStringLiteral("/comm")));
        QFile stat(tasks.filePath(id + QStringLiteral("/stat")));
        if (!comm.open(QIODevice::ReadOnly) || !stat.open(QIODevice::ReadOnly))
            continue;
        const QString name = QString::fromUtf8(comm.readAll()).trimmed();
        if (!name.startsWith(QStringLiteral("stream-")))
            continue;
        // utime and stime are the 14th and 15th fields, after the parenthesised name.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12)
            cpu[name] += static_cast<double>(fields[11].toLongLong() + fields[12].toLongLong()) /
                         static_cast<double>(ticks);
    }
    return cpu;
}

bool waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, QString::fromLocal8Bit(argv[1]).toInt()) : 30;
    Server server;
    if (!server.start()) {
        std::fprintf(stderr, "icecast2 did not start\n");
        return 1;
    }
    auto device = SoundDevice::create(QStringLiteral("null"));
    auto program = playProgram(*device);

    // CPU of every stream thread (the encoders' and the outputs'), per setup of outputs.
    struct Output {
        const char* mount;
        const char* format;
        int bitrate;
    };
    struct Setup {
        const char* name;
        std::vector<Output> outputs;
    };
    const Setup setups[] = {
        {"one output, MP3 128 kbit/s", {{"/bench", "mp3", 128}}},
        {"one output, Opus 96 kbit/s", {{"/bench", "opus", 96}}},
        {"one output, Opus 64 kbit/s", {{"/bench", "opus", 64}}},
        {"two outputs, MP3 128 + MP3 128 (shared encoder)",
         {{"/bench", "mp3", 128}, {"/bench2", "mp3", 128}}},
        {"two outputs, MP3 128 + Opus 64", {{"/bench", "mp3", 128}, {"/bench2", "opus", 64}}},
    };
    std::vector<double> perMinute;
    for (const Setup& setup : setups) {
        StreamOutput stream;
        device->setStreamTap(stream.tap());
        std::array<StreamSettings, kStreamOutputCount> outputs;
        for (std::size_t i = 0; i < setup.outputs.size(); ++i) {
            const Output& o = setup.outputs[i];
            outputs[i] = settingsFor(server, QString::fromLatin1(o.format), o.bitrate);
            outputs[i].Mount = QString::fromLatin1(o.mount);
        }
        stream.configure(outputs, QStringLiteral("Bench"));
        if (!waitUntil([&] { return stream.status().state == StreamState::Connected; }, 10000)) {
            std::fprintf(stderr, "%s: no connection\n", setup.name);
            return 1;
        }
        const double cpu0 = stream.threadCpuSeconds();
        const std::map<QString, double> threads0 = streamThreadsCpu();
        QElapsedTimer wall;
        wall.start();
        QThread::sleep(static_cast<unsigned long>(seconds));
        const double cpu = stream.threadCpuSeconds() - cpu0;
        const double wallSeconds = static_cast<double>(wall.elapsed()) / 1000.0;
        perMinute.push_back(cpu * 60.0 / wallSeconds);
        std::printf("%-48s: stream threads' CPU %.2f s per minute of audio (%.2f %% of one "
                    "core), %d encoder(s), %llu frames dropped\n",
                    setup.name, perMinute.back(), 100.0 * cpu / wallSeconds, stream.encoderCount(),
                    static_cast<unsigned long long>(stream.status().framesDropped));
        QString each;
        for (const auto& [name, total] : streamThreadsCpu()) {
            const auto before = threads0.find(name);
            const double used = total - (before == threads0.end() ? 0.0 : before->second);
            if (used > 0.0)
                each +=
                    QStringLiteral(" %1 %2").arg(name).arg(used * 60.0 / wallSeconds, 0, 'f', 2);
        }
        std::printf("%-48s  by thread (s per minute):%s\n", "", each.toUtf8().constData());
        device->setStreamTap(nullptr);
    }
    std::printf("two outputs / one MP3 128 output: shared encoder %.2fx, MP3 128 + Opus 64 %.2fx "
                "(one Opus 64 output alone: %.2fx)\n",
                perMinute[3] / perMinute[0], perMinute[4] / perMinute[0],
                perMinute[2] / perMinute[0]);

    // Title latency (MP3: Icecast's metadata update).
    StreamOutput stream;
    device->setStreamTap(stream.tap());
    stream.configure(settingsFor(server, QStringLiteral("mp3"), 128), QStringLiteral("Bench"));
    waitUntil([&] { return stream.status().state == StreamState::Connected; }, 10000);
    std::vector<double> latencies;
    for (int i = 0; i < 10; ++i) {
        const QString title = QStringLiteral("Artist %1 - Title %1").arg(i);
        QElapsedTimer timer;
        timer.start();
        stream.setTitle(title);
        if (waitUntil([&] { return server.title() == title; }, 10000))
            latencies.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        QThread::msleep(200);
    }
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty())
        std::printf("title in Icecast's status after a song start: median %.0f ms, max %.0f ms "
                    "(%zu of 10; status polled every 5 ms)\n",
                    latencies[latencies.size() / 2], latencies.back(), latencies.size());

    // Reconnect: the server goes away for about `down` seconds and comes back.
    for (int down : {1, 5}) {
        server.stop();
        waitUntil([&] { return stream.status().state == StreamState::Failed; }, 20000);
        QThread::sleep(static_cast<unsigned long>(down));
        const int connections = stream.status().connections;
        const int retry = stream.status().retryInSeconds;
        if (!server.start()) {
            std::fprintf(stderr, "icecast2 did not start again\n");
            return 1;
        }
        QElapsedTimer timer;
        timer.start();
        const bool back =
            waitUntil([&] { return stream.status().connections > connections; }, 70000);
        std::printf("reconnect after the server was away ~%d s: %s %.1f s after it answered "
                    "(retry delay then %d s)\n",
                    down, back ? "connected" : "NOT connected", timer.elapsed() / 1000.0, retry);
    }
    device->setStreamTap(nullptr);
    return 0;
}
