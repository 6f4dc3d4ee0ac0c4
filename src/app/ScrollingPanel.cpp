#include "ScrollingPanel.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace corvalin {

namespace {
constexpr int kLeftMargin = 4;
constexpr int kMinimumGap = 60; // blank pixels between the end of the text and its next start
} // namespace

ScrollingPanel::ScrollingPanel(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::PointingHandCursor);
    timer_.setInterval(30);
    connect(&timer_, &QTimer::timeout, this, &ScrollingPanel::step);
}

void ScrollingPanel::setText(const QString& text) {
    if (text == text_) {
        return;
    }
    text_ = text;
    offset_ = 0;
    update();
}

void ScrollingPanel::setTextColour(const QColor& colour) {
    if (colour != colour_) {
        colour_ = colour;
        update();
    }
}

void ScrollingPanel::setScrolling(bool scrolling) {
    scrolling_ = scrolling;
    if (scrolling && ownTimer_) {
        timer_.start();
    } else {
        timer_.stop();
    }
}

void ScrollingPanel::setOwnTimer(bool own) {
    ownTimer_ = own;
    setScrolling(scrolling_);
}

void ScrollingPanel::advance() {
    if (scrolling_) {
        step();
    }
}

int ScrollingPanel::cycleLength() const {
    const int textWidth = fontMetrics().horizontalAdvance(text_);
    // Short texts still travel across the whole panel.
    return std::max(textWidth + kMinimumGap, width() - kLeftMargin);
}

void ScrollingPanel::step() {
    if (text_.isEmpty()) {
        offset_ = 0;
        return;
    }
    offset_ = (offset_ + 1) % cycleLength();
    // Every copy of the text moves exactly one pixel left, across the wrap too: the pixels
    // already painted stay right and only the new right-hand column is painted.
    scroll(-1, 0);
}

void ScrollingPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (text_.isEmpty()) {
        return;
    }
    p.setFont(font());
    p.setPen(colour_);
    const int cycle = cycleLength();
    const int baseline = (height() + fontMetrics().ascent() - fontMetrics().descent()) / 2;
    for (int x = kLeftMargin - offset_; x < width(); x += cycle) {
        p.drawText(x, baseline, text_);
    }
}

void ScrollingPanel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        Q_EMIT doubleClicked();
    }
    QWidget::mouseDoubleClickEvent(event);
}

} // namespace corvalin
