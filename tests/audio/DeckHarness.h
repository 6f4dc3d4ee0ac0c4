#pragma once

// A deck on the manual-clock device: nothing moves until run() plays some milliseconds, with an
// Update every 400 ms of audio as the refill thread would do it.

#include "audio/DSPlayer.h"

#include <QCoreApplication>
#include <memory>
#include <vector>

namespace corvalin::test {

struct DeckHarness {
    // `openReader`: the channel's decoder (none: the real one).
    explicit DeckHarness(ReaderFactory openReader = nullptr)
        : device(SoundDevice::create(QStringLiteral("manual"))),
          player(std::make_unique<TDSPlayer>(device)),
          channel(new TDSPlayerChannel(player.get(),
                                       {[this] { return ticks; }, false, std::move(openReader)})) {
        channel->OnEndPlay = [this](TDSPlayerChannel* c) {
            ++endPlays;
            stateAtEndPlay = c->State();
        };
        channel->OnEndFade = [this](TDSPlayerChannel*) { ++endFades; };
        channel->OnBufferLost = [this](TDSPlayerChannel*) { ++buffersLost; };
    }

    // Plays `ms` of audio (a multiple of 100), calling Update after every 400 ms.
    void run(int ms, std::vector<std::int16_t>* mix = nullptr) {
        while (ms > 0) {
            const int step = std::min(ms, 400 - static_cast<int>(sinceUpdate));
            device->advance(static_cast<std::uint32_t>(step * 441 / 10), mix);
            ticks += static_cast<std::uint32_t>(step);
            sinceUpdate += static_cast<std::uint32_t>(step);
            ms -= step;
            if (sinceUpdate == 400) {
                sinceUpdate = 0;
                channel->Update();
                QCoreApplication::sendPostedEvents();
            }
        }
    }

    std::uint32_t cursor() const {
        std::uint32_t p = 0;
        if (channel->buffer())
            channel->buffer()->GetCurrentPosition(&p);
        return p;
    }

    std::uint32_t ticks = 100000;
    std::uint32_t sinceUpdate = 0;
    std::shared_ptr<SoundDevice> device;
    std::unique_ptr<TDSPlayer> player; // destroys the channel
    TDSPlayerChannel* channel;
    int endPlays = 0;
    int endFades = 0;
    int buffersLost = 0;
    TDSChannelState stateAtEndPlay = chPlaying;
};

} // namespace corvalin::test
