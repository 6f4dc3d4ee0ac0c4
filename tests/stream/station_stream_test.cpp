// The running station streams to a real icecast2: the stream follows the [Stream] settings and
// its title follows the air (songs as the DJ names them, the station's name while the DJ talks).
#include "../station/InProcessStation.h"
#include "../station/PlayoutFakes.h"
#include "IcecastServer.h"
#include "StreamFixtures.h"
#include "TestSupport.h"
#include "audio/SoundDevice.h"
#include "core/IniFile.h"
#include "library/SongNames.h"
#include "platform/Clock.h"
#include "platform/SystemClockSetter.h"
#include "station/StationControl.h"
#include "station/StationController.h"
#include "voice/speech/FakeSpeechEngine.h"
#include "voice/speech/SpeechMarkup.h"
#include "voice/speech/TTSBufNotifySink.h"

#include <QFile>
#include <algorithm>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

const QString kVoice = QStringLiteral("Fake Voice");
const QString kStationMount = QStringLiteral("/z99");

class NoShell final : public StationShell {
public:
    void setWindowPosition(int, int) override {}
    int windowTop() const override { return 0; }
    int windowLeft() const override { return 0; }
    void askZipCode(StationSettings&) override {}
    void terminate() override {}
    void beep() override {}
};

class StationStream : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        for (const char* name : {"CVRSystem.dat", "Phrases.dat", "NewsDef.ini"})
            ASSERT_TRUE(QFile::copy(sourceDir() + "/data/" + name, program.file(name)));
        QByteArray lst;
        for (const QString& name :
             {QStringLiteral("Alder - One.mp3"), QStringLiteral("The Birch - Two^.mp3")}) {
            ASSERT_TRUE(
                runTool(QStringLiteral("ffmpeg"),
                        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                         QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                         QStringLiteral("sine=frequency=440:sample_rate=44100:duration=3"),
                         QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-c:a"),
                         QStringLiteral("libmp3lame"), songs.file(name)}));
            lst += "F" + songs.file(name).toUtf8() + "\r\n";
        }
        writeWholeFile(program.file(QStringLiteral("slot.lst")), lst);

        StationSettings s = defaultSettings(program.path(), QTime(9, 0));
        s.StartPlay = false;
        s.ArtistSource = asFileName;
        s.StationIdentification = QStringLiteral("Radio Test");
        for (int slot = 1; slot <= kSlotCount; ++slot) {
            _rDJ& dj = s.DJSlots[static_cast<std::size_t>(slot)];
            dj.PlayList = program.file(QStringLiteral("slot.lst"));
            dj.SpeechEngine = kVoice;
            dj.FrequencyType = ftSongs;
            dj.FrequencySongs = 1;
        }
        s.DJSlots[kNewsSlot].FrequencyType = ftNever;
        s.ReadNews = false;
        s.ReadWeather = false;
        s.ZipCode = QStringLiteral("54321");
        s.Streams[0] = settingsFor(server, kStreamFormatMp3, 64, kStationMount);
        SettingsStore store(SettingsPaths{program.path(), config.path()});
        ASSERT_TRUE(store.writeManagerOK(s));
        ASSERT_TRUE(store.writeZipCode(s));
    }

    void start() {
        StationEnvironment env =
            fakeStationEnvironment(SettingsPaths{program.path(), config.path()}, clock, random,
                                   clockSetter, {kVoice}, speech);
        env.stream = std::make_shared<StreamOutput>();
        env.log = [this](const QString& line) { logged << line; };
        station = std::make_unique<StationController>(std::move(env), view, shell);
        QObject::connect(station.get(), &StationController::streamStatusChanged,
                         [this](const StreamStatus& s) {
                             shown.push_back(s.state);
                             lastShown = s;
                         });
        ASSERT_TRUE(finishStartUp(*station, speech));
    }

    IcecastServer server;
    TempFolder program;
    TempFolder config;
    TempFolder songs;
    FakeClock clock{QDateTime(QDate(2026, 12, 10), QTime(9, 0))};
    StandardRandom random{7};
    FakeSystemClockSetter clockSetter;
    FakeView view;
    NoShell shell;
    FakeSpeechEngine* speech = nullptr;
    std::unique_ptr<StationController> station;
    std::vector<StreamState> shown;
    StreamStatus lastShown; // as the window's lamp got it
    QStringList logged;     // the operator's log
    // Whether a line of the log starts with `start`.
    bool logHas(const QString& start) const {
        return std::any_of(logged.begin(), logged.end(),
                           [&](const QString& line) { return line.startsWith(start); });
    }
};

