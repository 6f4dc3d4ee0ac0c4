#pragma once

#include "platform/Clock.h"
#include "station/TimeSlot.h"

#include <QColor>
#include <QLocale>
#include <QTime>
#include <QTimer>
#include <QWidget>

namespace corvalin {

// The console clock: the time of day without seconds, centred, on black: in 12-hour form without
// a leading zero and with AM or PM ("9:05 PM", the mark drawn small), or in the 24-hour form of
// the widget's locale where that locale uses one ("21:05"). It carries a DailyAlarm: alarm() is
// raised once a day when the time of day reaches the alarm time. The clock looks at the time four
// times a second while the widget is enabled, on its own timer or, with setOwnTimer(false), when
// its owner calls refresh(); a disabled clock neither updates nor raises its alarm.
class DigitalClock : public QWidget {
    Q_OBJECT
public:
    explicit DigitalClock(QWidget* parent = nullptr);

    // The time source; not owned, must outlive the clock. nullptr restores the system clock.
    void setClock(const Clock* clock);

    // Whether the clock's own timer refreshes it (the default).
    void setOwnTimer(bool own);

    void setAlarmTime(QTime time);
    QTime alarmTime() const { return alarm_.alarmTime(); }
    void setAlarmEnabled(bool enabled);
    bool isAlarmEnabled() const { return alarm_.enabled(); }

    void setTextColour(const QColor& colour);
    QColor textColour() const { return colour_; }

    // The text shown now, e.g. "12:30 PM".
    QString displayText() const { return display_; }
    static QString formatTime(QTime time, const QLocale& locale);

public Q_SLOTS:
    // Reads the time source, refreshes the display and checks the alarm. Runs on the clock's own
    // timer; program code may call it to bring the display up to date at once.
    void refresh();

Q_SIGNALS:
    void alarm();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    SystemClock systemClock_;
    const Clock* clock_ = &systemClock_;
    QTimer timer_;
    DailyAlarm alarm_;
    QColor colour_{Qt::red};
    QString display_;
    bool ownTimer_ = true;
};

} // namespace corvalin
