#pragma once

#include "FormHelp.h"
#include "Meters.h"
#include "TitleRhythm.h"
#include "platform/Clock.h"
#include "station/StationView.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>

class QFrame;
class QLabel;
class QSlider;

namespace corvalin {

struct SoundOutputStatus;
struct StreamStatus;
class BevelPanel;
class DigitalClock;
class ImageButton;
class ScrollingPanel;

// The station's main window: a fixed-size black console with both decks, the transport buttons,
// the DJ strip, the slot clock, the volume sliders and the dialog buttons. It shows what the
// station's logic tells it through IStationView and reports the operator's requests; it holds no
// station state of its own. Window thread only.
class TfrmCorvalinRadio : public QWidget, public IStationView, public StationShell {
    Q_OBJECT
public:
    // `programFolder` (with a trailing "/") is where help/ is found.
    explicit TfrmCorvalinRadio(const QString& programFolder, QWidget* parent = nullptr);
    ~TfrmCorvalinRadio() override;

    // The time source of both clocks; not owned. nullptr restores the system clock.
    void setClock(const Clock* clock);
    // The pen colour of the traces; until one is set the traces are silver.
    void setLevelColourFunction(LevelColourFunction function);

    // IStationView
    void setTitleText(int player, const QString& text) override;
    void setTitleColour(int player, RgbColour colour) override;
    void setTitleScrolling(int player, bool scrolling) override;
    void setPositionPercent(int player, int percent) override;
    void setLengthText(int player, const QString& text) override;
    void setRemainingText(int player, const QString& text) override;
    void showMeters(int player, const MeterReading& reading) override;
    void clearMeters(int player) override;
    void setButtonEnabled(TransportButton button, bool enabled) override;
    bool isButtonEnabled(TransportButton button) const override;
    void setTransportDown(TransportButton button) override;
    bool isButtonDown(TransportButton button) const override;
    void setDJProgressVisible(bool visible) override;
    void setDJProgress(int position, int maximum) override;
    void setDJName(const QString& name) override;
    void setSlotColour(RgbColour colour) override;
    void setStationTitle(const QString& text) override;
    void setVersionText(const QString& text) override;
    void setAutoClock(AlarmClock clock, bool enabled, QTime time) override;
    void setAutoStopClockRunning(bool running) override;
    void setVolumeRange(VolumeSlider slider, int minimum, int maximum, int step) override;
    void setVolume(VolumeSlider slider, int value) override;
    int volume(VolumeSlider slider) const override;
    void setVolumeEnabled(VolumeSlider slider, bool enabled) override;
    void showTimerBox(const QString& text, const QString& caption, int lifetimeMs) override;
    void showMessage(MessageKind kind, const QString& caption, const QString& text) override;
    void showFetchOutcome(const QString& text) override;

    // StationShell
    void setWindowPosition(int top, int left) override;
    int windowTop() const override;
    int windowLeft() const override;
    void askZipCode(StationSettings& settings) override;
    void terminate() override;
    void beep() override;

    // Shows whether the station is heard: a fallback to no sound output (the sound card could
    // not be opened) puts a red notice on the console and in the caption, the reason as its
    // hint; a device that opens clears it. A silent output chosen on purpose shows nothing.
    void showSoundOutput(const SoundOutputStatus& status);
    // The Icecast stream's lamp: green when connected, amber while connecting, red when it
    // failed, hidden when the stream is off; the hint says where and why.
    void showStreamStatus(const StreamStatus& status);

    // The help window, once opened (nullptr before).
    TfrmHelp* helpWindow() const { return help_.data(); }

    // Controls, named as the station knows them (also their objectName).
    QFrame* pForm = nullptr;
    QFrame* pTop = nullptr;
    QLabel* lTitle = nullptr;
    QLabel* lNoSound = nullptr; // hidden while the station is heard
    QLabel* lOnAir = nullptr;   // the stream's lamp, hidden while there is no stream

    BevelPanel* pDSPlayer1 = nullptr;
    QLabel* lPlayer1 = nullptr;
    LevelBar* pbLeft1 = nullptr;
    LevelBar* pbRight1 = nullptr;
    TracePaintBox* paintboxLeft1 = nullptr;
    TracePaintBox* paintboxRight1 = nullptr;
    QLabel* lLeft1 = nullptr;
    QLabel* lRight1 = nullptr;
    ScrollingPanel* lTitle1 = nullptr;
    GradientBar* pbPosition1 = nullptr;
    QLabel* lTime1 = nullptr;
    QLabel* lTime1a = nullptr;

