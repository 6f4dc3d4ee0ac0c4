#include "TestSupport.h"
#include "app/BevelPanel.h"
#include "app/DigitalClock.h"
#include "app/FormCorvalinRadio.h"
#include "app/ImageButton.h"
#include "app/ScrollingPanel.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QSlider>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <gtest/gtest.h>
#include <vector>

using namespace corvalin;

namespace {

class StationWindow : public ::testing::Test {
protected:
    test::TempFolder folder;
    TfrmCorvalinRadio window{folder.path()};
    IStationView& view = window;

    template <class W = QWidget> W* control(const char* name) {
        return window.findChild<W*>(QString::fromLatin1(name));
    }
};

} // namespace

TEST_F(StationWindow, EveryControlIsThereWhereTheConsoleHasIt) {
    EXPECT_EQ(window.objectName(), QStringLiteral("frmCorvalinRadio"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Corvalin Radio"));
    EXPECT_EQ(window.minimumSize(), QSize(659, 501));
    EXPECT_EQ(window.maximumSize(), QSize(659, 501));
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);

    const struct {
        const char* name;
        const char* parent;
        QRect geometry; // an empty size means: position only
    } layout[] = {
        {"pForm", "frmCorvalinRadio", {0, 0, 659, 501}},
        {"pTop", "pForm", {1, 1, 657, 30}},
        {"lTitle", "pTop", {0, 0, 657, 30}},
        {"pDSPlayer1", "pForm", {9, 38, 284, 165}},
        {"pDSPlayer2", "pForm", {363, 38, 284, 165}},
        {"bPlay", "pForm", {299, 43, 60, 40}},
        {"bPause", "pForm", {299, 83, 60, 40}},
        {"bStop", "pForm", {299, 123, 60, 40}},
        {"bNext", "pForm", {299, 163, 60, 39}},
        {"pbDJ", "pForm", {8, 204, 640, 20}},
        {"iLogo", "pForm", {48, 232, 569, 82}},
        {"lVersion", "pForm", {72, 294, 0, 0}},
        {"pClock", "pForm", {9, 324, 347, 105}},
        {"lDJName", "pClock", {3, 10, 340, 16}},
        {"AutoStartClock", "pClock", {3, 25, 340, 60}},
        {"pVolume", "pForm", {363, 324, 284, 165}},
        {"PlayerVolume", "pVolume", {8, 22, 268, 32}},
        {"DJVolume", "pVolume", {8, 74, 268, 32}},
        {"WaveVolume", "pVolume", {8, 125, 268, 32}},
        {"bManager", "pForm", {11, 434, 66, 54}},
        {"bPlayList", "pForm", {80, 434, 66, 54}},
        {"bDJTest", "pForm", {150, 434, 66, 54}},
        {"bAbout", "pForm", {220, 434, 66, 54}},
        {"bHelp", "pForm", {290, 434, 66, 54}},
        {"lPlayer1", "pDSPlayer1", {104, 8, 0, 0}},
        {"pbLeft1", "pDSPlayer1", {9, 29, 23, 88}},
        {"pbRight1", "pDSPlayer1", {250, 29, 23, 88}},
        {"paintboxLeft1", "pDSPlayer1", {32, 29, 108, 88}},
        {"paintboxRight1", "pDSPlayer1", {140, 29, 110, 88}},
        {"lLeft1", "pDSPlayer1", {73, 100, 0, 0}},
        {"lRight1", "pDSPlayer1", {185, 100, 0, 0}},
        {"lTitle1", "pDSPlayer1", {3, 119, 279, 22}},
        {"pbPosition1", "pDSPlayer1", {3, 141, 278, 22}},
        {"lTime1", "pDSPlayer1", {4, 141, 62, 22}},
        {"lTime1a", "pDSPlayer1", {213, 141, 66, 22}},
        {"lPlayer2", "pDSPlayer2", {104, 8, 0, 0}},
        {"pbLeft2", "pDSPlayer2", {9, 29, 23, 88}},
        {"pbRight2", "pDSPlayer2", {250, 29, 23, 88}},
        {"paintboxLeft2", "pDSPlayer2", {32, 29, 108, 88}},
        {"paintboxRight2", "pDSPlayer2", {140, 29, 110, 88}},
        {"lTitle2", "pDSPlayer2", {3, 119, 279, 22}},
        {"pbPosition2", "pDSPlayer2", {3, 141, 278, 22}},
        {"lTime2", "pDSPlayer2", {4, 141, 62, 22}},
        {"lTime2a", "pDSPlayer2", {213, 141, 66, 22}},
    };
    for (const auto& c : layout) {
        QWidget* w = control(c.name);
        ASSERT_NE(w, nullptr) << c.name;
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(c.parent)) << c.name;
        if (c.geometry.isEmpty()) {
            EXPECT_EQ(w->pos(), c.geometry.topLeft()) << c.name;
        } else {
            EXPECT_EQ(w->geometry(), c.geometry) << c.name;
        }
    }
    // Members and names agree.
    EXPECT_EQ(control<ScrollingPanel>("lTitle2"), window.lTitle2);
    EXPECT_EQ(control<DigitalClock>("AutoStopClock"), window.AutoStopClock);
    EXPECT_TRUE(window.AutoStopClock->isHidden());
    EXPECT_FALSE(window.AutoStopClock->isEnabled()) << "runs only while auto stop is on";
}

