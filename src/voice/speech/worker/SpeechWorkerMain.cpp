// corvalin-speech-worker: synthesises speech with espeak-ng or Flite for the station, in a process
// of its own so that a fault in an engine can never take the station down. It reads requests on
// stdin and writes PCM chunks and events on stdout (see SpeechWorkerProtocol.h) until stdin closes.
// A voice id that begins with "flite:" is a Flite voice; any other is espeak-ng's.

#include "voice/speech/SpeechWorkerProtocol.h"
#include "voice/speech/worker/FliteText.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <espeak-ng/speak_lib.h>
#include <fcntl.h>
#include <flite/flite.h>
#include <map>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

extern "C" {
cst_voice* register_cmu_us_slt(const char* voxdir);
cst_voice* register_cmu_us_awb(const char* voxdir);
cst_voice* register_cmu_us_rms(const char* voxdir);
cst_voice* register_cmu_us_kal16(const char* voxdir);
void usenglish_init(cst_voice* v);
cst_lexicon* cmu_lex_init(void);
}

namespace sw = corvalin::speechworker;

namespace {

int gIn = 0;
int gOut = -1;
int gRate = 0;
std::uint32_t gUtterance = 0;
bool gFirstChunkSent = false;
const char* gFault = nullptr;

// Called with every chunk that carries sound; the fault asked for strikes after the first one.
void firstChunkSent() {
    if (gFirstChunkSent) {
        return;
    }
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
    if (samples > 0) {
        firstChunkSent();
    }
    return requestWaiting() ? 1 : 0;
}

// --- Flite -------------------------------------------------------------------------------------

constexpr std::string_view kFlitePrefix = "flite:";
// Spoken instead of a Flite voice that cannot be used.
constexpr const char* kFallbackVoice = "en-us";

std::map<std::string, cst_voice*> gFliteVoices;    // loaded this run
std::map<std::string, std::string> gFliteFailures; // voice file -> why it cannot be used

void workerMessage(const std::string& text) {
    const std::string line = "corvalin-speech-worker: " + text + "\n";
    [[maybe_unused]] const auto n = ::write(STDERR_FILENO, line.data(), line.size());
}

// Loads a voice file in a child process first: Flite trusts the file and may crash or end the
// process on a damaged one, which must cost neither this worker nor the talk.
std::string tryVoiceFile(const std::string& path) {
    if (::access(path.c_str(), R_OK) != 0) {
        return std::string("cannot be read (") + std::strerror(errno) + ")";
    }
    const pid_t child = ::fork();
    if (child < 0) {
        return "cannot be checked (fork failed)";
    }
    if (child == 0) {
        ::alarm(10); // a file that makes Flite loop
        const int devNull = ::open("/dev/null", O_WRONLY);
        if (devNull >= 0) {
            ::dup2(devNull, STDERR_FILENO);
        }
        std::_Exit(flite_voice_load(path.c_str()) != nullptr ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return {};
    }
    return WIFSIGNALED(status) ? "is damaged (Flite crashed loading it)"
                               : "is not a Flite voice file or is damaged";
}

// The Flite voice for an id after "flite:": a built-in voice's name, or the path of a .flitevox
// file. Null, with the reason in `why`, when it cannot be used.
cst_voice* fliteVoice(const std::string& name, std::string& why) {
    if (const auto it = gFliteVoices.find(name); it != gFliteVoices.end()) {
        return it->second;
    }
    if (const auto it = gFliteFailures.find(name); it != gFliteFailures.end()) {
        why = it->second;
        return nullptr;
    }
    cst_voice* voice = nullptr;
    if (name == "slt") {
        voice = register_cmu_us_slt(nullptr);
    } else if (name == "awb") {
        voice = register_cmu_us_awb(nullptr);
    } else if (name == "rms") {
        voice = register_cmu_us_rms(nullptr);
    } else if (name == "kal16") {
        voice = register_cmu_us_kal16(nullptr);
    } else if (name.find('/') != std::string::npos) {
        why = tryVoiceFile(name);
        if (why.empty()) {
            voice = flite_voice_load(name.c_str());
        }
        if (voice == nullptr && why.empty()) {
            why = "could not be loaded";
        }
    } else {
        why = "is not a Flite voice";
    }
    if (voice == nullptr) {
        // Files are tried again at the next talk: one may be copied in while the station runs.
        if (name.find('/') == std::string::npos) {
            gFliteFailures[name] = why;
        }
        return nullptr;
    }
    gFliteVoices[name] = voice;
    return voice;
}

// Mono 16-bit samples at `fromRate` brought to `toRate` with libswresample (Flite's own
// resampler copies between overlapping buffers). Empty when the converter cannot be made.
std::vector<std::int16_t> resampled(const std::int16_t* in, int count, int fromRate, int toRate) {
    SwrContext* swr = nullptr;
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    if (swr_alloc_set_opts2(&swr, &mono, AV_SAMPLE_FMT_S16, toRate, &mono, AV_SAMPLE_FMT_S16,
                            fromRate, 0, nullptr) < 0 ||
        swr_init(swr) < 0) {
        swr_free(&swr);
        return {};
    }
    std::vector<std::int16_t> out(std::size_t(swr_get_out_samples(swr, count)) + 256);
    const auto* source = reinterpret_cast<const std::uint8_t*>(in);
    auto* target = reinterpret_cast<std::uint8_t*>(out.data());
    int made = swr_convert(swr, &target, int(out.size()), &source, count);
    if (made >= 0) {
        // The converter's tail: the piece ends here, the next one starts afresh.
        target = reinterpret_cast<std::uint8_t*>(out.data() + made);
        const int tail = swr_convert(swr, &target, int(out.size()) - made, nullptr, 0);
        made += std::max(0, tail);
    }
    swr_free(&swr);
    out.resize(std::size_t(std::max(0, made)));
    return out;
}

// Resamples Flite's output to the rate the program was told at start and sends it.
void sendWave(cst_wave* wave, std::uint64_t& samples) {
    if (wave == nullptr || cst_wave_num_samples(wave) <= 0) {
        return;
    }
    std::vector<std::int16_t> converted;
    const std::int16_t* data = wave->samples;
    auto count = std::size_t(cst_wave_num_samples(wave));
    if (wave->sample_rate != gRate) {
        converted = resampled(wave->samples, cst_wave_num_samples(wave), wave->sample_rate, gRate);
        data = converted.data();
        count = converted.size();
    }
    constexpr std::size_t kChunk = 4096;
    for (std::size_t at = 0; at < count; at += kChunk) {
        const std::size_t n = std::min(kChunk, count - at);
        writeAll(
            sw::encodeFrame(sw::kAudio, gUtterance,
                            std::string_view(reinterpret_cast<const char*>(data + at), n * 2)));
    }
    samples += count;
}

void sendEvent(std::uint32_t kind, std::uint64_t sample, std::uint32_t value) {
    writeAll(sw::encodeFrame(sw::kEvent, gUtterance, sw::eventPayload(kind, sample, value)));
}

// Speaks the SSML piece by piece; 0 when all was spoken, 1 when a new request cut it short.
std::uint32_t speakFlite(cst_voice* voice, std::string_view ssml) {
    std::uint64_t samples = 0;
    for (const sw::FlitePiece& piece : sw::flitepieces(ssml)) {
        if (requestWaiting()) {
            return 1;
        }
        switch (piece.kind) {
        case sw::FlitePiece::Mark:
            sendEvent(sw::kMarkEvent, samples, piece.value);
            break;
        case sw::FlitePiece::Pause:
            if (piece.value > 0) {
                const std::string silence(std::size_t(gRate) * piece.value / 1000 * 2, '\0');
                writeAll(sw::encodeFrame(sw::kAudio, gUtterance, silence));
                samples += silence.size() / 2;
            }
            break;
        case sw::FlitePiece::Text: {
            cst_wave* wave = flite_text_to_wave(piece.text.c_str(), voice);
            const std::uint64_t start = samples;
            const auto length = std::uint64_t(std::max(0, cst_wave_num_samples(wave)));
            const std::uint64_t resampled =
                wave != nullptr && wave->sample_rate > 0
                    ? length * std::uint64_t(gRate) / std::uint64_t(wave->sample_rate)
                    : 0;
            // Flite does not say where its words fall: placed by their share of the text.
            for (const sw::FliteWord& w : piece.words) {
                sendEvent(sw::kWordEvent, start + resampled * w.offset / piece.text.size(),
                          w.position);
            }
            sendWave(wave, samples);
            delete_wave(wave);
            if (samples > 0) {
                firstChunkSent();
            }
            break;
        }
        }
    }
    return 0;
}

std::uint32_t speakEspeak(const std::string& voice, const std::string& ssml) {
    if (espeak_SetVoiceByName(voice.c_str()) != EE_OK) {
        return 1;
    }
    const espeak_ERROR r = espeak_Synth(ssml.c_str(), ssml.size() + 1, 0, POS_CHARACTER, 0,
                                        espeakCHARS_UTF8 | espeakSSML, nullptr, nullptr);
    return r == EE_OK ? 0 : 2;
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
        if (voice.rfind(kFlitePrefix, 0) == 0) {
            const std::string name = voice.substr(kFlitePrefix.size());
            std::string why;
            if (cst_voice* v = fliteVoice(name, why)) {
                status = speakFlite(v, ssml);
            } else {
                workerMessage("the Flite voice \"" + name + "\" " + why +
                              "; espeak-ng speaks instead");
                status = speakEspeak(kFallbackVoice, ssml);
            }
        } else {
            status = speakEspeak(voice, ssml);
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
    flite_init();
    flite_add_lang("eng", usenglish_init, cmu_lex_init);
    flite_add_lang("usenglish", usenglish_init, cmu_lex_init);

    sw::Frame frame;
    while (readFrame(frame)) {
        if (frame.type == sw::kSpeak) {
            speak(frame);
        }
    }
    espeak_Terminate();
    return 0;
}
