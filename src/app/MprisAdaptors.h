#pragma once

// The two D-Bus interfaces of the media controls, over MprisService. Used by Mpris.cpp only.

#include "app/Mpris.h"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <algorithm>
#include <cmath>

namespace corvalin {

// org.mpris.MediaPlayer2: who the player is, Raise and Quit.
class MprisRootAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supported)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supported)
public:
    explicit MprisRootAdaptor(MprisService* service)
        : QDBusAbstractAdaptor(service), service_(service) {}

    bool canQuit() const { return bool(service_->actions().quit); }
    bool canRaise() const { return bool(service_->actions().raise); }
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Corvalin Radio"); }
    QString desktopEntry() const { return mpris::kDesktopEntry; }
    QStringList supported() const { return {}; }

public Q_SLOTS:
    void Raise() {
        if (service_->actions().raise)
            service_->actions().raise();
    }
    // After the reply has gone out: quitting may take the bus connection with it.
    void Quit() {
        if (service_->actions().quit)
            QTimer::singleShot(0, service_, service_->actions().quit);
    }

private:
    MprisService* service_;
};

// org.mpris.MediaPlayer2.Player: the transport as the console's buttons, what is on the air,
// the Main Volume slider.
class MprisPlayerAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ no)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ no)
    Q_PROPERTY(bool CanControl READ yes)
public:
    explicit MprisPlayerAdaptor(MprisService* service)
        : QDBusAbstractAdaptor(service), service_(service) {}

    QString playbackStatus() const { return value("PlaybackStatus").toString(); }
    double rate() const { return 1.0; }
    void setRate(double) {}
    QVariantMap metadata() const { return value("Metadata").toMap(); }
    double volume() const { return value("Volume").toDouble(); }
    void setVolume(double volume) {
        if (std::isnan(volume))
            return;
        service_->control().setMainVolume(int(std::lround(std::clamp(volume, 0.0, 1.0) * 65535.0)));
    }
    qlonglong position() const { return mpris::positionUs(service_->control().status()); }
    bool canGoNext() const { return value("CanGoNext").toBool(); }
    bool canPlay() const { return value("CanPlay").toBool(); }
    bool canPause() const { return value("CanPause").toBool(); }
    bool no() const { return false; }
    bool yes() const { return true; }

public Q_SLOTS:
    void Play() { service_->pressOrIgnore(ControlButton::Play); }
    void Pause() { service_->pressOrIgnore(ControlButton::Pause); }
    void PlayPause() {
        const bool playing = value("PlaybackStatus").toString() == QLatin1String("Playing");
        service_->pressOrIgnore(playing ? ControlButton::Pause : ControlButton::Play);
    }
    void Stop() { service_->pressOrIgnore(ControlButton::Stop); }
    void Next() { service_->pressOrIgnore(ControlButton::Next); }
    // Not offered (CanGoPrevious and CanSeek are false, no URI scheme is supported): no effect.
    void Previous() {}
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath&, qlonglong) {}
    void OpenUri(const QString&) {}

Q_SIGNALS:
    void Seeked(qlonglong position);

private:
    QVariant value(const char* name) const {
        return service_->properties().value(QString::fromLatin1(name));
    }

    MprisService* service_;
};

} // namespace corvalin
