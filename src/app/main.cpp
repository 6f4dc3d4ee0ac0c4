#include "app/CommandLine.h"
#include "app/ControlCommand.h"
#include "app/FormCorvalinRadio.h"
#include "app/Mpris.h"
#include "app/StationApplication.h"
#include "app/StationWiring.h"
#include "audio/Analysis.h"
#include "audio/LoudnessScanner.h"
#include "audio/SoundBackends.h"
#include "audio/SoundDevice.h"
#include "feeds/NewsDefinitions.h"
#include "platform/Clock.h"
#include "platform/MemoryRelease.h"
#include "platform/SystemClockSetter.h"
#include "remote/RemoteServer.h"
#include "station/AsRunLog.h"
#include "station/HeadlessView.h"
#include "station/ImportFolder.h"
#include "station/ServiceWatchdog.h"
#include "station/SingleInstance.h"
#include "station/StationControl.h"
#include "station/StationController.h"
#include "station/StationFolder.h"
#include "station/StationTrace.h"
#include "station/TimeSlot.h"
#include "voice/speech/EspeakSpeechEngine.h"
#include "voice/speech/SoundBufferSpeechOutput.h"
#include "voice/speech/SpeechLoudness.h"
#include "voice/speech/VoiceCatalogue.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

using namespace corvalin;

