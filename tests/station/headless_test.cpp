// --headless: the whole station without a window on a machine without a display, recorded with
// the wav: output and heard; and the view that stands in for the window.
#include "InProcessStation.h"
#include "PlayoutFakes.h"
#include "ProgramProcess.h"
#include "TestSupport.h"
#include "audio/SoundDevice.h"
#include "platform/ServiceNotifier.h"
#include "platform/SystemClockSetter.h"
#include "station/HeadlessView.h"
#include "station/ServiceWatchdog.h"
#include "station/SettingsStore.h"
#include "station/StationController.h"
#include "voice/speech/FakeSpeechEngine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace corvalin;
using namespace corvalin::test;
using namespace Qt::StringLiterals;

namespace {

TEST(HeadlessView, KeepsWhatTheLogicSetsAndLogsBoxesInOneLine) {
    QStringList lines;
    HeadlessView view([&lines](const QString& line) { lines << line; });
    view.setButtonEnabled(TransportButton::Play, true);
    EXPECT_TRUE(view.isButtonEnabled(TransportButton::Play));
    EXPECT_FALSE(view.isButtonEnabled(TransportButton::Next));
    view.setTransportDown(TransportButton::Play);
    EXPECT_TRUE(view.isButtonDown(TransportButton::Play));
    EXPECT_FALSE(view.isButtonDown(TransportButton::Stop));
    view.setTransportDown(TransportButton::Next); // never shown down
    EXPECT_TRUE(view.isButtonDown(TransportButton::Play));

    view.setVolumeRange(VolumeSlider::Player, -5000, 0, 100);
    view.setVolume(VolumeSlider::Player, -500);
    EXPECT_EQ(view.volume(VolumeSlider::Player), -500);
    view.setVolume(VolumeSlider::Player, 300);
    EXPECT_EQ(view.volume(VolumeSlider::Player), 0);
    view.setWindowPosition(40, 50);
    EXPECT_EQ(view.windowTop(), 40);
    EXPECT_EQ(view.windowLeft(), 50);

    view.showMessage(MessageKind::Warning, u"Warning"_s, u"No voices.\rPlay still works."_s);
    view.showTimerBox(u"Cannot play\rthe song."_s, u"Corvalin Radio"_s, 5000);
    EXPECT_EQ(lines, (QStringList{u"Warning: No voices. Play still works."_s,
                                  u"Corvalin Radio: Cannot play the song."_s}));

    // Nobody answers the zip code prompt: no zip code is made up, and the log says how to give
    // one.
    StationSettings settings;
    settings.ZipCode = u"00000"_s;
    view.askZipCode(settings);
    EXPECT_EQ(settings.ZipCode, u"00000"_s);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[2].contains(u"--zip"_s)) << lines[2].toStdString();

    // The journal: everything by default; with --quiet, only what is not a song or a talk.
    view.journal(JournalLine::StartUp, u"summary"_s);
    view.journal(JournalLine::OnAir, u"on air: A - B (3:00)"_s);
    view.setQuiet(true);
    view.journal(JournalLine::StartUp, u"summary again"_s);
    view.journal(JournalLine::OnAir, u"on air: C - D (3:00)"_s);
    EXPECT_EQ(lines.mid(3),
              (QStringList{u"summary"_s, u"on air: A - B (3:00)"_s, u"summary again"_s}));
    // The DJ's reminder after a sample song names what a headless operator does.
    EXPECT_TRUE(view.listSetUpReminder().contains(u"import folder"_s));
    EXPECT_FALSE(view.listSetUpReminder().contains(u"Radio Manager"_s));
}