TEST_F(StationStream, TitlesFollowTheSongsAndTheTalk) {
    start();
    ASSERT_TRUE(
        waitFor([&] { return station->streamStatus().state == StreamState::Connected; }, 10000))
        << streamStatusText(station->streamStatus()).toStdString();
    ASSERT_TRUE(waitFor([&] { return !shown.empty() && shown.back() == StreamState::Connected; }));
    // Before play the stream names the station, under its name.
    EXPECT_TRUE(
        waitFor([&] { return server.title(kStationMount) == QLatin1String("Radio Test"); }, 8000))
        << server.title(kStationMount).toStdString();
    EXPECT_EQ(server.source(kStationMount).value(QStringLiteral("server_name")).toString(),
              QStringLiteral("Radio Test"));

    station->command(StationCommand::Play);
    EXPECT_TRUE(
        waitFor([&] { return server.title(kStationMount) == QLatin1String("Alder - One"); }, 8000))
        << server.title(kStationMount).toStdString();
    // The DJ talks after each song: the station's name while the DJ has the air.
    ASSERT_TRUE(waitFor([&] { return speech->requests().size() >= 2; }, 15000));
    speech->start();
    EXPECT_TRUE(
        waitFor([&] { return server.title(kStationMount) == QLatin1String("Radio Test"); }, 8000))
        << server.title(kStationMount).toStdString();
    speech->reachBookmark(kIntroMark);
    // "Birch" carries the artist's "The" in its name, "Two^" the title's mark.
    EXPECT_TRUE(waitFor(
        [&] { return server.title(kStationMount) == QLatin1String("The Birch - The Two"); }, 15000))
        << server.title(kStationMount).toStdString();
    speech->finish();

    // The server goes away: the log says so, why, and when the next try comes.
    server.stop();
    EXPECT_TRUE(waitFor([&] { return logHas(QStringLiteral("stream lost: ")); }, 15000))
        << logged.join(QLatin1Char('\n')).toStdString();

    // Turned off from the settings: the mount goes away.
    station->settings().Streams[0].Enabled = false;
    station->managerClosed();
    EXPECT_TRUE(waitFor([&] { return server.source(kStationMount).isEmpty(); }, 8000));
    EXPECT_TRUE(waitFor([&] { return station->streamStatus().state == StreamState::Off; }));
    EXPECT_TRUE(waitFor([&] { return logHas(QStringLiteral("stream off")); }));
    station->FormClose();

    // One line per change: connected, lost with its reason and the wait, off; never the password.
    const QString place = QStringLiteral("127.0.0.1:%1%2").arg(server.port()).arg(kStationMount);
    EXPECT_EQ(logged.first(), QStringLiteral("stream connected: %1, MP3 64 kbit/s").arg(place));
    const auto lost = std::find_if(logged.begin(), logged.end(), [](const QString& line) {
        return line.startsWith(QStringLiteral("stream lost: "));
    });
    ASSERT_NE(lost, logged.end());
    EXPECT_TRUE(lost->contains(place) && lost->contains(QStringLiteral("; trying again in 1 s")))
        << lost->toStdString();
    for (const QString& line : logged)
        EXPECT_FALSE(line.contains(IcecastServer::kSourcePassword)) << line.toStdString();
}

TEST_F(StationStream, APasswordLeftInTheSharedFileIsMovedAtStartAndUsed) {
    // The settings for all users as an older version wrote them: the password in the shared
    // file, which every user may read, and no credentials file.
    const SettingsPaths paths{program.path(), config.path()};
    SettingsStore store(paths);
    StationSettings s = defaultSettings(program.path(), QTime(9, 0));
    s.SameSettings = false;
    store.readIni(s, QTime(9, 0));
    ASSERT_EQ(s.Streams[0].Password, IcecastServer::kSourcePassword);
    s.SameSettings = true;
    ASSERT_TRUE(store.writeManagerOK(s));
    ASSERT_TRUE(store.writeZipCode(s));
    ASSERT_TRUE(QFile::remove(paths.credentialsFile(true)));
    ASSERT_TRUE(QFile::remove(paths.credentialsFile(false)));
    ASSERT_TRUE(store.update(true, [](IniFile& ini) {
        ini.writeString(kStreamSection, QStringLiteral("Password"), IcecastServer::kSourcePassword);
    }));
    ASSERT_TRUE(QFile::setPermissions(paths.sharedFile(),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ReadGroup | QFileDevice::ReadOther));

    start();
    ASSERT_TRUE(
        waitFor([&] { return station->streamStatus().state == StreamState::Connected; }, 10000))
        << streamStatusText(station->streamStatus()).toStdString();
    station->FormClose();

    EXPECT_FALSE(readWholeFile(paths.sharedFile()).contains("Password"));
    EXPECT_EQ(modeOf(paths.sharedFile()), 0644u);
    EXPECT_EQ(modeOf(paths.credentialsFile(true)), 0600u);
    EXPECT_TRUE(logHas(QStringLiteral("the stream password was moved out of \"%1\" into \"%2\"")
                           .arg(paths.sharedFile(), paths.credentialsFile(true))))
        << logged.join(QLatin1Char('\n')).toStdString();
    for (const QString& line : logged)
        EXPECT_FALSE(line.contains(IcecastServer::kSourcePassword)) << line.toStdString();
}