namespace {

void print(std::FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

void printError(const QString& line) {
    print(stderr, QStringLiteral("corvalinradio: ") + line + QLatin1Char('\n'));
}

QString environmentText(const char* name) {
    return qEnvironmentVariable(name);
}

// The sound output: CORVALIN_AUDIO, else the device chosen in the settings ([Sound] Device),
// else the default device.
QString soundOutputSpec(const SettingsStore& store) {
    const QString chosen = environmentText("CORVALIN_AUDIO");
    if (!chosen.isEmpty())
        return chosen;
    const QString device =
        store.read(store.readSameSettings())
            .readString(QStringLiteral("Sound"), QStringLiteral("Device"), QString())
            .trimmed();
    return device.isEmpty() ? QString() : QStringLiteral("portaudio:") + device;
}

int importSongs(const CommandLine& line, const SettingsPaths& paths) {
    SystemClock clock;
    StandardRandom random;
    const QTime now = clock.now().time();
    const int slot = line.slot.isEmpty() ? slotOfHour(now.hour()) : slotFromName(line.slot);
    if (slot == 0) {
        printError(QStringLiteral("no time slot named %1 (Morning, Afternoon, Evening or Midnight)")
                       .arg(line.slot));
        return kExitUsage;
    }
    const ImportResult result = importFolder(
        SettingsStore(paths), QDir(line.importFolder).absolutePath(), slot, now, random);
    if (!result.ok) {
        printError(result.error);
        return 1;
    }
    // What was written and what was left out, and why, in one line.
    const QString skipped = result.skippedText();
    print(stdout, (result.songs == 1 ? QStringLiteral("%1 song written to %2%3\n")
                                     : QStringLiteral("%1 songs written to %2%3\n"))
                      .arg(result.songs)
                      .arg(result.listPath,
                           skipped.isEmpty() ? QString() : QStringLiteral("; ") + skipped));
    // A running station reads the list again by itself; say when the new songs are heard.
    SingleInstance instance(SingleInstance::serverNameFor(QStringLiteral("Corvalin Radio")));
    if (instance.otherInstanceRunning()) {
        if (slot == slotOfHour(clock.now().time().hour()))
            printError(QStringLiteral("the running station plays from this list from the next "
                                      "song it chooses"));
        else
            printError(QStringLiteral("the running station plays from this list when the %1 "
                                      "slot begins")
                           .arg(slotDisplayName(slot)));
    }
    return 0;
}

// Publishes the media controls; without a session bus they are off, said with --verbose.
void startMpris(MprisService& service, bool verbose) {
    QString why;
    if (!service.start(&why) && verbose)
        printError(QStringLiteral("media controls (MPRIS) off: ") + why);
}

// The remote web page when [Remote] Enabled is set: the token is made at the first enable; the
// log names the page's address, never the token.
std::unique_ptr<RemoteServer> startRemote(StationControl& control, const SettingsPaths& paths,
                                          const Clock& clock) {
    const SettingsStore store(paths);
    RemoteSettings settings = readRemoteSettings(store);
    if (!settings.Enabled)
        return nullptr;
    if (FileResult made = ensureRemoteToken(store, settings); !made)
        printError(QStringLiteral("no token for the remote page could be stored: ") + made.error);
    RemoteServer::Options options;
    options.asRunFolder = AsRunLog::folderIn(paths.programFolder);
    options.today = [&clock] { return clock.now().date(); };
    options.token = [paths] { return readRemoteSettings(SettingsStore(paths)).Token; };
    auto server = std::make_unique<RemoteServer>(control, std::move(options));
    QString why;
    if (!server->start(settings, &why)) {
        printError(why);
        return nullptr;
    }
    printError(QStringLiteral("remote page: ") + remotePageUrl(settings));
    return server;
}

} // namespace

int main(int argc, char** argv) {
    const CommandLine line = parseCommandLine(argc, argv);
    if (!line.error.isEmpty()) {
        printError(line.error + QStringLiteral(" (see corvalinradio --help)"));
        return kExitUsage;
    }
    if (line.help) {
        print(stdout, usageText());
        return 0;
    }
    if (line.version) {
        print(stdout, versionLine());
        return 0;
    }
    if (!line.control.isEmpty())
        return runControlCommand(argc, argv, line);
    setSoundLibraryMessages(line.verbose);
    if (line.listVoices) {
        // espeak-ng's voices and Flite's, with the voice files of the station folder's "Voices".
        const QString station = line.stationDir.isEmpty() ? defaultStationFolder()
                                                          : QDir(line.stationDir).absolutePath();
        const SpeechCatalogue catalogue =
            LoadSpeechEngines(QString(), QDir::cleanPath(station + QStringLiteral("/Voices")));
        if (!catalogue.SetupError.isEmpty())
            printError(catalogue.SetupError.simplified());
        for (const QString& voice : catalogue.SpeechEngineList)
            print(stdout, voice + QLatin1Char('\n'));
        return catalogue.SpeechEngineList.isEmpty() ? 1 : 0;
    }
    if (line.listDevices) {
        QString error;
        const QStringList devices = listSoundDevices(&error);
        if (!error.isEmpty()) {
            printError(QStringLiteral("no sound devices: ") + error);
            return 1;
        }
        print(stdout, devices.isEmpty() ? QStringLiteral("No sound output devices found.\n")
                                        : devices.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        return 0;
    }
    // Qt would abort without a display; say so in one line instead.
    if (needsWindow(line) && !windowSystemAvailable(environmentText)) {
        print(stderr, noDisplayLine());
        return kExitNoDisplay;
    }
    const bool windowless = line.headless || !line.importFolder.isEmpty();
    if (windowless)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The console repaints small regions twenty times a second. Over X11 shared memory each
    // repaint comes back as a completion event that wakes two of our threads; sending the pixels
    // down the socket costs the station and the X server less. The user's own setting wins.
    else if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");

    StationApplication app(argc, argv);
    // A station runs for days: what it has freed goes back to the system once a minute.
    QTimer memoryRelease;
    QObject::connect(&memoryRelease, &QTimer::timeout, &releaseFreedMemory);
    memoryRelease.start(60000);
    const QString title = QStringLiteral("Corvalin Radio");
    // No display name: X11 would append it to every caption ("... - Setup Error — Corvalin Radio").
    QApplication::setApplicationName(title);

    const QString programDir = QCoreApplication::applicationDirPath();
    const QString dataFolder = findDataFolder(programDir);
    QString programFolder =
        line.stationDir.isEmpty() ? defaultStationFolder() : QDir(line.stationDir).absolutePath();
    if (!programFolder.endsWith(QLatin1Char('/')))
        programFolder += QLatin1Char('/');
    if (dataFolder.isEmpty()) {
        printError(
            QStringLiteral("the station's data files are not installed (looked in %1)")
                .arg(QDir::cleanPath(programDir + QStringLiteral("/../share/") + kDataFolderName)));
    } else if (const StationLayout layout = layOutStationFolder(dataFolder, programFolder);
               !layout.result) {
        printError(layout.result.error);
        // A station folder without its files cannot start; the reason above is the whole story.
        if (!QFileInfo::exists(programFolder + QStringLiteral("CVRSystem.dat")))
            return 1;
    }
    SettingsPaths paths = SettingsPaths::forCurrentUser(programFolder);
    paths.sharedFolder = sharedSettingsFolder(programDir, programFolder);

    if (!line.importFolder.isEmpty())
        return importSongs(line, paths);

    SingleInstance instance(SingleInstance::serverNameFor(title));
    if (instance.AlreadyRunning(!line.headless)) {
        // Nothing else happens here: say so, and let a script tell it from a start.
        printError(line.headless ? QStringLiteral("a station is already running for this user")
                                 : QStringLiteral("a station is already running for this user; "
                                                  "its window was brought to the front"));
        return kExitHandedOver;
    }

    if (!line.zipCode.isEmpty()) {
        const SettingsStore store(paths);
        StationSettings zip;
        zip.SameSettings = store.readSameSettings();
        zip.ZipCode = line.zipCode;
        zip.News.WeatherURL = builtInDefinitionsInForce(zip.ZipCode).WeatherURL;
        if (FileResult written = store.writeZipCode(zip); !written)
            printError(QStringLiteral("the zip code was not stored: ") + written.error);
    }

    SystemClock clock;
    StandardRandom random;
    RealSystemClockSetter clockSetter;
    std::shared_ptr<SoundDevice> device =
        SoundDevice::create(soundOutputSpec(SettingsStore(paths)));
    trace::audioStarted();

    StationEnvironment env;
    env.paths = paths;
    env.clock = &clock;
    env.random = &random;
    env.clockSetter = &clockSetter;
    env.device = device;
    env.stream = std::make_shared<StreamOutput>();
    env.asRunLog = std::make_shared<AsRunLog>(AsRunLog::folderIn(paths.programFolder));
    // Even loudness: songs measured in the background into the per-user cache, the DJ's voices
    // measured once each.
    env.loudness = std::make_shared<LoudnessScanner>(LoudnessScanner::Options{});
    env.loudness->setSettings(SettingsStore(paths).readLoudness());
    auto speechLoudness =
        std::make_shared<SpeechLoudness>(env.loudness, EspeakSpeechEngine::defaultWorkerProgram());
    env.makeSpeechEngine = [device, speechLoudness,
                            voiceFiles =
                                QDir::cleanPath(paths.programFolder + QStringLiteral("/Voices"))](
                               QString* setupError) -> std::unique_ptr<DJSpeechEngine> {
        SpeechCatalogue catalogue = LoadSpeechEngines(QString(), voiceFiles);
        *setupError = catalogue.SetupError;
        EspeakSpeechEngine::Options options;
        options.speechGainDb = [speechLoudness](const QByteArray& voiceId) {
            return speechLoudness->gainFor(voiceId);
        };
        return std::make_unique<EspeakSpeechEngine>(
            std::move(catalogue), std::make_unique<SoundBufferSpeechOutput>(device), options);
    };

    if (line.headless) {
        // The whole station without a window: a view that shows nothing, play starting as at a
        // normal start, ended by a termination signal as closing the window would end it.
        HeadlessView view;
        view.setQuiet(line.quiet);
        StationController station(std::move(env), view, view);
        // The alarm clocks press Play and Stop as the window's do.
        view.setClock(&clock);
        view.setCommandHandler([&station](StationCommand command) { station.command(command); });
        // --status, --play ... from another process, through the single-instance socket.
        StationControl control(station, view);
        instance.setRequestHandler(
            [&control](const QByteArray& request) { return control.answer(request); });
        const std::unique_ptr<RemoteServer> remote = startRemote(control, paths, clock);
        device->setStatusHandler([](const SoundOutputStatus& status) {
            printError(status.fallback ? QStringLiteral("no sound output (%1)").arg(status.reason)
                                       : QStringLiteral("sound output: %1").arg(status.backend));
        });
        app.onError = [&station](const QString& message) {
            station.ApplicationEvents1Exception(message);
        };
        bool mainLoopRunning = false;
        bool closed = false;
        const auto endStation = [&] {
            station.requestTermination();
            if (!mainLoopRunning || closed)
                return;
            closed = true;
            station.FormClose();
            QTimer::singleShot(station.decksSounding() ? kStopFadeMs + 100 : 0, &station,
                               &QCoreApplication::quit);
        };
        handleTerminationSignals(&station, endStation);
        // The desktop's media controls; Quit ends the station as SIGTERM does.
        MprisService mprisService(control, {endStation, {}});
        startMpris(mprisService, line.verbose);
        // Under systemd: ready once play can start, then pinged while the station is alive.
        const std::unique_ptr<ServiceWatchdog> watchdog = startServiceWatchdog(station, device);
        station.FormCreate();
        if (station.terminated()) {
            device->setStatusHandler({});
            return 1;
        }
        if (station.terminationRequested()) {
            station.FormClose();
            device->setStatusHandler({});
            return 0;
        }
        QTimer::singleShot(0, &station, &StationController::FormActivate);
        mainLoopRunning = true;
        const int result = QApplication::exec();
        device->setStatusHandler({});
        return result;
    }

    TfrmCorvalinRadio frmCorvalinRadio(dataFolder.isEmpty() ? programFolder : dataFolder);
    frmCorvalinRadio.setClock(&clock);
    frmCorvalinRadio.setLevelColourFunction(LevelColour);
    frmCorvalinRadio.showSoundOutput(device->outputStatus());
    device->setStatusHandler([window = &frmCorvalinRadio](const SoundOutputStatus& status) {
        window->showSoundOutput(status);
    });
    StationController station(std::move(env), frmCorvalinRadio, frmCorvalinRadio);

    connectStation(frmCorvalinRadio, station);
    StationControl control(station, frmCorvalinRadio);
    instance.setRequestHandler(
        [&control](const QByteArray& request) { return control.answer(request); });
    const std::unique_ptr<RemoteServer> remote = startRemote(control, paths, clock);
    // The program ends once the players have faded out after the window has closed.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&frmCorvalinRadio, &TfrmCorvalinRadio::closing, &station, [&] {
        QObject::disconnect(&instance, nullptr, &frmCorvalinRadio, nullptr);
        QTimer::singleShot(station.decksSounding() ? kStopFadeMs + 100 : 0, &station,
                           &QCoreApplication::quit);
    });
    QObject::connect(&instance, &SingleInstance::raiseRequested, &frmCorvalinRadio,
                     [&] { raiseForSecondStart(frmCorvalinRadio, station); });
    // The desktop's media controls; Quit closes the window as the operator would.
    MprisService mprisService(control, {[&frmCorvalinRadio] { frmCorvalinRadio.close(); },
                                        [&] { raiseForSecondStart(frmCorvalinRadio, station); }});
    startMpris(mprisService, line.verbose);
    const std::unique_ptr<ServiceWatchdog> watchdog = startServiceWatchdog(station, device);
    app.onError = [&station](const QString& message) {
        station.ApplicationEvents1Exception(message);
    };
    bool mainLoopRunning = false;
    handleTerminationSignals(&frmCorvalinRadio, [&] {
        station.requestTermination();
        // A box open during start-up ends its own loop; start-up then stops, saves as a close
        // would, and the program ends below.
        closeModalWidgets();
        if (mainLoopRunning)
            frmCorvalinRadio.close();
    });

    int result = 0;
    station.FormCreate();
    if (station.terminated()) {
        result = 1;
    } else if (station.terminationRequested()) {
        station.FormClose();
    } else {
        frmCorvalinRadio.show();
        mainLoopRunning = true;
        result = QApplication::exec();
    }
    device->setStatusHandler({});
    return result;
}
