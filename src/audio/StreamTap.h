#pragma once

// A copy of the device's mix for the stream output: a single-producer, single-consumer ring of
// interleaved 16-bit stereo frames with no lock and no allocation after construction. The mixer
// writes, the stream thread reads. When the reader falls behind (a stalled network), the frames
// that do not fit are dropped and counted: the air never waits for the stream.

#include <atomic>
#include <cstdint>
#include <memory>

namespace corvalin {

class StreamTap {
public:
    // Room for `capacityFrames` stereo frames. Any thread, before the tap is handed to the device.
    explicit StreamTap(std::uint32_t capacityFrames);
    StreamTap(const StreamTap&) = delete;
    StreamTap& operator=(const StreamTap&) = delete;

    std::uint32_t capacity() const { return capacity_; }

    // --- for the writer only (the mixer thread) ---
    // Copies `frames` frames; what does not fit is dropped and counted. Never blocks.
    void write(const std::int16_t* interleaved, std::uint32_t frames);

    // --- for the reader only (the stream thread) ---
    // Copies up to `maxFrames` frames into `out`; returns how many.
    std::uint32_t read(std::int16_t* out, std::uint32_t maxFrames);
    // Throws away everything written so far.
    void discard();

    // --- any thread ---
    std::uint32_t available() const;
    std::uint64_t framesWritten() const { return written_.load(std::memory_order_relaxed); }
    std::uint64_t framesDropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    const std::uint32_t capacity_;
    std::unique_ptr<std::int16_t[]> samples_;
    // Free-running frame counters; the ring index is the count modulo the capacity.
    std::atomic<std::uint64_t> head_{0}; // written by the writer
    std::atomic<std::uint64_t> tail_{0}; // written by the reader
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> dropped_{0};
};

} // namespace corvalin
