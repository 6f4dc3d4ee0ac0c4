#pragma once

#include "TestSupport.h"

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <memory>

namespace corvalin::test {

// A real icecast2 on 127.0.0.1 with a configuration generated in a folder of its own. As root it
// drops to nobody/nogroup (icecast2 refuses to run as root). Stopped and removed with the object.
class IcecastServer {
public:
    static inline const QString kSourcePassword = QStringLiteral("h@ck/me%20&x");

    IcecastServer();
    // With `extraConfig` (XML elements such as a <relay> block) added to the configuration.
    explicit IcecastServer(const QString& extraConfig);
    ~IcecastServer();
    IcecastServer(const IcecastServer&) = delete;
    IcecastServer& operator=(const IcecastServer&) = delete;

    // Starts (again, on the same port) and waits until it answers; whether it does.
    [[nodiscard]] bool start();
    void stop();
    quint16 port() const { return port_; }

    // The status document's source for `mount` (empty when the mount is not on the air).
    QJsonObject source(const QString& mount) const;
    // The now-playing title of `mount` ("" when none).
    QString title(const QString& mount) const;

private:
    TempFolder folder_;
    quint16 port_ = 0;
    std::unique_ptr<QProcess> process_;
};

// A blocking HTTP GET to 127.0.0.1:port; the body, or empty on failure.
QByteArray httpGet(quint16 port, const QString& path);

// Decoded audio of a stream read with FFmpeg for `seconds`.
struct StreamCapture {
    bool ok = false;
    int sampleRate = 0;            // as the stream declares it
    std::vector<std::int16_t> pcm; // interleaved stereo at sampleRate
    double rms() const;            // of the second half of the capture
    QString error;
};
StreamCapture captureStream(const QString& url, double seconds);

// The title a listener who connects now finds in an Ogg stream's comments ("" when none).
QString listenerTitle(const QString& url);

} // namespace corvalin::test
