// The desktop's media controls (MPRIS 2): the properties the station's state maps to, and a real
// headless station on a private session bus driven by playerctl.
#include "ProgramProcess.h"
#include "TestSupport.h"
#include "app/CommandLine.h"
#include "app/Mpris.h"

#include <QDBusObjectPath>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>

using namespace corvalin;
using namespace corvalin::test;
using namespace Qt::StringLiterals;

namespace {

StationStatus playingSong() {
    StationStatus s;
    s.state = u"playing"_s;
    s.onAir = ControlSong{u"The Beatles"_s, u"Help"_s, u"/music/a b.mp3"_s, 12000, 180000};
    s.deck = 1;
    s.station = u"KCVR"_s;
    s.dj = u"Manfred Moonlight"_s;
    s.canPause = true;
    s.canNext = true;
    s.canStop = true;
    s.mainVolume = 65535;
    return s;
}

QString trackPath(const QVariantMap& metadata) {
    return metadata.value(u"mpris:trackid"_s).value<QDBusObjectPath>().path();
}

TEST(MprisProperties, FollowTheSongTheTalkAndTheButtons) {
    const StationStatus song = playingSong();
    QVariantMap p = mpris::playerProperties(song, 7);
    EXPECT_EQ(p.value(u"PlaybackStatus"_s).toString(), u"Playing"_s);
    QVariantMap m = p.value(u"Metadata"_s).toMap();
    EXPECT_EQ(trackPath(m), u"/org/corvalinradio/item/7"_s);
    EXPECT_EQ(m.value(u"xesam:title"_s).toString(), u"Help"_s);
    EXPECT_EQ(m.value(u"xesam:artist"_s).toStringList(), QStringList{u"The Beatles"_s});
    EXPECT_EQ(m.value(u"mpris:length"_s).toLongLong(), 180000000);
    EXPECT_EQ(m.value(u"xesam:url"_s).toString(), u"file:///music/a%20b.mp3"_s);
    EXPECT_EQ(mpris::positionUs(song), 12000000);
    // Play while playing does nothing, yet a track is there to play.
    EXPECT_TRUE(p.value(u"CanPlay"_s).toBool());
    EXPECT_TRUE(p.value(u"CanPause"_s).toBool());
    EXPECT_TRUE(p.value(u"CanGoNext"_s).toBool());
    for (const char* never : {"CanGoPrevious", "CanSeek"})
        EXPECT_FALSE(p.value(QString::fromLatin1(never)).toBool()) << never;
    EXPECT_DOUBLE_EQ(p.value(u"Volume"_s).toDouble(), 1.0);

    // A talk: the station and its DJ, no length, position 0.
    StationStatus talk = song;
    talk.talking = true;
    m = mpris::playerProperties(talk, 8).value(u"Metadata"_s).toMap();
    EXPECT_EQ(m.value(u"xesam:title"_s).toString(), u"KCVR"_s);
    EXPECT_EQ(m.value(u"xesam:artist"_s).toStringList(), QStringList{u"Manfred Moonlight"_s});
    EXPECT_FALSE(m.contains(u"mpris:length"_s));
    EXPECT_EQ(mpris::positionUs(talk), 0);
    EXPECT_NE(mpris::onAirItem(talk), mpris::onAirItem(song));

    // Paused with Play enabled and Pause, Next disabled; the slider at a third.
    StationStatus paused = song;
    paused.state = u"paused"_s;
    paused.canPlay = true;
    paused.canPause = false;
    paused.canNext = false;
    paused.mainVolume = 21845;
    p = mpris::playerProperties(paused, 7);
    EXPECT_EQ(p.value(u"PlaybackStatus"_s).toString(), u"Paused"_s);
    EXPECT_TRUE(p.value(u"CanPlay"_s).toBool());
    EXPECT_FALSE(p.value(u"CanPause"_s).toBool());
    EXPECT_FALSE(p.value(u"CanGoNext"_s).toBool());
    EXPECT_NEAR(p.value(u"Volume"_s).toDouble(), 1.0 / 3.0, 1e-9);

    // Stopped or idle with every button disabled (starting, voice test) and no song.
    for (const char* state : {"stopped", "idle"}) {
        StationStatus idle;
        idle.state = QString::fromLatin1(state);
        p = mpris::playerProperties(idle, 0);
        EXPECT_EQ(p.value(u"PlaybackStatus"_s).toString(), u"Stopped"_s) << state;
        EXPECT_FALSE(p.value(u"CanPlay"_s).toBool()) << state;
        m = p.value(u"Metadata"_s).toMap();
        EXPECT_EQ(trackPath(m), u"/org/mpris/MediaPlayer2/TrackList/NoTrack"_s) << state;
        EXPECT_EQ(m.size(), 1) << state;
        EXPECT_TRUE(mpris::onAirItem(idle).isEmpty());
    }
    // A song without artist or title is named by its file.
    StationStatus bare = song;
    bare.onAir->artist.clear();
    bare.onAir->title.clear();
    m = mpris::playerProperties(bare, 1).value(u"Metadata"_s).toMap();
    EXPECT_EQ(m.value(u"xesam:title"_s).toString(), u"a b"_s);
    EXPECT_FALSE(m.contains(u"xesam:artist"_s));
}

TEST(MprisProperties, OnlyWhatChangedIsTold) {
    const QVariantMap before = mpris::playerProperties(playingSong(), 1);
    EXPECT_TRUE(mpris::changedProperties(before, before).isEmpty());
    // The position moves all the time without a change to tell.
    StationStatus later = playingSong();
    later.onAir->elapsedMs = 99000;
    EXPECT_TRUE(mpris::changedProperties(before, mpris::playerProperties(later, 1)).isEmpty());

    StationStatus paused = playingSong();
    paused.state = u"paused"_s;
    paused.canPause = false;
    paused.canPlay = true;
    QVariantMap changed = mpris::changedProperties(before, mpris::playerProperties(paused, 1));
    EXPECT_EQ(changed.keys(), (QStringList{u"CanPause"_s, u"PlaybackStatus"_s}));

    StationStatus next = playingSong();
    next.onAir->title = u"Yesterday"_s;
    changed = mpris::changedProperties(before, mpris::playerProperties(next, 2));
    EXPECT_EQ(changed.keys(), QStringList{u"Metadata"_s});
    EXPECT_EQ(changed.value(u"Metadata"_s).toMap().value(u"xesam:title"_s), u"Yesterday"_s);
    // Everything is new to an empty map.
    EXPECT_EQ(mpris::changedProperties({}, before), before);
    EXPECT_TRUE(usageText().contains(u"MPRIS"_s));
}

// A headless station on the null output under a session bus of the test's own, its DJs quiet.
class MprisStation : public ::testing::Test {
protected:
    void SetUp() override {
        dbusDaemon = QStandardPaths::findExecutable(u"dbus-daemon"_s);
        playerctl = QStandardPaths::findExecutable(u"playerctl"_s);
        if (dbusDaemon.isEmpty() || playerctl.isEmpty())
            GTEST_SKIP() << "dbus-daemon or playerctl is not installed "
                            "(scripts/install-deps.sh installs them)";
        ASSERT_TRUE(layOutStationRoot(root.path(), kQuietStationIni));
        env = stationEnvironment(root.path());
        env.insert(u"CORVALIN_TRACE"_s, trace());
    }
    void TearDown() override {
        for (QProcess* p : {station.get(), monitor.get(), follow.get()})
            endStation(p);
        if (bus && bus->state() != QProcess::NotRunning) {
            bus->terminate();
            bus->waitForFinished(5000);
        }
    }

