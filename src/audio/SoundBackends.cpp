#include "audio/SoundBackends.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <portaudio.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace corvalin {

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;

std::atomic<bool> libraryMessagesShown{false};
// One silencer at a time, so stderr always comes back; it also keeps PortAudio's calls (other
// than the callbacks) to one thread at a time.
std::mutex stderrMutex;

// Keeps stderr on /dev/null while PortAudio starts or ends: ALSA and JACK print pages of probing
// noise there that mean nothing to an operator.
class QuietStderr {
public:
    QuietStderr() : lock_(stderrMutex) {
        if (libraryMessagesShown)
            return;
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null < 0)
            return;
        std::fflush(stderr);
        saved_ = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
        if (saved_ >= 0)
            ::dup2(null, 2);
        ::close(null);
    }
    ~QuietStderr() {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    std::lock_guard<std::mutex> lock_;
    int saved_ = -1;
};

// The output device named `name`: an exact name first (ignoring case), else the first whose name
// contains it. paNoDevice when none does. PortAudio must be initialised.
PaDeviceIndex findOutputDevice(const QString& name) {
    PaDeviceIndex containing = paNoDevice;
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info == nullptr || info->maxOutputChannels < 1)
            continue;
        const QString deviceName = QString::fromUtf8(info->name);
        if (deviceName.compare(name, Qt::CaseInsensitive) == 0)
            return i;
        if (containing == paNoDevice && deviceName.contains(name, Qt::CaseInsensitive))
            containing = i;
    }
    return containing;
}

class ManualBackend final : public SoundBackend {
public:
    QString name() const override { return QStringLiteral("manual"); }
    void stop() override {}
};

// Renders in real time on a thread of its own, paced by the steady clock; optionally writes the
// mix to a WAV file whose header sizes are brought up to date every second, so the file stays
// valid even when the program is killed.
class PacedBackend final : public SoundBackend {
public:
    PacedBackend(SoundRender render, std::FILE* file) : render_(std::move(render)), file_(file) {
        if (file_)
            writeHeader(0);
        thread_ = std::thread([this] { run(); });
    }
    ~PacedBackend() override { stop(); }

    QString name() const override { return file_ ? QStringLiteral("wav") : QStringLiteral("null"); }

    void stop() override {
        {
            std::lock_guard guard(mutex_);
            if (stopping_)
                return;
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
        if (file_) {
            writeHeader(dataBytes_);
            std::fclose(file_);
            file_ = nullptr;
        }
    }

private:
    void writeHeader(std::uint64_t data) {
        const auto dataSize =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(data, 0xFFFFFFD3u));
        auto le32 = [](unsigned char* p, std::uint32_t v) {
            for (int i = 0; i < 4; ++i)
                p[i] = static_cast<unsigned char>(v >> (8 * i));
        };
        unsigned char h[44] = {'R', 'I', 'F', 'F', 0,  0, 0, 0, 'W', 'A', 'V',       'E',
                               'f', 'm', 't', ' ', 16, 0, 0, 0, 1,   0,   kChannels, 0};
        le32(h + 4, 36 + dataSize);
        le32(h + 24, kRate);
        le32(h + 28, kRate * kChannels * 2);
        h[32] = kChannels * 2;
        h[34] = 16;
        std::memcpy(h + 36, "data", 4);
        le32(h + 40, dataSize);
        std::fseek(file_, 0, SEEK_SET);
        std::fwrite(h, 1, sizeof h, file_);
        std::fseek(file_, 0, SEEK_END);
        std::fflush(file_);
    }

    void run() {
        using Clock = std::chrono::steady_clock;
        std::vector<std::int16_t> block(2 * 4096);
        const auto start = Clock::now();
        auto lastHeader = start;
        std::uint64_t done = 0;
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            wake_.wait_for(lock, std::chrono::milliseconds(10));
            if (stopping_)
                break;
            lock.unlock();
            const auto now = Clock::now();
            const auto elapsedUs =
                std::chrono::duration_cast<std::chrono::microseconds>(now - start).count();
            const std::uint64_t due = static_cast<std::uint64_t>(elapsedUs) * kRate / 1000000;
            while (done < due) {
                const auto n =
                    static_cast<std::uint32_t>(std::min<std::uint64_t>(due - done, 4096));
                render_(block.data(), n);
                if (file_) {
                    std::fwrite(block.data(), sizeof(std::int16_t), 2 * n, file_);
                    dataBytes_ += 4ull * n;
                }
                done += n;
            }
            if (file_ && now - lastHeader >= std::chrono::seconds(1)) {
                writeHeader(dataBytes_);
                lastHeader = now;
            }
            lock.lock();
        }
    }

    SoundRender render_;
    std::FILE* file_;
    std::uint64_t dataBytes_ = 0; // backend thread, then stop()
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

class PortAudioBackend final : public SoundBackend {
public:
    PortAudioBackend(SoundRender render, SoundLost lost)
        : render_(std::move(render)), lost_(std::move(lost)) {}
    ~PortAudioBackend() override { stop(); }

