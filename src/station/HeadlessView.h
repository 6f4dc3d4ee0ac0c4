#pragma once

#include "platform/Clock.h"
#include "station/StationView.h"
#include "station/TimeSlot.h"

#include <QString>
#include <QTimer>
#include <array>
#include <functional>

namespace corvalin {

// What the DJ says after a sample song when the station runs without a window: there is no Radio
// Manager to click.
inline const QString kHeadlessListReminder = QStringLiteral(
    "You need to tell me what songs I should play for you: put your own music on the air with "
    "corvalinradio, import folder, as the read me says. Right now!");

// The station's view and shell when it runs without a window (--headless): nothing is shown, the
// buttons and sliders only keep the state the logic sets, boxes become one line on the log (no
// box ever waits for an answer), the journal's lines go to the log (the songs and talks unless
// quiet) and the zip code prompt, which nobody can answer, says on the log that no weather is
// read until a zip code is given. The window's two alarm clocks run here too, without faces: four
// times a second they read the clock, and their alarms ask for Play (auto start) and Stop (auto
// stop) as the window's would. Window thread only.
class HeadlessView final : public IStationView, public StationShell {
public:
    // `log` gets one line per message (default: stderr).
    explicit HeadlessView(std::function<void(const QString& line)> log = {});

    // The time the alarm clocks read; not owned, must outlive the view (default: the system's).
    void setClock(const Clock* clock);
    // Where the alarms' Play and Stop go (the station's command()).
    void setCommandHandler(std::function<void(StationCommand)> handler);
    // Reads the clock and raises what the alarms say; runs on the clocks' own timer.
    void refreshClocks();
    // --quiet: no line per song and talk on the log.
    void setQuiet(bool quiet) { quiet_ = quiet; }

    // IStationView
    void setTitleText(int, const QString&) override {}
    void setTitleColour(int, RgbColour) override {}
    void setTitleScrolling(int, bool) override {}
    void setPositionPercent(int, int) override {}
    void setLengthText(int, const QString&) override {}
    void setRemainingText(int, const QString&) override {}
    void showMeters(int, const MeterReading&) override {}
    void clearMeters(int) override {}
    void setButtonEnabled(TransportButton button, bool enabled) override;
    bool isButtonEnabled(TransportButton button) const override;
    void setTransportDown(TransportButton button) override;
    bool isButtonDown(TransportButton button) const override;
    void setDJProgressVisible(bool) override {}
    void setDJProgress(int, int) override {}
    void setDJName(const QString&) override {}
    void setSlotColour(RgbColour) override {}
    void setStationTitle(const QString&) override {}
    void setVersionText(const QString&) override {}
    void setAutoClock(AlarmClock clock, bool enabled, QTime time) override;
    void setAutoStopClockRunning(bool running) override;
    void setVolumeRange(VolumeSlider slider, int minimum, int maximum, int step) override;
    void setVolume(VolumeSlider slider, int value) override;
    int volume(VolumeSlider slider) const override;
    void setVolumeEnabled(VolumeSlider, bool) override {}
    void showTimerBox(const QString& text, const QString& caption, int lifetimeMs) override;
    void showMessage(MessageKind kind, const QString& caption, const QString& text) override;

    // StationShell
    void setWindowPosition(int top, int left) override;
    int windowTop() const override { return top_; }
    int windowLeft() const override { return left_; }
    void askZipCode(StationSettings& settings) override;
    void journal(JournalLine kind, const QString& line) override;
    QString listSetUpReminder() const override;
    void terminate() override;
    void beep() override {}

private:
    struct Slider {
        int minimum = 0;
        int maximum = 100;
        int value = 0;
    };
    void log(const QString& line) const;

    std::function<void(const QString&)> log_;
    std::array<bool, 5> enabled_{};
    TransportButton down_ = TransportButton::Stop;
    // The window's sliders' own ranges and first values (Player, DJ, Wave): the logic may set a
    // value before it sets a range.
    std::array<Slider, 3> sliders_{{{-5000, 0, -5000}, {0, 65535, 0}, {0, 65535, 0}}};
    int top_ = 0;
    int left_ = 0;
    bool quiet_ = false;

    // AutoStartClock and AutoStopClock; the stop clock runs only while auto stop is on.
    SystemClock systemClock_;
    const Clock* clock_ = &systemClock_;
    DailyAlarm autoStartClock_;
    DailyAlarm autoStopClock_;
    QTimer clockTimer_;
    std::function<void(StationCommand)> command_;
};

} // namespace corvalin
