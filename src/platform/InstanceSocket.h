#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace corvalin {

// The client side of a running instance's local socket, kept apart from the instance itself so
// that a small program can ask the station without linking the station.

// The process at the other end of a connected local socket runs as this process's user.
bool peerIsThisUser(qintptr socketDescriptor);

// The socket of `title` for the current user: in $XDG_RUNTIME_DIR when there is one, else in the
// temporary folder; the user id is part of the name either way.
QString instanceSocketName(const QString& title);

// What a running instance answered to requestInstance().
struct InstanceReply {
    bool reached = false;  // an instance of this user took the connection
    bool answered = false; // and its reply came whole (it closed the connection)
    QByteArray bytes;
};

// Sends one request line to the instance listening on `serverName` and reads its reply until it
// closes the connection, for at most `timeoutMs` in all. Blocking.
InstanceReply requestInstance(const QString& serverName, const QByteArray& request, int timeoutMs);

} // namespace corvalin
