#include "TestSupport.h"
#include "station/SlotPlayListTable.h"
#include "station/TimeSlot.h"

#include <QFile>
#include <gtest/gtest.h>
#include <map>
#include <vector>

namespace corvalin {
namespace {

// The slot's play list in memory: records what the scheduler does to it.
class RecordingList final : public SlotPlayList {
public:
    std::map<QString, int> files; // path -> rows; absent paths have no file
    QStringList log;

    void save(const QString& path) override { log << QStringLiteral("save ") + path; }
    std::optional<int> load(const QString& path) override {
        const auto it = files.find(path);
        if (it == files.end())
            return std::nullopt;
        log << QStringLiteral("load ") + path;
        return it->second;
    }
    void sortAndSelectFirst(bool byRandomColumn) override {
        log << (byRandomColumn ? QStringLiteral("sort random") : QStringLiteral("sort order"));
    }
    void clear() override { log << QStringLiteral("clear"); }
};

QDateTime at(int hour, int minute = 0, int second = 0, int day = 10) {
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute, second));
}

class TimeSlotTest : public ::testing::Test {
protected:
    TimeSlotTest() {
        const char* names[] = {"", "Joe", "Al", "Sam", "Manfred"};
        const char* files[] = {"", "M.lst", "A.lst", "E.lst", "N.lst"};
        for (int slot = 1; slot <= kSlotCount; ++slot) {
            _rDJ& dj = slots[static_cast<std::size_t>(slot)];
            dj.Name = QString::fromUtf8(names[slot]);
            dj.PlayList = QString::fromUtf8(files[slot]);
            dj.FrequencySongs = slot + 1;
            list.files[dj.PlayList] = 10 * slot;
        }
    }

    TimeSlotChange check() {
        list.log.clear();
        return scheduler.CheckTimeSlot(slots, list);
    }

    FakeClock clock{at(9)};
    ScriptedRandom random{{7}};
    int songsUntilTalk = 0;
    TimeSlotScheduler scheduler{clock, random, songsUntilTalk};
    TDJSlots slots;
    RecordingList list;
};

TEST(TimeSlot, SlotAndColourOfEachHour) {
    const int expected[24] = {4, 4, 4, 4, 4, 4, 1, 1, 1, 1, 1, 1,
                              2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3};
    for (int hour = 0; hour < 24; ++hour)
        EXPECT_EQ(slotOfHour(hour), expected[hour]) << hour;
    EXPECT_EQ(slotColour(1), (RgbColour{255, 0, 0}));
    EXPECT_EQ(slotColour(2), (RgbColour{0, 255, 0}));
    EXPECT_EQ(slotColour(3), (RgbColour{0, 0, 255}));
    EXPECT_EQ(slotColour(4), (RgbColour{255, 0, 255}));
    EXPECT_EQ(slotColour(0), (RgbColour{0, 0, 0}));
}

TEST_F(TimeSlotTest, FirstCheckAppliesTheSlotOfTheHour) {
    const TimeSlotChange c = check();
    EXPECT_EQ(scheduler.CurrentSlot, 1);
    EXPECT_TRUE(c.colourChanged);
    EXPECT_EQ(c.colour, slotColour(1));
    EXPECT_TRUE(c.applied);
    EXPECT_EQ(c.djName, QStringLiteral("Joe"));
    EXPECT_TRUE(c.error.isEmpty());
    EXPECT_EQ(list.log, QStringList({QStringLiteral("load M.lst"), QStringLiteral("sort order")}));
    EXPECT_EQ(scheduler.LoadedListFile, QStringLiteral("M.lst"));
    EXPECT_TRUE(scheduler.ListChanged);
    EXPECT_EQ(c.phrases,
              (SlotPhraseSets{QStringLiteral("1a"), QStringLiteral("1b"), QStringLiteral("1c"),
                              QStringLiteral("5a"), QStringLiteral("5b")}));
    EXPECT_EQ(scheduler.SongsUntilTalk, 2);
}

TEST_F(TimeSlotTest, SameSlotChangesNothing) {
    (void)check();
    scheduler.ListChanged = false;
    scheduler.SongsUntilTalk = 0;
    clock.set(at(11, 59, 59));
    const TimeSlotChange c = check();
    EXPECT_FALSE(c.colourChanged);
    EXPECT_FALSE(c.applied);
    EXPECT_TRUE(list.log.isEmpty());
    EXPECT_FALSE(scheduler.ListChanged);
    EXPECT_EQ(scheduler.SongsUntilTalk, 0);
}

