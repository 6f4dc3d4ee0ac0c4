// Commands for the running station from the command line (--status, --play, --pause, --stop,
// --next), answered by a real headless station over its single-instance socket, and clients of
// that socket that send garbage, too much or nothing.
#include "ProgramProcess.h"
#include "TestSupport.h"
#include "app/CommandLine.h"
#include "station/StationControl.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace corvalin;
using namespace corvalin::test;
using namespace Qt::StringLiterals;

namespace {

TEST(ControlCommandLine, OneCommandPerCallAndJsonOnlyWithStatus) {
    const struct {
        const char* line;
        const char* control;
        bool json;
        const char* error; // part of the error; empty: understood
    } cases[] = {
        {"--status", "status", false, ""},
        {"--status --json", "status", true, ""},
        {"--json --status", "status", true, ""},
        {"--play", "play", false, ""},
        {"--pause", "pause", false, ""},
        {"--stop", "stop", false, ""},
        {"--next", "next", false, ""},
        {"--next --play", "", false, "one command for the running station at a time"},
        {"--status --status", "", false, "one command"},
        {"--json", "", false, "--json goes with --status"},
        {"--next --json", "", false, "--json goes with --status"},
        {"--status --headless", "", false, "goes with no other option"},
        {"--play --zip 10001", "", false, "goes with no other option"},
        {"--rewind", "", false, "unknown option --rewind"},
    };
    for (const auto& c : cases) {
        const CommandLine line =
            parseCommandLine(QString::fromUtf8(c.line).split(u' ', Qt::SkipEmptyParts));
        if (*c.error == '\0') {
            EXPECT_TRUE(line.error.isEmpty()) << c.line << ": " << line.error.toStdString();
            EXPECT_EQ(line.control, QString::fromUtf8(c.control)) << c.line;
            EXPECT_EQ(line.json, c.json) << c.line;
            EXPECT_FALSE(needsWindow(line)) << c.line;
        } else {
            EXPECT_TRUE(line.error.contains(QString::fromUtf8(c.error)))
                << c.line << ": " << line.error.toStdString();
        }
    }
    EXPECT_TRUE(usageText().contains(u"--status --json"_s));
    EXPECT_TRUE(usageText().contains(u"--play, --pause, --stop, --next"_s));
}

// The program a script runs answers these commands without loading the station's libraries (whose
// loading alone took longer than the answer may); everything else goes to the station beside it.
TEST(ControlCommandLine, StatusTextLinesUpEveryStreamOutputUnderTheFirst) {
    StationStatus status;
    status.state = u"playing"_s;
    status.streamDetail = u"Stream connected: a:8000/hi, MP3 128 kbit/s\n"
                          u"Stream failed: Connection refused (b:8000/lo); trying again in 4 s"_s;
    const QString text = statusToText(status);
    EXPECT_TRUE(text.contains(u"\nStream: Stream connected: a:8000/hi, MP3 128 kbit/s\n"
                              u"        Stream failed: Connection refused (b:8000/lo); trying "
                              u"again in 4 s\nLast fetch: none yet\n"_s))
        << text.toStdString();
}

TEST(ControlCommandLine, TheCommandsProgramLoadsNoneOfTheStationsLibraries) {
    const QString launcher = QStringLiteral(CORVALIN_PROGRAM);
    const QString stationProgram = QFileInfo(launcher).dir().filePath(u"corvalinradio-station"_s);
    const auto libraries = [](const QString& program) {
        return runProgram(u"ldd"_s, {program}, QProcessEnvironment::systemEnvironment(), 20000);
    };
    const ProgramRun small = libraries(launcher);
    ASSERT_EQ(small.exitCode, 0) << small.err.toStdString();
    EXPECT_TRUE(small.out.contains(u"libQt6Core"_s)) << small.out.toStdString();
    const ProgramRun whole = libraries(stationProgram);
    ASSERT_EQ(whole.exitCode, 0) << whole.err.toStdString();
    for (const QString& library : {u"libQt6Widgets"_s, u"libQt6DBus"_s, u"libavcodec"_s,
                                   u"libportaudio"_s, u"libespeak-ng"_s, u"libcurl"_s}) {
        EXPECT_FALSE(small.out.contains(library)) << library.toStdString();
        EXPECT_TRUE(whole.out.contains(library)) << library.toStdString();
    }
}

// A headless station on the null output, its station folder laid out from the program's data
// (the sample songs), no news, the zip code given, the DJs quiet.
class ControlCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(layOutStationRoot(root.path(), kQuietStationIni));
        env = stationEnvironment(root.path());
        env.insert(u"CORVALIN_TRACE"_s, trace());
    }
    void TearDown() override { endStation(station.get()); }

    QString trace() const { return root.file(u"trace.txt"_s); }

    void startStation() {
        station = std::make_unique<QProcess>();
        station->setProcessEnvironment(env);
        station->setProcessChannelMode(QProcess::ForwardedChannels);
        station->start(QStringLiteral(CORVALIN_PROGRAM), {u"--headless"_s});
        ASSERT_TRUE(station->waitForStarted());
        ASSERT_TRUE(waitFor([&] { return readWholeFile(trace()).contains(" song-start"); }, 60000))
            << readWholeFile(trace()).toStdString();
    }

    ProgramRun run(const QStringList& arguments) {
        return runProgram(QStringLiteral(CORVALIN_PROGRAM), arguments, env, 20000);
    }

    QJsonObject status() {
        const ProgramRun r = run({u"--status"_s, u"--json"_s});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << r.out.toStdString();
        return doc.object();
    }

    // The station's socket, as a client that is not the program.
    QString socketPath() const {
        const QStringList found =
            QDir(root.file(u"run"_s)).entryList({u"Corvalin_Radio-*.sock"_s}, QDir::System);
        return found.isEmpty() ? QString() : root.file(u"run/"_s + found.first());
    }

    // Sends `bytes` and reads until the station closes the connection (at most `ms`).
    QByteArray exchange(const QByteArray& bytes, int ms = 5000) {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (!socket.waitForConnected(2000))
            return "<no connection>";
        if (!bytes.isEmpty()) {
            socket.write(bytes);
            socket.waitForBytesWritten(2000);
        }
        QByteArray reply;
        QElapsedTimer since;
        since.start();
        while (socket.state() == QLocalSocket::ConnectedState && since.elapsed() < ms) {
            socket.waitForReadyRead(100);
            reply += socket.readAll();
        }
        reply += socket.readAll();
        return reply;
    }

    TempFolder root;
    QProcessEnvironment env;
    std::unique_ptr<QProcess> station;
};

