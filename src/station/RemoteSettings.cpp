#include "station/RemoteSettings.h"

#include "station/SettingsStore.h"

#include <QHostAddress>
#include <QRandomGenerator>
#include <array>

namespace corvalin {

bool isLoopbackAddress(const QString& address) {
    const QString a = address.trimmed();
    if (a.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress host(a);
    return !host.isNull() && host.isLoopback();
}

QString remotePageUrl(const RemoteSettings& s) {
    QString host = s.Address.trimmed();
    const QHostAddress address(host);
    if (address == QHostAddress(QHostAddress::AnyIPv4) || address == QHostAddress::AnyIPv6)
        host = QStringLiteral("127.0.0.1");
    else if (address.protocol() == QAbstractSocket::IPv6Protocol)
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return QStringLiteral("http://%1:%2/").arg(host).arg(s.Port);
}

QString newRemoteToken() {
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->generate(words.begin(), words.end());
    const QByteArray bytes(reinterpret_cast<const char*>(words.data()),
                           static_cast<qsizetype>(words.size() * sizeof(quint32)));
    return QString::fromLatin1(
        bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

RemoteSettings readRemoteSettings(const SettingsStore& store) {
    const bool same = store.readSameSettings();
    const IniFile ini = store.read(same);
    RemoteSettings d;
    RemoteSettings s;
    s.Enabled = ini.readBool(kRemoteSection, QStringLiteral("Enabled"), d.Enabled);
    s.Address = ini.readString(kRemoteSection, QStringLiteral("Address"), d.Address).trimmed();
    if (s.Address.isEmpty())
        s.Address = d.Address;
    s.Port = ini.readInteger(kRemoteSection, QStringLiteral("Port"), d.Port);
    if (s.Port < 1 || s.Port > 65535)
        s.Port = d.Port;
    s.Token = store.credentials(same).read(kRemoteSection, kRemoteTokenKey).value_or(QString());
    return s;
}

FileResult writeRemoteToken(const SettingsStore& store, const QString& token) {
    return store.credentials(store.readSameSettings())
        .write(kRemoteSection, kRemoteTokenKey, token);
}

FileResult writeRemoteSettings(const SettingsStore& store, const RemoteSettings& s) {
    return store.update(store.readSameSettings(), [&](IniFile& ini) {
        ini.writeBool(kRemoteSection, QStringLiteral("Enabled"), s.Enabled);
        ini.writeString(kRemoteSection, QStringLiteral("Address"), s.Address);
        ini.writeInteger(kRemoteSection, QStringLiteral("Port"), s.Port);
    });
}

FileResult ensureRemoteToken(const SettingsStore& store, RemoteSettings& s) {
    if (!s.Enabled || !s.Token.isEmpty())
        return {};
    const QString token = newRemoteToken();
    FileResult written = writeRemoteToken(store, token);
    if (written)
        s.Token = token;
    return written;
}

} // namespace corvalin
