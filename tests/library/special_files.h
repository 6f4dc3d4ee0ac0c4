#pragma once

// Helpers for tests that hand FIFOs and devices to code that must never wait on them.

#include <QFile>
#include <QString>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace corvalin::test {

inline bool makeFifo(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
}

// Runs `work` on a thread and tells whether it returned within `ms`. If it did not (it waits on
// the FIFO at `fifo`), the FIFO's other end is opened and closed until it returns, so a test of a
// missing fix fails instead of hanging.
inline bool returnsWithoutBlocking(const QString& fifo, const std::function<void()>& work,
                                   int ms = 5000) {
    auto done = std::async(std::launch::async, work);
    if (done.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready)
        return true;
    const QByteArray path = QFile::encodeName(fifo);
    while (done.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); // frees a reader
        if (fd < 0)
            fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); // frees a writer
        if (fd >= 0)
            ::close(fd);
    }
    return false;
}

} // namespace corvalin::test
