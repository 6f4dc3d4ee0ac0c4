#include "station/Deck.h"

#include "audio/DSPlayer.h"

#include <QTimer>
#include <algorithm>

namespace corvalin {

ChannelDeck::ChannelDeck(TDSPlayerChannel& channel) : channel_(channel) {
    channel_.OnEndPlay = [this](TDSPlayerChannel*) {
        if (OnEndPlay)
            OnEndPlay();
    };
    channel_.OnEndFade = [this](TDSPlayerChannel*) {
        if (OnEndFade)
            OnEndFade();
    };
}

void ChannelDeck::Open(const QString& file) {
    channel_.SetFileName(file);
}
void ChannelDeck::Close() {
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

} // namespace corvalin
