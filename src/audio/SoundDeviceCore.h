#pragma once
// The inside of the sound device, shared by its parts (SoundDevice*.cpp, SoundBuffer.cpp) and by
// nothing else: the mixer-side state of a buffer and the device's core, which mixes them.
#include "audio/SoundDevice.h"
#include "audio/StreamTap.h"

#include <QString>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

extern "C" {
#include <libswresample/swresample.h>
}

namespace corvalin {

// The mixer works in pieces of at most this size.
inline constexpr std::uint32_t kChunkFrames = 1024;

inline float dbToGain(std::int32_t hundredthsDb) {
    if (hundredthsDb <= -10000)
        return 0.0f;
    if (hundredthsDb >= 0)
        return 1.0f;
    return static_cast<float>(std::pow(10.0, hundredthsDb / 2000.0));
}

// A gain that moves to a new value frame by frame rather than at once: by a constant factor
// between two audible gains (a straight line in decibels, as the decks' fades run), by a constant
// amount to or from silence. mixer
struct Glide {
    double gain = 1.0;
    double target = 1.0;
    double step = 0.0;
    bool multiply = false;
    std::uint32_t left = 0; // frames until the target

    void aim(double to, std::uint32_t frames) {
        target = to;
        left = frames;
        if (frames == 0 || gain == to) {
            gain = to;
            left = 0;
            return;
        }
        multiply = gain > 0.0 && to > 0.0;
        step = multiply ? std::pow(to / gain, 1.0 / frames) : (to - gain) / frames;
    }
    // The gain of the next frame while gliding (left > 0).
    float next() {
        gain = --left == 0 ? target : (multiply ? gain * step : gain + step);
        return static_cast<float>(gain);
    }
};

inline std::uint32_t msToFrames(std::uint32_t ms) {
    return static_cast<std::uint32_t>(std::uint64_t{ms} * SoundDevice::kSampleRate / 1000);
}

// Mixer-side state of one buffer. Fields marked "mixer" are touched only with the device's list
// lock held (by the mixer, or by Play/Stop/SetCurrentPosition).
struct SoundBuffer::State {
    PcmFormat format;
    std::uint32_t size = 0;
    std::uint32_t block = 0;
    std::unique_ptr<std::uint8_t[]> ring;

    std::atomic<std::uint32_t> cursor{0};
    std::atomic<bool> playing{false};
    std::atomic<bool> lost{false};
    std::atomic<std::int32_t> volume{0};
    std::atomic<std::int32_t> pan{0};
    std::atomic<std::uint32_t> glideFrames{0}; // how long a change of volume or pan takes
    std::atomic<std::uint32_t> unlocks{0};     // publishes the writer's bytes to the mixer

    // The gains heard, moving towards those of `aimVolume` and `aimPan`. mixer
    Glide left, right;
    std::int32_t aimVolume = 0;
    std::int32_t aimPan = 0;
    bool jump = true; // the next change is taken at once (nothing sounded since it was made)

    // Resampling (only when the rate differs from the device's). mixer
    SwrContext* swr = nullptr;
    std::vector<float> source; // stereo float frames read from the ring
    std::vector<float> fifo;   // resampled stereo frames not yet mixed
    std::uint32_t fifoFrames = 0;

    ~State() { swr_free(&swr); }

    // Reads `frames` frames at the cursor as stereo float into `out`, advancing the cursor.
    void readFrames(float* out, std::uint32_t frames) {
        std::uint32_t pos = cursor.load(std::memory_order_relaxed);
        const std::uint8_t* base = ring.get();
        const bool eight = format.bitsPerSample == 8;
        const bool mono = format.channels == 1;
        for (std::uint32_t i = 0; i < frames; ++i) {
            const std::uint8_t* p = base + pos;
            float l, r;
            if (eight) {
                l = static_cast<float>(static_cast<int>(p[0]) - 128) * 256.0f;
                r = mono ? l : static_cast<float>(static_cast<int>(p[1]) - 128) * 256.0f;
            } else {
                std::int16_t s0, s1;
                std::memcpy(&s0, p, 2);
                l = s0;
                if (mono) {
                    r = l;
                } else {
                    std::memcpy(&s1, p + 2, 2);
                    r = s1;
                }
            }
            out[2 * i] = l;
            out[2 * i + 1] = r;
            pos += block;
            if (pos >= size)
                pos = 0;
        }
        cursor.store(pos, std::memory_order_release);
    }

