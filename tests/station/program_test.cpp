// The station program itself, started in processes of its own on the offscreen platform with the
// null sound device, a private settings folder and a private copy of the laid-out station folder.
#include "ProgramProcess.h"
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
        // The zip code is known, so no prompt; news is never fetched (no network in tests). The
        // shortest cross-fade brings a song's first tick (the overlap and 2 s after its start)
        // forward from 8 s to 3 s.
        writeWholeFile(settingsFile(), "[DJ5]\r\nZipCode=10001\r\nReadNews=0\r\nReadWeather=0\r\n"
                                       "FrequencyType=3\r\n[General]\r\nCrossFade=1\r\n");
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

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("CORVALIN_AUDIO"), QStringLiteral("null"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), work.file(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), work.file(QStringLiteral("run")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), work.file(QStringLiteral("data")));
        env.insert(QStringLiteral("CORVALIN_TRACE"), trace());
        return env;
    }
    QString program() const { return work.file(QStringLiteral("station/corvalinradio")); }
    QStringList stationDir() const {
        return {QStringLiteral("--station-dir"), work.file(QStringLiteral("station"))};
    }

    QProcess* launch() {
        auto* p = new QProcess;
        started.push_back(p);
        p->setProcessEnvironment(environment());
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(program(), stationDir());
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

    // A second start finds the first, asks it to come forward and ends without a window, with a
    // status of its own and a line that says so.
    const ProgramRun second = runProgram(program(), stationDir(), environment(), 20000);
    ASSERT_TRUE(second.finished);
    EXPECT_EQ(second.exitCode, 3);
    EXPECT_TRUE(second.err.contains(QStringLiteral("already running"))) << second.err.toStdString();
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

// Songs of `seconds` each in `folder` under `names`: one tone, generated once and copied.
bool makeSongs(const QString& folder, const QStringList& names, double seconds) {
    if (names.isEmpty() ||
        !runTool(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("sine=frequency=440:duration=%1").arg(seconds),
                  QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), folder + names.first()}))
        return false;
    for (qsizetype i = 1; i < names.size(); ++i)
        if (!QFile::copy(folder + names.first(), folder + names[i]))
            return false;
    return true;
}

// --import-folder into the list on the air while the station plays: the station reads the new
// list when it chooses its next song instead of writing its own list over it, and its played
// marks go only to the imported rows it then plays.
TEST_F(Program, AnImportIntoTheListOnTheAirSurvivesTheSongChanges) {
    const QString own = work.file(QStringLiteral("own/"));
    const QString music = work.file(QStringLiteral("music/"));
    ASSERT_TRUE(QDir().mkpath(own) && QDir().mkpath(music));
    const QStringList ownSongs = {QStringLiteral("Own - One.mp3"), QStringLiteral("Own - Two.mp3"),
                                  QStringLiteral("Own - Three.mp3")};
    QStringList imported;
    for (int i = 1; i <= 6; ++i)
        imported << QStringLiteral("Import - Song %1.mp3").arg(i);
    ASSERT_TRUE(makeSongs(own, ownSongs, 4.0));
    ASSERT_TRUE(makeSongs(music, imported, 4.0));
    QByteArray ownList;
    for (const QString& song : ownSongs)
        ownList += "F" + (own + song).toUtf8() + "\r\n";
    const QDir lists(work.file(QStringLiteral("station/Lists")));
    for (const QString& list : lists.entryList({QStringLiteral("*.lst")}, QDir::Files))
        writeWholeFile(lists.filePath(list), ownList);
    // No talk between the songs: they follow each other every few seconds.
    QByteArray ini = readWholeFile(settingsFile());
    for (int slot = 1; slot <= 4; ++slot)
        ini += QStringLiteral("[DJ%1]\r\nFrequencyType=3\r\n").arg(slot).toUtf8();
    writeWholeFile(settingsFile(), ini);

    QProcess* station = launch();
    ASSERT_TRUE(station->waitForStarted());
    ASSERT_TRUE(waitForTrace("song-start", 1)) << readWholeFile(trace()).toStdString();

    // Into the list of the present slot, the one on the air.
    const ProgramRun import = runProgram(
        program(), stationDir() << QStringLiteral("--import-folder") << music, environment());
    ASSERT_TRUE(import.finished);
    ASSERT_EQ(import.exitCode, 0) << import.err.toStdString();
    EXPECT_TRUE(import.out.contains(QStringLiteral("6 songs written"))) << import.out.toStdString();
    EXPECT_TRUE(import.err.contains(QStringLiteral("next song"))) << import.err.toStdString();
    QString listFile;
    for (const QString& list : lists.entryList({QStringLiteral("*.lst")}, QDir::Files))
        if (readWholeFile(lists.filePath(list)).contains("Import - Song"))
            listFile = lists.filePath(list);
    ASSERT_FALSE(listFile.isEmpty());

    // Two song changes, and the first tick of the second (which marks and saves).
    const int before = traceCount("song-start");
    ASSERT_TRUE(waitForTrace("song-start", before + 2)) << readWholeFile(trace()).toStdString();
    const auto marked = [&] { return readWholeFile(listFile).startsWith("T"); };
    ASSERT_TRUE(waitFor(marked, 20000)) << readWholeFile(listFile).toStdString();
    EXPECT_EQ(traceCount("list-reloaded"), 1);

    // The file is the import, line for line, with marks only where its own songs played.
    const QByteArray saved = readWholeFile(listFile);
    const QList<QByteArray> lines = saved.split('\n');
    ASSERT_EQ(lines.size(), imported.size() + 1) << saved.toStdString();
    const QByteArray traced = readWholeFile(trace());
    for (qsizetype i = 0; i < imported.size(); ++i) {
        SCOPED_TRACE(lines[i].toStdString());
        const QByteArray path = (music + imported[i]).toUtf8();
        EXPECT_EQ(lines[i].mid(1), path + "\r");
        if (lines[i].startsWith('T'))
            EXPECT_TRUE(traced.contains(path)) << "marked but never played";
        else
            EXPECT_TRUE(lines[i].startsWith('F'));
    }

    ::kill(static_cast<pid_t>(station->processId()), SIGTERM);
    ASSERT_TRUE(station->waitForFinished(20000));
    // The close saves the import's marks too, not the station's old list.
    EXPECT_TRUE(readWholeFile(listFile).contains("Import - Song 6.mp3"));
    EXPECT_FALSE(readWholeFile(listFile).contains("Own - "));
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
