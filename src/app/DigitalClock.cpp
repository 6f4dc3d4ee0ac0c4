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

void DigitalClock::setOwnTimer(bool own) {
    ownTimer_ = own;
    if (own && isEnabled()) {
        timer_.start();
    } else {
        timer_.stop();
    }
}

void DigitalClock::setAlarmTime(QTime time) {
    alarm_.SetAutoClock(alarm_.enabled(), time);
}

void DigitalClock::setAlarmEnabled(bool enabled) {
    alarm_.SetAutoClock(enabled, alarm_.alarmTime());
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
    const QDateTime now = clock_->now();
    const QString text = formatTime(now.time());
    if (text != display_) {
        display_ = text;
        update();
    }
    if (alarm_.tick(now)) {
        Q_EMIT alarm();
    }
}

void DigitalClock::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        // A disabled clock does not look at the time: the hours it missed are no clock jump.
        alarm_.setRunning(isEnabled());
        if (isEnabled()) {
            if (ownTimer_) {
                timer_.start();
            }
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