    BevelPanel* pDSPlayer2 = nullptr;
    QLabel* lPlayer2 = nullptr;
    LevelBar* pbLeft2 = nullptr;
    LevelBar* pbRight2 = nullptr;
    TracePaintBox* paintboxLeft2 = nullptr;
    TracePaintBox* paintboxRight2 = nullptr;
    QLabel* lLeft2 = nullptr;
    QLabel* lRight2 = nullptr;
    ScrollingPanel* lTitle2 = nullptr;
    GradientBar* pbPosition2 = nullptr;
    QLabel* lTime2 = nullptr;
    QLabel* lTime2a = nullptr;

    ImageButton* bPlay = nullptr;
    ImageButton* bPause = nullptr;
    ImageButton* bStop = nullptr;
    ImageButton* bNext = nullptr;

    GradientBar* pbDJ = nullptr;
    QLabel* iLogo = nullptr;
    QLabel* lVersion = nullptr;

    BevelPanel* pClock = nullptr;
    QLabel* lDJName = nullptr;
    DigitalClock* AutoStartClock = nullptr;
    DigitalClock* AutoStopClock = nullptr; // never shown

    BevelPanel* pVolume = nullptr;
    QLabel* lPlayerVolume = nullptr;
    QLabel* lDJVolume = nullptr;
    QLabel* lWaveVolume = nullptr;
    QSlider* PlayerVolume = nullptr;
    QSlider* DJVolume = nullptr;
    QSlider* WaveVolume = nullptr;

    ImageButton* bManager = nullptr;
    ImageButton* bPlayList = nullptr;
    ImageButton* bDJTest = nullptr;
    ImageButton* bAbout = nullptr;
    ImageButton* bHelp = nullptr;

public Q_SLOTS:
    // Program code presses a button by calling its handler, enabled or not.
    void bPlayClick();
    void bPauseClick();
    void bStopClick();
    void bNextClick();
    void bDJTestClick();
    void bManagerClick();
    void bPlayListClick();
    void bAboutClick();
    // Opens the help window at topic 2.
    void bHelpClick();
    // Opens (or brings forward) the help window at `topic`.
    void showHelp(int topic);
    void ViewList();
    void AutoStartClockAlarm();
    void AutoStopClockAlarm();

Q_SIGNALS:
    void commandRequested(corvalin::StationCommand command);
    // The operator moved a volume slider (not raised when the logic sets one).
    void volumeChanged(corvalin::VolumeSlider slider, int value);
    // The window was shown or became the active window.
    void activated();
    // The window is closing.
    void closing();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct Deck {
        ScrollingPanel* title = nullptr;
        GradientBar* position = nullptr;
        QLabel* length = nullptr;
        QLabel* remaining = nullptr;
        LevelBar* left = nullptr;
        LevelBar* right = nullptr;
        TracePaintBox* traceLeft = nullptr;
        TracePaintBox* traceRight = nullptr;
    };

    void buildPlayerPanel(int player);
    void buildTransport();
    void buildCentre();
    void buildClockPanel();
    void buildVolumePanel();
    void buildDialogButtons();
    Deck* deck(int player);
    ImageButton* button(TransportButton which) const;
    QSlider* slider(VolumeSlider which) const;
    QColor tracePen(int percent) const;
    // The titles and the clocks run on one timer, the clocks every 250 ms. Scrolling titles step
    // with the meter readings while a deck plays (one screen update for both), otherwise on this
    // timer every 50 ms; ticks are as slow as the clocks while the timer steps no title.
    void consoleTick();
    void setConsoleInterval();
    void stepTitles();

    QString programFolder_;
    std::array<Deck, 2> decks_{};
    LevelColourFunction levelColour_;
    QPointer<TfrmHelp> help_;
    QTimer consoleTimer_;
    int clockDueMs_ = 0; // until the clocks' next refresh
    QElapsedTimer consoleClock_;
    TitleRhythm titleRhythm_;
};

} // namespace corvalin
