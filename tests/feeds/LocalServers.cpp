#include "LocalServers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace corvalin::test {

namespace {

constexpr int kSliceMs = 20;

bool waitReadable(int fd, const std::atomic<bool>& stop) {
    while (!stop.load()) {
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, kSliceMs);
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            return false;
    }
    return false;
}

} // namespace

bool sendAll(int fd, const QByteArray& data, const std::atomic<bool>& stop) {
    qsizetype done = 0;
    while (done < data.size()) {
        if (stop.load())
            return false;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, kSliceMs) <= 0)
            continue;
        const ssize_t n = ::send(fd, data.constData() + done,
                                 static_cast<size_t>(data.size() - done), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        done += n;
    }
    return true;
}

void holdOpen(int fd, const std::atomic<bool>& stop) {
    char buffer[512];
    while (waitReadable(fd, stop))
        if (::recv(fd, buffer, sizeof buffer, 0) <= 0)
            return;
}

LocalTcpServer::LocalTcpServer(Handler handler) : handler_(std::move(handler)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 16) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    port_ = ntohs(addr.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

LocalTcpServer::~LocalTcpServer() {
    stop_ = true;
    acceptThread_.join();
    std::lock_guard lock(mutex_);
    for (std::thread& t : workers_)
        t.join();
    ::close(listenFd_);
}

void LocalTcpServer::acceptLoop() {
    while (waitReadable(listenFd_, stop_)) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++connections_;
        std::lock_guard lock(mutex_);
        workers_.emplace_back([this, fd] {
            handler_(fd, stop_);
            ::close(fd);
        });
    }
}

LocalHttpServer::LocalHttpServer()
    : server_([this](int fd, const std::atomic<bool>& stop) { serve(fd, stop); }) {}

QString LocalHttpServer::url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.port()).arg(path);
}

void LocalHttpServer::setReply(const QString& path, HttpReply reply) {
    std::lock_guard lock(mutex_);
    replies_[path] = std::move(reply);
}

void LocalHttpServer::setPage(const QString& path, const QByteArray& body, int status,
                              const QByteArray& contentType) {
    HttpReply reply;
    reply.status = status;
    reply.body = body;
    reply.contentType = contentType;
    setReply(path, std::move(reply));
}

std::vector<QByteArray> LocalHttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

int LocalHttpServer::requestsFor(const QString& path) const {
    const QByteArray line = "GET " + path.toUtf8() + " ";
    int n = 0;
    for (const QByteArray& r : requests())
        if (r.startsWith(line))
            ++n;
    return n;
}

void LocalHttpServer::serve(int fd, const std::atomic<bool>& stop) {
    QByteArray head;
    char buffer[4096];
    while (!head.contains("\r\n\r\n")) {
        if (!waitReadable(fd, stop))
            return;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        head.append(buffer, n);
    }
    const QList<QByteArray> words = head.left(head.indexOf("\r\n")).split(' ');
    const QString path = words.size() > 1 ? QString::fromUtf8(words[1]) : QString();
    HttpReply reply;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(head);
        const auto it = replies_.find(path);
        if (it != replies_.end()) {
            reply = it->second;
        } else {
            reply.status = 404;
            reply.body = "<html><body><h1>Page not found</h1></body></html>";
        }
    }
    switch (reply.kind) {
    case HttpReply::Kind::Silent:
        holdOpen(fd, stop);
        return;
    case HttpReply::Kind::Redirect:
        sendAll(fd,
                "HTTP/1.1 302 Found\r\nLocation: " +
                    (reply.location.isEmpty() ? path.toUtf8() : reply.location) +
                    "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
                stop);
        return;
    case HttpReply::Kind::Flood: {
        if (!sendAll(fd, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", stop))
            return;
        const QByteArray chunk(64 * 1024, 'x');
        for (qint64 sent = 0; sent < reply.floodBytes; sent += chunk.size())
            if (!sendAll(fd, chunk, stop))
                return;
        return;
    }
    case HttpReply::Kind::Page:
        sendAll(fd,
                "HTTP/1.1 " + QByteArray::number(reply.status) + " Status\r\n" +
                    (reply.contentType.isEmpty() ? QByteArray()
                                                 : "Content-Type: " + reply.contentType + "\r\n") +
                    "Content-Length: " + QByteArray::number(reply.body.size()) +
                    "\r\nConnection: close\r\n\r\n" + reply.body,
                stop);
        return;
    }
}

LocalDaytimeServer::LocalDaytimeServer(QByteArray answer, bool silent)
    : answer_(std::move(answer)), silent_(silent),
      server_([this](int fd, const std::atomic<bool>& stop) {
          if (silent_)
              holdOpen(fd, stop);
          else
              sendAll(fd, answer_, stop);
      }) {}

HangingResolver::HangingResolver() : state_(std::make_shared<State>()) {}

HangingResolver::~HangingResolver() {
    open();
    std::unique_lock lock(state_->mutex);
    state_->changed.wait(lock, [this] { return state_->waiting == 0; });
}

HostResolver HangingResolver::resolver() const {
    return [state = state_](const QString&) {
        std::unique_lock lock(state->mutex);
        ++state->calls;
        ++state->waiting;
        state->changed.notify_all();
        state->changed.wait(lock, [&] { return state->open; });
        --state->waiting;
        state->changed.notify_all();
        return QList<QHostAddress>();
    };
}

int HangingResolver::calls() const {
    std::lock_guard lock(state_->mutex);
    return state_->calls;
}

void HangingResolver::open() {
    std::lock_guard lock(state_->mutex);
    state_->open = true;
    state_->changed.notify_all();
}

} // namespace corvalin::test
