#include "remote/RemoteServer.h"

#include "remote/RemoteListener.h"
#include "station/AsRunLog.h"
#include "station/StationControl.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

namespace corvalin {

namespace {

using Status = QHttpServerResponder::StatusCode;

// The page and its script and style, compiled into the program.
QByteArray resource(const QString& name) {
    QFile file(QStringLiteral(":/remote/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray header(const QHttpServerRequest& request, const QByteArray& name) {
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

// Compares in a time that does not depend on where the two first differ.
bool sameSecret(const QByteArray& a, const QByteArray& b) {
    const QByteArray ha = QCryptographicHash::hash(a, QCryptographicHash::Sha256);
    const QByteArray hb = QCryptographicHash::hash(b, QCryptographicHash::Sha256);
    unsigned char diff = 0;
    for (qsizetype i = 0; i < ha.size(); ++i)
        diff |= static_cast<unsigned char>(ha[i] ^ hb[i]);
    return diff == 0;
}

std::optional<ControlButton> buttonNamed(const QString& name) {
    if (name == QLatin1String("play"))
        return ControlButton::Play;
    if (name == QLatin1String("pause"))
        return ControlButton::Pause;
    if (name == QLatin1String("stop"))
        return ControlButton::Stop;
    if (name == QLatin1String("next"))
        return ControlButton::Next;
    return std::nullopt;
}

QByteArray jsonBytes(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QJsonObject errorObject(const QString& text) {
    return {{QStringLiteral("done"), false}, {QStringLiteral("reason"), text}};
}

} // namespace

QList<QStringList> AsRunTail::parseCsv(const QByteArray& text) {
    QList<QStringList> records;
    QStringList record;
    QByteArray field;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
            continue;
        }
        if (c == '"') {
            quoted = true;
            any = true;
        } else if (c == ',') {
            record << QString::fromUtf8(field);
            field.clear();
            any = true;
        } else if (c == '\n' || c == '\r') {
            if (any || !field.isEmpty()) {
                record << QString::fromUtf8(field);
                records << record;
            }
            record.clear();
            field.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.isEmpty()) {
        record << QString::fromUtf8(field);
        records << record;
    }
    return records;
}

QList<QStringList> AsRunTail::rows(const QString& file, int count) {
    const QFileInfo info(file);
    if (!info.exists()) {
        file_.clear();
        rows_.clear();
        return {};
    }
    if (file != file_ || info.size() != size_ || info.lastModified() != modified_) {
        file_ = file;
        size_ = info.size();
        modified_ = info.lastModified();
        rows_.clear();
        QFile in(file);
        if (in.open(QIODevice::ReadOnly)) {
            rows_ = parseCsv(in.readAll());
            if (!rows_.isEmpty() && rows_.first() == AsRunLog::columns())
                rows_.removeFirst();
        }
    }
    return rows_.mid(std::max<qsizetype>(0, rows_.size() - count));
}

RemoteServer::RemoteServer(StationControl& control, Options options, QObject* parent)
    : QAbstractHttpServer(parent), control_(control), options_(std::move(options)) {}

RemoteServer::~RemoteServer() = default;

bool RemoteServer::start(const RemoteSettings& settings, QString* error) {
    if (!isLoopbackAddress(settings.Address) && settings.Token.isEmpty()) {
        *error = QStringLiteral("the remote page listens on %1 only with a token set")
                     .arg(settings.Address);
        return false;
    }
    QHostAddress address(settings.Address);
    if (settings.Address.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        address = QHostAddress(QHostAddress::LocalHost);
    if (address.isNull()) {
        *error = QStringLiteral("the remote page's address %1 is not an IP address")
                     .arg(settings.Address);
        return false;
    }
    listener_ = new RemoteListener(this);
    if (!listener_->listen(address, static_cast<quint16>(settings.Port))) {
        *error = QStringLiteral("the remote page cannot listen on %1 port %2: %3")
                     .arg(settings.Address)
                     .arg(settings.Port)
                     .arg(listener_->errorString());
        delete listener_;
        listener_ = nullptr;
        return false;
    }
    bind(listener_);
    return true;
}

quint16 RemoteServer::port() const {
    return listener_ ? listener_->serverPort() : 0;
}

QByteArray RemoteServer::logJson() {
    const QDate day = options_.today ? options_.today() : QDate::currentDate();
    const QString file =
        options_.asRunFolder + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".csv");
    const QStringList& columns = AsRunLog::columns();
    QJsonArray rows;
    for (const QStringList& row : tail_.rows(file, kLogRows)) {
        QJsonObject o;
        for (qsizetype i = 0; i < columns.size() && i < row.size(); ++i)
            if (columns[i] != QLatin1String("file"))
                o[columns[i]] = row[i];
        rows.append(o);
    }
    return jsonBytes(
        {{QStringLiteral("day"), day.toString(Qt::ISODate)}, {QStringLiteral("rows"), rows}});
}

bool RemoteServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    QHttpServerResponder responder = makeResponder(request, socket);
    const QString path = request.url().path();
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    const QByteArray json = QByteArrayLiteral("application/json");
    const auto page = [&](const QString& name, const QByteArray& type) {
        responder.write(resource(name),
                        {{"Content-Type", type},
                         {"Cache-Control", "no-store"},
                         {"X-Content-Type-Options", "nosniff"},
                         {"Content-Security-Policy",
                          "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'"}});
    };
    const auto answerJson = [&](const QByteArray& body, Status status) {
        responder.write(body,
                        {{"Content-Type", json},
                         {"Cache-Control", "no-store"},
                         {"X-Content-Type-Options", "nosniff"}},
                        status);
    };

    if (path == QLatin1String("/") || path == QLatin1String("/remote.js") ||
        path == QLatin1String("/remote.css") || path == QLatin1String("/api/status") ||
        path == QLatin1String("/api/log")) {
        if (!get) {
            responder.write({{"Allow", "GET"}, {"Content-Length", "0"}}, Status::MethodNotAllowed);
            return true;
        }
        if (path == QLatin1String("/"))
            page(QStringLiteral("remote.html"), "text/html; charset=utf-8");
        else if (path == QLatin1String("/remote.js"))
            page(QStringLiteral("remote.js"), "text/javascript; charset=utf-8");
        else if (path == QLatin1String("/remote.css"))
            page(QStringLiteral("remote.css"), "text/css; charset=utf-8");
        else if (path == QLatin1String("/api/status"))
            answerJson(jsonBytes(statusToJson(control_.status())), Status::Ok);
        else
            answerJson(logJson(), Status::Ok);
        return true;
    }

    const QString prefix = QStringLiteral("/api/");
    const std::optional<ControlButton> button =
        path.startsWith(prefix) ? buttonNamed(path.mid(prefix.size())) : std::nullopt;
    if (!button)
        return false;
    // A button is never pressed by a GET (a link, a prefetch, an image).
    if (request.method() != QHttpServerRequest::Method::Post) {
        responder.write({{"Allow", "POST"}, {"Content-Length", "0"}}, Status::MethodNotAllowed);
        return true;
    }
    const QByteArray authorization = header(request, "Authorization").trimmed();
    const QByteArray scheme = QByteArrayLiteral("Bearer ");
    if (!authorization.startsWith(scheme)) {
        responder.write(jsonBytes(errorObject(QStringLiteral("the token is missing"))),
                        {{"Content-Type", json}, {"WWW-Authenticate", "Bearer"}},
                        Status::Unauthorized);
        return true;
    }
    const QString token = options_.token ? options_.token() : QString();
    if (token.isEmpty() ||
        !sameSecret(authorization.mid(scheme.size()).trimmed(), token.toUtf8())) {
        answerJson(jsonBytes(errorObject(QStringLiteral("the token is wrong"))), Status::Forbidden);
        return true;
    }
    const PressResult result = control_.press(*button);
    if (result.done)
        answerJson(jsonBytes({{QStringLiteral("done"), true}}), Status::Ok);
    else
        answerJson(jsonBytes(errorObject(result.reason)), Status::Conflict);
    return true;
}

void RemoteServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket)
        .write(QByteArrayLiteral("not found\n"), {{"Content-Type", "text/plain"}},
               Status::NotFound);
}

} // namespace corvalin