// The window's alarm clocks, without faces: Play at the auto start time, Stop at the auto stop
// time only while auto stop is on, and once for a time the clock was set forward over.
TEST(HeadlessView, AlarmClocksAskForPlayAndStop) {
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(6, 59, 59)));
    HeadlessView view([](const QString&) {});
    view.setClock(&clock);
    std::vector<StationCommand> asked;
    view.setCommandHandler([&](StationCommand c) { asked.push_back(c); });
    view.setAutoClock(AlarmClock::AutoStart, true, QTime(7, 0));
    view.setAutoClock(AlarmClock::AutoStop, true, QTime(7, 0));
    view.refreshClocks();
    clock.advanceMs(1000);
    view.refreshClocks();
    EXPECT_EQ(asked, std::vector<StationCommand>{StationCommand::Play}) << "the stop clock is off";

    asked.clear();
    view.setAutoStopClockRunning(true);
    view.setAutoClock(AlarmClock::AutoStop, true, QTime(8, 0));
    view.refreshClocks();
    clock.set(QDateTime(QDate(2026, 12, 10), QTime(8, 20)));
    view.refreshClocks();
    view.refreshClocks();
    EXPECT_EQ(asked, std::vector<StationCommand>{StationCommand::Stop});
}

// The whole station without a window on the fake clock: its alarms press Play and Stop.
class HeadlessStation : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"CVRSystem.dat", "Phrases.dat", "NewsDef.ini"})
            ASSERT_TRUE(QFile::copy(sourceDir() + "/data/" + name, program.file(name)));
        const QString song = program.file(u"Alder - One.mp3"_s);
        ASSERT_TRUE(runTool(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-y"_s, u"-f"_s, u"lavfi"_s,
                                          u"-i"_s, u"sine=frequency=440:duration=20"_s, u"-c:a"_s,
                                          u"libmp3lame"_s, song}));
        writeWholeFile(program.file(u"slot.lst"_s), "F" + song.toUtf8() + "\r\n");
        StationSettings s = defaultSettings(program.path(), QTime(9, 0));
        s.StartPlay = false;
        for (int slot = 1; slot <= kSlotCount; ++slot) {
            _rDJ& dj = s.DJSlots[static_cast<std::size_t>(slot)];
            dj.PlayList = program.file(u"slot.lst"_s);
            dj.SpeechEngine = u"Fake Voice"_s;
            dj.FrequencyType = ftNever;
        }
        s.DJSlots[kNewsSlot].FrequencyType = ftNever;
        s.ReadNews = false;
        s.ReadWeather = false;
        s.ZipCode = u"54321"_s;
        s.AutoStart = true;
        s.AutoStartTime = QTime(9, 1);
        s.AutoStop = true;
        s.AutoStopTime = QTime(9, 3);
        const SettingsStore store(SettingsPaths{program.path(), config.path()});
        ASSERT_TRUE(store.writeManagerOK(s));
        ASSERT_TRUE(store.writeZipCode(s));
    }

    // Up to the end of start-up, wired as the program wires it.
    void start() {
        StationEnvironment env =
            fakeStationEnvironment(SettingsPaths{program.path(), config.path()}, clock, random,
                                   clockSetter, {u"Fake Voice"_s}, speech);
        env.makeTimer = [](std::function<void()> f) {
            return std::make_unique<FastTimer>(std::move(f));
        };
        station = std::make_unique<StationController>(std::move(env), view, view);
        view.setClock(&clock);
        view.setCommandHandler([this](StationCommand c) { station->command(c); });
        ASSERT_TRUE(finishStartUp(*station, speech));
    }
    void TearDown() override {
        if (station)
            station->FormClose();
    }
    int transport() const { return station->state().TransportState; }

    TempFolder program;
    TempFolder config;
    FakeClock clock{QDateTime(QDate(2026, 12, 10), QTime(9, 0))};
    StandardRandom random{7};
    FakeSystemClockSetter clockSetter;
    HeadlessView view{[](const QString&) {}};
    FakeSpeechEngine* speech = nullptr;
    std::unique_ptr<StationController> station;
};

