#include "TitleRhythm.h"

namespace corvalin {

namespace {
// Readings come every frame give or take the timer's slack; two decks' readings a few
// milliseconds apart must not both step.
constexpr qint64 kMeterStepGapMs = TitleRhythm::kFrameMs - 10;
// Past this without a reading, the meters have stopped.
constexpr qint64 kMetersQuietMs = TitleRhythm::kFrameMs * 3 / 2;
} // namespace

bool TitleRhythm::stepWithMeters(qint64 nowMs) {
    // A reading that comes just after a timer step does not step, but still takes the rhythm
    // over: otherwise the timer could keep stepping just ahead of every reading.
    lastReading_ = nowMs;
    if (nowMs - lastStep_ < kMeterStepGapMs) {
        return false;
    }
    lastStep_ = nowMs;
    return true;
}

bool TitleRhythm::stepOnTick(qint64 nowMs) {
    if (metersDrive(nowMs) || nowMs - lastStep_ < kMeterStepGapMs) {
        return false;
    }
    lastStep_ = nowMs;
    return true;
}

bool TitleRhythm::metersDrive(qint64 nowMs) const {
    return nowMs - lastReading_ < kMetersQuietMs;
}

} // namespace corvalin
