#pragma once

#include "audio/DSPlayer.h"
#include "feeds/NewsFeed.h"
#include "library/PlayList.h"
#include "station/Deck.h"
#include "station/Sequencer.h"
#include "station/SettingsStore.h"
#include "station/SlotPlayListTable.h"
#include "station/StationState.h"
#include "station/StationView.h"
#include "station/TimeSlot.h"
#include "stream/StreamOutput.h"
#include "voice/DJTalk.h"
#include "voice/PhraseLists.h"
#include "voice/Vocabulary.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace corvalin {

class AsRunLog;
class Clock;
class DJSpeech;
class DJSpeechEngine;
class LoudnessScanner;
class RandomSource;
class SoundDevice;
class SystemClockSetter;
class TAnalysis;

inline const QString kNoTTSText =
    QStringLiteral("Warning. No TTS (Text-To-Speech) engines are installed on this system.");
inline const QString kNewsDefaultsChangedText = QStringLiteral(
    "The default settings for news and weather have changed.\rSee Options-Advanced Settings.");
inline constexpr int kTimer6Ms = 2000;
inline constexpr int kMeterTimerMs = 50;
inline constexpr int kPositionTimerMs = 1000;
inline constexpr int kTraceColumns = 108;
// The most characters of a talk the journal's line shows.
inline constexpr int kTalkLineChars = 160;

// What the station is built from: paths, time and randomness, the sound device, the speech engine
// and the timers. The program passes the real ones, tests their doubles.
struct StationEnvironment {
    SettingsPaths paths; // programFolder ends in "/"
    const Clock* clock = nullptr;
    RandomSource* random = nullptr;
    SystemClockSetter* clockSetter = nullptr;
    std::shared_ptr<SoundDevice> device;
    TDSChannelOptions channelOptions;
    // The voice catalogue and the engine speaking it, made at the first activation. Sets
    // *setupError when the voices could not be listed. Never returns null.
    std::function<std::unique_ptr<DJSpeechEngine>(QString* setupError)> makeSpeechEngine;
    // One-shot timers of the window (default: QtOneShotTimer).
    std::function<std::unique_ptr<OneShotTimer>(std::function<void()>)> makeTimer;
    NewsFeedSetup news;
    QString userName; // empty: the login's
    // The Icecast outputs, fed from `device` and run by the [Stream], [Stream2] and [Stream3]
    // settings (null: none).
    std::shared_ptr<StreamOutput> stream;
    // The as-run log, run by the [Log] settings (null: none).
    std::shared_ptr<AsRunLog> asRunLog;
    // Even loudness, run by the [Loudness] settings: gives each song its gain on the decks and
    // is told the queued song and the list to measure (null: no correction).
    std::shared_ptr<LoudnessScanner> loudness;
    // Where the station's notices for the operator go, one line each (a slot's voice that fell
    // back to another, ...); empty: standard error.
    std::function<void(const QString& line)> log;
};

// The station as the main window runs it: start-up and shutdown, the time-slot checks, playout
// and transport (Sequencer), the talk (TDJTalk), the speech (DJSpeech), the news feed, the decks
// and their meters, the volumes. Owns all of the station's state and long-lived objects; the
// window is a view. Window thread only.
class StationController final : public QObject, public SequencerHost, public TalkHost {
    Q_OBJECT
public:
    StationController(StationEnvironment environment, IStationView& view, StationShell& shell,
                      QObject* parent = nullptr);
    ~StationController() override;

    void FormCreate();
    // Every activation of the window; the first one brings up speech and players.
    void FormActivate();
    void Timer6Timer();
    void FormClose();

    // The operator's (or an alarm's) request.
    void command(StationCommand command);
    void bDJTestClick();
    void Timer7Timer();
    // The meter (50 ms) and position (1000 ms) timers of a deck.
    void PlayerTimerTimer(int player);
    void PlayerTimerATimer(int player);
    void PlayerVolumeChange(int value);
    void DJVolumeChange(int value);
    void WaveVolumeChange(int value);
    // An error no handler caught: shown for 10 s, then Stop and Play when it was playing.
    void ApplicationEvents1Exception(const QString& message);

    Sequencer& sequencer() { return *sequencer_; }
    const SettingsStore& store() const { return store_; }
    RandomSource& random() { return random_; }
    const QString& programFolder() const { return programFolder_; }
    TPhrases& phrases() { return phrases_; }
    TLivePhraseLists& livePhrases() { return lists_; }
    // The settings of the slot in force (the news pseudo-slot's when none is).
    const _rDJ& currentSlotSettings() const { return currentSlot(); }

    // What the station management dialogs ask of the running station.
    // A voice test of the Radio Manager: the test sentence in `voiceModeName`, starting no song.
    void speakVoiceTest(const QString& voiceModeName);
    // The alarm clocks from the settings in memory.
    void applyAutoClocks();
    // After the Radio Manager: the station name shown and the time slot checked (re-applied
    // when its OK asked for it); the song on the air plays on.
    void managerClosed();
    // The current slot's list file was saved by the editor: the live list is read from it again.
    void reloadLiveList();
    StationState& state() { return state_; }
    StationSettings& settings() { return settings_; }
    TimeSlotScheduler& scheduler() { return scheduler_; }
    TPlayListTable& playList() { return table_; }
    NewsFeed& newsFeed() { return *news_; }
    DJSpeechEngine* speechEngine() { return engine_.get(); }
    bool RestartPending() const { return restartPending_; }
    bool StartupChecked() const { return startupChecked_; }
    // Start-up found the station unusable (a required data file is missing) and ended it.
    bool terminated() const { return closed_ && !created_; }
    bool created() const { return created_; }
    // The process is asked to end (a termination signal), perhaps while a start-up box is open:
    // no further start-up step runs and no further box is shown.
    void requestTermination() { terminating_ = true; }
    bool terminationRequested() const { return terminating_; }
    OneShotTimer& timer(int number); // 1, 2, 3, 4, 6, 7 or 8
    bool playerTimersActive(int player) const;
    // A deck is still playing (fading out after Stop).
    bool decksSounding() const;
    // The stream's state now: the worst of the configured outputs', a line for each (Off without
    // a stream).
    StreamStatus streamStatus() const;
    // The song deck `player` (1 or 2) put on the air, until it ends (blank when none), and the
    // deck's position and length in ms.
    const _rSong& songOnDeck(int player) const;
    std::int32_t deckPosition(int player);
    std::int32_t deckDuration(int player) const;
    // The word the DJ says for a song's "The" mark.
    const QString& theWord() const { return vocabulary_.zzDJ2; }

