// The transport buttons of the main window and their guard timers.
#include "library/PlayList.h"
#include "station/Sequencer.h"

#include <exception>

namespace corvalin {

void Sequencer::bPlayClick() {
    if (s_.TransportState == tsPlaying)
        return;
    view_.setButtonEnabled(TransportButton::Play, false);
    view_.setButtonEnabled(TransportButton::Stop, false);
    view_.setButtonEnabled(TransportButton::DJTest, false);
    try {
        t_.Timer4.start(kButtonsBackMs);
        t_.Timer8.stop();
        s_.TransportState = tsPlaying;
        view_.setTransportDown(TransportButton::Play);
        if (s_.Speech.DJSpeaking && s_.Speech.DJTestRunning) {
            // A voice test starts no song when it ends: cut it and go on the air now.
            if (host_.HasSpeechEngine())
                host_.ResetSpeech();
            s_.Speech.DJSpeaking = false;
            s_.Speech.SpeechPaused = false;
        }
        if (s_.Speech.DJSpeaking && s_.Speech.SpeechPaused) {
            host_.ResumeSpeech();
            s_.Speech.SpeechPaused = false;
        }
        Deck* active = deck(s_.ActivePlayer);
        if (active != nullptr && active->State() == DeckState::Paused) {
            active->Play();
            host_.SetPlayerTimers(s_.ActivePlayer, true);
            t_.Timer1.start(kTickMs);
        } else if (startPending_) {
            // The song whose file is being opened starts when it is open.
        } else if (s_.SongStartPending) {
            // The talk asked for the queued song while we were paused.
            s_.SongStartPending = false;
            PlaySong();
        } else if (!s_.Speech.DJSpeaking) {
            NextSong();
            PlaySong();
        }
    } catch (const std::exception&) {
    }
    view_.setButtonEnabled(TransportButton::Stop, s_.SongFound);
}

void Sequencer::bPauseClick() {
    view_.setButtonEnabled(TransportButton::Next, false);
    view_.setButtonEnabled(TransportButton::Pause, false);
    view_.setButtonEnabled(TransportButton::Play, false);
    view_.setButtonEnabled(TransportButton::Stop, false);
    view_.setButtonEnabled(TransportButton::DJTest, true);
    if (s_.TransportState != tsPaused) {
        try {
            s_.TransportState = tsPaused;
            view_.setTransportDown(TransportButton::Pause);
            t_.Timer8.start(kPauseToStopMs);
            t_.Timer1.stop();
            t_.Timer2.stop();
            t_.Timer4.stop();
            view_.setTitleScrolling(1, false);
            view_.setTitleScrolling(2, false);
            Deck* active = deck(s_.ActivePlayer);
            if (active != nullptr && active->State() == DeckState::Playing) {
                active->Pause();
                host_.SetPlayerTimers(s_.ActivePlayer, false);
            }
            if (host_.HasSpeechEngine())
                s_.Speech.SpeechPaused = host_.PauseSpeech();
        } catch (const std::exception&) {
        }
    }
    view_.setButtonEnabled(TransportButton::Play, true);
    view_.setButtonEnabled(TransportButton::Stop, true);
}

void Sequencer::bStopClick() {
    view_.setButtonEnabled(TransportButton::Stop, false);
    view_.setButtonEnabled(TransportButton::Play, false);
    view_.setButtonEnabled(TransportButton::DJTest, true);
    s_.Speech.SpeechPaused = false;
    if (s_.TransportState != tsStopped) {
        try {
            s_.TransportState = tsStopped;
            s_.SongStartPending = false;
            // A song whose file is still being opened does not start.
            ++startGeneration_;
            startPending_ = false;
            view_.setTransportDown(TransportButton::Stop);
            t_.Timer4.stop();
            view_.setButtonEnabled(TransportButton::Next, false);
            view_.setButtonEnabled(TransportButton::Pause, false);
            KillDSPlayers();
            if (host_.HasSpeechEngine())
                host_.ResetSpeech();
            // The cut talk is over for the station: its late end must not start a song, and a
            // Play before that end arrives must start one.
            s_.Speech.NextSongStarted = true;
            s_.Speech.DJSpeaking = false;
            t_.Timer1.stop();
            t_.Timer2.stop();
            t_.Timer3.stop();
            t_.Timer7.stop();
            t_.Timer8.stop();
            view_.setDJProgress(0, 100);
            view_.setDJProgressVisible(false);
            s_.News.clear();
            for (int player = 1; player <= 2; ++player) {
                view_.setTitleText(player, QString());
                view_.setTitleScrolling(player, false);
            }
            if (!list_.isEmpty())
                list_.setCurrentRow(0);
        } catch (const std::exception&) {
        }
    }
    view_.setButtonEnabled(TransportButton::Play, true);
}

void Sequencer::bNextClick() {
    view_.setButtonEnabled(TransportButton::Next, false);
    view_.setButtonEnabled(TransportButton::Pause, false);
    t_.Timer4.start(kButtonsBackMs);
    if (view_.isButtonDown(TransportButton::Stop))
        return;
    Deck* active = deck(s_.ActivePlayer);
    if (active != nullptr && active->State() == DeckState::Playing) {
        s_.SkipRequested = true;
        s_.OverlapMs = 0;
        t_.Timer1.setInterval(kTickMs);
        active->Fade(kNextFadeMs, kPlayerVolumeMinimum);
    }
    if (host_.HasSpeechEngine())
        host_.ResetSpeech();
}

void Sequencer::Timer4Timer() {
    t_.Timer4.stop();
    view_.setButtonEnabled(TransportButton::Next, true);
    view_.setButtonEnabled(TransportButton::Pause, true);
}

void Sequencer::Timer8Timer() {
    t_.Timer8.stop();
    bStopClick();
}

} // namespace corvalin
