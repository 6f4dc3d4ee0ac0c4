#include "DigitalClock.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>

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

namespace {

// The locale writes the time of day in 24-hour form: its format has no AM/PM mark. The C locale
// says nothing either way; the station's own 12-hour form stands there.
bool uses24Hour(const QLocale& locale) {
    if (locale.language() == QLocale::C)
        return false;
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    return !format.contains(QLatin1Char('a'), Qt::CaseInsensitive);
}

} // namespace

QString DigitalClock::formatTime(QTime time, const QLocale& locale) {
    if (uses24Hour(locale))
        return locale.toString(time, locale.timeFormat(QLocale::ShortFormat));
    const int hour = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    QString mark = time.hour() < 12 ? locale.amText() : locale.pmText();
    if (mark.isEmpty())
        mark = time.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
    return QStringLiteral("%1:%2 %3")
        .arg(hour)
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(mark);
}

void DigitalClock::refresh() {
    if (!isEnabled()) {
        return;
    }
    const QDateTime now = clock_->now();
    const QString text = formatTime(now.time(), locale());
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
    // The digits at full size, an AM/PM mark after them at a third of it, on the digits'
    // baseline; the whole centred by the digits themselves, not the font's full line height.
    const qsizetype space = display_.indexOf(QLatin1Char(' '));
    const QString digits = space < 0 ? display_ : display_.left(space);
    const QString mark = space < 0 ? QString() : display_.mid(space + 1);
    QFont small = font();
    if (font().pixelSize() > 0)
        small.setPixelSize(std::max(1, font().pixelSize() / 3));
    else
        small.setPointSizeF(std::max(1.0, font().pointSizeF() / 3.0));
    const QFontMetricsF metrics(font());
    const QFontMetricsF smallMetrics(small);
    const QRectF ink = metrics.tightBoundingRect(digits);
    const qreal gap = mark.isEmpty() ? 0.0 : smallMetrics.horizontalAdvance(QLatin1Char(' '));
    const qreal markWidth = mark.isEmpty() ? 0.0 : smallMetrics.horizontalAdvance(mark);
    const qreal totalWidth = ink.width() + gap + markWidth;
    const QPointF origin(width() / 2.0 - totalWidth / 2.0 - ink.left(),
                         height() / 2.0 - ink.center().y());
    p.drawText(origin, digits);
    if (!mark.isEmpty()) {
        p.setFont(small);
        p.drawText(QPointF(origin.x() + ink.right() + gap, origin.y()), mark);
    }
}

} // namespace corvalin
