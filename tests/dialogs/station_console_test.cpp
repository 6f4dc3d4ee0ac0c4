// The main window run by the station as the program wires them, offscreen, on the null sound
// device with the fake speech engine and a copy of the laid-out station folder.
#include "TestSupport.h"
#include "app/DigitalClock.h"
#include "app/FormCorvalinRadio.h"
#include "app/ImageButton.h"
#include "app/Meters.h"
#include "app/ScrollingPanel.h"
#include "app/StationWiring.h"
#include "audio/Analysis.h"
#include "audio/SoundDevice.h"
#include "dialogs/FormManager.h"
#include "dialogs/ManagerWidgets.h"
#include "platform/Clock.h"
#include "platform/SystemClockSetter.h"
#include "station/StationController.h"
#include "voice/speech/FakeSpeechEngine.h"
#include "voice/speech/VoiceCatalogue.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QThread>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

TEST(StationConsole, StartsUpPlaysByItselfShowsTheDeckAndSavesAtClose) {
    TempFolder work;
    const QString program = work.file(QStringLiteral("station/"));
    ASSERT_TRUE(runTool(QStringLiteral("cp"),
                        {QStringLiteral("-r"), QStringLiteral(CORVALIN_STATION_DIR), program}));
    const QString config = work.file(QStringLiteral("config"));
    ASSERT_TRUE(QDir().mkpath(config + QStringLiteral("/CorvalinRadio")));
    const QString ini = config + QStringLiteral("/CorvalinRadio/CorvalinRadio.ini");
    writeWholeFile(ini, "[DJ5]\r\nZipCode=10001\r\nReadNews=0\r\nReadWeather=0\r\n"
                        "FrequencyType=3\r\n");

    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(14, 30))); // the afternoon slot
    StandardRandom random(3);
    FakeSystemClockSetter clockSetter;
    FakeSpeechEngine* speech = nullptr;
    StationEnvironment env;
    env.paths = SettingsPaths{program, config};
    env.clock = &clock;
    env.random = &random;
    env.clockSetter = &clockSetter;
    env.device = SoundDevice::create(QStringLiteral("null"));
    env.makeSpeechEngine = [&speech](QString*) {
        const auto& voices = defaultSlotVoices();
        auto engine = std::make_unique<FakeSpeechEngine>(QStringList(voices.begin(), voices.end()));
        speech = engine.get();
        return engine;
    };

    TfrmCorvalinRadio window(program);
    window.setClock(&clock);
    window.setLevelColourFunction(LevelColour);
    StationController station(std::move(env), window, window);
    connectStation(window, station);
    station.FormCreate();
    EXPECT_FALSE(window.lDJName->text().isEmpty());
    EXPECT_EQ(window.AutoStartClock->textColour(), QColor(0, 255, 0));
    EXPECT_TRUE(window.lVersion->text().startsWith(QStringLiteral("Corvalin Radio ver. ")));

    window.show(); // the first activation brings up the voice and runs the voice test
    ASSERT_TRUE(waitFor([&] { return speech != nullptr && !speech->requests().empty(); }));
    EXPECT_FALSE(window.bPlay->isEnabled());
    speech->start();
    speech->finish();

    // "Always start play" is on at first: play starts after the voice test.
    ASSERT_TRUE(waitFor([&] { return window.bPlay->isShownDown(); }));
    // The song starts once its file is open, which happens away from the window thread.
    ASSERT_TRUE(waitFor([&] { return !window.lTime1->text().trimmed().isEmpty(); }))
        << "the song's length is shown once it starts";
    EXPECT_TRUE(window.lTitle1->text().contains(QStringLiteral("Corvalin Radio Sample")));
    EXPECT_EQ(window.lTitle1->textColour(), QColor(0, 255, 0));
    EXPECT_TRUE(window.bStop->isEnabled());
    ASSERT_TRUE(waitFor([&] { return window.pbLeft1->value() > 0; }));

    // The Radio Manager from the window: the current (afternoon) slot's DJ name and list order
    // change and take effect at once, while the song on the air plays on.
    ASSERT_TRUE(window.bManager->isEnabled());
    bool managerSeen = false;
    QTimer::singleShot(200, [&] {
        auto* manager = qobject_cast<TfrmManager*>(QApplication::activeModalWidget());
        if (manager == nullptr)
            return;
        managerSeen = true;
        manager->djPage(2).eDJName->setText(QStringLiteral("Night Owl"));
        manager->djPage(2).rgListOrder->setItemIndex(loRandom);
        manager->bOK->click();
    });
    window.bManagerClick();
    ASSERT_TRUE(managerSeen);
    EXPECT_EQ(window.lDJName->text(), QStringLiteral("Night Owl"));
    EXPECT_EQ(station.settings().DJSlots[2].Name, QStringLiteral("Night Owl"));
    EXPECT_EQ(station.settings().DJSlots[2].ListOrder, loRandom);
    EXPECT_EQ(station.scheduler().CurrentSlot, 2); // re-applied at once
    EXPECT_TRUE(station.decksSounding());
    EXPECT_TRUE(window.bPlay->isShownDown());
    EXPECT_TRUE(readWholeFile(ini).contains("Name=Night Owl"));

    // Play Lists opens an empty editor; a double click on a title the read-only live list.
    const auto captionOfModal = [](std::function<void()> open) {
        QString caption;
        QTimer::singleShot(200, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                caption = modal->windowTitle();
                modal->close();
            }
        });
        open();
        return caption;
    };
    EXPECT_TRUE(
        captionOfModal([&] { window.bPlayListClick(); }).contains(QStringLiteral("New List")));
    const QString view = captionOfModal([&] { window.ViewList(); });
    EXPECT_TRUE(view.startsWith(QStringLiteral("Corvalin Radio View Play List - ")))
        << view.toStdString();
    EXPECT_TRUE(view.endsWith(QStringLiteral(" (read only)"))) << view.toStdString();
    EXPECT_TRUE(station.decksSounding());

    window.PlayerVolume->setValue(-2500);
    window.close();
    const QByteArray saved = readWholeFile(ini);
    EXPECT_TRUE(saved.contains("Player=-2500")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("Restart=0")) << saved.toStdString();
}

