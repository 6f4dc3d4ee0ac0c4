#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>

namespace corvalin {

// Limits of one page fetch, so a bad server can neither hang nor flood the station.
struct HttpLimits {
    std::chrono::milliseconds connectTimeout{300000};
    // For the whole page, connection retries and redirects included.
    std::chrono::milliseconds totalTimeout{60000};
    // A longer body is cut here (the page keeps its first bytes).
    qint64 maxBodyBytes = 4 * 1024 * 1024;
    int maxRedirects = 5;
    // Further attempts when the connection cannot be made.
    int connectRetries = 3;
};

struct HttpPage {
    bool ok = false;        // a response arrived (any status)
    long status = 0;        // the final HTTP status
    QByteArray body;        // at most maxBodyBytes
    QByteArray contentType; // the final answer's Content-Type header, if any
    bool cut = false;       // the body was longer than maxBodyBytes
    QString error;          // why not ok
    bool success() const { return ok && status >= 200 && status < 300; }
};

// GET of an http or https address (other schemes are refused, also in redirects; blanks and
// letters outside ASCII are percent-encoded), no cache, the referrer "me", the system's proxy
// settings. Blocks the calling thread for at most the total time-out; setting `*cancel` ends it
// early. Any thread; each call has its own connection.
HttpPage httpGet(const QString& url, const HttpLimits& limits,
                 const std::atomic<bool>* cancel = nullptr);

} // namespace corvalin