TEST_F(HeadlessStation, AutoStartPlaysAndAClockSetPastAutoStopStops) {
    start();
    EXPECT_FALSE(waitFor([&] { return transport() == tsPlaying; }, 600)) << "not before 9:01";
    clock.set(QDateTime(QDate(2026, 12, 10), QTime(9, 1)));
    ASSERT_TRUE(waitFor([&] { return transport() == tsPlaying; }));
    EXPECT_TRUE(view.isButtonDown(TransportButton::Play));
    // The clock is set forward over the stop minute: the stop is not lost for the day.
    clock.set(QDateTime(QDate(2026, 12, 10), QTime(9, 5, 30)));
    ASSERT_TRUE(waitFor([&] { return transport() == tsStopped; }));
    EXPECT_TRUE(view.isButtonDown(TransportButton::Stop));
}

TEST_F(HeadlessStation, StartedAfterTheAutoStartTimeDoesNotPlay) {
    clock.set(QDateTime(QDate(2026, 12, 10), QTime(9, 2)));
    start();
    EXPECT_FALSE(waitFor([&] { return transport() == tsPlaying; }, 800));
}

// The RMS amplitude sox measures over a whole file.
double rmsAmplitude(const QString& wav) {
    QProcess sox;
    sox.start(u"sox"_s, {wav, u"-n"_s, u"stat"_s});
    if (!sox.waitForFinished(60000))
        return -1;
    const QString text = QString::fromUtf8(sox.readAllStandardError());
    const QRegularExpressionMatch m =
        QRegularExpression(u"RMS\\s+amplitude:\\s+([0-9.]+)"_s).match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

TEST(Headless, RunsWithoutADisplayIsHeardAndEndsOnTermination) {
    TempFolder root;
    const QString ini = root.file(u"config/CorvalinRadio/CorvalinRadio.ini"_s);
    // No zip code stored: --zip gives it. No news (no network in tests).
    ASSERT_TRUE(layOutStationRoot(root.path(),
                                  "[DJ5]\r\nReadNews=0\r\nReadWeather=0\r\nFrequencyType=3\r\n"));
    const QString wav = root.file(u"station.wav"_s);
    const QString trace = root.file(u"trace.txt"_s);

    QProcess p;
    QProcessEnvironment env = stationEnvironment(root.path(), u"wav:"_s + wav);
    env.insert(u"CORVALIN_TRACE"_s, trace);
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    p.start(QStringLiteral(CORVALIN_PROGRAM), {u"--headless"_s, u"--zip"_s, u"10001"_s});
    ASSERT_TRUE(p.waitForStarted());

    ASSERT_TRUE(waitFor([&] { return readWholeFile(trace).contains(" song-start"); }, 60000))
        << readWholeFile(trace).toStdString() << p.readAllStandardError().toStdString();
    // A few seconds of the song in the recording.
    const qint64 atStart = QFileInfo(wav).size();
    ASSERT_TRUE(waitFor([&] { return QFileInfo(wav).size() > atStart + 4 * 44100 * 4; }, 30000));
    EXPECT_TRUE(readWholeFile(ini).contains("Restart=1"));

    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(30000)) << "still running after SIGTERM";
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    // No prompt was needed: the zip code came from the command line.
    EXPECT_FALSE(err.contains(u"zip code"_s)) << err.toStdString();
    const QByteArray saved = readWholeFile(ini);
    EXPECT_TRUE(saved.contains("ZipCode=10001")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("Restart=0")) << saved.toStdString();
    // The first activation ran once, without a window.
    EXPECT_EQ(readWholeFile(trace).count(" window-shown"), 1);

    const double rms = rmsAmplitude(wav);
    EXPECT_GT(rms, 0.01) << "the recording is silent";
}