    // Adds `frames` device frames of this buffer to `acc`. mixer
    void mixInto(float* acc, std::uint32_t frames) {
        (void)unlocks.load(std::memory_order_acquire);
        const std::int32_t v = volume.load(std::memory_order_relaxed);
        const std::int32_t pn = pan.load(std::memory_order_relaxed);
        if (jump || v != aimVolume || pn != aimPan) {
            // A new volume glides from the gain heard now, so that no step clicks.
            const float g = dbToGain(v);
            const std::uint32_t glide = jump ? 0 : glideFrames.load(std::memory_order_relaxed);
            left.aim(g * (pn > 0 ? dbToGain(-pn) : 1.0f), glide);
            right.aim(g * (pn < 0 ? dbToGain(pn) : 1.0f), glide);
            aimVolume = v;
            aimPan = pn;
            jump = false;
        }
        const float* src;
        if (!swr) {
            readFrames(source.data(), frames);
            src = source.data();
        } else {
            const std::uint32_t cap = static_cast<std::uint32_t>(fifo.size() / 2);
            for (int round = 0; round < 8 && fifoFrames < frames; ++round) {
                const std::uint64_t need = frames - fifoFrames;
                std::uint32_t in = static_cast<std::uint32_t>(
                    (need * static_cast<std::uint64_t>(format.sampleRate) +
                     SoundDevice::kSampleRate - 1) /
                        SoundDevice::kSampleRate +
                    1);
                in = std::min<std::uint32_t>(in, static_cast<std::uint32_t>(source.size() / 2));
                readFrames(source.data(), in);
                auto* outPtr = reinterpret_cast<std::uint8_t*>(fifo.data() + 2 * fifoFrames);
                const auto* inPtr = reinterpret_cast<const std::uint8_t*>(source.data());
                const int got = swr_convert(swr, &outPtr, static_cast<int>(cap - fifoFrames),
                                            &inPtr, static_cast<int>(in));
                if (got > 0)
                    fifoFrames += static_cast<std::uint32_t>(got);
            }
            src = fifo.data();
        }
        const std::uint32_t n = swr ? std::min(frames, fifoFrames) : frames;
        std::uint32_t i = 0;
        for (const std::uint32_t gliding = std::min(n, left.left); i < gliding; ++i) {
            acc[2 * i] += src[2 * i] * left.next();
            acc[2 * i + 1] += src[2 * i + 1] * right.next();
        }
        const auto gl = static_cast<float>(left.gain);
        const auto gr = static_cast<float>(right.gain);
        for (; i < n; ++i) {
            acc[2 * i] += src[2 * i] * gl;
            acc[2 * i + 1] += src[2 * i + 1] * gr;
        }
        if (swr) {
            std::memmove(fifo.data(), fifo.data() + 2 * n, (fifoFrames - n) * 2 * sizeof(float));
            fifoFrames -= n;
        }
    }
};

// The device's shared core: the buffer list, the master volume and the mix.
class SoundDeviceCore {
public:
    SoundDeviceCore() : accumulator(2 * kChunkFrames) { buffers.reserve(64); }

    // Mixes `frames` frames into `out` (interleaved stereo) when `renderer` is the output now in
    // use, else gives silence: an output being opened in the background must not move the
    // cursors before it takes over. mixer thread
    void render(std::uint64_t renderer, std::int16_t* out, std::uint32_t frames) {
        std::lock_guard guard(listMutex);
        if (renderer != activeRenderer) {
            std::fill(out, out + 2 * static_cast<std::size_t>(frames), std::int16_t{0});
            return;
        }
        mix(out, frames);
    }