TEST_F(TimeSlotTest, SlotChangeSavesThePreviousListFirst) {
    clock.set(at(5, 59, 59));
    (void)check();
    EXPECT_EQ(scheduler.CurrentSlot, 4);
    scheduler.ListChanged = false;

    clock.set(at(6));
    const TimeSlotChange c = check();
    EXPECT_EQ(scheduler.CurrentSlot, 1);
    EXPECT_EQ(c.colour, slotColour(1));
    EXPECT_EQ(list.log, QStringList({QStringLiteral("save N.lst"), QStringLiteral("load M.lst"),
                                     QStringLiteral("sort order")}));
    EXPECT_TRUE(scheduler.ListChanged);
    EXPECT_EQ(c.phrases.LastSongPhrases, QStringLiteral("1a"));
}

TEST_F(TimeSlotTest, ForcedReloadReadsTheFileWithoutSavingAndKeepsListChanged) {
    (void)check();
    scheduler.ListChanged = false;
    scheduler.forceReload();
    const TimeSlotChange c = check();
    EXPECT_TRUE(c.applied);
    EXPECT_EQ(list.log, QStringList({QStringLiteral("load M.lst"), QStringLiteral("sort order")}));
    EXPECT_FALSE(scheduler.ListChanged);
}

TEST_F(TimeSlotTest, SlotsSharingAListFileKeepTheirPlace) {
    slots[2].PlayList = slots[1].PlayList;
    slots[2].ListOrder = loRandom;
    clock.set(at(11, 59));
    (void)check();
    scheduler.ListChanged = false;
    clock.set(at(12, 3));
    (void)check();
    EXPECT_EQ(list.log, QStringList({QStringLiteral("save M.lst"), QStringLiteral("load M.lst"),
                                     QStringLiteral("sort random")}));
    EXPECT_FALSE(scheduler.ListChanged);
}

TEST_F(TimeSlotTest, ListErrorsStillSwitchTheSlot) {
    struct Case {
        QString path;
        std::optional<int> rows;
        QString error;
        QStringList log;
    };
    const Case cases[] = {
        {QString(), std::nullopt, kCannotLoadSlotList, {QStringLiteral("clear")}},
        {QStringLiteral("gone.lst"), std::nullopt, kCannotLoadSlotList, {QStringLiteral("clear")}},
        {QStringLiteral("empty.lst"), 0, kNoSongsInSlotList, {QStringLiteral("load empty.lst")}},
    };
    for (const Case& k : cases) {
        int freshUntilTalk = 0;
        TimeSlotScheduler fresh(clock, random, freshUntilTalk);
        slots[1].PlayList = k.path;
        if (k.rows)
            list.files[k.path] = *k.rows;
        list.log.clear();
        const TimeSlotChange c = fresh.CheckTimeSlot(slots, list);
        EXPECT_EQ(c.error, k.error) << k.path.toStdString();
        EXPECT_EQ(list.log, k.log) << k.path.toStdString();
        EXPECT_TRUE(c.applied);
        EXPECT_EQ(c.djName, QStringLiteral("Joe"));
        EXPECT_EQ(c.phrases.ThisIsPhrases, QStringLiteral("1b"));
        EXPECT_EQ(fresh.SongsUntilTalk, 2);
        EXPECT_EQ(fresh.LoadedListFile, k.path);
        EXPECT_TRUE(fresh.ListChanged);
        EXPECT_TRUE(fresh.listSource().isEmpty());
    }
}

// A list that failed to load is empty in memory; writing it into the slot's file at the next
// change would wipe a list that may be readable again by then.
TEST_F(TimeSlotTest, ListThatFailedToLoadIsNeverSavedOverItsFile) {
    list.files.erase(QStringLiteral("M.lst"));
    (void)check();
    list.files[QStringLiteral("M.lst")] = 30;
    clock.set(at(12));
    (void)check();
    EXPECT_EQ(list.log, QStringList({QStringLiteral("load A.lst"), QStringLiteral("sort order")}));
    EXPECT_EQ(scheduler.listSource(), QStringLiteral("A.lst"));
}