    QString trace() const { return root.file(u"trace.txt"_s); }
    int songStarts() const { return readWholeFile(trace()).count(" song-start"); }

    void startBus() {
        bus = std::make_unique<QProcess>();
        bus->start(dbusDaemon, {u"--session"_s, u"--nofork"_s, u"--print-address"_s,
                                u"--address=unix:path="_s + root.file(u"bus"_s)});
        ASSERT_TRUE(bus->waitForStarted());
        ASSERT_TRUE(waitFor([&] { return bus->canReadLine(); }, 10000));
        const QString address = QString::fromUtf8(bus->readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty());
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, address);
    }

    void startStation(const QStringList& extra = {}) {
        station = std::make_unique<QProcess>();
        station->setProcessEnvironment(env);
        station->start(QStringLiteral(CORVALIN_PROGRAM), QStringList{u"--headless"_s} + extra);
        ASSERT_TRUE(station->waitForStarted());
        ASSERT_TRUE(waitFor([&] { return songStarts() > 0; }, 60000))
            << readWholeFile(trace()).toStdString();
    }

    // A long-running client on the bus, its output gathered as it comes.
    std::unique_ptr<QProcess> startClient(const QString& program, const QStringList& arguments) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->start(program, arguments);
        EXPECT_TRUE(p->waitForStarted());
        return p;
    }

    ProgramRun player(const QStringList& arguments) {
        return runProgram(playerctl, QStringList{u"--player=corvalinradio"_s} + arguments, env,
                          20000);
    }
    QString metadata(const QString& format) {
        return player({u"metadata"_s, u"--format"_s, format}).out.trimmed();
    }
    QJsonObject status() {
        const ProgramRun r =
            runProgram(QStringLiteral(CORVALIN_PROGRAM), {u"--status"_s, u"--json"_s}, env, 20000);
        return QJsonDocument::fromJson(r.out.toUtf8()).object();
    }
    bool buttonEnabled(const char* name) {
        return status().value(u"buttons"_s).toObject().value(QString::fromLatin1(name)).toBool();
    }
    QString playbackStatus() { return player({u"status"_s}).out.trimmed(); }

    TempFolder root;
    QProcessEnvironment env;
    QString dbusDaemon;
    QString playerctl;
    std::unique_ptr<QProcess> bus;
    std::unique_ptr<QProcess> station;
    std::unique_ptr<QProcess> monitor;
    std::unique_ptr<QProcess> follow;
};