    // The same for the one output there is (the manual one). mixer thread
    void renderActive(std::int16_t* out, std::uint32_t frames) {
        std::lock_guard guard(listMutex);
        mix(out, frames);
    }

    // listMutex held
    void mix(std::int16_t* out, std::uint32_t frames) {
        lastMixMs.store(std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count(),
                        std::memory_order_relaxed);
        const std::uint32_t master = masterVolume.load(std::memory_order_relaxed);
        if (master != masterAim) {
            const std::uint32_t glide = masterGlideFrames.load(std::memory_order_relaxed);
            masterLeft.aim(static_cast<double>(master & 0xFFFFu) / 65535.0, glide);
            masterRight.aim(static_cast<double>(master >> 16) / 65535.0, glide);
            masterAim = master;
        }
        while (frames > 0) {
            const std::uint32_t n = std::min(frames, kChunkFrames);
            std::fill(accumulator.begin(), accumulator.begin() + 2 * n, 0.0f);
            for (SoundBuffer::State* s : buffers) {
                if (s->playing.load(std::memory_order_relaxed) &&
                    !s->lost.load(std::memory_order_relaxed))
                    s->mixInto(accumulator.data(), n);
            }
            std::uint32_t i = 0;
            for (const std::uint32_t gliding = std::min(n, masterLeft.left); i < gliding; ++i) {
                out[2 * i] = clip(accumulator[2 * i] * masterLeft.next());
                out[2 * i + 1] = clip(accumulator[2 * i + 1] * masterRight.next());
            }
            const auto ml = static_cast<float>(masterLeft.gain);
            const auto mr = static_cast<float>(masterRight.gain);
            for (; i < n; ++i) {
                out[2 * i] = clip(accumulator[2 * i] * ml);
                out[2 * i + 1] = clip(accumulator[2 * i + 1] * mr);
            }
            if (tap)
                tap->write(out, n);
            out += 2 * n;
            frames -= n;
            framesMixed.fetch_add(n, std::memory_order_relaxed);
        }
    }

    static std::int16_t clip(float v) {
        if (v >= 32767.0f)
            return 32767;
        if (v <= -32768.0f)
            return -32768;
        return static_cast<std::int16_t>(std::lrintf(v));
    }

    // The output `renderer` went away; a retired one no longer counts. Any thread.
    void lose(std::uint64_t renderer) {
        std::lock_guard guard(listMutex);
        if (renderer == activeRenderer)
            loseAllLocked();
    }

    void loseAll() {
        std::lock_guard guard(listMutex);
        loseAllLocked();
    }

    void loseAllLocked() {
        for (SoundBuffer::State* s : buffers) {
            s->lost.store(true);
            s->playing.store(false);
        }
        gone = true;
    }

    std::mutex listMutex;
    std::vector<SoundBuffer::State*> buffers; // guarded by listMutex
    bool gone = false;                        // guarded by listMutex
    std::uint64_t activeRenderer = 0;         // guarded by listMutex: the output in use
    std::vector<float> accumulator;           // mixer
    std::shared_ptr<StreamTap> tap;           // guarded by listMutex
    std::atomic<std::uint32_t> masterVolume{0xFFFFFFFFu};
    std::atomic<std::uint32_t> masterGlideFrames{0};
    std::uint32_t masterAim = 0xFFFFFFFFu; // mixer: the master volume the gains move to
    Glide masterLeft, masterRight;         // mixer
    std::atomic<std::uint64_t> framesMixed{0};
    std::atomic<std::int64_t> lastMixMs{0}; // steady clock ms of the last mix; 0: none
};

// Tells standard error that the device plays silently, and why.
inline void sayNoSound(const QString& error) {
    std::fprintf(stderr, "corvalinradio: no sound output (%s); playing silently.\n",
                 error.toLocal8Bit().constData());
}

} // namespace corvalin