TEST_F(StationWindow, CaptionsHintsAndSliderRanges) {
    const struct {
        ImageButton* button;
        const char* caption;
        const char* hint;
    } buttons[] = {
        {window.bPlay, "Play", ""},
        {window.bPause, "Pause", ""},
        {window.bStop, "Stop", ""},
        {window.bNext, "Next", ""},
        {window.bManager, "Radio\r\nManager\r\n",
         "Manage all the settings\nand standards for\nyour radio station"},
        {window.bPlayList, "Play\r\nLists\r\n",
         "Create and maintain\nall the play lists used\nby your DJ's"},
        {window.bDJTest, "Test DJ\r\nVoice",
         "Test the TTS voice\nyou selected for the\ncurrent time slot"},
        {window.bAbout, "About", "About Corvalin Radio\nClick here"},
        {window.bHelp, "Help", "Help for Corvalin Radio"},
    };
    for (const auto& b : buttons) {
        EXPECT_EQ(b.button->text(), QString::fromLatin1(b.caption));
        EXPECT_EQ(b.button->toolTip(), QString::fromLatin1(b.hint)) << b.caption;
        if (!b.button->toolTip().isEmpty()) {
            EXPECT_EQ(b.button->toolTipDuration(), 7000) << b.caption;
        }
        EXPECT_FALSE(b.button->glyph().isNull()) << b.caption;
    }
    EXPECT_EQ(window.lTitle1->toolTip(),
              QStringLiteral("Dbl-Click here to view current play list"));
    EXPECT_EQ(window.lLeft1->text(), QStringLiteral("Left"));
    EXPECT_EQ(window.lRight2->text(), QStringLiteral("Right"));
    EXPECT_EQ(window.lPlayer2->text(), QStringLiteral("Player 2"));
    EXPECT_EQ(window.lPlayerVolume->text(), QStringLiteral("Player Volume"));
    EXPECT_EQ(window.lDJVolume->text(), QStringLiteral("DJ Volume"));
    EXPECT_EQ(window.lWaveVolume->text(), QStringLiteral("Main Volume"));
    EXPECT_EQ(window.PlayerVolume->minimum(), -5000);
    EXPECT_EQ(window.PlayerVolume->maximum(), 0);
    EXPECT_EQ(window.PlayerVolume->pageStep(), 500);
    EXPECT_EQ(window.WaveVolume->maximum(), 65535);
    EXPECT_EQ(window.WaveVolume->pageStep(), 6500);
    EXPECT_FALSE(window.DJVolume->isEnabled()) << "until a voice is ready";
    EXPECT_FALSE(window.pbDJ->showBorder()) << "the DJ strip is black until the DJ speaks";
    EXPECT_FALSE(window.iLogo->pixmap().isNull());
}

