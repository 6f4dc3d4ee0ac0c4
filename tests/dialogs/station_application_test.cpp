#include "TestSupport.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct ProbeRun {
    int exitCode = -1;
    QString output;
};

ProbeRun runProbe(const QString& mode) {
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    probe.setProcessEnvironment(env);
    probe.start(QStringLiteral(CORVALIN_STATION_APP_PROBE), {mode});
    ProbeRun run;
    if (!probe.waitForFinished(20000)) {
        probe.kill();
        probe.waitForFinished();
        return run;
    }
    run.exitCode = probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -2;
    run.output = QString::fromUtf8(probe.readAllStandardOutput());
    return run;
}

TEST(StationApplication, AnErrorEscapingAHandlerReachesTheErrorHandlerAndTheProgramGoesOn) {
    const ProbeRun run = runProbe(QStringLiteral("error"));
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(QStringLiteral("error: Disk on fire")));
    EXPECT_TRUE(run.output.contains(QStringLiteral("after: 1")));
}

TEST(StationApplication, TerminationSignalClosesTheWindow) {
    const ProbeRun run = runProbe(QStringLiteral("signal"));
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(QStringLiteral("closed")));
}

} // namespace
