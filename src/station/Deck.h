#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class QObject;
class QThreadPool;

namespace corvalin {

class TDSPlayerChannel;

enum class DeckState { Stopped = 0, Playing = 1, Paused = 2 };

// One player as the sequencer drives it. Window thread only; the end events arrive on it too.
class Deck {
public:
    virtual ~Deck() = default;
    // Opens the file; throws when it cannot be played.
    virtual void Open(const QString& file) = 0;
    // Opens the file away from the window thread (reading and probing a file takes time, a
    // large or slow one much), then calls `done` on the window thread: true when the deck holds
    // it as after Open, false when it cannot be played. `done` may also run before this returns.
    // Another OpenAsync, an Open or a Close before the outcome drops it: `done` is not called.
    virtual void OpenAsync(const QString& file, std::function<void(bool opened)> done) = 0;
    virtual void Close() = 0;
    virtual void Prepare() = 0;
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    // Moves the volume to `endVolume` (hundredths of a dB) over `ms`; OnEndFade follows.
    virtual void Fade(std::uint32_t ms, std::int32_t endVolume) = 0;
    // Jumps to the end of the song, which stops it.
    virtual void SeekToEnd() = 0;
    virtual void SetVolume(std::int32_t volume) = 0;
    virtual DeckState State() const = 0;
    virtual std::int32_t Position() = 0;       // ms
    virtual std::int32_t Duration() const = 0; // ms

    std::function<void()> OnEndPlay;
    std::function<void()> OnEndFade;
};

// A Deck over one TDSPlayerChannel, which it does not own and which must outlive it.
class ChannelDeck final : public Deck {
public:
    explicit ChannelDeck(TDSPlayerChannel& channel);
    ~ChannelDeck() override; // waits for an open in progress
    void Open(const QString& file) override;
    void OpenAsync(const QString& file, std::function<void(bool opened)> done) override;
    void Close() override;
    void Prepare() override;
    void Play() override;
    void Pause() override;
    void Stop() override;
    void Fade(std::uint32_t ms, std::int32_t endVolume) override;
    void SeekToEnd() override;
    void SetVolume(std::int32_t volume) override;
    DeckState State() const override;
    std::int32_t Position() override;
    std::int32_t Duration() const override;

private:
    TDSPlayerChannel& channel_;
    std::uint64_t opening_ = 0; // counts the opens; only the latest one's outcome is taken
    // Window thread: receives the outcomes. The opener runs one open at a time and is destroyed
    // (waiting for it) before the receiver.
    std::unique_ptr<QObject> receiver_;
    std::unique_ptr<QThreadPool> opener_;
};

// A one-shot timer of the main window: fires once `interval` ms after start, then is inactive.
class OneShotTimer {
public:
    virtual ~OneShotTimer() = default;
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    // Changes the interval; a running timer starts again with it.
    virtual void setInterval(int intervalMs) = 0;
    virtual int interval() const = 0;
    // Milliseconds until a running timer fires; -1 when it is not running.
    virtual int remainingTime() const = 0;
};

// The real one, on a single-shot QTimer; `onTimeout` runs on the thread that owns it.
class QtOneShotTimer final : public OneShotTimer {
public:
    explicit QtOneShotTimer(std::function<void()> onTimeout);
    ~QtOneShotTimer() override;
    void start(int intervalMs) override;
    void stop() override;
    bool isActive() const override;
    void setInterval(int intervalMs) override;
    int interval() const override;
    int remainingTime() const override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace corvalin