// The journal of a headless station: one summary at start, a line per song and per talk, the
// DJ's reminder after a sample song naming what a headless operator does; without a zip code a
// warning at every start and none stored. --quiet keeps the songs and talks out.
TEST(Headless, TellsTheJournalWhatGoesOnTheAir) {
    TempFolder root;
    for (const char* folder : {"home", "config/CorvalinRadio", "data", "run", "station/Lists"})
        ASSERT_TRUE(QDir().mkpath(root.file(QString::fromLatin1(folder))));
    QFile::setPermissions(root.file(u"run"_s),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // Short songs (one tone under three names), a sample song first; the station folder is laid
    // out around these lists.
    const QString names[] = {u"Corvalin Radio Sample - Test Tone.mp3"_s, u"Alder - One.mp3"_s,
                             u"Birch - Two.mp3"_s};
    ASSERT_TRUE(runTool(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-y"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                                      u"sine=frequency=440:duration=3"_s, u"-c:a"_s,
                                      u"libmp3lame"_s, root.file(names[0])}));
    QByteArray list;
    for (const QString& name : names) {
        ASSERT_TRUE(name == names[0] || QFile::copy(root.file(names[0]), root.file(name)));
        list += "F" + root.file(name).toUtf8() + "\r\n";
    }
    // A brief talk: one short phrase in each of the DJs' lists and short pauses between its parts.
    // The words looked for below are the reminder's, which the program says itself.
    QByteArray phrases;
    for (int slot = 1; slot <= 4; ++slot)
        for (const char* kind : {"a", "b", "c"})
            phrases += "[" + QByteArray::number(slot) + kind + "]\r\n1=Yes.\r\n";
    writeWholeFile(root.file(u"station/Phrases.dat"_s), phrases);
    QByteArray vocabulary = readWholeFile(sourceDir() + u"/data/CVRSystem.dat"_s);
    ASSERT_TRUE(vocabulary.contains("LongPause=\\Pau=500\\"));
    writeWholeFile(root.file(u"station/CVRSystem.dat"_s),
                   vocabulary.replace("LongPause=\\Pau=500\\", "LongPause=\\Pau=50\\"));
    for (const char* slot : {"Morning", "Afternoon", "Evening", "Midnight"})
        writeWholeFile(root.file(u"station/Lists/%1.lst"_s.arg(QLatin1String(slot))), list);
    const QString ini = root.file(u"config/CorvalinRadio/CorvalinRadio.ini"_s);
    // No zip code at all; the DJ talks after every song; no news (no network in tests).
    QByteArray settings = "[DJ5]\r\nReadNews=0\r\nReadWeather=1\r\nFrequencyType=3\r\n";
    for (int slot = 1; slot <= 4; ++slot)
        settings += u"[DJ%1]\r\nFrequencyType=1\r\nFrequencySongs=1\r\n"_s.arg(slot).toUtf8();
    writeWholeFile(ini, settings);
    const QString trace = root.file(u"trace.txt"_s);

    const auto start = [&](const QStringList& more) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = stationEnvironment(root.path());
        env.insert(u"CORVALIN_TRACE"_s, trace);
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(CORVALIN_PROGRAM),
                 QStringList{u"--headless"_s, u"--station-dir"_s, root.file(u"station"_s)} + more);
        return p;
    };
    const auto stop = [](QProcess& p, QByteArray& err) {
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        EXPECT_TRUE(p.waitForFinished(30000));
        err += p.readAllStandardError();
    };

    auto p = start({});
    ASSERT_TRUE(p->waitForStarted());
    QByteArray err;
    // The talk after the sample song has ended, and a song after it is on the air.
    const bool heard = waitFor(
        [&] {
            err += p->readAllStandardError();
            return err.count("on air: ") >= 2 && err.contains("talk: ") &&
                   readWholeFile(trace).count(" song-start") >= 2;
        },
        60000);
    stop(*p, err);
    ASSERT_TRUE(heard) << err.toStdString();
    const QString text = QString::fromLocal8Bit(err);
    const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
    // The summary: version, station folder, slot and DJ, list and song count, sound, stream.
    const QStringList summary = lines.filter(u"; station folder "_s);
    ASSERT_EQ(summary.size(), 1) << text.toStdString();
    for (const QString& part : {u"station folder "_s + root.file(u"station/"_s), u" slot, DJ "_s,
                                u".lst (3 songs)"_s, u"sound output null"_s, u"stream off"_s})
        EXPECT_TRUE(summary[0].contains(part))
            << part.toStdString() << " in " << summary[0].toStdString();
    EXPECT_TRUE(text.contains(u"on air: Corvalin Radio Sample - Test Tone (0:03)"_s))
        << text.toStdString();
    EXPECT_TRUE(text.contains(u"on air: Alder - One (0:03)"_s)) << text.toStdString();
    EXPECT_TRUE(text.contains(u"no zip code set"_s)) << text.toStdString();
    EXPECT_FALSE(readWholeFile(ini).contains("ZipCode=")) << "a zip code nobody gave is stored";
    // The talk as heard (the as-run log keeps its words): no Radio Manager to click here.
    QByteArray asRun;
    for (const QString& day : QDir(root.file(u"station/Logs"_s)).entryList({u"*.csv"_s}))
        asRun += readWholeFile(root.file(u"station/Logs/"_s + day));
    EXPECT_TRUE(asRun.contains("import folder")) << asRun.toStdString();
    EXPECT_FALSE(asRun.contains("Radio Manager")) << asRun.toStdString();

    // Quiet: the start-up lines, no song lines; still no zip code, so the warning again.
    QFile::remove(trace);
    p = start({u"--quiet"_s});
    ASSERT_TRUE(p->waitForStarted());
    err.clear();
    // The song's line would be written as its start is traced.
    const bool played = waitFor(
        [&] {
            err += p->readAllStandardError();
            return readWholeFile(trace).contains(" song-start");
        },
        60000);
    stop(*p, err);
    ASSERT_TRUE(played) << err.toStdString();
    EXPECT_TRUE(err.contains("no zip code set")) << err.toStdString();
    EXPECT_TRUE(err.contains("; station folder ")) << err.toStdString();
    EXPECT_FALSE(err.contains("on air: ")) << err.toStdString();
    EXPECT_FALSE(err.contains("talk: ")) << err.toStdString();
    EXPECT_FALSE(readWholeFile(ini).contains("ZipCode="));
}

