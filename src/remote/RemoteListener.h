#pragma once

#include <QTcpServer>

namespace corvalin {

// The TCP side of the remote page: it hands connections to the HTTP server only while they
// behave. Before the server reads a byte, each connection's bytes are looked at here: a request
// head longer than `maxHeadBytes` or with more than `maxHeadLines` lines, a declared body over
// `maxBodyBytes` (or one of unknown length), a request not whole within `requestMs` of its first
// byte, a connection silent for `idleMs`, and connections beyond `maxConnections` are cut off
// (with a status line where one can still be sent). Window thread.
class RemoteListener final : public QTcpServer {
    Q_OBJECT
public:
    struct Limits {
        int maxHeadBytes = 8192;
        int maxHeadLines = 64;
        qint64 maxBodyBytes = 4096;
        int requestMs = 5000;
        int idleMs = 30000;
        int maxConnections = 32;
    };

    explicit RemoteListener(Limits limits, QObject* parent = nullptr);
    explicit RemoteListener(QObject* parent = nullptr) : RemoteListener(Limits{}, parent) {}
    const Limits& limits() const { return limits_; }
    int connections() const { return connections_; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    friend class ConnectionGuard;
    Limits limits_;
    int connections_ = 0;
};

} // namespace corvalin
