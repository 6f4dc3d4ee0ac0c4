#pragma once

// Runs the station program (or an installed copy of it) in a process of its own with a private
// environment: temporary HOME and XDG folders, no display unless asked for, the null sound output.

#include "TestSupport.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <csignal>
#include <functional>

namespace corvalin::test {

struct ProgramRun {
    int exitCode = -1;
    bool finished = false;
    QString out;
    QString err;
};

// The environment of a station started by a test: HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and
// XDG_RUNTIME_DIR under `root` (which must exist), no display, `audio` as CORVALIN_AUDIO.
inline QProcessEnvironment stationEnvironment(const QString& root,
                                              const QString& audio = QStringLiteral("null")) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "CORVALIN_TRACE", "CORVALIN_AUDIO"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("HOME"), root + QStringLiteral("home"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("data"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("run"));
    env.insert(QStringLiteral("CORVALIN_AUDIO"), audio);
    return env;
}

// The settings of most stations a test starts: the zip code stored, no news or weather (no network
// in tests), the DJ talking between songs.
inline const QByteArray kStationIni =
    "[DJ5]\r\nZipCode=10001\r\nReadNews=0\r\nReadWeather=0\r\nFrequencyType=3\r\n";

// The same with the DJs of the four slots quiet between songs, for tests that do not check the
// talk: the talk after a sample song (with the reminder to set up the lists) holds the next song
// back for over twenty seconds.
inline const QByteArray kQuietStationIni =
    kStationIni + "[DJ1]\r\nFrequencyType=3\r\n[DJ2]\r\nFrequencyType=3\r\n"
                  "[DJ3]\r\nFrequencyType=3\r\n[DJ4]\r\nFrequencyType=3\r\n";

// Makes the folders stationEnvironment(`root`) names, the runtime folder private as a session's is,
// and writes `ini` as the station's settings file; whether the folders could be made.
[[nodiscard]] inline bool layOutStationRoot(const QString& root, const QByteArray& ini) {
    for (const char* folder : {"home", "config/CorvalinRadio", "data", "run"})
        if (!QDir().mkpath(root + QString::fromLatin1(folder)))
            return false;
    QFile::setPermissions(root + QStringLiteral("run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    writeWholeFile(root + QStringLiteral("config/CorvalinRadio/CorvalinRadio.ini"), ini);
    return true;
}

// As waitFor, for a condition whose every check starts a program (--status, playerctl): checked
// every `everyMs` rather than without a pause, which kept a core busy starting programs.
[[nodiscard]] inline bool waitForAsking(const std::function<bool()>& done, int ms,
                                        int everyMs = 200) {
    QElapsedTimer since;
    since.start();
    while (!done()) {
        if (since.elapsed() > ms)
            return false;
        waitFor([] { return false; }, everyMs);
    }
    return true;
}

// Ends a station a test started as its service manager would (SIGTERM), killing it if it hangs.
inline void endStation(QProcess* station) {
    if (!station || station->state() == QProcess::NotRunning)
        return;
    ::kill(static_cast<pid_t>(station->processId()), SIGTERM);
    if (!station->waitForFinished(30000))
        station->kill();
    station->waitForFinished(5000);
}

// Runs `program` to its end (at most `ms`); a program still running then is killed.
inline ProgramRun runProgram(const QString& program, const QStringList& arguments,
                             const QProcessEnvironment& env, int ms = 30000) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, arguments);
    ProgramRun run;
    if (!p.waitForStarted(10000))
        return run;
    run.finished = p.waitForFinished(ms);
    if (!run.finished) {
        p.kill();
        p.waitForFinished(5000);
    }
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(p.readAllStandardError());
    return run;
}

} // namespace corvalin::test