    // `deviceName` empty: the default device.
    bool open(const QString& deviceName, QString* error) {
        const QuietStderr quiet;
        PaError e = Pa_Initialize();
        if (e != paNoError) {
            *error = QString::fromUtf8(Pa_GetErrorText(e));
            return false;
        }
        initialised_ = true;
        if (deviceName.isEmpty()) {
            e = Pa_OpenDefaultStream(&stream_, 0, kChannels, paInt16, kRate, 512, &callback, this);
        } else {
            const PaDeviceIndex device = findOutputDevice(deviceName);
            if (device == paNoDevice) {
                *error = QStringLiteral("no sound device named \"%1\"").arg(deviceName);
                return false;
            }
            PaStreamParameters output{};
            output.device = device;
            output.channelCount = kChannels;
            output.sampleFormat = paInt16;
            output.suggestedLatency = Pa_GetDeviceInfo(device)->defaultHighOutputLatency;
            e = Pa_OpenStream(&stream_, nullptr, &output, kRate, 512, paNoFlag, &callback, this);
        }
        if (e == paNoError)
            e = Pa_SetStreamFinishedCallback(stream_, &finished);
        if (e == paNoError)
            e = Pa_StartStream(stream_);
        if (e != paNoError) {
            *error = QString::fromUtf8(Pa_GetErrorText(e));
            return false;
        }
        return true;
    }

    QString name() const override { return QStringLiteral("portaudio"); }

    bool canStall() const override { return true; }
    void stalled() override { stalled_ = true; }

    void stop() override {
        stopping_ = true;
        // PortAudio's own calls are not thread-safe: one opening or closing at a time (an output
        // may be opened on the device's thread while another is closed).
        const QuietStderr quiet;
        if (stream_) {
            // A stream that hangs would never drain what it holds: drop it instead.
            if (stalled_)
                Pa_AbortStream(stream_);
            else
                Pa_StopStream(stream_);
            Pa_CloseStream(stream_);
            stream_ = nullptr;
        }
        if (initialised_) {
            Pa_Terminate();
            initialised_ = false;
        }
    }

private:
    static int callback(const void*, void* output, unsigned long frames,
                        const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self) {
        static_cast<PortAudioBackend*>(self)->render_(static_cast<std::int16_t*>(output),
                                                      static_cast<std::uint32_t>(frames));
        return paContinue;
    }
    // The stream ended without our asking: the device went away.
    static void finished(void* self) {
        auto* me = static_cast<PortAudioBackend*>(self);
        if (!me->stopping_)
            me->lost_();
    }

    SoundRender render_;
    SoundLost lost_;
    PaStream* stream_ = nullptr;
    bool initialised_ = false;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> stalled_{false};
};

} // namespace

std::unique_ptr<SoundBackend> makeSoundBackend(const QString& spec, SoundRender render,
                                               SoundLost lost, QString* error) {
    const QString s = spec.trimmed();
    if (s == QLatin1String("manual"))
        return std::make_unique<ManualBackend>();
    if (s == QLatin1String("null"))
        return std::make_unique<PacedBackend>(std::move(render), nullptr);
    if (s.startsWith(QLatin1String("wav:"))) {
        const QByteArray path = QFile::encodeName(s.mid(4));
        std::FILE* f = path.isEmpty() ? nullptr : std::fopen(path.constData(), "wb");
        if (!f) {
            *error = QStringLiteral("cannot write the WAV file \"%1\"").arg(s.mid(4));
            return nullptr;
        }
        return std::make_unique<PacedBackend>(std::move(render), f);
    }
    if (s.isEmpty() || s == QLatin1String("portaudio") ||
        s.startsWith(QLatin1String("portaudio:"))) {
        auto pa = std::make_unique<PortAudioBackend>(std::move(render), std::move(lost));
        if (!pa->open(s.mid(static_cast<qsizetype>(std::strlen("portaudio:"))), error))
            return nullptr;
        return pa;
    }
    *error = QStringLiteral("unknown CORVALIN_AUDIO \"%1\"").arg(s);
    return nullptr;
}

void setSoundLibraryMessages(bool shown) {
    libraryMessagesShown = shown;
    applyFfmpegMessages();
}

void applyFfmpegMessages() {
    // Failures reach their callers as exceptions or statuses; FFmpeg's own lines only repeat
    // them, unless the operator wants to see them.
    av_log_set_level(libraryMessagesShown ? AV_LOG_INFO : AV_LOG_QUIET);
}

QStringList listSoundDevices(QString* error) {
    QStringList devices;
    const QuietStderr quiet;
    const PaError e = Pa_Initialize();
    if (e != paNoError) {
        *error = QString::fromUtf8(Pa_GetErrorText(e));
        return devices;
    }
    const PaDeviceIndex defaultDevice = Pa_GetDefaultOutputDevice();
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info == nullptr || info->maxOutputChannels < 1)
            continue;
        const PaHostApiInfo* host = Pa_GetHostApiInfo(info->hostApi);
        QString line = QString::fromUtf8(info->name);
        if (host != nullptr)
            line += QStringLiteral(" (%1)").arg(QString::fromUtf8(host->name));
        if (i == defaultDevice)
            line += QStringLiteral(" [default]");
        devices << line;
    }
    Pa_Terminate();
    return devices;
}

} // namespace corvalin
