#pragma once

#include "core/Types.h"
#include "station/Deck.h"
#include "station/StationState.h"
#include "station/StationView.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace corvalin {

class Clock;
class IStationView;
struct NewsFetchCounters;
class RandomSource;
class TPlayListTable;
class TimeSlotScheduler;
struct StationSettings;

// What the playout needs from the rest of the main window. Window thread only.
class SequencerHost {
public:
    virtual ~SequencerHost() = default;
    // CheckTimeSlot and what the window shows for it; may reload the list and set ListChanged.
    virtual void CheckTimeSlot() = 0;
    // SaveList of the list in memory into the current slot's list file.
    virtual void SaveList() = 0;
    // Starts a news and weather fetch; false when one is running or it could not start.
    virtual bool StartNewsFetch() = 0;
    virtual bool HasVoices() const = 0;
    // Timer2's talk between two songs (a new talk distance for random slots, then SetDJSpeech);
    // ends by arming Timer3, or by calling PlaySong on failure.
    virtual void Timer2Talk() = 0;
    // The news fetch bookkeeping the news rule reads and counts.
    virtual NewsFetchCounters& FetchCounters() = 0;
    virtual bool HasSpeechEngine() const = 0;
    virtual bool PauseSpeech() = 0; // true when the speech was paused
    virtual void ResumeSpeech() = 0;
    virtual void ResetSpeech() = 0; // cuts the DJ off
    // The meter and position timers of `player`.
    virtual void SetPlayerTimers(int player, bool enabled) = 0;
    // The deck has finished: its level trace becomes a flat line and its level bars go to 0.
    virtual void ResetMeters(int player) = 0;
    // A song of the list is skipped because its file is missing (told for every skip).
    virtual void SongMissing(const QString& /*file*/) {}
};

// The main window's one-shot timers that playout and transport arm.
struct StationTimers {
    OneShotTimer& Timer1; // sequencer tick
    OneShotTimer& Timer2; // start of the talk
    OneShotTimer& Timer3; // song start handed back by the talk
    OneShotTimer& Timer4; // Next and Pause back after 10 s
    OneShotTimer& Timer7; // hides the DJ strip
    OneShotTimer& Timer8; // a long pause becomes a stop
};

inline const QString kNoValidFilesInSlotList =
    QStringLiteral("The play list for the current time slot does not contain any valid files.");
inline const QString kOnlySongOnAirPlayable = QStringLiteral(
    "The song on the air is the only one of the play list for the current time slot that can be "
    "played: %1 of its song files are missing. Play stops when this song ends.");
inline const QString kOpenErrorText =
    QStringLiteral("An error has ocurred while trying to open file \r");
inline constexpr int kTimer1AfterStartExtraMs = 2000;
inline constexpr int kTickMs = 1000;
inline constexpr int kTalkDelayMs = 500;
inline constexpr int kOpenErrorBoxMs = 15000;
inline constexpr int kButtonsBackMs = 10000;
inline constexpr int kPauseToStopMs = 300000;
inline constexpr int kStopFadeMs = 2000;
inline constexpr int kNextFadeMs = 5000;
inline constexpr int kPlayerVolumeMinimum = -5000;

// The title as the decks show it: title (or "(Untitled)") with "The " when marked, then
// " - " and the artist, with "The " when marked.
QString SongDisplayText(const _rSong& song);

// Playout (choose, start, watch songs; decide when the DJ talks and news is fetched) and the
// transport buttons. Window thread only.
class Sequencer {
public:
    Sequencer(StationState& state, TimeSlotScheduler& scheduler, TPlayListTable& list,
              const TDJSlots& slots, const StationSettings& settings, IStationView& view,
              Deck& deck1, Deck& deck2, StationTimers timers, SequencerHost& host,
              const Clock& clock, RandomSource& random);
    Sequencer(const Sequencer&) = delete;
    Sequencer& operator=(const Sequencer&) = delete;

    void NextSong();
    // Starts the queued song. The deck opens the file away from the window thread; the song
    // starts (or the failure is handled) when the file is open, which may be before this returns.
    void PlaySong();
    // Starts `file` on the player and calls `done` with whether it started. A Stop, or another
    // PlaySong, before the file is open drops the start: `done` is not called.
    void StartDSPlayer(int player, const QString& file, std::function<void(bool started)> done);
    void KillDSPlayers();
    void OnEndPlay(int player);
    void OnEndFade(int player);
    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer();
    void PlayerTimerATimer(int player);

    void bPlayClick();
    void bPauseClick();
    void bStopClick();
    void bNextClick();
    void Timer4Timer();
    void Timer8Timer();

    DeckState deckState(int player) const;
    // A song start waits for its file to be opened.
    bool startPending() const { return startPending_; }

private:
    Deck* deck(int player);
    void songStarted();
    void startFailed(const QString& file);
    // A deck has played to its end or faded out: the waiting tick comes at once.
    void tickNow();
    const _rDJ& slot() const;
    void resetList();
    bool searchFromCurrent();
    // The rows whose files are missing, when every other row is `onAir` (a list that has come
    // round to the song on the air alone); 0 otherwise.
    int missingBesides(const QString& onAir);
    void queueNothing();
    bool talkDue() const;
    void applyNewsRule();
    void showTitle(int player, const QString& text, RgbColour colour);

    StationState& s_;
    TimeSlotScheduler& scheduler_;
    TPlayListTable& list_;
    const TDJSlots& slots_;
    const StationSettings& settings_;
    IStationView& view_;
    Deck& deck1_;
    Deck& deck2_;
    StationTimers t_;
    SequencerHost& host_;
    const Clock& clock_;
    RandomSource& random_;
    std::uint64_t startGeneration_ = 0; // counts the song starts and the stops
    bool startPending_ = false;
};

} // namespace corvalin
