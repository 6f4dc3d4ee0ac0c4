#include "remote/RemoteListener.h"

#include <QTcpSocket>
#include <QTimer>

namespace corvalin {

// Follows one connection's requests by their bytes: the head up to its blank line, then the body
// its Content-Length announces. It runs before the HTTP server's own reader (connected first), so
// a request it refuses is drained before the server sees any of it.
class ConnectionGuard final : public QObject {
public:
    ConnectionGuard(RemoteListener& listener, QTcpSocket& socket)
        : QObject(&socket), listener_(listener), socket_(socket) {
        ++listener_.connections_;
        connect(&socket_, &QIODevice::readyRead, this, &ConnectionGuard::look);
        connect(&socket_, &QAbstractSocket::disconnected, this, &ConnectionGuard::drop);
        requestTimer_.setSingleShot(true);
        idleTimer_.setSingleShot(true);
        connect(&requestTimer_, &QTimer::timeout, this, [this] { refuse("408 Request Timeout"); });
        connect(&idleTimer_, &QTimer::timeout, this, [this] { socket_.abort(); });
        idleTimer_.start(listener_.limits_.idleMs);
    }
    ~ConnectionGuard() override { drop(); }

private:
    void drop() {
        if (counted_) {
            counted_ = false;
            --listener_.connections_;
        }
        requestTimer_.stop();
        idleTimer_.stop();
    }

    void look() {
        const QByteArray bytes = socket_.peek(socket_.bytesAvailable());
        if (refused_) {
            socket_.read(bytes.size());
            return;
        }
        idleTimer_.start(listener_.limits_.idleMs);
        qsizetype at = 0;
        while (at < bytes.size() && !refused_) {
            if (!inRequest_) {
                inRequest_ = true;
                head_.clear();
                requestTimer_.start(listener_.limits_.requestMs);
            }
            if (bodyLeft_ > 0) {
                const qsizetype take = std::min<qsizetype>(bodyLeft_, bytes.size() - at);
                bodyLeft_ -= take;
                at += take;
                if (bodyLeft_ == 0)
                    endRequest();
                continue;
            }
            // Still in the head: up to its blank line.
            const qsizetype room = listener_.limits_.maxHeadBytes - head_.size();
            const QByteArray piece = bytes.mid(at, std::max<qsizetype>(room, 0) + 1);
            head_ += piece;
            const qsizetype end = head_.indexOf("\r\n\r\n");
            if (end < 0) {
                if (head_.size() > listener_.limits_.maxHeadBytes ||
                    head_.count('\n') > listener_.limits_.maxHeadLines)
                    return refuse("431 Request Header Fields Too Large");
                at += piece.size();
                continue;
            }
            at += piece.size() - (head_.size() - (end + 4));
            head_.truncate(end + 4);
            if (head_.count('\n') > listener_.limits_.maxHeadLines + 1)
                return refuse("431 Request Header Fields Too Large");
            if (!readBodyLength())
                return;
            if (bodyLeft_ == 0)
                endRequest();
        }
    }

    // From the head's Content-Length; false when the request was refused for it.
    bool readBodyLength() {
        bodyLeft_ = 0;
        const QList<QByteArray> lines = head_.split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "transfer-encoding") {
                refuse("411 Length Required");
                return false;
            }
            if (name == "content-length") {
                bool ok = false;
                const qint64 length = value.toLongLong(&ok);
                if (!ok || length < 0) {
                    refuse("400 Bad Request");
                    return false;
                }
                if (length > listener_.limits_.maxBodyBytes) {
                    refuse("413 Content Too Large");
                    return false;
                }
                bodyLeft_ = length;
            }
        }
        return true;
    }

    void endRequest() {
        inRequest_ = false;
        head_.clear();
        requestTimer_.stop();
    }

    // Drops what has come so far (the server never sees it), says why and closes.
    void refuse(const char* status) {
        refused_ = true;
        requestTimer_.stop();
        socket_.read(socket_.bytesAvailable());
        socket_.write(QByteArrayLiteral("HTTP/1.1 ") + status +
                      QByteArrayLiteral("\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"));
        socket_.disconnectFromHost();
        // A peer that reads nothing does not keep the connection.
        idleTimer_.start(1000);
    }

    RemoteListener& listener_;
    QTcpSocket& socket_;
    QTimer requestTimer_;
    QTimer idleTimer_;
    QByteArray head_;
    qint64 bodyLeft_ = 0;
    bool inRequest_ = false;
    bool refused_ = false;
    bool counted_ = true;
};

RemoteListener::RemoteListener(Limits limits, QObject* parent)
    : QTcpServer(parent), limits_(limits) {}

void RemoteListener::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (connections_ >= limits_.maxConnections) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    new ConnectionGuard(*this, *socket);
    addPendingConnection(socket);
}

} // namespace corvalin
