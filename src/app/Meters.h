#pragma once

#include "station/StationView.h"

#include <QColor>
#include <QProgressBar>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

class QPainter;

namespace corvalin {

// The pen colour for a level in percent, as a colour value 0x00BBGGRR (low byte red).
using LevelColourFunction = std::function<std::int32_t(int percent)>;

// 0x00BBGGRR to a colour.
QColor colourFromBgr(std::int32_t value);

// A peak level 0..1 as the bar position 0..100 (truncated; out-of-range and NaN levels clamped).
int levelPercent(float level);

// Draws one channel of a reading: column i as a vertical line at x = i from row
// (255 - max) >> 2 to row (255 - min) >> 2, both included, so silence lies on row 31 and the
// trace uses rows 0..63. Columns missing from a short reading are not drawn.
void paintTrace(QPainter& painter, const MeterReading& reading, int channel, const QColor& pen);

// Rows of a trace: 0..63, silence on row 31.
inline constexpr int kTraceRows = 64;

// A paint box holding one channel's trace from the last reading, or nothing.
class TracePaintBox : public QWidget {
    Q_OBJECT
public:
    explicit TracePaintBox(QWidget* parent = nullptr);

    // Copies the channel's columns out of `reading`. Only the columns that changed are repainted,
    // within the trace's rows.
    void setTrace(const MeterReading& reading, int channel, const QColor& pen);
    void clearTrace();
    bool hasTrace() const { return columns_ > 0; }
    QColor pen() const { return pen_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Repaints columns first..last (inclusive) of the trace's rows.
    void updateColumns(int first, int last);

    std::vector<std::uint8_t> max_;
    std::vector<std::uint8_t> min_;
    int columns_ = 0;
    QColor pen_;
};

// A vertical level bar 0..100 filling from the bottom, drawn as lamps green to yellow to red.
class LevelBar : public QProgressBar {
    Q_OBJECT
public:
    explicit LevelBar(QWidget* parent = nullptr);

    // Sets value() for the meters' ticks: unlike setValue (which repaints at once), only the
    // lamps that turn on or off are repainted, later with the rest of the window.
    void setLevel(int percent);

    // Lamps lit at `value`.
    int litLamps(int value) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect lampRect(int lamp) const;
    int lampCount() const;
};

// A horizontal bar filled from blue to white on black, with an optional border of a given
// colour (position bars and the DJ strip).
class GradientBar : public QProgressBar {
    Q_OBJECT
public:
    explicit GradientBar(QWidget* parent = nullptr);

    void setShowBorder(bool show);
    bool showBorder() const { return showBorder_; }
    void setBorderColour(const QColor& colour);
    QColor borderColour() const { return borderColour_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool showBorder_ = true;
    QColor borderColour_{90, 90, 90};
};

} // namespace corvalin
