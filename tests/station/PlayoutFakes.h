#pragma once

#include "station/Deck.h"
#include "station/StationView.h"

#include <QString>
#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <vector>

namespace corvalin::test {

// A deck that plays nothing: the test ends songs and fades by calling finish()/endFade().
class FakeDeck final : public Deck {
public:
    explicit FakeDeck(const std::set<QString>& unopenable) : unopenable_(unopenable) {}
    void Open(const QString& file) override {
        pendingOpen_ = nullptr;
        if (unopenable_.count(file) != 0)
            throw std::runtime_error("cannot open");
        file_ = file;
        opened.push_back(file);
    }
    // Completes at once, unless holdOpens: then completeOpen() does.
    void OpenAsync(const QString& file, std::function<void(bool)> done) override {
        pendingOpen_ = [this, file, done] {
            bool ok = true;
            try {
                Open(file);
            } catch (const std::exception&) {
                ok = false;
            }
            done(ok);
        };
        if (!holdOpens)
            completeOpen();
    }
    bool openPending() const { return static_cast<bool>(pendingOpen_); }
    void completeOpen() {
        auto open = std::move(pendingOpen_);
        pendingOpen_ = nullptr;
        if (open)
            open();
    }
    void Close() override {
        pendingOpen_ = nullptr;
        file_.clear();
    }
    void Prepare() override {}
    void Play() override { state_ = DeckState::Playing; }
    void Pause() override { state_ = DeckState::Paused; }
    void Stop() override { state_ = DeckState::Stopped; }
    void Fade(std::uint32_t ms, std::int32_t endVolume) override {
        fadeMs = static_cast<int>(ms);
        fadeVolume = endVolume;
    }
    void SeekToEnd() override { state_ = DeckState::Stopped; }
    void SetVolume(std::int32_t v) override { volume = v; }
    DeckState State() const override { return state_; }
    std::int32_t Position() override { return position; }
    std::int32_t Duration() const override { return duration; }

    // The song has played to its end.
    void finish() {
        state_ = DeckState::Stopped;
        OnEndPlay();
    }
    void endFade() { OnEndFade(); }
    const QString& file() const { return file_; }

