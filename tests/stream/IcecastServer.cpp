#include "IcecastServer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <unistd.h>

namespace corvalin::test {

namespace {

quint16 freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

QString xmlEscaped(const QString& s) {
    return s.toHtmlEscaped();
}

} // namespace

IcecastServer::IcecastServer() : IcecastServer(QString()) {}

IcecastServer::IcecastServer(const QString& extraConfig) : port_(freePort()) {
    // The server drops to nobody, who must reach its folder.
    QFile::setPermissions(folder_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                              QFileDevice::WriteOther | QFileDevice::ExeOther);
    const QString security =
        ::geteuid() == 0 ? QStringLiteral("<security><chroot>0</chroot><changeowner><user>nobody"
                                          "</user><group>nogroup</group></changeowner></security>")
                         : QString();
    const QString config =
        QStringLiteral(
            "<icecast><location>test</location><admin>test@localhost</admin>"
            "<limits><clients>20</clients><sources>4</sources><source-timeout>5</source-timeout>"
            "<burst-size>0</burst-size><queue-size>1048576</queue-size></limits>"
            "<authentication><source-password>%1</source-password><admin-user>admin</admin-user>"
            "<admin-password>admin-test</admin-password></authentication>"
            "<hostname>127.0.0.1</hostname>"
            "<listen-socket><port>%2</port><bind-address>127.0.0.1</bind-address></listen-socket>"
            "<fileserve>1</fileserve>"
            "<paths><basedir>/usr/share/icecast2</basedir><logdir>%3</logdir>"
            "<webroot>/usr/share/icecast2/web</webroot>"
            "<adminroot>/usr/share/icecast2/admin</adminroot></paths>"
            "<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog>"
            "<loglevel>2</loglevel></logging>%4%5</icecast>\n")
            .arg(xmlEscaped(kSourcePassword))
            .arg(port_)
            .arg(xmlEscaped(QDir(folder_.path()).absolutePath()), security, extraConfig);
    writeWholeFile(folder_.file(QStringLiteral("icecast.xml")), config.toUtf8());
}

IcecastServer::~IcecastServer() {
    stop();
}

bool IcecastServer::start() {
    stop();
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->start(QStringLiteral("icecast2"),
                    {QStringLiteral("-c"), folder_.file(QStringLiteral("icecast.xml"))});
    if (!process_->waitForStarted(5000))
        return false;
    for (int i = 0; i < 100; ++i) {
        if (httpGet(port_, QStringLiteral("/status-json.xsl")).contains("icestats"))
            return true;
        if (process_->state() != QProcess::Running)
            break;
        QThread::msleep(50);
    }
    ADD_FAILURE() << "icecast2 did not come up: " << process_->readAll().toStdString();
    return false;
}

void IcecastServer::stop() {
    if (!process_)
        return;
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(5000)) {
            process_->kill();
            process_->waitForFinished(5000);
        }
    }
    process_.reset();
}

QJsonObject IcecastServer::source(const QString& mount) const {
    const QJsonObject stats =
        QJsonDocument::fromJson(httpGet(port_, QStringLiteral("/status-json.xsl")))
            .object()
            .value(QStringLiteral("icestats"))
            .toObject();
    const QJsonValue sources = stats.value(QStringLiteral("source"));
    QJsonArray list;
    if (sources.isArray())
        list = sources.toArray();
    else if (sources.isObject())
        list.append(sources);
    for (const QJsonValue& v : list) {
        const QJsonObject o = v.toObject();
        if (o.value(QStringLiteral("listenurl")).toString().endsWith(mount))
            return o;
    }
    return {};
}

QString IcecastServer::title(const QString& mount) const {
    return source(mount).value(QStringLiteral("title")).toString();
}

QByteArray httpGet(quint16 port, const QString& path) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000))
        return {};
    socket.write("GET " + path.toUtf8() + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray reply;
    while (socket.waitForReadyRead(3000))
        reply += socket.readAll();
    reply += socket.readAll();
    const qsizetype body = reply.indexOf("\r\n\r\n");
    return body < 0 ? QByteArray() : reply.mid(body + 4);
}

double StreamCapture::rms() const {
    const std::size_t from = pcm.size() / 2;
    if (pcm.size() - from == 0)
        return 0.0;
    double sum = 0.0;
    for (std::size_t i = from; i < pcm.size(); ++i)
        sum += static_cast<double>(pcm[i]) * pcm[i];
    return std::sqrt(sum / static_cast<double>(pcm.size() - from));
}

QString listenerTitle(const QString& url) {
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-rw_timeout"),
                 QStringLiteral("5000000"), QStringLiteral("-formatprobesize"),
                 QStringLiteral("32768"), QStringLiteral("-show_entries"),
                 QStringLiteral("stream_tags=title"), QStringLiteral("-of"),
                 QStringLiteral("default=nw=1:nk=1"), url});
    if (!probe.waitForFinished(15000)) {
        probe.kill();
        probe.waitForFinished();
        return {};
    }
    return QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
}

StreamCapture captureStream(const QString& url, double seconds) {
    StreamCapture c;
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-probesize"),
                 QStringLiteral("65536"), QStringLiteral("-formatprobesize"),
                 QStringLiteral("32768"), QStringLiteral("-show_entries"),
                 QStringLiteral("stream=sample_rate"), QStringLiteral("-of"),
                 QStringLiteral("csv=p=0"), QStringLiteral("-rw_timeout"),
                 QStringLiteral("5000000"), url});
    if (!probe.waitForFinished(15000)) {
        probe.kill();
        probe.waitForFinished();
        c.error = QStringLiteral("ffprobe timed out");
        return c;
    }
    c.sampleRate = QString::fromUtf8(probe.readAllStandardOutput()).trimmed().toInt();
    QProcess decode;
    decode.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-probesize"),
                  QStringLiteral("65536"), QStringLiteral("-formatprobesize"),
                  QStringLiteral("32768"), QStringLiteral("-rw_timeout"), QStringLiteral("5000000"),
                  QStringLiteral("-i"), url, QStringLiteral("-t"), QString::number(seconds),
                  QStringLiteral("-f"), QStringLiteral("s16le"), QStringLiteral("-ac"),
                  QStringLiteral("2"), QStringLiteral("-")});
    if (!decode.waitForFinished(static_cast<int>(seconds * 1000) + 15000)) {
        decode.kill();
        decode.waitForFinished();
        c.error = QStringLiteral("ffmpeg timed out");
        return c;
    }
    const QByteArray raw = decode.readAllStandardOutput();
    c.error = QString::fromUtf8(decode.readAllStandardError());
    c.pcm.resize(static_cast<std::size_t>(raw.size()) / 2);
    std::memcpy(c.pcm.data(), raw.constData(), c.pcm.size() * 2);
    c.ok = decode.exitCode() == 0 && !c.pcm.empty();
    return c;
}

} // namespace corvalin::test