// The device named in the settings is the one opened when CORVALIN_AUDIO names none; one that is
// not there gives the silent fallback with the reason.
TEST(Headless, OpensTheSoundDeviceNamedInTheSettings) {
    TempFolder root;
    ASSERT_TRUE(layOutStationRoot(root.path(),
                                  kStationIni + "[Sound]\r\nDevice=Corvalin Card Nowhere\r\n"));
    QProcess p;
    QProcessEnvironment env = stationEnvironment(root.path());
    env.remove(u"CORVALIN_AUDIO"_s);
    const QString trace = root.file(u"trace.txt"_s);
    env.insert(u"CORVALIN_TRACE"_s, trace);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(CORVALIN_PROGRAM), {u"--headless"_s});
    ASSERT_TRUE(p.waitForStarted());
    QByteArray err;
    const bool said = waitFor(
        [&] {
            err += p.readAllStandardError();
            return err.contains("no sound output") &&
                   readWholeFile(trace).contains(" window-shown");
        },
        30000);
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(30000));
    err += p.readAllStandardError();
    ASSERT_TRUE(said) << err.toStdString();
    EXPECT_TRUE(err.contains("no sound device named \"Corvalin Card Nowhere\""))
        << err.toStdString();
    EXPECT_EQ(p.exitCode(), 0);
}

