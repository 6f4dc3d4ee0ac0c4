#include "DigitalClock.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

namespace corvalin {

DigitalClock::DigitalClock(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    timer_.setInterval(250);
    connect(&timer_, &QTimer::timeout, this, &DigitalClock::refresh);
    timer_.start();
    refresh();
}

void DigitalClock::setClock(const Clock* clock) {
    clock_ = clock != nullptr ? clock : &systemClock_;
    refresh();
}

void DigitalClock::setAlarmTime(QTime time) {
    const QTime wanted =
        time.isValid() ? QTime(time.hour(), time.minute(), time.second()) : QTime(0, 0);
    // Setting the same time again (the settings dialog re-applies it) must not ring twice.
    if (wanted != alarmTime_) {
        alarmTime_ = wanted;
        armed_ = true;
    }
}

void DigitalClock::setAlarmEnabled(bool enabled) {
    alarmEnabled_ = enabled;
}

void DigitalClock::setTextColour(const QColor& colour) {
    if (colour != colour_) {
        colour_ = colour;
        update();
    }
}

QString DigitalClock::formatTime(QTime time) {
    const int hour = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    return QStringLiteral("%1:%2").arg(hour).arg(time.minute(), 2, 10, QLatin1Char('0'));
}

void DigitalClock::refresh() {
    if (!isEnabled()) {
        return;
    }
    const QTime now = clock_->now().time();
    const QString text = formatTime(now);
    if (text != display_) {
        display_ = text;
        update();
    }
    checkAlarm(now);
}

void DigitalClock::checkAlarm(QTime now) {
    const bool inAlarmMinute = now.hour() == alarmTime_.hour() &&
                               now.minute() == alarmTime_.minute() &&
                               now.second() >= alarmTime_.second();
    if (!inAlarmMinute) {
        // Re-arming outside the alarm's minute, not only before the alarm, keeps an alarm at
        // 0:00:00 working on the following days.
        armed_ = true;
        return;
    }
    if (alarmEnabled_ && armed_) {
        armed_ = false;
        Q_EMIT alarm();
    }
}

void DigitalClock::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        if (isEnabled()) {
            timer_.start();
            refresh();
        } else {
            timer_.stop();
        }
    }
    QWidget::changeEvent(event);
}

void DigitalClock::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(font());
    p.setPen(colour_);
    // Centre the digits themselves, not the font's full line height.
    const QFontMetricsF metrics(font());
    const QRectF ink = metrics.tightBoundingRect(display_);
    const QPointF origin(width() / 2.0 - ink.center().x(), height() / 2.0 - ink.center().y());
    p.drawText(origin, display_);
}

} // namespace corvalin
