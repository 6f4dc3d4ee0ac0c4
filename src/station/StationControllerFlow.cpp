// The station's flow: the buttons, the timers and the volumes, and what playout and the talk ask
// of the station.
#include "audio/Analysis.h"
#include "audio/VolumeControls.h"
#include "station/AsRunLog.h"
#include "station/StationController.h"
#include "station/StationTrace.h"
#include "voice/speech/DJSpeech.h"
#include "voice/speech/DJSpeechEngine.h"
#include "voice/speech/VoiceCatalogue.h"

#include <QScopeGuard>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <exception>

namespace corvalin {

// ---------------------------------------------------------------------------------------------
// Buttons, timers, volumes

void StationController::command(StationCommand command) {
    if (closed_ || !created_)
        return;
    switch (command) {
    case StationCommand::Play:
        sequencer_->bPlayClick();
        break;
    case StationCommand::Pause:
        sequencer_->bPauseClick();
        break;
    case StationCommand::Stop:
        sequencer_->bStopClick();
        break;
    case StationCommand::Next:
        sequencer_->bNextClick();
        break;
    case StationCommand::DJTest:
        bDJTestClick();
        break;
    case StationCommand::Manager:
    case StationCommand::PlayList:
    case StationCommand::About:
    case StationCommand::ViewList:
        break; // the dialogs are opened by the window over the station
    }
}

void StationController::bDJTestClick() {
    view_.setButtonEnabled(TransportButton::DJTest, false);
    view_.setButtonEnabled(TransportButton::Play, false);
    view_.setButtonEnabled(TransportButton::Pause, false);
    view_.setButtonEnabled(TransportButton::Next, false);
    if (state_.TransportState != tsPaused && state_.TransportState != tsPlaying) {
        // Nothing to stop while the voice is tested off the air.
        view_.setButtonEnabled(TransportButton::Stop, false);
        view_.setTransportDown(TransportButton::Stop);
    }
    if (speech_)
        speech_->speakTest(slotVoiceFor(currentSlot().SpeechEngine));
    timer6_->start(kTimer6Ms);
}

void StationController::Timer7Timer() {
    timer7_->stop();
    if (speech_)
        speech_->Timer7Timer();
}

namespace {

MeterReading readingOf(const TAnalysis& analysis) {
    MeterReading reading;
    reading.channels = analysis.Channels;
    reading.columnCount = analysis.ColumnCount;
    reading.maxValues = analysis.MaxValues;
    reading.minValues = analysis.MinValues;
    reading.levels[0] = analysis.Levels[0];
    reading.levels[1] = analysis.Levels[1];
    reading.samplesPerTick = analysis.SamplesPerTick;
    return reading;
}

} // namespace

void StationController::PlayerTimerTimer(int player) {
    const int i = player == 1 ? 0 : 1;
    TDSPlayerChannel& c = channel(player);
    if (c.State() != chPlaying) {
        SetPlayerTimers(player, false);
        return;
    }
    TAnalysis* analysis = analysis_[i].get();
    if (!analysis) {
        view_.clearMeters(player);
        return;
    }
    try {
        analysis->Analyse();
    } catch (const std::exception&) {
        return; // a deck that cannot lend its data now shows the last trace; the next tick retries
    }
    view_.showMeters(player, readingOf(*analysis));
}

void StationController::ResetMeters(int player) {
    TAnalysis* analysis = analysis_[player == 1 ? 0 : 1].get();
    if (!analysis) {
        view_.clearMeters(player);
        return;
    }
    analysis->ResetTrace();
    MeterReading reading = readingOf(*analysis);
    reading.levels[0] = 0.0f; // the bars go to 0; the flat trace stays in view
    reading.levels[1] = 0.0f;
    view_.showMeters(player, reading);
}

void StationController::PlayerTimerATimer(int player) {
    sequencer_->PlayerTimerATimer(player);
    feedLoudness(false); // the song queued after a start is measured before it plays
}

void StationController::PlayerVolumeChange(int value) {
    settings_.PlayerVolume = value;
    PlayerVolumeChanged(channel1_.get(), channel2_.get(), value);
}

void StationController::DJVolumeChange(int value) {
    settings_.DJVolume = value;
    if (!speech_)
        return;
    speech_->volumeSlider().setValue(value);
    speech_->DJVolumeChanged();
}

void StationController::WaveVolumeChange(int value) {
    settings_.WaveVolume = value;
    if (env_.device && !WaveVolumeChanged(env_.device.get(), value))
        shell_.beep();
}

void StationController::ApplicationEvents1Exception(const QString& message) {
    // Errors raised while the box is up (a timer failing every second) must not stack boxes.
    if (errorBoxShown_)
        return;
    const bool wasPlaying = view_.isButtonDown(TransportButton::Play);
    {
        errorBoxShown_ = true;
        const auto reset = qScopeGuard([this] { errorBoxShown_ = false; });
        view_.showTimerBox(message, QStringLiteral("Error"), 10000);
    }
    if (wasPlaying && !closed_) {
        sequencer_->bStopClick();
        sequencer_->bPlayClick();
    }
}

// ---------------------------------------------------------------------------------------------
// What playout and the talk ask of the window

void StationController::CheckTimeSlot() {
    // Another program wrote the list on the air (--import-folder, an editor): it is read again,
    // as after the Radio Manager's OK, and the song chosen next comes from it.
    const QString onAir = scheduler_.listSource();
    const bool changedOnDisk = scheduler_.CurrentSlot != 0 && slotList_.changedOnDisk(onAir);
    if (changedOnDisk)
        scheduler_.forceReload();
    const TimeSlotChange change = scheduler_.CheckTimeSlot(settings_.DJSlots, slotList_);
    if (changedOnDisk && scheduler_.listSource() == onAir) {
        scheduler_.ListChanged = true; // other rows now: the next choice starts at the top
        trace::event("list-reloaded",
                     QString::number(table_.rowCount()) + QLatin1Char(' ') + onAir);
        say(QStringLiteral("the play list \"%1\" was changed by another program and is read again "
                           "(%2 songs); the next song comes from it")
                .arg(onAir)
                .arg(table_.rowCount()));
    }
    if (change.colourChanged)
        view_.setSlotColour(change.colour);
    if (change.applied) {
        view_.setDJName(change.djName);
        phrases_.LoadSlotPhrases(scheduler_.CurrentSlot, lists_);
    }
    if (!change.error.isEmpty()) {
        if (!terminating_)
            view_.showMessage(MessageKind::Error, kSetupErrorCaption, change.error);
        sequencer_->bStopClick();
    }
}

void StationController::SaveList() {
    const QString& file = scheduler_.listSource();
    if (file.isEmpty())
        return;
    if (slotList_.changedOnDisk(file)) {
        // The other program's version stays; the next time-slot check reads it.
        trace::event("list-changed", file);
        return;
    }
    slotList_.save(file);
}

void StationController::say(const QString& line) {
    if (env_.log) {
        env_.log(line);
        return;
    }
    std::fprintf(stderr, "corvalinradio: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

bool StationController::StartNewsFetch() {
    // The weather of no place is not read.
    return news_->startFetch(settings_.ReadNews,
                             settings_.ReadWeather && zipCodeGiven(settings_.ZipCode));
}

bool StationController::HasVoices() const {
    return engine_ && !engine_->voices().isEmpty();
}

void StationController::Timer2Talk() {
    if (talk_)
        talk_->Timer2Timer();
    else
        sequencer_->PlaySong();
}

bool StationController::HasSpeechEngine() const {
    return speech_ != nullptr;
}

bool StationController::PauseSpeech() {
    speech_->pause();
    if (env_.asRunLog && state_.Speech.SpeechPaused)
        env_.asRunLog->paused(AsRunLog::Voice);
    return state_.Speech.SpeechPaused;
}

void StationController::ResumeSpeech() {
    speech_->resume();
    if (env_.asRunLog)
        env_.asRunLog->resumed(AsRunLog::Voice);
}

void StationController::ResetSpeech() {
    speech_->reset(false);
}

void StationController::SetPlayerTimers(int player, bool enabled) {
    const int i = player == 1 ? 0 : 1;
    if (!enabled) {
        meterTimer_[i]->stop();
        positionTimer_[i]->stop();
        return;
    }
    TDSPlayerChannel& c = channel(player);
    if (!analysis_[i] || analysis_[i]->Channel != &c || analysedFile_[i] != c.FileName()) {
        analysis_[i].reset();
        try {
            // The song's own rate: a 22.05 kHz song must not be read at the mixer's 44.1 kHz.
            const int samplesPerTick = std::max(1, TAnalysis::SamplesPerTickFor(c, kMeterTimerMs));
            analysis_[i] = std::make_unique<TAnalysis>(&c, samplesPerTick, kTraceColumns);
            analysedFile_[i] = c.FileName();
        } catch (const std::exception&) {
            analysedFile_[i].clear();
        }
    }
    meterTimer_[i]->start();
    positionTimer_[i]->start();
}

NewsFetchCounters& StationController::FetchCounters() {
    return news_->counters();
}

void StationController::SongMissing(const QString& file) {
    if (reportedMissing_.contains(file))
        return;
    reportedMissing_.insert(file);
    trace::event("song-missing", file);
    say(QStringLiteral("the song file \"%1\" of the play list \"%2\" is missing; it is skipped")
            .arg(file, scheduler_.listSource()));
}

TTalkSettings StationController::TalkSettings() const {
    const _rDJ& slot = currentSlot();
    return TTalkSettings{settings_.StationIdentification, settings_.PublicService.trimmed(),
                         slot.Name, slot.SpeechEngine, slot.FrequencyType};
}

void StationController::ClearDJTestRunning() {
    state_.Speech.DJTestRunning = false;
}

bool StationController::Speak(const QString& voiceModeName, const QString& taggedText) {
    if (!speech_)
        return false;
    const QString voice = slotVoiceFor(voiceModeName);
    // Only without any voice is nothing left to speak with: the talk is dropped and the caller
    // starts the next song at once.
    if (!engine_->voices().contains(voice, Qt::CaseInsensitive))
        return false;
    talkText_ = taggedText;
    speech_->SAPI_Speak(taggedText, voice);
    return true;
}

QString StationController::slotVoiceFor(const QString& wanted) {
    if (!engine_)
        return wanted;
    const int slot = scheduler_.CurrentSlot;
    const SlotVoice v = slotVoice(engine_->voices(), wanted, slot);
    std::optional<QString>& reported =
        reportedFallback_[static_cast<std::size_t>(std::clamp(slot, 0, kNewsSlot))];
    if (!v.fellBack) {
        reported.reset();
        return v.voice;
    }
    if (reported != wanted) {
        reported = wanted;
        const QString name =
            slotDisplayName(slot).isEmpty() ? QStringLiteral("current") : slotDisplayName(slot);
        const QString line =
            QStringLiteral("the %1 DJ's voice \"%2\" is not installed; speaking with \"%3\"")
                .arg(name, wanted, v.voice);
        if (env_.log)
            env_.log(line);
        else
            std::fprintf(stderr, "corvalinradio: %s\n", line.toLocal8Bit().constData());
        trace::event("voice-fallback", QString::number(slot) + QLatin1Char(' ') + wanted +
                                           QStringLiteral(" -> ") + v.voice);
    }
    return v.voice;
}

bool StationController::PlayDown() const {
    return view_.isButtonDown(TransportButton::Play);
}

void StationController::PlaySong() {
    sequencer_->PlaySong();
}

void StationController::bStopClick() {
    sequencer_->bStopClick();
}

} // namespace corvalin