// The watchdog's rule: the window thread's loop ran within 5 s and, while a deck plays, the
// audio callback within 2 s.
TEST(WatchdogPolicy, PingsOnlyWhileTheLoopAndThePlayingAudioRun) {
    struct Case {
        const char* what;
        WatchdogSample sample;
        bool ping;
    };
    const Case cases[] = {
        {"idle, loop fresh, no audio ever", {100000, 99000, false, 0}, true},
        {"idle, loop at the limit", {100000, 95000, false, 0}, true},
        {"idle, loop stalled", {100000, 94999, false, 0}, false},
        {"playing, audio fresh", {100000, 99000, true, 99500}, true},
        {"playing, audio at the limit", {100000, 99000, true, 98000}, true},
        {"playing, audio stalled", {100000, 99000, true, 97999}, false},
        {"playing, audio never ran", {100000, 99000, true, 0}, false},
        {"playing, audio fresh, loop stalled", {100000, 90000, true, 99900}, false},
        {"idle, audio stalled does not matter", {100000, 99000, false, 10}, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(watchdogMayPing(c.sample), c.ping) << c.what;
}

// A notifier that keeps what it was told.
class RecordingNotifier final : public ServiceNotifier {
public:
    RecordingNotifier(QList<QByteArray>* sent, std::int64_t intervalMs)
        : sent_(sent), intervalMs_(intervalMs) {}
    bool notify(const QByteArray& state) override {
        *sent_ << state;
        return true;
    }
    std::int64_t watchdogIntervalMs() const override { return intervalMs_; }

private:
    QList<QByteArray>* sent_;
    std::int64_t intervalMs_;
};

TEST(ServiceWatchdog, ReadyOnceThenPingsWhileAliveAndSaysWhenItStops) {
    QList<QByteArray> sent;
    QStringList log;
    bool ready = false;
    bool playing = false;
    std::int64_t now = 1000000;
    std::int64_t mix = 0;
    ServiceWatchdog::Probes probes;
    probes.ready = [&] { return ready; };
    probes.deckPlaying = [&] { return playing; };
    probes.lastMixMs = [&] { return mix; };
    probes.nowMs = [&] { return now; };
    probes.log = [&](const QString& line) { log << line; };
    ServiceWatchdog dog(std::make_unique<RecordingNotifier>(&sent, 30000), probes);
    EXPECT_EQ(dog.tickIntervalMs(), 1000);

    now += 1000;
    dog.tick();
    EXPECT_EQ(sent, (QList<QByteArray>{"WATCHDOG=1"})) << "alive before ready, not yet ready";
    ready = true;
    now += 1000;
    dog.tick();
    dog.tick();
    EXPECT_EQ(sent, (QList<QByteArray>{"WATCHDOG=1", "READY=1", "WATCHDOG=1", "WATCHDOG=1"}));
    // A deck plays and the audio callback stops: no more pings, said once; back when it runs.
    sent.clear();
    playing = true;
    mix = now;
    now += 2500;
    dog.tick();
    dog.tick();
    EXPECT_TRUE(sent.isEmpty());
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].contains(u"sound output"_s)) << log[0].toStdString();
    mix = now;
    dog.tick();
    EXPECT_EQ(sent, (QList<QByteArray>{"WATCHDOG=1"}));
    EXPECT_EQ(log.size(), 2);
    // The window thread's loop did not come round for 6 s: that tick sends nothing.
    sent.clear();
    now += 6000;
    mix = now;
    dog.tick();
    EXPECT_TRUE(sent.isEmpty());
    EXPECT_TRUE(log.last().contains(u"window thread"_s)) << log.last().toStdString();
    now += 1000;
    mix = now;
    dog.tick();
    EXPECT_EQ(sent, (QList<QByteArray>{"WATCHDOG=1"}));
    EXPECT_EQ(sent.count("READY=1"), 0) << "ready is said once";
}

// The service manager's side of the protocol: a datagram socket named by NOTIFY_SOCKET.
class NotifySocket {
public:
    explicit NotifySocket(const QString& path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(),
                    std::min<std::size_t>(name.size(), sizeof address.sun_path - 1));
        ok_ = fd_ >= 0 &&
              ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~NotifySocket() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool ok() const { return ok_; }
    // The messages that arrived since the last call.
    QList<QByteArray> read() {
        QList<QByteArray> got;
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0;)
            got << QByteArray(buffer, static_cast<int>(n)).trimmed();
        return got;
    }

