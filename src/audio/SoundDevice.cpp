// The sound device: its making, its buffers, the master volume, the manual output and the stream
// tap. Watching the output and bringing it back after a loss is in SoundDeviceRecovery.cpp.
#include "audio/SoundDevice.h"

#include "audio/SoundBackends.h"
#include "audio/SoundDeviceCore.h"
#include "audio/StreamTap.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace corvalin {

namespace {

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
