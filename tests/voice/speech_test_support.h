#pragma once

#include <QCoreApplication>
#include <QString>

namespace corvalin::test {

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
