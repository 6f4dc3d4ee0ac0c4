#include "station/TimeSlot.h"

#include <array>

namespace corvalin {

int slotOfHour(int hour) {
    if (hour < 6)
        return 4;
    if (hour < 12)
        return 1;
    if (hour < 18)
        return 2;
    return 3;
}

RgbColour slotColour(int slot) {
    // Morning, Afternoon, Evening, Late Night.
    static constexpr std::array<RgbColour, 5> bySlot = {
        {{}, colours::red, colours::lime, colours::blue, colours::fuchsia}};
    return slot >= 1 && slot <= kSlotCount ? bySlot[static_cast<std::size_t>(slot)] : bySlot[0];
}

QString slotDisplayName(int slot) {
    switch (slot) {
    case 1:
        return QStringLiteral("Morning");
    case 2:
        return QStringLiteral("Afternoon");
    case 3:
        return QStringLiteral("Evening");
    case 4:
        return QStringLiteral("Late Night");
    default:
        return {};
    }
}

SlotPhraseSets phraseSetsOfSlot(int slot) {
    const QString n = QString::number(slot);
    return {n + QLatin1Char('a'), n + QLatin1Char('b'), n + QLatin1Char('c'), QStringLiteral("5a"),
            QStringLiteral("5b")};
}

TimeSlotChange TimeSlotScheduler::CheckTimeSlot(const TDJSlots& slots, SlotPlayList& list) {
    TimeSlotChange change;
    const int prev = CurrentSlot;
    const int slot = slotOfHour(clock_.now().time().hour());
    if (slot != CurrentSlot) {
        CurrentSlot = slot;
        change.colourChanged = true;
        change.colour = slotColour(slot);
    }
    if (prev == CurrentSlot && prev != 0)
        return change;

    const _rDJ& dj = slots[static_cast<std::size_t>(CurrentSlot)];
    change.applied = true;
    change.djName = dj.Name;

    // The played marks go back into the previous slot's file; a list that holds nothing loaded
    // from that file is not written, or the file would be emptied.
    if (prev > 0) {
        const QString& previousFile = slots[static_cast<std::size_t>(prev)].PlayList;
        if (!previousFile.isEmpty() && previousFile == listSource_)
            list.save(previousFile);
    }

    const QString& file = dj.PlayList;
    const std::optional<int> rows = file.isEmpty() ? std::nullopt : list.load(file);
    if (!rows) {
        change.error = kCannotLoadSlotList;
        list.clear();
        listSource_.clear();
    } else if (*rows <= 0) {
        change.error = kNoSongsInSlotList;
        listSource_.clear();
    } else {
        list.sortAndSelectFirst(dj.ListOrder != loOriginal);
        listSource_ = file;
    }

    if (file != LoadedListFile) {
        LoadedListFile = file;
        ListChanged = true;
    }
    change.phrases = phraseSetsOfSlot(CurrentSlot);
    SongsUntilTalk = dj.FrequencyType == ftRandom ? 1 + random_.below(11) : dj.FrequencySongs;
    return change;
}

void DailyAlarm::SetAutoClock(bool enabled, const QTime& time) {
    const QTime t = time.isValid() ? QTime(time.hour(), time.minute(), time.second()) : QTime(0, 0);
    if (t != alarm_) {
        armed_ = true;
        firedOn_ = QDate();
    }
    enabled_ = enabled;
    alarm_ = t;
    lastReading_ = QDateTime(); // a time passed before the alarm was set does not count
}

void DailyAlarm::setRunning(bool running) {
    if (running != running_)
        lastReading_ = QDateTime(); // hours may lie between the last reading and the next
    running_ = running;
}

bool DailyAlarm::tick(const QDateTime& now) {
    if (!running_)
        return false;
    const QDateTime previous = lastReading_;
    lastReading_ = now;
    const QTime t = now.time();
    // The day's alarm is behind us once the time of day is before it again or the date moved on
    // (an alarm at 00:00:00 never sees an earlier time of day).
    if (!armed_ && (t < alarm_ || now.date() != firedOn_))
        armed_ = true;
    if (!enabled_ || !armed_)
        return false;
    const bool reached =
        t.hour() == alarm_.hour() && t.minute() == alarm_.minute() && t.second() >= alarm_.second();
    // The first alarm time after the previous reading: passed over when it is not later than now.
    bool passedOver = false;
    if (previous.isValid() && previous < now) {
        QDateTime next = previous;
        next.setTime(alarm_);
        if (next <= previous)
            next = next.addDays(1);
        passedOver = next.isValid() && next <= now;
    }
    if (!reached && !passedOver)
        return false;
    armed_ = false;
    firedOn_ = now.date();
    return true;
}

void applyAutoClocks(DailyAlarm& autoStartClock, DailyAlarm& autoStopClock, bool autoStart,
                     const QTime& autoStartTime, bool autoStop, const QTime& autoStopTime) {
    autoStartClock.SetAutoClock(autoStart, autoStartTime);
    autoStopClock.setRunning(autoStop);
    autoStopClock.SetAutoClock(autoStop, autoStopTime);
}

} // namespace corvalin
