#include "feeds/ClockSync.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
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

// A connected non-blocking socket to one of the addresses, or -1.
int connectTo(const DaytimeServer& server, SteadyClock::time_point deadline,
              const std::atomic<bool>* cancel) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const QByteArray host = server.host.toUtf8();
    const QByteArray port = QByteArray::number(server.port);
    if (::getaddrinfo(host.constData(), port.constData(), &hints, &found) != 0 || !found)
        return -1;
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);
    for (const addrinfo* a = found; a; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        Socket s(fd);
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
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