TEST_F(StationWindow, ViewInterfaceDrivesTheDecks) {
    for (int player = 1; player <= 2; ++player) {
        ScrollingPanel* title = player == 1 ? window.lTitle1 : window.lTitle2;
        view.setTitleText(player, QStringLiteral("Morning Rain - The Larks"));
        view.setTitleColour(player, colours::lime);
        view.setTitleScrolling(player, true);
        EXPECT_EQ(title->text(), QStringLiteral("Morning Rain - The Larks"));
        EXPECT_EQ(title->textColour(), QColor(0, 255, 0));
        EXPECT_TRUE(title->isScrolling());
        view.setTitleScrolling(player, false);
        EXPECT_FALSE(title->isScrolling());

        view.setPositionPercent(player, 140);
        EXPECT_EQ((player == 1 ? window.pbPosition1 : window.pbPosition2)->value(), 100);
        view.setLengthText(player, QStringLiteral("3:05"));
        view.setRemainingText(player, QStringLiteral("1:10"));
        EXPECT_EQ((player == 1 ? window.lTime1 : window.lTime2)->text(), QStringLiteral("3:05"));
        EXPECT_EQ((player == 1 ? window.lTime1a : window.lTime2a)->text(), QStringLiteral("1:10"));
    }
    // Other player numbers change nothing.
    view.setTitleText(3, QStringLiteral("x"));
    view.setTitleText(0, QStringLiteral("x"));
    EXPECT_EQ(window.lTitle1->text(), QStringLiteral("Morning Rain - The Larks"));
    EXPECT_EQ(window.lTitle2->text(), QStringLiteral("Morning Rain - The Larks"));
}

TEST_F(StationWindow, MetersFollowTheReadingAndTheLevelColour) {
    std::vector<int> asked;
    window.setLevelColourFunction([&](int percent) {
        asked.push_back(percent);
        return 65000;
    });
    const std::vector<std::uint8_t> max(220, 200);
    const std::vector<std::uint8_t> min(220, 60);
    MeterReading stereo;
    stereo.channels = 2;
    stereo.columnCount = 110;
    stereo.maxValues = max;
    stereo.minValues = min;
    stereo.levels[0] = 0.5f;
    stereo.levels[1] = 1.0f;
    view.showMeters(2, stereo);
    EXPECT_EQ(window.pbLeft2->value(), 50);
    EXPECT_EQ(window.pbRight2->value(), 100);
    EXPECT_TRUE(window.paintboxLeft2->hasTrace());
    EXPECT_TRUE(window.paintboxRight2->hasTrace());
    EXPECT_EQ(window.paintboxLeft2->pen(), QColor(0xE8, 0xFD, 0x00));
    EXPECT_EQ(asked, (std::vector<int>{50, 100}));
    EXPECT_FALSE(window.paintboxLeft1->hasTrace()) << "the other deck is untouched";

    MeterReading mono = stereo;
    mono.channels = 1;
    mono.levels[1] = 0.9f; // not a channel of a mono file
    view.showMeters(2, mono);
    EXPECT_TRUE(window.paintboxLeft2->hasTrace());
    EXPECT_FALSE(window.paintboxRight2->hasTrace());
    EXPECT_EQ(window.pbRight2->value(), 0);

    view.clearMeters(2);
    EXPECT_FALSE(window.paintboxLeft2->hasTrace());
    EXPECT_EQ(window.pbLeft2->value(), 0);
}

