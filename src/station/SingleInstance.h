#pragma once

#include "platform/InstanceSocket.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;
class QLocalSocket;

namespace corvalin {

// One running station per user and title. The first instance listens on a per-user local socket;
// a later start finds it there, may ask it to come to the front, and ends. Window thread only.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `serverName` is a plain name (placed in the system's socket folder) or a full path.
    explicit SingleInstance(QString serverName, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The socket of `title` for the current user: in $XDG_RUNTIME_DIR when there is one, else
    // in the temporary folder; the user id is part of the name either way.
    static QString serverNameFor(const QString& title);

    // True when another instance is listening; with `Activate` it is also asked to raise its
    // window. Otherwise this object becomes the running instance and listens from now on. A
    // failure of the check itself gives false: better a second station than none.
    bool AlreadyRunning(bool Activate);
    // Whether another instance is listening, without asking it anything and without becoming
    // the running instance (for a command that only writes the station's files).
    bool otherInstanceRunning();

    bool isListening() const;
    QString serverName() const { return serverName_; }

    // Answers a request other than "raise": one line (without its newline) in, the whole reply
    // out; the reply is sent and the connection closed. Without a handler such a request is
    // answered with kUnknownRequestReply.
    void setRequestHandler(std::function<QByteArray(const QByteArray& request)> handler);

    // What a running instance answered to request().
    using Reply = InstanceReply;
    // Sends one request line to the instance listening on `serverName` and reads its reply until
    // it closes the connection, for at most `timeoutMs` in all. Blocking; never listens itself.
    static Reply request(const QString& serverName, const QByteArray& request, int timeoutMs);

    // Replies of the running instance to a request it cannot take.
    static const QByteArray kUnknownRequestReply;
    static const QByteArray kTooLongReply;
    static const QByteArray kTimeoutReply;

Q_SIGNALS:
    // Another start asked this instance to restore and raise its window.
    void raiseRequested();

private:
    bool askRunningInstance(bool activate);
    bool listen();
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);
    // Sends `reply` and closes; nothing more is read from that client.
    void answer(QLocalSocket* socket, const QByteArray& reply);

    QString serverName_;
    QLocalServer* server_ = nullptr;
    std::function<QByteArray(const QByteArray&)> requestHandler_;
    int clients_ = 0; // connections open now
};

} // namespace corvalin
