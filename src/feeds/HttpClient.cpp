#include "feeds/HttpClient.h"

#include <QUrl>
#include <curl/curl.h>
#include <memory>
#include <mutex>

namespace corvalin {

namespace {

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
    QByteArray body;
    qint64 maxBytes = 0;
    bool cut = false;
    const std::atomic<bool>* cancel = nullptr;
};

size_t onData(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const qint64 n = static_cast<qint64>(size * count);
    const qint64 room = t->maxBytes - t->body.size();
    if (n > room) {
        t->body.append(data, static_cast<qsizetype>(qMax<qint64>(0, room)));
        t->cut = true;
        return 0; // ends the transfer; the page keeps what fits
    }
    t->body.append(data, static_cast<qsizetype>(n));
    return static_cast<size_t>(n);
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* t = static_cast<Transfer*>(user);
    return t->cancel && t->cancel->load() ? 1 : 0;
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

} // namespace

HttpPage httpGet(const QString& url, const HttpLimits& limits, const std::atomic<bool>* cancel) {
    initCurlOnce();
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + limits.totalTimeout;
    // An address as the operator typed it (a town with blanks, accented letters) goes out
    // percent-encoded, as a browser sends it.
    const QUrl parsed(url, QUrl::TolerantMode);
    const QByteArray address = parsed.isValid() ? parsed.toEncoded() : url.toUtf8();

    HttpPage page;
    for (int attempt = 0; attempt <= limits.connectRetries; ++attempt) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || (cancel && cancel->load())) {
            page.error = QStringLiteral("time-out");
            return page;
        }
        std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
        if (!curl) {
            page.error = QStringLiteral("cannot create a transfer");
            return page;
        }
        std::unique_ptr<curl_slist, ListDeleter> headers(
            curl_slist_append(nullptr, "Cache-Control: no-cache"));
        headers.reset(curl_slist_append(headers.release(), "Pragma: no-cache"));

        Transfer t;
        t.maxBytes = limits.maxBodyBytes;
        t.cancel = cancel;
        CURL* c = curl.get();
        curl_easy_setopt(c, CURLOPT_URL, address.constData());
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(c, CURLOPT_MAXREDIRS, static_cast<long>(limits.maxRedirects));
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(std::min(limits.connectTimeout, left).count()));
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()));
        curl_easy_setopt(c, CURLOPT_REFERER, "me");
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(c, CURLOPT_BUFFERSIZE, 8192L);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onData);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, onProgress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);

        const CURLcode rc = curl_easy_perform(c);
        if (rc == CURLE_OK || (rc == CURLE_WRITE_ERROR && t.cut)) {
            page.ok = true;
            curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &page.status);
            const char* contentType = nullptr;
            if (curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK &&
                contentType)
                page.contentType = contentType;
            page.body = std::move(t.body);
            page.cut = t.cut;
            page.error.clear();
            return page;
        }
        page.error = QString::fromUtf8(curl_easy_strerror(rc));
        if (rc != CURLE_COULDNT_CONNECT)
            return page;
    }
    return page;
}

} // namespace corvalin
