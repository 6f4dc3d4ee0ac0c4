#include "stream/StreamOutput.h"

#include "audio/SoundBackends.h"
#include "audio/StreamTap.h"
#include "core/Types.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <curl/curl.h>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <time.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace corvalin {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kDeviceRate = 44100;
constexpr std::uint32_t kReadFrames = 4096;
constexpr int kFirstRetrySeconds = 1;
constexpr int kLastRetrySeconds = 60;
// A connection that lasted this long starts the retries from the first delay again.
constexpr auto kStableConnection = std::chrono::seconds(10);
// A connect or a write that takes longer than this counts as a lost connection.
constexpr auto kIoTimeout = std::chrono::seconds(10);

QByteArray utf8(const QString& s) {
    return s.toUtf8();
}

QString avText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

// Why a connection failed, in words for the operator (FFmpeg's texts never carry the URL).
QString connectFailure(int code, bool* refusedLogin) {
    *refusedLogin = code == AVERROR_HTTP_UNAUTHORIZED;
    switch (code) {
    case AVERROR_HTTP_UNAUTHORIZED:
        return QStringLiteral("the server refused the user name or password");
    case AVERROR_HTTP_FORBIDDEN:
        return QStringLiteral("the server refused the mount point (in use or not allowed)");
    case AVERROR_HTTP_NOT_FOUND:
        return QStringLiteral("the server has no such mount point");
    case AVERROR_EXIT:
        return QStringLiteral("the server did not answer in time");
    default:
        return avText(code);
    }
}

QString formatText(const StreamSettings& s) {
    return QStringLiteral("%1 %2 kbit/s")
        .arg(s.Format == kStreamFormatOpus ? QStringLiteral("Opus") : QStringLiteral("MP3"))
        .arg(s.Bitrate);
}

std::size_t collectBody(char* data, std::size_t size, std::size_t count, void* body) {
    static_cast<QByteArray*>(body)->append(data, static_cast<qsizetype>(size * count));
    return size * count;
}

// Icecast's metadata update for a non-Ogg mount. Returns an empty text on success.
QString sendIcecastTitle(const StreamSettings& s, const QString& title) {
    CURL* curl = curl_easy_init();
    if (!curl)
        return QStringLiteral("no HTTP client");
    const QByteArray url = "http://" + QUrl::toPercentEncoding(s.Host, ":[]") + ':' +
                           QByteArray::number(s.Port) +
                           "/admin/metadata?mount=" + QUrl::toPercentEncoding(s.Mount) +
                           "&mode=updinfo&charset=UTF-8&song=" + QUrl::toPercentEncoding(title);
    const QByteArray user = utf8(s.User);
    const QByteArray password = utf8(s.Password);
    QByteArray body;
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 2000L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 3000L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Corvalin Radio");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collectBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    if (rc != CURLE_OK)
        return QString::fromUtf8(curl_easy_strerror(rc));
    if (status != 200 || !body.contains("<return>1</return>"))
        return QStringLiteral("the server refused the title (HTTP %1)").arg(status);
    return {};
}

} // namespace

QString streamStatusText(const StreamStatus& s) {
    switch (s.state) {
    case StreamState::Off:
        return QStringLiteral("Stream off");
    case StreamState::Connecting:
        return QStringLiteral("Stream connecting: %1, %2").arg(s.place, s.format);
    case StreamState::Connected: {
        QString text = QStringLiteral("Stream connected: %1, %2").arg(s.place, s.format);
        if (s.framesDropped > 0)
            text += QStringLiteral(" (%1 s of stream audio dropped)")
                        .arg(static_cast<double>(s.framesDropped) / kDeviceRate, 0, 'f', 1);
        return text;
    }
    case StreamState::Failed: {
        QString text = QStringLiteral("Stream failed: %1").arg(s.reason);
        if (!s.place.isEmpty())
            text += QStringLiteral(" (%1)").arg(s.place);
        if (s.retryInSeconds > 0)
            text += QStringLiteral("; trying again in %1 s").arg(s.retryInSeconds);
        return text;
    }
    }
    return {};
}