TEST_F(MprisStation, PlayerctlSeesEachSongAndPressesTheButtonsOnlyWhileEnabled) {
    startBus();
    startStation();
    monitor = startClient(QStandardPaths::findExecutable(u"dbus-monitor"_s),
                          {u"--session"_s, u"type='signal',member='PropertiesChanged'"_s});
    follow = startClient(playerctl, {u"--player=corvalinradio"_s, u"--follow"_s, u"metadata"_s,
                                     u"--format"_s, u"{{xesam:title}}"_s});

    // The song on the air as the console names it.
    const QJsonObject onAir = status().value(u"onAir"_s).toObject();
    const QString first = onAir.value(u"title"_s).toString();
    ASSERT_FALSE(first.isEmpty());
    EXPECT_EQ(metadata(u"{{xesam:artist}}|{{xesam:title}}"_s),
              onAir.value(u"artist"_s).toString() + u'|' + first);
    EXPECT_EQ(metadata(u"{{mpris:length}}"_s).toLongLong(),
              qint64(onAir.value(u"length"_s).toDouble() * 1000.0 + 0.5) * 1000);
    EXPECT_TRUE(metadata(u"{{xesam:url}}"_s).startsWith(u"file:///"_s));
    EXPECT_EQ(playbackStatus(), u"Playing"_s);
    EXPECT_GT(player({u"position"_s}).out.trimmed().toDouble(), 0.0);

    // Next is disabled for 10 s after Play: neither playerctl nor a direct call skips.
    ASSERT_FALSE(buttonEnabled("next"));
    EXPECT_NE(player({u"next"_s}).exitCode, 0);
    runProgram(QStandardPaths::findExecutable(u"dbus-send"_s),
               {u"--session"_s, u"--print-reply"_s, u"--dest="_s + mpris::kServiceName,
                mpris::kObjectPath, mpris::kPlayerInterface + u".Next"_s},
               env);
    EXPECT_EQ(songStarts(), 1);
    EXPECT_EQ(status().value(u"onAir"_s).toObject().value(u"title"_s).toString(), first);

    // When the button comes back, CanGoNext is told, and next skips as the button does.
    ASSERT_TRUE(waitForAsking([&] { return buttonEnabled("next"); }, 20000));
    const QRegularExpression canGoNext(u"\"CanGoNext\"\\s+variant\\s+boolean true"_s);
    QString told;
    EXPECT_TRUE(waitFor(
        [&] {
            told += QString::fromUtf8(monitor->readAllStandardOutput());
            return canGoNext.match(told).hasMatch();
        },
        5000))
        << told.toStdString();
    follow->readAllStandardOutput();
    EXPECT_EQ(player({u"next"_s}).exitCode, 0);
    // The fade, then the next song (the DJs are quiet): its title is told within 1 s of its start.
    QElapsedTimer clock;
    clock.start();
    qint64 startedAt = -1;
    qint64 toldAt = -1;
    QString titles;
    const int before = songStarts();
    ASSERT_TRUE(waitFor(
        [&] {
            if (startedAt < 0 && songStarts() > before)
                startedAt = clock.elapsed();
            titles += QString::fromUtf8(follow->readAllStandardOutput());
            if (startedAt >= 0 && toldAt < 0 && !titles.trimmed().isEmpty() &&
                titles.trimmed().split(u'\n').last() != first &&
                titles.trimmed().split(u'\n').last() == metadata(u"{{xesam:title}}"_s))
                toldAt = clock.elapsed();
            return startedAt >= 0 && toldAt >= 0;
        },
        60000))
        << titles.toStdString();
    EXPECT_LT(toldAt - startedAt, 1000) << "metadata " << toldAt - startedAt << " ms after start";
    std::fprintf(stderr, "metadata seen %lld ms after the song-start line was\n",
                 static_cast<long long>(toldAt - startedAt));

    // Pause and play as the buttons; a second pause is refused while Pause is disabled.
    ASSERT_TRUE(waitForAsking([&] { return buttonEnabled("pause"); }, 20000));
    EXPECT_EQ(player({u"pause"_s}).exitCode, 0);
    EXPECT_TRUE(waitForAsking([&] { return playbackStatus() == u"Paused"_s; }, 3000, 50));
    EXPECT_EQ(status().value(u"state"_s).toString(), u"paused"_s);
    EXPECT_NE(player({u"pause"_s}).exitCode, 0);
    EXPECT_EQ(player({u"play"_s}).exitCode, 0);
    EXPECT_TRUE(waitForAsking([&] { return playbackStatus() == u"Playing"_s; }, 3000, 50));
    // Play while playing changes nothing.
    EXPECT_EQ(player({u"play"_s}).exitCode, 0);
    EXPECT_EQ(status().value(u"state"_s).toString(), u"playing"_s);

    // The Main Volume slider.
    EXPECT_EQ(player({u"volume"_s, u"0.5"_s}).exitCode, 0);
    EXPECT_NEAR(status().value(u"mainVolume"_s).toInt(), 32768, 2);

    // Quit ends the station as closing the window does.
    EXPECT_EQ(player({u"stop"_s}).exitCode, 0);
    EXPECT_TRUE(waitForAsking([&] { return playbackStatus() == u"Stopped"_s; }, 3000, 50));
    runProgram(QStandardPaths::findExecutable(u"dbus-send"_s),
               {u"--session"_s, u"--print-reply"_s, u"--dest="_s + mpris::kServiceName,
                mpris::kObjectPath, mpris::kRootInterface + u".Quit"_s},
               env);
    EXPECT_TRUE(station->waitForFinished(20000));
    EXPECT_EQ(station->exitCode(), 0);
}

TEST_F(MprisStation, WithoutASessionBusItIsOffAndSaysSoWithVerbose) {
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path="_s + root.file(u"no-bus"_s));
    startStation({u"--verbose"_s});
    station->setReadChannel(QProcess::StandardError);
    EXPECT_EQ(status().value(u"state"_s).toString(), u"playing"_s);
    ::kill(static_cast<pid_t>(station->processId()), SIGTERM);
    ASSERT_TRUE(station->waitForFinished(30000));
    const QString err = QString::fromLocal8Bit(station->readAllStandardError());
    EXPECT_EQ(err.count(u"media controls (MPRIS) off: no session bus"_s), 1) << err.toStdString();
}

} // namespace
