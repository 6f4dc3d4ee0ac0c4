#pragma once

#include "station/StationControl.h"

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>

namespace corvalin {

// The desktop's media controls (MPRIS 2 on the session bus): a thin view over StationControl.
namespace mpris {

inline const QString kServiceName = QStringLiteral("org.mpris.MediaPlayer2.corvalinradio");
inline const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
inline const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");
inline const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
inline const QString kDesktopEntry = QStringLiteral("corvalinradio");

// What is on the air as one item: a song on a deck, or a talk; empty for nothing. A new value
// means a new track id.
QString onAirItem(const StationStatus& status);
// The track id of the `number`th item on the air since start.
QString trackId(quint64 number);

// The Player interface's properties as `status` shows them, all but Position (which moves all
// the time and is read when asked). `itemNumber` numbers the item on the air for its track id.
QVariantMap playerProperties(const StationStatus& status, quint64 itemNumber);
// Where the song on the air stands, in microseconds (0 during a talk or without a song).
qint64 positionUs(const StationStatus& status);
// The entries of `after` that are new or differ from `before`.
QVariantMap changedProperties(const QVariantMap& before, const QVariantMap& after);

} // namespace mpris

// The MPRIS service of the running station. Window thread only.
class MprisService final : public QObject {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> quit;  // ends the program as closing the window does
        std::function<void()> raise; // brings the window forward; empty without a window
    };
    MprisService(StationControl& control, Actions actions, QObject* parent = nullptr);
    ~MprisService() override;

    // Publishes the service on the session bus; false with the reason when there is no bus or
    // the name is taken.
    bool start(QString* why);

    // For the adaptors.
    StationControl& control() { return control_; }
    const Actions& actions() const { return actions_; }
    QVariantMap properties() const { return last_; }
    void pressOrIgnore(ControlButton button);

private:
    void follow(const StationStatus& status);

    StationControl& control_;
    Actions actions_;
    QString item_;
    quint64 itemNumber_ = 0;
    QVariantMap last_;
    bool registered_ = false;
};

} // namespace corvalin