QString streamLogLine(const StreamStatus& before, const StreamStatus& now) {
    switch (now.state) {
    case StreamState::Connecting:
        return {}; // the outcome tells
    case StreamState::Off:
        return before.state == StreamState::Off ? QString() : QStringLiteral("stream off");
    case StreamState::Connected:
        return before.state == StreamState::Connected
                   ? QString()
                   : QStringLiteral("stream connected: %1, %2").arg(now.place, now.format);
    case StreamState::Failed: {
        if (before.state == StreamState::Failed && before.reason == now.reason &&
            before.retryInSeconds == now.retryInSeconds)
            return {};
        QString line = QStringLiteral("stream %1: %2")
                           .arg(before.state == StreamState::Connected ? QStringLiteral("lost")
                                                                       : QStringLiteral("failed"),
                                now.reason);
        if (!now.place.isEmpty())
            line += QStringLiteral(" (%1)").arg(now.place);
        if (now.retryInSeconds > 0)
            line += QStringLiteral("; trying again in %1 s").arg(now.retryInSeconds);
        return line;
    }
    }
    return {};
}

QString nowPlayingTitle(const _rSong& song, const QString& theWord, const QString& stationName) {
    const QString the = theWord.trimmed().isEmpty() ? QStringLiteral("The") : theWord.trimmed();
    auto spoken = [&](const QString& text, bool withThe) {
        const QString t = text.trimmed();
        return withThe && !t.isEmpty() ? the + QLatin1Char(' ') + t : t;
    };
    const QString artist = spoken(song.Artist, song.TheArtist);
    const QString title = spoken(song.Title, song.TheTitle);
    if (song.NeverAnnounce || (artist.isEmpty() && title.isEmpty()))
        return stationName;
    if (artist.isEmpty())
        return title;
    if (title.isEmpty())
        return artist;
    return artist + QStringLiteral(" - ") + title;
}

// ---------------------------------------------------------------------------------------------

struct StreamOutput::Shared {
    std::shared_ptr<StreamTap> tap;

    mutable std::mutex mutex;
    std::condition_variable wake;
    StreamSettings settings;  // guarded
    QString stationName;      // guarded
    int generation = 0;       // guarded: bumped by every change of settings
    QString title;            // guarded
    int titleGeneration = 0;  // guarded
    bool quit = false;        // guarded
    StreamStatus status;      // guarded
    StatusHandler handler;    // guarded
    clockid_t cpuClock{};     // guarded
    bool cpuClockSet = false; // guarded

    // Read by FFmpeg's interrupt callback on the stream thread.
    std::atomic<bool> abortIo{false};
    std::atomic<std::int64_t> ioDeadline{0}; // steady-clock ns, 0: none

    std::thread thread;

    void run(const std::weak_ptr<Shared>& self);
    void setStatus(const std::weak_ptr<Shared>& self, const std::function<void(StreamStatus&)>& f);
    // Waits up to `ms` or until woken; the tap is emptied meanwhile. Returns false when the
    // settings changed or the thread is to end.
    bool idle(int ms, int generationSeen);
};

namespace {

int interruptRequested(void* opaque) {
    auto* shared = static_cast<StreamOutput::Shared*>(opaque);
    if (shared->abortIo.load(std::memory_order_relaxed))
        return 1;
    const std::int64_t deadline = shared->ioDeadline.load(std::memory_order_relaxed);
    return deadline != 0 && SteadyClock::now().time_since_epoch().count() > deadline ? 1 : 0;
}

void armDeadline(StreamOutput::Shared& shared) {
    shared.ioDeadline.store((SteadyClock::now() + kIoTimeout).time_since_epoch().count(),
                            std::memory_order_relaxed);
}

void clearDeadline(StreamOutput::Shared& shared) {
    shared.ioDeadline.store(0, std::memory_order_relaxed);
}

// One connection: encoder, resampler, muxer and the icecast:// output. Stream thread only.
class Session {
public:
    Session(StreamOutput::Shared& shared, const StreamSettings& settings)
        : shared_(shared), s_(settings), opus_(settings.Format == kStreamFormatOpus) {}
    ~Session() { close(); }

