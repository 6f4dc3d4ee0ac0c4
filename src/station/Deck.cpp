#include "station/Deck.h"

#include "audio/DSPlayer.h"

#include <QMetaObject>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <exception>

namespace corvalin {

ChannelDeck::ChannelDeck(TDSPlayerChannel& channel)
    : channel_(channel), receiver_(std::make_unique<QObject>()),
      opener_(std::make_unique<QThreadPool>()) {
    opener_->setMaxThreadCount(1);
    channel_.OnEndPlay = [this](TDSPlayerChannel*) {
        if (OnEndPlay)
            OnEndPlay();
    };
    channel_.OnEndFade = [this](TDSPlayerChannel*) {
        if (OnEndFade)
            OnEndFade();
    };
}

ChannelDeck::~ChannelDeck() {
    opener_.reset(); // waits for the open in progress; its outcome is then dropped
}

void ChannelDeck::Open(const QString& file) {
    ++opening_;
    channel_.SetFileName(file);
}

void ChannelDeck::OpenAsync(const QString& file, std::function<void(bool opened)> done) {
    const std::uint64_t opening = ++opening_;
    opener_->start([this, file, opening, done = std::move(done)] {
        // Shared: the hand-over to the window thread is copied.
        auto decoder = std::make_shared<std::unique_ptr<TDSAudioFileReader>>();
        try {
            *decoder = channel_.OpenReader(file);
        } catch (...) {
            // Nothing may leave the pool's thread: the deck hears of a file it cannot play.
        }
        QMetaObject::invokeMethod(
            receiver_.get(),
            [this, file, opening, done, decoder] {
                if (opening != opening_)
                    return;
                // As Open: the deck's file is closed first, whatever the outcome.
                bool opened = false;
                try {
                    if (*decoder) {
                        channel_.SetFileName(file, std::move(*decoder));
                        opened = channel_.FileName() == file;
                    } else {
                        channel_.SetFileName(QString());
                    }
                } catch (const std::exception&) {
                }
                done(opened);
            },
            Qt::QueuedConnection);
    });
}

void ChannelDeck::Close() {
    ++opening_;
    channel_.SetFileName(QString());
}
void ChannelDeck::Prepare() {
    channel_.Prepare();
}
void ChannelDeck::Play() {
    channel_.Play();
}
void ChannelDeck::Pause() {
    channel_.Pause();
}
void ChannelDeck::Stop() {
    channel_.Stop();
}
void ChannelDeck::Fade(std::uint32_t ms, std::int32_t endVolume) {
    channel_.Fade(ms, endVolume);
}
void ChannelDeck::SeekToEnd() {
    channel_.SetPosition(channel_.EndTime());
}
void ChannelDeck::SetVolume(std::int32_t volume) {
    channel_.SetVolume(volume);
}
DeckState ChannelDeck::State() const {
    return static_cast<DeckState>(channel_.State());
}
std::int32_t ChannelDeck::Position() {
    return channel_.Position();
}
std::int32_t ChannelDeck::Duration() const {
    return channel_.Duration();
}

struct QtOneShotTimer::Impl {
    QTimer timer;
};

QtOneShotTimer::QtOneShotTimer(std::function<void()> onTimeout) : impl_(std::make_unique<Impl>()) {
    impl_->timer.setSingleShot(true);
    QObject::connect(&impl_->timer, &QTimer::timeout, std::move(onTimeout));
}

QtOneShotTimer::~QtOneShotTimer() = default;

void QtOneShotTimer::start(int intervalMs) {
    impl_->timer.start(std::max(intervalMs, 0)); // a negative interval would never fire
}
void QtOneShotTimer::stop() {
    impl_->timer.stop();
}
bool QtOneShotTimer::isActive() const {
    return impl_->timer.isActive();
}
void QtOneShotTimer::setInterval(int intervalMs) {
    impl_->timer.setInterval(std::max(intervalMs, 0));
}
int QtOneShotTimer::interval() const {
    return impl_->timer.interval();
}
int QtOneShotTimer::remainingTime() const {
    return impl_->timer.remainingTime();
}

} // namespace corvalin
