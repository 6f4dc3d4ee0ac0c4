#pragma once

#include "feeds/ClockSync.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace corvalin::test {

// A TCP server on 127.0.0.1 (a free port) that serves each connection in a thread of its own.
// Stopping (the destructor) ends every connection, also the silent ones, and joins the threads.
class LocalTcpServer {
public:
    using Handler = std::function<void(int fd, const std::atomic<bool>& stop)>;
    explicit LocalTcpServer(Handler handler);
    ~LocalTcpServer();
    LocalTcpServer(const LocalTcpServer&) = delete;
    LocalTcpServer& operator=(const LocalTcpServer&) = delete;

    quint16 port() const { return port_; }
    int connections() const { return connections_.load(); }

private:
    void acceptLoop();

    Handler handler_;
    int listenFd_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::thread acceptThread_;
    std::mutex mutex_;
    std::vector<std::thread> workers_;
};

// What the HTTP server answers for one path.
struct HttpReply {
    enum class Kind { Page, Silent, Flood, Redirect };
    Kind kind = Kind::Page;
    int status = 200;
    QByteArray body;
    QByteArray contentType = "text/html"; // Page: empty sends no Content-Type header
    QByteArray location;                  // Redirect: where to (empty: the same path, a loop)
    qint64 floodBytes = 64 * 1024 * 1024; // Flood: sent until the client stops reading
};

// A small HTTP/1.1 server: one reply per path, "404 Page not found" for the rest.
class LocalHttpServer {
public:
    LocalHttpServer();
    QString url(const QString& path) const;
    void setReply(const QString& path, HttpReply reply);
    void setPage(const QString& path, const QByteArray& body, int status = 200,
                 const QByteArray& contentType = "text/html");
    // The request heads received so far, in order.
    std::vector<QByteArray> requests() const;
    int requestsFor(const QString& path) const;

private:
    void serve(int fd, const std::atomic<bool>& stop);

    mutable std::mutex mutex_;
    std::map<QString, HttpReply> replies_;
    std::vector<QByteArray> requests_;
    LocalTcpServer server_; // last: its threads use the members above
};

// A daytime server: sends `answer` and closes, or (silent) says nothing and keeps the connection.
class LocalDaytimeServer {
public:
    explicit LocalDaytimeServer(QByteArray answer, bool silent = false);
    quint16 port() const { return server_.port(); }
    int connections() const { return server_.connections(); }

private:
    QByteArray answer_;
    bool silent_;
    LocalTcpServer server_;
};

// A name service that hangs in every look-up until it is opened (or destroyed, which opens it and
// waits until every look-up has left it).
class HangingResolver {
public:
    HangingResolver();
    ~HangingResolver();
    HangingResolver(const HangingResolver&) = delete;
    HangingResolver& operator=(const HangingResolver&) = delete;

    HostResolver resolver() const;
    int calls() const;
    // Lets every look-up end, finding nothing.
    void open();

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool open = false;
        int calls = 0;
        int waiting = 0;
    };
    std::shared_ptr<State> state_;
};

// Sends all of `data`; false when the peer went away or `stop` was set.
bool sendAll(int fd, const QByteArray& data, const std::atomic<bool>& stop);
// Waits until the peer closes or `stop` is set, discarding what arrives.
void holdOpen(int fd, const std::atomic<bool>& stop);

} // namespace corvalin::test
