// The station program itself, started in processes of its own on the offscreen platform with the
// null sound device, a private settings folder and a private copy of the laid-out station folder.
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

using namespace corvalin::test;

namespace {

class Program : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(runTool(QStringLiteral("cp"),
                            {QStringLiteral("-r"), QStringLiteral(CORVALIN_STATION_DIR),
                             work.file(QStringLiteral("station"))}));
        ASSERT_TRUE(QDir().mkpath(work.file(QStringLiteral("config/CorvalinRadio"))));
        ASSERT_TRUE(QDir().mkpath(work.file(QStringLiteral("run"))));
        QFile::setPermissions(work.file(QStringLiteral("run")), QFileDevice::ReadOwner |
                                                                    QFileDevice::WriteOwner |
                                                                    QFileDevice::ExeOwner);
        // The zip code is known, so no prompt; news is never fetched (no network in tests).
        writeWholeFile(settingsFile(), "[DJ5]\r\nZipCode=10001\r\nReadNews=0\r\nReadWeather=0\r\n"
                                       "FrequencyType=3\r\n");
    }
    void TearDown() override {
        for (QProcess* p : started) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
            delete p;
        }
    }

    QString settingsFile() const {
        return work.file(QStringLiteral("config/CorvalinRadio/CorvalinRadio.ini"));
    }
    QString trace() const { return work.file(QStringLiteral("trace.txt")); }

    QProcess* launch() {
        auto* p = new QProcess;
        started.push_back(p);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("CORVALIN_AUDIO"), QStringLiteral("null"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), work.file(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), work.file(QStringLiteral("run")));
        env.insert(QStringLiteral("CORVALIN_TRACE"), trace());
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(work.file(QStringLiteral("station/corvalinradio")), {});
        return p;
    }

    int traceCount(const char* event) const {
        const QByteArray text = readWholeFile(trace());
        return static_cast<int>(text.count(QByteArray(" ") + event));
    }
    bool waitForTrace(const char* event, int count, int ms = 30000) const {
        QElapsedTimer t;
        t.start();
        while (traceCount(event) < count) {
            if (t.elapsed() > ms)
                return false;
            QThread::msleep(50);
        }
        return true;
    }

    TempFolder work;
    std::vector<QProcess*> started;
};

TEST_F(Program, PlaysBySelfRefusesASecondStartAndSavesOnTermination) {
    QProcess* first = launch();
    ASSERT_TRUE(first->waitForStarted());
    ASSERT_TRUE(waitForTrace("song-start", 1)) << readWholeFile(trace()).toStdString();
    EXPECT_EQ(traceCount("window-shown"), 1);
    EXPECT_TRUE(readWholeFile(settingsFile()).contains("Restart=1"));

    // A second start finds the first, asks it to come forward and ends without a window.
    QProcess* second = launch();
    ASSERT_TRUE(second->waitForFinished(20000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(traceCount("window-shown"), 1);
    EXPECT_EQ(first->state(), QProcess::Running);

    // The first tick marks the song played in the slot's list file.
    const auto marked = [&] {
        const QDir lists(work.file(QStringLiteral("station/Lists")));
        for (const QString& list : lists.entryList({QStringLiteral("*.lst")}, QDir::Files))
            if (readWholeFile(lists.filePath(list)).startsWith("T"))
                return true;
        return false;
    };
    ASSERT_TRUE(waitFor(marked, 20000));

    // Termination closes the window: Stop, then the list and settings are saved.
    ::kill(static_cast<pid_t>(first->processId()), SIGTERM);
    ASSERT_TRUE(first->waitForFinished(20000));
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first->exitCode(), 0);
    const QByteArray ini = readWholeFile(settingsFile());
    EXPECT_TRUE(ini.contains("Restart=0")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("Player=")) << ini.toStdString();
    EXPECT_TRUE(marked());
}

} // namespace
