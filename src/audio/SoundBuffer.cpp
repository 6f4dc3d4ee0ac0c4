// A sound buffer: the looping ring a deck or the DJ writes and the mixer reads.
#include "audio/SoundDeviceCore.h"

#include <algorithm>
#include <mutex>

namespace corvalin {

bool PcmFormat::valid() const {
    return sampleRate >= 100 && sampleRate <= 200000 && (channels == 1 || channels == 2) &&
           (bitsPerSample == 8 || bitsPerSample == 16);
}

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

} // namespace corvalin