TEST_F(ControlCommand, WithoutAStationEveryCommandEndsWithStatus3) {
    for (const char* command : {"--status", "--next"}) {
        const ProgramRun r = run({QString::fromLatin1(command)});
        EXPECT_EQ(r.exitCode, kExitNoStation) << command;
        EXPECT_TRUE(r.err.contains(u"no station is running"_s)) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    // Asking did not make it the running station: nothing listens afterwards.
    EXPECT_TRUE(socketPath().isEmpty());
}

TEST_F(ControlCommand, StatusAndNextAnswerAsTheConsoleShows) {
    startStation();
    QJsonObject s = status();
    EXPECT_EQ(s.value(u"state"_s).toString(), u"playing"_s);
    const QJsonObject onAir = s.value(u"onAir"_s).toObject();
    EXPECT_FALSE(onAir.value(u"title"_s).toString().isEmpty())
        << QJsonDocument(s).toJson().toStdString();
    EXPECT_EQ(onAir.value(u"artist"_s).toString(), u"Corvalin Radio Sample"_s);
    EXPECT_GT(onAir.value(u"length"_s).toDouble(), 1.0);
    EXPECT_GE(onAir.value(u"elapsed"_s).toDouble(), 0.0);
    EXPECT_FALSE(s.value(u"slot"_s).toString().isEmpty());
    EXPECT_FALSE(s.value(u"dj"_s).toString().isEmpty());
    EXPECT_EQ(s.value(u"stream"_s).toObject().value(u"state"_s).toString(), u"off"_s);
    EXPECT_TRUE(s.value(u"lastFetch"_s).isString());

    const ProgramRun text = run({u"--status"_s});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_TRUE(text.out.startsWith(u"State: playing\nOn the air: Corvalin Radio Sample - "_s))
        << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(u"\nStream: Stream off\n"_s)) << text.out.toStdString();

    // Play is down: pressing it again is refused, with the reason.
    ProgramRun play = run({u"--play"_s});
    EXPECT_EQ(play.exitCode, kExitRefused);
    EXPECT_TRUE(play.err.contains(u"Play is disabled: the station is playing"_s))
        << play.err.toStdString();

    // Next comes back 10 s after Play; then it skips as the button does.
    ASSERT_TRUE(waitForAsking(
        [&] { return status().value(u"buttons"_s).toObject().value(u"next"_s).toBool(); }, 20000));
    const int startsBefore = readWholeFile(trace()).count(" song-start");
    const ProgramRun next = run({u"--next"_s});
    EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
    const ProgramRun again = run({u"--next"_s});
    EXPECT_EQ(again.exitCode, kExitRefused);
    EXPECT_TRUE(again.err.contains(u"Next is disabled"_s)) << again.err.toStdString();
    // The song fades out over 5 s and the next song starts.
    EXPECT_TRUE(
        waitFor([&] { return readWholeFile(trace()).count(" song-start") > startsBefore; }, 60000))
        << readWholeFile(trace()).toStdString();

    // Pause and Stop as the buttons; Stop twice is refused.
    ASSERT_TRUE(waitForAsking(
        [&] { return status().value(u"buttons"_s).toObject().value(u"pause"_s).toBool(); }, 20000));
    EXPECT_EQ(run({u"--pause"_s}).exitCode, 0);
    EXPECT_EQ(status().value(u"state"_s).toString(), u"paused"_s);
    EXPECT_EQ(run({u"--stop"_s}).exitCode, 0);
    EXPECT_EQ(status().value(u"state"_s).toString(), u"stopped"_s);
    EXPECT_EQ(run({u"--stop"_s}).exitCode, kExitRefused);
    EXPECT_EQ(run({u"--play"_s}).exitCode, 0);
    EXPECT_EQ(status().value(u"state"_s).toString(), u"playing"_s);
}

