#pragma once

#include <QtGlobal>
#include <limits>

namespace corvalin {

// When the console's scrolling titles take a step. While a deck plays, its meter readings arrive
// every 50 ms and the titles step with them, so the meters and the titles reach the screen in one
// update; when no reading has come for a frame and a half (paused, between songs), the console
// timer steps them on the same 50 ms rhythm. Times are milliseconds on a monotonic clock.
class TitleRhythm {
public:
    static constexpr int kFrameMs = 50;   // the meters' interval
    static constexpr int kStepPixels = 2; // 40 pixels a second

    // A meter reading was shown: whether the titles step with it (at most once a frame, however
    // many decks are playing).
    bool stepWithMeters(qint64 nowMs);
    // The console timer ticked: whether the titles step on it (only while no meters run).
    bool stepOnTick(qint64 nowMs);
    // Whether meter readings are coming, so the console timer need not step the titles.
    bool metersDrive(qint64 nowMs) const;

private:
    static constexpr qint64 kNever = std::numeric_limits<qint64>::min() / 2;
    qint64 lastStep_ = kNever;
    qint64 lastReading_ = kNever;
};

} // namespace corvalin