    std::vector<QString> opened;
    bool holdOpens = false;
    std::int32_t duration = 180000;
    std::int32_t position = 0;
    int fadeMs = 0;
    std::int32_t fadeVolume = 0;
    std::int32_t volume = 1;

private:
    const std::set<QString>& unopenable_;
    DeckState state_ = DeckState::Stopped;
    QString file_;
    std::function<void()> pendingOpen_;
};

// How much sooner FastTimer fires than asked.
inline constexpr int kTimeScale = 10;

// A window timer that fires kTimeScale times sooner than asked; it reports the asked interval.
class FastTimer final : public OneShotTimer {
public:
    explicit FastTimer(std::function<void()> onTimeout) : inner_(std::move(onTimeout)) {}
    void start(int ms) override {
        interval_ = ms;
        inner_.start(std::max(1, ms / kTimeScale));
    }
    void stop() override { inner_.stop(); }
    bool isActive() const override { return inner_.isActive(); }
    void setInterval(int ms) override {
        interval_ = ms;
        inner_.setInterval(std::max(1, ms / kTimeScale));
    }
    int interval() const override { return interval_; }
    int remainingTime() const override {
        const int left = inner_.remainingTime();
        return left < 0 ? left : left * kTimeScale;
    }

private:
    QtOneShotTimer inner_;
    int interval_ = 0;
};

class FakeTimer final : public OneShotTimer {
public:
    void start(int ms) override {
        interval_ = ms;
        active_ = true;
    }
    void stop() override { active_ = false; }
    bool isActive() const override { return active_; }
    void setInterval(int ms) override { interval_ = ms; }
    int interval() const override { return interval_; }
    int remainingTime() const override { return active_ ? interval_ : -1; }

private:
    bool active_ = false;
    int interval_ = 0;
};

// Records what the logic shows.
class FakeView final : public IStationView {
public:
    struct Box {
        QString text;
        QString caption;
        int ms = 0;
    };
    void setTitleText(int player, const QString& text) override { title[player] = text; }
    void setTitleColour(int player, RgbColour colour) override {
        titleColours[player].push_back(colour);
    }
    // The last colour given to a player's title, or black.
    RgbColour titleColour(int player) const {
        auto it = titleColours.find(player);
        return it == titleColours.end() || it->second.empty() ? RgbColour{} : it->second.back();
    }
    void setTitleScrolling(int, bool) override {}
    void setPositionPercent(int player, int percent) override { position[player] = percent; }
    void setLengthText(int player, const QString& text) override { length[player] = text; }
    void setRemainingText(int player, const QString& text) override { remaining[player] = text; }
    // What the level display of a deck last showed.
    struct Meter {
        bool cleared = false;
        bool flat = false; // every column at the middle line
        float levels[2] = {0.0f, 0.0f};
        int samplesPerTick = 0;
        int readings = 0;
    };
    void showMeters(int player, const MeterReading& reading) override {
        Meter& m = meters[player];
        m.cleared = false;
        m.flat = reading.columnCount > 0;
        for (std::size_t i = 0; i < reading.maxValues.size(); ++i)
            m.flat = m.flat && reading.maxValues[i] == 128 && reading.minValues[i] == 128;
        m.levels[0] = reading.levels[0];
        m.levels[1] = reading.levels[1];
        m.samplesPerTick = reading.samplesPerTick;
        ++m.readings;
    }
    void clearMeters(int player) override { meters[player] = Meter{true}; }
    std::map<int, Meter> meters;
    void setButtonEnabled(TransportButton b, bool enabled) override { enabled_[b] = enabled; }
    bool isButtonEnabled(TransportButton b) const override {
        auto it = enabled_.find(b);
        return it != enabled_.end() && it->second;
    }
    void setTransportDown(TransportButton b) override { down_ = b; }
    bool isButtonDown(TransportButton b) const override { return down_ == b; }
    void setDJProgressVisible(bool visible) override { djBarVisible = visible; }
    void setDJProgress(int, int) override {}
    void setDJName(const QString& name) override { djName = name; }
    void setSlotColour(RgbColour colour) override { slotColour = colour; }
    void setStationTitle(const QString& text) override { stationTitle = text; }
    void setVersionText(const QString& text) override { versionText = text; }
    void setAutoClock(AlarmClock, bool, QTime) override {}
    void setAutoStopClockRunning(bool) override {}
    void setVolumeRange(VolumeSlider, int, int, int) override {}
    void setVolume(VolumeSlider slider, int value) override { volumes[slider] = value; }
    int volume(VolumeSlider slider) const override {
        auto it = volumes.find(slider);
        return it == volumes.end() ? -300 : it->second;
    }
    void setVolumeEnabled(VolumeSlider, bool) override {}
    void showFetchOutcome(const QString& text) override { fetchOutcome = text; }
    QString fetchOutcome; // the clock panel's hint
    void showTimerBox(const QString& text, const QString& caption, int ms) override {
        timerBoxes.push_back({text, caption, ms});
        // The real box is modal: what runs here runs while it is shown.
        if (whileTimerBoxShown)
            whileTimerBoxShown();
    }
    std::function<void()> whileTimerBoxShown;
    void showMessage(MessageKind, const QString& caption, const QString& text) override {
        messages.push_back({text, caption, 0});
    }

    std::map<int, QString> title;
    std::map<int, std::vector<RgbColour>> titleColours;
    std::map<int, int> position;
    std::map<int, QString> length;
    std::map<int, QString> remaining;
    std::vector<Box> timerBoxes;
    std::vector<Box> messages;
    std::map<VolumeSlider, int> volumes;
    bool djBarVisible = false;
    QString djName;
    RgbColour slotColour;
    QString stationTitle;
    QString versionText;

private:
    std::map<TransportButton, bool> enabled_;
    TransportButton down_ = TransportButton::Stop;
};

} // namespace corvalin::test
