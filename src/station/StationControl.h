#pragma once

#include "station/StationView.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <algorithm>
#include <optional>

namespace corvalin {

class StationController;

// A song as the DJ names it (artist and title with their "The" marks), where it stands and how
// long it is. Lengths and positions are in ms; -1 when unknown.
struct ControlSong {
    QString artist;
    QString title;
    QString file;
    qint64 elapsedMs = -1;
    qint64 lengthMs = -1;
    qint64 remainingMs() const {
        return lengthMs < 0 || elapsedMs < 0 ? -1 : std::max<qint64>(0, lengthMs - elapsedMs);
    }
    bool operator==(const ControlSong&) const = default;
};

// The station as the operator sees it on the console, in one snapshot.
struct StationStatus {
    // "idle" (after start-up, before any Play), "playing", "paused" or "stopped".
    QString state;
    std::optional<ControlSong> onAir; // the song on the air (on the active deck)
    int deck = 0;                     // the deck it plays on (1 or 2)
    bool talking = false;             // the DJ talks between two songs
    bool voiceTest = false;           // the voice test sentence is being spoken
    std::optional<ControlSong> next;  // the queued song
    QString slot;                     // "Morning", ...; empty before the first slot check
    QString dj;                       // the slot's DJ name
    QString station;                  // the station identification
    QString stream;                   // "off", "connecting", "connected" or "failed"
    QString streamDetail;             // the console lamp's text
    QString lastFetch;                // how the last news and weather fetch went
    // The transport buttons the operator could press now.
    bool canPlay = false;
    bool canPause = false;
    bool canStop = false;
    bool canNext = false;
    int mainVolume = 0; // the Main Volume slider, 0..65535

    bool operator==(const StationStatus&) const = default;
};

QJsonObject statusToJson(const StationStatus& status);
// A few lines for a person: state, on the air, next, slot and DJ, stream, last fetch.
QString statusToText(const StationStatus& status);

// A transport button pressed from outside the window.
enum class ControlButton { Play, Pause, Stop, Next };

struct PressResult {
    bool done = false;
    QString reason; // why it was refused
};

// The requests the running station answers on its single-instance socket, one line each; the
// reply's first line is "ok", "refused" or "error", the rest its text.
namespace control {
inline const QByteArray kStatus = QByteArrayLiteral("status");
inline const QByteArray kStatusJson = QByteArrayLiteral("status-json");
QByteArray requestFor(ControlButton button);
} // namespace control

// The one place where the station is read and its transport pressed from outside the console
// (the command line, the desktop's media keys). A press is the button's click exactly, and is
// refused while the console shows that button disabled. Window thread only.
class StationControl final : public QObject {
    Q_OBJECT
public:
    // `view` is the view the station draws on (its buttons' states are read there).
    StationControl(StationController& station, IStationView& view, QObject* parent = nullptr);
    ~StationControl() override;

    StationStatus status() const;
    PressResult press(ControlButton button);
    // Whether the console lets `button` be pressed now.
    bool enabled(ControlButton button) const;
    // Moves the Main Volume slider as the operator would (0..65535).
    void setMainVolume(int value);

    // The reply to one request line of the socket.
    QByteArray answer(const QByteArray& request);

    // Called by whoever learns that what the station shows may have changed (buttons, the deck,
    // the slot, the stream); emits changed() when the snapshot differs from the last one told.
    void checkForChange();
    // The same, once, when the event loop runs next: the logic changes several buttons in a row
    // and its state is whole only after it.
    void checkSoon();

Q_SIGNALS:
    void changed(const corvalin::StationStatus& status);

private:
    QString refusal(ControlButton button) const;

    StationController& station_;
    IStationView& view_;
    StationStatus last_;
    bool checkPending_ = false;
};

} // namespace corvalin