TEST_F(StationWindow, ViewInterfaceDrivesButtonsStripSlotAndSliders) {
    view.setTransportDown(TransportButton::Pause);
    EXPECT_TRUE(view.isButtonDown(TransportButton::Pause));
    EXPECT_FALSE(view.isButtonDown(TransportButton::Play));
    view.setTransportDown(TransportButton::Stop);
    EXPECT_TRUE(window.bStop->isShownDown());
    EXPECT_FALSE(window.bPause->isShownDown());
    view.setTransportDown(TransportButton::Next); // never shown down; the group keeps its state
    EXPECT_FALSE(window.bNext->isShownDown());
    EXPECT_TRUE(window.bStop->isShownDown());

    view.setButtonEnabled(TransportButton::Next, false);
    view.setButtonEnabled(TransportButton::DJTest, false);
    EXPECT_FALSE(window.bNext->isEnabled());
    EXPECT_FALSE(view.isButtonEnabled(TransportButton::DJTest));
    EXPECT_TRUE(view.isButtonEnabled(TransportButton::Play));

    view.setSlotColour(colours::fuchsia);
    view.setDJName(QStringLiteral("Manfred Moonlight"));
    EXPECT_EQ(window.AutoStartClock->textColour(), QColor(255, 0, 255));
    EXPECT_EQ(window.lDJName->palette().color(QPalette::WindowText), QColor(255, 0, 255));
    EXPECT_EQ(window.pbDJ->borderColour(), QColor(255, 0, 255));
    EXPECT_EQ(window.lDJName->text(), QStringLiteral("Manfred Moonlight"));

    view.setDJProgressVisible(true);
    view.setDJProgress(30, 120);
    EXPECT_TRUE(window.pbDJ->showBorder());
    EXPECT_EQ(window.pbDJ->maximum(), 120);
    EXPECT_EQ(window.pbDJ->value(), 30);
    view.setDJProgressVisible(false);
    EXPECT_FALSE(window.pbDJ->showBorder());
    EXPECT_EQ(window.pbDJ->value(), 0);

    const QString outcome = QStringLiteral("Last fetch 2026-12-10 11:15: no headline: HTTP "
                                           "status 404; weather found.");
    view.showFetchOutcome(outcome);
    EXPECT_EQ(window.pClock->toolTip(), outcome);

    view.setStationTitle(QStringLiteral("WCVR 101.7"));
    view.setVersionText(QStringLiteral("Corvalin Radio ver. 0.1.0"));
    EXPECT_EQ(window.lTitle->text(), QStringLiteral("WCVR 101.7"));
    EXPECT_EQ(window.lVersion->text(), QStringLiteral("Corvalin Radio ver. 0.1.0"));

    view.setAutoClock(AlarmClock::AutoStart, true, QTime(6, 30, 15));
    EXPECT_TRUE(window.AutoStartClock->isAlarmEnabled());
    EXPECT_EQ(window.AutoStartClock->alarmTime(), QTime(6, 30, 15));
    view.setAutoStopClockRunning(true);
    view.setAutoClock(AlarmClock::AutoStop, true, QTime(23, 0));
    EXPECT_TRUE(window.AutoStopClock->isEnabled());
    EXPECT_EQ(window.AutoStopClock->alarmTime(), QTime(23, 0));

    view.setVolumeRange(VolumeSlider::DJ, 0, 100, 10);
    view.setVolume(VolumeSlider::DJ, 70);
    view.setVolumeEnabled(VolumeSlider::DJ, true);
    EXPECT_EQ(view.volume(VolumeSlider::DJ), 70);
    EXPECT_EQ(window.DJVolume->maximum(), 100);
    EXPECT_TRUE(window.DJVolume->isEnabled());
    view.setVolume(VolumeSlider::Player, -9000);
    EXPECT_EQ(window.PlayerVolume->value(), -5000) << "held to the slider's range";
}

TEST_F(StationWindow, ButtonsTitlePanelsAndAlarmsRequestCommands) {
    std::vector<StationCommand> requests;
    QObject::connect(&window, &TfrmCorvalinRadio::commandRequested,
                     [&](StationCommand command) { requests.push_back(command); });
    window.bPlay->click();
    window.bPause->click();
    window.bStop->click();
    window.bNext->click();
    window.bDJTest->click();
    for (ImageButton* dialog : {window.bManager, window.bPlayList, window.bAbout}) {
        EXPECT_TRUE(dialog->isEnabled());
        dialog->click();
    }
    Q_EMIT window.lTitle2->doubleClicked();

    FakeClock clock(QDateTime(QDate(2026, 12, 10), QTime(6, 59, 59)));
    window.setClock(&clock);
    view.setAutoClock(AlarmClock::AutoStart, true, QTime(7, 0));
    view.setAutoStopClockRunning(true);
    view.setAutoClock(AlarmClock::AutoStop, true, QTime(7, 0));
    clock.advanceMs(2000);
    window.AutoStartClock->refresh();
    window.AutoStopClock->refresh();

    const std::vector<StationCommand> expected = {
        StationCommand::Play,     StationCommand::Pause,  StationCommand::Stop,
        StationCommand::Next,     StationCommand::DJTest, StationCommand::Manager,
        StationCommand::PlayList, StationCommand::About,  StationCommand::ViewList,
        StationCommand::Play,     StationCommand::Stop};
    EXPECT_EQ(requests, expected);
}