    // Connects and writes the stream header. Empty on success, else why.
    QString open(const QString& name, const QString& title, bool* refusedLogin) {
        *refusedLogin = false;
        const AVCodec* encoder = avcodec_find_encoder_by_name(opus_ ? "libopus" : "libmp3lame");
        if (!encoder)
            return QStringLiteral("no %1 encoder").arg(opus_ ? "Opus" : "MP3");
        codec_ = avcodec_alloc_context3(encoder);
        if (!codec_)
            return avText(AVERROR(ENOMEM));
        codec_->sample_rate = opus_ ? 48000 : kDeviceRate;
        codec_->sample_fmt = opus_ ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S16P;
        codec_->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
        codec_->bit_rate = static_cast<std::int64_t>(s_.Bitrate) * 1000;
        codec_->time_base = AVRational{1, codec_->sample_rate};
        if (int e = avcodec_open2(codec_, encoder, nullptr); e < 0)
            return avText(e);

        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        if (swr_alloc_set_opts2(&swr_, &codec_->ch_layout, codec_->sample_fmt, codec_->sample_rate,
                                &stereo, AV_SAMPLE_FMT_S16, kDeviceRate, 0, nullptr) < 0 ||
            swr_init(swr_) < 0)
            return QStringLiteral("cannot convert the sample rate");
        frameSize_ = codec_->frame_size > 0 ? codec_->frame_size : 1152;
        fifo_ = av_audio_fifo_alloc(codec_->sample_fmt, 2, frameSize_ * 8);
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (!fifo_ || !frame_ || !packet_)
            return avText(AVERROR(ENOMEM));
        frame_->nb_samples = frameSize_;
        frame_->format = codec_->sample_fmt;
        frame_->sample_rate = codec_->sample_rate;
        if (av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout) < 0 ||
            av_frame_get_buffer(frame_, 0) < 0)
            return avText(AVERROR(ENOMEM));
        const int maxOut = static_cast<int>(swr_get_out_samples(swr_, kReadFrames)) + 64;
        if (av_samples_alloc_array_and_samples(&converted_, nullptr, 2, maxOut, codec_->sample_fmt,
                                               0) < 0)
            return avText(AVERROR(ENOMEM));
        convertedCapacity_ = maxOut;

        AVDictionary* options = nullptr;
        av_dict_set(&options, "content_type", opus_ ? "audio/ogg" : "audio/mpeg", 0);
        av_dict_set(&options, "ice_name", utf8(name).constData(), 0);
        av_dict_set(&options, "ice_description", utf8(s_.Description).constData(), 0);
        av_dict_set(&options, "ice_genre", utf8(s_.Genre).constData(), 0);
        av_dict_set(&options, "ice_public", s_.Public ? "1" : "0", 0);
        av_dict_set(&options, "user_agent", "Corvalin Radio", 0);
        // The HTTP layer decodes percent escapes in the credentials.
        av_dict_set(&options, "password", QUrl::toPercentEncoding(s_.Password).constData(), 0);
        QString host = s_.Host;
        if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('[')))
            host = QLatin1Char('[') + host + QLatin1Char(']'); // an IPv6 address
        const QByteArray url = "icecast://" + QUrl::toPercentEncoding(s_.User) + '@' + utf8(host) +
                               ':' + QByteArray::number(s_.Port) +
                               QUrl::toPercentEncoding(s_.Mount, "/");
        const AVIOInterruptCB interrupt{&interruptRequested, &shared_};
        armDeadline(shared_);
        const int e = avio_open2(&pb_, url.constData(), AVIO_FLAG_WRITE, &interrupt, &options);
        clearDeadline(shared_);
        av_dict_free(&options);
        if (e < 0) {
            pb_ = nullptr;
            return connectFailure(e, refusedLogin);
        }
        return startMuxer(title);
    }

    // Encodes and sends `frames` device frames. Empty on success, else why.
    QString write(const std::int16_t* samples, std::uint32_t frames) {
        const auto* in = reinterpret_cast<const std::uint8_t*>(samples);
        const int got =
            swr_convert(swr_, converted_, convertedCapacity_, &in, static_cast<int>(frames));
        if (got < 0)
            return avText(got);
        if (got > 0 && av_audio_fifo_write(fifo_, reinterpret_cast<void**>(converted_), got) < got)
            return avText(AVERROR(ENOMEM));
        while (av_audio_fifo_size(fifo_) >= frameSize_) {
            if (int e = av_frame_make_writable(frame_); e < 0)
                return avText(e);
            av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->data), frameSize_);
            frame_->pts = nextPts_;
            nextPts_ += frameSize_;
            if (int e = avcodec_send_frame(codec_, frame_); e < 0)
                return avText(e);
            if (QString error = drainPackets(); !error.isEmpty())
                return error;
        }
        return {};
    }

    // An Ogg stream carries its title in its comment header: the stream goes on as a new chained
    // Ogg stream whose header names the title. Empty on success, else why.
    QString startChainedTitle(const QString& title) {
        if (!opus_ || !muxer_)
            return {};
        armDeadline(shared_);
        const int e = av_write_trailer(muxer_);
        clearDeadline(shared_);
        avformat_free_context(muxer_);
        muxer_ = nullptr;
        if (e < 0)
            return lostConnection(e);
        rebase_ = true;
        return startMuxer(title);
    }

    bool isOpus() const { return opus_; }

    void close() {
        if (muxer_) {
            armDeadline(shared_);
            av_write_trailer(muxer_);
            clearDeadline(shared_);
            avformat_free_context(muxer_);
            muxer_ = nullptr;
        }
        if (pb_) {
            armDeadline(shared_);
            avio_closep(&pb_);
            clearDeadline(shared_);
        }
        if (converted_) {
            av_freep(&converted_[0]);
            av_freep(&converted_);
        }
        av_packet_free(&packet_);
        av_frame_free(&frame_);
        if (fifo_) {
            av_audio_fifo_free(fifo_);
            fifo_ = nullptr;
        }
        swr_free(&swr_);
        avcodec_free_context(&codec_);
    }

