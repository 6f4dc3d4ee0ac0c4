#include "ScrollingPanel.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
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
    connect(&timer_, &QTimer::timeout, this, [this] { step(); });
}

void ScrollingPanel::setText(const QString& text) {
    if (text == text_) {
        return;
    }
    text_ = text;
    offset_ = 0;
    invalidate();
}

void ScrollingPanel::setTextColour(const QColor& colour) {
    if (colour != colour_) {
        colour_ = colour;
        invalidate();
    }
}

void ScrollingPanel::invalidate() {
    textWidth_ = -1;
    picture_ = QPixmap();
    update();
}

void ScrollingPanel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        invalidate();
    }
    QWidget::changeEvent(event);
}

void ScrollingPanel::resizeEvent(QResizeEvent* event) {
    picture_ = QPixmap(); // its height is the panel's
    QWidget::resizeEvent(event);
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

void ScrollingPanel::advance(int pixels) {
    if (scrolling_ && pixels > 0) {
        step(pixels);
    }
}

int ScrollingPanel::cycleLength() const {
    if (textWidth_ < 0) {
        textWidth_ = fontMetrics().horizontalAdvance(text_);
    }
    // Short texts still travel across the whole panel.
    return std::max(textWidth_ + kMinimumGap, width() - kLeftMargin);
}

void ScrollingPanel::step(int pixels) {
    if (text_.isEmpty()) {
        offset_ = 0;
        return;
    }
    offset_ = (offset_ + pixels) % cycleLength();
    // Every copy of the text moves exactly `pixels` left, across the wrap too: the pixels
    // already painted stay right and only the new right-hand columns are painted.
    scroll(-pixels, 0);
}

void ScrollingPanel::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (text_.isEmpty()) {
        return;
    }
    const int cycle = cycleLength();
    if (picture_.isNull()) {
        // Room for glyphs that reach beyond the text's origin or advance; still less than half
        // the gap between two copies, so a copy's black never covers its neighbour.
        const int reach = std::min(kMinimumGap / 2 - 1, fontMetrics().height());
        const qreal ratio = devicePixelRatioF();
        picture_ = QPixmap(QSize(textWidth_ + 2 * reach, height()) * ratio);
        picture_.setDevicePixelRatio(ratio);
        picture_.fill(Qt::black);
        pictureLeft_ = reach;
        QPainter text(&picture_);
        text.setFont(font());
        text.setPen(colour_);
        const int baseline = (height() + fontMetrics().ascent() - fontMetrics().descent()) / 2;
        text.drawText(reach, baseline, text_);
    }
    const QRect dirty = event->rect();
    for (int x = kLeftMargin - offset_; x < width(); x += cycle) {
        const QRect at(x - pictureLeft_, 0, textWidth_ + 2 * pictureLeft_, height());
        if (at.intersects(dirty)) {
            p.drawPixmap(at.topLeft(), picture_);
        }
    }
}

void ScrollingPanel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        Q_EMIT doubleClicked();
    }
    QWidget::mouseDoubleClickEvent(event);
}

} // namespace corvalin
