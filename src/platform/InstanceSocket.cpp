#include "platform/InstanceSocket.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QRegularExpression>
#include <algorithm>
#include <sys/socket.h>
#include <unistd.h>

namespace corvalin {

namespace {

constexpr int kConnectTimeoutMs = 1000;

} // namespace

bool peerIsThisUser(qintptr socketDescriptor) {
    struct ucred peer {};
    socklen_t size = sizeof peer;
    if (socketDescriptor < 0 || ::getsockopt(static_cast<int>(socketDescriptor), SOL_SOCKET,
                                             SO_PEERCRED, &peer, &size) != 0)
        return false;
    return peer.uid == ::geteuid();
}

QString instanceSocketName(const QString& title) {
    QString safeTitle = title;
    safeTitle.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QStringLiteral("_"));
    const QString name =
        QStringLiteral("%1-%2.sock").arg(safeTitle).arg(static_cast<qulonglong>(::getuid()));
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty() && QDir(runtimeDir).exists())
        return QDir(runtimeDir).filePath(name);
    return QDir(QDir::tempPath()).filePath(name);
}

InstanceReply requestInstance(const QString& serverName, const QByteArray& request, int timeoutMs) {
    InstanceReply reply;
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(std::min(timeoutMs, kConnectTimeoutMs)))
        return reply;
    // In a shared folder (/tmp) another account could listen on our name: only an instance of
    // our own user is asked.
    if (!peerIsThisUser(socket.socketDescriptor())) {
        socket.abort();
        return reply;
    }
    reply.reached = true;
    socket.write(request + '\n');
    while (socket.bytesToWrite() > 0 && !deadline.hasExpired())
        socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
    // The answer is whole when the instance closes the connection.
    while (socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired()) {
        socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        reply.bytes += socket.readAll();
    }
    reply.bytes += socket.readAll();
    reply.answered = socket.state() != QLocalSocket::ConnectedState;
    socket.abort();
    return reply;
}

} // namespace corvalin
