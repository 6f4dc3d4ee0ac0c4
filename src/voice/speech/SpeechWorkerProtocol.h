#pragma once

// The frames exchanged with the speech worker process over one socket. Header-only and free of Qt,
// so the worker stays small. Both ends run on the same machine: integers are in host order.
//
// Every frame: type (u32), utterance id (u32), payload length (u32), payload.

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace corvalin::speechworker {

enum FrameType : std::uint32_t {
    // Program to worker.
    kSpeak = 1,  // payload: voice length (u32), voice id, SSML (UTF-8)
    kCancel = 2, // stop the utterance being synthesised
    // Worker to program.
    kHello = 10, // payload: sample rate (u32); sent once at start (0: espeak-ng failed)
    kAudio = 11, // payload: 16-bit mono samples
    kEvent = 12, // payload: kind (u32), sample index (u64), value (u32)
    kDone = 13,  // payload: status (u32), 0 when the whole text was synthesised
};

enum EventKind : std::uint32_t {
    kWordEvent = 1, // value: espeak-ng's text position (1-based code point index into the SSML)
    kMarkEvent = 2, // value: the mark number
};

inline constexpr std::uint32_t kHeaderSize = 12;
inline constexpr std::uint32_t kMaxPayload = 4u << 20;
// Environment variable the worker reads, for tests only: "crash" or "hang" after the first chunk.
inline constexpr const char* kFaultVariable = "CORVALIN_SPEECH_WORKER_FAULT";

struct Frame {
    std::uint32_t type = 0;
    std::uint32_t utterance = 0;
    std::string payload;
};

inline void appendU32(std::string& out, std::uint32_t v) {
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}
inline void appendU64(std::string& out, std::uint64_t v) {
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}
// Values read past the end are 0.
inline std::uint32_t readU32(std::string_view s, std::size_t at) {
    std::uint32_t v = 0;
    if (at <= s.size() && s.size() - at >= sizeof v) { // no wrap-around for any `at`
        std::memcpy(&v, s.data() + at, sizeof v);
    }
    return v;
}
inline std::uint64_t readU64(std::string_view s, std::size_t at) {
    std::uint64_t v = 0;
    if (at <= s.size() && s.size() - at >= sizeof v) { // no wrap-around for any `at`
        std::memcpy(&v, s.data() + at, sizeof v);
    }
    return v;
}

inline std::string encodeFrame(std::uint32_t type, std::uint32_t utterance,
                               std::string_view payload) {
    std::string out;
    out.reserve(kHeaderSize + payload.size());
    appendU32(out, type);
    appendU32(out, utterance);
    appendU32(out, static_cast<std::uint32_t>(payload.size()));
    out.append(payload);
    return out;
}

inline std::string speakPayload(std::string_view voice, std::string_view ssml) {
    std::string p;
    appendU32(p, static_cast<std::uint32_t>(voice.size()));
    p.append(voice);
    p.append(ssml);
    return p;
}

inline std::string eventPayload(std::uint32_t kind, std::uint64_t sample, std::uint32_t value) {
    std::string p;
    appendU32(p, kind);
    appendU64(p, sample);
    appendU32(p, value);
    return p;
}

// Moves `size` bytes through a blocking descriptor: `step(done)` reads, writes or sends what is
// left from offset `done` and returns the system call's result. A signal only retries; false when
// the other end has gone or the call failed.
template <class Step> bool transferAll(std::size_t size, Step step) {
    std::size_t done = 0;
    while (done < size) {
        const auto n = step(done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Splits a byte stream into frames. A frame larger than kMaxPayload or of an unknown type makes
// the stream invalid for good (the other end is then treated as broken).
class FrameReader {
public:
    void append(const char* data, std::size_t size) { buffer_.append(data, size); }

    // The next whole frame, if one has arrived.
    bool next(Frame& frame) {
        if (failed_ || buffer_.size() - pos_ < kHeaderSize) {
            return false;
        }
        const std::string_view view(buffer_);
        const std::uint32_t type = readU32(view, pos_);
        const std::uint32_t length = readU32(view, pos_ + 8);
        if (length > kMaxPayload || !knownType(type)) {
            failed_ = true;
            return false;
        }
        if (buffer_.size() - pos_ < kHeaderSize + length) {
            return false;
        }
        frame.type = type;
        frame.utterance = readU32(view, pos_ + 4);
        frame.payload.assign(buffer_, pos_ + kHeaderSize, length);
        pos_ += kHeaderSize + length;
        if (pos_ == buffer_.size()) {
            buffer_.clear();
            pos_ = 0;
        } else if (pos_ > (1u << 16)) {
            buffer_.erase(0, pos_);
            pos_ = 0;
        }
        return true;
    }

    bool failed() const { return failed_; }

private:
    static bool knownType(std::uint32_t t) {
        return t == kSpeak || t == kCancel || t == kHello || t == kAudio || t == kEvent ||
               t == kDone;
    }

    std::string buffer_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

} // namespace corvalin::speechworker