TEST_F(ControlCommand, GarbageFloodsAndSilentClientsGetAnErrorAndThePlayGoesOn) {
    startStation();
    EXPECT_EQ(exchange("rewind\n"), QByteArray("error\nunknown request\n"));
    EXPECT_EQ(exchange(QByteArray("\x00\xff\x01 garbage\n", 13)),
              QByteArray("error\nunknown request\n"));
    EXPECT_TRUE(exchange(QByteArray(200000, 'x')).startsWith("error\nrequest too long\n"));
    // One request per connection: what follows the first line is not read.
    EXPECT_TRUE(exchange("status-json\nstop\n").startsWith("ok\n{"));
    // Connects and says nothing: answered and dropped after 2 s.
    QElapsedTimer since;
    since.start();
    EXPECT_EQ(exchange({}, 8000), QByteArray("error\nno request within 2 s\n"));
    EXPECT_GE(since.elapsed(), 1500);
    EXPECT_LT(since.elapsed(), 6000);

    // Many idle clients at once: they are dropped, and the station answers again after them.
    std::vector<std::unique_ptr<QLocalSocket>> idle;
    for (int i = 0; i < 40; ++i) {
        idle.push_back(std::make_unique<QLocalSocket>());
        idle.back()->connectToServer(socketPath());
        idle.back()->waitForConnected(2000);
    }
    ASSERT_TRUE(waitFor(
        [&] {
            for (auto& s : idle) {
                s->waitForReadyRead(0);
                s->readAll();
                if (s->state() == QLocalSocket::ConnectedState)
                    return false;
            }
            return true;
        },
        10000));
    idle.clear();
    const QJsonObject s = status();
    EXPECT_EQ(s.value(u"state"_s).toString(), u"playing"_s) << "the station plays on";
    EXPECT_EQ(station->state(), QProcess::Running);
}

} // namespace