    // SequencerHost
    void CheckTimeSlot() override;
    void SaveList() override;
    bool StartNewsFetch() override;
    bool HasVoices() const override;
    void Timer2Talk() override;
    bool HasSpeechEngine() const override;
    bool PauseSpeech() override;
    void ResumeSpeech() override;
    void ResetSpeech() override;
    void SetPlayerTimers(int player, bool enabled) override;
    void ResetMeters(int player) override;
    NewsFetchCounters& FetchCounters() override;
    // Told on the log and the trace once per file.
    void SongMissing(const QString& file) override;

Q_SIGNALS:
    // The stream connected, is connecting or failed, as streamStatus() tells it (window thread).
    void streamStatusChanged(const corvalin::StreamStatus& status);
    // A song or a talk went on or off the air, or a deck was paused or resumed.
    void onAirChanged();

public:
    // TalkHost
    TTalkSettings TalkSettings() const override;
    void ClearDJTestRunning() override;
    bool Speak(const QString& voiceModeName, const QString& taggedText) override;
    bool PlayDown() const override;
    void PlaySong() override;
    void bStopClick() override;

private:
    class SettingsForNews;
    class TracedDeck;

    const _rDJ& currentSlot() const;
    TDSPlayerChannel& channel(int player) { return player == 1 ? *channel1_ : *channel2_; }
    void ReadIni();
    void applyVolumesToView();
    void showIdleButtons();
    void showDJBar();
    void showDJVolumeSlider();
    void connectSpeech();
    // The stream and the as-run log follow the settings in memory.
    void applyStreamAndLog();
    // What a deck or the DJ puts on the air, for the as-run log and the stream's title.
    void deckStarted(int player, const QString& file);
    void deckPaused(int player, bool paused);
    void deckEnded(int player);
    // The voice the current slot speaks with for `wanted`: that one, or a working one in place of
    // a voice that is not installed (reported on the log and the trace once per name).
    QString slotVoiceFor(const QString& wanted);
    // One line for the operator (the log, else standard error).
    void say(const QString& line);
    // The journal's line at start: version, station folder, slot and DJ, list, sound, stream.
    QString startUpSummary() const;
    void voiceStarted();
    void voiceEnded();
    // The loudness scanner learns the queued song and the current list (`always`: even when the
    // queued song is the one it was told last).
    void feedLoudness(bool always);

    StationEnvironment env_;
    IStationView& view_;
    StationShell& shell_;
    const Clock& clock_;
    RandomSource& random_;
    QString programFolder_;
    SettingsStore store_;

    StationSettings settings_;
    StationState state_;
    TPlayListTable table_;
    SlotPlayListTable slotList_;
    TimeSlotScheduler scheduler_;
    TVocabulary vocabulary_;
    TPhrases phrases_;
    TLivePhraseLists lists_;
    QString userName_;
    bool restartPending_ = false;
    bool startPlay_ = true;
    bool activateDone_ = false;
    bool startupChecked_ = false;
    bool created_ = false;
    bool closed_ = false;
    bool tracingVoiceTest_ = false;
    bool errorBoxShown_ = false;
    bool terminating_ = false;
    QString talkText_; // the talk handed to the speech engine last, for the as-run log
    // Per slot (index 1..5), the missing voice whose fallback was reported last: told once.
    std::array<std::optional<QString>, kNewsSlot + 1> reportedFallback_;
    QString loudnessNext_;          // the queued song the loudness scanner was told last
    QSet<QString> reportedMissing_; // the missing song files already told
    std::array<_rSong, 2> onDeck_;  // what each deck put on the air

    std::unique_ptr<SettingsForNews> newsStore_;
    std::unique_ptr<NewsFeed> news_;

    std::unique_ptr<TDSPlayer> player1_;
    std::unique_ptr<TDSPlayer> player2_;
    std::unique_ptr<TDSPlayerChannel> channel1_;
    std::unique_ptr<TDSPlayerChannel> channel2_;
    std::unique_ptr<Deck> deck1_;
    std::unique_ptr<Deck> deck2_;
    std::unique_ptr<TAnalysis> analysis_[2];
    QString analysedFile_[2];
    QTimer* meterTimer_[2] = {nullptr, nullptr};
    QTimer* positionTimer_[2] = {nullptr, nullptr};

    std::unique_ptr<OneShotTimer> timer1_, timer2_, timer3_, timer4_, timer6_, timer7_, timer8_;

    std::unique_ptr<DJSpeechEngine> engine_;
    std::unique_ptr<DJSpeech> speech_;
    std::unique_ptr<TDJTalk> talk_;
    std::unique_ptr<Sequencer> sequencer_;
};

} // namespace corvalin