private:
    QString startMuxer(const QString& title) {
        if (int e =
                avformat_alloc_output_context2(&muxer_, nullptr, opus_ ? "ogg" : "mp3", nullptr);
            e < 0)
            return avText(e);
        muxer_->pb = pb_;
        muxer_->flags |= AVFMT_FLAG_FLUSH_PACKETS;
        stream_ = avformat_new_stream(muxer_, nullptr);
        if (!stream_)
            return avText(AVERROR(ENOMEM));
        if (int e = avcodec_parameters_from_context(stream_->codecpar, codec_); e < 0)
            return avText(e);
        stream_->time_base = codec_->time_base;
        if (opus_ && !title.isEmpty()) {
            av_dict_set(&stream_->metadata, "title", utf8(title).constData(), 0);
            av_dict_set(&muxer_->metadata, "title", utf8(title).constData(), 0);
        }
        AVDictionary* options = nullptr;
        if (!opus_) {
            av_dict_set(&options, "id3v2_version", "0", 0);
            av_dict_set(&options, "write_xing", "0", 0);
        }
        armDeadline(shared_);
        const int e = avformat_write_header(muxer_, &options);
        clearDeadline(shared_);
        av_dict_free(&options);
        if (e < 0)
            return lostConnection(e);
        return {};
    }

    QString drainPackets() {
        for (;;) {
            const int r = avcodec_receive_packet(codec_, packet_);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return {};
            if (r < 0)
                return avText(r);
            if (rebase_) {
                // A chained Ogg stream starts its own time line, its encoder delay included.
                chainBase_ = packet_->pts + codec_->initial_padding;
                rebase_ = false;
            }
            packet_->pts -= chainBase_;
            packet_->dts -= chainBase_;
            av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
            packet_->stream_index = 0;
            armDeadline(shared_);
            const int e = av_write_frame(muxer_, packet_);
            clearDeadline(shared_);
            av_packet_unref(packet_);
            if (e < 0 || (pb_ && pb_->error < 0))
                return lostConnection(e < 0 ? e : pb_->error);
        }
    }

    static QString lostConnection(int code) {
        if (code == AVERROR_EXIT)
            return QStringLiteral("the server stopped taking the stream");
        return QStringLiteral("the connection was lost (%1)").arg(avText(code));
    }

    StreamOutput::Shared& shared_;
    StreamSettings s_;
    bool opus_;
    AVCodecContext* codec_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::uint8_t** converted_ = nullptr;
    int convertedCapacity_ = 0;
    int frameSize_ = 0;
    std::int64_t nextPts_ = 0;
    std::int64_t chainBase_ = 0;
    bool rebase_ = false;
    AVIOContext* pb_ = nullptr;
    AVFormatContext* muxer_ = nullptr;
    AVStream* stream_ = nullptr;
};

} // namespace

