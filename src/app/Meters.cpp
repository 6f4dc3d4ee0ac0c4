#include "Meters.h"

#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace corvalin {

QColor colourFromBgr(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    return QColor(static_cast<int>(bits & 0xFFu), static_cast<int>((bits >> 8) & 0xFFu),
                  static_cast<int>((bits >> 16) & 0xFFu));
}

int levelPercent(float level) {
    if (!(level > 0.0f)) {
        return 0;
    }
    return std::min(100, static_cast<int>(std::trunc(level * 100.0f)));
}

namespace {

// Columns present in both arrays for the given channel.
int usableColumns(const MeterReading& reading, int channel) {
    if (reading.channels < 1 || channel < 0 || channel >= reading.channels ||
        reading.columnCount <= 0) {
        return 0;
    }
    const auto stored = std::min(reading.maxValues.size(), reading.minValues.size()) /
                        static_cast<std::size_t>(reading.channels);
    return static_cast<int>(
        std::min<std::size_t>(stored, static_cast<std::size_t>(reading.columnCount)));
}

void drawColumns(QPainter& painter, const std::uint8_t* max, const std::uint8_t* min, int stride,
                 int columns, const QColor& pen) {
    for (int i = 0; i < columns; ++i) {
        const int top = (255 - max[i * stride]) >> 2;
        const int bottom = (255 - min[i * stride]) >> 2;
        // A rectangle, not a line: a silent column is a single dot that must still show.
        painter.fillRect(i, std::min(top, bottom), 1, std::abs(bottom - top) + 1, pen);
    }
}

} // namespace

void paintTrace(QPainter& painter, const MeterReading& reading, int channel, const QColor& pen) {
    const int columns = usableColumns(reading, channel);
    if (columns > 0) {
        drawColumns(painter, reading.maxValues.data() + channel, reading.minValues.data() + channel,
                    reading.channels, columns, pen);
    }
}

TracePaintBox::TracePaintBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TracePaintBox::setTrace(const MeterReading& reading, int channel, const QColor& pen) {
    const int columns = usableColumns(reading, channel);
    const bool newPen = pen != pen_;
    // The columns that change: those that differ, and those that come or go.
    int first = newPen ? 0 : std::min(columns, columns_);
    int last = std::max(columns, columns_) - 1;
    if (!newPen) {
        int i = 0;
        const int common = std::min(columns, columns_);
        for (; i < common; ++i) {
            const auto at = static_cast<std::size_t>(i * reading.channels + channel);
            if (max_[static_cast<std::size_t>(i)] != reading.maxValues[at] ||
                min_[static_cast<std::size_t>(i)] != reading.minValues[at])
                break;
        }
        first = i;
        if (columns == columns_) {
            last = columns - 1;
            while (last >= first) {
                const auto at = static_cast<std::size_t>(last * reading.channels + channel);
                if (max_[static_cast<std::size_t>(last)] != reading.maxValues[at] ||
                    min_[static_cast<std::size_t>(last)] != reading.minValues[at])
                    break;
                --last;
            }
        }
    }
    columns_ = columns;
    max_.resize(static_cast<std::size_t>(columns_));
    min_.resize(static_cast<std::size_t>(columns_));
    for (int i = 0; i < columns_; ++i) {
        const auto at = static_cast<std::size_t>(i * reading.channels + channel);
        max_[static_cast<std::size_t>(i)] = reading.maxValues[at];
        min_[static_cast<std::size_t>(i)] = reading.minValues[at];
    }
    pen_ = pen;
    updateColumns(first, last);
}

void TracePaintBox::clearTrace() {
    if (columns_ != 0) {
        const int last = columns_ - 1;
        columns_ = 0;
        updateColumns(0, last);
    }
}

void TracePaintBox::updateColumns(int first, int last) {
    if (first <= last) {
        update(first, 0, last - first + 1, kTraceRows);
    }
}

void TracePaintBox::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const QRect dirty = event->rect();
    p.fillRect(dirty, Qt::black);
    // A faint graticule over the trace's 64 rows; the trace itself is drawn over it.
    p.setPen(QColor(22, 34, 26));
    for (int y = 7; y < kTraceRows; y += 8) {
        p.drawLine(dirty.left(), y, dirty.right(), y);
    }
    p.setPen(QColor(34, 52, 38));
    p.drawLine(dirty.left(), 31, dirty.right(), 31);
    // Only the columns inside the repainted part.
    const int first = std::max(0, dirty.left());
    const int end = std::min(columns_, dirty.right() + 1);
    if (end > first) {
        p.translate(first, 0);
        drawColumns(p, max_.data() + first, min_.data() + first, 1, end - first, pen_);
    }
}