TEST_F(StationStream, WithTwoOutputsTheLampShowsTheWorstAndEachOutputItsLine) {
    IcecastServer other;
    ASSERT_TRUE(other.start());
    const QString low = QStringLiteral("/z99-low");
    {
        SettingsStore store(SettingsPaths{program.path(), config.path()});
        StationSettings s = defaultSettings(program.path(), QTime(9, 0));
        store.readIni(s, QTime(9, 0));
        StreamSettings& second = s.Streams[1];
        second = s.Streams[0];
        second.Port = other.port();
        second.Mount = low;
        second.Format = kStreamFormatOpus;
        second.Bitrate = 32;
        second.Url = QStringLiteral("https://radio-test.example.org/");
        ASSERT_TRUE(store.writeManagerOK(s));
    }
    start();
    StationControl control(*station, view);
    auto remoteLamp = [&] {
        return statusToJson(control.status())
            .value(QStringLiteral("stream"))
            .toObject()
            .value(QStringLiteral("state"))
            .toString();
    };
    ASSERT_TRUE(waitFor(
        [&] {
            return station->streamStatus().state == StreamState::Connected &&
                   station->streamStatus().connections == 2;
        },
        15000))
        << streamStatusText(station->streamStatus()).toStdString();
    EXPECT_TRUE(waitFor([&] { return lastShown.state == StreamState::Connected; }));
    const QString high = QStringLiteral("127.0.0.1:%1%2").arg(server.port()).arg(kStationMount);
    const QString lowPlace = QStringLiteral("127.0.0.1:%1%2").arg(other.port()).arg(low);
    EXPECT_EQ(streamStatusText(lastShown),
              QStringLiteral("Stream connected: %1, MP3 64 kbit/s\nStream connected: %2, Opus 32 "
                             "kbit/s")
                  .arg(high, lowPlace));
    EXPECT_EQ(remoteLamp(), QStringLiteral("connected"));
    EXPECT_TRUE(waitFor([&] { return !other.source(low).isEmpty(); }, 5000));
    EXPECT_EQ(other.source(low).value(QStringLiteral("server_url")).toString(),
              QStringLiteral("https://radio-test.example.org/"));

    // One server goes: the lamp and the remote page show the failure, the hint says which.
    other.stop();
    EXPECT_TRUE(waitFor([&] { return lastShown.state == StreamState::Failed; }, 15000))
        << streamStatusText(lastShown).toStdString();
    EXPECT_EQ(remoteLamp(), QStringLiteral("failed"));
    ASSERT_EQ(lastShown.outputs.size(), 2);
    EXPECT_TRUE(lastShown.outputs[0].startsWith(QStringLiteral("Stream connected: ") + high));
    EXPECT_TRUE(lastShown.outputs[1].startsWith(QStringLiteral("Stream failed: ")) &&
                lastShown.outputs[1].contains(lowPlace))
        << lastShown.outputs[1].toStdString();
    EXPECT_TRUE(waitFor([&] { return logHas(QStringLiteral("stream lost: ")); }, 5000));
    EXPECT_EQ(station->streamStatus().connections, 2) << "the first output stayed connected";
    station->FormClose();

    // Each output's changes are told in the log, on a line of its own.
    EXPECT_TRUE(logged.contains(QStringLiteral("stream connected: %1, MP3 64 kbit/s").arg(high)));
    EXPECT_TRUE(
        logged.contains(QStringLiteral("stream connected: %1, Opus 32 kbit/s").arg(lowPlace)));
    for (const QString& line : logged) {
        if (line.startsWith(QStringLiteral("stream lost: "))) {
            EXPECT_TRUE(line.contains(lowPlace)) << line.toStdString();
        }
    }
}

} // namespace
