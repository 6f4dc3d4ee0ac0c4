// The station program itself, started in processes of its own on the offscreen platform with the
// null sound device, a private settings folder and a private copy of the laid-out station folder.
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <functional>
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
        env.insert(QStringLiteral("XDG_DATA_HOME"), work.file(QStringLiteral("data")));
        env.insert(QStringLiteral("CORVALIN_TRACE"), trace());
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(work.file(QStringLiteral("station/corvalinradio")),
                 {QStringLiteral("--station-dir"), work.file(QStringLiteral("station"))});
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

// A termination signal while a start-up box is open (the zip code prompt, the box about an empty
// list) closes the box, saves as a close does and ends the program; no window ever shows.
TEST_F(Program, TerminationDuringAStartUpBoxEndsTheProgramCleanly) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
    };
    const Case cases[] = {
        {"zip code prompt",
         [&] {
             writeWholeFile(settingsFile(), "[DJ5]\r\nReadNews=0\r\nReadWeather=0\r\n"
                                            "FrequencyType=3\r\n");
         }},
        {"empty list box",
         [&] {
             const QDir lists(work.file(QStringLiteral("station/Lists")));
             for (const QString& list : lists.entryList({QStringLiteral("*.lst")}, QDir::Files))
                 writeWholeFile(lists.filePath(list), "");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        QFile::remove(trace());
        QProcess* p = launch();
        ASSERT_TRUE(p->waitForStarted());
        // The box is up well within this time; the window is not.
        ASSERT_TRUE(
            waitFor([&] { return readWholeFile(settingsFile()).contains("Restart=1"); }, 20000));
        QThread::msleep(1500);
        EXPECT_EQ(traceCount("window-shown"), 0);
        ::kill(static_cast<pid_t>(p->processId()), SIGTERM);
        ASSERT_TRUE(p->waitForFinished(10000)) << "still running after SIGTERM";
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0);
        EXPECT_EQ(traceCount("window-shown"), 0);
        const QByteArray ini = readWholeFile(settingsFile());
        EXPECT_TRUE(ini.contains("Restart=0")) << ini.toStdString();
    }
}

// On X11 every caption is exactly the program's own: nothing appended by the toolkit.
TEST_F(Program, CaptionsAreExactlyTheProgramsOwnOnX11) {
    ASSERT_TRUE(QFile::remove(work.file(QStringLiteral("station/Phrases.dat"))));
    const QString script =
        QStringLiteral("\"$1\" --station-dir \"$2\" & pid=$!; "
                       "for i in $(seq 1 100); do "
                       "  names=$(xwininfo -root -tree 2>/dev/null | grep -c 'Setup Error'); "
                       "  [ \"$names\" -gt 0 ] && break; sleep 0.1; done; "
                       "xwininfo -root -tree; kill -9 $pid; wait $pid 2>/dev/null; exit 0");
    QProcess x;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    // The X11 keyboard library trips the sanitizer's strict string checks inside Qt's start-up,
    // before any of our code runs.
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               QStringLiteral("detect_leaks=0:strict_string_checks=0"));
    env.insert(QStringLiteral("CORVALIN_AUDIO"), QStringLiteral("null"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), work.file(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), work.file(QStringLiteral("run")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), work.file(QStringLiteral("data")));
    x.setProcessEnvironment(env);
    x.start(QStringLiteral("xvfb-run"),
            {QStringLiteral("-a"), QStringLiteral("sh"), QStringLiteral("-c"), script,
             QStringLiteral("sh"), work.file(QStringLiteral("station/corvalinradio")),
             work.file(QStringLiteral("station"))});
    ASSERT_TRUE(x.waitForFinished(60000));
    const QString tree = QString::fromUtf8(x.readAllStandardOutput());
    EXPECT_TRUE(tree.contains(QStringLiteral("\"Corvalin Radio - Setup Error\"")))
        << tree.toStdString();
    EXPECT_FALSE(tree.contains(QStringLiteral("\u2014"))) << tree.toStdString();
}

} // namespace
