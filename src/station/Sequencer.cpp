#include "station/Sequencer.h"

#include "core/Helpers.h"
#include "feeds/NewsFeed.h"
#include "library/PlayList.h"
#include "library/SongNames.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "station/SettingsStore.h"
#include "station/TimeSlot.h"

#include <exception>

namespace corvalin {

namespace {

bool fileExists(const QString& path) {
    return isRegularFile(path);
}

void copySong(const _rSong& from, _rSong& to) {
    to.FileName = from.FileName;
    to.Artist = from.Artist;
    to.Title = from.Title;
    to.TheArtist = from.TheArtist;
    to.TheTitle = from.TheTitle;
    to.NeverAnnounce = from.NeverAnnounce;
    to.NeverOverlap = from.NeverOverlap;
    to.ExcludeFromCount = from.ExcludeFromCount;
}

int otherPlayer(int player) {
    return player == 1 ? 2 : 1;
}

} // namespace

QString SongDisplayText(const _rSong& song) {
    QString title = song.Title.trimmed();
    if (title.isEmpty())
        title = QStringLiteral("(Untitled)");
    QString text = song.TheTitle ? QStringLiteral("The ") + title : title;
    const QString artist = song.Artist.trimmed();
    if (!artist.isEmpty())
        text +=
            QStringLiteral(" - ") + (song.TheArtist ? QStringLiteral("The ") : QString()) + artist;
    return text;
}

Sequencer::Sequencer(StationState& state, TimeSlotScheduler& scheduler, TPlayListTable& list,
                     const TDJSlots& slots, const StationSettings& settings, IStationView& view,
                     Deck& deck1, Deck& deck2, StationTimers timers, SequencerHost& host,
                     const Clock& clock, RandomSource& random)
    : s_(state), scheduler_(scheduler), list_(list), slots_(slots), settings_(settings),
      view_(view), deck1_(deck1), deck2_(deck2), t_(timers), host_(host), clock_(clock),
      random_(random) {
    deck1_.OnEndPlay = [this] {
        OnEndPlay(1);
        tickNow();
    };
    deck2_.OnEndPlay = [this] {
        OnEndPlay(2);
        tickNow();
    };
    deck1_.OnEndFade = [this] {
        OnEndFade(1);
        tickNow();
    };
    deck2_.OnEndFade = [this] {
        OnEndFade(2);
        tickNow();
    };
    if (!s_.Talk.LastDJTalk.isValid())
        s_.Talk.LastDJTalk = neverFrom(clock_.now());
}

Deck* Sequencer::deck(int player) {
    if (player == 1)
        return &deck1_;
    if (player == 2)
        return &deck2_;
    return nullptr;
}

DeckState Sequencer::deckState(int player) const {
    if (player == 1)
        return deck1_.State();
    if (player == 2)
        return deck2_.State();
    return DeckState::Stopped;
}

const _rDJ& Sequencer::slot() const {
    const int current = scheduler_.CurrentSlot;
    return slots_[static_cast<std::size_t>(current >= 1 && current <= kSlotCount ? current : 0)];
}

void Sequencer::showTitle(int player, const QString& text, RgbColour colour) {
    view_.setTitleScrolling(player, false);
    view_.setTitleColour(player, colour);
    view_.setTitleText(player, text);
    view_.setTitleScrolling(player, true);
}

void Sequencer::queueNothing() {
    copySong(s_.NextSongInfo(), s_.LastSongInfo());
    s_.NextSongInfo() = _rSong{};
}

bool Sequencer::searchFromCurrent() {
    try {
        for (int row = std::max(list_.currentRow(), 0); row < list_.rowCount(); ++row) {
            if (list_.cell(row, plcPlayed) != QLatin1String("F"))
                continue;
            const QString& file = list_.cell(row, plcFileName);
            if (fileExists(file)) {
                list_.setCurrentRow(row);
                return true;
            }
            host_.SongMissing(file);
        }
    } catch (const std::exception&) {
    }
    return false;
}

int Sequencer::missingBesides(const QString& onAir) {
    if (onAir.isEmpty())
        return 0;
    int missing = 0;
    for (int row = 0; row < list_.rowCount(); ++row) {
        const QString& file = list_.cell(row, plcFileName);
        if (fileExists(file)) {
            if (file != onAir)
                return 0;
        } else {
            ++missing;
            host_.SongMissing(file);
        }
    }
    return missing;
}

void Sequencer::resetList() {
    list_.sortBy(plcPlayed);
    list_.setCurrentRow(0);
    for (int row = 0; row < list_.rowCount(); ++row) {
        list_.setCell(row, plcPlayed, QStringLiteral("F"));
        const int key =
            random_.below(90000) + random_.below(9000) + random_.below(900) + random_.below(90);
        list_.setCell(row, plcRandom, ZeroPad(key, 5));
    }
    list_.sortBy(slot().ListOrder != loOriginal ? plcRandom : plcOrder);
    list_.setCurrentRow(0);
}

void Sequencer::NextSong() {
    host_.CheckTimeSlot();
    if (list_.isEmpty()) {
        queueNothing();
        return;
    }
    s_.SongFound = false;

    const int next = s_.CurrentListIndex + 1;
    if (scheduler_.ListChanged || s_.CurrentListIndex < 0 || next >= list_.rowCount()) {
        list_.setCurrentRow(0);
        scheduler_.ListChanged = false;
    } else {
        list_.setCurrentRow(next);
    }

    // The song on the air, when one is: a list that comes round to it alone would play it again
    // and again.
    const DeckState active = deckState(s_.ActivePlayer);
    const QString onAir = active == DeckState::Stopped ? QString() : s_.NextSongInfo().FileName;
    for (int pass = 0; pass < 3 && !s_.SongFound; ++pass) {
        s_.SongFound = searchFromCurrent();
        if (s_.SongFound || pass != 0)
            continue;
        resetList();
        if (const int missing = missingBesides(onAir); missing > 0) {
            // Nothing is queued: play stops when this song ends.
            queueNothing();
            view_.showTimerBox(kOnlySongOnAirPlayable.arg(missing), kSetupErrorCaption,
                               kOpenErrorBoxMs);
            return;
        }
    }
    if (!s_.SongFound) {
        queueNothing();
        bStopClick();
        view_.showMessage(MessageKind::Error, kSetupErrorCaption, kNoValidFilesInSlotList);
        return;
    }

    copySong(s_.NextSongInfo(), s_.LastSongInfo());
    const int row = list_.currentRow();
    LoadSongInfo(s_.NextSongInfo(), settings_.ArtistSource, list_.cell(row, plcFileName));
    s_.CurrentListIndex = row;
    showTitle(otherPlayer(s_.ActivePlayer), SongDisplayText(s_.NextSongInfo()), colours::red);
}

void Sequencer::PlaySong() {
    // The queued song starts now, whoever asked: a talk's pending or late hand-over must not
    // start it a second time on the other deck.
    t_.Timer3.stop();
    s_.Speech.NextSongStarted = true;
    s_.NewSongStarted = true;
    s_.ListSavePending = true;
    s_.SongLengthMs = 10000;
    if (!s_.NextSongInfo().FileName.isEmpty() && !fileExists(s_.NextSongInfo().FileName)) {
        host_.SongMissing(s_.NextSongInfo().FileName);
        // The queued song went away since it was chosen: queue the next playable one instead
        // (choosing stops play with the list's message when there is none). The song on the air
        // stays the one the next talk names.
        const _rSong onAir = s_.LastSongInfo();
        NextSong();
        s_.LastSongInfo() = onAir;
        if (!view_.isButtonDown(TransportButton::Play))
            return;
    }
    const QString file = s_.NextSongInfo().FileName;
    if (!fileExists(file)) {
        bStopClick();
        return;
    }
    s_.ActivePlayer = otherPlayer(s_.ActivePlayer);
    ++startGeneration_;
    startPending_ = true;
    StartDSPlayer(s_.ActivePlayer, file, [this, file](bool started) {
        if (started) {
            songStarted();
            return;
        }
        KillDSPlayers();
        StartDSPlayer(s_.ActivePlayer, file, [this, file](bool startedAgain) {
            if (startedAgain)
                songStarted();
            else
                startFailed(file);
        });
    });
}

void Sequencer::songStarted() {
    startPending_ = false;
    const qint64 crossFadeMs = qint64{settings_.CrossFade} * 1000;
    s_.OverlapMs = (s_.SongLengthMs < crossFadeMs + 2000 || s_.NextSongInfo().NeverOverlap)
                       ? 1000
                       : crossFadeMs;
    t_.Timer1.start(static_cast<int>(s_.OverlapMs + kTimer1AfterStartExtraMs));
}

void Sequencer::startFailed(const QString& file) {
    startPending_ = false;
    s_.StartFailed = true;
    // The tick counts the song, marks it played and goes on at once: a file that cannot be played
    // costs no more air than a song change. It also goes on while the box is up.
    t_.Timer1.start(0);
    view_.showTimerBox(kOpenErrorText + file, QStringLiteral("Error"), kOpenErrorBoxMs);
}

void Sequencer::StartDSPlayer(int player, const QString& file,
                              std::function<void(bool started)> done) {
    Deck* d = deck(player);
    if (d == nullptr) {
        done(false);
        return;
    }
    try {
        if (d->State() == DeckState::Playing)
            d->Stop();
        d->Close();
    } catch (const std::exception&) {
        done(false);
        return;
    }
    const QString text = SongDisplayText(s_.NextSongInfo());
    const std::uint64_t start = startGeneration_;
    d->OpenAsync(file, [this, d, player, start, text, done = std::move(done)](bool opened) {
        if (start != startGeneration_) {
            // Stopped, or another song started, while the file was opened: not wanted now.
            if (opened) {
                try {
                    d->Close();
                } catch (const std::exception&) {
                }
            }
            return;
        }
        if (!opened) {
            done(false);
            return;
        }
        try {
            d->Prepare();
            d->SetVolume(view_.volume(VolumeSlider::Player));
            showTitle(player, text, colours::lime);
            d->Play();
            host_.SetPlayerTimers(player, true);
            s_.SongLengthMs = d->Duration();
            view_.setLengthText(player, QStringLiteral(" ") + MsToText(s_.SongLengthMs) +
                                            QStringLiteral(" "));
            if (s_.TransportState == tsPaused) {
                // Paused while the file was opened: the song waits at its start.
                d->Pause();
                host_.SetPlayerTimers(player, false);
            }
        } catch (const std::exception&) {
            done(false);
            return;
        }
        done(true);
    });
}

void Sequencer::tickNow() {
    // The tick is waiting for the song to end (the first tick may still be to come): it need not
    // wait for its next second. Its rules decide as ever what follows.
    if (t_.Timer1.isActive())
        t_.Timer1.start(0);
}

void Sequencer::KillDSPlayers() {
    for (int player = 1; player <= 2; ++player) {
        Deck* d = deck(player);
        if (d->State() == DeckState::Paused) {
            d->Stop();
            OnEndPlay(player);
        } else if (d->State() == DeckState::Playing) {
            d->Fade(kStopFadeMs, kPlayerVolumeMinimum);
        }
    }
    s_.ActivePlayer = 2;
}

void Sequencer::OnEndPlay(int player) {
    Deck* d = deck(player);
    if (d == nullptr)
        return;
    host_.SetPlayerTimers(player, false);
    host_.ResetMeters(player);
    view_.setPositionPercent(player, 0);
    view_.setLengthText(player, QString());
    view_.setRemainingText(player, QString());
    view_.setTitleScrolling(player, false);
    try {
        d->Close();
    } catch (const std::exception&) {
    }
}

void Sequencer::OnEndFade(int player) {
    Deck* d = deck(player);
    if (d == nullptr)
        return;
    try {
        d->SeekToEnd();
    } catch (const std::exception&) {
    }
    OnEndPlay(player);
}

void Sequencer::PlayerTimerATimer(int player) {
    Deck* d = deck(player);
    if (d == nullptr)
        return;
    qint64 duration = 0;
    qint64 position = 0;
    try {
        duration = d->Duration();
        position = d->Position();
    } catch (const std::exception&) {
        return; // the display waits for the next second; the tick deals with the deck
    }
    if (duration > 0)
        view_.setPositionPercent(player, static_cast<int>(position * 100 / duration));
    view_.setRemainingText(player, QStringLiteral(" ") +
                                       MsToText(std::max<qint64>(duration - position, 0)) +
                                       QStringLiteral(" "));
}

void Sequencer::applyNewsRule() {
    if (slot().FrequencyType >= ftNever || !(settings_.ReadNews || settings_.ReadWeather))
        return;
    const _rDJ& news = slots_[kNewsSlot];
    const NewsFetchCounters& counters = host_.FetchCounters();
    bool fetch = false;
    if (news.FrequencyType == ftMinutes)
        fetch =
            counters.LastNewsFetch.msecsTo(clock_.now()) > qint64{news.FrequencyMinutes} * 60000;
    else if (news.FrequencyType == ftSongs)
        fetch = counters.SongsSinceFetch >= news.FrequencySongs;
    if (fetch)
        host_.StartNewsFetch();
}

bool Sequencer::talkDue() const {
    const _rDJ& dj = slot();
    if (dj.FrequencyType == ftMinutes &&
        s_.Talk.LastDJTalk.msecsTo(clock_.now()) > qint64{dj.FrequencyMinutes} * 60000)
        return true;
    if ((dj.FrequencyType == ftSongs || dj.FrequencyType == ftRandom) &&
        s_.Talk.SongsSinceTalk >= s_.Talk.SongsUntilTalk)
        return true;
    const NewsTexts news = s_.News.get();
    if (settings_.ReadNews && !news.NewsHeadline.isEmpty())
        return true;
    return settings_.ReadWeather && !news.WeatherTemperature.isEmpty();
}

void Sequencer::Timer1Timer() {
    t_.Timer1.stop();
    if (!view_.isButtonDown(TransportButton::Play))
        return;
    if (deck(otherPlayer(s_.ActivePlayer))->State() == DeckState::Playing) {
        t_.Timer1.start(kTickMs);
        return;
    }
    if (s_.NewSongStarted) {
        s_.NewSongStarted = false;
        if (!s_.NextSongInfo().ExcludeFromCount) {
            ++s_.Talk.SongsSinceTalk;
            ++host_.FetchCounters().SongsSinceFetch;
        }
        if (!scheduler_.ListChanged && s_.CurrentListIndex >= 0 &&
            s_.CurrentListIndex < list_.rowCount())
            list_.setCell(s_.CurrentListIndex, plcPlayed, QStringLiteral("T"));
        NextSong();
        applyNewsRule();
        // Choosing may have stopped play (no valid files left).
        if (!view_.isButtonDown(TransportButton::Play))
            return;
    }

    qint64 position = 0;
    if (s_.SkipRequested) {
        s_.SkipRequested = false;
        position = s_.SongLengthMs + 1000;
    } else if (Deck* active = deck(s_.ActivePlayer)) {
        s_.SongLengthMs = active->Duration();
        position = active->Position();
    } else {
        s_.SongLengthMs = 0;
    }
    if (s_.SongLengthMs == s_.OverlapMs)
        s_.SongLengthMs = s_.OverlapMs + 2;
    if (s_.StartFailed) {
        s_.StartFailed = false;
        position = 0;
    }

    // Signed: a song shorter than the overlap must not leave a stopped deck waited on forever.
    const qint64 threshold = s_.SongLengthMs - s_.OverlapMs;
    const bool waiting = deck1_.State() == DeckState::Playing ||
                         deck2_.State() == DeckState::Playing ||
                         (position > 0 && position < threshold);
    if (waiting) {
        if (s_.ListSavePending) {
            s_.ListSavePending = false;
            host_.SaveList();
        }
        t_.Timer1.start(kTickMs);
        return;
    }

    if (s_.NextSongInfo().FileName.isEmpty()) {
        bStopClick();
    } else if (host_.HasVoices() && slot().FrequencyType != ftNever && talkDue()) {
        t_.Timer2.start(kTalkDelayMs);
    } else {
        PlaySong();
    }
}

void Sequencer::Timer2Timer() {
    t_.Timer2.stop();
    host_.Timer2Talk();
}

void Sequencer::Timer3Timer() {
    t_.Timer3.stop();
    s_.Speech.NextSongStarted = true;
    if (view_.isButtonDown(TransportButton::Play))
        PlaySong();
    else if (s_.TransportState == tsPaused)
        s_.SongStartPending = true;
}

} // namespace corvalin
