#pragma once

#include <QString>
#include <QTime>
#include <cstdint>
#include <functional>
#include <span>
#include <utility>

namespace corvalin {

struct StationSettings;

// What the station's logic (scheduler, sequencer, transport, talk) asks of the main window's
// controls. The logic owns every decision and its state; the window only shows it. Tests give the
// logic a plain recording implementation. All calls are made on the window thread.

struct RgbColour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend constexpr bool operator==(RgbColour, RgbColour) = default;
};

namespace colours {
inline constexpr RgbColour red{255, 0, 0};
inline constexpr RgbColour lime{0, 255, 0};
inline constexpr RgbColour blue{0, 0, 255};
inline constexpr RgbColour fuchsia{255, 0, 255};
} // namespace colours

// Play, Pause and Stop form one group of which exactly one is shown down.
enum class TransportButton { Play, Pause, Stop, Next, DJTest };
enum class VolumeSlider { Player, DJ, Wave };
// What the operator asked for by a button, a title panel or an alarm.
enum class StationCommand { Play, Pause, Stop, Next, DJTest, Manager, PlayList, About, ViewList };
enum class AlarmClock { AutoStart, AutoStop };
enum class MessageKind { Information, Warning, Error };

// One deck's meter data for one display tick. Level bytes are in offset form (128 silence, 0 and
// 255 the extremes), stored column by column: value[column * channels + channel]. The spans are
// only read during the call.
struct MeterReading {
    int channels = 1; // 1 or 2
    int columnCount = 0;
    std::span<const std::uint8_t> maxValues;
    std::span<const std::uint8_t> minValues;
    float levels[2] = {0.0f, 0.0f}; // peak per channel, 0..1
    int samplesPerTick = 0;         // sample frames of the song analysed per display tick
};

class IStationView {
public:
    virtual ~IStationView() = default;

    // Decks: `player` is 1 or 2; any other number is ignored.
    virtual void setTitleText(int player, const QString& text) = 0;
    virtual void setTitleColour(int player, RgbColour colour) = 0;
    virtual void setTitleScrolling(int player, bool scrolling) = 0;
    virtual void setPositionPercent(int player, int percent) = 0; // 0..100, clamped
    virtual void setLengthText(int player, const QString& text) = 0;
    virtual void setRemainingText(int player, const QString& text) = 0;
    // Traces and level bars from one analysis pass; a mono reading leaves the right box empty.
    virtual void showMeters(int player, const MeterReading& reading) = 0;
    // The deck has no analyser: both traces empty, both bars at 0.
    virtual void clearMeters(int player) = 0;

    // Transport and voice test buttons.
    virtual void setButtonEnabled(TransportButton button, bool enabled) = 0;
    virtual bool isButtonEnabled(TransportButton button) const = 0;
    // Shows Play, Pause or Stop down and the other two up; Next and DJTest are never shown down.
    virtual void setTransportDown(TransportButton button) = 0;
    virtual bool isButtonDown(TransportButton button) const = 0;
    // Whoever follows the buttons from outside the console (the desktop's media controls) is told
    // after a button was enabled or disabled. One follower; an empty function ends it.
    void setButtonsChangedHandler(std::function<void()> handler) {
        buttonsChanged_ = std::move(handler);
    }

    // The DJ strip: shown while the bar tracks an utterance (border in the slot colour), else
    // black.
    virtual void setDJProgressVisible(bool visible) = 0;
    virtual void setDJProgress(int position, int maximum) = 0;

    // Time slot: DJ name, and the slot colour of the clock, the DJ name and the DJ strip's border.
    virtual void setDJName(const QString& name) = 0;
    virtual void setSlotColour(RgbColour colour) = 0;
    virtual void setStationTitle(const QString& text) = 0;
    virtual void setVersionText(const QString& text) = 0;

    // The daily alarms. The auto stop clock only runs (and only raises its alarm) while enabled.
    virtual void setAutoClock(AlarmClock clock, bool enabled, QTime time) = 0;
    virtual void setAutoStopClockRunning(bool running) = 0;

    virtual void setVolumeRange(VolumeSlider slider, int minimum, int maximum, int step) = 0;
    virtual void setVolume(VolumeSlider slider, int value) = 0;
    virtual int volume(VolumeSlider slider) const = 0;
    virtual void setVolumeEnabled(VolumeSlider slider, bool enabled) = 0;

    // Modal boxes; both run a nested event loop, so the window's timers keep running meanwhile.
    // "\r" in a text is a line break.
    virtual void showTimerBox(const QString& text, const QString& caption, int lifetimeMs) = 0;
    virtual void showMessage(MessageKind kind, const QString& caption, const QString& text) = 0;

    // What the last news and weather fetch found, in one line: the hint of the clock panel. A view
    // without a clock panel leaves it out.
    virtual void showFetchOutcome(const QString& /*text*/) {}

protected:
    // A view calls this when setButtonEnabled changed a button.
    void buttonsChanged() const {
        if (buttonsChanged_)
            buttonsChanged_();
    }

private:
    std::function<void()> buttonsChanged_;
};

// The lines of a station's journal (the log of a station without a window).
enum class JournalLine {
    StartUp, // one summary when start-up is done
    OnAir,   // a song or a talk as it starts
};

// What start-up and shutdown ask of the main window beyond what the logic shows on it.
class StationShell {
public:
    virtual ~StationShell() = default;
    virtual void setWindowPosition(int top, int left) = 0;
    virtual int windowTop() const = 0;
    virtual int windowLeft() const = 0;
    // The zip code prompt, while no zip code is set; sets the zip code and weather address in
    // `settings`, or leaves the zip code unset when nobody can answer.
    virtual void askZipCode(StationSettings& settings) = 0;
    // A line for the operator who cannot see the station. A window shows all of it already.
    virtual void journal(JournalLine /*kind*/, const QString& /*line*/) {}
    // What the DJ says after a sample song to have the operator set up the play lists, when the
    // vocabulary's words (which send them to the Radio Manager) do not fit; empty: they fit.
    virtual QString listSetUpReminder() const { return {}; }
    // Ends the program as soon as the message loop runs.
    virtual void terminate() = 0;
    // The error beep of a refused volume change.
    virtual void beep() = 0;
};

} // namespace corvalin