LevelBar::LevelBar(QWidget* parent) : QProgressBar(parent) {
    setOrientation(Qt::Vertical);
    setRange(0, 100);
    setValue(0);
    setTextVisible(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

namespace {
constexpr int kLamp = 3;
constexpr int kLampPitch = 4;
} // namespace

int LevelBar::lampCount() const {
    return std::max(1, (height() - 6 + 1) / kLampPitch);
}

QRect LevelBar::lampRect(int lamp) const {
    const QRect well = rect().adjusted(3, 3, -3, -3);
    return QRect(well.left(), well.bottom() - lamp * kLampPitch - kLamp + 1, well.width(), kLamp);
}

int LevelBar::litLamps(int level) const {
    const int span = std::max(1, maximum() - minimum());
    const double fraction = std::clamp(double(level - minimum()) / span, 0.0, 1.0);
    return static_cast<int>(std::lround(fraction * lampCount()));
}

void LevelBar::setLevel(int percent) {
    percent = std::clamp(percent, minimum(), maximum());
    if (percent == value()) {
        return;
    }
    const int before = litLamps(value());
    if (updatesEnabled()) {
        // QProgressBar repaints the whole bar at once on a change; held off here as
        // setUpdatesEnabled(false) would (the bar has no children), without the whole-bar update
        // that setUpdatesEnabled(true) adds.
        setAttribute(Qt::WA_UpdatesDisabled, true);
        setValue(percent);
        setAttribute(Qt::WA_UpdatesDisabled, false);
    } else {
        setValue(percent);
    }
    const int after = litLamps(percent);
    if (before != after) {
        update(lampRect(std::max(before, after) - 1).united(lampRect(std::min(before, after))));
    }
}

void LevelBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.setPen(QColor(60, 60, 60));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const int lamps = lampCount();
    const int lit = litLamps(value());
    for (int i = 0; i < lamps; ++i) {
        const double height = double(i) / std::max(1, lamps - 1);
        QColor colour = height < 0.6    ? QColor(40, 220, 60)
                        : height < 0.85 ? QColor(240, 210, 30)
                                        : QColor(240, 40, 30);
        if (i >= lit) {
            colour = colour.darker(520);
        }
        p.fillRect(lampRect(i), colour);
    }
}

GradientBar::GradientBar(QWidget* parent) : QProgressBar(parent) {
    setOrientation(Qt::Horizontal);
    setRange(0, 100);
    setValue(0);
    setTextVisible(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GradientBar::setShowBorder(bool show) {
    if (show != showBorder_) {
        showBorder_ = show;
        update();
    }
}

void GradientBar::setBorderColour(const QColor& colour) {
    if (colour != borderColour_) {
        borderColour_ = colour;
        update();
    }
}

void GradientBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    QRect well = rect();
    if (showBorder_) {
        p.setPen(borderColour_);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        well = rect().adjusted(2, 2, -2, -2);
    }
    const int span = maximum() - minimum();
    if (span <= 0 || value() <= minimum()) {
        return;
    }
    const double fraction = std::clamp(double(value() - minimum()) / span, 0.0, 1.0);
    const int filled = static_cast<int>(std::lround(fraction * well.width()));
    if (filled <= 0) {
        return;
    }
    QLinearGradient fill(well.left(), 0, well.right(), 0);
    fill.setColorAt(0.0, QColor(0, 0, 255));
    fill.setColorAt(1.0, Qt::white);
    p.fillRect(QRect(well.left(), well.top(), filled, well.height()), fill);
    // A soft top highlight gives the bar some depth.
    QLinearGradient shine(0, well.top(), 0, well.bottom());
    shine.setColorAt(0.0, QColor(255, 255, 255, 70));
    shine.setColorAt(0.5, QColor(255, 255, 255, 0));
    shine.setColorAt(1.0, QColor(0, 0, 0, 60));
    p.fillRect(QRect(well.left(), well.top(), filled, well.height()), shine);
}

} // namespace corvalin
