// corvalin-speech-worker: synthesises speech with espeak-ng for the station, in a process of its
// own so that a fault in the engine can never take the station down. It reads requests on stdin and
// writes PCM chunks and events on stdout (see SpeechWorkerProtocol.h) until stdin closes.

#include "voice/speech/SpeechWorkerProtocol.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <espeak-ng/speak_lib.h>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace sw = corvalin::speechworker;

namespace {

int gIn = 0;
int gOut = -1;
int gRate = 0;
std::uint32_t gUtterance = 0;
bool gFirstChunkSent = false;
const char* gFault = nullptr;

bool writeAll(const std::string& bytes) {
    const bool written = sw::transferAll(bytes.size(), [&](std::size_t done) {
        return ::write(gOut, bytes.data() + done, bytes.size() - done);
    });
    if (!written) {
        std::_Exit(3); // the program has gone
    }
    return true;
}

bool readAll(char* data, std::size_t size) {
    return sw::transferAll(size,
                           [&](std::size_t done) { return ::read(gIn, data + done, size - done); });
}

bool readFrame(sw::Frame& frame) {
    char header[sw::kHeaderSize];
    if (!readAll(header, sizeof header)) {
        return false;
    }
    const std::string_view h(header, sizeof header);
    frame.type = sw::readU32(h, 0);
    frame.utterance = sw::readU32(h, 4);
    const std::uint32_t length = sw::readU32(h, 8);
    if (length > sw::kMaxPayload) {
        return false;
    }
    frame.payload.resize(length);
    return readAll(frame.payload.data(), length);
}

// A request waiting on stdin ends the utterance being synthesised.
bool requestWaiting() {
    pollfd p{gIn, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

int onSynth(short* wav, int samples, espeak_EVENT* events) {
    if (samples > 0 && wav != nullptr) {
        writeAll(sw::encodeFrame(
            sw::kAudio, gUtterance,
            std::string_view(reinterpret_cast<const char*>(wav), std::size_t(samples) * 2)));
    }
    for (espeak_EVENT* e = events; e != nullptr && e->type != espeakEVENT_LIST_TERMINATED; ++e) {
        const auto sample = std::uint64_t(e->audio_position) * std::uint64_t(gRate) / 1000u;
        if (e->type == espeakEVENT_WORD) {
            writeAll(sw::encodeFrame(
                sw::kEvent, gUtterance,
                sw::eventPayload(sw::kWordEvent, sample, std::uint32_t(e->text_position))));
        } else if (e->type == espeakEVENT_MARK && e->id.name != nullptr) {
            char* end = nullptr;
            errno = 0;
            const unsigned long number = std::strtoul(e->id.name, &end, 10);
            if (end != e->id.name && *end == '\0' && errno == 0 && number <= 0xFFFFFFFFul) {
                writeAll(sw::encodeFrame(
                    sw::kEvent, gUtterance,
                    sw::eventPayload(sw::kMarkEvent, sample, std::uint32_t(number))));
            }
        }
    }
    if (samples > 0 && !gFirstChunkSent) {
        gFirstChunkSent = true;
        if (gFault != nullptr && std::strcmp(gFault, "crash") == 0) {
            std::abort();
        }
        if (gFault != nullptr && std::strcmp(gFault, "hang") == 0) {
            for (;;) {
                ::pause();
            }
        }
    }
    return requestWaiting() ? 1 : 0;
}

void speak(const sw::Frame& request) {
    const std::string_view p(request.payload);
    const std::uint32_t voiceLength = sw::readU32(p, 0);
    std::uint32_t status = 1;
    if (4 + std::size_t(voiceLength) <= p.size()) {
        const std::string voice(p.substr(4, voiceLength));
        const std::string ssml(p.substr(4 + voiceLength));
        gUtterance = request.utterance;
        gFirstChunkSent = false;
        if (espeak_SetVoiceByName(voice.c_str()) == EE_OK) {
            const espeak_ERROR r = espeak_Synth(ssml.c_str(), ssml.size() + 1, 0, POS_CHARACTER, 0,
                                                espeakCHARS_UTF8 | espeakSSML, nullptr, nullptr);
            status = r == EE_OK ? 0 : 2;
        }
    }
    std::string payload;
    sw::appendU32(payload, status);
    writeAll(sw::encodeFrame(sw::kDone, request.utterance, payload));
}

} // namespace

int main() {
    // Frames go out on a descriptor of their own; anything the engine prints goes to stderr.
    gOut = ::dup(STDOUT_FILENO);
    if (gOut < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        return 2;
    }
    std::signal(SIGPIPE, SIG_DFL);
    gFault = std::getenv(sw::kFaultVariable);

    gRate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 40, nullptr, espeakINITIALIZE_DONT_EXIT);
    std::string hello;
    sw::appendU32(hello, gRate > 0 ? std::uint32_t(gRate) : 0u);
    writeAll(sw::encodeFrame(sw::kHello, 0, hello));
    if (gRate <= 0) {
        return 1;
    }
    espeak_SetSynthCallback(onSynth);

    sw::Frame frame;
    while (readFrame(frame)) {
        if (frame.type == sw::kSpeak) {
            speak(frame);
        }
    }
    espeak_Terminate();
    return 0;
}
