#include "station/StationControl.h"

#include "core/Helpers.h"
#include "station/StationController.h"
#include "station/TimeSlot.h"

#include <QJsonDocument>
#include <QJsonValue>

namespace corvalin {

namespace {

TransportButton buttonOf(ControlButton button) {
    switch (button) {
    case ControlButton::Play:
        return TransportButton::Play;
    case ControlButton::Pause:
        return TransportButton::Pause;
    case ControlButton::Stop:
        return TransportButton::Stop;
    case ControlButton::Next:
        break;
    }
    return TransportButton::Next;
}

StationCommand commandOf(ControlButton button) {
    switch (button) {
    case ControlButton::Play:
        return StationCommand::Play;
    case ControlButton::Pause:
        return StationCommand::Pause;
    case ControlButton::Stop:
        return StationCommand::Stop;
    case ControlButton::Next:
        break;
    }
    return StationCommand::Next;
}

QString buttonName(ControlButton button) {
    switch (button) {
    case ControlButton::Play:
        return QStringLiteral("Play");
    case ControlButton::Pause:
        return QStringLiteral("Pause");
    case ControlButton::Stop:
        return QStringLiteral("Stop");
    case ControlButton::Next:
        break;
    }
    return QStringLiteral("Next");
}

// Artist and title as the DJ says them: "The" added where the song is marked for it.
ControlSong namedSong(const _rSong& song, const QString& theWord) {
    const QString the = theWord.trimmed().isEmpty() ? QStringLiteral("The") : theWord.trimmed();
    auto spoken = [&](const QString& text, bool withThe) {
        const QString t = text.trimmed();
        return withThe && !t.isEmpty() ? the + QLatin1Char(' ') + t : t;
    };
    ControlSong named;
    named.artist = spoken(song.Artist, song.TheArtist);
    named.title = spoken(song.Title, song.TheTitle);
    named.file = song.FileName;
    return named;
}

QString streamStateName(StreamState state) {
    switch (state) {
    case StreamState::Off:
        break;
    case StreamState::Connecting:
        return QStringLiteral("connecting");
    case StreamState::Connected:
        return QStringLiteral("connected");
    case StreamState::Failed:
        return QStringLiteral("failed");
    }
    return QStringLiteral("off");
}

QJsonValue msValue(qint64 ms) {
    return ms < 0 ? QJsonValue() : QJsonValue(static_cast<double>(ms) / 1000.0);
}

QJsonValue songJson(const std::optional<ControlSong>& song) {
    if (!song)
        return QJsonValue();
    QJsonObject o;
    o[QStringLiteral("artist")] = song->artist;
    o[QStringLiteral("title")] = song->title;
    o[QStringLiteral("file")] = song->file;
    o[QStringLiteral("length")] = msValue(song->lengthMs);
    o[QStringLiteral("elapsed")] = msValue(song->elapsedMs);
    o[QStringLiteral("remaining")] = msValue(song->remainingMs());
    return o;
}

QString songLine(const ControlSong& song) {
    QString text = song.artist.isEmpty() || song.title.isEmpty()
                       ? song.artist + song.title
                       : song.artist + QStringLiteral(" - ") + song.title;
    if (text.isEmpty())
        text = song.file;
    return text;
}

} // namespace

QByteArray control::requestFor(ControlButton button) {
    return buttonName(button).toLower().toLatin1();
}

QJsonObject statusToJson(const StationStatus& s) {
    QJsonObject o;
    o[QStringLiteral("state")] = s.state;
    o[QStringLiteral("onAir")] = songJson(s.onAir);
    o[QStringLiteral("deck")] = s.onAir ? QJsonValue(s.deck) : QJsonValue();
    o[QStringLiteral("talking")] = s.talking;
    o[QStringLiteral("voiceTest")] = s.voiceTest;
    o[QStringLiteral("next")] = songJson(s.next);
    o[QStringLiteral("slot")] = s.slot;
    o[QStringLiteral("dj")] = s.dj;
    o[QStringLiteral("station")] = s.station;
    QJsonObject stream;
    stream[QStringLiteral("state")] = s.stream;
    stream[QStringLiteral("detail")] = s.streamDetail;
    o[QStringLiteral("stream")] = stream;
    o[QStringLiteral("lastFetch")] = s.lastFetch;
    QJsonObject buttons;
    buttons[QStringLiteral("play")] = s.canPlay;
    buttons[QStringLiteral("pause")] = s.canPause;
    buttons[QStringLiteral("stop")] = s.canStop;
    buttons[QStringLiteral("next")] = s.canNext;
    o[QStringLiteral("buttons")] = buttons;
    o[QStringLiteral("mainVolume")] = s.mainVolume;
    return o;
}

QString statusToText(const StationStatus& s) {
    QString text = QStringLiteral("State: %1\n").arg(s.state);
    if (s.onAir) {
        QString line = songLine(*s.onAir);
        if (s.onAir->elapsedMs >= 0 && s.onAir->lengthMs > 0)
            line += QStringLiteral(" (%1 of %2, %3 to go)")
                        .arg(MsToText(s.onAir->elapsedMs, QStringLiteral(":")),
                             MsToText(s.onAir->lengthMs, QStringLiteral(":")),
                             MsToText(s.onAir->remainingMs(), QStringLiteral(":")));
        text += QStringLiteral("On the air: %1\n").arg(line);
    }
    if (s.talking)
        text += QStringLiteral("DJ: talking\n");
    else if (s.voiceTest)
        text += QStringLiteral("DJ: voice test\n");
    text += QStringLiteral("Next: %1\n").arg(s.next ? songLine(*s.next) : QStringLiteral("-"));
    text += QStringLiteral("Slot: %1, DJ %2\n")
                .arg(s.slot.isEmpty() ? QStringLiteral("-") : s.slot,
                     s.dj.isEmpty() ? QStringLiteral("-") : s.dj);
    // Several outputs give a line each: they line up under the first.
    QString stream = s.streamDetail;
    stream.replace(u'\n', QStringLiteral("\n        "));
    text += QStringLiteral("Stream: %1\n").arg(stream);
    text += QStringLiteral("Last fetch: %1\n")
                .arg(s.lastFetch.isEmpty() ? QStringLiteral("none yet") : s.lastFetch);
    return text;
}

StationControl::StationControl(StationController& station, IStationView& view, QObject* parent)
    : QObject(parent), station_(station), view_(view) {
    connect(&station_, &StationController::onAirChanged, this, &StationControl::checkForChange);
    connect(&station_, &StationController::streamStatusChanged, this,
            &StationControl::checkForChange);
    view_.setButtonsChangedHandler([this] { checkSoon(); });
}

StationControl::~StationControl() {
    view_.setButtonsChangedHandler({});
}

StationStatus StationControl::status() const {
    StationStatus s;
    const StationState& state = station_.state();
    switch (state.TransportState) {
    case tsPlaying:
        s.state = QStringLiteral("playing");
        break;
    case tsPaused:
        s.state = QStringLiteral("paused");
        break;
    case tsStopped:
        s.state = QStringLiteral("stopped");
        break;
    default:
        s.state = QStringLiteral("idle");
        break;
    }
    // The song on the air is on the active deck; right after a Next or at a song's end the other
    // deck may still hold the one fading out.
    const int active = state.ActivePlayer == 1 ? 1 : 2;
    for (const int player : {active, active == 1 ? 2 : 1}) {
        const _rSong& song = station_.songOnDeck(player);
        if (song.FileName.isEmpty())
            continue;
        ControlSong named = namedSong(song, station_.theWord());
        named.lengthMs = station_.deckDuration(player);
        named.elapsedMs = std::min<qint64>(station_.deckPosition(player), named.lengthMs);
        s.onAir = named;
        s.deck = player;
        break;
    }
    s.talking = state.Speech.DJSpeaking && !state.Speech.DJTestRunning;
    s.voiceTest = state.Speech.DJTestRunning;
    const _rSong& next = state.NextSongInfo();
    if (!next.FileName.isEmpty() && (!s.onAir || s.onAir->file != next.FileName))
        s.next = namedSong(next, station_.theWord());
    s.slot = slotDisplayName(station_.scheduler().CurrentSlot);
    if (!s.slot.isEmpty())
        s.dj = station_.currentSlotSettings().Name;
    s.station = station_.settings().StationIdentification;
    const StreamStatus stream = station_.streamStatus();
    s.stream = streamStateName(stream.state);
    s.streamDetail = streamStatusText(stream);
    s.lastFetch = station_.newsFeed().lastOutcomeText();
    s.canPlay = enabled(ControlButton::Play);
    s.canPause = enabled(ControlButton::Pause);
    s.canStop = enabled(ControlButton::Stop);
    s.canNext = enabled(ControlButton::Next);
    s.mainVolume = view_.volume(VolumeSlider::Wave);
    return s;
}

bool StationControl::enabled(ControlButton button) const {
    return station_.created() && view_.isButtonEnabled(buttonOf(button));
}

QString StationControl::refusal(ControlButton button) const {
    const QString why = [&]() -> QString {
        if (!station_.created() || !station_.StartupChecked())
            return QStringLiteral("the station is starting");
        const StationState& state = station_.state();
        if (state.Speech.DJTestRunning && state.Speech.DJSpeaking)
            return QStringLiteral("the DJ voice is being tested");
        const bool playing = state.TransportState == tsPlaying;
        switch (button) {
        case ControlButton::Play:
            return playing ? QStringLiteral("the station is playing") : QString();
        case ControlButton::Pause:
        case ControlButton::Next:
            if (playing)
                return QStringLiteral("it comes back 10 s after Play or Next");
            return state.TransportState == tsPaused ? QStringLiteral("the station is paused")
                                                    : QStringLiteral("the station is stopped");
        case ControlButton::Stop:
            if (playing)
                return QStringLiteral("no song was found to play");
            return QStringLiteral("the station is stopped");
        }
        return {};
    }();
    QString text = QStringLiteral("%1 is disabled").arg(buttonName(button));
    if (!why.isEmpty())
        text += QStringLiteral(": ") + why;
    return text;
}

PressResult StationControl::press(ControlButton button) {
    if (!enabled(button))
        return {false, refusal(button)};
    station_.command(commandOf(button));
    checkForChange();
    return {true, {}};
}

void StationControl::setMainVolume(int value) {
    value = std::clamp(value, 0, 65535);
    if (value == view_.volume(VolumeSlider::Wave))
        return;
    view_.setVolume(VolumeSlider::Wave, value);
    station_.WaveVolumeChange(value);
    checkForChange();
}

QByteArray StationControl::answer(const QByteArray& request) {
    if (request == control::kStatus)
        return "ok\n" + statusToText(status()).toUtf8();
    if (request == control::kStatusJson)
        return "ok\n" + QJsonDocument(statusToJson(status())).toJson(QJsonDocument::Compact) + '\n';
    for (const ControlButton button :
         {ControlButton::Play, ControlButton::Pause, ControlButton::Stop, ControlButton::Next}) {
        if (request != control::requestFor(button))
            continue;
        const PressResult result = press(button);
        return result.done ? QByteArrayLiteral("ok\n")
                           : "refused\n" + result.reason.toUtf8() + '\n';
    }
    return QByteArrayLiteral("error\nunknown request\n");
}

void StationControl::checkSoon() {
    if (checkPending_)
        return;
    checkPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            checkPending_ = false;
            checkForChange();
        },
        Qt::QueuedConnection);
}

void StationControl::checkForChange() {
    StationStatus now = status();
    // The position moves all the time; only a change of what is shown counts.
    if (now.onAir)
        now.onAir->elapsedMs = 0;
    if (now == last_)
        return;
    last_ = now;
    Q_EMIT changed(status());
}

} // namespace corvalin