// A second start while the zip code prompt is open brings the prompt forward; the window stays
// hidden until its creation is done, so its first activation still runs the whole start-up.
TEST(StationConsole, ASecondStartDuringTheZipPromptRaisesThePrompt) {
    TempFolder work;
    const QString program = work.file(QStringLiteral("station/"));
    ASSERT_TRUE(runTool(QStringLiteral("cp"),
                        {QStringLiteral("-r"), QStringLiteral(CORVALIN_STATION_DIR), program}));
    const QString config = work.file(QStringLiteral("config"));
    ASSERT_TRUE(QDir().mkpath(config + QStringLiteral("/CorvalinRadio")));
    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(14, 30)));
    StandardRandom random(3);
    FakeSystemClockSetter clockSetter;
    StationEnvironment env;
    env.paths = SettingsPaths{program, config};
    env.clock = &clock;
    env.random = &random;
    env.clockSetter = &clockSetter;
    env.device = SoundDevice::create(QStringLiteral("null"));
    env.makeSpeechEngine = [](QString*) {
        const auto& voices = defaultSlotVoices();
        return std::make_unique<FakeSpeechEngine>(QStringList(voices.begin(), voices.end()));
    };
    TfrmCorvalinRadio window(program);
    window.setClock(&clock);
    StationController station(std::move(env), window, window);
    connectStation(window, station);

    QString prompt;
    bool windowShownDuringPrompt = true;
    QTimer::singleShot(300, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        prompt = modal != nullptr ? modal->objectName() : QStringLiteral("none");
        raiseForSecondStart(window, station);
        windowShownDuringPrompt = window.isVisible();
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->accept();
    });
    station.FormCreate(); // asks for the zip code: no code is stored
    EXPECT_EQ(prompt, QStringLiteral("frmZipCode"));
    EXPECT_FALSE(windowShownDuringPrompt);
    EXPECT_TRUE(station.created());
    raiseForSecondStart(window, station); // once created, the window itself comes forward
    EXPECT_TRUE(window.isVisible());
    window.close();
}

} // namespace
