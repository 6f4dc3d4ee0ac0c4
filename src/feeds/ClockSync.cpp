#include "feeds/ClockSync.h"

#include <QAbstractSocket>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

namespace corvalin {

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr qsizetype kMaxDaytimeBytes = 4096;
constexpr int kPollSliceMs = 100; // how quickly a cancel is seen

class Socket {
public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Waits for `events` on `fd` until the deadline or a cancel; true when ready.
bool waitFor(int fd, short events, SteadyClock::time_point deadline,
             const std::atomic<bool>* cancel) {
    for (;;) {
        if (cancel && cancel->load())
            return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
                .count();
        if (left <= 0)
            return false;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, kPollSliceMs)));
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            return false;
    }
}

// One look-up shared between the waiting caller and the thread that runs it; the thread keeps it
// alive when the caller has stopped waiting.
struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    QList<QHostAddress> addresses;
};

// The addresses of `host`, or nothing when the deadline passes or a cancel comes first. The name
// service cannot be interrupted, so it runs on a thread of its own that is left to end by itself.
std::optional<QList<QHostAddress>> lookUp(const HostResolver& resolver, const QString& host,
                                          SteadyClock::time_point deadline,
                                          const std::atomic<bool>* cancel) {
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, resolver = resolver ? resolver : HostResolver(systemResolve), host] {
            QList<QHostAddress> found;
            try {
                found = resolver(host);
            } catch (...) {
                // A failed look-up finds nothing.
            }
            std::lock_guard lock(lookup->mutex);
            lookup->addresses = std::move(found);
            lookup->finished = true;
            lookup->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    std::unique_lock lock(lookup->mutex);
    for (;;) {
        if (lookup->finished)
            return std::move(lookup->addresses);
        if (cancel && cancel->load())
            return std::nullopt;
        const auto now = SteadyClock::now();
        if (now >= deadline)
            return std::nullopt;
        lookup->done.wait_for(lock, std::min<SteadyClock::duration>(
                                        deadline - now, std::chrono::milliseconds(kPollSliceMs)));
    }
}

// `address` and `port` as a socket address; its length, or 0 for an address of another kind.
socklen_t socketAddress(const QHostAddress& address, quint16 port, sockaddr_storage& out) {
    out = sockaddr_storage{};
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4) {
        auto* in = reinterpret_cast<sockaddr_in*>(&out);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(v4);
        return sizeof(sockaddr_in);
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&out);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        const QString scope = address.scopeId();
        if (!scope.isEmpty()) {
            bool numeric = false;
            const uint index = scope.toUInt(&numeric);
            in6->sin6_scope_id = numeric ? index : ::if_nametoindex(scope.toUtf8().constData());
        }
        return sizeof(sockaddr_in6);
    }
    return 0;
}

// A connected non-blocking socket to one of the server's addresses, or -1.
int connectTo(const DaytimeServer& server, SteadyClock::time_point deadline,
              const std::atomic<bool>* cancel) {
    const std::optional<QList<QHostAddress>> addresses =
        lookUp(server.resolve, server.host, deadline, cancel);
    if (!addresses)
        return -1;
    for (const QHostAddress& address : *addresses) {
        if (cancel && cancel->load())
            return -1;
        sockaddr_storage to{};
        const socklen_t length = socketAddress(address, server.port, to);
        if (length == 0)
            continue;
        const int fd = ::socket(to.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            continue;
        Socket s(fd);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), length) != 0) {
            if (errno != EINPROGRESS || !waitFor(fd, POLLOUT, deadline, cancel))
                continue;
            int err = 0;
            socklen_t len = sizeof err;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0)
                continue;
        }
        return s.release();
    }
    return -1;
}

bool twoDigits(const QByteArray& text, qsizetype position, int& value) {
    // `position` counts from 1, as the field table does.
    const qsizetype i = position - 1;
    if (i < 0 || i + 2 > text.size())
        return false;
    const char a = text[i];
    const char b = text[i + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9')
        return false;
    value = (a - '0') * 10 + (b - '0');
    return true;
}

} // namespace

QList<QHostAddress> systemResolve(const QString& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const QByteArray name = host.toUtf8();
    QList<QHostAddress> addresses;
    if (::getaddrinfo(name.constData(), nullptr, &hints, &found) != 0 || !found)
        return addresses;
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);
    for (const addrinfo* a = found; a; a = a->ai_next) {
        const QHostAddress address(a->ai_addr);
        if (!address.isNull() && !addresses.contains(address))
            addresses.append(address);
    }
    return addresses;
}

std::optional<QByteArray> readDaytime(const DaytimeServer& server,
                                      const std::atomic<bool>* cancel) {
    const auto deadline = SteadyClock::now() + server.timeout;
    const int fd = connectTo(server, deadline, cancel);
    if (fd < 0)
        return std::nullopt;
    Socket s(fd);
    QByteArray text;
    std::array<char, 1024> buffer{};
    for (;;) {
        if (!waitFor(fd, POLLIN, deadline, cancel))
            return std::nullopt;
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n == 0)
            return text; // the server closed: the answer is complete
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            return std::nullopt;
        }
        const qsizetype room = kMaxDaytimeBytes - text.size();
        text.append(buffer.data(), std::min<qsizetype>(n, room));
        if (text.size() >= kMaxDaytimeBytes)
            return text; // a flood: what is needed is at the start
    }
}

std::optional<QDateTime> parseDaytime(const QByteArray& text, int minimumYear) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!twoDigits(text, 8, year) || !twoDigits(text, 11, month) || !twoDigits(text, 14, day) ||
        !twoDigits(text, 17, hour) || !twoDigits(text, 20, minute) || !twoDigits(text, 23, second))
        return std::nullopt;
    year += 2000;
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid() || year < minimumYear)
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

int daytimeDifference(const QTime& server, const QTime& local) {
    return (server.minute() * 60 + server.second()) - (local.minute() * 60 + local.second());
}

bool clockNeedsSetting(bool clockSynced, int difference) {
    return !clockSynced || difference > 10 || difference < -10;
}

int buildYear() {
    // __DATE__ is "Mmm dd yyyy".
    static const int year = QByteArray(__DATE__).right(4).toInt();
    return year;
}

ClockSyncResult GetAndSetTime(const DaytimeServer& server, const Clock& localClock,
                              SystemClockSetter& setter, bool clockSynced, int minimumYear,
                              const std::atomic<bool>* cancel) {
    ClockSyncResult result;
    result.clockSynced = clockSynced;
    if (setter.keptBySystem())
        return result;
    const std::optional<QByteArray> text = readDaytime(server, cancel);
    if (!text)
        return result;
    const QTime local = localClock.now().time();
    const std::optional<QDateTime> utc = parseDaytime(*text, minimumYear);
    if (!utc)
        return result;
    if (!clockNeedsSetting(clockSynced, daytimeDifference(utc->time(), local)))
        return result;
    result.attempted = true;
    result.clockSynced = setter.setUtc(*utc);
    return result;
}

} // namespace corvalin