void StreamOutput::Shared::setStatus(const std::weak_ptr<Shared>& self,
                                     const std::function<void(StreamStatus&)>& change) {
    StreamStatus now;
    StatusHandler h;
    {
        std::lock_guard guard(mutex);
        StreamStatus next = status;
        change(next);
        if (next == status)
            return;
        status = next;
        now = next;
        h = handler;
    }
    if (!h)
        return;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        h(now);
        return;
    }
    QMetaObject::invokeMethod(
        app,
        [self, now] {
            std::shared_ptr<Shared> shared = self.lock();
            if (!shared)
                return;
            StatusHandler deliver;
            {
                std::lock_guard guard(shared->mutex);
                deliver = shared->handler;
            }
            if (deliver)
                deliver(now);
        },
        Qt::QueuedConnection);
}

bool StreamOutput::Shared::idle(int ms, int generationSeen) {
    const auto until = SteadyClock::now() + std::chrono::milliseconds(ms);
    std::unique_lock lock(mutex);
    for (;;) {
        tap->discard(); // what the air played meanwhile is not sent late
        if (quit || generation != generationSeen)
            return false;
        const auto now = SteadyClock::now();
        if (now >= until)
            return true;
        wake.wait_for(lock,
                      std::min<SteadyClock::duration>(until - now, std::chrono::milliseconds(100)));
    }
}

void StreamOutput::Shared::run(const std::weak_ptr<Shared>& self) {
    {
        std::lock_guard guard(mutex);
        cpuClockSet = pthread_getcpuclockid(pthread_self(), &cpuClock) == 0;
    }
    std::vector<std::int16_t> buffer(2 * kReadFrames);
    int retrySeconds = kFirstRetrySeconds;
    int seenGeneration = -1;
    for (;;) {
        StreamSettings s;
        QString name;
        QString nowTitle;
        int titleSeen = 0;
        int gen = 0;
        {
            std::lock_guard guard(mutex);
            if (quit)
                return;
            s = settings;
            name = s.Name.trimmed().isEmpty() ? stationName : s.Name.trimmed();
            nowTitle = this->title;
            titleSeen = titleGeneration;
            gen = generation;
            if (gen != seenGeneration)
                abortIo.store(false); // under the lock configure() sets it with
        }
        if (gen != seenGeneration) {
            seenGeneration = gen;
            retrySeconds = kFirstRetrySeconds;
            setStatus(self, [&](StreamStatus& st) {
                st = StreamStatus{};
                st.place = s.Enabled ? streamPlace(s) : QString();
                st.format = s.Enabled ? formatText(s) : QString();
            });
        }
        if (!s.Enabled) {
            setStatus(self, [](StreamStatus& st) { st.state = StreamState::Off; });
            idle(3600 * 1000, gen);
            continue;
        }
        if (s.Host.isEmpty()) {
            setStatus(self, [](StreamStatus& st) {
                st.state = StreamState::Failed;
                st.reason = QStringLiteral("no server is named");
                st.retryInSeconds = 0;
            });
            idle(3600 * 1000, gen);
            continue;
        }

        setStatus(self, [](StreamStatus& st) {
            st.state = StreamState::Connecting;
            st.retryInSeconds = 0;
            ++st.attempts;
        });
        QString error;
        bool refusedLogin = false;
        const auto connectedAt = SteadyClock::now();
        {
            Session session(*this, s);
            error = session.open(name, nowTitle, &refusedLogin);
            if (error.isEmpty()) {
                tap->discard();
                setStatus(self, [](StreamStatus& st) {
                    st.state = StreamState::Connected;
                    st.reason.clear();
                    ++st.connections;
                });
                bool titleSent = session.isOpus() || nowTitle.isEmpty(); // the header named it
                auto nextTitleTry = SteadyClock::now();
                for (;;) {
                    {
                        std::unique_lock lock(mutex);
                        if (quit || generation != gen)
                            break;
                        if (titleGeneration != titleSeen) {
                            titleSeen = titleGeneration;
                            nowTitle = this->title;
                            titleSent = false;
                        }
                    }
                    if (!titleSent && SteadyClock::now() >= nextTitleTry) {
                        if (session.isOpus()) {
                            error = session.startChainedTitle(nowTitle);
                            if (!error.isEmpty())
                                break;
                            titleSent = true;
                        } else {
                            // A refused update is tried again a little later; the audio goes on.
                            titleSent = sendIcecastTitle(s, nowTitle).isEmpty();
                            if (!titleSent)
                                nextTitleTry = SteadyClock::now() + std::chrono::seconds(3);
                        }
                    }
                    const std::uint32_t n = tap->read(buffer.data(), kReadFrames);
                    if (n > 0) {
                        error = session.write(buffer.data(), n);
                        if (!error.isEmpty())
                            break;
                        continue;
                    }
                    std::unique_lock lock(mutex);
                    wake.wait_for(lock, std::chrono::milliseconds(20));
                }
            }
        }
        {
            std::lock_guard guard(mutex);
            if (quit || generation != gen)
                error.clear(); // given up on purpose, not failed
        }
        if (error.isEmpty())
            continue; // settings changed or the end: the loop above decides
        if (SteadyClock::now() - connectedAt >= kStableConnection)
            retrySeconds = kFirstRetrySeconds;
        const int wait = retrySeconds;
        setStatus(self, [&](StreamStatus& st) {
            st.state = StreamState::Failed;
            st.reason = error;
            st.retryInSeconds = wait;
        });
        // A refused login waits like every failure: no storm of attempts at the server.
        retrySeconds = std::min(retrySeconds * 2, kLastRetrySeconds);
        idle(wait * 1000, gen);
    }
}