TEST_F(TimeSlotTest, RandomTalkFrequencyDrawsOneToEleven) {
    slots[1].FrequencyType = ftRandom;
    const std::pair<int, int> draws[] = {{0, 1}, {7, 8}, {10, 11}, {11, 1}};
    for (const auto& [value, expected] : draws) {
        ScriptedRandom scripted({value});
        int freshUntilTalk = 0;
        TimeSlotScheduler fresh(clock, scripted, freshUntilTalk);
        (void)fresh.CheckTimeSlot(slots, list);
        EXPECT_EQ(fresh.SongsUntilTalk, expected) << value;
        EXPECT_EQ(scripted.draws(), 1);
    }
}

TEST(DailyAlarm, FiresOnceADayWhenTheTimeIsReached) {
    DailyAlarm alarm;
    alarm.SetAutoClock(true, QTime(7, 0, 0, 500));
    EXPECT_EQ(alarm.alarmTime(), QTime(7, 0));
    const std::pair<QDateTime, bool> ticks[] = {
        {at(6, 59, 59), false},
        {at(7, 0, 0), true},
        {at(7, 0, 1), false},
        {at(7, 30), false},
        {at(6, 59, 59, 11), false},
        {at(7, 0, 0, 11), true},
        // A tick that misses the exact second still fires within the minute.
        {at(6, 59, 58, 12), false},
        {at(7, 0, 3, 12), true},
    };
    for (const auto& [time, fires] : ticks)
        EXPECT_EQ(alarm.tick(time), fires) << time.toString().toStdString();
}

// Readings a quarter of a second apart, unless the clock jumps: a jump forward over the alarm
// time fires it once, late; the first reading (start-up) never fires for a time already past.
TEST(DailyAlarm, JumpOverTheAlarmTimeFiresOnceButNotAtStartUp) {
    const struct {
        const char* what;
        QTime alarm;
        std::vector<std::pair<QDateTime, bool>> ticks;
    } cases[] = {
        {"started after the alarm minute", QTime(7, 0), {{at(7, 1), false}, {at(7, 1, 1), false}}},
        {"set forward over the minute",
         QTime(7, 0),
         {{at(6, 58), false}, {at(7, 5), true}, {at(7, 5, 1), false}, {at(7, 6), false}}},
        {"a jump just past the alarm second",
         QTime(7, 0, 55),
         {{at(7, 0, 50), false}, {at(7, 1, 30), true}}},
        {"set forward over midnight",
         QTime(0, 0, 30),
         {{at(23, 59, 59), false}, {at(0, 2, 0, 11), true}, {at(0, 2, 1, 11), false}}},
        {"the machine slept two days",
         QTime(7, 0),
         {{at(6, 0), false}, {at(8, 0, 0, 12), true}, {at(8, 0, 1, 12), false}}},
        {"set forward short of the alarm", QTime(7, 0), {{at(6, 0), false}, {at(6, 59), false}}},
        {"set back over the alarm", QTime(7, 0), {{at(8, 0), false}, {at(6, 30), false}}},
        {"set forward after today's alarm",
         QTime(7, 0),
         {{at(6, 59, 59), false}, {at(7, 0), true}, {at(9, 0), false}}},
    };
    for (const auto& c : cases) {
        DailyAlarm alarm;
        alarm.SetAutoClock(true, c.alarm);
        for (const auto& [time, fires] : c.ticks)
            EXPECT_EQ(alarm.tick(time), fires) << c.what << " " << time.toString().toStdString();
    }
}

// A clock that stopped running, or whose alarm was set, starts its readings afresh: the hours
// it did not look are no jump.
TEST(DailyAlarm, StoppedClockOrNewAlarmTimeIsNoJump) {
    DailyAlarm stop;
    stop.SetAutoClock(true, QTime(22, 0));
    EXPECT_FALSE(stop.tick(at(21, 0)));
    stop.setRunning(false);
    EXPECT_FALSE(stop.tick(at(21, 30)));
    stop.setRunning(true);
    EXPECT_FALSE(stop.tick(at(23, 30)));

    DailyAlarm start;
    start.SetAutoClock(false, QTime(7, 0));
    EXPECT_FALSE(start.tick(at(6, 0)));
    start.SetAutoClock(true, QTime(7, 0));
    EXPECT_FALSE(start.tick(at(8, 0))) << "enabled at 8:00 for 7:00";
    EXPECT_TRUE(start.tick(at(7, 0, 0, 11)));
}

TEST(DailyAlarm, MidnightAlarmFiresEveryDay) {
    DailyAlarm alarm;
    alarm.SetAutoClock(true, QTime(0, 0));
    EXPECT_TRUE(alarm.tick(at(0, 0, 0, 10)));
    EXPECT_FALSE(alarm.tick(at(0, 0, 1, 10)));
    EXPECT_FALSE(alarm.tick(at(23, 59, 59, 10)));
    EXPECT_TRUE(alarm.tick(at(0, 0, 0, 11)));
}