TEST_F(StationWindow, OperatorsSliderMovesAreReportedButTheLogicsAreNot) {
    std::vector<std::pair<VolumeSlider, int>> changes;
    QObject::connect(&window, &TfrmCorvalinRadio::volumeChanged,
                     [&](VolumeSlider s, int v) { changes.emplace_back(s, v); });
    view.setVolume(VolumeSlider::Player, -2000); // the logic's own setting
    window.PlayerVolume->setValue(-1000);
    window.WaveVolume->setValue(40000);
    // A DJ volume drag is reported once, when let go.
    window.DJVolume->setEnabled(true);
    window.DJVolume->setSliderDown(true);
    window.DJVolume->setValue(13000);
    window.DJVolume->setValue(26000);
    window.DJVolume->setSliderDown(false);
    const std::vector<std::pair<VolumeSlider, int>> expected = {
        {VolumeSlider::Player, -1000}, {VolumeSlider::Wave, 40000}, {VolumeSlider::DJ, 26000}};
    EXPECT_EQ(changes, expected);
}

TEST_F(StationWindow, HelpOpensTopicTwoFromTheStationFolder) {
    ASSERT_TRUE(QDir().mkpath(folder.file(QStringLiteral("help"))));
    test::writeWholeFile(folder.file(QStringLiteral("help/2.html")),
                         "<html><body><h1>On the air</h1></body></html>");
    window.bHelp->click();
    ASSERT_NE(window.helpWindow(), nullptr);
    EXPECT_TRUE(window.helpWindow()->isVisible());
    EXPECT_TRUE(window.helpWindow()->mHelp->toPlainText().contains(QStringLiteral("On the air")));

    TfrmHelp missing(folder.path());
    EXPECT_FALSE(missing.showTopic(7));
    EXPECT_TRUE(missing.mHelp->toPlainText().contains(QStringLiteral("7.html")));
}

TEST(StationHelp, ThePageShippedForTopicTwoLoads) {
    TfrmHelp help(test::sourceDir() + QLatin1Char('/'));
    ASSERT_TRUE(help.showTopic(2));
    const QString text = help.mHelp->toPlainText();
    EXPECT_TRUE(text.contains(QStringLiteral("Corvalin Radio")));
    EXPECT_TRUE(text.contains(QStringLiteral("Play")));
}

// The pages share one style sheet: a page's main heading shows in the station's red only when
// the sheet beside the page was found and applied.
TEST(StationHelp, EveryShippedPageTakesTheSharedStyleSheet) {
    TfrmHelp help(test::sourceDir() + QLatin1Char('/'));
    for (const int topic : {2, 4, 5, 6, 8}) {
        SCOPED_TRACE(topic);
        ASSERT_TRUE(help.showTopic(topic));
        QTextBlock heading = help.mHelp->document()->begin();
        while (heading.isValid() && heading.blockFormat().headingLevel() != 1)
            heading = heading.next();
        ASSERT_TRUE(heading.isValid());
        ASSERT_NE(heading.begin(), heading.end());
        EXPECT_EQ(heading.begin().fragment().charFormat().foreground().color(),
                  QColor(0xb0, 0x10, 0x10));
    }
}

TEST_F(StationWindow, MessageBoxShowsCaptionTextAndIcon) {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            caption = box->windowTitle();
            text = box->text();
            icon = box->icon();
            box->accept();
        }
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->close();
        }
    });
    guard.start(10000);
    view.showMessage(MessageKind::Error, QStringLiteral("Corvalin Radio - Setup Error"),
                     QStringLiteral("Unable to load play list\rfor the current time slot."));
    EXPECT_EQ(caption, QStringLiteral("Corvalin Radio - Setup Error"));
    EXPECT_EQ(text, QStringLiteral("Unable to load play list\nfor the current time slot."));
    EXPECT_EQ(icon, QMessageBox::Critical);
}
