#pragma once

#include "core/Types.h"
#include "platform/Clock.h"
#include "station/StationView.h"

#include <QDate>
#include <QString>
#include <QTime>
#include <optional>

namespace corvalin {

// The four DJ time slots of the day and the daily start and stop alarms, without any widget:
// the main window applies what they decide. UI thread only.

// 4 Late Night below 6, 1 Morning 6..11, 2 Afternoon 12..17, 3 Evening 18..23.
int slotOfHour(int hour);

// Red, lime, blue, fuchsia for slots 1..4; black for anything else.
RgbColour slotColour(int slot);

// "Morning", "Afternoon", "Evening", "Late Night" for slots 1..4; empty for anything else.
QString slotDisplayName(int slot);

inline const QString kSetupErrorCaption = QStringLiteral("Corvalin Radio - Setup Error");
inline const QString kNoSongsInSlotList =
    QStringLiteral("There are no songs in the play list for the current time slot.");
inline const QString kCannotLoadSlotList =
    QStringLiteral("Unable to load play list for the current time slot.");
// Matches no real list, so the first load counts as a change of list.
inline const QString kNoListLoaded = QStringLiteral("sqwertyuiop");

// The hidden play list of the current slot (`CurrentPlayList`), as the scheduler needs it.
class SlotPlayList {
public:
    virtual ~SlotPlayList() = default;
    // SaveList of the list in memory, with its played marks, into `path`, replacing the file.
    virtual void save(const QString& path) = 0;
    // LoadList of `path` into the list: its row count, or nothing when there is no such file (the
    // list is then left as it was).
    virtual std::optional<int> load(const QString& path) = 0;
    // Sorts by the Random column (or by the Order column) and selects row 0.
    virtual void sortAndSelectFirst(bool byRandomColumn) = 0;
    virtual void clear() = 0;
};

// The phrase sets of the five live lists, as set codes ("1a", "5b").
struct SlotPhraseSets {
    QString LastSongPhrases;
    QString ThisIsPhrases;
    QString NextSongPhrases;
    QString BeforeNewsPhrases;
    QString AfterNewsPhrases;
    bool operator==(const SlotPhraseSets&) const = default;
};
SlotPhraseSets phraseSetsOfSlot(int slot);

// What a time-slot check asks of the window, beyond what it did to the list.
struct TimeSlotChange {
    // The hour's slot differs from the one shown: put `colour` on the clock's and DJ name's fonts
    // and the DJ bar's borders (its background black).
    bool colourChanged = false;
    RgbColour colour;
    // The slot was (re)applied: show `djName`, load `phrases`. Nothing else is set when false.
    bool applied = false;
    QString djName;
    SlotPhraseSets phrases;
    // Empty, or kNoSongsInSlotList / kCannotLoadSlotList: show it in the error box captioned
    // kSetupErrorCaption, then click Stop.
    QString error;
};

// CheckTimeSlot with the state it keeps in the main window.
class TimeSlotScheduler {
public:
    // `songsUntilTalk` belongs to the talk rule's state; the scheduler sets it when a slot is
    // applied.
    TimeSlotScheduler(const Clock& clock, RandomSource& random, int& songsUntilTalk)
        : SongsUntilTalk(songsUntilTalk), clock_(clock), random_(random) {}

    // 0 = none: the next check applies the slot in full. FormCreate, the Radio Manager's OK and
    // an empty phrase draw set it to 0 through forceReload().
    int CurrentSlot = 0;
    // The list file last loaded into the list in memory.
    QString LoadedListFile = kNoListLoaded;
    // The slot's list is another file than before: the next song choice starts from the top.
    bool ListChanged = false;
    int& SongsUntilTalk;

    void forceReload() { CurrentSlot = 0; }

    // Selects the slot of the present hour; on a change, or when CurrentSlot is 0, saves the
    // previous slot's list, loads the new slot's list and reports what the window must show.
    TimeSlotChange CheckTimeSlot(const TDJSlots& slots, SlotPlayList& list);

    // The file whose rows the list in memory holds, or empty when it holds none that came from a
    // file (the last load failed or found no rows). Only that file may be written from the list:
    // saving an empty or foreign list over a slot's file would lose it.
    const QString& listSource() const { return listSource_; }

private:
    const Clock& clock_;
    RandomSource& random_;
    QString listSource_;
};

// The alarm of a station clock (the window's, or the windowless station's): fires once a day when
// the time of day reaches the alarm time (same hour and minute, second at or after the alarm's),
// and is armed again once the time of day is before the alarm time or the day has changed. When
// the time moves forward over the alarm time between two readings (the clock was set, the machine
// slept), the alarm fires once at the later reading; the first reading after the clock starts
// running, or after its alarm is set, only looks at the time itself, so a station started after
// the alarm time does nothing.
class DailyAlarm {
public:
    // How often a clock reads the time for its alarm.
    static constexpr int kRefreshMs = 250;

    // Enables or disables the alarm and sets its time (whole seconds). A new time arms it afresh;
    // the same time leaves it as it was, so re-confirming a setting never repeats today's alarm.
    void SetAutoClock(bool enabled, const QTime& time);
    // A clock that does not run raises no alarm; when it runs again, its old reading is forgotten.
    void setRunning(bool running);

    bool enabled() const { return enabled_; }
    bool running() const { return running_; }
    const QTime& alarmTime() const { return alarm_; }

    // To be called at least once a second with the local time; true when the alarm goes off now.
    bool tick(const QDateTime& now);

private:
    bool enabled_ = false;
    bool running_ = true;
    QTime alarm_{0, 0};
    bool armed_ = true;
    QDate firedOn_;
    QDateTime lastReading_; // the previous tick's time; invalid before the first
};

// Arms both daily alarms from the settings, in this order: the start clock's alarm, whether the
// stop clock runs, the stop clock's alarm.
void applyAutoClocks(DailyAlarm& autoStartClock, DailyAlarm& autoStopClock, bool autoStart,
                     const QTime& autoStartTime, bool autoStop, const QTime& autoStopTime);

} // namespace corvalin