TEST(DailyAlarm, ResettingTheSameTimeDoesNotRepeatTodaysAlarm) {
    DailyAlarm alarm;
    alarm.SetAutoClock(true, QTime(7, 0));
    EXPECT_TRUE(alarm.tick(at(7, 0, 0)));
    alarm.SetAutoClock(true, QTime(7, 0));
    EXPECT_FALSE(alarm.tick(at(7, 0, 20)));
    alarm.SetAutoClock(true, QTime(7, 0, 30));
    EXPECT_TRUE(alarm.tick(at(7, 0, 30)));
}

TEST(DailyAlarm, AutoClocksFollowTheSettings) {
    DailyAlarm start;
    DailyAlarm stop;
    applyAutoClocks(start, stop, true, QTime(7, 0), false, QTime(22, 0));
    EXPECT_TRUE(start.tick(at(7, 0)));
    EXPECT_FALSE(stop.running());
    EXPECT_FALSE(stop.tick(at(22, 0)));

    applyAutoClocks(start, stop, false, QTime(7, 0), true, QTime(22, 0));
    EXPECT_FALSE(start.tick(at(7, 0, 0, 11)));
    EXPECT_TRUE(stop.running());
    EXPECT_EQ(stop.alarmTime(), QTime(22, 0));
    EXPECT_TRUE(stop.tick(at(22, 0, 0, 11)));
}

// With the real list files: played marks survive a slot change, the new list starts at its top.
TEST(SlotPlayListTable, SlotChangeKeepsPlayedMarksInTheFiles) {
    test::TempFolder folder;
    TDJSlots slots;
    slots[4].PlayList = folder.file(QStringLiteral("Midnight.lst"));
    slots[1].PlayList = folder.file(QStringLiteral("Morning.lst"));
    slots[1].ListOrder = loOriginal;
    test::writeWholeFile(slots[4].PlayList, "F/m/night1.mp3\r\nF/m/night2.mp3\r\n");
    test::writeWholeFile(slots[1].PlayList, "T/m/morning1.mp3\r\nF/m/morning2.mp3\r\n");

    FakeClock clock(at(5, 59, 59));
    ScriptedRandom random({3, 1, 4, 1, 5, 9, 2, 6});
    int songsUntilTalk = 0;
    TimeSlotScheduler scheduler(clock, random, songsUntilTalk);
    TPlayListTable table;
    SlotPlayListTable list(table, random);

    ASSERT_TRUE(scheduler.CheckTimeSlot(slots, list).error.isEmpty());
    ASSERT_EQ(table.rowCount(), 2);
    table.setCell(0, plcPlayed, QStringLiteral("T"));

    clock.set(at(6));
    const TimeSlotChange c = scheduler.CheckTimeSlot(slots, list);
    EXPECT_TRUE(c.error.isEmpty());
    EXPECT_EQ(list.lastSave().status, TListSaveResult::Saved);
    EXPECT_EQ(test::readWholeFile(slots[4].PlayList),
              QByteArray("T/m/night1.mp3\r\nF/m/night2.mp3\r\n"));
    ASSERT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.currentRow(), 0);
    EXPECT_EQ(table.cell(0, plcFileName), QStringLiteral("/m/morning1.mp3"));
    EXPECT_EQ(table.cell(0, plcPlayed), QStringLiteral("T"));

    // A list that could not be loaded empties the table; when its file is back by the next slot
    // change (a folder mounted again), the empty table is not written over it.
    ASSERT_TRUE(QFile::rename(slots[1].PlayList, slots[1].PlayList + QStringLiteral(".away")));
    scheduler.forceReload();
    EXPECT_EQ(scheduler.CheckTimeSlot(slots, list).error, kCannotLoadSlotList);
    EXPECT_TRUE(table.isEmpty());
    ASSERT_TRUE(QFile::rename(slots[1].PlayList + QStringLiteral(".away"), slots[1].PlayList));
    clock.set(at(12));
    (void)scheduler.CheckTimeSlot(slots, list);
    EXPECT_EQ(test::readWholeFile(slots[1].PlayList),
              QByteArray("T/m/morning1.mp3\r\nF/m/morning2.mp3\r\n"));
}

} // namespace
} // namespace corvalin
