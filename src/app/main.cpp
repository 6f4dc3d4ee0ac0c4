#include "app/FormCorvalinRadio.h"
#include "app/StationApplication.h"
#include "app/StationWiring.h"
#include "audio/Analysis.h"
#include "audio/SoundDevice.h"
#include "platform/Clock.h"
#include "platform/SystemClockSetter.h"
#include "station/SingleInstance.h"
#include "station/StationController.h"
#include "station/StationTrace.h"
#include "voice/speech/EspeakSpeechEngine.h"
#include "voice/speech/SoundBufferSpeechOutput.h"
#include "voice/speech/VoiceCatalogue.h"

#include <QDir>
#include <QTimer>

using namespace corvalin;

int main(int argc, char** argv) {
    StationApplication app(argc, argv);
    const QString title = QStringLiteral("Corvalin Radio");
    // No display name: X11 would append it to every caption ("... - Setup Error — Corvalin Radio").
    QApplication::setApplicationName(title);

    SingleInstance instance(SingleInstance::serverNameFor(title));
    if (instance.AlreadyRunning(true))
        return 0;

    const QString programFolder = QDir(QCoreApplication::applicationDirPath()).absolutePath() + '/';
    SystemClock clock;
    StandardRandom random;
    RealSystemClockSetter clockSetter;
    std::shared_ptr<SoundDevice> device = SoundDevice::create();
    trace::audioStarted();

    StationEnvironment env;
    env.paths = SettingsPaths::forCurrentUser(programFolder);
    env.clock = &clock;
    env.random = &random;
    env.clockSetter = &clockSetter;
    env.device = device;
    env.makeSpeechEngine = [device](QString* setupError) -> std::unique_ptr<DJSpeechEngine> {
        SpeechCatalogue catalogue = LoadSpeechEngines();
        *setupError = catalogue.SetupError;
        return std::make_unique<EspeakSpeechEngine>(
            std::move(catalogue), std::make_unique<SoundBufferSpeechOutput>(device),
            EspeakSpeechEngine::Options{});
    };

    TfrmCorvalinRadio frmCorvalinRadio(programFolder);
    frmCorvalinRadio.setClock(&clock);
    frmCorvalinRadio.setLevelColourFunction(LevelColour);
    StationController station(std::move(env), frmCorvalinRadio, frmCorvalinRadio);

    connectStation(frmCorvalinRadio, station);
    // The program ends once the players have faded out after the window has closed.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&frmCorvalinRadio, &TfrmCorvalinRadio::closing, &station, [&] {
        QObject::disconnect(&instance, nullptr, &frmCorvalinRadio, nullptr);
        QTimer::singleShot(station.decksSounding() ? kStopFadeMs + 100 : 0, &station,
                           &QCoreApplication::quit);
    });
    QObject::connect(&instance, &SingleInstance::raiseRequested, &frmCorvalinRadio,
                     [&] { raiseForSecondStart(frmCorvalinRadio, station); });
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

    station.FormCreate();
    if (station.terminated())
        return 1;
    if (station.terminationRequested()) {
        station.FormClose();
        return 0;
    }
    frmCorvalinRadio.show();
    mainLoopRunning = true;
    return QApplication::exec();
}
