#pragma once

#include "station/RemoteSettings.h"

#include <QAbstractHttpServer>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QStringList>
#include <functional>

namespace corvalin {

class RemoteListener;
class StationControl;

// The last rows of a day's as-run log file, read again only when the file changed.
class AsRunTail {
public:
    // The last `count` rows (each with the log's columns), oldest first; none when the file is
    // missing or unreadable.
    QList<QStringList> rows(const QString& file, int count);
    // RFC 4180 records of `text` (quoted fields may hold commas, quotes and line ends).
    static QList<QStringList> parseCsv(const QByteArray& text);

private:
    QString file_;
    qint64 size_ = -1;
    QDateTime modified_;
    QList<QStringList> rows_;
};

// The remote page: one web page that shows the station as the console does and presses its
// buttons, and its JSON interface. GET never changes anything; the buttons are POST requests
// that carry the token ("Authorization: Bearer ..."). Everything the page needs is served from
// the program. Window thread.
class RemoteServer final : public QAbstractHttpServer {
    Q_OBJECT
public:
    struct Options {
        QString asRunFolder;            // the as-run log's folder, ending in "/"
        std::function<QDate()> today;   // the as-run log's day
        std::function<QString()> token; // the token in force (read at each press)
    };

    RemoteServer(StationControl& control, Options options, QObject* parent = nullptr);
    ~RemoteServer() override;

    // Listens on the settings' address and port. Refuses an address other than loopback while no
    // token is set. `error` says why it did not start.
    bool start(const RemoteSettings& settings, QString* error);
    quint16 port() const;

    // Rows of today's as-run log the page shows.
    static constexpr int kLogRows = 20;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    QByteArray logJson();

    StationControl& control_;
    Options options_;
    RemoteListener* listener_ = nullptr;
    AsRunTail tail_;
};

} // namespace corvalin
