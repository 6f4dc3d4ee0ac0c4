#pragma once

#include <QCoreApplication>
#include <QString>

namespace corvalin::test {

// The name the station shows for eSpeak NG's first American English male voice.
inline const QString kVoice = QStringLiteral("English (America) - Adult Male 1");

// The speech worker of this build: in the station folder (CORVALIN_STATION_DIR, or the build's
// station folder two levels above this test program).
inline QString speechWorkerProgram() {
    QString station = qEnvironmentVariable("CORVALIN_STATION_DIR");
    if (station.isEmpty()) {
        station = QCoreApplication::applicationDirPath() + QStringLiteral("/../../station");
    }
    return station + QStringLiteral("/corvalin-speech-worker");
}

} // namespace corvalin::test
