#include "voice/speech/SpeechWorkerProtocol.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace corvalin::speechworker;

namespace {

bool knownType(std::uint32_t t) {
    return t == kSpeak || t == kCancel || t == kHello || t == kAudio || t == kEvent || t == kDone;
}

// Reads what the program and the worker read from a payload; the sanitizers watch the bounds.
void readPayload(const Frame& f) {
    const std::string_view p(f.payload);
    volatile std::uint64_t sink = 0;
    for (std::size_t at : {std::size_t(0), std::size_t(4), std::size_t(12), p.size() - 1, p.size(),
                           p.size() + 1, std::size_t(-1), std::size_t(-4)})
        sink = sink + readU32(p, at) + readU64(p, at);
    const std::uint32_t voiceLength = readU32(p, 0);
    if (4 + std::size_t(voiceLength) <= p.size())
        sink = sink + p.substr(4, voiceLength).size() + p.substr(4 + voiceLength).size();
    (void)sink;
}

} // namespace

// The first byte picks the sizes of the pieces the rest of the input arrives in.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const unsigned cut = data[0];
    const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);

    FrameReader reader;
    std::size_t fed = 0;
    std::size_t parsed = 0; // bytes of the stream taken as whole frames
    unsigned step = 0;
    while (true) {
        Frame f;
        while (reader.next(f)) {
            // Each frame is exactly the bytes that follow the previous one.
            if (f.payload.size() > kMaxPayload || !knownType(f.type) ||
                encodeFrame(f.type, f.utterance, f.payload) !=
                    stream.substr(parsed, kHeaderSize + f.payload.size()))
                __builtin_trap();
            parsed += kHeaderSize + f.payload.size();
            if (parsed > fed)
                __builtin_trap();
            readPayload(f);
        }
        // A whole header of an oversize or unknown frame must fail the stream, not wait.
        if (!reader.failed() && fed - parsed >= kHeaderSize) {
            const std::uint32_t type = readU32(stream, parsed);
            const std::uint32_t length = readU32(stream, parsed + 8);
            if (length > kMaxPayload || !knownType(type) || fed - parsed >= kHeaderSize + length)
                __builtin_trap();
        }
        if (fed == stream.size())
            break;
        const std::size_t piece = std::min<std::size_t>(
            stream.size() - fed, cut == 0 ? stream.size() : 1 + ((cut * 7 + step++ * 13) % cut));
        reader.append(stream.data() + fed, piece);
        fed += piece;
    }
    if (reader.failed()) {
        Frame f;
        reader.append("\0\0\0\0\0\0\0\0\0\0\0\0", kHeaderSize);
        if (reader.next(f))
            __builtin_trap();
    }
    return 0;
}
