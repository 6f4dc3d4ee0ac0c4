#include "SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <memory>

namespace corvalin {

namespace {

const QByteArray kRaiseRequest = QByteArrayLiteral("raise\n");
// A request is one short line; a peer that sends more is not one of us.
constexpr qint64 kMaxRequestBytes = 64;
constexpr int kConnectTimeoutMs = 1000;
constexpr int kWriteTimeoutMs = 2000;
// Two starts at the same moment must not both decide that they are first.
constexpr int kStartLockTimeoutMs = 5000;
// A client that connects and says nothing, or never reads its answer, is dropped after this.
constexpr int kClientTimeoutMs = 2000;
// More clients at once than a person or a script makes: the excess are closed at once.
constexpr int kMaxClients = 16;
// Set on a socket that has had its answer: what it sends afterwards is not read.
const char* const kAnsweredProperty = "corvalinAnswered";

} // namespace

const QByteArray SingleInstance::kUnknownRequestReply =
    QByteArrayLiteral("error\nunknown request\n");
const QByteArray SingleInstance::kTooLongReply = QByteArrayLiteral("error\nrequest too long\n");
const QByteArray SingleInstance::kTimeoutReply =
    QByteArrayLiteral("error\nno request within 2 s\n");

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent), serverName_(std::move(serverName)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverNameFor(const QString& title) {
    return instanceSocketName(title);
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

bool SingleInstance::otherInstanceRunning() {
    if (isListening())
        return false;
    try {
        return askRunningInstance(false);
    } catch (...) {
        return false;
    }
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

void SingleInstance::setRequestHandler(std::function<QByteArray(const QByteArray&)> handler) {
    requestHandler_ = std::move(handler);
}

SingleInstance::Reply SingleInstance::request(const QString& serverName, const QByteArray& request,
                                              int timeoutMs) {
    return requestInstance(serverName, request, timeoutMs);
}

void SingleInstance::answer(QLocalSocket* socket, const QByteArray& reply) {
    if (socket->property(kAnsweredProperty).toBool())
        return;
    socket->setProperty(kAnsweredProperty, true);
    socket->write(reply);
    socket->disconnectFromServer(); // once the reply is written
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        ++clients_;
        connect(socket, &QObject::destroyed, this, [this] { --clients_; });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (clients_ > kMaxClients) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // Bounded: a client that floods cannot make us buffer more than a request's worth.
        socket->setReadBufferSize(kMaxRequestBytes * 4);
        auto* timeout = new QTimer(socket);
        timeout->setSingleShot(true);
        connect(timeout, &QTimer::timeout, socket, [this, socket] {
            if (socket->property(kAnsweredProperty).toBool()) {
                socket->abort(); // it never took its answer
                socket->deleteLater();
            } else {
                answer(socket, kTimeoutReply);
                QTimer::singleShot(kClientTimeoutMs, socket, [socket] {
                    socket->abort();
                    socket->deleteLater();
                });
            }
        });
        timeout->start(kClientTimeoutMs);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        // The request may have arrived together with the connection.
        if (socket->bytesAvailable() > 0) {
            onReadyRead(socket);
        }
    }
}

void SingleInstance::onReadyRead(QLocalSocket* socket) {
    if (socket->property(kAnsweredProperty).toBool()) {
        (void)socket->readAll(); // one request per connection
        return;
    }
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(kMaxRequestBytes + 1);
        if (line == kRaiseRequest) {
            Q_EMIT raiseRequested();
            continue;
        }
        if (!line.endsWith('\n')) {
            answer(socket, kTooLongReply);
            return;
        }
        const QByteArray request = line.chopped(1);
        answer(socket, requestHandler_ ? requestHandler_(request) : kUnknownRequestReply);
        return;
    }
    if (socket->bytesAvailable() > kMaxRequestBytes)
        answer(socket, kTooLongReply);
}

} // namespace corvalin