StreamOutput::StreamOutput(int tapSeconds) : shared_(std::make_shared<Shared>()) {
    static const bool once = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        avformat_network_init();
        // Failures reach the status; FFmpeg's own lines only with --verbose.
        applyFfmpegMessages();
        return true;
    }();
    (void)once;
    shared_->tap = std::make_shared<StreamTap>(
        static_cast<std::uint32_t>(std::max(1, tapSeconds) * kDeviceRate));
    std::weak_ptr<Shared> weak = shared_;
    shared_->thread = std::thread([raw = shared_.get(), weak] { raw->run(weak); });
}

StreamOutput::~StreamOutput() {
    {
        std::lock_guard guard(shared_->mutex);
        shared_->quit = true;
        shared_->handler = nullptr;
    }
    shared_->abortIo.store(true);
    shared_->wake.notify_all();
    if (shared_->thread.joinable())
        shared_->thread.join();
}

std::shared_ptr<StreamTap> StreamOutput::tap() const {
    return shared_->tap;
}

void StreamOutput::configure(const StreamSettings& settings, const QString& stationName) {
    const StreamSettings s = normalisedStreamSettings(settings);
    {
        std::lock_guard guard(shared_->mutex);
        const QString oldName = shared_->settings.Name.trimmed().isEmpty() ? shared_->stationName
                                                                           : shared_->settings.Name;
        const QString newName = s.Name.trimmed().isEmpty() ? stationName : s.Name;
        if (s == shared_->settings && oldName == newName && shared_->generation > 0)
            return;
        shared_->settings = s;
        shared_->stationName = stationName;
        ++shared_->generation;
        shared_->abortIo.store(true); // a connect or write in progress gives up at once
    }
    shared_->wake.notify_all();
}

void StreamOutput::setTitle(const QString& title) {
    {
        std::lock_guard guard(shared_->mutex);
        if (title == shared_->title)
            return;
        shared_->title = title;
        ++shared_->titleGeneration;
    }
    shared_->wake.notify_all();
}

QString StreamOutput::title() const {
    std::lock_guard guard(shared_->mutex);
    return shared_->title;
}

StreamStatus StreamOutput::status() const {
    std::lock_guard guard(shared_->mutex);
    StreamStatus s = shared_->status;
    s.framesDropped = shared_->tap->framesDropped();
    return s;
}

void StreamOutput::setStatusHandler(StatusHandler handler) {
    std::lock_guard guard(shared_->mutex);
    shared_->handler = std::move(handler);
}

double StreamOutput::threadCpuSeconds() const {
    clockid_t id;
    {
        std::lock_guard guard(shared_->mutex);
        if (!shared_->cpuClockSet)
            return 0.0;
        id = shared_->cpuClock;
    }
    timespec ts{};
    if (clock_gettime(id, &ts) != 0)
        return 0.0;
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

} // namespace corvalin