private:
    int fd_ = -1;
    bool ok_ = false;
};

// A station whose window thread hangs stops the pings; killed as the service manager kills it,
// it starts again and plays by itself.
TEST(Headless, AHungStationStopsThePingsAndItsRestartPlays) {
    TempFolder root;
    const QString ini = root.file(u"config/CorvalinRadio/CorvalinRadio.ini"_s);
    // Play does not start by itself unless the last run did not end properly.
    ASSERT_TRUE(layOutStationRoot(root.path(), "[Screen]\r\nStartPlay=0\r\n" + kStationIni));
    NotifySocket manager(root.file(u"notify"_s));
    ASSERT_TRUE(manager.ok());
    const QString trace = root.file(u"trace.txt"_s);
    const auto start = [&](QProcess& p, bool freeze) {
        QProcessEnvironment env = stationEnvironment(root.path());
        env.insert(u"CORVALIN_TRACE"_s, trace);
        env.insert(u"NOTIFY_SOCKET"_s, root.file(u"notify"_s));
        env.insert(u"WATCHDOG_USEC"_s, u"3000000"_s);
        if (freeze)
            env.insert(u"CORVALIN_TEST_FREEZE_AFTER_MS"_s, u"4000"_s);
        p.setProcessEnvironment(env);
        p.setChildProcessModifier([] {
            const rlimit none = {0, 0}; // the abort below leaves no core file
            ::setrlimit(RLIMIT_CORE, &none);
        });
        p.start(QStringLiteral(CORVALIN_PROGRAM), {u"--headless"_s});
        return p.waitForStarted();
    };

    // Ready, pinging; started once by hand and playing.
    QProcess first;
    ASSERT_TRUE(start(first, true));
    QList<QByteArray> told;
    ASSERT_TRUE(waitFor(
        [&] {
            told += manager.read();
            return told.contains("READY=1") && told.count("WATCHDOG=1") >= 2;
        },
        60000))
        << told.join(' ').toStdString();
    EXPECT_FALSE(readWholeFile(trace).contains(" song-start")) << "StartPlay is off";
    // The window thread freezes 4 s after ready: the pings stop for good.
    QElapsedTimer quiet;
    quiet.start();
    const bool stopped = waitFor(
        [&] {
            if (manager.read().contains("WATCHDOG=1"))
                quiet.restart();
            return quiet.elapsed() > 4000;
        },
        30000);
    ASSERT_TRUE(stopped) << "the pings went on";
    EXPECT_EQ(first.state(), QProcess::Running) << "it hangs; it did not end";
    // What systemd does when the watchdog interval passes without a ping.
    ::kill(static_cast<pid_t>(first.processId()), SIGABRT);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitStatus(), QProcess::CrashExit);
    EXPECT_TRUE(readWholeFile(ini).contains("Restart=1"));

    // Restarted: ready again, and it plays by itself.
    QFile::remove(trace);
    manager.read();
    QProcess second;
    ASSERT_TRUE(start(second, false));
    told.clear();
    const bool plays = waitFor(
        [&] {
            told += manager.read();
            return told.contains("READY=1") && readWholeFile(trace).contains(" song-start");
        },
        60000);
    told.clear();
    const bool pinging = waitFor(
        [&] {
            told += manager.read();
            return told.count("WATCHDOG=1") >= 3;
        },
        15000);
    ::kill(static_cast<pid_t>(second.processId()), SIGTERM);
    EXPECT_TRUE(second.waitForFinished(30000));
    EXPECT_TRUE(plays) << readWholeFile(trace).toStdString()
                       << second.readAllStandardError().toStdString();
    EXPECT_TRUE(pinging) << "a playing station is alive";
    EXPECT_EQ(second.exitCode(), 0);
}

} // namespace
