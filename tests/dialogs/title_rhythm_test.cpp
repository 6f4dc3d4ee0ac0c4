// When the console's scrolling titles step: with the meter readings while a deck plays, on the
// console timer otherwise, and never twice in one frame.

#include "app/TitleRhythm.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace corvalin;

namespace {

// One event at a time: a reading ('m') or a timer tick ('t') at a time in ms, and whether the
// titles must step on it.
struct Event {
    char kind;
    qint64 at;
    bool steps;
};

} // namespace

TEST(TitleRhythm, StepsOncePerFrameWithTheMetersAndOnTheTimerOnlyWithout) {
    struct Case {
        const char* name;
        std::vector<Event> events;
    };
    constexpr int f = TitleRhythm::kFrameMs;
    const Case cases[] = {
        {"no deck playing: every tick steps", {{'t', 0, true}, {'t', f, true}, {'t', 2 * f, true}}},
        {"readings step, ticks between them do not",
         {{'m', 0, true},
          {'t', 20, false},
          {'m', f, true},
          {'t', f + 30, false},
          {'m', 2 * f, true}}},
        {"readings with the timer's slack still step each frame",
         {{'m', 0, true}, {'m', 47, true}, {'m', 100, true}, {'m', 146, true}}},
        {"two decks a few ms apart: one step a frame",
         {{'m', 0, true}, {'m', 7, false}, {'m', f, true}, {'m', f + 7, false}}},
        {"readings stop: the timer takes over after a frame and a half",
         {{'m', 0, true}, {'t', f, false}, {'t', 74, false}, {'t', 75, true}, {'t', 75 + f, true}}},
        {"a reading just after a timer step waits for the next frame",
         {{'t', 0, true},
          {'m', 10, false},
          {'t', f, false},
          {'m', 10 + f, true},
          {'t', 2 * f, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TitleRhythm rhythm;
        for (const Event& e : c.events) {
            const bool stepped =
                e.kind == 'm' ? rhythm.stepWithMeters(e.at) : rhythm.stepOnTick(e.at);
            EXPECT_EQ(stepped, e.steps) << e.kind << " at " << e.at;
        }
    }
}

TEST(TitleRhythm, MetersDriveForAFrameAndAHalfAfterTheirLastReading) {
    TitleRhythm rhythm;
    EXPECT_FALSE(rhythm.metersDrive(0));
    ASSERT_TRUE(rhythm.stepWithMeters(1000));
    EXPECT_TRUE(rhythm.metersDrive(1000));
    EXPECT_TRUE(rhythm.metersDrive(1074));
    EXPECT_FALSE(rhythm.metersDrive(1075));
    // A timer step does not count as the meters driving; a reading that does not step does.
    ASSERT_TRUE(rhythm.stepOnTick(2000));
    EXPECT_FALSE(rhythm.metersDrive(2000));
    ASSERT_FALSE(rhythm.stepWithMeters(2010));
    EXPECT_TRUE(rhythm.metersDrive(2080));
}
