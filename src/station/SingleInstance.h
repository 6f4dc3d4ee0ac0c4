#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace corvalin {

// The process at the other end of a connected local socket runs as this process's user.
bool peerIsThisUser(qintptr socketDescriptor);

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

    bool isListening() const;
    QString serverName() const { return serverName_; }

Q_SIGNALS:
    // Another start asked this instance to restore and raise its window.
    void raiseRequested();

private:
    bool askRunningInstance(bool activate);
    bool listen();
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);

    QString serverName_;
    QLocalServer* server_ = nullptr;
};

} // namespace corvalin
