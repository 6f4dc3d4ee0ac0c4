#include "app/Mpris.h"

#include "app/MprisAdaptors.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>
#include <cmath>

namespace corvalin {

namespace mpris {

namespace {
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
} // namespace

QString onAirItem(const StationStatus& status) {
    const QString file = status.onAir ? status.onAir->file : QString();
    if (status.talking)
        return QStringLiteral("talk:") + file;
    if (!status.onAir)
        return {};
    return QStringLiteral("song:%1:").arg(status.deck) + file;
}

QString trackId(quint64 number) {
    return QStringLiteral("/org/corvalinradio/item/%1").arg(number);
}

QVariantMap playerProperties(const StationStatus& status, quint64 itemNumber) {
    QVariantMap metadata;
    if (status.talking) {
        metadata[QStringLiteral("mpris:trackid")] =
            QVariant::fromValue(QDBusObjectPath(trackId(itemNumber)));
        metadata[QStringLiteral("xesam:title")] = status.station;
        metadata[QStringLiteral("xesam:artist")] = QStringList{status.dj};
    } else if (status.onAir) {
        const ControlSong& song = *status.onAir;
        metadata[QStringLiteral("mpris:trackid")] =
            QVariant::fromValue(QDBusObjectPath(trackId(itemNumber)));
        // A song without tags or a name to read them from still has a title: its file's name.
        metadata[QStringLiteral("xesam:title")] = song.title.isEmpty() && song.artist.isEmpty()
                                                      ? QFileInfo(song.file).completeBaseName()
                                                      : song.title;
        if (!song.artist.isEmpty())
            metadata[QStringLiteral("xesam:artist")] = QStringList{song.artist};
        if (song.lengthMs > 0)
            metadata[QStringLiteral("mpris:length")] = qlonglong(song.lengthMs) * 1000;
        if (!song.file.isEmpty())
            metadata[QStringLiteral("xesam:url")] =
                QString::fromLatin1(QUrl::fromLocalFile(song.file).toEncoded());
    } else {
        metadata[QStringLiteral("mpris:trackid")] = QVariant::fromValue(QDBusObjectPath(kNoTrack));
    }

    QVariantMap p;
    p[QStringLiteral("PlaybackStatus")] =
        status.state == QLatin1String("playing")  ? QStringLiteral("Playing")
        : status.state == QLatin1String("paused") ? QStringLiteral("Paused")
                                                  : QStringLiteral("Stopped");
    p[QStringLiteral("Metadata")] = metadata;
    p[QStringLiteral("Volume")] = double(status.mainVolume) / 65535.0;
    // Play while playing has nothing to do; clients (playerctl) read a false CanPlay as "no
    // track" and would not show what is on the air.
    p[QStringLiteral("CanPlay")] = status.canPlay || status.state == QLatin1String("playing");
    p[QStringLiteral("CanPause")] = status.canPause;
    p[QStringLiteral("CanGoNext")] = status.canNext;
    p[QStringLiteral("CanGoPrevious")] = false;
    p[QStringLiteral("CanSeek")] = false;
    p[QStringLiteral("CanControl")] = true;
    p[QStringLiteral("Rate")] = 1.0;
    p[QStringLiteral("MinimumRate")] = 1.0;
    p[QStringLiteral("MaximumRate")] = 1.0;
    return p;
}

qint64 positionUs(const StationStatus& status) {
    if (status.talking || !status.onAir || status.onAir->elapsedMs < 0)
        return 0;
    return status.onAir->elapsedMs * 1000;
}

QVariantMap changedProperties(const QVariantMap& before, const QVariantMap& after) {
    QVariantMap changed;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        const auto old = before.constFind(it.key());
        if (old == before.cend() || old.value() != it.value())
            changed.insert(it.key(), it.value());
    }
    return changed;
}

} // namespace mpris

MprisService::MprisService(StationControl& control, Actions actions, QObject* parent)
    : QObject(parent), control_(control), actions_(std::move(actions)) {
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    connect(&control_, &StationControl::changed, this, &MprisService::follow);
    follow(control_.status());
}

MprisService::~MprisService() {
    if (!registered_)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(mpris::kServiceName);
    bus.unregisterObject(mpris::kObjectPath);
}

bool MprisService::start(QString* why) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        *why = QStringLiteral("no session bus (%1)").arg(bus.lastError().message());
        return false;
    }
    if (!bus.registerObject(mpris::kObjectPath, this, QDBusConnection::ExportAdaptors)) {
        *why = QStringLiteral("%1 is taken on the session bus").arg(mpris::kObjectPath);
        return false;
    }
    if (!bus.registerService(mpris::kServiceName)) {
        bus.unregisterObject(mpris::kObjectPath);
        *why = QStringLiteral("%1 is taken on the session bus (%2)")
                   .arg(mpris::kServiceName, bus.lastError().message());
        return false;
    }
    registered_ = true;
    return true;
}

void MprisService::pressOrIgnore(ControlButton button) {
    // A button the console shows disabled is not pressed, as a click on it would not be.
    control_.press(button);
}

void MprisService::follow(const StationStatus& status) {
    const QString item = mpris::onAirItem(status);
    if (item != item_) {
        item_ = item;
        ++itemNumber_;
    }
    QVariantMap now = mpris::playerProperties(status, itemNumber_);
    const QVariantMap changed = mpris::changedProperties(last_, now);
    last_ = std::move(now);
    if (!registered_ || changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        mpris::kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << mpris::kPlayerInterface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

} // namespace corvalin
