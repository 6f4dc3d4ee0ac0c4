#include "audio/StreamTap.h"

#include <algorithm>
#include <cstring>

namespace corvalin {

StreamTap::StreamTap(std::uint32_t capacityFrames)
    : capacity_(std::max<std::uint32_t>(capacityFrames, 1)),
      samples_(new std::int16_t[2 * static_cast<std::size_t>(capacity_)]()) {}

void StreamTap::write(const std::int16_t* interleaved, std::uint32_t frames) {
    const std::uint64_t head = head_.load(std::memory_order_relaxed);
    const std::uint64_t tail = tail_.load(std::memory_order_acquire);
    const auto room = static_cast<std::uint32_t>(capacity_ - (head - tail));
    const std::uint32_t n = std::min(room, frames);
    const auto at = static_cast<std::uint32_t>(head % capacity_);
    const std::uint32_t first = std::min(n, capacity_ - at);
    std::memcpy(samples_.get() + 2 * static_cast<std::size_t>(at), interleaved,
                first * 2 * sizeof(std::int16_t));
    std::memcpy(samples_.get(), interleaved + 2 * static_cast<std::size_t>(first),
                (n - first) * 2 * sizeof(std::int16_t));
    head_.store(head + n, std::memory_order_release);
    written_.fetch_add(frames, std::memory_order_relaxed);
    if (n < frames)
        dropped_.fetch_add(frames - n, std::memory_order_relaxed);
}

std::uint32_t StreamTap::read(std::int16_t* out, std::uint32_t maxFrames) {
    const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
    const std::uint64_t head = head_.load(std::memory_order_acquire);
    const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(head - tail, maxFrames));
    const auto at = static_cast<std::uint32_t>(tail % capacity_);
    const std::uint32_t first = std::min(n, capacity_ - at);
    std::memcpy(out, samples_.get() + 2 * static_cast<std::size_t>(at),
                first * 2 * sizeof(std::int16_t));
    std::memcpy(out + 2 * static_cast<std::size_t>(first), samples_.get(),
                (n - first) * 2 * sizeof(std::int16_t));
    tail_.store(tail + n, std::memory_order_release);
    return n;
}

void StreamTap::discard() {
    tail_.store(head_.load(std::memory_order_acquire), std::memory_order_release);
}

std::uint32_t StreamTap::available() const {
    return static_cast<std::uint32_t>(head_.load(std::memory_order_acquire) -
                                      tail_.load(std::memory_order_acquire));
}

} // namespace corvalin
