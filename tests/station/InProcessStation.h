#pragma once

// A station made inside the test program on doubles: the test's clock, randomness and clock
// setter, the null sound output and the fake speech engine.

#include "TestSupport.h"
#include "audio/SoundDevice.h"
#include "station/StationController.h"
#include "voice/speech/FakeSpeechEngine.h"

#include <QString>
#include <QStringList>
#include <memory>

namespace corvalin::test {

// The environment of such a station; `speech` points at the engine speaking `voices` once the
// station makes it (at its first activation). Callers add timers, logs and outputs of their own.
inline StationEnvironment fakeStationEnvironment(const SettingsPaths& paths, const Clock& clock,
                                                 RandomSource& random,
                                                 SystemClockSetter& clockSetter,
                                                 const QStringList& voices,
                                                 FakeSpeechEngine*& speech) {
    StationEnvironment env;
    env.paths = paths;
    env.clock = &clock;
    env.random = &random;
    env.clockSetter = &clockSetter;
    env.device = SoundDevice::create(QStringLiteral("null"));
    env.makeSpeechEngine = [&speech, voices](QString*) {
        auto engine = std::make_unique<FakeSpeechEngine>(voices);
        speech = engine.get();
        return engine;
    };
    env.userName = QStringLiteral("tester");
    return env;
}

// Creates and activates `station`, lets the start-up voice test be spoken to its end and waits
// for start-up to finish; whether it did.
[[nodiscard]] inline bool finishStartUp(StationController& station,
                                        FakeSpeechEngine* const& speech) {
    station.FormCreate();
    station.FormActivate();
    if (!speech)
        return false;
    speech->start();
    speech->finish();
    return waitFor([&] { return station.StartupChecked(); });
}

} // namespace corvalin::test
