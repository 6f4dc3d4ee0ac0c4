// What goes on the air and who is told: the decks' and the DJ's starts and ends for the as-run
// log, the stream's title and the journal; the stream's wiring; the loudness scanner; the
// journal's line at start.
#include "audio/LoudnessScanner.h"
#include "platform/Clock.h"
#include "platform/Version.h"
#include "station/AsRunLog.h"
#include "station/StationController.h"
#include "station/StationTrace.h"
#include "voice/speech/DJSpeech.h"

#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cstdio>

namespace corvalin {

QString StationController::startUpSummary() const {
    QString sound = QStringLiteral("none");
    if (env_.device) {
        const SoundOutputStatus out = env_.device->outputStatus();
        sound = out.fallback ? QStringLiteral("none (%1)").arg(out.reason) : out.backend;
    }
    QStringList targets;
    for (const StreamSettings& stream : settings_.Streams)
        if (stream.Enabled && !stream.Host.trimmed().isEmpty())
            targets
                << QStringLiteral("%1:%2%3").arg(stream.Host).arg(stream.Port).arg(stream.Mount);
    const QString streamTarget =
        targets.isEmpty() ? QStringLiteral("off") : targets.join(QStringLiteral(", "));
    const QString& list = scheduler_.listSource();
    return QStringLiteral("Corvalin Radio %1; station folder %2; %3 slot, DJ %4; list %5 (%6 "
                          "songs); sound output %7; stream %8")
        .arg(programVersion(), programFolder_, slotDisplayName(scheduler_.CurrentSlot),
             currentSlot().Name,
             list.isEmpty() ? currentSlot().PlayList + QStringLiteral(" not loaded") : list)
        .arg(list.isEmpty() ? 0 : table_.rowCount())
        .arg(sound, streamTarget);
}

void StationController::applyStreamAndLog() {
    if (env_.asRunLog)
        env_.asRunLog->setEnabled(settings_.LogEnabled);
    if (!env_.stream)
        return;
    if (env_.device)
        env_.device->setStreamTap(env_.stream->tap());
    // Shared: the stream hands each status to a copy of the handler.
    auto before = std::make_shared<std::array<StreamStatus, kStreamOutputCount>>();
    for (std::size_t i = 0; i < kStreamOutputCount; ++i)
        (*before)[i] = env_.stream->status(i);
    env_.stream->setOutputHandler([this, before](std::size_t output, const StreamStatus& status) {
        trace::event("stream-state", streamStatusText(status));
        // A headless station's operator reads the journal: every change of each output in one
        // line there (the line names the output's server and mount).
        if (const QString line = streamLogLine((*before)[output], status); !line.isEmpty()) {
            if (env_.log)
                env_.log(line);
            else
                std::fprintf(stderr, "corvalinradio: %s\n", line.toLocal8Bit().constData());
        }
        (*before)[output] = status;
    });
    // The lamp: the worst of the outputs, each on a line of its hint.
    env_.stream->setStatusHandler(
        [this](const StreamStatus& status) { Q_EMIT streamStatusChanged(status); });
    if (env_.stream->title().isEmpty())
        env_.stream->setTitle(settings_.StationIdentification);
    env_.stream->configure(settings_.Streams, settings_.StationIdentification);
}

StreamStatus StationController::streamStatus() const {
    return env_.stream ? env_.stream->status() : StreamStatus{};
}

namespace {

AsRunLog::Source deckSource(int player) {
    return player == 1 ? AsRunLog::Deck1 : AsRunLog::Deck2;
}

} // namespace

void StationController::feedLoudness(bool always) {
    if (!env_.loudness)
        return;
    const QString next = state_.NextSongInfo().FileName;
    if (!always && next == loudnessNext_)
        return;
    loudnessNext_ = next;
    QStringList files;
    files.reserve(table_.rowCount());
    for (int i = 0; i < table_.rowCount(); ++i)
        files.append(table_.cell(i, plcFileName));
    env_.loudness->setWanted(next, files);
}

void StationController::deckStarted(int player, const QString& file) {
    if (env_.loudness) {
        trace::event("loudness", QString::number(player) + QLatin1Char(' ') +
                                     QString::number(channel(player).GainDb(), 'f', 1));
        feedLoudness(true);
    }
    // The deck starts the queued song: its identity is still the queued one.
    const _rSong& song = state_.NextSongInfo();
    _rSong& onDeck = onDeck_[player == 1 ? 0 : 1];
    onDeck = song.FileName == file ? song : _rSong{};
    onDeck.FileName = file;
    Q_EMIT onAirChanged();
    if (env_.asRunLog) {
        AsRunItem item;
        item.kind = AsRunKind::Song;
        item.slot = slotDisplayName(scheduler_.CurrentSlot);
        item.dj = currentSlot().Name;
        item.artist = song.FileName == file ? song.Artist : QString();
        item.title = song.FileName == file ? song.Title : QString();
        item.file = file;
        env_.asRunLog->started(deckSource(player), item, clock_.now());
    }
    if (env_.stream) {
        _rSong shown = song;
        if (song.FileName != file)
            shown = _rSong{};
        env_.stream->setTitle(
            nowPlayingTitle(shown, vocabulary_.zzDJ2, settings_.StationIdentification));
    }
    // "on air: Artist - Title (3:25)"; the file's name when the song names nobody.
    _rSong named = song.FileName == file ? song : _rSong{};
    named.NeverAnnounce = false;
    const qint64 ms = std::max<qint64>(channel(player).Duration(), 0);
    shell_.journal(JournalLine::OnAir,
                   QStringLiteral("on air: %1 (%2:%3)")
                       .arg(nowPlayingTitle(named, vocabulary_.zzDJ2, QFileInfo(file).fileName()))
                       .arg(ms / 60000)
                       .arg((ms / 1000) % 60, 2, 10, QLatin1Char('0')));
}

void StationController::deckPaused(int player, bool paused) {
    Q_EMIT onAirChanged();
    if (!env_.asRunLog)
        return;
    if (paused)
        env_.asRunLog->paused(deckSource(player));
    else
        env_.asRunLog->resumed(deckSource(player));
}

void StationController::deckEnded(int player) {
    if (env_.asRunLog)
        env_.asRunLog->ended(deckSource(player), clock_.now());
    _rSong& onDeck = onDeck_[player == 1 ? 0 : 1];
    if (!onDeck.FileName.isEmpty()) {
        onDeck = _rSong{};
        Q_EMIT onAirChanged();
    }
}

const _rSong& StationController::songOnDeck(int player) const {
    return onDeck_[player == 1 ? 0 : 1];
}

std::int32_t StationController::deckPosition(int player) {
    return channel(player).Position();
}

std::int32_t StationController::deckDuration(int player) const {
    return (player == 1 ? *channel1_ : *channel2_).Duration();
}

void StationController::voiceStarted() {
    const bool test = state_.Speech.DJTestRunning;
    if (env_.asRunLog) {
        AsRunItem item;
        item.kind = test ? AsRunKind::VoiceTest : AsRunKind::Talk;
        item.slot = slotDisplayName(scheduler_.CurrentSlot);
        item.dj = currentSlot().Name;
        item.text = AsRunLog::plainSpeech(test ? QString::fromLatin1(kDJTestSentence) : talkText_);
        env_.asRunLog->started(AsRunLog::Voice, item, clock_.now());
    }
    if (env_.stream && !test)
        env_.stream->setTitle(settings_.StationIdentification);
    if (!test) {
        QString words = AsRunLog::plainSpeech(talkText_);
        if (words.size() > kTalkLineChars)
            words = words.left(kTalkLineChars - 1) + QChar(0x2026);
        shell_.journal(JournalLine::OnAir,
                       QStringLiteral("talk: %1: %2").arg(currentSlot().Name, words));
    }
    Q_EMIT onAirChanged();
}

void StationController::voiceEnded() {
    if (env_.asRunLog)
        env_.asRunLog->ended(AsRunLog::Voice, clock_.now());
    Q_EMIT onAirChanged();
}

} // namespace corvalin
