#include "stream/StreamMetadata.h"

#include <QByteArray>
#include <QUrl>
#include <curl/curl.h>

namespace corvalin {

namespace {

std::size_t collectBody(char* data, std::size_t size, std::size_t count, void* body) {
    static_cast<QByteArray*>(body)->append(data, static_cast<qsizetype>(size * count));
    return size * count;
}

} // namespace

QString streamFormatText(const StreamSettings& s) {
    return QStringLiteral("%1 %2 kbit/s")
        .arg(s.Format == kStreamFormatOpus ? QStringLiteral("Opus") : QStringLiteral("MP3"))
        .arg(s.Bitrate);
}

QString sendIcecastTitle(const StreamSettings& s, const QString& title) {
    CURL* curl = curl_easy_init();
    if (!curl)
        return QStringLiteral("no HTTP client");
    const QByteArray url = "http://" + QUrl::toPercentEncoding(s.Host, ":[]") + ':' +
                           QByteArray::number(s.Port) +
                           "/admin/metadata?mount=" + QUrl::toPercentEncoding(s.Mount) +
                           "&mode=updinfo&charset=UTF-8&song=" + QUrl::toPercentEncoding(title);
    const QByteArray user = s.User.toUtf8();
    const QByteArray password = s.Password.toUtf8();
    QByteArray body;
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 2000L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 3000L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Corvalin Radio");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collectBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    if (rc != CURLE_OK)
        return QString::fromUtf8(curl_easy_strerror(rc));
    if (status != 200 || !body.contains("<return>1</return>"))
        return QStringLiteral("the server refused the title (HTTP %1)").arg(status);
    return {};
}

} // namespace corvalin
