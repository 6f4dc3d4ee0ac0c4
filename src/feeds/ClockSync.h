#pragma once

#include "platform/Clock.h"
#include "platform/SystemClockSetter.h"

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

namespace corvalin {

// The addresses of a host name; empty when it has none. May block for as long as the name
// service takes: the daytime client runs it on a thread of its own and stops waiting for it at its
// time-out or a cancel (the look-up then ends by itself, unheard).
using HostResolver = std::function<QList<QHostAddress>(const QString& host)>;

// The system's name service (getaddrinfo).
QList<QHostAddress> systemResolve(const QString& host);

// The daytime server asked for the time (RFC 867).
struct DaytimeServer {
    QString host = QStringLiteral("time.nist.gov");
    quint16 port = 13;
    // For the look-up, the connection and the answer together.
    std::chrono::milliseconds timeout{50000};
    HostResolver resolve; // empty: systemResolve
};

// Looks the server's host up, connects, reads until the server closes (at most 4 KiB are kept)
// and returns the text; nothing on a failure or when the time-out passes first. Setting `*cancel`
// ends it early, also while the name is being looked up. Blocking; any thread.
std::optional<QByteArray> readDaytime(const DaytimeServer& server,
                                      const std::atomic<bool>* cancel = nullptr);

// The UTC date and time of a daytime text in the NIST format (a line feed, the Modified Julian
// Date, "YY-MM-DD HH:MM:SS ..."), taken at fixed positions. Nothing when a field is not two
// digits, the date or time does not exist, or the year is before `minimumYear`.
std::optional<QDateTime> parseDaytime(const QByteArray& text, int minimumYear);

// Server minutes and seconds against local minutes and seconds, in seconds (hours are not
// compared: the server speaks UTC, the local clock its own zone).
int daytimeDifference(const QTime& server, const QTime& local);

// Whether the clock is to be set: always until it was set once, then when more than 10 s off.
bool clockNeedsSetting(bool clockSynced, int difference);

// The year this program was built in: no daytime answer can be older.
int buildYear();

struct ClockSyncResult {
    bool attempted = false; // the clock was set (or setting it was refused): repaint
    bool clockSynced = false;
};

// Asks the daytime server for the time and sets the system clock through `setter` when needed.
// Leaves the clock alone when the system already keeps it synchronised. Silent on every failure.
// Fetch thread.
ClockSyncResult GetAndSetTime(const DaytimeServer& server, const Clock& localClock,
                              SystemClockSetter& setter, bool clockSynced, int minimumYear,
                              const std::atomic<bool>* cancel = nullptr);

} // namespace corvalin
