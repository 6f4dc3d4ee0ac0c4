#include "SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QRegularExpression>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace corvalin {

namespace {

const QByteArray kRaiseRequest = QByteArrayLiteral("raise\n");
// A request is one short line; a peer that sends more is not one of us.
constexpr qint64 kMaxRequestBytes = 64;
constexpr int kConnectTimeoutMs = 1000;
constexpr int kWriteTimeoutMs = 2000;
// Two starts at the same moment must not both decide that they are first.
constexpr int kStartLockTimeoutMs = 5000;

} // namespace

bool peerIsThisUser(qintptr socketDescriptor) {
    struct ucred peer {};
    socklen_t size = sizeof peer;
    if (socketDescriptor < 0 || ::getsockopt(static_cast<int>(socketDescriptor), SOL_SOCKET,
                                             SO_PEERCRED, &peer, &size) != 0)
        return false;
    return peer.uid == ::geteuid();
}

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent), serverName_(std::move(serverName)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverNameFor(const QString& title) {
    QString safeTitle = title;
    safeTitle.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QStringLiteral("_"));
    const QString name =
        QStringLiteral("%1-%2.sock").arg(safeTitle).arg(static_cast<qulonglong>(::getuid()));
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty() && QDir(runtimeDir).exists()) {
        return QDir(runtimeDir).filePath(name);
    }
    return QDir(QDir::tempPath()).filePath(name);
}

bool SingleInstance::isListening() const {
    return server_ != nullptr && server_->isListening();
}

bool SingleInstance::AlreadyRunning(bool Activate) {
    if (isListening()) {
        return false; // this object is the running instance
    }
    try {
        const QString lockPath =
            QDir::isAbsolutePath(serverName_)
                ? serverName_ + QStringLiteral(".lock")
                : QDir(QDir::tempPath()).filePath(serverName_ + QStringLiteral(".lock"));
        QLockFile startLock(lockPath);
        // Held for moments only, so age says nothing; a dead holder is still detected.
        startLock.setStaleLockTime(0);
        // Without the lock (a stuck rival) the start goes on: a second station beats none.
        (void)startLock.tryLock(kStartLockTimeoutMs);
        if (askRunningInstance(Activate)) {
            return true;
        }
        listen();
    } catch (...) {
        // The check failed: start as the first instance.
    }
    return false;
}

bool SingleInstance::askRunningInstance(bool activate) {
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        return false;
    }
    // In a shared folder (/tmp) another account could listen on our name and make every start
    // end at once: only a station of our own user counts.
    if (!peerIsThisUser(socket.socketDescriptor())) {
        socket.abort();
        return false;
    }
    if (activate) {
        socket.write(kRaiseRequest);
        if (!socket.waitForBytesWritten(kWriteTimeoutMs)) {
            // It answered the connection, so it runs; it just did not take the request.
            return true;
        }
    }
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::listen() {
    auto server = std::make_unique<QLocalServer>(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(serverName_)) {
        if (server->serverError() != QAbstractSocket::AddressInUseError) {
            return false;
        }
        // Nobody answered on the socket: a killed instance left it behind.
        QLocalServer::removeServer(serverName_);
        if (!server->listen(serverName_)) {
            return false;
        }
    }
    connect(server.get(), &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    server_ = server.release();
    return true;
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        // The request may have arrived together with the connection.
        if (socket->bytesAvailable() > 0) {
            onReadyRead(socket);
        }
    }
}

void SingleInstance::onReadyRead(QLocalSocket* socket) {
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(kMaxRequestBytes + 1);
        if (line == kRaiseRequest) {
            Q_EMIT raiseRequested();
        }
    }
    if (socket->bytesAvailable() > kMaxRequestBytes) {
        socket->abort();
        socket->deleteLater();
    }
}

} // namespace corvalin
