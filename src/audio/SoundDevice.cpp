#include "audio/SoundDevice.h"

#include "audio/SoundBackends.h"
#include "audio/StreamTap.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace corvalin {

namespace {

constexpr std::uint32_t kChunkFrames = 1024; // the mixer works in pieces of at most this size

float dbToGain(std::int32_t hundredthsDb) {
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

std::uint32_t msToFrames(std::uint32_t ms) {
    return static_cast<std::uint32_t>(std::uint64_t{ms} * SoundDevice::kSampleRate / 1000);
}

} // namespace

bool PcmFormat::valid() const {
    return sampleRate >= 100 && sampleRate <= 200000 && (channels == 1 || channels == 2) &&
           (bitsPerSample == 8 || bitsPerSample == 16);
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

// --- SoundBuffer ---------------------------------------------------------------------------

SoundBuffer::SoundBuffer(std::shared_ptr<SoundDeviceCore> core, const PcmFormat& format,
                         std::uint32_t size)
    : core_(std::move(core)), format_(format), size_(size), state_(std::make_shared<State>()) {}

SoundBuffer::~SoundBuffer() {
    std::lock_guard guard(core_->listMutex);
    auto& list = core_->buffers;
    list.erase(std::remove(list.begin(), list.end(), state_.get()), list.end());
}

std::int32_t SoundBuffer::Lock(std::uint32_t offset, std::uint32_t bytes, void** ptr1,
                               std::uint32_t* len1, void** ptr2, std::uint32_t* len2) {
    if (!ptr1 || !len1 || offset >= size_ || bytes == 0 || bytes > size_)
        return kSoundInvalidParam;
    if (state_->lost.load())
        return kSoundBufferLost;
    std::uint8_t* base = state_->ring.get();
    *ptr1 = base + offset;
    if (offset + bytes <= size_) {
        *len1 = bytes;
        if (ptr2)
            *ptr2 = nullptr;
        if (len2)
            *len2 = 0;
    } else {
        *len1 = size_ - offset;
        if (!ptr2 || !len2)
            return kSoundInvalidParam;
        *ptr2 = base;
        *len2 = bytes - *len1;
    }
    return kSoundOk;
}

std::int32_t SoundBuffer::Unlock(void* ptr1, std::uint32_t len1, void* ptr2, std::uint32_t len2) {
    auto inside = [this](void* p, std::uint32_t len) {
        if (!p)
            return len == 0;
        auto* b = static_cast<std::uint8_t*>(p);
        return b >= state_->ring.get() && b + len <= state_->ring.get() + size_;
    };
    if (!inside(ptr1, len1) || !inside(ptr2, len2))
        return kSoundInvalidParam;
    // The mixer reads these bytes later: publish them (it acquires this count before mixing).
    state_->unlocks.fetch_add(1, std::memory_order_release);
    return kSoundOk;
}

std::int32_t SoundBuffer::Play() {
    std::lock_guard guard(core_->listMutex);
    if (state_->lost.load())
        return kSoundBufferLost;
    state_->playing.store(true);
    return kSoundOk;
}

std::int32_t SoundBuffer::Stop() {
    std::lock_guard guard(core_->listMutex);
    state_->playing.store(false);
    return kSoundOk;
}

std::int32_t SoundBuffer::SetCurrentPosition(std::uint32_t offset) {
    if (offset >= size_)
        return kSoundInvalidParam;
    std::lock_guard guard(core_->listMutex);
    state_->cursor.store(offset - offset % state_->block);
    state_->fifoFrames = 0;
    return kSoundOk;
}

std::int32_t SoundBuffer::GetCurrentPosition(std::uint32_t* playCursor) const {
    if (!playCursor)
        return kSoundInvalidParam;
    *playCursor = state_->cursor.load(std::memory_order_acquire);
    return kSoundOk;
}

std::int32_t SoundBuffer::SetVolume(std::int32_t hundredthsDb) {
    if (hundredthsDb < -10000 || hundredthsDb > 0)
        return kSoundInvalidParam;
    std::lock_guard guard(core_->listMutex);
    state_->volume.store(hundredthsDb);
    if (!state_->playing.load())
        state_->jump = true;
    return kSoundOk;
}

std::int32_t SoundBuffer::SetVolumeGlide(std::uint32_t ms) {
    if (ms > 60000)
        return kSoundInvalidParam;
    state_->glideFrames.store(msToFrames(ms));
    return kSoundOk;
}

std::int32_t SoundBuffer::GetVolume(std::int32_t* hundredthsDb) const {
    if (!hundredthsDb)
        return kSoundInvalidParam;
    *hundredthsDb = state_->volume.load();
    return kSoundOk;
}

std::int32_t SoundBuffer::SetPan(std::int32_t hundredthsDb) {
    if (hundredthsDb < -10000 || hundredthsDb > 10000)
        return kSoundInvalidParam;
    std::lock_guard guard(core_->listMutex);
    state_->pan.store(hundredthsDb);
    if (!state_->playing.load())
        state_->jump = true;
    return kSoundOk;
}

std::int32_t SoundBuffer::GetPan(std::int32_t* hundredthsDb) const {
    if (!hundredthsDb)
        return kSoundInvalidParam;
    *hundredthsDb = state_->pan.load();
    return kSoundOk;
}

bool SoundBuffer::isPlaying() const {
    return state_->playing.load();
}

bool SoundBuffer::isLost() const {
    return state_->lost.load();
}

// --- SoundDevice ---------------------------------------------------------------------------

namespace {

void sayNoSound(const QString& error) {
    std::fprintf(stderr, "corvalinradio: no sound output (%s); playing silently.\n",
                 error.toLocal8Bit().constData());
}

std::int64_t steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

SoundDevice::SoundDevice(SoundDeviceOptions options)
    : core_(std::make_shared<SoundDeviceCore>()), options_(std::move(options)) {
    if (!options_.openBackend)
        options_.openBackend = makeSoundBackend;
    if (!options_.clockMs)
        options_.clockMs = steadyMs;
}

SoundDevice::~SoundDevice() {
    stopSupervisor();
    {
        std::lock_guard guard(backendMutex_);
        if (backend_)
            backend_->stop();
    }
    core_->loseAll();
}

std::unique_ptr<SoundBackend> SoundDevice::openBackend(const QString& spec, std::uint64_t renderer,
                                                       QString* error) {
    SoundDeviceCore* core = core_.get();
    auto render = [core, renderer](std::int16_t* out, std::uint32_t frames) {
        core->render(renderer, out, frames);
    };
    auto lose = [core, renderer] { core->lose(renderer); };
    return options_.openBackend(spec, render, lose, error);
}

std::uint64_t SoundDevice::useNextRenderer() {
    const std::uint64_t renderer = ++lastRenderer_;
    std::lock_guard list(core_->listMutex);
    core_->activeRenderer = renderer;
    return renderer;
}

void SoundDevice::startSupervisor() {
    supervisor_ = std::thread([this] {
        std::unique_lock lock(supervisorMutex_);
        while (!supervisorStop_) {
            supervisorWake_.wait_for(lock, std::chrono::milliseconds(250));
            if (supervisorStop_)
                break;
            lock.unlock();
            supervise();
            lock.lock();
        }
    });
}

void SoundDevice::stopSupervisor() {
    {
        std::lock_guard guard(supervisorMutex_);
        supervisorStop_ = true;
    }
    supervisorWake_.notify_all();
    if (supervisor_.joinable())
        supervisor_.join();
}

void SoundDevice::supervise() {
    const std::int64_t now = options_.clockMs();
    watchForStall(now);
    retryIfDue(now);
}

void SoundDevice::watchForStall(std::int64_t now) {
    std::lock_guard guard(backendMutex_);
    const std::uint64_t frames = core_->framesMixed.load();
    bool gone;
    {
        std::lock_guard list(core_->listMutex);
        gone = core_->gone;
    }
    // Only a sound card's output can stall; one already taken for lost waits for the next buffer
    // to open it again. A late round (the machine slept or was starved) starts the watch afresh.
    const bool late = now - lastSuperviseMs_ > kStallMs / 2;
    lastSuperviseMs_ = now;
    if (!backend_ || !backend_->canStall() || gone || late || backend_.get() != watched_ ||
        frames != watchFrames_) {
        watched_ = backend_.get();
        watchFrames_ = frames;
        watchSinceMs_ = now;
        return;
    }
    if (now - watchSinceMs_ < kStallMs)
        return;
    std::fprintf(stderr, "corvalinradio: the sound output stopped playing; opening it again.\n");
    backend_->stalled();
    core_->loseAll();
    watchSinceMs_ = now;
}

std::shared_ptr<SoundDevice> SoundDevice::create() {
    return create(QString::fromLocal8Bit(qgetenv("CORVALIN_AUDIO")));
}

std::shared_ptr<SoundDevice> SoundDevice::create(const QString& backend) {
    return create(backend, SoundDeviceOptions());
}

std::shared_ptr<SoundDevice> SoundDevice::create(const QString& backend,
                                                 SoundDeviceOptions options) {
    const bool supervised = options.supervisorThread;
    std::shared_ptr<SoundDevice> device(new SoundDevice(std::move(options)));
    {
        std::lock_guard guard(device->backendMutex_);
        device->requested_ = backend.trimmed();
        device->status_.requested = device->requested_;
        QString error;
        device->backend_ =
            device->openBackend(device->requested_, device->useNextRenderer(), &error);
        if (!device->backend_) {
            static std::atomic<bool> said{false};
            if (!said.exchange(true))
                sayNoSound(error);
            QString ignored;
            device->backend_ =
                device->openBackend(QStringLiteral("null"), device->useNextRenderer(), &ignored);
            device->status_.fallback = true;
            device->status_.reason = error;
        }
        device->status_.backend = device->backend_->name();
    }
    if (supervised && device->requested_ != QLatin1String("manual"))
        device->startSupervisor();
    return device;
}

bool SoundDevice::reopenBackend(SoundOutputStatus* now) {
    std::lock_guard guard(backendMutex_);
    bool gone;
    {
        std::lock_guard list(core_->listMutex);
        gone = core_->gone;
    }
    if (!gone)
        return false;
    // One backend renders at a time: the old one stops before the next starts.
    if (backend_)
        backend_->stop();
    backend_.reset();
    SoundOutputStatus next = status_;
    QString error;
    backend_ = openBackend(requested_, useNextRenderer(), &error);
    if (backend_) {
        next.fallback = false;
        next.reason.clear();
        retry_ = false;
    } else {
        QString ignored;
        backend_ = openBackend(QStringLiteral("null"), useNextRenderer(), &ignored);
        next.fallback = true;
        next.reason = error;
        // The device may come back: the supervisor tries it again, ever less often.
        retry_ = true;
        retryDelayMs_ = kFirstRetryMs;
        retryAtMs_ = options_.clockMs() + retryDelayMs_;
    }
    ++backendSerial_;
    {
        std::lock_guard list(core_->listMutex);
        core_->gone = false;
    }
    return takeStatus(next, now);
}

bool SoundDevice::takeStatus(SoundOutputStatus next, SoundOutputStatus* now) {
    next.backend = backend_->name();
    const bool changed = next.backend != status_.backend || next.fallback != status_.fallback ||
                         next.reason != status_.reason;
    if (changed && next.fallback)
        sayNoSound(next.reason);
    status_ = next;
    *now = next;
    return changed;
}

void SoundDevice::retryIfDue(std::int64_t now) {
    std::unique_lock guard(backendMutex_);
    if (!retry_ || now < retryAtMs_)
        return;
    const std::uint64_t serial = backendSerial_;
    const std::uint64_t renderer = ++lastRenderer_; // silent until it takes over
    const QString spec = requested_;
    // Opening a sound card may take seconds: nothing waits for it meanwhile, and the silent
    // output goes on moving the cursors.
    guard.unlock();
    QString error;
    std::unique_ptr<SoundBackend> fresh = openBackend(spec, renderer, &error);
    guard.lock();
    if (serial != backendSerial_ || !retry_) { // the output changed meanwhile
        guard.unlock();
        if (fresh)
            fresh->stop();
        return;
    }
    SoundOutputStatus next = status_;
    if (!fresh) {
        retryDelayMs_ = std::min(retryDelayMs_ * 2, kLastRetryMs);
        retryAtMs_ = options_.clockMs() + retryDelayMs_;
        next.reason = error;
    } else {
        {
            std::lock_guard list(core_->listMutex);
            core_->activeRenderer = renderer;
        }
        backend_->stop();
        backend_ = std::move(fresh);
        ++backendSerial_;
        retry_ = false;
        next.fallback = false;
        next.reason.clear();
    }
    SoundOutputStatus changed;
    const bool report = takeStatus(next, &changed);
    guard.unlock();
    if (report)
        reportStatus(changed);
}

void SoundDevice::reportStatus(const SoundOutputStatus& status) {
    auto deliver = [](SoundDevice& device, const SoundOutputStatus& s) {
        StatusHandler handler;
        {
            std::lock_guard guard(device.backendMutex_);
            handler = device.handler_;
        }
        if (handler)
            handler(s);
    };
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        deliver(*this, status);
        return;
    }
    std::weak_ptr<SoundDevice> self = weak_from_this();
    QMetaObject::invokeMethod(
        app,
        [self, status, deliver] {
            if (std::shared_ptr<SoundDevice> device = self.lock())
                deliver(*device, status);
        },
        Qt::QueuedConnection);
}

SoundOutputStatus SoundDevice::outputStatus() const {
    std::lock_guard guard(backendMutex_);
    return status_;
}

void SoundDevice::setStatusHandler(StatusHandler handler) {
    std::lock_guard guard(backendMutex_);
    handler_ = std::move(handler);
}

std::unique_ptr<SoundBuffer> SoundDevice::createBuffer(const PcmFormat& format, std::uint32_t bytes,
                                                       std::int32_t* result) {
    SoundOutputStatus now;
    if (reopenBackend(&now))
        reportStatus(now);
    auto fail = [result](std::int32_t code) {
        if (result)
            *result = code;
        return std::unique_ptr<SoundBuffer>();
    };
    if (!format.valid())
        return fail(kSoundBadFormat);
    const auto block = static_cast<std::uint32_t>(format.blockAlign());
    if (bytes < block || bytes % block != 0 || bytes > 256u * 1024 * 1024)
        return fail(kSoundInvalidParam);

    std::unique_ptr<SoundBuffer> buffer(new SoundBuffer(core_, format, bytes));
    SoundBuffer::State& s = *buffer->state_;
    s.format = format;
    s.size = bytes;
    s.block = block;
    s.ring.reset(new (std::nothrow) std::uint8_t[bytes]);
    if (!s.ring)
        return fail(kSoundOutOfMemory);
    std::memset(s.ring.get(), format.bitsPerSample == 8 ? 0x80 : 0, bytes);
    if (format.sampleRate == kSampleRate) {
        s.source.resize(2 * kChunkFrames);
    } else {
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        if (swr_alloc_set_opts2(&s.swr, &stereo, AV_SAMPLE_FMT_FLT, kSampleRate, &stereo,
                                AV_SAMPLE_FMT_FLT, format.sampleRate, 0, nullptr) < 0 ||
            swr_init(s.swr) < 0)
            return fail(kSoundBadFormat);
        const std::uint64_t maxIn = static_cast<std::uint64_t>(kChunkFrames) *
                                        static_cast<std::uint64_t>(format.sampleRate) /
                                        kSampleRate +
                                    2;
        s.source.assign(2 * maxIn, 0.0f);
        s.fifo.assign(2 * (2 * kChunkFrames + 64), 0.0f);
        // Warm the resampler with silence so its own buffers are allocated here, not in the mixer.
        std::vector<float> out(2 * (kChunkFrames + 256));
        auto* outPtr = reinterpret_cast<std::uint8_t*>(out.data());
        const auto* inPtr = reinterpret_cast<const std::uint8_t*>(s.source.data());
        for (int i = 0; i < 2; ++i)
            swr_convert(s.swr, &outPtr, kChunkFrames + 256, &inPtr, static_cast<int>(maxIn));
    }
    {
        std::lock_guard guard(core_->listMutex);
        if (core_->gone)
            s.lost.store(true);
        core_->buffers.push_back(&s);
    }
    if (result)
        *result = kSoundOk;
    return buffer;
}

void SoundDevice::setMasterVolume(std::uint32_t twoHalves, std::uint32_t glideMs) {
    core_->masterGlideFrames.store(msToFrames(std::min<std::uint32_t>(glideMs, 60000)));
    core_->masterVolume.store(twoHalves);
}

std::uint32_t SoundDevice::masterVolume() const {
    return core_->masterVolume.load();
}

QString SoundDevice::backendName() const {
    std::lock_guard guard(backendMutex_);
    return backend_ ? backend_->name() : QString();
}

bool SoundDevice::isManual() const {
    return backendName() == QLatin1String("manual");
}

bool SoundDevice::advance(std::uint32_t frames, std::vector<std::int16_t>* mix) {
    if (!isManual())
        return false;
    std::int16_t scratch[2 * kChunkFrames];
    while (frames > 0) {
        const std::uint32_t n = std::min(frames, kChunkFrames);
        core_->renderActive(scratch, n);
        if (mix)
            mix->insert(mix->end(), scratch, scratch + 2 * n);
        frames -= n;
    }
    return true;
}

void SoundDevice::setStreamTap(std::shared_ptr<StreamTap> tap) {
    std::shared_ptr<StreamTap> old;
    {
        std::lock_guard guard(core_->listMutex);
        old = std::exchange(core_->tap, std::move(tap));
    }
    // `old` is released here, outside the lock the mixer takes.
}

std::int64_t SoundDevice::lastMixMs() const {
    return core_->lastMixMs.load(std::memory_order_relaxed);
}

std::uint64_t SoundDevice::framesMixed() const {
    return core_->framesMixed.load();
}

void SoundDevice::loseBuffers() {
    core_->loseAll();
}

} // namespace corvalin
